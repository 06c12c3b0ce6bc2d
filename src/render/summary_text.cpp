// The session summary as text: sections of labelled lines, the labels in a
// column of their own.
#include <string_view>

#include "core/protocol.h"
#include "render/json_values.h"
#include "render/session_summary.h"

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

void joined(Writer& out, const std::vector<std::string>& notes) {
  for (std::size_t i = 0; i < notes.size(); ++i) {
    if (i != 0) out.put("; ");
    out.put(notes[i]);
  }
}

void leftOut(Writer& out, std::uint64_t count) {
  if (count == 0) return;
  out.put(" and ");
  out.decimal(static_cast<std::int64_t>(count));
  out.put(" more");
}

void writeTrace(Writer& out, const SessionSummaryData& data) {
  out.put("Trace\n");
  line(out, 2, "records").decimal(static_cast<std::int64_t>(data.records));
  const char* separator = ": ";
  for (std::size_t i = 0; i < kRecordTypesInOrder.size(); ++i) {
    if (data.byType[i] == 0) continue;
    out.put(separator);
    separator = ", ";
    out.put(recordTypeLabel(kRecordTypesInOrder[i]));
    out.put(' ');
    out.decimal(static_cast<std::int64_t>(data.byType[i]));
  }
  out.put('\n');
  line(out, 2, "hidden by component").decimal(static_cast<std::int64_t>(data.hidden));
  out.put('\n');
  line(out, 2, "fallback entries").decimal(static_cast<std::int64_t>(data.failed));
  out.put('\n');
  const std::string_view kinds[] = {"invalid minor code", "over-long length",
                                    "short extended header", "short payload"};
  line(out, 2, "skipped");
  for (std::size_t i = 0; i < data.diagnostics.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put(kinds[i]);
    out.put(' ');
    out.decimal(static_cast<std::int64_t>(data.diagnostics[i]));
  }
  out.put('\n');
  line(out, 2, "format versions");
  bool any = false;
  for (int version = 1; version <= 3; ++version) {
    if (!data.versions[static_cast<std::size_t>(version)]) continue;
    if (any) out.put(", ");
    any = true;
    out.decimal(version);
  }
  if (!any) out.put("none");
  out.put('\n');
  line(out, 2, "time");
  if (data.firstTime && data.lastTime) {
    time(out, *data.firstTime);
    out.put(" to ");
    time(out, *data.lastTime);
    out.put(", ");
    const std::int64_t span = (data.lastTime->seconds - data.firstTime->seconds) * 1000 +
                              data.lastTime->milliseconds - data.firstTime->milliseconds;
    writeJsonNumber(out, static_cast<double>(span) / 1000);
    out.put(" s\n");
  } else {
    out.put("none (no records of format version 3)\n");
  }
}

void writeCommands(Writer& out, const SessionSummaryData& data) {
  out.put("\nFirmware commands\n");
  for (std::size_t kind = 0; kind < data.commands.size(); ++kind) {
    line(out, 2, commandKindName(static_cast<CommandKind>(kind)))
        .decimal(static_cast<std::int64_t>(data.commands[kind]));
    if (static_cast<CommandKind>(kind) == CommandKind::System) {
      const char* separator = ": ";
      for (const auto& [name, count] : data.systemCommands) {
        out.put(separator);
        separator = ", ";
        out.put(name);
        out.put(' ');
        out.decimal(static_cast<std::int64_t>(count));
      }
    }
    out.put('\n');
  }
}

void writeUpdate(Writer& out, const UpdateSummary& update, std::size_t number) {
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
  if (update.ranges.empty()) out.put("none");
  for (std::size_t i = 0; i < update.ranges.size(); ++i) {
    if (i != 0) out.put(", ");
    hexAddress(out, update.ranges[i].first);
    out.put('-');
    hexAddress(out, update.ranges[i].last);
  }
  leftOut(out, update.rangesLeftOut);
  out.put('\n');
  line(out, 4, "rewritten").decimal(static_cast<std::int64_t>(update.rewrittenBytes));
  out.put(" bytes\n");
  line(out, 4, "length mismatches").decimal(static_cast<std::int64_t>(update.lengthMismatches));
  out.put('\n');
  line(out, 4, "checksums");
  if (update.checksums.empty()) out.put("none");
  for (std::size_t i = 0; i < update.checksums.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put("0x");
    out.hexPadded(update.checksums[i], 4);
  }
  leftOut(out, update.checksumsLeftOut);
  out.put('\n');
  line(out, 4, "serial numbers");
  if (update.serialNumbers.empty()) out.put("none");
  for (std::size_t i = 0; i < update.serialNumbers.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put(update.serialNumbers[i]);
  }
  leftOut(out, update.serialNumbersLeftOut);
  out.put('\n');
  line(out, 4, "reset").put(update.reset ? "yes\n" : "no\n");
  line(out, 4, "error replies").decimal(static_cast<std::int64_t>(update.errors));
  out.put('\n');
}

void writeReplies(Writer& out, const SessionSummaryData& data) {
  out.put("\nReplies\n");
  const auto bits = statusBitNames();
  for (std::size_t i = 0; i < bits.size(); ++i) {
    line(out, 2, bits[i].name).decimal(static_cast<std::int64_t>(data.statusNotes[i]));
    out.put('\n');
  }
  line(out, 2, "flash reads").decimal(static_cast<std::int64_t>(data.flashReads));
  out.put('\n');
  line(out, 2, "last EC levels");
  if (data.hasEcLevels) {
    out.put("current ");
    out.hexByte(data.ecCurrent[0]);
    out.put('.');
    out.hexByte(data.ecCurrent[1]);
    out.put(", previous ");
    out.hexByte(data.ecPrevious[0]);
    out.put('.');
    out.hexByte(data.ecPrevious[1]);
    out.put('\n');
  } else {
    out.put("none\n");
  }
}

void writeErrors(Writer& out, const SessionSummaryData& data) {
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
    joined(out, error.notes);
    out.put('\n');
    if (error.hasCommand) {
      out.put("    after the command at offset ");
      out.decimal(static_cast<std::int64_t>(error.commandOffset));
      out.put(": ");
      joined(out, error.commandNotes);
      out.put('\n');
    }
  }
  if (data.errorsLeftOut != 0) {
    out.put("  and ");
    out.decimal(static_cast<std::int64_t>(data.errorsLeftOut));
    out.put(" more\n");
  }
}

void writeVersionList(Writer& out, const SessionSummaryData& data) {
  line(out, 2, "extended version list");
  for (std::size_t i = 0; i < data.versionListId.size(); ++i) {
    if (i != 0) out.put('.');
    out.hexByte(data.versionListId[i]);
  }
  out.put(", data count ");
  out.decimal(data.versionListCount);
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

// The class's name (or its code), its inventory items and named counters.
void writeDeviceClass(Writer& out, std::uint8_t deviceClass, const DeviceReport& device) {
  const std::string_view name = nameDeviceClass(deviceClass);
  out.put("  ");
  if (name.empty()) {
    out.put("class 0x");
    out.hexByte(deviceClass);
  } else {
    out.put(name);
  }
  out.put('\n');
  for (const InventoryItem& item : device.inventory) {
    if (item.tag == kItemManufactureDate) {
      line(out, 4, "ManufactureDate").hexPadded(item.value, 4);
      out.put('\n');
    } else if (item.tag == kItemLogicalDeviceList) {
      line(out, 4, "logical device list").put("not decoded\n");
    }
  }
  for (const UsageCounter& counter : device.counters) {
    const std::string_view counterName = usageCounterName(counter.deviceClass, counter.tag);
    if (counterName.empty()) continue;
    line(out, 4, counterName).decimal(counter.value);
    out.put('\n');
  }
}

void writeDevices(Writer& out, const SessionSummaryData& data) {
  out.put("\nDevices\n");
  bool any = data.hasVersionList;
  if (data.hasVersionList) writeVersionList(out, data);
  for (std::size_t deviceClass = 0; deviceClass < data.devices.size(); ++deviceClass) {
    const DeviceReport& device = data.devices[deviceClass];
    if (!device.hasInventory && !device.hasCounters) continue;
    any = true;
    writeDeviceClass(out, static_cast<std::uint8_t>(deviceClass), device);
  }
  if (!any) out.put("  none reported\n");
}

}  // namespace

void writeSummaryText(Writer& out, const SessionSummaryData& data) {
  writeTrace(out, data);
  writeCommands(out, data);
  out.put('\n');
  line(out, 0, "Updates")
      .decimal(static_cast<std::int64_t>(data.updates.size() + data.updatesLeftOut));
  out.put('\n');
  for (std::size_t i = 0; i < data.updates.size(); ++i) writeUpdate(out, data.updates[i], i + 1);
  if (data.updatesLeftOut != 0) {
    out.put("  and ");
    out.decimal(static_cast<std::int64_t>(data.updatesLeftOut));
    out.put(" more\n");
  }
  writeReplies(out, data);
  writeErrors(out, data);
  writeDevices(out, data);
}

}  // namespace ovantrex
