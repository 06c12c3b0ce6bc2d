// The words of the status line: counts in the singular and the plural, the
// last update's outcome as it stands, the bytes read of the trace's size.
#include "app/status_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/decoded_record.h"
#include "firmware_traffic.h"
#include "trace/record_loop.h"
#include "trace/trace_reader.h"
#include "trace_builder.h"

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

// The outcome so far after each record of a trace of firmware records:
// S a start, W a flash write, C a checksum write, R a reset, k a reply
// "Command complete", e "Command reject".
std::vector<std::string> outcomesSoFar(std::string_view records) {
  test::TraceBuilder trace;
  for (const char what : records) {
    switch (what) {
      case 'S': trace.hidWrite(0, test::kFirmware, test::startFlash()); break;
      case 'W': trace.hidWrite(0, test::kFirmware, test::flashWrite(0x018000, 8)); break;
      case 'C': trace.hidWrite(0, test::kFirmware, test::checksum(0x1234)); break;
      case 'R': trace.hidWrite(0, test::kFirmware, test::reset()); break;
      default: trace.hidRead(0, test::kFirmware, test::status(what == 'k' ? 0x01 : 0x80));
    }
  }
  struct Outcomes final : RecordSink {
    SessionAnalysis analysis{SessionAnalysis::Options{}};
    std::vector<std::string> seen;
    void record(const Record& record) override {
      analysis.record(record, decodeRecord(record));
      const auto outcome = analysis.progress().lastOutcome;
      seen.emplace_back(outcome ? coded(*outcome).words : "none");
    }
    void diagnostic(const Diagnostic& /*diagnostic*/) override {}
  } sink;
  const std::string& bytes = trace.str();
  TraceReader reader(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  readTrace(reader, sink);
  return sink.seen;
}

TEST(StatusLine, TheOutcomeSoFarCountsTheLastCommandAsItStands) {
  // A reset needs no reply: the update is completed as soon as it is sent.
  EXPECT_EQ(outcomesSoFar("SkCkR"),
            (std::vector<std::string>{"unfinished", "unfinished", "unfinished", "unfinished",
                                      "completed"}));
  // A refused write fails the update at its reply, until a retry is taken.
  EXPECT_EQ(outcomesSoFar("SkWeWk"),
            (std::vector<std::string>{"unfinished", "unfinished", "unfinished", "failed", "failed",
                                      "unfinished"}));
  // A refused checksum write fails it at its reply.
  EXPECT_EQ(outcomesSoFar("SkCe"),
            (std::vector<std::string>{"unfinished", "unfinished", "unfinished", "failed"}));
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
