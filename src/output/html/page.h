// The page of the HTML report: what it is made of, and the pieces that its
// sections share. Everything that comes from the trace (notes, serial
// numbers, listing entries, the trace's name) passes through
// writeHtmlText(); the rest is the program's own words and numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "analysis/session_facts.h"
#include "analysis/update_timeline.h"
#include "output/common/listing_options.h"
#include "output/common/writer.h"
#include "output/html/listing_excerpts.h"
#include "output/summary/word_style.h"

namespace ovantrex {

// Everything the page shows, gathered from the whole trace.
struct ReportInputs {
  std::string_view traceName;  // as the command line named it
  const ListingOptions& options;
  const SessionFacts& facts;
  const UpdateTimelines& timelines;
  const ListingExcerpts& listing;
  // The words after the program's name of the command that makes the
  // page's listing (the program's command line gives them).
  std::span<const std::string> listingCommand;
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

// The links of the page: to the entries that it holds of the records, and
// to the pictures of the updates that it draws.
class PageLinks final : public EntryLinks {
 public:
  explicit PageLinks(const ReportInputs& inputs);

  // The offset, linked to its record's entry where the page holds it.
  void offset(Writer& out, std::uint64_t offset) const;
  void entry(Writer& out, std::uint64_t offset) const override { this->offset(out, offset); }
  // label, then the update's number, linked to its pictures where the page
  // draws them.
  void update(Writer& out, std::size_t number, std::string_view label) const;

 private:
  std::span<const ListingEntry> excerpt_;
  std::span<const ListingEntry> whole_;
  const ListingExcerpts& listing_;  // the slowest exchanges' entries
  std::size_t drawn_;
};

// ---- Words that the sections share; counts are grouped ("1,000") ----

// The page's style of words: counts grouped, words escaped, times in time
// elements, at most mostRanges address ranges in a list of them, and a
// record's offset linked to its entry where links are given.
WordStyle pageWords(std::size_t mostRanges = std::numeric_limits<std::size_t>::max(),
                    const PageLinks* links = nullptr);
// "1 flash write", "3 flash writes".
void writeCounted(Writer& out, std::uint64_t value, std::string_view one, std::string_view many);
// "2nd", "4th", "32nd", "512th", "1,001st": the number, grouped as the page
// writes counts, and its ordinal ending.
void writeOrdinal(Writer& out, std::uint64_t value);
// The command that writes the text listing with the options of this run
// (inputs.listingCommand), as code.
void writeListingCommand(Writer& out, const ReportInputs& inputs);
// One sentence on an update: what it wrote, what went wrong, how it ended.
void writeUpdateSentence(Writer& out, const UpdateFacts& update);
// "3 flash writes fall outside any update (...)".
void writeWritesOutside(Writer& out, std::uint64_t writes);
// A record's time in UTC, "2025-12-08T10:40:00.148Z", in an element that
// keeps it on one line.
void writePageTime(Writer& out, const TraceTime& time);
// The sentence under the page's title that says which time each part of
// the page shows: UTC everywhere but in the listing's time column (-t),
// which shows local time; nothing for a trace without times.
void writeTimeBasis(Writer& out, const ReportInputs& inputs);

// ---- The sections, from the top ----

// scratch: a memory writer for a note's words before they are escaped.
void writeGlance(Writer& out, Writer& scratch, const ReportInputs& inputs, const PageLinks& links);
// The summary (as the walk over the session's facts lays it out) and the
// error replies.
void writeSummarySection(Writer& out, Writer& scratch, const ReportInputs& inputs,
                         const PageLinks& links);
void writeUpdateSections(Writer& out, Writer& scratch, const ReportInputs& inputs);
void writeExcerpts(Writer& out, const ReportInputs& inputs);
// The entries of the slowest exchanges, when the page holds no whole listing.
void writeSlowExchanges(Writer& out, const ReportInputs& inputs);
void writeWholeListing(Writer& out, const ReportInputs& inputs);

}  // namespace ovantrex
