// The comparison of a trace with a reference trace: the facts and the
// steps of each, read once (TracedSteps), and their alignment and the
// differences of their updates (compareTraces()). The printers of the
// comparison make its words; which fact of an update differs, and where
// the traces part, is decided here once for all of them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "analysis/session_analysis.h"
#include "compare/step_alignment.h"
#include "compare/trace_steps.h"

namespace ovantrex {

// One trace of the comparison, read record by record: its session's facts
// and its steps.
class TracedSteps {
 public:
  explicit TracedSteps(std::string_view name) : analysis_({.traceName = name}) {}

  void record(const Record& record) {
    const DecodedRecord decoded = decodeRecord(record);
    steps_.record(record, decoded, analysis_.record(record, decoded));
  }
  void diagnostic(const Diagnostic& diagnostic) { analysis_.diagnostic(diagnostic); }
  void readFailed(const ReadFailure& failure) { analysis_.readFailed(failure); }
  void finish(std::uint64_t bytesRead) { analysis_.finish(bytesRead); }

  const SessionFacts& facts() const { return analysis_.facts(); }
  const TraceSteps& steps() const { return steps_; }

 private:
  SessionAnalysis analysis_;
  TraceSteps steps_;
};

// The rows of the table of updates, in their order.
enum class UpdateRow : std::uint8_t {
  Outcome,
  FlashWrites,  // and their bytes
  Ranges,
  Checksums,
  SerialNumbers,
  Reset,
  EcLevels,
  ErrorReplies,
  Duration,
  Responses,  // the median and the slowest
};
inline constexpr std::size_t kUpdateRows = 10;
static_assert(kUpdateRows == static_cast<std::size_t>(UpdateRow::Responses) + 1);

// One trace's side of the comparison.
struct ComparedTrace {
  std::string_view name;  // as the command line gave it
  const SessionFacts* facts = nullptr;
  const TraceSteps* steps = nullptr;

  // Update n (from 1) when it is listed; none otherwise.
  const UpdateFacts* update(std::size_t n) const {
    return n >= 1 && n <= facts->updates.size() ? &facts->updates[n - 1] : nullptr;
  }
  // The steps' part of update n (0: before the first update), when there is one.
  const StepPart* part(std::size_t n) const {
    return n < steps->parts() ? &steps->part(n) : nullptr;
  }
  // The milliseconds from the first record of update n to its last, when known.
  std::optional<std::int64_t> durationMs(std::size_t n) const;
};

struct Comparison {
  ComparedTrace good;  // the reference
  ComparedTrace trace;
  Alignment alignment;
  std::size_t updates = 0;  // the listed updates of the trace that has more
  // By update (from 1, index 0 unused) and row: whether the two differ.
  std::vector<std::array<bool, kUpdateRows>> differs;

  // The steps are alike: aligned without a differing step or a flash write
  // with other bytes, and as many left out of each.
  bool alike() const {
    return alignment.alike() && good.steps->leftOut() == trace.steps->leftOut();
  }
  bool rowDiffers(std::size_t update, UpdateRow row) const {
    return differs[update][static_cast<std::size_t>(row)];
  }
};

Comparison compareTraces(ComparedTrace good, ComparedTrace trace);

}  // namespace ovantrex
