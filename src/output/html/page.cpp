// The page of the HTML report: its head, the top, the sections in their
// order, and the links between them.
#include "output/html/page.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "output/html/html_text.h"
#include "output/html/link_ids.h"
#include "output/html/svg_shapes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

// Whether entries, in trace order, hold the entry of the record at offset.
bool contains(std::span<const ListingEntry> entries, std::uint64_t offset) {
  const auto at = std::lower_bound(
      entries.begin(), entries.end(), offset,
      [](const ListingEntry& entry, std::uint64_t value) { return entry.offset < value; });
  return at != entries.end() && at->offset == offset;
}

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
  const SessionFacts& data = inputs.facts;
  out.put("<header>\n<h1>Firmware update report</h1>\n<p class=\"meta\">Trace ");
  out.put("<code>");
  writeHtmlText(out, inputs.traceName);
  out.put("</code>");
  out.put(": ");
  writeCounted(out, data.records, "record", "records");
  if (data.earliestTime && data.latestTime) {
    out.put(" from ");
    writePageTime(out, *data.earliestTime);
    out.put(" to ");
    writePageTime(out, *data.latestTime);
    writeTimeOrder(out, data);
  }
  out.put(".</p>\n");
  writeTimeBasis(out, inputs);
  // The sections' links, and the error replies of the summary.
  constexpr std::pair<std::string_view, std::string_view> kNavigation[] = {
      {kGlanceId, "At a glance"},         {kSummaryId, "Summary"},
      {kErrorsId, "Error replies"},       {kUpdatesId, "Updates"},
      {kExcerptsId, "Around each error"}, {kListingId, "Listing"}};
  out.put("<nav>");
  for (const auto& link : kNavigation) {
    const std::string_view id = link.first;
    openLink(out, [id](Writer& to) { to.put(id); });
    out.put(link.second);
    out.put("</a>");
  }
  out.put("</nav>\n</header>\n");
}

}  // namespace

PageLinks::PageLinks(const ReportInputs& inputs)
    : excerpt_(inputs.listing.excerptEntries()),
      whole_(inputs.listing.wholeEntries()),
      listing_(inputs.listing),
      drawn_(inputs.timelines.updates().size()) {}

void PageLinks::offset(Writer& out, std::uint64_t offset) const {
  std::optional<EntryPlace> place;
  if (contains(excerpt_, offset)) {
    place = EntryPlace::Excerpt;
  } else if (contains(whole_, offset)) {
    place = EntryPlace::Listing;
  } else if (listing_.holdsSlow(offset) && listing_.whole() != ListingExcerpts::Whole::Kept) {
    place = EntryPlace::Slowest;
  }
  if (!place) {
    writeOffset(out, offset);
    return;
  }
  openLink(out, [&](Writer& id) { writeEntryId(id, *place, offset); });
  writeOffset(out, offset);
  out.put("</a>");
}

void PageLinks::update(Writer& out, std::size_t number, std::string_view label) const {
  const bool drawn = number >= 1 && number <= drawn_;
  if (drawn) openLink(out, [number](Writer& id) { writeUpdateId(id, number); });
  out.put(label);
  out.decimal(static_cast<std::int64_t>(number));
  if (drawn) out.put("</a>");
}

void writeReportPage(Writer& out, Writer& scratch, const ReportInputs& inputs) {
  const PageLinks links(inputs);
  writeHead(out, inputs);
  writeTop(out, inputs);
  out.put("<main>\n");
  writeGlance(out, scratch, inputs, links);
  writeSummarySection(out, scratch, inputs, links);
  writeUpdateSections(out, scratch, inputs);
  writeExcerpts(out, inputs);
  writeSlowExchanges(out, inputs);
  writeWholeListing(out, inputs);
  out.put("</main>\n<footer>Written by ovantrex " OVANTREX_VERSION
          " (--report). The page needs no network: its pictures, style and script are all "
          "inside it.</footer>\n<script>");
  out.put(kReportScript);
  out.put("</script>\n</body>\n</html>\n");
}

}  // namespace ovantrex
