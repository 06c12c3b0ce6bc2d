// The page of the HTML report. Everything that comes from the trace (notes,
// serial numbers, listing entries, the trace's name) passes through
// writeHtmlText(); the rest is the program's own words and numbers.
#include <algorithm>
#include <span>
#include <string_view>

#include "core/protocol.h"
#include "output/common/json_values.h"
#include "output/common/notes.h"
#include "output/html/html_text.h"
#include "output/html/report_parts.h"

namespace ovantrex {

namespace {

// ---- Small pieces ----

Writer& count(Writer& out, std::uint64_t value) {
  writeGrouped(out, value);
  return out;
}

// "1 flash write", "3 flash writes".
void counted(Writer& out, std::uint64_t value, std::string_view one, std::string_view many) {
  count(out, value);
  out.put(' ');
  out.put(value == 1 ? one : many);
}

// "2nd", "4th", "32nd", "512th".
void ordinal(Writer& out, std::uint64_t value) {
  count(out, value);
  const std::uint64_t tens = value % 100;
  const std::uint64_t ones = value % 10;
  if (tens >= 11 && tens <= 13) {
    out.put("th");
  } else {
    out.put(ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th");
  }
}

void utc(Writer& out, const TraceTime& time) { writeUtcTime(out, time.seconds, time.milliseconds); }

void leftOut(Writer& out, std::uint64_t value) {
  if (value == 0) return;
  out.put(" and ");
  count(out, value);
  out.put(" more");
}

// The first notes that writeNotes(sink) writes, then how many more there were.
template <typename WriteNotes>
void joined(Writer& out, Writer& scratch, WriteNotes writeNotes) {
  bool first = true;
  FirstNotes notes(scratch, kMaxNotesPerList, [&out, &first](std::string_view words) {
    if (!first) out.put("; ");
    first = false;
    writeHtmlText(out, words);
  });
  writeNotes(notes);
  const std::uint64_t notesLeftOut = notes.leftOut();
  if (notesLeftOut == 0) return;
  if (notes.taken() == 0) {
    writeEmptyList(out, notesLeftOut, Counts::Grouped, notesLeftOut == 1 ? "note" : "notes");
    return;
  }
  leftOut(out, notesLeftOut);
  out.put(notesLeftOut == 1 ? " note" : " notes");
}

void range(Writer& out, const AddressRange& range) {
  writeHexAddress(out, range.first);
  out.put("&#8211;");
  writeHexAddress(out, range.last);
}

// After the items of a list: how many more there were; an empty list
// stands as "none" or "3 not listed".
void listEnd(Writer& out, bool empty, std::uint64_t value) {
  if (empty) {
    writeEmptyList(out, value, Counts::Grouped);
  } else {
    leftOut(out, value);
  }
}

// The first few ranges of an update, and how many more.
void someRanges(Writer& out, const UpdateFacts& update, std::size_t most) {
  if (update.ranges.empty()) {
    writeEmptyList(out, update.rangesLeftOut, Counts::Grouped);
    return;
  }
  const std::size_t shown = std::min(most, update.ranges.size());
  for (std::size_t i = 0; i < shown; ++i) {
    if (i != 0) out.put(", ");
    range(out, update.ranges[i]);
  }
  leftOut(out, update.ranges.size() - shown + update.rangesLeftOut);
}

void checksums(Writer& out, const UpdateFacts& update) {
  for (std::size_t i = 0; i < update.checksums.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put("0x");
    out.hexPadded(update.checksums[i], 4);
  }
  listEnd(out, update.checksums.empty(), update.checksumsLeftOut);
}

// Whether entries, in trace order, hold the entry of the record at offset.
bool contains(std::span<const ListingEntry> entries, std::uint64_t offset) {
  const auto at = std::lower_bound(
      entries.begin(), entries.end(), offset,
      [](const ListingEntry& entry, std::uint64_t value) { return entry.offset < value; });
  return at != entries.end() && at->offset == offset;
}

// A word or a file name for a shell command line, quoted where needed.
void writeShellWord(Writer& out, std::string_view word) {
  const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("._/+-,:@%=").find(c) != std::string_view::npos;
  });
  if (plain) {
    writeHtmlText(out, word);
    return;
  }
  out.put("&#39;");
  for (std::size_t start = 0; start <= word.size();) {
    const std::size_t quote = std::min(word.find('\'', start), word.size());
    writeHtmlText(out, word.substr(start, quote - start));
    if (quote == word.size()) break;
    out.put("&#39;\\&#39;&#39;");
    start = quote + 1;
  }
  out.put("&#39;");
}

// The command that writes the text listing with the options of this run,
// as code.
void code(Writer& out, const ReportInputs& inputs) {
  const ListingOptions& options = inputs.options;
  out.put("<code>ovantrex");
  if (options.timeColumn) out.put(" -t");
  if (options.hourOffset != 0) {
    out.put(" -h ");
    out.decimal(options.hourOffset);
  }
  if (!options.elapsedColumn) out.put(" -m");
  if (options.cumulative) out.put(" -c");
  if (options.processColumn) out.put(" -p");
  if (options.hideType) out.put(" -H");
  if (options.reportOverlong) out.put(" -x");
  out.put(" -f ");
  writeShellWord(out, inputs.traceName);
  out.put("</code>");
}

void code(Writer& out, std::string_view text) {
  out.put("<code>");
  writeHtmlText(out, text);
  out.put("</code>");
}

// Where the page shows the entry of a record: the entries of the excerpts
// and of the whole listing, each in trace order.
struct EntryIds {
  std::span<const ListingEntry> excerpt;
  std::span<const ListingEntry> whole;

  explicit EntryIds(const ListingExcerpts& listing)
      : excerpt(listing.excerptEntries()), whole(listing.wholeEntries()) {}

  // Writes the link's target, "#e1234" or "#r1234"; false when the page
  // does not hold the entry.
  bool target(Writer& out, std::uint64_t offset) const {
    if (contains(excerpt, offset)) {
      out.put("#e");
    } else if (contains(whole, offset)) {
      out.put("#r");
    } else {
      return false;
    }
    out.decimal(static_cast<std::int64_t>(offset));
    return true;
  }

  // The offset, linked to its entry where the page holds it.
  void offsetLink(Writer& out, std::uint64_t offset) const {
    Writer& self = out;
    if (contains(excerpt, offset) || contains(whole, offset)) {
      self.put("<a href=\"");
      target(self, offset);
      self.put("\">");
      self.decimal(static_cast<std::int64_t>(offset));
      self.put("</a>");
    } else {
      self.decimal(static_cast<std::int64_t>(offset));
    }
  }
};

bool isDrawn(const ReportInputs& inputs, std::size_t number) {
  return number >= 1 && number <= inputs.timelines.updates().size();
}

// label, then the update's number, linked to its pictures where the page
// draws them.
void updateLink(Writer& out, const ReportInputs& inputs, std::size_t number,
                std::string_view label) {
  const bool drawn = isDrawn(inputs, number);
  if (drawn) {
    out.put("<a href=\"#update-");
    out.decimal(static_cast<std::int64_t>(number));
    out.put("\">");
  }
  out.put(label);
  out.decimal(static_cast<std::int64_t>(number));
  if (drawn) out.put("</a>");
}

// ---- The head and the top of the page ----

void writeHead(Writer& out, const ReportInputs& inputs) {
  out.put(
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
      "'sha256-");
  out.put(kReportStyleDigest);
  out.put("'; script-src 'sha256-");
  out.put(kReportScriptDigest);
  out.put(
      "'\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"generator\" content=\"ovantrex " OVANTREX_VERSION
      "\">\n<title>Firmware update report: ");
  writeHtmlText(out, inputs.traceName);
  out.put("</title>\n<style>");
  out.put(kReportStyle);
  out.put("</style>\n</head>\n<body>\n");
}

void writeTop(Writer& out, const ReportInputs& inputs) {
  const SessionFacts& data = inputs.summary;
  out.put("<header>\n<h1>Firmware update report</h1>\n<p class=\"meta\">Trace ");
  code(out, inputs.traceName);
  out.put(": ");
  counted(out, data.records, "record", "records");
  if (data.earliestTime && data.latestTime) {
    out.put(" from ");
    utc(out, *data.earliestTime);
    out.put(" to ");
    utc(out, *data.latestTime);
    writeTimeOrder(out, data);
  }
  out.put(
      ".</p>\n<nav><a href=\"#glance\">At a glance</a><a href=\"#summary\">Summary</a>"
      "<a href=\"#errors\">Error replies</a><a href=\"#updates\">Updates</a>"
      "<a href=\"#excerpts\">Around each error</a><a href=\"#listing\">Listing</a></nav>\n"
      "</header>\n");
}

// One sentence on an update: what it wrote, what went wrong, how it ended.
void updateSentence(Writer& out, const UpdateFacts& update) {
  counted(out, update.writes, "flash write", "flash writes");
  out.put(" (");
  counted(out, update.bytes, "byte", "bytes");
  out.put(")");
  if (!update.ranges.empty()) {
    out.put(" to ");
    someRanges(out, update, 3);
  } else if (update.rangesLeftOut != 0) {
    out.put(" to ");
    counted(out, update.rangesLeftOut, "address range", "address ranges");
    out.put(" (not listed)");
  }
  out.put("; ");
  if (update.errors == 0) {
    out.put("no error replies");
  } else {
    out.put("<span class=\"verdict\">");
    counted(out, update.errors, "error reply", "error replies");
    out.put("</span>");
  }
  if (update.rewrittenBytes != 0) {
    out.put("; ");
    counted(out, update.rewrittenBytes, "byte", "bytes");
    out.put(" rewritten");
  }
  out.put("; ");
  if (update.checksums.empty() && update.checksumsLeftOut != 0) {
    counted(out, update.checksumsLeftOut, "checksum", "checksums");
    out.put(" written (not listed)");
  } else if (update.checksums.empty()) {
    out.put("no checksum written");
  } else {
    out.put("checksum ");
    checksums(out, update);
    out.put(" written");
  }
  out.put(update.reset ? "; then the device was reset." : "; the device was not reset.");
}

// "3 flash writes fall outside any update (...)".
void writesOutsideSentence(Writer& out, std::uint64_t writes) {
  counted(out, writes, "flash write falls", "flash writes fall");
  out.put(" outside any update (no \"Start flash update\" before them)");
}

// The line on a trace without updates, or on flash writes before the first.
void glanceWritesOutside(Writer& out, const SessionFacts& data) {
  const std::uint64_t writes = data.writesOutsideUpdates;
  if (data.updates.empty() && writes == 0) {
    out.put(
        "<li class=\"warn\">No flash update in this trace (no \"Start flash update\" "
        "command).</li>\n");
    return;
  }
  if (writes == 0) return;
  out.put(data.updates.empty() ? "<li class=\"warn\">No flash update in this trace: "
                               : "<li class=\"warn\">");
  writesOutsideSentence(out, writes);
  out.put(".</li>\n");
}

// All error replies and those before the first update, from the counters
// (the error list keeps only the first ones).
void glanceErrors(Writer& out, const SessionFacts& data) {
  const std::uint64_t errors = data.errors.size() + data.errorsLeftOut;
  const std::uint64_t outside = data.errorsOutsideUpdates;
  if (errors == 0) return;
  out.put(outside != 0 ? "<li class=\"bad\">" : "<li class=\"warn\">");
  out.put("<a href=\"#errors\">");
  counted(out, errors, "error reply", "error replies");
  out.put("</a> in the trace");
  if (outside == errors) {
    out.put(errors == 1 ? ", outside any update" : ", all of them outside any update");
  } else if (outside != 0) {
    out.put(", ");
    count(out, outside);
    out.put(" of them before the first update");
  }
  out.put(".</li>\n");
}

void writeGlance(Writer& out, const ReportInputs& inputs) {
  constexpr std::size_t kMostShown = 20;
  const SessionFacts& data = inputs.summary;
  out.put("<section id=\"glance\">\n<h2>At a glance</h2>\n<ul class=\"glance\">\n");
  if (data.readFailure) {
    out.put("<li class=\"bad\">The trace could not be read to its end: a read failed at offset ");
    count(out, data.readFailure->offset);
    out.put(" (");
    writeHtmlText(out, data.readFailure->reason);
    out.put("). The page shows what was read before it.</li>\n");
  }
  glanceWritesOutside(out, data);
  for (std::size_t i = 0; i < data.updates.size() && i < kMostShown; ++i) {
    const UpdateFacts& update = data.updates[i];
    out.put(update.errors != 0 ? "<li class=\"bad\">"
            : update.reset     ? "<li>"
                               : "<li class=\"warn\">");
    out.put("<strong>");
    updateLink(out, inputs, i + 1, "Update ");
    out.put("</strong>");
    if (update.time) {
      out.put(", ");
      utc(out, *update.time);
    }
    out.put(": ");
    updateSentence(out, update);
    out.put("</li>\n");
  }
  const std::uint64_t more =
      data.updates.size() - std::min(data.updates.size(), kMostShown) + data.updatesLeftOut;
  if (more != 0) {
    out.put("<li class=\"warn\">");
    counted(out, more, "more update", "more updates");
    out.put(" (see the summary).</li>\n");
  }
  glanceErrors(out, data);
  out.put("</ul>\n</section>\n");
}

// ---- The summary ----

// A row of a two-column table of facts: the label, then the caller's cell.
Writer& fact(Writer& out, std::string_view label) {
  out.put("<tr><th scope=\"row\">");
  out.put(label);
  out.put("</th><td>");
  return out;
}
void endFact(Writer& out) { out.put("</td></tr>\n"); }

void writeTraceFacts(Writer& out, const SessionFacts& data) {
  out.put("<div>\n<h3>Trace</h3>\n<table class=\"facts\">\n");
  writeRecordCounts(fact(out, "records"), data, Counts::Grouped);
  endFact(out);
  count(fact(out, "hidden by component"), data.hidden);
  endFact(out);
  count(fact(out, "fallback entries"), data.failed);
  endFact(out);
  writeSkippedCounts(fact(out, "skipped"), data, Counts::Grouped);
  endFact(out);
  writeFormatVersions(fact(out, "format versions"), data);
  endFact(out);
  writeTimeSpan(fact(out, "time"), data);
  endFact(out);
  if (data.readFailure) {
    writeReadFailure(fact(out, kReadToItsEnd), *data.readFailure);
    endFact(out);
  }
  out.put("</table>\n</div>\n");
}

void writeCommandFacts(Writer& out, const SessionFacts& data) {
  out.put("<div>\n<h3>Firmware commands</h3>\n<table class=\"facts\">\n");
  for (std::size_t kind = 0; kind < data.commands.size(); ++kind) {
    writeCommandCount(fact(out, commandKindName(static_cast<CommandKind>(kind))), data, kind,
                      Counts::Grouped);
    endFact(out);
  }
  out.put("</table>\n</div>\n");
}

void writeReplyFacts(Writer& out, const SessionFacts& data) {
  out.put("<div>\n<h3>Replies</h3>\n<table class=\"facts\">\n");
  const auto bits = statusBitNames();
  for (std::size_t i = 0; i < bits.size(); ++i) {
    count(fact(out, bits[i].name), data.statusBits[i]);
    endFact(out);
  }
  count(fact(out, "flash reads"), data.flashReads);
  endFact(out);
  writeEcLevels(fact(out, "last EC levels"), data);
  endFact(out);
  out.put("</table>\n</div>\n");
}

void writeDeviceFacts(Writer& out, const SessionFacts& data) {
  out.put("<div>\n<h3>Devices</h3>\n");
  bool any = false;
  if (data.hasVersionList) {
    any = true;
    out.put("<p>Extended version list ");
    writeVersionListName(out, data);
    out.put(
        ":</p>\n<table>\n<thead><tr><th>i</th><th>rr</th><th>gg</th><th>ff</th><th>bb</th></tr></"
        "thead>\n<tbody>\n");
    for (const auto& row : data.versionRows) {
      out.put("<tr>");
      for (const std::uint8_t byte : row) {
        out.put("<td>");
        out.hexByte(byte);
        out.put("</td>");
      }
      out.put("</tr>\n");
    }
    out.put("</tbody>\n</table>\n");
  }
  for (std::size_t deviceClass = 0; deviceClass < data.devices.size(); ++deviceClass) {
    const DeviceReport& device = data.devices[deviceClass];
    if (!device.hasInventory && !device.hasCounters) continue;
    any = true;
    out.put("<h4>");
    writeDeviceClassName(out, deviceClass);
    out.put("</h4>\n<table class=\"facts\">\n");
    forEachDeviceFact(device, [&out](const DeviceFact& deviceFact) {
      deviceFact.write(fact(out, deviceFact.label), deviceFact.value);
      endFact(out);
    });
    out.put("</table>\n");
  }
  if (!any) out.put("<p>None reported.</p>\n");
  out.put("</div>\n");
}

void writeUpdateTable(Writer& out, const ReportInputs& inputs) {
  const SessionFacts& data = inputs.summary;
  out.put("<h3>Updates</h3>\n");
  const auto writesOutside = [&out, &data] {
    if (data.writesOutsideUpdates == 0) return;
    out.put("<p class=\"note\">");
    writesOutsideSentence(out, data.writesOutsideUpdates);
    out.put(".</p>\n");
  };
  if (data.updates.empty()) {
    out.put("<p>None: the trace holds no \"Start flash update\" command.</p>\n");
    writesOutside();
    return;
  }
  out.put(
      "<table class=\"updates\">\n<thead><tr><th>update</th><th "
      "class=\"n\">offset</th><th>time</th>"
      "<th class=\"n\">flash writes</th><th class=\"n\">bytes</th><th>addresses</th>"
      "<th class=\"n\">rewritten bytes</th><th class=\"n\">length mismatches</th><th>checksums</th>"
      "<th>serial numbers</th><th>reset</th><th class=\"n\">error "
      "replies</th></tr></thead>\n<tbody>\n");
  for (std::size_t i = 0; i < data.updates.size(); ++i) {
    const UpdateFacts& update = data.updates[i];
    out.put(update.errors != 0 ? "<tr class=\"bad\"><td>" : "<tr><td>");
    updateLink(out, inputs, i + 1, "");
    out.put("</td><td class=\"n\">");
    out.decimal(static_cast<std::int64_t>(update.offset));
    out.put("</td><td>");
    if (update.time) utc(out, *update.time);
    out.put("</td><td class=\"n\">");
    count(out, update.writes);
    out.put("</td><td class=\"n\">");
    count(out, update.bytes);
    out.put("</td><td>");
    someRanges(out, update, 4);
    out.put("</td><td class=\"n\">");
    count(out, update.rewrittenBytes);
    out.put("</td><td class=\"n\">");
    count(out, update.lengthMismatches);
    out.put("</td><td>");
    checksums(out, update);
    out.put("</td><td>");
    for (std::size_t s = 0; s < update.serialNumbers.size(); ++s) {
      if (s != 0) out.put(", ");
      writeHtmlText(out, update.serialNumbers[s]);
    }
    listEnd(out, update.serialNumbers.empty(), update.serialNumbersLeftOut);
    writeSerialNumberWrites(out, update, Counts::Grouped);
    out.put("</td><td>");
    out.put(update.reset ? "yes" : "no");
    out.put("</td><td class=\"n\">");
    count(out, update.errors);
    out.put("</td></tr>\n");
  }
  out.put("</tbody>\n</table>\n");
  if (data.updatesLeftOut != 0) {
    out.put("<p class=\"note\">");
    counted(out, data.updatesLeftOut, "more update is", "more updates are");
    out.put(" counted but not listed.</p>\n");
  }
  writesOutside();
}

void writeSummary(Writer& out, const ReportInputs& inputs) {
  const SessionFacts& data = inputs.summary;
  out.put("<section id=\"summary\">\n<h2>Summary</h2>\n<div class=\"grid\">\n");
  writeTraceFacts(out, data);
  writeCommandFacts(out, data);
  out.put("</div>\n");
  writeUpdateTable(out, inputs);
  out.put("<div class=\"grid\">\n");
  writeReplyFacts(out, data);
  writeDeviceFacts(out, data);
  out.put("</div>\n</section>\n");
}

// ---- Error replies ----

void writeErrors(Writer& out, Writer& scratch, const ReportInputs& inputs, const EntryIds& ids) {
  const SessionFacts& data = inputs.summary;
  out.put("<section id=\"errors\">\n<h2>Error replies (");
  count(out, data.errors.size() + data.errorsLeftOut);
  out.put(")</h2>\n");
  if (data.errors.empty()) {
    out.put("<p>No status reply reported an error.</p>\n</section>\n");
    return;
  }
  out.put(
      "<p class=\"note\">Every status reply with \"Operation in Error\", \"Command reject\" or the "
      "serial-number bit, and the firmware command before it: the command that the device "
      "refused. Offsets link to the entries in the listing.</p>\n"
      "<p id=\"error-filter\" hidden><label>Show the rows that contain "
      "<input type=\"search\" placeholder=\"for instance 0x018010\"></label></p>\n"
      "<table id=\"error-table\">\n<thead><tr><th class=\"n\">#</th><th class=\"n\">offset</th>"
      "<th>time</th><th>update</th><th>reply</th><th>after the "
      "command</th></tr></thead>\n<tbody>\n");
  for (std::size_t i = 0; i < data.errors.size(); ++i) {
    const ErrorReply& error = data.errors[i];
    out.put("<tr id=\"error-");
    out.decimal(static_cast<std::int64_t>(i + 1));
    out.put("\"><td class=\"n\">");
    out.decimal(static_cast<std::int64_t>(i + 1));
    out.put("</td><td class=\"n\">");
    ids.offsetLink(out, error.offset);
    out.put("</td><td>");
    if (error.time) utc(out, *error.time);
    out.put("</td><td>");
    if (error.update == 0) {
      out.put("before any");
    } else {
      updateLink(out, inputs, error.update, "");
    }
    out.put("</td><td>");
    joined(out, scratch, [&error](NoteSink& notes) { writeStatusNotes(notes, error.reply); });
    out.put("</td><td>");
    if (error.command) {
      out.put("offset ");
      ids.offsetLink(out, error.command->offset());
      out.put(": ");
      joined(out, scratch,
             [&error](NoteSink& notes) { writeCommandNotes(notes, error.command->command()); });
    } else {
      out.put("none before it");
    }
    out.put("</td></tr>\n");
  }
  out.put("</tbody>\n</table>\n");
  if (data.errorsLeftOut != 0) {
    out.put("<p class=\"note\">The table holds the first ");
    count(out, data.errors.size());
    out.put("; ");
    counted(out, data.errorsLeftOut, "more is", "more are");
    out.put(" counted.</p>\n");
  }
  out.put("</section>\n");
}

// ---- Updates: the pictures ----

// " The timeline leaves out 2 refused writes and 5 error replies.": the
// events that an update has beyond what its timeline holds.
void writeEventsLeftOut(Writer& out, const UpdateTimeline& timeline) {
  const struct {
    std::uint64_t count;
    std::string_view one;
    std::string_view many;
  } kinds[] = {{timeline.refusedLeftOut, "refused write", "refused writes"},
               {timeline.errorsLeftOut, "error reply", "error replies"},
               {timeline.checksumsLeftOut, "checksum write", "checksum writes"},
               {timeline.resetsLeftOut, "reset", "resets"}};
  std::size_t left = 0;
  for (const auto& kind : kinds) left += kind.count != 0 ? 1 : 0;
  out.put(" The timeline leaves out ");
  for (const auto& kind : kinds) {
    if (kind.count == 0) continue;
    counted(out, kind.count, kind.one, kind.many);
    --left;
    out.put(left > 1 ? ", " : left == 1 ? " and " : ".");
  }
}

void writeUpdatePictures(Writer& out, Writer& scratch, const ReportInputs& inputs) {
  const SessionFacts& data = inputs.summary;
  out.put("<section id=\"updates\">\n<h2>Updates</h2>\n");
  if (data.updates.empty()) out.put("<p>The trace holds no flash update to draw.</p>\n");
  for (const UpdateTimeline& timeline : inputs.timelines.updates()) {
    const UpdateFacts& update = data.updates[timeline.number - 1];
    out.put("<section class=\"update\" id=\"update-");
    out.decimal(static_cast<std::int64_t>(timeline.number));
    out.put("\">\n<h3>Update ");
    out.decimal(static_cast<std::int64_t>(timeline.number));
    out.put(" at offset ");
    out.decimal(static_cast<std::int64_t>(update.offset));
    if (update.time) {
      out.put(", ");
      utc(out, *update.time);
    }
    out.put("</h3>\n<p>");
    updateSentence(out, update);
    out.put("</p>\n<h4>Timeline</h4>\n<figure>\n");
    writeTimelineSvg(out, scratch, timeline);
    out.put("</figure>\n");
    writeTimelineLegend(out);
    out.put("<p class=\"note\">Hover over a mark for its record's notes.");
    const bool eventsLeftOut = timeline.refusedLeftOut + timeline.errorsLeftOut +
                                   timeline.checksumsLeftOut + timeline.resetsLeftOut !=
                               0;
    if (timeline.stride > 1) {
      out.put(" The update has ");
      counted(out, timeline.writes, "flash write", "flash writes");
      out.put("; the timeline draws every ");
      ordinal(out, timeline.stride);
      out.put(" of them (");
      count(out, timeline.marks.size());
      out.put(eventsLeftOut
                  ? " marks), and the refused writes and error replies that it has room for."
                  : " marks), and every refused write and error reply.");
    }
    if (eventsLeftOut) writeEventsLeftOut(out, timeline);
    out.put("</p>\n<h4>Flash written</h4>\n");
    if (!timeline.anyWrite) {
      out.put("<p>No flash writes.</p>\n</section>\n");
      continue;
    }
    out.put("<figure>\n");
    writeFlashMapSvg(out, timeline, update);
    out.put("</figure>\n");
    writeFlashMapLegend(out, timeline.number);
    out.put("<p class=\"note\">From ");
    writeHexAddress(out, timeline.lowest);
    out.put(" to ");
    writeHexAddress(out, timeline.highest);
    out.put(": ");
    const std::uint64_t ranges = update.ranges.size() + update.rangesLeftOut;
    counted(out, ranges, "range", "ranges");
    out.put(" written, ");
    counted(out, ranges == 0 ? 0 : ranges - 1, "gap", "gaps");
    out.put(", ");
    counted(out, update.rewrittenBytes, "byte", "bytes");
    out.put(" written more than once, ");
    counted(out, timeline.refused.size() + timeline.refusedLeftOut, "refused write",
            "refused writes");
    out.put('.');
    if (update.rangesLeftOut != 0) {
      out.put(" The map draws the first ");
      count(out, update.ranges.size());
      out.put(" ranges.");
    }
    out.put("</p>\n<details>\n<summary>The address ranges (");
    count(out, ranges);
    out.put(
        ")</summary>\n<table>\n<thead><tr><th>first</th><th>last</th><th class=\"n\">bytes</th>"
        "<th class=\"n\">gap before</th></tr></thead>\n<tbody>\n");
    for (std::size_t i = 0; i < update.ranges.size(); ++i) {
      const AddressRange& written = update.ranges[i];
      out.put("<tr><td>");
      writeHexAddress(out, written.first);
      out.put("</td><td>");
      writeHexAddress(out, written.last);
      out.put("</td><td class=\"n\">");
      count(out, std::uint64_t{written.last} - written.first + 1);
      out.put("</td><td class=\"n\">");
      if (i != 0) count(out, std::uint64_t{written.first} - update.ranges[i - 1].last - 1);
      out.put("</td></tr>\n");
    }
    out.put("</tbody>\n</table>\n");
    if (update.rangesLeftOut != 0) {
      out.put("<p class=\"note\">");
      counted(out, update.rangesLeftOut, "more range", "more ranges");
      out.put(".</p>\n");
    }
    out.put("</details>\n</section>\n");
  }
  const std::size_t drawn = inputs.timelines.updates().size();
  const std::uint64_t all = data.updates.size() + data.updatesLeftOut;
  if (all > drawn) {
    out.put("<p class=\"note\">The page draws the first ");
    count(out, drawn);
    out.put(" updates; ");
    counted(out, all - drawn, "more is", "more are");
    out.put(" in the summary.</p>\n");
  }
  out.put("</section>\n");
}

// ---- The listing ----

void writeEntry(Writer& out, const ListingEntry& entry, char idPrefix) {
  out.put(entry.error ? "<span class=\"entry err\" id=\"" : "<span class=\"entry\" id=\"");
  out.put(idPrefix);
  out.decimal(static_cast<std::int64_t>(entry.offset));
  out.put("\">");
  writeHtmlText(out, entry.text);
  if (entry.bytesCut != 0) {
    if (!entry.text.empty() && entry.text.back() != '\n') out.put('\n');
    out.put("<span class=\"cut\">[");
    counted(out, entry.bytesCut, "more byte", "more bytes");
    if (entry.linesCut != 0) {
      out.put(" (");
      counted(out, entry.linesCut, "line", "lines");
      out.put(')');
    }
    out.put(" of this entry cut here; the text listing has them]</span>\n");
  }
  out.put("</span>");
}

void writeExcerpts(Writer& out, const ReportInputs& inputs) {
  const ListingExcerpts& listing = inputs.listing;
  const SessionFacts& data = inputs.summary;
  out.put("<section id=\"excerpts\">\n<h2>Around each error reply</h2>\n");
  if (listing.excerpts().empty() && listing.errorsWithoutExcerpt() == 0) {
    out.put("<p>No status reply reported an error.</p>\n</section>\n");
    return;
  }
  out.put("<p class=\"note\">The entries of the text listing, as ");
  code(out, inputs);
  out.put(" prints them, from ");
  count(out, ListingExcerpts::kBefore);
  out.put(" records before each error reply to ");
  count(out, ListingExcerpts::kAfter);
  out.put(" after it; error replies are marked. Entries longer than ");
  count(out, ListingExcerpts::kEntryLines);
  out.put(" lines or ");
  count(out, ListingExcerpts::kEntryBytes);
  out.put(" bytes are cut.</p>\n");
  for (const Excerpt& excerpt : listing.excerpts()) {
    const auto errors = std::count_if(excerpt.entries.begin(), excerpt.entries.end(),
                                      [](const ListingEntry& entry) { return entry.error; });
    out.put(errors == 1 ? "<h3>Error reply at offset " : "<h3>Error replies at offsets ");
    bool first = true;
    for (const ListingEntry& entry : excerpt.entries) {
      if (!entry.error) continue;
      if (!first) out.put(", ");
      first = false;
      // The offset links back to its row of the error table.
      const auto row = std::lower_bound(
          data.errors.begin(), data.errors.end(), entry.offset,
          [](const ErrorReply& error, std::uint64_t offset) { return error.offset < offset; });
      if (row != data.errors.end() && row->offset == entry.offset) {
        out.put("<a href=\"#error-");
        out.decimal(static_cast<std::int64_t>(row - data.errors.begin() + 1));
        out.put("\">");
        out.decimal(static_cast<std::int64_t>(entry.offset));
        out.put("</a>");
      } else {
        out.decimal(static_cast<std::int64_t>(entry.offset));
      }
    }
    out.put("</h3>\n<pre class=\"listing\">");
    for (const ListingEntry& entry : excerpt.entries) writeEntry(out, entry, 'e');
    out.put("</pre>\n");
  }
  if (listing.errorsWithoutExcerpt() != 0) {
    out.put("<p class=\"note\">The page keeps ");
    count(out, ListingExcerpts::kMaxExcerpts);
    out.put(" excerpts; ");
    counted(out, listing.errorsWithoutExcerpt(), "later error reply has",
            "later error replies have");
    out.put(" none. ");
    code(out, inputs);
    out.put(" lists them.</p>\n");
  }
  out.put("</section>\n");
}

void writeWholeListing(Writer& out, const ReportInputs& inputs) {
  const ListingExcerpts& listing = inputs.listing;
  out.put("<section id=\"listing\">\n<h2>Listing</h2>\n");
  switch (listing.whole()) {
    case ListingExcerpts::Whole::Kept:
      out.put("<p class=\"note\">The whole listing, as ");
      code(out, inputs);
      out.put(" prints it (entries longer than ");
      count(out, ListingExcerpts::kEntryLines);
      out.put(" lines or ");
      count(out, ListingExcerpts::kEntryBytes);
      out.put(" bytes are cut).</p>\n<pre class=\"listing\">");
      for (const ListingEntry& entry : listing.wholeEntries()) writeEntry(out, entry, 'r');
      out.put("</pre>\n");
      break;
    case ListingExcerpts::Whole::TooManyRecords:
      out.put("<p>The trace has ");
      counted(out, inputs.summary.records, "record", "records");
      out.put("; the page holds the whole listing of a trace of up to ");
      count(out, ListingExcerpts::kWholeListingRecords);
      out.put(". The text listing has it all: ");
      code(out, inputs);
      out.put("</p>\n");
      break;
    case ListingExcerpts::Whole::TooLarge:
      out.put("<p>The listing of this trace runs to more than ");
      count(out, ListingExcerpts::kWholeListingBytes >> 20);
      out.put(" MiB, too much for the page. The text listing has it all: ");
      code(out, inputs);
      out.put("</p>\n");
      break;
  }
  out.put("</section>\n");
}

}  // namespace

void writeReportPage(Writer& out, Writer& scratch, const ReportInputs& inputs) {
  const EntryIds ids(inputs.listing);
  writeHead(out, inputs);
  writeTop(out, inputs);
  out.put("<main>\n");
  writeGlance(out, inputs);
  writeSummary(out, inputs);
  writeErrors(out, scratch, inputs, ids);
  writeUpdatePictures(out, scratch, inputs);
  writeExcerpts(out, inputs);
  writeWholeListing(out, inputs);
  out.put("</main>\n<footer>Written by ovantrex " OVANTREX_VERSION
          " (--report). The page needs no network: its pictures, style and script are all "
          "inside it.</footer>\n<script>");
  out.put(kReportScript);
  out.put("</script>\n</body>\n</html>\n");
}

}  // namespace ovantrex
