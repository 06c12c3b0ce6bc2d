#include "output/html/html_facts.h"

#include <algorithm>

#include "output/common/notes.h"
#include "output/html/html_text.h"
#include "output/html/svg_shapes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

// The ranges shown in a cell of the table of updates; the rest are counted.
constexpr std::size_t kRangesInACell = 4;
// A label longer than this may wrap in its facts table ("Serial Number can
// only be written once for this device"), leaving room for the values;
// shorter labels stay on one line.
constexpr std::size_t kLongestUnwrappedLabel = 30;

// The head of a row of a facts table.
void rowHead(Writer& out, std::string_view label) {
  out.put(label.size() > kLongestUnwrappedLabel ? "<tr><th scope=\"row\" class=\"long\">"
                                                : "<tr><th scope=\"row\">");
  out.put(label);
  out.put("</th>");
}

void escapedWords(Writer& out, std::string_view words) { writeHtmlText(out, words); }

void errorTableHead(Writer& out) {
  out.put(
      "<p class=\"note\">Every status reply with \"Operation in Error\", \"Command reject\" or the "
      "serial-number bit, and the firmware command before it: the command that the device "
      "refused. Offsets link to the entries in the listing.</p>\n"
      "<p id=\"error-filter\" hidden><label>Show the rows that contain "
      "<input type=\"search\" placeholder=\"for instance 0x018010\"></label></p>\n"
      "<table id=\"error-table\">\n<thead><tr><th class=\"n\">#</th><th class=\"n\">offset</th>"
      "<th>time (UTC)</th><th>update</th><th>reply</th><th>after the "
      "command</th></tr></thead>\n<tbody>\n");
}

}  // namespace

HtmlFacts::HtmlFacts(Writer& out, Writer& scratch, const PageLinks& links)
    : out_(out), scratch_(scratch), links_(links) {}

// The page's glance opens with the verdict's words.
void HtmlFacts::verdict(Field /*words*/, Field /*counts*/, Field /*last*/,
                        const SessionFacts& /*facts*/) {}

void HtmlFacts::beginSection(Field section, std::optional<std::uint64_t> count) {
  pendingSection_ = section;
  sectionCount_ = count;
}

void HtmlFacts::startSection(std::string_view id) {
  if (!pendingSection_) return;
  out_.put("<div");
  if (!id.empty()) {
    out_.put(" id=\"");
    out_.put(id);
    out_.put('"');
  }
  out_.put(">\n<h3>");
  out_.put(pendingSection_->label);
  if (sectionCount_) {
    out_.put(" (");
    writeGrouped(out_, *sectionCount_);
    out_.put(')');
  }
  out_.put("</h3>\n");
  pendingSection_.reset();
}

void HtmlFacts::endFacts() {
  if (!factsOpen_) return;
  out_.put("</table>\n");
  factsOpen_ = false;
}

void HtmlFacts::endSection() {
  startSection();
  endFacts();
  out_.put("</div>\n");
}

void HtmlFacts::beginGroup(std::string_view /*key*/) {}
void HtmlFacts::endGroup() {}

Writer& HtmlFacts::cell(Field field, bool whole) {
  if (inRow_) {
    out_.put(whole ? "<td class=\"n\">" : "<td>");
    return out_;
  }
  startSection();
  if (!factsOpen_) {
    out_.put("<table class=\"facts\">\n");
    factsOpen_ = true;
  }
  rowHead(out_, field.label);
  out_.put(whole ? "<td class=\"nw\">" : "<td>");
  return out_;
}

void HtmlFacts::endCell() { out_.put(inRow_ ? "</td>" : "</td></tr>\n"); }

void HtmlFacts::count(Field field, std::uint64_t value) {
  if (field.label.empty()) return;
  writeGrouped(cell(field, true), value);
  endCell();
}

void HtmlFacts::countOf(Field field, std::uint64_t value, std::string_view one,
                        std::string_view many) {
  writeGrouped(cell(field, true), value);
  out_.put(' ');
  out_.put(value == 1 ? one : many);
  endCell();
}

void HtmlFacts::countAndPart(Field field, std::uint64_t number, Field partField,
                             std::uint64_t part) {
  writeCountAndPart(cell(field, true), number, part, partField.label, Counts::Grouped);
  endCell();
}

void HtmlFacts::totalAndParts(Field total, std::string_view /*partsKey*/, std::uint64_t value,
                              std::span<const CountPart> parts) {
  writeTotalAndParts(cell(total), value, parts, Counts::Grouped);
  endCell();
}

void HtmlFacts::counts(Field field, std::span<const CountPart> parts) {
  writeCountParts(cell(field), parts, Counts::Grouped);
  endCell();
}

void HtmlFacts::flag(Field field, bool value) {
  cell(field).put(value ? "yes" : "no");
  endCell();
}

void HtmlFacts::outcome(Field field, UpdateOutcome outcome) {
  cell(field).put(coded(outcome).words);
  endCell();
}

void HtmlFacts::rule(Field field, std::string_view words) {
  writeHtmlText(cell(field), words);
  endCell();
}

void HtmlFacts::traceFile(Field field, const SessionFacts& facts) {
  Writer& out = cell(field);
  writeHtmlText(out, facts.traceName);
  out.put(", ");
  writeTraceBytes(out, facts.bytesRead, Counts::Grouped);
  endCell();
}

void HtmlFacts::formatVersions(Field field, const SessionFacts& facts) {
  writeFormatVersions(cell(field), facts);
  endCell();
}

void HtmlFacts::timeSpan(Field field, const SessionFacts& facts) {
  writeTimeSpan(cell(field), facts, writePageTime);
  endCell();
}

void HtmlFacts::readFailure(Field field, const std::optional<ReadFailure>& failure) {
  if (!failure) return;
  Writer& out = cell(field);
  out.put("no, a read failed at offset ");
  writeOffset(out, failure->offset);
  out.put(" (");
  writeHtmlText(out, failure->reason);
  out.put(')');
  endCell();
}

void HtmlFacts::ecLevels(Field field, const SessionFacts& facts) {
  writeEcLevels(cell(field, true), facts);
  endCell();
}

void HtmlFacts::ranges(Field field, std::span<const AddressRange> ranges, std::uint64_t leftOut) {
  Writer& out = cell(field);
  const std::size_t shown = std::min(kRangesInACell, ranges.size());
  for (std::size_t i = 0; i < shown; ++i) {
    if (i != 0) out.put(", ");
    writeRange(out, ranges[i]);
  }
  writeListEnd(out, ranges.empty(), ranges.size() - shown + leftOut, Counts::Grouped);
  endCell();
}

void HtmlFacts::checksums(Field field, std::span<const std::uint16_t> checksums,
                          std::uint64_t leftOut) {
  Writer& out = cell(field);
  for (std::size_t i = 0; i < checksums.size(); ++i) {
    if (i != 0) out.put(", ");
    writeChecksum(out, checksums[i]);
  }
  writeListEnd(out, checksums.empty(), leftOut, Counts::Grouped);
  endCell();
}

void HtmlFacts::serialNumbers(Field field, std::string_view /*writes*/, const UpdateFacts& update) {
  Writer& out = cell(field);
  for (std::size_t i = 0; i < update.serialNumbers.size(); ++i) {
    if (i != 0) out.put(", ");
    writeHtmlText(out, update.serialNumbers[i]);
  }
  writeListEnd(out, update.serialNumbers.empty(), update.serialNumbersLeftOut, Counts::Grouped);
  writeSerialNumberWrites(out, update, Counts::Grouped);
  endCell();
}

void HtmlFacts::versionList(Field /*field*/, const SessionFacts& facts) {
  if (!facts.hasVersionList) return;
  startSection();
  endFacts();
  out_.put("<p>Extended version list ");
  writeVersionListName(out_, facts);
  out_.put(
      ":</p>\n<table>\n<thead><tr><th>i</th><th>rr</th><th>gg</th><th>ff</th><th>bb</th></tr>"
      "</thead>\n<tbody>\n");
  for (const auto& row : facts.versionRows) {
    out_.put("<tr>");
    for (const std::uint8_t byte : row) {
      out_.put("<td>");
      out_.hexByte(byte);
      out_.put("</td>");
    }
    out_.put("</tr>\n");
  }
  out_.put("</tbody>\n</table>\n");
}

void HtmlFacts::writtenBy(Field field, Field /*unanswered*/, Field /*refused*/,
                          const UpdateFacts& update) {
  writeWrittenBy(cell(field), update, Counts::Grouped);
  endCell();
}

void HtmlFacts::responses(Field field, const ResponseSummary& responses) {
  writeUpdateResponses(cell(field), responses);
  endCell();
}

void HtmlFacts::kindExchanges(Field field, std::uint64_t commands, const KindExchanges& exchanges) {
  if (commands == 0) return;
  writeKindExchanges(cell(field), commands, exchanges, Counts::Grouped);
  endCell();
}

void HtmlFacts::unanswered(Field field, std::string_view /*first*/, const SessionFacts& facts) {
  std::uint64_t all = 0;
  for (const KindExchanges& kind : facts.exchanges) all += kind.unanswered;
  Writer& out = cell(field);
  writeGrouped(out, all);
  const char* separator = ", at offsets ";
  for (const UnansweredCommand& command : facts.firstUnanswered) {
    out.put(separator);
    separator = ", ";
    links_.offset(out, command.offset);
  }
  writeListEnd(out, false, all - facts.firstUnanswered.size(), Counts::Grouped);
  endCell();
}

void HtmlFacts::slowest(Field field, std::span<const Exchange> exchanges) {
  startSection();
  endFacts();
  if (exchanges.empty()) return;
  out_.put("<p>");
  out_.put(field.label);
  out_.put(
      ", the slowest first (offsets link to the entries in the listing):</p>\n<table>\n<thead><tr>"
      "<th class=\"n\">response</th><th>command</th><th class=\"n\">offset</th>"
      "<th class=\"n\">reply at</th></tr></thead>\n<tbody>\n");
  for (const Exchange& exchange : exchanges) {
    out_.put("<tr><td class=\"n\">");
    writeMilliseconds(out_, exchange.milliseconds);
    out_.put("</td><td>");
    out_.put(coded(exchange.kind).words);
    out_.put("</td><td class=\"n\">");
    links_.offset(out_, exchange.command);
    out_.put("</td><td class=\"n\">");
    links_.offset(out_, exchange.reply);
    out_.put("</td></tr>\n");
  }
  out_.put("</tbody>\n</table>\n");
}

void HtmlFacts::beginList(Field list, std::span<const Field> columns) {
  list_ = list.key == "updates" ? List::Updates : list.key == "errors" ? List::Errors : List::Other;
  startSection(list_ == List::Errors ? "errors" : "");
  endFacts();
  columns_ = columns;
  items_ = 0;
}

void HtmlFacts::endList(Field /*list*/, std::optional<std::uint64_t> leftOut) {
  const std::uint64_t more = leftOut.value_or(0);
  if (list_ == List::Updates) {
    out_.put(items_ == 0 ? "<p>None: the trace holds no \"Start flash update\" command.</p>\n"
                         : "</tbody>\n</table>\n");
    if (more != 0) {
      out_.put("<p class=\"note\">");
      writeCounted(out_, more, "more update is", "more updates are");
      out_.put(" counted but not listed.</p>\n");
    }
  } else if (list_ == List::Errors) {
    out_.put(items_ == 0 ? "<p>No status reply reported an error.</p>\n" : "</tbody>\n</table>\n");
    if (more != 0) {
      out_.put("<p class=\"note\">The table holds the first ");
      writeGrouped(out_, items_);
      out_.put("; ");
      writeCounted(out_, more, "more is", "more are");
      out_.put(" counted.</p>\n");
    }
  }
  list_ = List::None;
}

void HtmlFacts::beginUpdate(std::size_t number, const UpdateFacts& update) {
  if (items_++ == 0) {
    out_.put(
        "<table class=\"updates\">\n<thead><tr><th>update</th><th class=\"n\">offset</th>"
        "<th>time (UTC)</th>");
    for (const Field& column : columns_) {
      out_.put("<th>");
      out_.put(column.label);
      out_.put("</th>");
    }
    out_.put("</tr></thead>\n<tbody>\n");
  }
  out_.put(update.outcome == UpdateOutcome::Failed ? "<tr class=\"bad\"><td>" : "<tr><td>");
  links_.update(out_, number, "");
  out_.put("</td><td class=\"n\">");
  writeOffset(out_, update.offset);
  out_.put("</td><td>");
  if (update.time) writePageTime(out_, *update.time);
  out_.put("</td>");
  inRow_ = true;
}

void HtmlFacts::endUpdate() {
  out_.put("</tr>\n");
  inRow_ = false;
}

void HtmlFacts::errorReply(std::size_t number, const ErrorReply& error) {
  if (items_++ == 0) errorTableHead(out_);
  out_.put("<tr id=\"error-");
  out_.decimal(static_cast<std::int64_t>(number));
  out_.put("\"><td class=\"n\">");
  out_.decimal(static_cast<std::int64_t>(number));
  out_.put("</td><td class=\"n\">");
  links_.offset(out_, error.offset);
  out_.put("</td><td>");
  if (error.time) writePageTime(out_, *error.time);
  out_.put("</td><td>");
  if (error.update == 0) {
    out_.put("before any");
  } else {
    links_.update(out_, error.update, "");
  }
  out_.put("</td><td>");
  writeFirstNotes(out_, scratch_, Counts::Grouped, escapedWords,
                  [&error](NoteSink& notes) { writeStatusNotes(notes, error.reply); });
  out_.put("</td><td>");
  if (error.command) {
    out_.put("offset ");
    links_.offset(out_, error.command->offset());
    out_.put(": ");
    writeFirstNotes(out_, scratch_, Counts::Grouped, escapedWords, [&error](NoteSink& notes) {
      writeCommandNotes(notes, error.command->command());
    });
  } else {
    out_.put("none before it");
  }
  out_.put("</td></tr>\n");
}

void HtmlFacts::deviceClass(std::uint8_t deviceClass, const DeviceReport& report) {
  startSection();
  endFacts();
  out_.put("<h4>");
  writeDeviceClassName(out_, deviceClass);
  out_.put("</h4>\n<table class=\"facts\">\n");
  forEachDeviceFact(report, [this](const DeviceFact& fact) {
    rowHead(out_, fact.label);
    out_.put("<td class=\"nw\">");
    fact.write(out_, fact.value);
    out_.put("</td></tr>\n");
  });
  out_.put("</table>\n");
}

void HtmlFacts::nothingReported() {
  startSection();
  endFacts();
  out_.put("<p>None reported.</p>\n");
}

void writeSummarySection(Writer& out, Writer& scratch, const ReportInputs& inputs,
                         const PageLinks& links) {
  out.put("<section id=\"summary\">\n<h2>Summary</h2>\n<div class=\"grid\">\n");
  HtmlFacts facts(out, scratch, links);
  describeSession(inputs.facts, facts);
  out.put("</div>\n</section>\n");
}

}  // namespace ovantrex
