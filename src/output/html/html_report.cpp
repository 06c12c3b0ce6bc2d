#include "output/html/html_report.h"

#include <utility>

#include "output/html/page.h"

namespace ovantrex {

namespace {

constexpr std::size_t kLongestTitleNotes = 1024;

}  // namespace

HtmlReport::HtmlReport(Writer& out, const ListingOptions& options, std::string traceName,
                       std::vector<std::string> listingCommand, const SessionAnalysis& analysis)
    : out_(out),
      options_(options),
      traceName_(std::move(traceName)),
      listingCommand_(std::move(listingCommand)),
      analysis_(analysis),
      listing_(options),
      scratch_(std::make_unique<Writer>(kLongestTitleNotes)) {}

void HtmlReport::record(const Record& record, const DecodedRecord& decoded,
                        const RecordFacts& facts) {
  listing_.record(record, decoded, facts);
}

void HtmlReport::finish() {
  writeReportPage(out_, *scratch_,
                  ReportInputs{traceName_, options_, analysis_.facts(), *analysis_.timelines(),
                               listing_, listingCommand_});
}

}  // namespace ovantrex
