// The section of the report's page on each drawn update: its heading and
// sentence, its timeline, its response times, its flash map and its list
// of ranges.
#include "output/html/link_ids.h"
#include "output/html/page.h"
#include "output/html/pictures.h"
#include "output/html/svg_shapes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

// A count of things that a picture leaves out, and its noun for one and
// for more.
struct LeftOut {
  std::uint64_t count;
  std::string_view one;
  std::string_view many;
};

// " The timeline leaves out 2 refused writes and 5 error replies.": the
// events that an update has beyond what its timeline holds.
void writeEventsLeftOut(Writer& out, const UpdateTimeline& timeline) {
  const LeftOut kinds[] = {{timeline.refusedLeftOut, "refused write", "refused writes"},
                           {timeline.errorsLeftOut, "error reply", "error replies"},
                           {timeline.checksumsLeftOut, "checksum write", "checksum writes"},
                           {timeline.resetsLeftOut, "reset", "resets"}};
  std::size_t left = 0;
  for (const auto& kind : kinds) left += kind.count != 0 ? 1 : 0;
  out.put(" The timeline leaves out ");
  for (const auto& kind : kinds) {
    if (kind.count == 0) continue;
    writeCounted(out, kind.count, kind.one, kind.many);
    --left;
    out.put(left > 1 ? ", " : left == 1 ? " and " : ".");
  }
}

void writeTimeline(Writer& out, Writer& scratch, const UpdateTimeline& timeline) {
  out.put("<h4>Timeline</h4>\n<figure>\n");
  writeTimelineSvg(out, scratch, timeline);
  out.put("</figure>\n");
  writeTimelineLegend(out);
  out.put("<p class=\"note\">Hover over a mark for its record's notes.");
  const bool eventsLeftOut = timeline.refusedLeftOut + timeline.errorsLeftOut +
                                 timeline.checksumsLeftOut + timeline.resetsLeftOut !=
                             0;
  if (timeline.stride > 1) {
    out.put(" The update has ");
    writeCounted(out, timeline.writes, "flash write", "flash writes");
    out.put("; the timeline draws every ");
    writeOrdinal(out, timeline.stride);
    out.put(" of them (");
    writeGrouped(out, timeline.marks.size());
    out.put(eventsLeftOut
                ? " marks), and the refused writes and error replies that it has room for."
                : " marks), and every refused write and error reply.");
  }
  if (eventsLeftOut) writeEventsLeftOut(out, timeline);
  out.put("</p>\n");
}

void writeResponses(Writer& out, const UpdateTimeline& timeline, const UpdateFacts& update) {
  out.put("<h4>Response times</h4>\n");
  out.put("<figure>\n");
  if (!writeResponseSvg(out, timeline)) {
    out.put("</figure>\n<p>No command of this update was answered or left unanswered.</p>\n");
    return;
  }
  out.put("</figure>\n");
  writeResponseLegend(out);
  out.put("<p class=\"note\">Hover over a mark for its exchange. Responses: ");
  writeUpdateResponses(out, update.responses);
  out.put('.');
  if (timeline.exchangeStride > 1) {
    out.put(" The plot draws every ");
    writeOrdinal(out, timeline.exchangeStride);
    out.put(" of the ");
    writeCounted(out, timeline.exchanges, "accepted command", "accepted commands");
    out.put(" and every refused and unanswered one it has room for.");
  }
  const LeftOut left[] = {
      {timeline.refusedCommandsLeftOut, "refused command", "refused commands"},
      {timeline.unansweredLeftOut, "unanswered command", "unanswered commands"},
      {timeline.untimed, "reply whose time stamps go backwards or are not finite",
       "replies whose time stamps go backwards or are not finite"}};
  for (const auto& kind : left) {
    if (kind.count == 0) continue;
    out.put(" Not drawn: ");
    writeCounted(out, kind.count, kind.one, kind.many);
    out.put('.');
  }
  out.put("</p>\n");
}

// The ranges written, each with its size and the gap before it.
void writeRangeTable(Writer& out, const UpdateFacts& update, std::uint64_t ranges) {
  out.put("<details>\n<summary>The address ranges (");
  writeGrouped(out, ranges);
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
    writeGrouped(out, std::uint64_t{written.last} - written.first + 1);
    out.put("</td><td class=\"n\">");
    if (i != 0) writeGrouped(out, std::uint64_t{written.first} - update.ranges[i - 1].last - 1);
    out.put("</td></tr>\n");
  }
  out.put("</tbody>\n</table>\n");
  if (update.rangesLeftOut != 0) {
    out.put("<p class=\"note\">");
    writeCounted(out, update.rangesLeftOut, "more range", "more ranges");
    out.put(".</p>\n");
  }
  out.put("</details>\n");
}

void writeFlashWritten(Writer& out, const UpdateTimeline& timeline, const UpdateFacts& update) {
  out.put("<h4>Flash written</h4>\n");
  if (!timeline.anyWrite) {
    out.put("<p>No flash writes.</p>\n");
    return;
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
  writeCounted(out, ranges, "range", "ranges");
  out.put(" written, ");
  writeCounted(out, ranges == 0 ? 0 : ranges - 1, "gap", "gaps");
  out.put(", ");
  writeCounted(out, update.rewrittenBytes, "byte", "bytes");
  out.put(" written more than once, ");
  writeCounted(out, timeline.refused.size() + timeline.refusedLeftOut, "refused write",
               "refused writes");
  out.put(". The ranges and the bytes written more than once count ");
  writeWrittenBy(out, update, pageWords());
  out.put('.');
  if (update.rangesLeftOut != 0) {
    out.put(" The map draws the first ");
    writeGrouped(out, update.ranges.size());
    out.put(" ranges.");
  }
  out.put("</p>\n");
  writeRangeTable(out, update, ranges);
}

void writeUpdate(Writer& out, Writer& scratch, const UpdateTimeline& timeline,
                 const UpdateFacts& update) {
  out.put("<section class=\"update\" id=\"");
  writeUpdateId(out, timeline.number);
  out.put("\">\n<h3>");
  writeUpdateHeading(out, "Update", timeline.number, update, pageWords());
  out.put("</h3>\n<p>");
  writeUpdateSentence(out, update);
  out.put("</p>\n");
  writeTimeline(out, scratch, timeline);
  writeResponses(out, timeline, update);
  writeFlashWritten(out, timeline, update);
  out.put("</section>\n");
}

}  // namespace

void writeUpdateSections(Writer& out, Writer& scratch, const ReportInputs& inputs) {
  const SessionFacts& facts = inputs.facts;
  out.put("<section id=\"");
  out.put(kUpdatesId);
  out.put("\">\n<h2>Updates</h2>\n");
  if (facts.updates.empty()) out.put("<p>The trace holds no flash update to draw.</p>\n");
  for (const UpdateTimeline& timeline : inputs.timelines.updates())
    writeUpdate(out, scratch, timeline, facts.updates[timeline.number - 1]);
  const std::size_t drawn = inputs.timelines.updates().size();
  const std::uint64_t all = facts.updates.size() + facts.updatesLeftOut;
  if (all > drawn) {
    out.put("<p class=\"note\">The page draws the first ");
    writeGrouped(out, drawn);
    out.put(" updates; ");
    writeCounted(out, all - drawn, "more is", "more are");
    out.put(" in the summary.</p>\n");
  }
  out.put("</section>\n");
}

}  // namespace ovantrex
