// The session summary as text: sections of labelled lines, the labels in a
// column of their own.
#include "output/summary/text_facts.h"

#include <algorithm>

#include "output/common/colours.h"
#include "output/common/control_escaper.h"
#include "output/common/json_values.h"
#include "output/common/notes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

// The column of the values; a list with a wider label has its values two
// blanks past the widest.
constexpr std::size_t kLabelColumn = 30;
constexpr std::size_t kLeastGap = 2;
constexpr std::size_t kSectionIndent = 2;
constexpr std::size_t kItemIndent = 4;

void hexAddress(Writer& out, std::uint32_t address) {
  out.put("0x");
  out.hexPadded(address, 6);
}

}  // namespace

TextFacts::TextFacts(Writer& out, Writer& scratch)
    : out_(out), scratch_(scratch), column_(kLabelColumn) {}

std::size_t TextFacts::columnFor(std::size_t indent, std::size_t width) {
  return std::max(kLabelColumn, indent + width + kLeastGap);
}

Writer& TextFacts::line(std::size_t indent, std::string_view label) {
  out_.blanks(indent);
  out_.put(label);
  const std::size_t used = indent + label.size();
  out_.blanks(used < column_ ? column_ - used : 1);
  return out_;
}

Writer& TextFacts::line(Field field) { return line(indent_, field.label); }

void TextFacts::verdict(Field /*words*/, Field /*counts*/, Field /*last*/,
                        const SessionFacts& facts) {
  // The verdict in the colour of the last update's outcome.
  painted(out_, facts.lastUpdate ? hueOf(facts.lastUpdate->outcome) : Hue::None,
          [&] { writeVerdict(out_, scratch_, facts, Counts::Plain, writeOnOneLine); });
  out_.put('\n');
  ++sections_;  // a blank line follows
}

void TextFacts::beginSection(Field section, std::optional<std::uint64_t> count) {
  if (sections_++ != 0) out_.put('\n');
  column_ = kLabelColumn;
  if (count) {
    line(0, section.label).decimal(static_cast<std::int64_t>(*count));
  } else {
    out_.put(section.label);
  }
  out_.put('\n');
  indent_ = kSectionIndent;
}

void TextFacts::widestLabel(std::size_t width) { column_ = columnFor(indent_, width); }

void TextFacts::endSection() {}
void TextFacts::beginGroup(std::string_view /*key*/) {}
void TextFacts::endGroup() {}

void TextFacts::count(Field field, std::uint64_t value) {
  if (field.label.empty()) return;
  writeCount(line(field), value, Counts::Plain);
  out_.put('\n');
}

void TextFacts::countOf(Field field, std::uint64_t value, std::string_view one,
                        std::string_view many) {
  writeCount(line(field), value, Counts::Plain);
  out_.put(' ');
  out_.put(value == 1 ? one : many);
  out_.put('\n');
}

void TextFacts::countAndPart(Field field, std::uint64_t number, Field partField,
                             std::uint64_t part) {
  writeCountAndPart(line(field), number, part, partField.label, Counts::Plain);
  out_.put('\n');
}

void TextFacts::totalAndParts(Field total, std::string_view /*partsKey*/, std::uint64_t value,
                              std::span<const CountPart> parts) {
  writeTotalAndParts(line(total), value, parts, Counts::Plain);
  out_.put('\n');
}

void TextFacts::counts(Field field, std::span<const CountPart> parts) {
  writeCountParts(line(field), parts, Counts::Plain);
  out_.put('\n');
}

void TextFacts::flag(Field field, bool value) { line(field).put(value ? "yes\n" : "no\n"); }

void TextFacts::outcome(Field field, UpdateOutcome outcome) {
  line(field).put(outcomeField(outcome).label);
  out_.put('\n');
}

void TextFacts::rule(Field field, std::string_view words) {
  line(field).put(words);
  out_.put('\n');
}

void TextFacts::traceFile(Field field, const SessionFacts& facts) {
  // The name as the command line gave it, on its one line.
  writeOnOneLine(line(field), facts.traceName);
  out_.put(", ");
  writeTraceBytes(out_, facts.bytesRead, Counts::Plain);
  out_.put('\n');
}

void TextFacts::formatVersions(Field field, const SessionFacts& facts) {
  writeFormatVersions(line(field), facts);
  out_.put('\n');
}

void TextFacts::timeSpan(Field field, const SessionFacts& facts) {
  writeTimeSpan(line(field), facts);
  out_.put('\n');
}

void TextFacts::readFailure(Field field, const std::optional<ReadFailure>& failure) {
  if (!failure) return;
  writeReadFailure(line(field), *failure);
  out_.put('\n');
}

void TextFacts::ecLevels(Field field, const SessionFacts& facts) {
  writeEcLevels(line(field), facts);
  out_.put('\n');
}

void TextFacts::ranges(Field field, std::span<const AddressRange> ranges, std::uint64_t leftOut) {
  Writer& out = line(field);
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    if (i != 0) out.put(", ");
    hexAddress(out, ranges[i].first);
    out.put('-');
    hexAddress(out, ranges[i].last);
  }
  writeListEnd(out, ranges.empty(), leftOut, Counts::Plain);
  out.put('\n');
}

void TextFacts::checksums(Field field, std::span<const std::uint16_t> checksums,
                          std::uint64_t leftOut) {
  Writer& out = line(field);
  for (std::size_t i = 0; i < checksums.size(); ++i) {
    if (i != 0) out.put(", ");
    writeChecksum(out, checksums[i]);
  }
  writeListEnd(out, checksums.empty(), leftOut, Counts::Plain);
  out.put('\n');
}

void TextFacts::serialNumbers(Field field, std::string_view /*writes*/, const UpdateFacts& update) {
  Writer& out = line(field);
  for (std::size_t i = 0; i < update.serialNumbers.size(); ++i) {
    if (i != 0) out.put(", ");
    // The characters come from the trace: a line end among them must not
    // start a line of the summary.
    writeOnOneLine(out, update.serialNumbers[i]);
  }
  writeListEnd(out, update.serialNumbers.empty(), update.serialNumbersLeftOut, Counts::Plain);
  writeSerialNumberWrites(out, update, Counts::Plain);
  out.put('\n');
}

void TextFacts::versionList(Field field, const SessionFacts& facts) {
  if (!facts.hasVersionList) return;
  writeVersionListName(line(field), facts);
  out_.put("\n     i rr gg ff bb\n");
  for (const auto& row : facts.versionRows) {
    out_.put("    ");
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i != 0) out_.put(' ');
      out_.hexByte(row[i]);
    }
    out_.put('\n');
  }
}

void TextFacts::writtenBy(Field field, Field /*unanswered*/, Field /*refused*/,
                          const UpdateFacts& update) {
  writeWrittenBy(line(field), update, Counts::Plain);
  out_.put('\n');
}

void TextFacts::responses(Field field, const ResponseSummary& responses) {
  writeUpdateResponses(line(field), responses);
  out_.put('\n');
}

void TextFacts::kindExchanges(Field field, std::uint64_t commands, const KindExchanges& exchanges) {
  if (commands == 0) return;
  writeKindExchanges(line(field), commands, exchanges, Counts::Plain);
  out_.put('\n');
}

void TextFacts::unanswered(Field field, std::string_view /*first*/, const SessionFacts& facts) {
  std::uint64_t all = 0;
  for (const KindExchanges& kind : facts.exchanges) all += kind.unanswered;
  Writer& out = line(field);
  out.decimal(static_cast<std::int64_t>(all));
  const char* separator = ", at offsets ";
  for (const UnansweredCommand& command : facts.firstUnanswered) {
    out.put(separator);
    separator = ", ";
    out.decimal(static_cast<std::int64_t>(command.offset));
  }
  writeListEnd(out, false, all - facts.firstUnanswered.size(), Counts::Plain);
  out.put('\n');
}

void TextFacts::slowest(Field field, std::span<const Exchange> exchanges) {
  line(field).decimal(static_cast<std::int64_t>(exchanges.size()));
  out_.put('\n');
  for (const Exchange& exchange : exchanges) {
    scratch_.clear();
    writeMilliseconds(scratch_, exchange.milliseconds);
    writeExchange(line(indent_ + kSectionIndent, scratch_.text()), exchange, Counts::Plain);
    out_.put('\n');
  }
}

void TextFacts::beginList(Field /*list*/, std::span<const Field> /*columns*/) {}

void TextFacts::endList(Field /*list*/, std::optional<std::uint64_t> leftOut) {
  if (!leftOut || *leftOut == 0) return;
  out_.put("  and ");
  out_.decimal(static_cast<std::int64_t>(*leftOut));
  out_.put(" more\n");
}

void TextFacts::beginUpdate(std::size_t number, const UpdateFacts& update) {
  out_.put("  update ");
  out_.decimal(static_cast<std::int64_t>(number));
  out_.put(" at offset ");
  out_.decimal(static_cast<std::int64_t>(update.offset));
  if (update.time) {
    out_.put(", ");
    writeTraceTime(out_, *update.time);
  }
  out_.put('\n');
  indent_ = kItemIndent;
}

void TextFacts::endUpdate() { indent_ = kSectionIndent; }

void TextFacts::errorReply(std::size_t /*number*/, const ErrorReply& error) {
  out_.put("  offset ");
  out_.decimal(static_cast<std::int64_t>(error.offset));
  if (error.time) {
    out_.put(", ");
    writeTraceTime(out_, *error.time);
  }
  if (error.update != 0) {
    out_.put(", update ");
    out_.decimal(static_cast<std::int64_t>(error.update));
  }
  out_.put(": ");
  painted(out_, Hue::Error, [&] {
    writeFirstNotes(out_, scratch_, Counts::Plain, writeOnOneLine,
                    [&error](NoteSink& notes) { writeStatusNotes(notes, error.reply); });
  });
  out_.put('\n');
  if (!error.command) return;
  out_.put("    after the command at offset ");
  out_.decimal(static_cast<std::int64_t>(error.command->offset()));
  out_.put(": ");
  writeFirstNotes(out_, scratch_, Counts::Plain, writeOnOneLine, [&error](NoteSink& notes) {
    writeCommandNotes(notes, error.command->command());
  });
  out_.put('\n');
}

void TextFacts::deviceClass(std::uint8_t deviceClass, const DeviceReport& report) {
  out_.put("  ");
  writeDeviceClassName(out_, deviceClass);
  out_.put('\n');
  // The facts of a class in one column, past the widest of its counters'
  // names ("MissingStartSentinelTrack1Count").
  std::size_t widest = 0;
  forEachDeviceFact(
      report, [&widest](const DeviceFact& fact) { widest = std::max(widest, fact.label.size()); });
  const std::size_t sectionColumn = column_;
  column_ = columnFor(kItemIndent, widest);
  forEachDeviceFact(report, [this](const DeviceFact& fact) {
    fact.write(line(kItemIndent, fact.label), fact.value);
    out_.put('\n');
  });
  column_ = sectionColumn;
}

void TextFacts::nothingReported() { out_.put("  none reported\n"); }

}  // namespace ovantrex
