// The one walk over the facts of a session: every fact that the summary and
// the report show, in their order, with its label, its key and who reads
// it. This file: the verdict, the trace, the commands, the replies and the
// exchanges; the updates, the error replies and the devices are in
// walk_items.cpp.
#include "output/summary/session_walk.h"

#include <algorithm>
#include <array>

#include "output/common/colours.h"

namespace ovantrex {

void DecodedFacts::textBytes(RecordKey key, Bytes bytes) {
  p_.beginObject({inJson(field(key).name())});
  p_.text(inJson("hex"), Text::by([bytes](Writer& out, const WordStyle& /*style*/) {
            for (const std::uint8_t byte : bytes) out.hexByte(byte);
          }));
  p_.text(inJson("text"), Text::trace({reinterpret_cast<const char*>(bytes.data()), bytes.size()}));
  p_.endObject();
}

void DecodedFacts::codedValue(std::string_view key, std::uint32_t value, std::string_view words) {
  p_.beginObject({inJson(key)});
  p_.number(inJson("value"), Number::count(value));
  p_.text(inJson("name"), Text::of(words));
  p_.endObject();
}

void describeOptional(FactPrinter& p, Fact fact, const std::optional<Number>& value) {
  if (value) {
    p.number(fact, *value);
  } else {
    p.none(fact);
  }
}

namespace {

std::optional<Number> timeOrNone(const std::optional<TraceTime>& time) {
  return time ? std::optional(Number::at(*time)) : std::nullopt;
}

// The outcome of the last update, and what decided it, for JSON.
void describeLastUpdate(const UpdateEnd& update, FactPrinter& p) {
  p.beginObject({inJson("last_update")});
  p.number(inJson("number"), Number::count(update.number));
  p.coded(inJson("outcome"), coded(update.outcome));
  p.number(inJson("errors"), Number::count(update.errors));
  describeOptional(p, inJson("first_error_offset"),
                   update.firstError ? std::optional(Number::of(Unit::Offset, *update.firstError))
                                     : std::nullopt);
  p.flag(inJson("checksum_written"), update.checksumWritten);
  p.flag(inJson("reset"), update.reset);
  const UpdateExchanges& exchanges = update.exchanges;
  p.number(inJson("refused"), Number::count(exchanges.refused));
  p.number(inJson("recovered"), Number::count(exchanges.recovered));
  p.number(inJson("unrecovered"), Number::count(update.unrecovered));
  p.number(inJson("unanswered"), Number::count(exchanges.unanswered));
  p.number(inJson("other_errors"), Number::count(update.otherErrors()));
  p.endObject();
}

// The verdict on the trace's updates, which opens the text summary: in
// JSON, its words, how many updates ended in each outcome and the end of
// the last update. (The page's glance opens with it.)
void describeVerdict(const SessionFacts& facts, FactPrinter& p) {
  // On a terminal that colours, the verdict is in the colour of the last
  // update's outcome.
  p.text({{}, "verdict", kText | kJson}, Text::by([&facts](Writer& out, const WordStyle& style) {
           painted(out, facts.lastUpdate ? hueOf(facts.lastUpdate->outcome) : Hue::None,
                   [&] { writeVerdict(out, facts, style); });
         }));
  p.beginObject({inJson("outcomes")});
  for (std::size_t i = 0; i < kUpdateOutcomes; ++i)
    p.number(inJson(kOutcomeRows[i].key), Number::count(facts.outcomes[i]));
  p.endObject();
  if (facts.lastUpdate) {
    describeLastUpdate(*facts.lastUpdate, p);
  } else {
    p.none(inJson("last_update"));
  }
}

// Counts by the rows of a table: people read the rows' words, JSON an
// object of their keys.
template <std::size_t N, typename Write>
void describeCounts(FactPrinter& p, std::string_view label, std::string_view key,
                    const std::array<CodedValue, N>& rows,
                    const std::array<std::uint64_t, N>& counts, Write write) {
  std::array<CountPart, N> parts{};
  for (std::size_t i = 0; i < N; ++i) parts[i] = {rows[i].words, counts[i]};
  p.text(forPeople(label), Text::by([&parts, &write](Writer& out, const WordStyle& style) {
           write(out, std::span<const CountPart>(parts), style);
         }));
  p.beginObject({inJson(key)});
  for (std::size_t i = 0; i < N; ++i) p.number(inJson(rows[i].key), Number::count(counts[i]));
  p.endObject();
}

void describeTime(const SessionFacts& facts, FactPrinter& p) {
  p.text(forPeople("time"), Text::by([&facts](Writer& out, const WordStyle& style) {
           writeTimeSpan(out, facts, style);
         }));
  p.beginObject({inJson("time")});
  describeOptional(p, inJson("first"), timeOrNone(facts.earliestTime));
  describeOptional(p, inJson("last"), timeOrNone(facts.latestTime));
  if (const auto span = facts.timeSpan()) {
    p.number(inJson("seconds"), Number::measured(Unit::Seconds, *span));
    p.flag(inJson("in_order"), facts.timesInOrder);
  } else {
    p.none(inJson("seconds"));
    p.none(inJson("in_order"));
  }
  p.endObject();
}

void describeReadFailure(const std::optional<ReadFailure>& failure, FactPrinter& p) {
  constexpr Fact kReadError = inJson("read_error");
  if (!failure) {
    p.none(kReadError);
    return;
  }
  p.text(forPeople("read to its end"), Text::by([&failure](Writer& out, const WordStyle& style) {
           out.put("no, ");
           writeFailedRead(out, *failure, style);
         }));
  p.beginObject({kReadError});
  p.number(inJson("offset"), Number::of(Unit::Offset, failure->offset));
  p.text(inJson("message"), Text::of(failure->reason));
  p.endObject();
}

void describeTrace(const SessionFacts& facts, FactPrinter& p, WalkOptions options) {
  p.beginObject({forPeople("Trace")});
  p.text(forPeople("file"), Text::by([&facts](Writer& out, const WordStyle& style) {
           style.traceWords(out, facts.traceName);
           out.put(", ");
           writeTraceBytes(out, facts.bytesRead, style);
         }));
  if (options.traceObject) {
    p.beginObject({inJson("trace")});
    p.text(inJson("name"), Text::trace(facts.traceName));
    p.number(inJson("bytes"), Number::count(facts.bytesRead));
    p.endObject();
  }
  p.beginObject({inJson("records")});
  p.text(forPeople("records"), Text::by([&facts](Writer& out, const WordStyle& style) {
           std::array<CountPart, kRecordTypes> parts{};
           for (std::size_t i = 0; i < kRecordTypes; ++i)
             parts[i] = {kRecordTypeRows[i].words, facts.byType[i]};
           writeTotalAndParts(out, facts.records, parts, style);
         }));
  p.number(inJson("total"), Number::count(facts.records));
  p.beginObject({inJson("by_type")});
  for (std::size_t i = 0; i < kRecordTypes; ++i)
    p.number(inJson(kRecordTypeRows[i].key), Number::count(facts.byType[i]));
  p.endObject();
  p.number({"hidden by component", "hidden"}, Number::count(facts.hidden));
  p.number({"fallback entries", "failed"}, Number::count(facts.failed));
  p.endObject();
  describeCounts(p, "skipped", "diagnostics", kDiagnosticRows, facts.diagnostics, writeCountParts);
  p.text(forPeople("format versions"), Text::by([&facts](Writer& out, const WordStyle& /*style*/) {
           writeFormatVersions(out, facts);
         }));
  FixedList<std::uint64_t, 3> versions;
  for (std::uint64_t version = 1; version <= 3; ++version)
    if (facts.versions[version]) versions.push(version);
  describeNumbers(p, "versions", versions, std::nullopt);
  describeTime(facts, p);
  describeReadFailure(facts.readFailure, p);
  p.endObject();
}

void describeCommands(const SessionFacts& facts, FactPrinter& p) {
  p.beginObject({{"Firmware commands", "commands"}});
  for (std::size_t kind = 0; kind < kCommandKinds; ++kind) {
    const CodedValue& row = kCommandKindRows[kind];
    if (static_cast<CommandKind>(kind) != CommandKind::System) {
      p.number({row.words, row.key}, Number::count(facts.commands[kind]));
      continue;
    }
    // System commands: each by its words, in the order of their first appearance.
    FixedList<CountPart, decltype(facts.systemCommands)::kCapacity> parts;
    for (const auto& [code, count] : facts.systemCommands)
      parts.push({kSystemCommandTable.words(code), count});
    p.text(forPeople(row.words), Text::by([&](Writer& out, const WordStyle& style) {
             writeTotalAndParts(out, facts.commands[kind],
                                std::span<const CountPart>(parts.begin(), parts.end()), style);
           }));
    p.number(inJson(row.key), Number::count(facts.commands[kind]));
    p.beginObject({inJson("system_commands")});
    for (const auto& [code, count] : facts.systemCommands)
      p.number(inJson(kSystemCommandTable.at(code).key), Number::count(count));
    p.endObject();
  }
  p.endObject();
}

void describeReplies(const SessionFacts& facts, FactPrinter& p) {
  constexpr Fact kFlashReads{"flash reads", "flash_reads"};
  constexpr Fact kEcLevels = forPeople("last EC levels");
  // "Serial Number can only be written once for this device" is wider
  // than the labels of the other sections.
  std::size_t widest = std::max(kFlashReads.label.size(), kEcLevels.label.size());
  for (const CodedValue& bit : kStatusBitRows) widest = std::max(widest, bit.words.size());
  p.beginObject({.fact = {"Replies", "replies"}, .widestLabel = widest});
  for (std::size_t i = 0; i < kStatusBits; ++i)
    p.number({kStatusBitRows[i].words, kStatusBitRows[i].key}, Number::count(facts.statusBits[i]));
  p.number(kFlashReads, Number::count(facts.flashReads));
  p.text(kEcLevels,
         Text::by([&facts](Writer& out, const WordStyle& /*style*/) { writeEcLevels(out, facts); },
                  true));
  if (facts.hasEcLevels) {
    p.beginObject({inJson("ec")});
    p.text(inJson("current"), Text::by([&facts](Writer& out, const WordStyle& /*style*/) {
             writeEcLevel(out, facts.ecCurrent);
           }));
    p.text(inJson("previous"), Text::by([&facts](Writer& out, const WordStyle& /*style*/) {
             writeEcLevel(out, facts.ecPrevious);
           }));
    p.endObject();
  } else {
    p.none(inJson("ec"));
  }
  p.endObject();
}

// The text summary names records by their offsets (the updates, the
// exchanges, the error replies), which the listing does not show: its last
// line says how to find them, when it named one.
void describeFindingByOffset(const SessionFacts& facts, FactPrinter& p) {
  if (facts.updates.empty() && facts.errors.empty() && facts.slowest.empty() &&
      facts.firstUnanswered.empty())
    return;
  p.text(inText(), Text::by([&facts](Writer& out, const WordStyle& style) {
           writeFindingByOffset(out, facts.traceName, style);
         }));
}

}  // namespace

void describeSession(const SessionFacts& facts, FactPrinter& printer, Writer& scratch,
                     WalkOptions options) {
  describeVerdict(facts, printer);
  describeTrace(facts, printer, options);
  describeCommands(facts, printer);
  describeUpdates(facts, printer);
  describeReplies(facts, printer);
  describeExchanges(facts, printer, scratch);
  describeErrors(facts, printer, scratch);
  describeDevices(facts, printer);
  describeFindingByOffset(facts, printer);
}

}  // namespace ovantrex
