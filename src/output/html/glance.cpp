// The top of the report's page: a line on each update and on what went
// wrong, for the people who read no further.
#include <algorithm>

#include "output/html/html_text.h"
#include "output/html/link_ids.h"
#include "output/html/page.h"
#include "output/html/svg_shapes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

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
  writeWritesOutside(out, writes);
  out.put(".</li>\n");
}

// All error replies and those before the first update, from the counters
// (the error list keeps only the first ones).
void glanceErrors(Writer& out, const SessionFacts& data) {
  const std::uint64_t errors = data.errors.size() + data.errorsLeftOut;
  const std::uint64_t outside = data.errorsOutsideUpdates;
  if (errors == 0) return;
  out.put(outside != 0 ? "<li class=\"bad\">" : "<li class=\"warn\">");
  openLink(out, [](Writer& id) { id.put(kErrorsId); });
  writeCounted(out, errors, "error reply", "error replies");
  out.put("</a> in the trace");
  if (outside == errors) {
    out.put(errors == 1 ? ", outside any update" : ", all of them outside any update");
  } else if (outside != 0) {
    out.put(", ");
    writeGrouped(out, outside);
    out.put(" of them before the first update");
  }
  out.put(".</li>\n");
}

// The start of the line on an update, its class by the update's outcome.
std::string_view glanceLine(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::Completed: return "<li>";
    case UpdateOutcome::Failed: return "<li class=\"bad\">";
    case UpdateOutcome::Unfinished: break;
  }
  return "<li class=\"warn\">";
}

}  // namespace

void writeGlance(Writer& out, Writer& scratch, const ReportInputs& inputs, const PageLinks& links) {
  constexpr std::size_t kMostShown = 20;
  const SessionFacts& data = inputs.facts;
  out.put("<section id=\"");
  out.put(kGlanceId);
  out.put("\">\n<h2>At a glance</h2>\n<ul class=\"glance\">\n");
  if (data.readFailure) {
    out.put("<li class=\"bad\">The trace could not be read to its end: ");
    writeFailedRead(out, *data.readFailure, pageWords());
    out.put(". The page shows what was read before it.</li>\n");
  }
  if (data.lastUpdate) {
    // The verdict stands out as the last update's outcome does.
    out.put(glanceLine(data.lastUpdate->outcome));
    out.put("<strong>");
    writeVerdict(out, data, pageWords().withScratch(scratch));
    out.put("</strong></li>\n");
  }
  glanceWritesOutside(out, data);
  for (std::size_t i = 0; i < data.updates.size() && i < kMostShown; ++i) {
    const UpdateFacts& update = data.updates[i];
    out.put(glanceLine(update.outcome));
    out.put("<strong>");
    links.update(out, i + 1, "Update ");
    out.put("</strong>");
    if (update.time) {
      out.put(", ");
      writePageTime(out, *update.time);
    }
    out.put(": ");
    writeUpdateSentence(out, update);
    out.put("</li>\n");
  }
  const std::uint64_t more =
      data.updates.size() - std::min(data.updates.size(), kMostShown) + data.updatesLeftOut;
  if (more != 0) {
    out.put("<li class=\"warn\">");
    writeCounted(out, more, "more update", "more updates");
    out.put(" (see the summary).</li>\n");
  }
  glanceErrors(out, data);
  out.put("</ul>\n</section>\n");
}

}  // namespace ovantrex
