#include "output/summary/summary_words.h"

#include <array>
#include <charconv>
#include <utility>

#include "core/record_fields.h"
#include "output/common/json_values.h"

namespace ovantrex {

void writeGrouped(Writer& out, std::uint64_t value) {
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  const auto length = static_cast<std::size_t>(end - digits);
  for (std::size_t i = 0; i < length; ++i) {
    if (i != 0 && (length - i) % 3 == 0) out.put(',');
    out.put(digits[i]);
  }
}

void writePlainCount(Writer& out, std::uint64_t value) {
  out.decimal(static_cast<std::int64_t>(value));
}

void writeCountOf(Writer& out, std::uint64_t value, std::string_view one, std::string_view many,
                  const WordStyle& style) {
  style.count(out, value);
  out.put(' ');
  out.put(value == 1 ? one : many);
}

void writeCountAndPart(Writer& out, std::uint64_t number, std::uint64_t part,
                       std::string_view words, const WordStyle& style) {
  style.count(out, number);
  out.put(", ");
  style.count(out, part);
  out.put(' ');
  out.put(words);
}

void writeTotalAndParts(Writer& out, std::uint64_t total, std::span<const CountPart> parts,
                        const WordStyle& style) {
  style.count(out, total);
  const char* separator = ": ";
  for (const CountPart& part : parts) {
    if (part.count == 0) continue;
    out.put(separator);
    separator = ", ";
    out.put(part.words);
    out.put(' ');
    style.count(out, part.count);
  }
}

void writeCountParts(Writer& out, std::span<const CountPart> parts, const WordStyle& style) {
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put(parts[i].words);
    out.put(' ');
    style.count(out, parts[i].count);
  }
}

void writeListEnd(Writer& out, bool empty, std::uint64_t leftOut, const WordStyle& style) {
  if (empty) {
    writeEmptyList(out, leftOut, style);
  } else if (leftOut != 0) {
    out.put(" and ");
    style.count(out, leftOut);
    out.put(" more");
  }
}

void writeRange(Writer& out, const AddressRange& range, const WordStyle& style) {
  writeHexAddress(out, range.first);
  out.put(style.rangeDash);
  writeHexAddress(out, range.last);
}

void writeRanges(Writer& out, std::span<const AddressRange> ranges, std::uint64_t leftOut,
                 const WordStyle& style) {
  const std::size_t shown = std::min(style.mostRanges, ranges.size());
  for (std::size_t i = 0; i < shown; ++i) {
    if (i != 0) out.put(", ");
    writeRange(out, ranges[i], style);
  }
  writeListEnd(out, ranges.empty(), ranges.size() - shown + leftOut, style);
}

void writeTraceTime(Writer& out, const TraceTime& time) {
  writeUtcTime(out, time.seconds, time.milliseconds);
}

namespace {

// The first note of a command, in quotes: 'Flash write 8 bytes to address=0x018010'.
template <typename WriteNotes>
void writeQuotedFirstNote(Writer& out, const WordStyle& style, WriteNotes writeNotes) {
  out.put('\'');
  FirstNotes notes(*style.scratch, 1,
                   [&out, &style](std::string_view words) { style.traceWords(out, words); });
  writeNotes(notes);
  out.put('\'');
}

void writeRefusedCommand(Writer& out, const WordStyle& style, const Refusal& refusal) {
  writeQuotedFirstNote(out, style, [&refusal](NoteSink& notes) {
    switch (refusal.kind) {
      case RefusedKind::FlashWrite: writeFlashWriteNotes(notes, refusal.write); return;
      case RefusedKind::ChecksumWrite: writeChecksumNotes(notes, refusal.checksum); return;
      case RefusedKind::Reset: writeSystemCommandNotes(notes, code(SystemCommand::Reset)); return;
    }
  });
}

// "the device refused '...' 4 times", and whether it was retried.
void writeFailure(Writer& out, const UpdateEnd& update, const WordStyle& style) {
  const Refusal& first = *update.firstUnrecovered;
  out.put("the device refused ");
  writeRefusedCommand(out, style, first);
  out.put(' ');
  if (first.times == 1) {
    out.put("once");
  } else {
    style.count(out, first.times);
    out.put(" times");
  }
  // A refusal that came several times was retried with the same bytes.
  if (first.retry != Refusal::Retry::None || first.times == 1) {
    out.put(", ");
    out.put(coded(first.retry).words);
  }
  if (update.unrecovered > 1) {
    out.put("; ");
    writeCountOf(out, update.unrecovered - 1, "more refused command", "more refused commands",
                 style);
    out.put(" not recovered");
  }
  out.put(update.checksumWritten      ? "; checksum written, "
          : update.checksumUnanswered ? "; checksum write not answered, "
                                      : "; no checksum, ");
  out.put(update.reset ? "device reset" : "no reset");
}

// Why an update that did not fail is not completed: its checksum and reset.
void writeUnfinished(Writer& out, const UpdateEnd& update) {
  if (update.checksumWritten) {
    out.put("checksum written but no reset");
  } else if (update.checksumUnanswered) {
    out.put(update.reset ? "device reset but checksum write not answered"
                         : "checksum write not answered and no reset");
  } else {
    out.put(update.reset ? "device reset but no checksum written"
                         : "no checksum written and no reset");
  }
}

// Why an update ended as it did.
void writeOutcomeReason(Writer& out, const UpdateEnd& update, const WordStyle& style) {
  switch (update.outcome) {
    case UpdateOutcome::Failed: writeFailure(out, update, style); break;
    case UpdateOutcome::Completed: out.put("checksum written and device reset"); break;
    case UpdateOutcome::Unfinished:
      if (update.lastUnanswered) {
        out.put("no reply to ");
        writeQuotedFirstNote(out, style, [&update](NoteSink& notes) {
          writeCommandNotes(notes, update.lastUnanswered->command());
        });
        out.put(" at offset ");
        style.count(out, update.lastUnanswered->offset());
        out.put("; ");
      }
      writeUnfinished(out, update);
      break;
  }
  // What did not decide the outcome, but happened.
  for (std::size_t kind = 0; kind < kRefusedKinds; ++kind) {
    if (update.recovered[kind] == 0) continue;
    out.put("; ");
    style.count(out, update.recovered[kind]);
    out.put(" refused ");
    out.put(update.recovered[kind] == 1 ? kRefusedKindRows[kind].words : kRefusedKindPlurals[kind]);
    out.put(" retried");
  }
  if (update.exchanges.unansweredWrites != 0) {
    out.put("; ");
    writeCountOf(out, update.exchanges.unansweredWrites, "unanswered flash write",
                 "unanswered flash writes", style);
    out.put(" counted as written");
  }
  if (update.otherErrors() != 0) {
    out.put("; ");
    writeCountOf(out, update.otherErrors(), "other error reply", "other error replies", style);
  }
}

// A trace without updates: why.
void writeNoUpdate(Writer& out, const SessionFacts& data, const WordStyle& style) {
  if (data.records != 0) {
    out.put("no update: the trace holds no \"Start flash update\" command");
    return;
  }
  std::uint64_t skipped = 0;
  for (const std::uint64_t count : data.diagnostics) skipped += count;
  out.put("no update: no data record found in ");
  writeTraceBytes(out, data.bytesRead, style);
  out.put(" (");
  writeCountOf(out, skipped, "record", "records", style);
  out.put(" skipped)");
}

}  // namespace

void writeVerdict(Writer& out, const SessionFacts& data, const WordStyle& style) {
  if (!data.lastUpdate) {
    writeNoUpdate(out, data, style);
  } else {
    const UpdateEnd& last = *data.lastUpdate;
    if (last.number > 1) {
      style.count(out, last.number);
      const char* separator = " updates: ";
      for (std::size_t i = 0; i < data.outcomes.size(); ++i) {
        if (data.outcomes[i] == 0) continue;
        out.put(separator);
        separator = ", ";
        style.count(out, data.outcomes[i]);
        out.put(' ');
        out.put(kOutcomeRows[i].words);
      }
      out.put("; ");
    }
    out.put("update ");
    style.count(out, last.number);
    out.put(last.number > 1 ? " (the last) " : " ");
    out.put(coded(last.outcome).words);
    out.put(": ");
    writeOutcomeReason(out, last, style);
  }
  if (data.cutAt) {
    out.put("; the trace ends inside a record at offset ");
    style.count(out, *data.cutAt);
  }
}

void writeMilliseconds(Writer& out, double milliseconds) {
  writeJsonNumber(out, milliseconds);
  out.put(" ms");
}

void writeUpdateResponses(Writer& out, const ResponseSummary& responses) {
  if (responses.count == 0) {
    out.put("none");
    return;
  }
  out.put("median ");
  writeMilliseconds(out, responses.median);
  out.put(", slowest ");
  writeMilliseconds(out, responses.slowest);
  if (!responses.exact) out.put(" (median from a histogram, within 0.5%)");
}

void writeKindExchanges(Writer& out, std::uint64_t commands, const KindExchanges& exchanges,
                        const WordStyle& style) {
  writeCountOf(out, commands, "command", "commands", style);
  out.put(", ");
  style.count(out, exchanges.answered);
  out.put(" answered, ");
  style.count(out, exchanges.unanswered);
  out.put(" unanswered, ");
  style.count(out, exchanges.refused);
  out.put(" refused; ");
  const ResponseSummary& times = exchanges.responses;
  if (times.count == 0) {
    out.put("no response times");
    return;
  }
  const std::pair<std::string_view, double> figures[] = {{"fastest ", times.fastest},
                                                         {", median ", times.median},
                                                         {", 95th percentile ", times.p95},
                                                         {", slowest ", times.slowest}};
  for (const auto& [words, value] : figures) {
    out.put(words);
    writeMilliseconds(out, value);
  }
  out.put(times.exact ? " (exact)" : " (from a histogram)");
}

namespace {

// Whether a shell takes the name as it is, quotes unneeded.
bool plainShellWord(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
    if (!plain) return false;
  }
  return true;
}

}  // namespace

void writeFindingByOffset(Writer& out, std::string_view traceName, const WordStyle& style) {
  out.put("To list a record by its offset N with the 5 records before it: ovantrex -f ");
  if (plainShellWord(traceName)) {
    out.put(traceName);
  } else {
    // In single quotes, each quote of the name as '\'' (the line's other
    // bytes as the summary writes words from the trace).
    out.put('\'');
    for (std::size_t start = 0;;) {
      const std::size_t quote = traceName.find('\'', start);
      style.traceWords(out, traceName.substr(start, quote - start));
      if (quote == std::string_view::npos) break;
      out.put("'\\''");
      start = quote + 1;
    }
    out.put('\'');
  }
  out.put(" --where '");
  out.put(field(RecordKey::Offset).key);
  out.put(" == N' --before 5");
}

void writeExchange(Writer& out, const Exchange& exchange, const WordStyle& style) {
  out.put(coded(exchange.kind).words);
  out.put(" at offset ");
  style.entry(out, exchange.command);
  out.put(", reply at offset ");
  style.entry(out, exchange.reply);
}

void writeUpdateHeading(Writer& out, std::string_view word, std::size_t number,
                        const UpdateFacts& update, const WordStyle& style) {
  out.put(word);
  out.put(' ');
  out.decimal(static_cast<std::int64_t>(number));
  out.put(" at offset ");
  style.count(out, update.offset);
  if (update.time) {
    out.put(", ");
    style.time(out, *update.time);
  }
}

void writeWrittenBy(Writer& out, const UpdateFacts& update, const WordStyle& style) {
  const UpdateExchanges& exchanges = update.exchanges;
  const std::uint64_t notAccepted = exchanges.refusedWrites + exchanges.unansweredWrites;
  style.count(out, update.writes > notAccepted ? update.writes - notAccepted : 0);
  out.put(" accepted and ");
  writeCountOf(out, exchanges.unansweredWrites, "unanswered flash write", "unanswered flash writes",
               style);
  if (exchanges.refusedWrites == 0) return;
  out.put("; ");
  style.count(out, exchanges.refusedWrites);
  out.put(" refused left out");
}

void writeTraceBytes(Writer& out, std::uint64_t bytes, const WordStyle& style) {
  style.count(out, bytes);
  out.put(bytes == 1 ? " byte" : " bytes");
}

void writeEmptyList(Writer& out, std::uint64_t leftOut, const WordStyle& style,
                    std::string_view what) {
  if (leftOut == 0) {
    out.put("none");
    return;
  }
  style.count(out, leftOut);
  if (!what.empty()) {
    out.put(' ');
    out.put(what);
  }
  out.put(" not listed");
}

void writeSerialNumberWrites(Writer& out, const UpdateFacts& update, const WordStyle& style) {
  if (update.serialNumberWrites <= update.serialNumbers.size() + update.serialNumbersLeftOut)
    return;
  out.put(" (");
  style.count(out, update.serialNumberWrites);
  out.put(" writes)");
}

void writeFormatVersions(Writer& out, const SessionFacts& data) {
  bool any = false;
  for (int version = 1; version <= 3; ++version) {
    if (!data.versions[static_cast<std::size_t>(version)]) continue;
    if (any) out.put(", ");
    any = true;
    out.decimal(version);
  }
  if (!any) out.put("none");
}

void writeFailedRead(Writer& out, const ReadFailure& failure, const WordStyle& style) {
  out.put("a read failed at offset ");
  style.count(out, failure.offset);
  out.put(" (");
  style.words(out, failure.reason);
  out.put(')');
}

void writeTimeSpan(Writer& out, const SessionFacts& data, const WordStyle& style) {
  if (!data.earliestTime || !data.latestTime) {
    out.put("none (no records of format version 3)");
    return;
  }
  style.time(out, *data.earliestTime);
  out.put(" to ");
  style.time(out, *data.latestTime);
  out.put(", ");
  writeJsonNumber(out, *data.timeSpan());
  out.put(" s");
  writeTimeOrder(out, data);
}

void writeTimeOrder(Writer& out, const SessionFacts& data) {
  if (!data.timesInOrder) out.put(" (earliest to latest: times not in order)");
}

void writeEcLevels(Writer& out, const SessionFacts& data) {
  if (!data.hasEcLevels) {
    out.put("none");
    return;
  }
  out.put("current ");
  writeEcLevel(out, data.ecCurrent);
  out.put(", previous ");
  writeEcLevel(out, data.ecPrevious);
}

void writeVersionListName(Writer& out, const SessionFacts& data) {
  for (std::size_t i = 0; i < data.versionListId.size(); ++i) {
    if (i != 0) out.put('.');
    out.hexByte(data.versionListId[i]);
  }
  out.put(", data count ");
  out.decimal(data.versionListCount);
}

void writeDeviceClassName(Writer& out, std::size_t deviceClass) {
  const std::string_view name = kDeviceClassTable.words(static_cast<std::uint8_t>(deviceClass));
  if (name.empty()) {
    out.put("class 0x");
    out.hexByte(static_cast<std::uint8_t>(deviceClass));
  } else {
    out.put(name);
  }
}

}  // namespace ovantrex
