// One pass over a trace: every record of the record loop decoded once,
// handed to the analysis of the session when the output needs one (the
// summary and the report), or to the pairing stage alone (JSON Lines), and
// then to the output's printer, or past it when --where leaves it out.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "analysis/session_analysis.h"
#include "app/settings.h"
#include "output/common/printer.h"
#include "output/common/writer.h"
#include "select/record_context.h"
#include "select/selection.h"
#include "trace/record_loop.h"

namespace ovantrex {

class Session final : public RecordSink {
 public:
  // The printer of the output that the settings ask for, writing to output;
  // console: standard output; errors: standard error. Takes all the memory
  // that the output needs (throws std::bad_alloc when it cannot be had).
  Session(const Settings& settings, Writer& output, Writer& console, Writer& errors);

  void record(const Record& record) override;
  // The records kept for --before copy their payloads out of the reader's.
  void payloadsMove() override {
    if (context_) context_->payloadsMove();
  }
  // The analysis and the printer take it; standard error takes its message
  // where the diagnostic's row says.
  void diagnostic(const Diagnostic& diagnostic) override;
  // A read of the trace failed: no record follows.
  void readFailed(const ReadFailure& failure);
  // The trace has been read as far as it could be, bytesRead bytes of it:
  // the output is written.
  void finish(std::uint64_t bytesRead);
  // Whether the output is bytes, the same on every system, rather than text
  // with the system's line ends: the printer's to say.
  bool writesBytes() const { return printer_->writesBytes(); }
  // The run so far, for the status line: none for an output without an
  // analysis of the session (the listing, JSON Lines).
  std::optional<SessionAnalysis::Progress> progress() const {
    return analysis_ ? std::optional(analysis_->progress()) : std::nullopt;
  }

 private:
  // To the printer, or past it when the selection leaves the record out.
  // Inline: without a selection, every record goes straight to the printer.
  void print(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts) {
    if (selection_) {
      select(record, decoded, facts);
    } else {
      printer_->record(record, decoded, facts);
    }
  }
  void select(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts);
  // To the context of --before and --after, or to the printer: written when
  // selected, else passed.
  void writeSelected(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts,
                     bool selected);
  // A selection that looks at no command's values, in the listing: a record
  // is decoded whole only when it is written.
  void selectFromReplies(const Record& record);

  std::unique_ptr<SessionAnalysis> analysis_;  // for the summary and the report
  // For JSON Lines, and for a selection that names the pairing's facts.
  std::unique_ptr<ReplyPairing> pairing_;
  std::unique_ptr<Printer> printer_;
  std::unique_ptr<Selection> selection_;    // --where
  std::unique_ptr<RecordContext> context_;  // --before, --after
  bool printerTakesRecords_ = true;
  // selectFromReplies() takes every record.
  bool selectsFromReplies_ = false;
  Writer& errors_;       // standard error, which takes the diagnostics' messages
  bool reportOverlong_;  // -x
};

}  // namespace ovantrex
