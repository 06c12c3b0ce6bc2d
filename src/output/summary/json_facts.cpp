#include "output/summary/json_facts.h"

#include "output/common/json_values.h"
#include "output/common/notes.h"
#include "output/json/json_decoded.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

void timeOrNull(Writer& out, const std::optional<TraceTime>& time) {
  if (time) {
    writeJsonUtcTime(out, time->seconds, time->milliseconds);
  } else {
    out.put("null");
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
  object.number("notes_left_out", static_cast<std::int64_t>(leftOut));
}

}  // namespace

JsonFacts::JsonFacts(Writer& out, Writer& scratch, Writer& words, const SummaryRowHead* rowHead)
    : out_(out), scratch_(scratch), words_(words), row_(rowHead != nullptr) {
  // The scopes' room is taken before the first byte: want of memory writes
  // nothing.
  first_.reserve(16);
  sectionObjects_.reserve(16);
  open('{');
  if (rowHead != nullptr) {
    writeRowHead(out_, *rowHead);
    first_.back() = false;
  }
}

void JsonFacts::close() {
  closeScope('}');
  out_.put('\n');
}

void JsonFacts::open(char bracket) {
  out_.put(bracket);
  first_.push_back(true);
}

void JsonFacts::closeScope(char bracket) {
  out_.put(bracket);
  first_.pop_back();
}

Writer& JsonFacts::key(std::string_view name) {
  out_.put(first_.back() ? "\"" : ",\"");
  first_.back() = false;
  out_.put(name);
  out_.put("\":");
  return out_;
}

void JsonFacts::writeLeftOut(std::string_view name, std::uint64_t count) {
  out_.put(",\"");
  out_.put(name);
  out_.put("_left_out\":");
  out_.decimal(static_cast<std::int64_t>(count));
}

Writer& JsonFacts::element() {
  if (!first_.back()) out_.put(',');
  first_.back() = false;
  return out_;
}

void JsonFacts::verdict(Field words, Field counts, Field last, const SessionFacts& facts) {
  words_.clear();
  writeVerdict(words_, scratch_, facts, Counts::Plain, plainWords);
  writeJsonString(key(words.key), words_.text());
  {
    JsonObject outcomes(key(counts.key));
    for (std::size_t i = 0; i < facts.outcomes.size(); ++i) {
      outcomes.number(kOutcomeRows[i].key, static_cast<std::int64_t>(facts.outcomes[i]));
    }
  }
  Writer& out = key(last.key);
  if (!facts.lastUpdate) {
    out.put("null");
    return;
  }
  const UpdateEnd& update = *facts.lastUpdate;
  JsonObject object(out);
  object.number("number", static_cast<std::int64_t>(update.number));
  object.string("outcome", coded(update.outcome).key);
  object.number("errors", static_cast<std::int64_t>(update.errors));
  Writer& first = object.key("first_error_offset");
  if (update.firstError) {
    first.decimal(static_cast<std::int64_t>(*update.firstError));
  } else {
    first.put("null");
  }
  object.boolean("checksum_written", update.checksumWritten);
  object.boolean("reset", update.reset);
  const UpdateExchanges& exchanges = update.exchanges;
  object.number("refused", static_cast<std::int64_t>(exchanges.refused));
  object.number("recovered", static_cast<std::int64_t>(exchanges.recovered));
  object.number("unrecovered", static_cast<std::int64_t>(update.unrecovered));
  object.number("unanswered", static_cast<std::int64_t>(exchanges.unanswered));
  object.number("other_errors", static_cast<std::int64_t>(update.otherErrors()));
}

void JsonFacts::beginSection(Field section, std::optional<std::uint64_t> /*count*/) {
  sectionObjects_.push_back(!section.key.empty());
  if (section.key.empty()) return;
  key(section.key);
  open('{');
}

void JsonFacts::endSection() {
  if (sectionObjects_.back()) closeScope('}');
  sectionObjects_.pop_back();
}

void JsonFacts::beginGroup(std::string_view key) {
  this->key(key);
  open('{');
}

void JsonFacts::endGroup() { closeScope('}'); }

void JsonFacts::count(Field field, std::uint64_t value) {
  key(field.key).decimal(static_cast<std::int64_t>(value));
}

void JsonFacts::countOf(Field field, std::uint64_t value, std::string_view /*one*/,
                        std::string_view /*many*/) {
  count(field, value);
}

void JsonFacts::countAndPart(Field field, std::uint64_t number, Field partField,
                             std::uint64_t part) {
  count(field, number);
  count(partField, part);
}

void JsonFacts::totalAndParts(Field total, std::string_view partsKey, std::uint64_t value,
                              std::span<const CountPart> parts) {
  count(total, value);
  counts({"", partsKey}, parts);
}

void JsonFacts::counts(Field field, std::span<const CountPart> parts) {
  JsonObject object(key(field.key));
  for (const CountPart& part : parts)
    object.number(part.field.key, static_cast<std::int64_t>(part.count));
}

void JsonFacts::flag(Field field, bool value) { writeJsonBool(key(field.key), value); }

void JsonFacts::outcome(Field field, UpdateOutcome outcome) {
  writeJsonString(key(field.key), coded(outcome).key);
}

void JsonFacts::rule(Field field, std::string_view words) {
  writeJsonString(key(field.key), words);
}

void JsonFacts::traceFile(Field field, const SessionFacts& facts) {
  if (row_) return;  // the row's head names the trace
  JsonObject trace(key(field.key));
  trace.string("name", facts.traceName);
  trace.number("bytes", static_cast<std::int64_t>(facts.bytesRead));
}

void JsonFacts::formatVersions(Field field, const SessionFacts& facts) {
  JsonArray versions(key(field.key));
  for (int version = 1; version <= 3; ++version) {
    if (facts.versions[static_cast<std::size_t>(version)]) versions.next().decimal(version);
  }
}

void JsonFacts::timeSpan(Field field, const SessionFacts& facts) {
  JsonObject time(key(field.key));
  timeOrNull(time.key("first"), facts.earliestTime);
  timeOrNull(time.key("last"), facts.latestTime);
  Writer& seconds = time.key("seconds");
  const auto span = facts.timeSpan();
  if (span) {
    writeJsonNumber(seconds, *span);
    time.boolean("in_order", facts.timesInOrder);
  } else {
    seconds.put("null");
    time.key("in_order").put("null");
  }
}

void JsonFacts::readFailure(Field field, const std::optional<ReadFailure>& failure) {
  Writer& out = key(field.key);
  if (!failure) {
    out.put("null");
    return;
  }
  JsonObject object(out);
  object.number("offset", static_cast<std::int64_t>(failure->offset));
  object.string("message", failure->reason);
}

void JsonFacts::ecLevels(Field field, const SessionFacts& facts) {
  Writer& out = key(field.key);
  if (!facts.hasEcLevels) {
    out.put("null");
    return;
  }
  JsonObject levels(out);
  writeEcLevelJson(levels.key("current"), facts.ecCurrent);
  writeEcLevelJson(levels.key("previous"), facts.ecPrevious);
}

void JsonFacts::ranges(Field field, std::span<const AddressRange> ranges, std::uint64_t leftOut) {
  {
    JsonArray list(key(field.key));
    for (const AddressRange& range : ranges) {
      JsonObject item(list.next());
      item.number("first", range.first);
      item.number("last", range.last);
    }
  }
  writeLeftOut(field.key, leftOut);
}

void JsonFacts::checksums(Field field, std::span<const std::uint16_t> checksums,
                          std::uint64_t leftOut) {
  {
    JsonArray list(key(field.key));
    for (const std::uint16_t checksum : checksums) list.next().decimal(checksum);
  }
  writeLeftOut(field.key, leftOut);
}

void JsonFacts::serialNumbers(Field field, std::string_view writes, const UpdateFacts& update) {
  {
    JsonArray list(key(field.key));
    for (const std::string_view serial : update.serialNumbers) writeJsonString(list.next(), serial);
  }
  writeLeftOut(field.key, update.serialNumbersLeftOut);
  key(writes).decimal(static_cast<std::int64_t>(update.serialNumberWrites));
}

void JsonFacts::versionList(Field field, const SessionFacts& facts) {
  Writer& out = key(field.key);
  if (!facts.hasVersionList) {
    out.put("null");
    return;
  }
  JsonObject versions(out);
  writeRecordIdJson(versions, "record_id", facts.versionListId);
  versions.number("data_count", facts.versionListCount);
  JsonArray rows(versions.key("rows"));
  for (const auto& row : facts.versionRows) writeVersionRowJson(rows.next(), row);
}

void JsonFacts::writtenBy(Field /*field*/, Field unanswered, Field refused,
                          const UpdateFacts& update) {
  count(unanswered, update.exchanges.unansweredWrites);
  count(refused, update.exchanges.refusedWrites);
}

namespace {

// A time in milliseconds, or null without one.
void millisecondsOrNull(Writer& out, const ResponseSummary& times, double value) {
  if (times.count == 0) {
    out.put("null");
  } else {
    writeJsonNumber(out, value);
  }
}

}  // namespace

void JsonFacts::responses(Field field, const ResponseSummary& responses) {
  JsonObject object(key(field.key));
  millisecondsOrNull(object.key("median_ms"), responses, responses.median);
  millisecondsOrNull(object.key("slowest_ms"), responses, responses.slowest);
  object.boolean("exact", responses.exact);
}

void JsonFacts::kindExchanges(Field field, std::uint64_t commands, const KindExchanges& exchanges) {
  JsonObject object(key(field.key));
  object.number("commands", static_cast<std::int64_t>(commands));
  object.number("answered", static_cast<std::int64_t>(exchanges.answered));
  object.number("unanswered", static_cast<std::int64_t>(exchanges.unanswered));
  object.number("refused", static_cast<std::int64_t>(exchanges.refused));
  const ResponseSummary& times = exchanges.responses;
  object.number("timed", static_cast<std::int64_t>(times.count));
  millisecondsOrNull(object.key("fastest_ms"), times, times.fastest);
  millisecondsOrNull(object.key("median_ms"), times, times.median);
  millisecondsOrNull(object.key("p95_ms"), times, times.p95);
  millisecondsOrNull(object.key("slowest_ms"), times, times.slowest);
  object.boolean("exact", times.exact);
}

void JsonFacts::unanswered(Field field, std::string_view first, const SessionFacts& facts) {
  std::uint64_t all = 0;
  for (const KindExchanges& kind : facts.exchanges) all += kind.unanswered;
  key(field.key).decimal(static_cast<std::int64_t>(all));
  JsonArray list(key(first));
  for (const UnansweredCommand& command : facts.firstUnanswered) {
    JsonObject item(list.next());
    item.number("offset", static_cast<std::int64_t>(command.offset));
    item.string("kind", coded(command.kind).key);
  }
}

void JsonFacts::slowest(Field field, std::span<const Exchange> exchanges) {
  JsonArray list(key(field.key));
  for (const Exchange& exchange : exchanges) {
    JsonObject item(list.next());
    item.number("command", static_cast<std::int64_t>(exchange.command));
    item.number("reply", static_cast<std::int64_t>(exchange.reply));
    item.string("kind", coded(exchange.kind).key);
    writeJsonNumber(item.key("response_ms"), exchange.milliseconds);
  }
}

void JsonFacts::beginList(Field list, std::span<const Field> /*columns*/) {
  key(list.key);
  open('[');
}

void JsonFacts::endList(Field list, std::optional<std::uint64_t> leftOut) {
  closeScope(']');
  if (leftOut) writeLeftOut(list.key, *leftOut);
}

void JsonFacts::beginUpdate(std::size_t /*number*/, const UpdateFacts& update) {
  element();
  open('{');
  key("offset").decimal(static_cast<std::int64_t>(update.offset));
  timeOrNull(key("time"), update.time);
}

void JsonFacts::endUpdate() { closeScope('}'); }

void JsonFacts::errorReply(std::size_t /*number*/, const ErrorReply& error) {
  JsonObject object(element());
  object.number("offset", static_cast<std::int64_t>(error.offset));
  timeOrNull(object.key("time"), error.time);
  notesOf(object, scratch_, [&error](NoteSink& notes) { writeStatusNotes(notes, error.reply); });
  Writer& update = object.key("update");
  if (error.update != 0) {
    update.decimal(static_cast<std::int64_t>(error.update));
  } else {
    update.put("null");
  }
  writeDecodedJson(object.key("decoded"), FirmwareBody(error.reply));
  Writer& command = object.key("command");
  if (!error.command) {
    command.put("null");
    return;
  }
  JsonObject before(command);
  before.number("offset", static_cast<std::int64_t>(error.command->offset()));
  notesOf(before, scratch_,
          [&error](NoteSink& notes) { writeCommandNotes(notes, error.command->command()); });
  writeDecodedJson(before.key("decoded"), FirmwareBody(error.command->command()));
}

void JsonFacts::deviceClass(std::uint8_t deviceClass, const DeviceReport& report) {
  JsonObject entry(element());
  writeCodedJson(entry, "device_class", deviceClass, kDeviceClassTable.words(deviceClass));
  {
    JsonArray inventory(entry.key("inventory"));
    for (const InventoryItem& item : report.inventory)
      writeInventoryItemJson(inventory.next(), item);
  }
  JsonArray counters(entry.key("counters"));
  for (const UsageCounter& counter : report.counters)
    writeUsageCounterJson(counters.next(), counter, false);
}

void JsonFacts::nothingReported() {}

}  // namespace ovantrex
