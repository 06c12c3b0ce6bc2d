// Faults from outside: outputs that cannot be written, inputs that are no
// trace files, pipes, traces that stop growing, and random damage. Most of
// these run the real program through the shell.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "expected_text.h"
#include "injected_faults.h"
#include "trace_builder.h"

namespace ovantrex {
namespace {

using test::blanks;
using test::ExtHeader;
using test::HidHeader;
using test::kMarkerV2;
using test::kMarkerV3;
using test::kText;
using test::Payload;
using test::readFile;
using test::RunResult;
using test::TempDir;
using test::textEntry;
using test::TraceBuilder;

class Fault : public ::testing::Test {
 protected:
  TempDir dir;

  // Runs a shell command line in which $OVANTREX is the program; standard
  // output and standard error are captured unless the command redirects them.
  RunResult shell(const std::string& command) {
    test::ChildResult r = test::runShell(dir, command);
    return RunResult{r.status, std::move(r.out), std::move(r.err)};
  }

  std::string write(const TraceBuilder& trace, std::string_view name) {
    std::string path = dir.file(name);
    trace.writeTo(path);
    return path;
  }
};

// A trace whose listing is larger than any output buffer.
TraceBuilder bigTrace() {
  TraceBuilder t;
  for (int i = 0; i < 3000; ++i) t.text(1000.0 * i, std::string(100, 'x'));
  return t;
}

TEST_F(Fault, ListingToAFullDeviceEndsWithStatusFour) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string message =
      std::string("Could not write the listing: ") + std::strerror(ENOSPC) + "\n";
  const std::string small = write(TraceBuilder().text(1000.0, "hi\n"), "small.trc");
  const std::string big = write(bigTrace(), "big.trc");
  for (const std::string& trace : {small, big}) {
    SCOPED_TRACE(trace);
    RunResult r = shell("\"$OVANTREX\" -f '" + trace + "' -w /dev/full");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, message);

    // Standard output as the listing.
    r = shell("\"$OVANTREX\" -f '" + trace + "' >/dev/full");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err, message);
  }
}

TEST_F(Fault, UnwritableStandardErrorDoesNotStopTheListing) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // A short payload writes its message to standard error, which is full; the
  // records before and after it are still listed and the run succeeds.
  TraceBuilder t;
  t.text(1000.0, "before\n").header(5, kText, 2000.0).bytes("ab");
  const std::string trace = write(t, "short.trc");
  const std::string listing = dir.file("listing.txt");
  const RunResult r = shell("\"$OVANTREX\" -f '" + trace + "' -w '" + listing + "' 2>/dev/full");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(listing), textEntry("1.000", "before"));
}

TEST_F(Fault, DirectoryAsInputEndsWithStatusTwo) {
  const std::string directory = dir.path().string();
  for (const std::string& args : {"-f '" + directory + "'", "'" + directory + "'"}) {
    const RunResult r = shell("\"$OVANTREX\" " + args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Could not open '" + directory + "' for reading\n");
  }
  // A directory handed over as standard input.
  const RunResult r = shell("\"$OVANTREX\" -f /dev/stdin <'" + directory + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not open '/dev/stdin' for reading\n");
}

// Over a megabyte of records in format version 3, so that records straddle
// the reader's blocks.
TraceBuilder largeTrace() {
  TraceBuilder t;
  t.marker(kMarkerV3);
  const ExtHeader ids{.thread = 0x2b0, .process = 0x1a4, .seconds = 1765190400};
  for (int i = 0; i < 40; ++i) {
    t.hex(10.0 * i,
          test::sequence(40000 + static_cast<std::size_t>(i), static_cast<std::uint8_t>(i)), ids);
    t.hidWrite(
        10.0 * i + 5, {0x00, 0x00, 0xa0, 0x00},
        {0x0e, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00, 0x4d, 0x5a, 0x90, 0x00, 0x03, 0, 0, 0},
        ids);
  }
  return t;
}

TEST_F(Fault, InputFromAPipeListsLikeTheFile) {
  const TraceBuilder trace = largeTrace();
  const std::string path = write(trace, "large.trc");
  const std::string options = " -t -p -c ";
  const RunResult fromFile = shell("\"$OVANTREX\"" + options + "-f '" + path + "'");
  ASSERT_EQ(fromFile.status, 0);
  ASSERT_EQ(fromFile.err, "");
  ASSERT_GT(fromFile.out.size(), trace.size());

  RunResult r = shell("cat '" + path + "' | \"$OVANTREX\"" + options + "-f /dev/stdin");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out == fromFile.out) << "listing from a pipe differs";

  // The writer pauses in the middle of a record, then goes on.
  const std::size_t cut = 16 + 16 + 16 + 1000;
  r = shell("{ head -c " + std::to_string(cut) + " '" + path + "'; sleep 0.3; tail -c +" +
            std::to_string(cut + 1) + " '" + path + "'; } | \"$OVANTREX\"" + options +
            "-f /dev/stdin");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out == fromFile.out) << "listing from a pausing pipe differs";
}

TEST_F(Fault, TraceThatStopsGrowingInsideARecord) {
  // Two whole records, then the third stops in its payload, in its
  // extension header or in its record header.
  TraceBuilder whole;
  whole.marker(kMarkerV2).text(1000.0, "one\n").text(2000.0, "two\n").text(3000.0, "three\n");
  const std::string listing = textEntry("1.000", "one") + textEntry("1.000", "two");
  struct Cut {
    std::size_t dropped;
    std::string err;
  };
  const Cut cuts[] = {{3, "Could not read data bytes expected=6 actual=3\n"},
                      {6 + 10, "could not read version 2+ data\n"},
                      {6 + 16 + 9, ""}};
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.dropped);
    TraceBuilder trace = whole;
    trace.dropLast(cut.dropped);
    const std::string path = write(trace, "cut.trc");
    RunResult r = shell("\"$OVANTREX\" -f '" + path + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, listing);
    EXPECT_EQ(r.err, cut.err);

    // The same from a writer that stops there and closes the pipe.
    r = shell("{ cat '" + path + "'; sleep 0.2; } | \"$OVANTREX\" -f /dev/stdin");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, listing);
    EXPECT_EQ(r.err, cut.err);
  }
}

TEST_F(Fault, FileOfASingleOverlongHeader) {
  // Too long to be read at all: skipped, reported only with -x.
  const std::string skipped = write(TraceBuilder().header(0x7fffffff, kText, 1.0), "huge.trc");
  RunResult r = shell("\"$OVANTREX\" -f '" + skipped + "'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  r = shell("\"$OVANTREX\" -x -f '" + skipped + "'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Length to read is too big (length=2147483647/0x7fffffff), skipping\n");

  // At the limit: read, and the payload is missing.
  const std::string atLimit = write(TraceBuilder().header(256000, kText, 1.0), "limit.trc");
  r = shell("\"$OVANTREX\" -x -f '" + atLimit + "'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not read data bytes expected=256000 actual=0\n");
}

// A text record, then version markers whose payloads make the trace (1.2 MB)
// longer than the reader's first block, then another text record. When the
// second read of the file fails, the marker being skipped is cut and only
// the first text record is listed.
TraceBuilder traceLongerThanOneBlock() {
  TraceBuilder t;
  t.text(1000.0, "first\n");
  for (int i = 0; i < 6; ++i) t.marker(kMarkerV2, test::repeated(200000, 0x2a));
  t.text(2000.0, "last\n");
  return t;
}

TEST_F(Fault, ReadErrorInTheMiddleOfATraceIsReportedAfterTheListing) {
  const std::string trace = write(traceLongerThanOneBlock(), "long.trc");
  const std::string listing = dir.file("listing.txt");
  test::InjectedFaults faults;
  faults.failReadsOf(trace, 1);
  const RunResult r = test::run({"-f", trace, "-w", listing});
  EXPECT_EQ(faults.failedReads(), 1);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not read '" + trace + "': " + std::strerror(EIO) + "\n");
  EXPECT_EQ(readFile(listing), textEntry("1.000", "first"));
}

// count Text records of format version 1, 1,000 bytes each with their
// header: "record 1" to "record <count>", then zeros; one second apart.
TraceBuilder thousandByteRecords(int count) {
  TraceBuilder t;
  for (int i = 1; i <= count; ++i) {
    const std::string text = "record " + std::to_string(i);
    t.text(1000.0 * i, Payload(text) + test::repeated(984 - text.size(), 0));
  }
  return t;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST_F(Fault, ReadErrorPartWayKeepsEveryRecordReadBeforeItInEveryOutput) {
  // The read fails 1.5 MiB in: half way through the second read block, and
  // inside record 1573. Records 1 to 1572 lie wholly before the failure.
  constexpr std::size_t kFailAt = 1572864;
  constexpr int kWhole = 1572;
  const std::string trace = write(thousandByteRecords(2000), "long.trc");
  const auto outputOf = [&trace](std::vector<std::string> options) {
    test::InjectedFaults faults;
    faults.failReadsAfter(trace, kFailAt);
    options.insert(options.end(), {"-f", trace});
    const RunResult r = test::run(options);
    EXPECT_EQ(faults.failedReads(), 1);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Could not read '" + trace + "': " + std::strerror(EIO) + "\n");
    return r.out;
  };

  std::string listing;
  for (int i = 1; i <= kWhole; ++i) listing += textEntry("1.000", "record " + std::to_string(i));
  EXPECT_EQ(outputOf({}), listing);

  const std::vector<std::string> lines = linesOf(outputOf({"--json"}));
  ASSERT_EQ(lines.size(), kWhole + 1);
  EXPECT_EQ(nlohmann::json::parse(lines[kWhole - 1])["text"], "record 1572");
  EXPECT_EQ(nlohmann::json::parse(lines[kWhole - 1])["offset"], (kWhole - 1) * 1000);
  EXPECT_EQ(nlohmann::json::parse(lines.back()),
            nlohmann::json({{"diagnostic", "read_error"},
                            {"offset", kFailAt},
                            {"message", "Could not read the trace: Input/output error"}}));

  const std::string summary = outputOf({"--summary"});
  EXPECT_NE(summary.find("\n  records                     1572: Text 1572\n"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("\n  read to its end             no, a read failed at offset 1572864 "
                         "(Input/output error)\n"),
            std::string::npos)
      << summary;

  const nlohmann::json json = nlohmann::json::parse(outputOf({"--summary", "--json"}));
  EXPECT_EQ(json["records"]["total"], kWhole);
  EXPECT_EQ(json["read_error"],
            nlohmann::json({{"offset", kFailAt}, {"message", "Input/output error"}}));
  // The bytes read, not the size of the file.
  EXPECT_EQ(json["trace"], nlohmann::json({{"name", trace}, {"bytes", kFailAt}}));

  const std::string page = outputOf({"--report"});
  EXPECT_NE(page.find(": 1,572 records.</p>"), std::string::npos);
  EXPECT_NE(page.find("record 1572\n"), std::string::npos);
  EXPECT_EQ(page.find("record 1573"), std::string::npos);
  EXPECT_NE(page.find("<li class=\"bad\">The trace could not be read to its end: a read failed "
                      "at offset 1,572,864 (Input/output error). The page shows what was read "
                      "before it.</li>"),
            std::string::npos);
  EXPECT_NE(page.find("<tr><th scope=\"row\">read to its end</th><td>no, a read failed at "
                      "offset 1,572,864 (Input/output error)</td></tr>"),
            std::string::npos);
}

TEST_F(Fault, AnOldOutputThatCannotBeEmptiedIsRefusedAndKept) {
  TraceBuilder t;
  t.text(1000.0, "new\n");
  const std::string trace = write(t, "t.trc");
  const std::string old = "an older listing, longer than the new one\n";
  for (const char* output : {"", "--json", "--summary", "--report"}) {
    SCOPED_TRACE(output);
    const std::string listing = dir.file("old.txt");
    std::ofstream(listing, std::ios::binary | std::ios::trunc) << old;
    test::InjectedFaults faults;
    faults.failTruncateOf(listing, EPERM);
    std::vector<std::string> args = {"-f", trace, "-w", listing};
    if (*output != '\0') args.emplace_back(output);
    const RunResult r = test::run(args);
    EXPECT_EQ(faults.failedTruncates(), 1);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "Could not open '" + listing + "' for writing\n");
    EXPECT_EQ(readFile(listing), old);
  }
}

TEST_F(Fault, ReadErrorWhileTheListingCannotBeWrittenEndsWithTheWriteFailure) {
  // The listing is closed, and its close checked, before the read error is
  // reported: its failure, not the read error, decides the outcome.
  const std::string trace = write(traceLongerThanOneBlock(), "long.trc");
  if (std::filesystem::exists("/dev/full")) {
    test::InjectedFaults faults;
    faults.failReadsOf(trace, 1);
    const RunResult r = test::run({"-f", trace, "-w", "/dev/full"});
    EXPECT_EQ(faults.failedReads(), 1);
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("Could not write the listing: ") + std::strerror(ENOSPC) + "\n");
  }
  // Every byte is written, and the close fails afterwards.
  const std::string listing = dir.file("listing.txt");
  test::InjectedFaults faults;
  faults.failReadsOf(trace, 1);
  faults.failCloseOf(listing, EIO);
  const RunResult r = test::run({"-f", trace, "-w", listing});
  EXPECT_EQ(faults.failedReads(), 1);
  EXPECT_EQ(faults.failedCloses(), 1);
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, std::string("Could not write the listing: ") + std::strerror(EIO) + "\n");
  EXPECT_EQ(readFile(listing), textEntry("1.000", "first"));
}

TEST_F(Fault, FailingCloseOfTheListingFileEndsWithStatusFour) {
  // A deferred write error: every write succeeds, the close reports it.
  const std::string trace = write(TraceBuilder().text(1000.0, "hi\n"), "small.trc");
  const std::string listing = dir.file("listing.txt");
  test::InjectedFaults faults;
  faults.failCloseOf(listing, EDQUOT);
  const RunResult r = test::run({"-f", trace, "-w", listing});
  EXPECT_EQ(faults.failedCloses(), 1);
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, std::string("Could not write the listing: ") + std::strerror(EDQUOT) + "\n");
  EXPECT_EQ(readFile(listing), textEntry("1.000", "hi"));
}

// Random traces: records of every kind with random contents, broken headers,
// stray bytes, and cut endings, all behind one good Text record.
class RandomTrace {
 public:
  static constexpr int kItemKinds = 10;

  explicit RandomTrace(std::uint32_t seed) : random_(seed) {}

  // Every kind of item at least once, in random order, among a few more of
  // any kind; a cut trace loses up to 40 bytes of its end.
  TraceBuilder make(bool cut) {
    std::vector<int> kinds(kItemKinds);
    std::iota(kinds.begin(), kinds.end(), 0);
    for (int extra = below(10); extra > 0; --extra) kinds.push_back(below(kItemKinds));
    std::shuffle(kinds.begin(), kinds.end(), random_);
    TraceBuilder t;
    t.text(0.0, "start\n");
    const std::size_t kept = t.size();
    for (const int kind : kinds) item(t, kind);
    if (cut) {
      const auto most = static_cast<int>(std::min<std::size_t>(t.size() - kept, 40));
      t.dropLast(1 + static_cast<std::size_t>(below(most)));
    }
    return t;
  }

 private:
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  std::uint32_t word() { return static_cast<std::uint32_t>(random_()); }
  std::uint8_t byte() { return static_cast<std::uint8_t>(below(256)); }
  Payload bytes(int maxCount) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(below(maxCount + 1)));
    for (auto& x : b) x = byte();
    return Payload(std::move(b));
  }
  double stamp() { return below(8) == 0 ? -1000.0 * below(100) : 1000.0 * below(100000); }
  ExtHeader ext() {
    const std::uint8_t components[] = {0, 0x65, 1};
    return ExtHeader{.thread = word(),
                     .process = word(),
                     .seconds = below(8) == 0 ? -below(10000) : below(2000000000),
                     .component = components[below(3)],
                     .millis = static_cast<std::uint16_t>(below(2000))};
  }
  HidHeader hidHeader() {
    HidHeader h{};
    for (auto& x : h) x = byte();
    if (below(2) == 0) h[2] = 0xa0;
    if (below(2) == 0) h[3] = 3;
    return h;
  }

  void item(TraceBuilder& t, int kind) {
    switch (kind) {
      case 0: t.marker(below(2) == 0 ? kMarkerV2 : kMarkerV3, bytes(4)); break;
      case 1: t.text(stamp(), bytes(120), ext()); break;
      case 2: t.hex(stamp(), bytes(60), ext()); break;
      case 3: t.hidWrite(stamp(), hidHeader(), bytes(40), ext()); break;
      case 4: t.hidRead(stamp(), hidHeader(), bytes(40), ext()); break;
      case 5: t.hidGetFeat(stamp(), hidHeader(), bytes(40), ext()); break;
      case 6: t.hidSetFeat(stamp(), hidHeader(), bytes(20), ext()); break;
      case 7:
        t.record(static_cast<std::uint32_t>(1 + below(499)), stamp(), bytes(30), ext());
        break;
      case 8: {  // a header with a length and minor code of any value
        const std::int64_t lengths[] = {below(64), -1 - below(5), 256000 + below(3), word()};
        const std::uint32_t minors[] = {0, 502, static_cast<std::uint32_t>(below(600)), word()};
        t.header(lengths[below(4)], minors[below(4)], stamp());
        break;
      }
      default: t.bytes(bytes(20)); break;
    }
  }

  std::mt19937 random_;
};

// The first entry of every random trace, as the options show it.
std::string startEntry(const std::vector<std::string>& options) {
  const auto has = [&options](std::string_view flag) {
    return std::find(options.begin(), options.end(), flag) != options.end();
  };
  std::string entry = has("-H") ? "" : "Text" + blanks(10);
  if (!has("-m")) entry += "0.000" + blanks(5) + (has("-p") ? "  P00000/T00000 " : "");
  return entry + blanks(10) + "start\n";
}

bool isKnownMessage(std::string_view line) {
  for (std::string_view known :
       {"Length to read is too big (length=", "could not read version 2+ data",
        "Could not read data bytes expected="})
    if (line.starts_with(known)) return true;
  return false;
}

// The option sets: every combination of the six flags with each of the
// hour offsets 0, 2 and -1.
std::vector<std::vector<std::string>> optionSets() {
  const char* const flags[] = {"-c", "-m", "-t", "-p", "-H", "-x"};
  std::vector<std::vector<std::string>> sets;
  for (unsigned mask = 0; mask < 64; ++mask) {
    for (const char* offset : {"0", "2", "-1"}) {
      std::vector<std::string> args;
      for (unsigned bit = 0; bit < 6; ++bit)
        if ((mask >> bit & 1u) != 0) args.emplace_back(flags[bit]);
      args.insert(args.end(), {"-h", offset});
      sets.push_back(std::move(args));
    }
  }
  return sets;
}

TEST(FaultRandomTraces, AllAreListedToTheEnd) {
  // One trace for each option set, every other one cut. The fuzzer explores
  // far more; this run checks, quickly and in every build, that damaged
  // traces with every kind of record end normally under every option.
  setenv("TZ", "UTC", 1);
  tzset();
  TempDir dir;
  const std::string path = dir.file("random.trc");
  RandomTrace random(20261208);
  const auto sets = optionSets();
  ASSERT_EQ(sets.size(), 192u);
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const TraceBuilder trace = random.make(i % 2 == 1);
    trace.writeTo(path);
    std::vector<std::string> args = sets[i];
    args.insert(args.end(), {"-f", path});
    const RunResult r = test::run(args);
    ASSERT_EQ(r.status, 0) << "trace " << i;
    ASSERT_TRUE(r.out.starts_with(startEntry(args))) << "trace " << i << ":\n" << r.out;
    std::istringstream messages(r.err);
    for (std::string line; std::getline(messages, line);)
      ASSERT_TRUE(isKnownMessage(line)) << "trace " << i << ": " << line;
  }
}

}  // namespace
}  // namespace ovantrex
