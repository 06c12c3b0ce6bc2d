// The session summary as one JSON object on one line.
#include <span>
#include <string_view>

#include "core/protocol.h"
#include "output/common/json_values.h"
#include "output/common/notes.h"
#include "output/json/json_decoded.h"
#include "output/summary/session_summary.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

void count(JsonObject& object, std::string_view name, std::uint64_t value) {
  object.number(name, static_cast<std::int64_t>(value));
}

void timeOrNull(JsonObject& object, std::string_view name, const std::optional<TraceTime>& time) {
  Writer& out = object.key(name);
  if (time) {
    writeJsonUtcTime(out, time->seconds, time->milliseconds);
  } else {
    out.put("null");
  }
}

void stringList(JsonObject& object, std::string_view name,
                std::span<const std::string_view> items) {
  JsonArray list(object.key(name));
  for (const std::string_view item : items) writeJsonString(list.next(), item);
}

void writeTrace(JsonObject& summary, const SessionFacts& data) {
  {
    JsonObject records(summary.key("records"));
    count(records, "total", data.records);
    {
      JsonObject byType(records.key("by_type"));
      for (std::size_t i = 0; i < kRecordTypesInOrder.size(); ++i)
        count(byType, recordTypeLabel(kRecordTypesInOrder[i]), data.byType[i]);
    }
    count(records, "hidden", data.hidden);
    count(records, "failed", data.failed);
  }
  {
    JsonObject diagnostics(summary.key("diagnostics"));
    const std::string_view names[] = {"invalid_minor", "overlong", "short_ext_header",
                                      "short_payload"};
    for (std::size_t i = 0; i < data.diagnostics.size(); ++i)
      count(diagnostics, names[i], data.diagnostics[i]);
  }
  {
    JsonArray versions(summary.key("versions"));
    for (int version = 1; version <= 3; ++version) {
      if (data.versions[static_cast<std::size_t>(version)]) versions.next().decimal(version);
    }
  }
  {
    Writer& failure = summary.key("read_error");
    if (data.readFailure) {
      JsonObject object(failure);
      count(object, "offset", data.readFailure->offset);
      object.string("message", data.readFailure->reason);
    } else {
      failure.put("null");
    }
  }
  JsonObject time(summary.key("time"));
  timeOrNull(time, "first", data.earliestTime);
  timeOrNull(time, "last", data.latestTime);
  Writer& seconds = time.key("seconds");
  const auto span = data.timeSpan();
  if (span) {
    writeJsonNumber(seconds, *span);
  } else {
    seconds.put("null");
  }
  if (span) {
    time.boolean("in_order", data.timesInOrder);
  } else {
    time.key("in_order").put("null");
  }
}

void writeCommands(JsonObject& summary, const SessionFacts& data) {
  JsonObject commands(summary.key("commands"));
  for (std::size_t kind = 0; kind < data.commands.size(); ++kind)
    count(commands, commandKindName(static_cast<CommandKind>(kind)), data.commands[kind]);
  JsonObject system(commands.key("system_commands"));
  for (const auto& [code, value] : data.systemCommands)
    count(system, systemCommandName(code), value);
}

void writeUpdate(Writer& out, const UpdateFacts& update) {
  JsonObject object(out);
  count(object, "offset", update.offset);
  timeOrNull(object, "time", update.time);
  count(object, "writes", update.writes);
  count(object, "bytes", update.bytes);
  {
    JsonArray ranges(object.key("ranges"));
    for (const AddressRange& range : update.ranges) {
      JsonObject item(ranges.next());
      item.number("first", range.first);
      item.number("last", range.last);
    }
  }
  count(object, "ranges_left_out", update.rangesLeftOut);
  count(object, "rewritten_bytes", update.rewrittenBytes);
  count(object, "length_mismatches", update.lengthMismatches);
  {
    JsonArray checksums(object.key("checksums"));
    for (const std::uint16_t checksum : update.checksums) checksums.next().decimal(checksum);
  }
  count(object, "checksums_left_out", update.checksumsLeftOut);
  stringList(object, "serial_numbers", update.serialNumbers);
  count(object, "serial_numbers_left_out", update.serialNumbersLeftOut);
  count(object, "serial_number_writes", update.serialNumberWrites);
  object.boolean("reset", update.reset);
  count(object, "errors", update.errors);
}

void writeReplies(JsonObject& summary, const SessionFacts& data) {
  JsonObject replies(summary.key("replies"));
  const auto bits = statusBitNames();
  for (std::size_t i = 0; i < bits.size(); ++i) count(replies, bits[i].name, data.statusBits[i]);
  count(replies, "flash_reads", data.flashReads);
  Writer& ec = replies.key("ec");
  if (data.hasEcLevels) {
    JsonObject levels(ec);
    writeEcLevelJson(levels.key("current"), data.ecCurrent);
    writeEcLevelJson(levels.key("previous"), data.ecPrevious);
  } else {
    ec.put("null");
  }
}

// "notes": the first notes that writeNotes(sink) writes, and
// "notes_left_out": how many more there were.
template <typename WriteNotes>
void notesOf(JsonObject& object, Writer& scratch, WriteNotes writeNotes) {
  std::uint64_t leftOut = 0;
  {
    JsonArray list(object.key("notes"));
    FirstNotes notes(scratch, kMaxNotesPerList,
                     [&list](std::string_view words) { writeJsonString(list.next(), words); });
    writeNotes(notes);
    leftOut = notes.leftOut();
  }
  count(object, "notes_left_out", leftOut);
}

void writeError(Writer& out, Writer& scratch, const ErrorReply& error) {
  JsonObject object(out);
  count(object, "offset", error.offset);
  timeOrNull(object, "time", error.time);
  notesOf(object, scratch, [&error](NoteSink& notes) { writeStatusNotes(notes, error.reply); });
  Writer& update = object.key("update");
  if (error.update != 0) {
    update.decimal(static_cast<std::int64_t>(error.update));
  } else {
    update.put("null");
  }
  Writer& command = object.key("command");
  if (error.command) {
    JsonObject before(command);
    count(before, "offset", error.command->offset());
    notesOf(before, scratch,
            [&error](NoteSink& notes) { writeCommandNotes(notes, error.command->command()); });
  } else {
    command.put("null");
  }
}

void writeDevices(JsonObject& summary, const SessionFacts& data) {
  JsonObject devices(summary.key("devices"));
  Writer& list = devices.key("version_list");
  if (data.hasVersionList) {
    JsonObject versions(list);
    writeRecordIdJson(versions, "record_id", data.versionListId);
    versions.number("data_count", data.versionListCount);
    JsonArray rows(versions.key("rows"));
    for (const auto& row : data.versionRows) writeVersionRowJson(rows.next(), row);
  } else {
    list.put("null");
  }
  JsonArray classes(devices.key("classes"));
  for (std::size_t deviceClass = 0; deviceClass < data.devices.size(); ++deviceClass) {
    const DeviceReport& device = data.devices[deviceClass];
    if (!device.hasInventory && !device.hasCounters) continue;
    JsonObject entry(classes.next());
    const auto code = static_cast<std::uint8_t>(deviceClass);
    writeCodedJson(entry, "device_class", code, nameDeviceClass(code));
    {
      JsonArray inventory(entry.key("inventory"));
      for (const InventoryItem& item : device.inventory)
        writeInventoryItemJson(inventory.next(), item);
    }
    JsonArray counters(entry.key("counters"));
    for (const UsageCounter& counter : device.counters)
      writeUsageCounterJson(counters.next(), counter, false);
  }
}

}  // namespace

void writeSummaryJson(Writer& out, Writer& scratch, const SessionFacts& data) {
  {
    JsonObject summary(out);
    writeTrace(summary, data);
    writeCommands(summary, data);
    {
      JsonArray updates(summary.key("updates"));
      for (const UpdateFacts& update : data.updates) writeUpdate(updates.next(), update);
    }
    count(summary, "updates_left_out", data.updatesLeftOut);
    count(summary, "writes_outside_updates", data.writesOutsideUpdates);
    writeReplies(summary, data);
    {
      JsonArray errors(summary.key("errors"));
      for (const ErrorReply& error : data.errors) writeError(errors.next(), scratch, error);
    }
    count(summary, "errors_left_out", data.errorsLeftOut);
    count(summary, "errors_outside_updates", data.errorsOutsideUpdates);
    writeDevices(summary, data);
  }
  out.put('\n');
}

}  // namespace ovantrex
