#include "decode/decoded_record.h"

#include <cstring>

namespace ovantrex {

namespace {

// A component report reads transfer data bytes 0 to 2.
constexpr std::size_t kComponentReportMinimum = 3;

// The text up to its first zero byte, less one line end: both of the last
// two characters when the second-to-last is a newline, else a final newline.
Bytes trimmedText(Bytes payload) {
  const void* zero = std::memchr(payload.data(), 0, payload.size());
  std::size_t size =
      zero != nullptr
          ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - payload.data())
          : payload.size();
  if (size >= 2 && payload[size - 2] == '\n') {
    size -= 2;
  } else if (size >= 1 && payload[size - 1] == '\n') {
    size -= 1;
  }
  return payload.first(size);
}

void decodeTransfer(DecodedRecord& decoded, Bytes payload, DecodeDepth depth) {
  if (payload.size() < kHidHeaderSize) {
    decoded.failure = DecodeFailure::ShortTransferHeader;
    return;
  }
  const Bytes data = payload.subspan(kHidHeaderSize);
  decoded.transfer = {ByteView{payload.first(kHidHeaderSize)}, ByteView{data}};
  decoded.firmware =
      decoded.type != RecordType::HidSetFeat && decoded.transfer.reportId() == kFirmwareReport;
  if (!decoded.firmware) return;
  switch (decoded.type) {
    case RecordType::HidWrite:
      if (depth == DecodeDepth::Whole) decodeTheRest(decoded);
      break;
    case RecordType::HidRead: decoded.body = decodeStatusReply(data); break;
    case RecordType::HidGetFeat:
      if (payload[3] != kComponentReportRequest) break;
      if (data.size() < kComponentReportMinimum) {
        decoded.failure = DecodeFailure::ShortComponentReport;
        return;
      }
      decoded.body = decodeComponentReport(data);
      break;
    default: break;
  }
}

}  // namespace

// A firmware command's values: all that DecodeDepth::Replies leaves out.
void decodeTheRest(DecodedRecord& decoded) {
  if (decoded.firmware && decoded.type == RecordType::HidWrite)
    decoded.body = decodeFirmwareCommand(decoded.transfer.data.bytes);
}

bool isHidden(const Record& record) {
  return record.formatVersion == 3 && record.ext.component != 0 &&
         record.ext.component != kComponentShownAsZero;
}

DecodedRecord decodeRecord(const Record& record, DecodeDepth depth) {
  DecodedRecord decoded;
  decoded.type = recordTypeOf(record.header.minorCode);
  decoded.hidden = isHidden(record);
  if (decoded.type == RecordType::Text) {
    decoded.text = ByteView{trimmedText(record.payload)};
  } else if (isHidTransfer(decoded.type)) {
    decodeTransfer(decoded, record.payload, depth);
  }
  return decoded;
}

}  // namespace ovantrex
