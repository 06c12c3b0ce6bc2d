#include "app/session.h"

#include "app/command_line.h"
#include "decode/decoded_record.h"
#include "output/common/diagnostic_message.h"
#include "output/html/html_report.h"
#include "output/json/json_lines.h"
#include "output/summary/session_summary.h"
#include "output/text/text_listing.h"
#include "select/expression.h"

namespace ovantrex {

Session::Session(const Settings& settings, Writer& output, Writer& console, Writer& errors)
    : errors_(errors), reportOverlong_(settings.reportOverlong) {
  switch (settings.output) {
    case Output::Page:
      analysis_ = std::make_unique<SessionAnalysis>(
          SessionAnalysis::Options{.timelines = true, .traceName = settings.inputName});
      printer_ = std::make_unique<HtmlReport>(output, settings, settings.inputName,
                                              listingCommand(settings), *analysis_);
      break;
    case Output::SummaryText:
    case Output::SummaryJson:
    case Output::BatchRows:  // a batch's trace alone: its summary
      analysis_ = std::make_unique<SessionAnalysis>(
          SessionAnalysis::Options{.traceName = settings.inputName});
      printer_ = std::make_unique<SessionSummary>(output, settings.output != Output::SummaryText,
                                                  *analysis_);
      break;
    case Output::JsonLines:
      pairing_ = std::make_unique<ReplyPairing>();
      printer_ = std::make_unique<JsonLines>(output);
      break;
    case Output::Listing:
    case Output::CompareText:  // the comparison has a run of its own (compare_run.h)
    case Output::CompareJson:
      printer_ = std::make_unique<TextListing>(output, console, settings);
      break;
  }
  printerTakesRecords_ = printer_->takesRecords();
  // The command line has checked the expression: it parses.
  if (settings.where) {
    auto parsed = parseExpression(*settings.where);
    selection_ = std::make_unique<Selection>(std::get<Expression>(std::move(parsed)));
    if (selection_->needsFacts() && !analysis_ && !pairing_)
      pairing_ = std::make_unique<ReplyPairing>();
    selectsFromReplies_ = !analysis_ && !pairing_ && !selection_->looksAtCommands();
    const std::size_t around = settings.context.value_or(0);
    const RecordContext::Extent extent{.before = settings.before.value_or(around),
                                       .after = settings.after.value_or(around)};
    if (extent.before > 0 || extent.after > 0)
      context_ = std::make_unique<RecordContext>(*printer_, extent);
  }
}

void Session::select(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts) {
  writeSelected(record, decoded, facts, selection_->selects(record, decoded, facts));
}

void Session::writeSelected(const Record& record, const DecodedRecord& decoded,
                            const RecordFacts& facts, bool selected) {
  if (context_) {
    context_->record(record, decoded, facts, selected);
  } else if (selected) {
    printer_->record(record, decoded, facts);
  } else {
    printer_->pass(record);
  }
}

void Session::selectFromReplies(const Record& record) {
  const RecordFacts none;
  DecodedRecord decoded = decodeRecord(record, DecodeDepth::Replies);
  const bool selected = selection_->selects(record, decoded, none);
  if (selected || (context_ && context_->writesNext())) decodeTheRest(decoded);
  writeSelected(record, decoded, none, selected);
}

void Session::record(const Record& record) {
  if (selectsFromReplies_) {
    selectFromReplies(record);
    return;
  }
  const DecodedRecord decoded = decodeRecord(record);
  if (analysis_) {
    const RecordFacts& facts = analysis_->record(record, decoded);
    if (printerTakesRecords_) print(record, decoded, facts);
  } else if (pairing_) {
    print(record, decoded, pairing_->record(record, decoded));
  } else {
    print(record, decoded, RecordFacts{});
  }
}

void Session::diagnostic(const Diagnostic& diagnostic) {
  if (analysis_) analysis_->diagnostic(diagnostic);
  if (!selection_) {
    printer_->diagnostic(diagnostic);
  } else if (diagnostic.kind == DiagnosticKind::InvalidMinor) {
    // A selection writes records alone: the line that stands in the
    // listing for a record with an invalid minor code goes to standard
    // error, which keeps the loop's other messages.
    writeDiagnosticLine(errors_, diagnostic);
  }
  // Every output leaves on standard error what the listing writes there.
  reportOnStandardError(errors_, reportOverlong_, diagnostic);
}

void Session::readFailed(const ReadFailure& failure) {
  if (analysis_) analysis_->readFailed(failure);
  printer_->readFailed(failure);
}

void Session::finish(std::uint64_t bytesRead) {
  if (analysis_) analysis_->finish(bytesRead);
  printer_->finish();
}

}  // namespace ovantrex
