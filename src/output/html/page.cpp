// The page of the HTML report: its head, the top, the sections in their
// order, and the links between them.
#include "output/html/page.h"

#include <algorithm>

#include "output/html/html_text.h"
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
  out.put(
      "<nav><a href=\"#glance\">At a glance</a><a href=\"#summary\">Summary</a>"
      "<a href=\"#errors\">Error replies</a><a href=\"#updates\">Updates</a>"
      "<a href=\"#excerpts\">Around each error</a><a href=\"#listing\">Listing</a></nav>\n"
      "</header>\n");
}

}  // namespace

PageLinks::PageLinks(const ReportInputs& inputs)
    : excerpt_(inputs.listing.excerptEntries()),
      whole_(inputs.listing.wholeEntries()),
      listing_(inputs.listing),
      drawn_(inputs.timelines.updates().size()) {}

void PageLinks::offset(Writer& out, std::uint64_t offset) const {
  const char* const target =
      contains(excerpt_, offset)                                                       ? "e"
      : contains(whole_, offset)                                                       ? "r"
      : listing_.holdsSlow(offset) && listing_.whole() != ListingExcerpts::Whole::Kept ? "s"
                                                                                       : nullptr;
  if (target == nullptr) {
    writeOffset(out, offset);
    return;
  }
  out.put("<a href=\"#");
  out.put(target);
  out.decimal(static_cast<std::int64_t>(offset));
  out.put("\">");
  writeOffset(out, offset);
  out.put("</a>");
}

void PageLinks::update(Writer& out, std::size_t number, std::string_view label) const {
  const bool drawn = number >= 1 && number <= drawn_;
  if (drawn) {
    out.put("<a href=\"#update-");
    out.decimal(static_cast<std::int64_t>(number));
    out.put("\">");
  }
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
