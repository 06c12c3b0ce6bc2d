#include "render/dispatcher.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "decode/extended_version_list.h"
#include "decode/firmware_command.h"
#include "decode/sm_report.h"
#include "render/record_failure.h"
#include "render/status_reply.h"

namespace ovantrex {

namespace {

constexpr std::size_t kHidHeaderSize = 8;
// A component report reads payload bytes 8 to 10.
constexpr std::size_t kComponentReportMinimum = 11;
constexpr std::size_t kLabelWidth = 13;

std::string_view labelOf(std::int32_t minorCode) {
  switch (minorCode) {
    case kMinorText: return "Text";
    case kMinorHex: return "Hex";
    case kMinorHidWrite: return "HIDWrite";
    case kMinorHidRead: return "HIDRead";
    case kMinorHidGetFeat: return "HIDGetFeat";
    case kMinorHidSetFeat: return "HIDSetFeat";
    default: return "Unknown";
  }
}

bool isTransfer(std::int32_t minorCode) {
  return minorCode >= kMinorHidWrite && minorCode <= kMinorHidSetFeat;
}

// The prefix strings around the record-type column.
void writeLead(Writer& out, bool hideType, std::string_view label, const PrefixStrings& prefix) {
  out.put(prefix.first);
  if (!hideType) {
    out.put(label);
    out.blanks(kLabelWidth - label.size() + 1);
  }
  out.put(prefix.second);
  out.put(prefix.third);
}

// "%s%-13s %s%s          "
void writePlainFirstLine(Writer& out, bool hideType, std::string_view label,
                         const PrefixStrings& prefix) {
  writeLead(out, hideType, label, prefix);
  out.blanks(10);
}

// "%s%-13s %s%s %d   %02x%02x" and the second header group, 11 characters.
void writeTransferFirstLine(Writer& out, bool hideType, std::int32_t minorCode, Bytes payload,
                            const PrefixStrings& prefix) {
  writeLead(out, hideType, labelOf(minorCode), prefix);
  out.put(' ');
  if (minorCode == kMinorHidSetFeat) {
    out.decimal(payload[4]);
    out.put("   ");
    out.hexByte(payload[5]);
    out.hexByte(payload[6]);
    // " %02x %02x r%-2x " with 0, 0 and header byte 3.
    out.put(" 00 00 r");
    out.hex(payload[3]);
    out.put(payload[3] < 0x10 ? "  " : " ");
  } else {
    out.put("0   ");
    out.hexByte(payload[0]);
    out.hexByte(payload[1]);
    // " %02x%02x r%-2x  " with header bytes 2 and 3 and the number 0.
    out.put(' ');
    out.hexByte(payload[2]);
    out.hexByte(payload[3]);
    out.put(" r0   ");
  }
}

// The text up to its first zero byte, less one line end: both of the last
// two characters when the second-to-last is a newline, else a final newline.
std::string_view trimmedText(Bytes payload) {
  const auto* bytes = reinterpret_cast<const char*>(payload.data());
  const void* zero = std::memchr(bytes, 0, payload.size());
  std::size_t size = zero != nullptr
                         ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes)
                         : payload.size();
  if (size >= 2 && bytes[size - 2] == '\n') {
    size -= 2;
  } else if (size >= 1 && bytes[size - 1] == '\n') {
    size -= 1;
  }
  return {bytes, size};
}

void writeUnknown(Writer& out, bool hideType, std::int32_t minorCode, Bytes payload,
                  const PrefixStrings& prefix) {
  writePlainFirstLine(out, hideType, "Unknown", prefix);
  out.put("Minor=");
  out.decimal(minorCode);
  out.put('(');
  out.hex(static_cast<std::uint32_t>(minorCode));
  out.put("), Length=");
  out.decimal(static_cast<std::int64_t>(payload.size()));
  out.put(", data='");
  out.flush();
  dumpChars(out, payload);
  out.put("'\n");
  out.flush();
}

// A feature read of the firmware report with header byte 3 equal to 3: the
// extended component version list or the systems-management report.
void writeComponentReport(const EntryOut& entry, Bytes payload) {
  const Bytes data = payload.subspan(kHidHeaderSize);
  const std::size_t n = payload[10];
  const std::size_t span = std::min(n + 6, data.size());
  dumpHexWrapped(entry.out, data.first(span), entry.indent.wrap);
  if ((data[0] & 1) != 0 && data[1] == 0xff) {
    const Bytes fromMarker = data.subspan(1);
    printExtendedVersionList(entry, fromMarker.first(std::min(n + 5, fromMarker.size())));
  } else {
    decodeSmReport(entry, data, span);
  }
}

}  // namespace

void renderRecord(Writer& out, const EntryLayout& layout, std::int32_t minorCode, Bytes payload,
                  const PrefixStrings& prefix) {
  const bool transfer = isTransfer(minorCode);
  if (transfer && payload.size() < kHidHeaderSize)
    throw RecordFailure("transfer shorter than its header");
  const bool firmware = transfer && payload[2] == kFirmwareReport;
  const bool componentReport = firmware && minorCode == kMinorHidGetFeat && payload[3] == 3;
  if (componentReport && payload.size() < kComponentReportMinimum)
    throw RecordFailure("component report shorter than its counts");

  const EntryOut entry{
      out, measureIndents(widthsOf(prefix), layout.recorded, layout.kept, layout.hideType)};
  const Bytes data = transfer ? payload.subspan(kHidHeaderSize) : Bytes{};
  switch (minorCode) {
    case kMinorText:
      writePlainFirstLine(out, layout.hideType, "Text", prefix);
      out.put(trimmedText(payload));
      break;
    case kMinorHex:
      writePlainFirstLine(out, layout.hideType, "Hex", prefix);
      dumpHex(out, payload);
      out.put('\n');
      out.blanks(entry.indent.hex + 1);
      dumpChars(out, payload);
      break;
    case kMinorHidWrite:
      writeTransferFirstLine(out, layout.hideType, minorCode, payload, prefix);
      dumpHexWrapped(out, data, entry.indent.wrap);
      if (firmware) {
        decodeFirmwareCommand(entry, data);
      } else {
        out.put('\n');
        out.blanks(entry.indent.dump);
        dumpCharsWrapped(out, data, entry.indent.wrap);
      }
      break;
    case kMinorHidRead:
      writeTransferFirstLine(out, layout.hideType, minorCode, payload, prefix);
      dumpHexWrapped(out, data, entry.indent.wrap);
      if (firmware) {
        decodeStatusReply(entry, payload);
      } else {
        out.put('\n');
        out.blanks(entry.indent.dump);
        dumpChars(out, data);
      }
      break;
    case kMinorHidGetFeat:
      writeTransferFirstLine(out, layout.hideType, minorCode, payload, prefix);
      if (componentReport) {
        writeComponentReport(entry, payload);
      } else if (firmware) {
        // Bytes 8 to 11 of other firmware feature reads are not shown.
        dumpHexWrapped(out, payload.subspan(std::min<std::size_t>(12, payload.size())),
                       entry.indent.wrap);
      } else {
        dumpHexWrapped(out, data, entry.indent.wrap);
      }
      break;
    case kMinorHidSetFeat:
      writeTransferFirstLine(out, layout.hideType, minorCode, payload, prefix);
      dumpHex(out, data);
      out.put('\n');
      out.blanks(entry.indent.dump);
      dumpChars(out, data);
      break;
    default: writeUnknown(out, layout.hideType, minorCode, payload, prefix); break;
  }
  out.put('\n');
}

}  // namespace ovantrex
