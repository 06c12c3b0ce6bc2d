// The words of the status line: counts in the singular and the plural, the
// last update's outcome as it stands, the bytes read of the trace's size.
#include "app/status_line.h"

#include <gtest/gtest.h>

namespace ovantrex {
namespace {

TEST(StatusLine, ProgressCountsAndTheLastUpdatesOutcomeSoFar) {
  using Progress = SessionAnalysis::Progress;
  const struct {
    Progress progress;
    const char* line;
  } cases[] = {
      {{.records = 1, .updates = 0, .lastOutcome = std::nullopt, .errorReplies = 0},
       "1 record, no update, 0 error replies"},
      {{.records = 12, .updates = 1, .lastOutcome = UpdateOutcome::Failed, .errorReplies = 1},
       "12 records, 1 update (failed so far), 1 error reply"},
      {{.records = 40, .updates = 3, .lastOutcome = UpdateOutcome::Completed, .errorReplies = 2},
       "40 records, 3 updates (the last completed so far), 2 error replies"},
  };
  for (const auto& c : cases) EXPECT_EQ(progressLine(c.progress), c.line);
}

TEST(StatusLine, BytesReadOfTheTracesSizeWhenItIsKnown) {
  constexpr std::uint64_t kMiB = 1 << 20;
  EXPECT_EQ(bytesReadLine(5 * kMiB / 2, 10 * kMiB), "2.5 of 10.0 MiB read (25%)");
  EXPECT_EQ(bytesReadLine(0, std::uint64_t{0}), "0.0 of 0.0 MiB read (100%)");
  // A pipe's size, or a file that grew past what was known of it.
  EXPECT_EQ(bytesReadLine(3 * kMiB, std::nullopt), "3.0 MiB read");
  EXPECT_EQ(bytesReadLine(3 * kMiB, kMiB), "3.0 MiB read");
}

}  // namespace
}  // namespace ovantrex
