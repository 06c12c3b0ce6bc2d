// The session summary as text: sections of labelled lines, the labels in a
// column of their own.
#include <span>
#include <string_view>

#include "core/protocol.h"
#include "output/common/json_values.h"
#include "output/common/notes.h"
#include "output/summary/session_summary.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

constexpr std::size_t kLabelColumn = 30;

// A line: the indent, the label padded to its column, then the caller's
// words.
Writer& line(Writer& out, std::size_t indent, std::string_view label) {
  out.blanks(indent);
  out.put(label);
  const std::size_t used = indent + label.size();
  out.blanks(used < kLabelColumn ? kLabelColumn - used : 1);
  return out;
}

void time(Writer& out, const TraceTime& time) {
  writeUtcTime(out, time.seconds, time.milliseconds);
}

void hexAddress(Writer& out, std::uint32_t address) {
  out.put("0x");
  out.hexPadded(address, 6);
}

void leftOut(Writer& out, std::uint64_t count) {
  if (count == 0) return;
  out.put(" and ");
  out.decimal(static_cast<std::int64_t>(count));
  out.put(" more");
}

// After the items of a list: how many more there were; an empty list
// stands as "none" or "3 not listed".
void listEnd(Writer& out, bool empty, std::uint64_t count) {
  if (empty) {
    writeEmptyList(out, count, Counts::Plain);
  } else {
    leftOut(out, count);
  }
}

// The first notes that writeNotes(sink) writes, then how many more there were.
template <typename WriteNotes>
void joined(Writer& out, Writer& scratch, WriteNotes writeNotes) {
  bool first = true;
  FirstNotes notes(scratch, kMaxNotesPerList, [&out, &first](std::string_view words) {
    if (!first) out.put("; ");
    first = false;
    out.put(words);
  });
  writeNotes(notes);
  const std::uint64_t notesLeftOut = notes.leftOut();
  if (notesLeftOut == 0) return;
  if (notes.taken() == 0) {
    writeEmptyList(out, notesLeftOut, Counts::Plain, notesLeftOut == 1 ? "note" : "notes");
    return;
  }
  leftOut(out, notesLeftOut);
  out.put(notesLeftOut == 1 ? " note" : " notes");
}

void writeTrace(Writer& out, const SessionFacts& data) {
  out.put("Trace\n");
  writeRecordCounts(line(out, 2, "records"), data, Counts::Plain);
  out.put('\n');
  line(out, 2, "hidden by component").decimal(static_cast<std::int64_t>(data.hidden));
  out.put('\n');
  line(out, 2, "fallback entries").decimal(static_cast<std::int64_t>(data.failed));
  out.put('\n');
  writeSkippedCounts(line(out, 2, "skipped"), data, Counts::Plain);
  out.put('\n');
  writeFormatVersions(line(out, 2, "format versions"), data);
  out.put('\n');
  writeTimeSpan(line(out, 2, "time"), data);
  out.put('\n');
  if (data.readFailure) {
    writeReadFailure(line(out, 2, kReadToItsEnd), *data.readFailure);
    out.put('\n');
  }
}

void writeCommands(Writer& out, const SessionFacts& data) {
  out.put("\nFirmware commands\n");
  for (std::size_t kind = 0; kind < data.commands.size(); ++kind) {
    writeCommandCount(line(out, 2, commandKindName(static_cast<CommandKind>(kind))), data, kind,
                      Counts::Plain);
    out.put('\n');
  }
}

void writeUpdate(Writer& out, const UpdateFacts& update, std::size_t number) {
  out.put("  update ");
  out.decimal(static_cast<std::int64_t>(number));
  out.put(" at offset ");
  out.decimal(static_cast<std::int64_t>(update.offset));
  if (update.time) {
    out.put(", ");
    time(out, *update.time);
  }
  out.put('\n');
  line(out, 4, "flash writes").decimal(static_cast<std::int64_t>(update.writes));
  out.put(", ");
  out.decimal(static_cast<std::int64_t>(update.bytes));
  out.put(" bytes\n");
  line(out, 4, "addresses");
  for (std::size_t i = 0; i < update.ranges.size(); ++i) {
    if (i != 0) out.put(", ");
    hexAddress(out, update.ranges[i].first);
    out.put('-');
    hexAddress(out, update.ranges[i].last);
  }
  listEnd(out, update.ranges.empty(), update.rangesLeftOut);
  out.put('\n');
  line(out, 4, "rewritten").decimal(static_cast<std::int64_t>(update.rewrittenBytes));
  out.put(" bytes\n");
  line(out, 4, "length mismatches").decimal(static_cast<std::int64_t>(update.lengthMismatches));
  out.put('\n');
  line(out, 4, "checksums");
  for (std::size_t i = 0; i < update.checksums.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put("0x");
    out.hexPadded(update.checksums[i], 4);
  }
  listEnd(out, update.checksums.empty(), update.checksumsLeftOut);
  out.put('\n');
  line(out, 4, "serial numbers");
  for (std::size_t i = 0; i < update.serialNumbers.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put(update.serialNumbers[i]);
  }
  listEnd(out, update.serialNumbers.empty(), update.serialNumbersLeftOut);
  writeSerialNumberWrites(out, update, Counts::Plain);
  out.put('\n');
  line(out, 4, "reset").put(update.reset ? "yes\n" : "no\n");
  line(out, 4, "error replies").decimal(static_cast<std::int64_t>(update.errors));
  out.put('\n');
}

void writeReplies(Writer& out, const SessionFacts& data) {
  out.put("\nReplies\n");
  const auto bits = statusBitNames();
  for (std::size_t i = 0; i < bits.size(); ++i) {
    line(out, 2, bits[i].name).decimal(static_cast<std::int64_t>(data.statusBits[i]));
    out.put('\n');
  }
  line(out, 2, "flash reads").decimal(static_cast<std::int64_t>(data.flashReads));
  out.put('\n');
  writeEcLevels(line(out, 2, "last EC levels"), data);
  out.put('\n');
}

void writeErrors(Writer& out, Writer& scratch, const SessionFacts& data) {
  out.put('\n');
  line(out, 0, "Error replies")
      .decimal(static_cast<std::int64_t>(data.errors.size() + data.errorsLeftOut));
  out.put('\n');
  for (const ErrorReply& error : data.errors) {
    out.put("  offset ");
    out.decimal(static_cast<std::int64_t>(error.offset));
    if (error.time) {
      out.put(", ");
      time(out, *error.time);
    }
    if (error.update != 0) {
      out.put(", update ");
      out.decimal(static_cast<std::int64_t>(error.update));
    }
    out.put(": ");
    joined(out, scratch, [&error](NoteSink& notes) { writeStatusNotes(notes, error.reply); });
    out.put('\n');
    if (error.command) {
      out.put("    after the command at offset ");
      out.decimal(static_cast<std::int64_t>(error.command->offset()));
      out.put(": ");
      joined(out, scratch,
             [&error](NoteSink& notes) { writeCommandNotes(notes, error.command->command()); });
      out.put('\n');
    }
  }
  if (data.errorsLeftOut != 0) {
    out.put("  and ");
    out.decimal(static_cast<std::int64_t>(data.errorsLeftOut));
    out.put(" more\n");
  }
}

void writeDevices(Writer& out, const SessionFacts& data) {
  out.put("\nDevices\n");
  bool any = false;
  if (data.hasVersionList) {
    any = true;
    writeVersionListName(line(out, 2, "extended version list"), data);
    out.put("\n     i rr gg ff bb\n");
    for (const auto& row : data.versionRows) {
      out.put("    ");
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i != 0) out.put(' ');
        out.hexByte(row[i]);
      }
      out.put('\n');
    }
  }
  for (std::size_t deviceClass = 0; deviceClass < data.devices.size(); ++deviceClass) {
    const DeviceReport& device = data.devices[deviceClass];
    if (!device.hasInventory && !device.hasCounters) continue;
    any = true;
    out.put("  ");
    writeDeviceClassName(out, deviceClass);
    out.put('\n');
    forEachDeviceFact(device, [&out](const DeviceFact& fact) {
      fact.write(line(out, 4, fact.label), fact.value);
      out.put('\n');
    });
  }
  if (!any) out.put("  none reported\n");
}

}  // namespace

void writeSummaryText(Writer& out, Writer& scratch, const SessionFacts& data) {
  writeTrace(out, data);
  writeCommands(out, data);
  out.put('\n');
  line(out, 0, "Updates")
      .decimal(static_cast<std::int64_t>(data.updates.size() + data.updatesLeftOut));
  out.put('\n');
  line(out, 2, "outside any update").decimal(static_cast<std::int64_t>(data.writesOutsideUpdates));
  out.put(data.writesOutsideUpdates == 1 ? " flash write\n" : " flash writes\n");
  for (std::size_t i = 0; i < data.updates.size(); ++i) writeUpdate(out, data.updates[i], i + 1);
  if (data.updatesLeftOut != 0) {
    out.put("  and ");
    out.decimal(static_cast<std::int64_t>(data.updatesLeftOut));
    out.put(" more\n");
  }
  writeReplies(out, data);
  writeErrors(out, scratch, data);
  writeDevices(out, data);
}

}  // namespace ovantrex
