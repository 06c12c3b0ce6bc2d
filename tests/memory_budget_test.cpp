// One memory budget for the session summary and the HTML report, whatever
// the trace: a trace whose lists would multiply (1,000 updates, each with
// 1,001 separate address ranges and 100 serial numbers of 255 characters)
// stays within 8 MiB (--summary) and 32 MiB (--report), with exact counts
// and the left-out items said; and want of memory shows before an older -w
// file is emptied. Each runs the real program in a child process.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.h"
#include "firmware_traffic.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

using nlohmann::json;

// One update of the hostile trace: its start, 1,001 one-byte flash writes
// two addresses apart (ranges that never merge) and 100 serial numbers of
// 255 characters, no two alike ("100SSS...", "101SSS...", ...).
TraceBuilder hostileUpdate() {
  TraceBuilder t;
  t.hidWrite(0.0, kFirmware, startFlash());
  for (std::uint32_t i = 0; i < 1001; ++i) t.hidWrite(0.0, kFirmware, flashWrite(2 * i, 1));
  for (int s = 0; s < 100; ++s)
    t.hidWrite(0.0, kFirmware, serialNumber(std::to_string(100 + s) + std::string(252, 'S')));
  return t;
}

// The trace of `updates` such updates, written one update at a time (the
// test process stays small: a child's peak counts its parent's memory at
// the fork).
void writeHostileTrace(const std::string& path, int updates) {
  const std::string update = hostileUpdate().str();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  for (int u = 0; u < updates; ++u)
    file.write(update.data(), static_cast<std::streamsize>(update.size()));
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The rooms of the summary (16,384 ranges with 4 kept back for each update
// to come; 96 KiB of serial-number text with 32 bytes kept back) give:
// updates 1 to 12 their 1,000 ranges, update 13 the 436 left after keeping
// 4 for each of the 987 to come, every later update its 4; updates 1 and 2
// their 100 serial numbers, update 3 the 60 that fit in the 15,400 bytes
// left, update 4 none, and later updates one now and then, as the bytes
// kept back for the updates passed free up (125 of them).
TEST(MemoryBudget, AThousandUpdatesOfLongSerialNumbersAndRangesStayWithinIt) {
  TempDir dir;
  const std::string trace = dir.file("hostile.trc");
  writeHostileTrace(trace, 1000);
  const std::string json_ = dir.file("summary.json"), text = dir.file("summary.txt"),
                    page = dir.file("report.html");
  struct Run {
    std::vector<std::string> options;
    std::string output;
    long budgetKiB;
  };
  for (const Run& run : {Run{{"--summary", "--json"}, json_, 8 * 1024},
                         Run{{"--summary"}, text, 8 * 1024}, Run{{"--report"}, page, 32 * 1024}}) {
    SCOPED_TRACE(run.options.back());
    ChildSetup setup{.args = run.options};
    setup.args.insert(setup.args.end(), {"-f", trace, "-w", run.output});
    const ChildResult result = runChild(dir, setup);
    ASSERT_EQ(result.status, 0) << result.err;
#ifndef __SANITIZE_ADDRESS__  // which reserves address space of its own
    EXPECT_LT(result.peakKiB, run.budgetKiB) << "peak KiB";
#endif
  }

  const json summary = json::parse(readFile(json_));
  ASSERT_EQ(summary["updates"].size(), 1000u);
  std::size_t serialNumbersListed = 0;
  for (const json& update : summary["updates"]) {
    // Counts stay exact whatever is listed.
    ASSERT_EQ(update["writes"], 1001);
    ASSERT_EQ(update["ranges"].size() + update["ranges_left_out"].get<std::size_t>(), 1001u);
    ASSERT_EQ(
        update["serial_numbers"].size() + update["serial_numbers_left_out"].get<std::size_t>(),
        100u);
    ASSERT_EQ(update["serial_number_writes"], 100);
    serialNumbersListed += update["serial_numbers"].size();
  }
  EXPECT_EQ(serialNumbersListed, 100 + 100 + 60 + 125u);
  // Update (from 1), ranges listed, serial numbers listed.
  for (const auto& [number, ranges, serialNumbers] :
       std::vector<std::array<std::size_t, 3>>{{1, 1000, 100},
                                               {2, 1000, 100},
                                               {3, 1000, 60},
                                               {4, 1000, 0},
                                               {12, 1000, 0},
                                               {13, 436, 0},
                                               {14, 4, 0},
                                               {1000, 4, 0}}) {
    SCOPED_TRACE("update " + std::to_string(number));
    EXPECT_EQ(summary["updates"][number - 1]["ranges"].size(), ranges);
    EXPECT_EQ(summary["updates"][number - 1]["serial_numbers"].size(), serialNumbers);
  }
  EXPECT_EQ(summary["updates"][2]["serial_numbers"][59], "159" + std::string(252, 'S'));

  // The text and the page say what they left out.
  const std::string update = hostileUpdate().str();
  const std::string summaryText = readFile(text);
  EXPECT_TRUE(has(summaryText, "  update 1000 at offset " + std::to_string(999 * update.size()) +
                                   "\n    flash writes              1001, 1001 bytes\n"
                                   "    addresses                 0x000000-0x000000, "
                                   "0x000002-0x000002, 0x000004-0x000004, 0x000006-0x000006 and "
                                   "997 more\n"));
  EXPECT_TRUE(has(summaryText,
                  "    checksums                 none\n"
                  "    serial numbers            100 not listed\n"));
  const std::string html = readFile(page);
  EXPECT_TRUE(has(html, "0x000006&#8211;0x000006 and 997 more</td>"));
  EXPECT_TRUE(has(html, "<td>none</td><td>100 not listed</td>"));
  EXPECT_TRUE(has(html,
                  ": 1,001 ranges written, 1,000 gaps, 0 bytes written more than once, "
                  "0 refused writes. The ranges and the bytes written more than once count 0 "
                  "accepted and 1,001 unanswered flash writes. The map draws the first 436 "
                  "ranges."));
  EXPECT_TRUE(has(html, "<p class=\"note\">565 more ranges.</p>"));
}

// For each printer: under address-space limits from well below to just
// above what a run needs, each run either writes its whole output or stops
// with status 5 and leaves the older -w file as it was. (The runs that
// stop read no record: the printer takes all its memory first.)
TEST(MemoryBudget, ARunShortOfMemoryLeavesTheOlderOutputFile) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit here allows";
#endif
  TempDir dir;
  const std::string trace = dir.file("hostile.trc");
  writeHostileTrace(trace, 50);
  const std::string output = dir.file("output");
  const std::string older = "an older listing\n";
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--summary"}, {"--summary", "--json"}, {"--report"}}) {
    SCOPED_TRACE(options.back());
    ChildSetup setup{.args = options};
    setup.args.insert(setup.args.end(), {"-f", trace, "-w", output});
    ASSERT_EQ(runChild(dir, setup).status, 0);
    const std::string whole = readFile(output);

    int stopped = 0;
    // One run under a limit of kib KiB; its status.
    const auto runUnder = [&](rlim_t kib) {
      SCOPED_TRACE(std::to_string(kib) + " KiB");
      std::ofstream(output, std::ios::trunc) << older;
      setup.addressSpace = kib * 1024;
      const ChildResult r = runChild(dir, setup);
      if (r.status == 5) {
        ++stopped;
        EXPECT_EQ(r.err, "Not enough memory to list the trace\n");
        EXPECT_EQ(readFile(output), older) << "the older output was changed";
      } else if (r.status == 0) {
        EXPECT_TRUE(readFile(output) == whole) << "the output is not complete";
      } else {
        // The loader could not map the program under the limit: it never ran.
        EXPECT_EQ(readFile(output), older);
      }
      return r.status;
    };
    // The least limit that lets the run complete, to 16 KiB, and the limits
    // just below it: where the memory runs out, if anywhere, half-way.
    rlim_t short_ = 4096, enough = 64 * 1024;
    ASSERT_EQ(runUnder(enough), 0) << "the run does not complete under the largest limit";
    while (enough - short_ > 16) {
      const rlim_t middle = (short_ + enough) / 2 / 16 * 16;
      (runUnder(middle) == 0 ? enough : short_) = middle;
    }
    for (rlim_t below = 16; below <= 128; below += 16) runUnder(enough - below);
    EXPECT_GT(stopped, 0) << "no limit stopped the run";
  }
}

// A hostile trace of a million disjoint one-byte flash writes in one update:
// the report lists the first 1000 ranges and counts the rest, and memory
// stays small.
TEST(MemoryBudgetSessionSummary, AMillionDisjointWritesStayBounded) {
  constexpr std::uint32_t kWrites = 1000000;
  TempDir dir;
  const std::string trace = dir.file("hostile.trc");
  const std::string out = dir.file("summary.json");
  {
    // Built and let go before the child is forked, which would count it.
    TraceBuilder t;
    t.hidWrite(0.0, kFirmware, startFlash());
    for (std::uint32_t i = 0; i < kWrites; ++i) t.hidWrite(0.0, kFirmware, flashWrite(i * 16, 1));
    t.writeTo(trace);
  }

  const ChildResult result =
      runChild(dir, {.args = {"--summary", "--json", "-f", trace, "-w", out}});
  ASSERT_EQ(result.status, 0) << result.err;
#if !defined(__SANITIZE_ADDRESS__)
  // The read block, one record, the flash map (2 MiB) and the lists.
  EXPECT_LT(result.peakKiB, 16 * 1024) << "peak KiB";
#endif
  const json summary = json::parse(readFile(out));
  const json& update = summary["updates"][0];
  EXPECT_EQ(update["writes"], kWrites);
  EXPECT_EQ(update["ranges"].size(), 1000u);
  EXPECT_EQ(update["ranges_left_out"], kWrites - 1000);
  EXPECT_EQ(update["ranges"][999], json::parse(R"j({"first":15984,"last":15984})j"));
}

// A hostile trace of half a million refused flash writes in one update, all
// to addresses of their own: every list of the page is at its cap, and the
// page and the memory stay small.
TEST(MemoryBudget, TheReportOfHalfAMillionRefusedWritesStaysSmallAndSaysWhatItLeftOut) {
  TempDir dir;
  const std::string trace = dir.file("hostile.trc");
  const std::string page = dir.file("report.html");
  {
    // Built and let go before the child is forked, which would count it.
    TraceBuilder t;
    t.hidWrite(0.0, kFirmware, startFlash());
    for (std::uint32_t i = 0; i < 500000; ++i) {
      t.hidWrite(0.0, kFirmware, flashWrite(i * 16, 1));
      t.hidRead(0.0, kFirmware, status(0x41));
    }
    t.writeTo(trace);
  }
  const ChildResult result = runChild(dir, {.args = {"--report", "-f", trace, "-w", page}});
  ASSERT_EQ(result.status, 0) << result.err;
#if !defined(__SANITIZE_ADDRESS__)
  // Two flash maps (2 MiB each), the whole listing until the 20,001st
  // record, the excerpts and the marks.
  EXPECT_LT(result.peakKiB, 48 * 1024) << "peak KiB";
#endif
  const std::string html = readFile(page);
  EXPECT_LT(html.size(), std::size_t{4} << 20);
  EXPECT_TRUE(has(html, "The table holds the first 1,000; 499,000 more are counted."));
  EXPECT_TRUE(has(html, "the timeline draws every 256th of them (1,954 marks)"));
  EXPECT_TRUE(has(html, "0 bytes written more than once, 500,000 refused writes."));
  // An excerpt holds 30 entries: the first one the start, the first write
  // and 14 error replies, each later one 15 error replies and 15 writes.
  EXPECT_TRUE(has(html, "The page keeps 100 excerpts; 498,501 later error replies have none."));
  // Error replies past the table's 1,000 rows head their excerpts by offset
  // (grouped, as every offset of the page), without a link: the 1,000th
  // and the 1,001st share the 67th excerpt.
  TraceBuilder sizes;
  sizes.hidWrite(0.0, kFirmware, startFlash());
  const std::size_t start = sizes.size();
  sizes.hidWrite(0.0, kFirmware, flashWrite(0, 1));
  const std::size_t write = sizes.size() - start;
  sizes.hidRead(0.0, kFirmware, status(0x41));
  const std::size_t pair = sizes.size() - start;
  const auto offsetOfError = [&](std::size_t n) {
    const std::string digits = std::to_string(start + (n - 1) * pair + write);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
      if (i != 0 && (digits.size() - i) % 3 == 0) grouped += ',';
      grouped += digits[i];
    }
    return grouped;
  };
  EXPECT_TRUE(has(html, "<a href=\"#error-1000\">" + offsetOfError(1000) + "</a>, " +
                            offsetOfError(1001) + ", " + offsetOfError(1002) + ", "));
}

}  // namespace
}  // namespace ovantrex::test
