#include "output/text/dispatcher.h"

#include <algorithm>
#include <string_view>

#include "output/common/byte_dumps.h"
#include "output/common/colours.h"
#include "output/text/firmware_text.h"

namespace ovantrex {

namespace {

constexpr std::size_t kLabelWidth = 13;
// Other feature reads of the firmware report are shown from payload byte 12.
constexpr std::size_t kOtherFeatureReadShown = 12;

// The time column, the record-type column (the label padded to 13 and a
// blank) unless -H, then the elapsed and process/thread columns.
void writeLead(Writer& out, bool hideType, RecordType type, const PrefixStrings& prefix) {
  out.put(prefix.time);
  if (!hideType) {
    const std::string_view label = coded(type).words;
    painted(out, hueOf(type), [&] { out.put(label); });
    out.blanks(kLabelWidth - label.size() + 1);
  }
  out.put(prefix.elapsed);
  out.put(prefix.process);
}

// The first line of Text, Hex and Unknown entries ends in ten blanks.
void writePlainFirstLine(Writer& out, bool hideType, RecordType type, const PrefixStrings& prefix) {
  writeLead(out, hideType, type, prefix);
  out.blanks(10);
}

// The first line of a HID transfer: the count field, the first header group
// and the second, 11 characters.
void writeTransferFirstLine(Writer& out, bool hideType, RecordType type, Bytes header,
                            const PrefixStrings& prefix) {
  writeLead(out, hideType, type, prefix);
  out.put(' ');
  if (type == RecordType::HidSetFeat) {
    // Header byte 4 counts; bytes 5 and 6 are the first group; two zero
    // pairs and header byte 3, in hex without a leading zero, padded to two.
    out.decimal(header[4]);
    out.put("   ");
    out.hexByte(header[5]);
    out.hexByte(header[6]);
    out.put(" 00 00 r");
    out.hex(header[3]);
    out.put(header[3] < 0x10 ? "  " : " ");
  } else {
    // A count of 0, header bytes 0 and 1, then header bytes 2 and 3 and an
    // "r0" that says nothing.
    out.put("0   ");
    out.hexByte(header[0]);
    out.hexByte(header[1]);
    out.put(' ');
    out.hexByte(header[2]);
    out.hexByte(header[3]);
    out.put(" r0   ");
  }
}

void writeHidWrite(const EntryOut& entry, const DecodedRecord& decoded) {
  const Bytes data = decoded.transfer.data.bytes;
  dumpHexWrapped(entry.out, data, entry.indent.wrap);
  if (const auto* command = std::get_if<FirmwareCommand>(&decoded.body)) {
    writeCommandText(entry, *command);
    return;
  }
  entry.out.put('\n');
  entry.out.blanks(entry.indent.dump);
  dumpCharsWrapped(entry.out, data, entry.indent.wrap);
}

void writeHidRead(const EntryOut& entry, const DecodedRecord& decoded) {
  const Bytes data = decoded.transfer.data.bytes;
  dumpHexWrapped(entry.out, data, entry.indent.wrap);
  if (const auto* reply = std::get_if<StatusReply>(&decoded.body)) {
    writeStatusReplyText(entry, *reply);
    return;
  }
  entry.out.put('\n');
  entry.out.blanks(entry.indent.dump);
  dumpChars(entry.out, data);
}

// A feature read never has a character line.
void writeHidGetFeat(const EntryOut& entry, const Record& record, const DecodedRecord& decoded) {
  if (const auto* report = std::get_if<ComponentReport>(&decoded.body)) {
    writeComponentReportText(entry, *report);
  } else if (decoded.firmware) {
    // Payload bytes 8 to 11 of other firmware feature reads are not shown.
    dumpHexWrapped(entry.out, bytesFrom(record.payload, kOtherFeatureReadShown), entry.indent.wrap);
  } else {
    dumpHexWrapped(entry.out, decoded.transfer.data.bytes, entry.indent.wrap);
  }
}

void writeHidSetFeat(const EntryOut& entry, const DecodedRecord& decoded) {
  const Bytes data = decoded.transfer.data.bytes;
  dumpHex(entry.out, data);
  entry.out.put('\n');
  entry.out.blanks(entry.indent.dump);
  dumpChars(entry.out, data);
}

}  // namespace

void writeRawData(Writer& out, MinorCode minorCode, Bytes payload) {
  out.put("Minor=");
  out.decimal(minorCode);
  out.put('(');
  out.hex(minorCode);
  out.put("), Length=");
  out.decimal(static_cast<std::int64_t>(payload.size()));
  out.put(", data='");
  out.flush();
  dumpChars(out, payload);
  out.put("'\n");
  out.flush();
}

void renderRecord(Writer& out, const EntryLayout& layout, const Record& record,
                  const DecodedRecord& decoded, const PrefixStrings& prefix) {
  const EntryOut entry{out, measureIndents(widthsOf(prefix), layout.recordedWidths,
                                           layout.keptStrings, layout.hideType)};
  const Bytes payload = record.payload;
  if (isHidTransfer(decoded.type))
    writeTransferFirstLine(out, layout.hideType, decoded.type, decoded.transfer.header.bytes,
                           prefix);
  switch (decoded.type) {
    case RecordType::Text:
      writePlainFirstLine(out, layout.hideType, decoded.type, prefix);
      out.put(std::string_view(reinterpret_cast<const char*>(decoded.text.bytes.data()),
                               decoded.text.size()));
      break;
    case RecordType::Hex:
      writePlainFirstLine(out, layout.hideType, decoded.type, prefix);
      dumpHex(out, payload);
      out.put('\n');
      out.blanks(entry.indent.hex + 1);
      dumpChars(out, payload);
      break;
    case RecordType::HidWrite: writeHidWrite(entry, decoded); break;
    case RecordType::HidRead: writeHidRead(entry, decoded); break;
    case RecordType::HidGetFeat: writeHidGetFeat(entry, record, decoded); break;
    case RecordType::HidSetFeat: writeHidSetFeat(entry, decoded); break;
    case RecordType::Unknown:
      writePlainFirstLine(out, layout.hideType, decoded.type, prefix);
      writeRawData(out, record.header.minorCode, payload);
      break;
  }
  out.put('\n');
}

}  // namespace ovantrex
