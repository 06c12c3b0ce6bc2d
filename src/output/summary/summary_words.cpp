#include "output/summary/summary_words.h"

#include <charconv>

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

void writeCountAndBytes(Writer& out, std::uint64_t number, std::uint64_t bytes, Counts counts) {
  writeCount(out, number, counts);
  out.put(", ");
  writeCount(out, bytes, counts);
  out.put(" bytes");
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

void writeChecksum(Writer& out, std::uint16_t checksum) {
  out.put("0x");
  out.hexPadded(checksum, 4);
}

void writeTraceTime(Writer& out, const TraceTime& time) {
  writeUtcTime(out, time.seconds, time.milliseconds);
}

namespace {

// Why an update ended as it did.
void writeOutcomeReason(Writer& out, const UpdateEnd& update, Counts counts) {
  switch (update.outcome) {
    case UpdateOutcome::Failed:
      writeCount(out, update.errors, counts);
      out.put(update.errors == 1 ? " error reply, at offset " : " error replies, first at offset ");
      writeCount(out, update.firstError.value_or(0), counts);
      return;
    case UpdateOutcome::Completed: out.put("checksum written and device reset"); return;
    case UpdateOutcome::Unfinished:
      out.put(update.checksumWritten ? "checksum written but no reset"
              : update.reset         ? "device reset but no checksum written"
                                     : "no checksum written and no reset");
      return;
  }
}

}  // namespace

void writeVerdict(Writer& out, const SessionFacts& data, Counts counts) {
  if (!data.lastUpdate) {
    out.put("no update: the trace holds no \"Start flash update\" command");
    return;
  }
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
      out.put(outcomeField(static_cast<UpdateOutcome>(i)).label);
    }
    out.put("; ");
  }
  out.put("update ");
  writeCount(out, last.number, counts);
  out.put(last.number > 1 ? " (the last) " : " ");
  out.put(outcomeField(last.outcome).label);
  out.put(": ");
  writeOutcomeReason(out, last, counts);
}

void writeTraceBytes(Writer& out, std::uint64_t bytes, Counts counts) {
  writeCount(out, bytes, counts);
  out.put(bytes == 1 ? " byte" : " bytes");
}

void writeRecordCounts(Writer& out, const SessionFacts& data, Counts counts) {
  writeCount(out, data.records, counts);
  const char* separator = ": ";
  for (std::size_t i = 0; i < kRecordTypesInOrder.size(); ++i) {
    if (data.byType[i] == 0) continue;
    out.put(separator);
    separator = ", ";
    out.put(recordTypeLabel(kRecordTypesInOrder[i]));
    out.put(' ');
    writeCount(out, data.byType[i], counts);
  }
}

void writeSkippedCounts(Writer& out, const SessionFacts& data, Counts counts) {
  const std::string_view kinds[] = {"invalid minor code", "over-long length",
                                    "short extended header", "short payload"};
  for (std::size_t i = 0; i < data.diagnostics.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put(kinds[i]);
    out.put(' ');
    writeCount(out, data.diagnostics[i], counts);
  }
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

void writeCommandCount(Writer& out, const SessionFacts& data, std::size_t kind, Counts counts) {
  writeCount(out, data.commands[kind], counts);
  if (static_cast<CommandKind>(kind) != CommandKind::System) return;
  const char* separator = ": ";
  for (const auto& [code, count] : data.systemCommands) {
    const std::string_view name = systemCommandName(code);
    out.put(separator);
    separator = ", ";
    out.put(name);
    out.put(' ');
    writeCount(out, count, counts);
  }
}

void writeEcLevels(Writer& out, const SessionFacts& data) {
  if (!data.hasEcLevels) {
    out.put("none");
    return;
  }
  out.put("current ");
  out.hexByte(data.ecCurrent[0]);
  out.put('.');
  out.hexByte(data.ecCurrent[1]);
  out.put(", previous ");
  out.hexByte(data.ecPrevious[0]);
  out.put('.');
  out.hexByte(data.ecPrevious[1]);
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
  const std::string_view name = nameDeviceClass(static_cast<std::uint8_t>(deviceClass));
  if (name.empty()) {
    out.put("class 0x");
    out.hexByte(static_cast<std::uint8_t>(deviceClass));
  } else {
    out.put(name);
  }
}

}  // namespace ovantrex
