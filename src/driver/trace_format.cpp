#include "driver/trace_format.h"

#include <bit>

namespace ovantrex {

namespace {

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t le64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(le32(p)) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
}

}  // namespace

TraceRecordHeader parseRecordHeader(HeaderBytes bytes) {
  const std::uint8_t* p = bytes.data();
  TraceRecordHeader header;
  header.length = static_cast<std::int32_t>(le32(p));
  header.minorCode = le32(p + 4);
  header.timeStamp = std::bit_cast<double>(le64(p + 8));
  return header;
}

TraceExtHeader parseExtHeader(HeaderBytes bytes) {
  const std::uint8_t* p = bytes.data();
  TraceExtHeader header;
  header.threadId = le32(p);
  header.processId = le32(p + 4);
  header.seconds = static_cast<std::int32_t>(le32(p + 8));
  header.component = p[12];
  header.milliseconds = le16(p + 14);
  return header;
}

}  // namespace ovantrex
