#include "output/text/firmware_text.h"

#include "analysis/error_reply.h"
#include "output/common/byte_dumps.h"
#include "output/common/colours.h"
#include "output/common/notes.h"

namespace ovantrex {

namespace {

IndentedNotes notesOf(const EntryOut& entry) { return {entry.out, entry.indent.note}; }

void tableLine(const EntryOut& entry) {
  entry.out.put('\n');
  entry.out.blanks(entry.indent.table);
}

}  // namespace

void writeCommandText(const EntryOut& entry, const FirmwareCommand& command) {
  IndentedNotes notes = notesOf(entry);
  writeCommandNotes(notes, command);
}

void writeStatusReplyText(const EntryOut& entry, const StatusReply& reply) {
  IndentedNotes notes = notesOf(entry);
  // The notes of an error reply stand out.
  painted(entry.out, isErrorReply(reply) ? Hue::Error : Hue::None,
          [&] { writeStatusNotes(notes, reply); });
  if (!reply.flashRead) return;
  // The length byte is only shown: every byte after the fields is dumped.
  entry.out.put('\n');
  entry.out.blanks(entry.indent.dump);
  dumpChars(entry.out, reply.contents.bytes);
}

void writeVersionListTable(const EntryOut& entry, const ExtendedVersionList& list) {
  if (!list.listed) return;
  Writer& out = entry.out;
  tableLine(entry);
  out.put("Extended Component Version List - RecordID: ");
  for (const std::uint8_t b : list.recordId) out.hexByte(b);
  out.put("  Data Count: ");
  out.decimal(list.dataCount);
  tableLine(entry);
  out.put(" i rr gg ff bb");
  tableLine(entry);
  out.put("-- -- -- -- --");
  for (std::size_t r = 0; r < list.rowCount(); ++r) {
    tableLine(entry);
    const auto row = list.row(r);
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i != 0) out.put(' ');
      out.hexByte(row[i]);
    }
  }
}

void writeSmReportText(const EntryOut& entry, const SmReport& report) {
  IndentedNotes notes = notesOf(entry);
  writeSmReportNotes(notes, report);
}

void writeComponentReportText(const EntryOut& entry, const ComponentReport& report) {
  dumpHexWrapped(entry.out, report.span.bytes, entry.indent.wrap);
  if (const auto* list = std::get_if<ExtendedVersionList>(&report.body)) {
    writeVersionListTable(entry, *list);
  } else {
    writeSmReportText(entry, std::get<SmReport>(report.body));
  }
}

}  // namespace ovantrex
