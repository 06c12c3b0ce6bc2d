// A data record decoded once into values, for every printer to print.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "core/bytes.h"
#include "core/record_codes.h"
#include "core/trace_record.h"
#include "decode/component_report.h"
#include "decode/firmware_command.h"
#include "decode/record_type.h"
#include "decode/status_reply.h"

namespace ovantrex {

// The parts of a HID transfer record's payload.
struct HidTransfer {
  ByteView header;  // the 8 header bytes
  ByteView data;    // the transfer data: the payload from byte 8 on
  std::uint8_t reportId() const { return header[kReportIdByte]; }
  friend bool operator==(const HidTransfer&, const HidTransfer&) = default;
};

// The body of a record that carries no firmware value. Its constructor is
// written out so that a fresh record does not zero the room of the largest
// value.
struct NoBody {
  NoBody() {}  // NOLINT(modernize-use-equals-default)
  friend bool operator==(const NoBody&, const NoBody&) { return true; }
};

// Firmware-report feature reads other than component reports carry no value.
using FirmwareBody = std::variant<NoBody, FirmwareCommand, StatusReply, ComponentReport>;

struct DecodedRecord {
  RecordType type = RecordType::Unknown;
  // In format version 3 a record whose component byte is neither 0 nor
  // 0x65 is hidden from the listing.
  bool hidden = false;
  DecodeFailure failure = DecodeFailure::None;
  ByteView text;         // Text: up to the first zero byte, less one line end
  HidTransfer transfer;  // HID transfers
  // A write, read or feature read of the firmware report (the report id of
  // a feature write is never looked at).
  bool firmware = false;
  FirmwareBody body;
  friend bool operator==(const DecodedRecord&, const DecodedRecord&) = default;
};

// How much of a record decodeRecord decodes.
enum class DecodeDepth : std::uint8_t {
  Whole,
  // All but a firmware command's values (its body stays NoBody), for a
  // stage that looks at the record's own fields and at replies alone. No
  // printer takes a record decoded so.
  Replies,
};

DecodedRecord decodeRecord(const Record& record, DecodeDepth depth = DecodeDepth::Whole);
// Decodes the rest of a record decoded to DecodeDepth::Replies: it is then
// as decodeRecord() decodes it whole.
void decodeTheRest(DecodedRecord& decoded);

// The component test of format version 3.
bool isHidden(const Record& record);

}  // namespace ovantrex
