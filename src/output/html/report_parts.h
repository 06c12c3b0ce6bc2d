// The pieces of the HTML report: the pictures of an update, and the small
// writers of numbers and times that the page and the pictures share.
#pragma once

#include <cstdint>
#include <string_view>

#include "analysis/session_analysis.h"
#include "analysis/update_timeline.h"
#include "output/common/listing_options.h"
#include "output/common/writer.h"
#include "output/html/listing_excerpts.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

// Everything the page shows, gathered from the whole trace.
struct ReportInputs {
  std::string_view traceName;  // as the command line named it
  const ListingOptions& options;
  const SessionFacts& summary;
  const UpdateTimelines& timelines;
  const ListingExcerpts& listing;
};

// The whole page. scratch: a memory writer for notes before they are
// escaped, with room for the longest (see HtmlReport); the page takes no
// memory of its own.
void writeReportPage(Writer& out, Writer& scratch, const ReportInputs& inputs);

// The page's style sheet and script (report.css and report.js, embedded at
// build time), and their SHA-256 digests (base64) for its content security
// policy, which lets nothing else run or load, even were markup to slip
// through.
extern const std::string_view kReportStyle;
extern const std::string_view kReportScript;
extern const std::string_view kReportStyleDigest;
extern const std::string_view kReportScriptDigest;

// value with the given number of decimals (no "-0").
void writeFixed(Writer& out, double value, int decimals);
// "0x" and six hex digits.
void writeHexAddress(Writer& out, std::uint32_t address);
// The UTC time of a timeline point, as the summary writes times.
void writeTimelineTime(Writer& out, const TimelinePoint& at);

// The timeline of an update: time (or record number) across, flash address
// up, one mark per flash write kept; error replies, refused writes,
// checksum writes and resets marked. Every mark carries its record's notes
// as its title. Inline SVG; the page's style sheet colours it. scratch: a
// memory writer for the notes before they are escaped.
void writeTimelineSvg(Writer& out, Writer& scratch, const UpdateTimeline& timeline);
// The legend of the timeline's marks.
void writeTimelineLegend(Writer& out);

// The flash written by an update: the span from its lowest to its highest
// address, the written ranges as bars over it, rewritten bytes hatched,
// gaps and refused writes marked. summary: the update's ranges.
void writeFlashMapSvg(Writer& out, const UpdateTimeline& timeline, const UpdateFacts& summary);
void writeFlashMapLegend(Writer& out, std::size_t number);

}  // namespace ovantrex
