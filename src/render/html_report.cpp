#include "render/html_report.h"

#include <utility>

#include "render/diagnostic_message.h"
#include "render/report_parts.h"

namespace ovantrex {

namespace {

constexpr std::size_t kLongestTitleNotes = 1024;

}  // namespace

HtmlReport::HtmlReport(Writer& out, Writer& errors, const ListingOptions& options,
                       std::string traceName)
    : out_(out),
      errors_(errors),
      options_(options),
      traceName_(std::move(traceName)),
      listing_(options),
      scratch_(std::make_unique<Writer>(kLongestTitleNotes)) {
  // The flash maps draw the rewritten ranges of the updates drawn.
  collector_.keepRewrittenRanges(UpdateTimelines::kMaxDrawnUpdates);
}

void HtmlReport::record(const Record& record, const DecodedRecord& decoded) {
  collector_.record(record, decoded);
  bool errorReply = false;
  if (!decoded.hidden && decoded.failure == DecodeFailure::None) {
    if (const auto* reply = std::get_if<StatusReply>(&decoded.body))
      errorReply = isErrorReply(*reply);
  }
  timelines_.record(record, decoded, collector_.updateNumber());
  listing_.record(record, decoded, errorReply);
}

void HtmlReport::diagnostic(const Diagnostic& diagnostic) {
  collector_.diagnostic(diagnostic);
  // Standard error keeps what the listing writes there; the invalid minor
  // code is counted in the report.
  reportOnStandardError(errors_, options_, diagnostic);
}

void HtmlReport::finish() {
  collector_.close();
  writeReportPage(out_, *scratch_,
                  ReportInputs{traceName_, options_, collector_.data(), timelines_, listing_});
}

}  // namespace ovantrex
