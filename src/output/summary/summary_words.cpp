#include "output/summary/summary_words.h"

#include <array>
#include <charconv>
#include <utility>

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

void writeCount(Writer& out, std::uint64_t value, Counts counts) {
  if (counts == Counts::Grouped) {
    writeGrouped(out, value);
  } else {
    out.decimal(static_cast<std::int64_t>(value));
  }
}

void writeCountAndPart(Writer& out, std::uint64_t number, std::uint64_t part,
                       std::string_view words, Counts counts) {
  writeCount(out, number, counts);
  out.put(", ");
  writeCount(out, part, counts);
  out.put(' ');
  out.put(words);
}

void writeTotalAndParts(Writer& out, std::uint64_t total, std::span<const CountPart> parts,
                        Counts counts) {
  writeCount(out, total, counts);
  const char* separator = ": ";
  for (const CountPart& part : parts) {
    if (part.count == 0) continue;
    out.put(separator);
    separator = ", ";
    out.put(part.field.label);
    out.put(' ');
    writeCount(out, part.count, counts);
  }
}

void writeCountParts(Writer& out, std::span<const CountPart> parts, Counts counts) {
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put(parts[i].field.label);
    out.put(' ');
    writeCount(out, parts[i].count, counts);
  }
}

void writeListEnd(Writer& out, bool empty, std::uint64_t leftOut, Counts counts) {
  if (empty) {
    writeEmptyList(out, leftOut, counts);
  } else if (leftOut != 0) {
    out.put(" and ");
    writeCount(out, leftOut, counts);
    out.put(" more");
  }
}

void writeTraceTime(Writer& out, const TraceTime& time) {
  writeUtcTime(out, time.seconds, time.milliseconds);
}

namespace {

// "1 flash write", "2 resets".
void writeCountOf(Writer& out, std::uint64_t value, std::string_view one, std::string_view many,
                  Counts counts) {
  writeCount(out, value, counts);
  out.put(' ');
  out.put(value == 1 ? one : many);
}

// The first note of a command, in quotes: 'Flash write 8 bytes to address=0x018010'.
template <typename WriteNotes>
void writeQuotedFirstNote(Writer& out, Writer& scratch, PutWords put, WriteNotes writeNotes) {
  out.put('\'');
  FirstNotes notes(scratch, 1, [&out, put](std::string_view words) { put(out, words); });
  writeNotes(notes);
  out.put('\'');
}

void writeRefusedCommand(Writer& out, Writer& scratch, PutWords put, const Refusal& refusal) {
  writeQuotedFirstNote(out, scratch, put, [&refusal](NoteSink& notes) {
    switch (refusal.kind) {
      case RefusedKind::FlashWrite: writeFlashWriteNotes(notes, refusal.write); return;
      case RefusedKind::ChecksumWrite: writeChecksumNotes(notes, refusal.checksum); return;
      case RefusedKind::Reset: writeSystemCommandNotes(notes, code(SystemCommand::Reset)); return;
    }
  });
}

// "the device refused '...' 4 times", and whether it was retried.
void writeFailure(Writer& out, Writer& scratch, PutWords put, const UpdateEnd& update,
                  Counts counts) {
  const Refusal& first = *update.firstUnrecovered;
  out.put("the device refused ");
  writeRefusedCommand(out, scratch, put, first);
  out.put(' ');
  if (first.times == 1) {
    out.put("once");
  } else {
    writeCount(out, first.times, counts);
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
                 counts);
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
void writeOutcomeReason(Writer& out, Writer& scratch, PutWords put, const UpdateEnd& update,
                        Counts counts) {
  switch (update.outcome) {
    case UpdateOutcome::Failed: writeFailure(out, scratch, put, update, counts); break;
    case UpdateOutcome::Completed: out.put("checksum written and device reset"); break;
    case UpdateOutcome::Unfinished:
      if (update.lastUnanswered) {
        out.put("no reply to ");
        writeQuotedFirstNote(out, scratch, put, [&update](NoteSink& notes) {
          writeCommandNotes(notes, update.lastUnanswered->command());
        });
        out.put(" at offset ");
        writeCount(out, update.lastUnanswered->offset(), counts);
        out.put("; ");
      }
      writeUnfinished(out, update);
      break;
  }
  // What did not decide the outcome, but happened.
  for (std::size_t kind = 0; kind < kRefusedKinds; ++kind) {
    if (update.recovered[kind] == 0) continue;
    out.put("; ");
    writeCount(out, update.recovered[kind], counts);
    out.put(" refused ");
    out.put(update.recovered[kind] == 1 ? kRefusedKindRows[kind].words : kRefusedKindPlurals[kind]);
    out.put(" retried");
  }
  if (update.exchanges.unansweredWrites != 0) {
    out.put("; ");
    writeCountOf(out, update.exchanges.unansweredWrites, "unanswered flash write",
                 "unanswered flash writes", counts);
    out.put(" counted as written");
  }
  if (update.otherErrors() != 0) {
    out.put("; ");
    writeCountOf(out, update.otherErrors(), "other error reply", "other error replies", counts);
  }
}

// A trace without updates: why.
void writeNoUpdate(Writer& out, const SessionFacts& data, Counts counts) {
  if (data.records != 0) {
    out.put("no update: the trace holds no \"Start flash update\" command");
    return;
  }
  std::uint64_t skipped = 0;
  for (const std::uint64_t count : data.diagnostics) skipped += count;
  out.put("no update: no data record found in ");
  writeTraceBytes(out, data.bytesRead, counts);
  out.put(" (");
  writeCountOf(out, skipped, "record", "records", counts);
  out.put(" skipped)");
}

}  // namespace

void writeVerdict(Writer& out, Writer& scratch, const SessionFacts& data, Counts counts,
                  PutWords put) {
  if (!data.lastUpdate) {
    writeNoUpdate(out, data, counts);
  } else {
    const UpdateEnd& last = *data.lastUpdate;
    if (last.number > 1) {
      writeCount(out, last.number, counts);
      const char* separator = " updates: ";
      for (std::size_t i = 0; i < data.outcomes.size(); ++i) {
        if (data.outcomes[i] == 0) continue;
        out.put(separator);
        separator = ", ";
        writeCount(out, data.outcomes[i], counts);
        out.put(' ');
        out.put(kOutcomeRows[i].words);
      }
      out.put("; ");
    }
    out.put("update ");
    writeCount(out, last.number, counts);
    out.put(last.number > 1 ? " (the last) " : " ");
    out.put(coded(last.outcome).words);
    out.put(": ");
    writeOutcomeReason(out, scratch, put, last, counts);
  }
  if (data.cutAt) {
    out.put("; the trace ends inside a record at offset ");
    writeCount(out, *data.cutAt, counts);
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
                        Counts counts) {
  writeCountOf(out, commands, "command", "commands", counts);
  out.put(", ");
  writeCount(out, exchanges.answered, counts);
  out.put(" answered, ");
  writeCount(out, exchanges.unanswered, counts);
  out.put(" unanswered, ");
  writeCount(out, exchanges.refused, counts);
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

void writeExchange(Writer& out, const Exchange& exchange, Counts counts) {
  out.put(coded(exchange.kind).words);
  out.put(" at offset ");
  writeCount(out, exchange.command, counts);
  out.put(", reply at offset ");
  writeCount(out, exchange.reply, counts);
}

void writeWrittenBy(Writer& out, const UpdateFacts& update, Counts counts) {
  const UpdateExchanges& exchanges = update.exchanges;
  const std::uint64_t notAccepted = exchanges.refusedWrites + exchanges.unansweredWrites;
  writeCount(out, update.writes > notAccepted ? update.writes - notAccepted : 0, counts);
  out.put(" accepted and ");
  writeCountOf(out, exchanges.unansweredWrites, "unanswered flash write", "unanswered flash writes",
               counts);
  if (exchanges.refusedWrites == 0) return;
  out.put("; ");
  writeCount(out, exchanges.refusedWrites, counts);
  out.put(" refused left out");
}

void writeTraceBytes(Writer& out, std::uint64_t bytes, Counts counts) {
  writeCount(out, bytes, counts);
  out.put(bytes == 1 ? " byte" : " bytes");
}

void writeEmptyList(Writer& out, std::uint64_t leftOut, Counts counts, std::string_view what) {
  if (leftOut == 0) {
    out.put("none");
    return;
  }
  writeCount(out, leftOut, counts);
  if (!what.empty()) {
    out.put(' ');
    out.put(what);
  }
  out.put(" not listed");
}

void writeSerialNumberWrites(Writer& out, const UpdateFacts& update, Counts counts) {
  if (update.serialNumberWrites <= update.serialNumbers.size() + update.serialNumbersLeftOut)
    return;
  out.put(" (");
  writeCount(out, update.serialNumberWrites, counts);
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

void writeReadFailure(Writer& out, const ReadFailure& failure) {
  out.put("no, a read failed at offset ");
  out.decimal(static_cast<std::int64_t>(failure.offset));
  out.put(" (");
  out.put(failure.reason);
  out.put(')');
}

void writeTimeSpan(Writer& out, const SessionFacts& data,
                   void (*writeTime)(Writer& out, const TraceTime& time)) {
  if (!data.earliestTime || !data.latestTime) {
    out.put("none (no records of format version 3)");
    return;
  }
  writeTime(out, *data.earliestTime);
  out.put(" to ");
  writeTime(out, *data.latestTime);
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
