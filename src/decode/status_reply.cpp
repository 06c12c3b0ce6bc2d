#include "decode/status_reply.h"

#include "core/protocol.h"

namespace ovantrex {

namespace {

// Transfer data bytes 0 to 5: the status byte and its two readings, EC
// levels or a flash read; the flash contents follow.
constexpr std::size_t kStatus = 0;
constexpr std::size_t kEcCurrent = 1;
constexpr std::size_t kEcPrevious = 3;
constexpr std::size_t kFlashLength = 2;
constexpr std::size_t kFlashAddress = 3;
constexpr std::size_t kFields = 6;

}  // namespace

StatusReply decodeStatusReply(Bytes data) {
  StatusReply reply;
  reply.truncated = data.size() < kFields;
  reply.status = byteAt(data, kStatus);
  if (reply.has(StatusBit::EcInformation)) {
    // With EC levels the reply carries no flash read.
    reply.ecCurrent = {byteAt(data, kEcCurrent), byteAt(data, kEcCurrent + 1)};
    reply.ecPrevious = {byteAt(data, kEcPrevious), byteAt(data, kEcPrevious + 1)};
    return reply;
  }
  reply.flashLength = byteAt(data, kFlashLength);
  if (reply.flashLength == 0) return reply;
  reply.flashRead = true;
  reply.flashAddress = threeBytesAt(data, kFlashAddress);
  reply.contents = ByteView{bytesFrom(data, kFields)};
  return reply;
}

}  // namespace ovantrex
