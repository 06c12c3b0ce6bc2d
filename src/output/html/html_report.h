// The HTML report (--report): one self-contained page per trace, written
// once the trace has been read: the session summary laid out for reading,
// a timeline and a flash map of each update, the listing around each
// error reply and, for a small trace, the whole listing.
//
// All the memory that the page needs is taken when the report is made,
// before the first record: want of it shows before an older output file
// is emptied, and nothing can fail for want of memory later.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/session_analysis.h"
#include "analysis/update_timeline.h"
#include "output/common/listing_options.h"
#include "output/common/printer.h"
#include "output/common/writer.h"
#include "output/html/listing_excerpts.h"

namespace ovantrex {

class HtmlReport final : public Printer {
 public:
  // out: the output stream. traceName: the trace as the
  // command line named it, for the page's heading. listingCommand: the
  // words after the program's name of the command that lists the trace as
  // the page's listing shows it. analysis: the analysis of the session,
  // with its timelines, fed before this printer.
  HtmlReport(Writer& out, const ListingOptions& options, std::string traceName,
             std::vector<std::string> listingCommand, const SessionAnalysis& analysis);

  void record(const Record& record, const DecodedRecord& decoded,
              const RecordFacts& facts) override;
  // Writes the page.
  void finish() override;
  // The page is the same bytes on every system.
  bool writesBytes() const override { return true; }

 private:
  Writer& out_;
  ListingOptions options_;
  std::string traceName_;
  std::vector<std::string> listingCommand_;
  const SessionAnalysis& analysis_;
  ListingExcerpts listing_;
  // The notes of one mark's title, before they are escaped (the longest, an
  // error reply's, has under 500 bytes).
  std::unique_ptr<Writer> scratch_;
};

}  // namespace ovantrex
