// The batch run (--summary --json --list FILE): a row for every name of the
// list, in its order, each the trace, the status and error of a run on it
// alone and that run's summary; the run goes on past what cannot be read,
// refuses an output that is one of its inputs, and its memory stays that
// of one summary whatever the count.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "firmware_traffic.h"
#include "injected_faults.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

void writeList(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The row of a trace that could not be summarized, written by hand.
std::string headOnly(const std::string& name, int status, const std::string& error) {
  return R"({"trace":{"name":")" + name + R"(","bytes":null},"status":)" + std::to_string(status) +
         R"(,"error":")" + error + "\"}\n";
}

// The row that a run on the trace alone makes: its head, then the members
// of its summary but the trace.
std::string rowOfOneRun(const std::string& path) {
  const RunResult one = run({"--summary", "--json", "-f", path});
  EXPECT_EQ(one.status, 0);
  const std::string bytes = std::to_string(std::filesystem::file_size(path));
  std::string summary = one.out;
  const std::string trace = R"("trace":{"name":")" + path + R"(","bytes":)" + bytes + "},";
  const std::size_t at = summary.find(trace);
  EXPECT_NE(at, std::string::npos) << summary;
  if (at != std::string::npos) summary.erase(at, trace.size());
  return R"({"trace":{"name":")" + path + R"(","bytes":)" + bytes +
         R"(},"status":0,"error":null,)" + summary.substr(1);
}

// Every kind of fact, so that whatever the trace before leaves behind shows.
TraceBuilder busyTrace() {
  TraceBuilder t = updatesOf(3, {.writes = 40, .checksums = 3, .serialNumbers = 4, .errors = 2});
  return t.text(0.0, "left open\n").hidWrite(0.0, kFirmware, flashWrite(0x4000, 8));
}

TEST(Batch, EachRowIsTheTraceTheStatusTheErrorAndTheSummaryOfARunOnItAlone) {
  TempDir dir;
  const std::string busy = dir.file("busy.trc"), small = dir.file("small.trc");
  busyTrace().writeTo(busy);
  updatesOf(1, {.writes = 2}).writeTo(small);
  const std::string gone = dir.file("gone.trc"), folder = dir.path().string();
  const std::string cut(4096, 'x');  // the longest name, and a byte more
  // The small trace comes again after the busy one: nothing of it is left.
  writeList(dir.file("list"), small + "\n\n" + busy + "\n" + gone + "\n" + small + "\n" + folder +
                                  "\n" + cut + "y\n" + gone + " \n" + small);
  const RunResult r = run({"--summary", "--json", "--list", dir.file("list")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::string smallRow = rowOfOneRun(small);
  EXPECT_EQ(
      r.out,
      smallRow + rowOfOneRun(busy) +
          headOnly(gone, 2, "Could not open '" + gone + "' for reading") + smallRow +
          headOnly(folder, 2, "Could not open '" + folder + "' for reading") +
          headOnly(cut, 2,
                   "Could not open '" + cut + "' for reading: the name is longer than 4096 bytes") +
          headOnly(gone + " ", 2, "Could not open '" + gone + " ' for reading") + smallRow);
}

TEST(Batch, AReadThatFailsPartWayGivesItsRowAndTheRunGoesOn) {
  TempDir dir;
  const std::string broken = dir.file("broken.trc"), whole = dir.file("whole.trc");
  busyTrace().writeTo(broken);
  updatesOf(1, {.writes = 2}).writeTo(whole);
  writeList(dir.file("list"), broken + "\n" + whole + "\n");
  InjectedFaults faults;
  faults.failReadsAfter(broken, 100);
  const RunResult r = run({"--summary", "--json", "--list", dir.file("list")});
  EXPECT_EQ(faults.failedReads(), 1);
  EXPECT_EQ(r.status, 0);
  const std::string head = R"({"trace":{"name":")" + broken +
                           R"(","bytes":100},"status":2,"error":"Could not read ')" + broken +
                           "': " + std::strerror(EIO) + R"(",)";
  ASSERT_EQ(r.out.compare(0, head.size(), head), 0) << r.out;
  EXPECT_NE(r.out.find(R"("read_error":{"offset":100,)"), std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), rowOfOneRun(whole));
}

TEST(Batch, AnOutputThatIsTheListOrATraceItNamesIsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  const std::string trace = dir.file("t.trc");
  updatesOf(1, {.writes = 2}).writeTo(trace);
  std::filesystem::create_hard_link(trace, dir.file("hard.trc"));
  std::filesystem::create_symlink("t.trc", dir.file("link.trc"));
  writeList(dir.file("list"), "gone.trc\nt.trc\n");
  const std::string before = readFile(trace), list = readFile(dir.file("list"));
  const std::string listed = "line 2 of the list names it\n";
  struct Case {
    const char* what;
    std::string command;
    std::string message;
  };
  const std::string run = "\"$OVANTREX\" --summary --json --list ";
  const Case cases[] = {
      {"-w a hard link of a listed trace", run + "list -w hard.trc",
       "Could not open 'hard.trc' for writing: " + listed},
      {"-w a link to it, the list on standard input", run + "- -w link.trc <list",
       "Could not open 'link.trc' for writing: " + listed},
      {"-w a link to it, the list from a pipe", "cat list | " + run + "- -w link.trc",
       "Could not open 'link.trc' for writing: " + listed},
      {"standard output appending to it", run + "list >>t.trc",
       "Could not open standard output for writing: " + listed},
      {"-w the list", run + "list -w ./list",
       "Could not open './list' for writing: it is the list being read\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ChildResult r = runShell(dir, "cd '" + dir.path().string() + "' && " + c.command);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, c.message);
    EXPECT_EQ(readFile(trace), before);
    EXPECT_EQ(readFile(dir.file("list")), list);
  }
  // A list from a pipe is read again from the copy that the check made.
  const ChildResult r =
      runShell(dir, "cd '" + dir.path().string() + "' && cat list | " + run + "- -w rows.jsonl");
  EXPECT_EQ(r.status, 0);
  const std::string rows = readFile(dir.file("rows.jsonl"));
  EXPECT_EQ(rows.substr(0, rows.find('\n') + 1),
            headOnly("gone.trc", 2, "Could not open 'gone.trc' for reading"));
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 2);
}

TEST(Batch, WhatTheRunCannotDoEndsItWithItsStatus) {
  TempDir dir;
  const std::string trace = dir.file("t.trc");
  updatesOf(1, {.writes = 2}).writeTo(trace);
  writeList(dir.file("list"), trace + "\n");
  struct Case {
    const char* what;
    std::string args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"no --json", "--summary --list list", 1,
       "ovantrex: --list writes a summary row for each trace: it needs --summary --json\n"},
      {"a listing option", "--summary --json -t --list list", 1,
       "ovantrex: --list takes --summary --json, --compare and -w alone, not -t\n"},
      {"-f beside it", "--list list --summary --json -f t.trc", 1,
       "ovantrex: --list takes --summary --json, --compare and -w alone, not -f\n"},
      {"--report", "--report --summary --json --list list", 1,
       "ovantrex: --list takes --summary --json, --compare and -w alone, not --report\n"},
      {"no list named", "--summary --json --list", 1,
       "ovantrex: option requires an argument -- --list\n"},
      {"a list that is not there", "--summary --json --list nowhere", 2,
       "Could not open 'nowhere' for reading\n"},
      {"rows that cannot be written", "--summary --json --list list -w /dev/full", 4,
       "Could not write the rows: " + std::string(std::strerror(ENOSPC)) + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ChildResult r = runShell(
        dir, "cd '" + dir.path().string() + "' && \"$OVANTREX\" " + c.args + " >/dev/null");
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.message);
  }
}

// With --compare GOOD each row says where its trace parts from GOOD. GOOD
// is one update: a start, flash writes of one byte at 0, 2, 4 and 6 and a
// checksum write, steps 1 to 6 of update 1, none of them answered.
TEST(Batch, WithCompareEachRowSaysWhereItsTracePartsFromGood) {
  TempDir dir;
  const std::string good = dir.file("good.trc");
  updatesOf(1, {.writes = 4, .checksums = 1}).writeTo(good);
  struct Case {
    const char* what;
    TraceBuilder trace;
    nlohmann::json divergence;  // null: alike
  };
  const std::string gone = dir.file("gone.trc");
  const std::string write4 = "Flash write 1 bytes to address=0x000004";
  const Case cases[] = {
      {"alike", updatesOf(1, {.writes = 4, .checksums = 1}), nullptr},
      {"cut after its second write",
       updatesOf(1, {.writes = 2}),
       {{"update", 1}, {"step", 4}, {"good", write4}, {"trace", nullptr}}},
      {"an error reply after the checksum",
       updatesOf(1, {.writes = 4, .checksums = 1, .errors = 1}),
       {{"update", 1}, {"step", 7}, {"good", nullptr}, {"trace", "Command reject"}}},
  };
  std::string list = good + "\n" + gone + "\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    cases[i].trace.writeTo(dir.file(std::to_string(i) + ".trc"));
    list += dir.file(std::to_string(i) + ".trc") + "\n";
  }
  writeList(dir.file("list"), list);
  const RunResult r = run({"--summary", "--json", "--list", dir.file("list"), "--compare", good});
  EXPECT_EQ(r.status, 0);
  std::vector<nlohmann::json> rows;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) rows.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(rows.size(), 2 + std::size(cases));
  EXPECT_EQ(rows[0]["comparison"]["alike"], true);  // GOOD itself
  EXPECT_FALSE(rows[1].contains("comparison"));     // a trace not read has none
  const auto words = [](const nlohmann::json& step) {
    return step.is_null() ? step : step["words"];
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    const nlohmann::json& compared = rows[2 + i]["comparison"];
    EXPECT_EQ(compared["good"], good);
    EXPECT_EQ(compared["alike"], cases[i].divergence.is_null());
    const nlohmann::json& at = compared["first_divergence"];
    if (cases[i].divergence.is_null()) {
      EXPECT_TRUE(at.is_null()) << at;
      continue;
    }
    const nlohmann::json seen = {{"update", at["update"]},
                                 {"step", at["step"]},
                                 {"good", words(at["good"])},
                                 {"trace", words(at["trace"])}};
    EXPECT_EQ(seen, cases[i].divergence);
  }
  // The error reply is the last record of its trace, 30 bytes long.
  EXPECT_EQ(rows[4]["comparison"]["first_divergence"]["trace"]["offset"],
            std::filesystem::file_size(dir.file("2.trc")) - 30);
}

TEST(Batch, AGoodTraceThatCannotBeReadEndsTheRunBeforeAnyRow) {
  TempDir dir;
  const std::string good = dir.file("good.trc"), gone = dir.file("gone.trc");
  updatesOf(1, {.writes = 4, .checksums = 1}).writeTo(good);
  writeList(dir.file("list"), good + "\n");
  InjectedFaults faults;
  faults.failReadsAfter(good, 40);
  const struct {
    std::string good, message;
  } cases[] = {{gone, "Could not open '" + gone + "' for reading\n"},
               {good, "Could not read '" + good + "': " + std::strerror(EIO) + "\n"}};
  for (const auto& c : cases) {
    const RunResult r =
        run({"--summary", "--json", "--list", dir.file("list"), "--compare", c.good});
    EXPECT_EQ(r.status, 2) << c.good;
    EXPECT_EQ(r.out, "") << c.good;
    EXPECT_EQ(r.err, c.message);
  }
}

TEST(Batch, TheMemoryOfTwoThousandTracesIsThatOfOne) {
  TempDir dir;
  const std::string trace = dir.file("t.trc");
  busyTrace().writeTo(trace);
  writeList(dir.file("one"), trace + "\n");
  std::string many;
  for (int i = 0; i < 2000; ++i) many += trace + "\n";
  writeList(dir.file("many"), many);
  const auto peakOf = [&dir](const std::string& list) {
    const ChildResult r =
        runChild(dir, {.args = {"--summary", "--json", "--list", list, "-w", dir.file("rows")}});
    EXPECT_EQ(r.status, 0);
    return r.peakKiB;
  };
  const long one = peakOf(dir.file("one"));
  EXPECT_LE(peakOf(dir.file("many")), one + 256);
  const std::string rows = readFile(dir.file("rows"));
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 2000);
}

}  // namespace
}  // namespace ovantrex::test
