#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "expected_text.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex {
namespace {

using test::ExtHeader;
using test::kMarkerV3;
using test::readFile;
using test::run;
using test::RunResult;
using test::TempDir;
using test::TraceBuilder;

using test::blanks;

const std::string kUsage =
    "Usage:  ovantrex -f logfile [ -t ] [ -m ] [ -c ]\n"
    "                  ...<<see full list below>>\n"
    "where:\n"
    "    -c            Display cumulative milliseconds\n"
    "    -f <filename> Log file for reading\n"
    "    -h X          Adjust hour offset X\n"
    "    -m            Disable the incrmental milliseconds display\n"
    "    -t            Show the actual time of the log statements\n"
    "    -w <filename> Output file (stdout if option not provided\n"
    "    -x            Debug this program\n";

// A format-version-3 trace with one Text record: 1.500 s after time 0,
// written at 1970-01-01 20:00:00.007 UTC by process 2, thread 1.
TraceBuilder optionTrace() {
  TraceBuilder t;
  t.marker(kMarkerV3).text(1500.0, "hi\n",
                           ExtHeader{.thread = 1, .process = 2, .seconds = 72000, .millis = 7});
  return t;
}

// The listing of optionTrace() with the default columns, with -t, with
// -t and -m, with -p and with -H.
const std::string kDefault = "Text" + blanks(10) + "1.500" + blanks(16) + "hi\n";
const std::string kWithTime =
    "01/01-20:00:00.007 Text" + blanks(10) + "1.500" + blanks(16) + "hi\n";
const std::string kTimeNoElapsed = "01/01-20:00:00.007 Text" + blanks(20) + "hi\n";
const std::string kWithProcess =
    "Text" + blanks(10) + "1.500" + blanks(6) + "P00002/T00001 " + blanks(10) + "hi\n";
const std::string kNoType = "1.500" + blanks(16) + "hi\n";

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    test::useZone("UTC");
    trace = dir.file("trace.trc");
    optionTrace().writeTo(trace);
  }

  TempDir dir;
  std::string trace;
};

void expectUsage(const RunResult& r) {
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, kUsage);
}

void expectListing(const RunResult& r, const std::string& listing) {
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, listing);
}

TEST_F(CommandLine, NoArgumentsWriteTheUsageText) { expectUsage(run({})); }

TEST_F(CommandLine, SingleQuestionMarkWritesTheUsageText) { expectUsage(run({"-?"})); }

TEST_F(CommandLine, QuestionMarkAmongOtherArgumentsWritesTheUsageTextAndOpensNothing) {
  const std::string listing = dir.file("out.txt");
  expectUsage(run({"-w", listing, "-f", trace, "-?"}));
  EXPECT_FALSE(std::filesystem::exists(listing));
  expectUsage(run({"-?", "-f", trace}));
  expectUsage(run({"-t?", "-f", trace}));
}

TEST_F(CommandLine, SingleArgumentIsTheFileName) {
  expectListing(run({trace}), kDefault);
  ASSERT_FALSE(std::filesystem::exists("-t"));
  const RunResult r = run({"-t"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not open '-t' for reading\n");
}

TEST_F(CommandLine, OptionsWithoutAnInputFileWriteTheUsageText) {
  // The options end at the first argument that is not one.
  expectUsage(run({"-t", trace}));
  expectUsage(run({"-t", "-m"}));
  expectUsage(run({"-w", dir.file("out.txt"), "-t"}));
}

TEST_F(CommandLine, InputFileNameFormsAndClusters) {
  expectListing(run({"-f", trace, "-t"}), kWithTime);
  expectListing(run({"-f" + trace, "-t"}), kWithTime);
  expectListing(run({"-tmf", trace}), kTimeNoElapsed);
  expectListing(run({"-tmf" + trace, "-x"}), kTimeNoElapsed);
  expectListing(run({"-m", "-t", "-f", trace}), kTimeNoElapsed);
  expectListing(run({"-p", "-f", trace}), kWithProcess);
  expectListing(run({"-Hf", trace}), kNoType);
  expectListing(run({"-c", "-x", "-f", trace}), kDefault);
}

TEST_F(CommandLine, OptionWithoutItsArgumentEndsWithStatusOne) {
  RunResult r = run({"-t", "-f"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ovantrex: option requires an argument -- f\n");

  // The input file is named but nothing is opened or listed.
  r = run({"-f", trace, "-w"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ovantrex: option requires an argument -- w\n");

  r = run({"-f", trace, "-th"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ovantrex: option requires an argument -- h\n");
}

TEST_F(CommandLine, IllegalOptionEndsWithStatusOneAndOpensNothing) {
  RunResult r = run({"-f", trace, "-q"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ovantrex: illegal option -- q\n");

  // "--x" is not the end of the options: its "-" is an illegal letter.
  r = run({"-f", trace, "--x"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ovantrex: illegal option -- -\n");

  r = run({"-f", trace, "-:"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ovantrex: illegal option -- :\n");

  const std::string listing = dir.file("out.txt");
  r = run({"-w", listing, "-f", trace, "-tq"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ovantrex: illegal option -- q\n");
  EXPECT_FALSE(std::filesystem::exists(listing));
}

TEST_F(CommandLine, OptionsEndAtDoubleDashOrAtTheFirstOtherArgument) {
  expectListing(run({"-f", trace, "--", "-t", "-q"}), kDefault);
  expectListing(run({"-f", trace, "extra", "-t", "-q"}), kDefault);
  expectListing(run({"-f", trace, "-", "-t"}), kDefault);
}

TEST_F(CommandLine, OptionArgumentMayBeginWithADash) {
  const RunResult r = run({"-f", "-t"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not open '-t' for reading\n");
}

TEST_F(CommandLine, LaterFileOptionReplacesEarlierOne) {
  const std::string missing = dir.file("missing.trc");
  expectListing(run({"-f", missing, "-f", trace}), kDefault);
  const RunResult r = run({"-f", trace, "-f", missing});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Could not open '" + missing + "' for reading\n");
}

TEST_F(CommandLine, OutputFileReceivesTheListing) {
  const std::string first = dir.file("first.txt");
  const std::string second = dir.file("second.txt");
  RunResult r = run({"-f", trace, "-w", first, "-w", second, "-t"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(std::filesystem::exists(first));
  EXPECT_EQ(test::readTextOutput(second), kWithTime);

  // An existing file is emptied first.
  r = run({"-f", trace, "-w", second, "-H"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::readTextOutput(second), kNoType);

  // An empty name means standard output.
  expectListing(run({"-f", trace, "-w", ""}), kDefault);
}

struct HourOffsetCase {
  const char* name;  // the test name: what the case checks
  const char* argument;
  const char* hour;  // the hour shown for 20:00 UTC
};

class CommandLineHourOffset : public CommandLine,
                              public ::testing::WithParamInterface<HourOffsetCase> {};

TEST_P(CommandLineHourOffset, IsReadAsADecimalIntegerAndAddedInWrappingArithmetic) {
  const RunResult r = run({"-f", trace, "-t", "-m", "-h", GetParam().argument});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            std::string("01/01-") + GetParam().hour + ":00:00.007 Text" + blanks(20) + "hi\n");
}

// A value held at 2^31 - 1 hours wraps to -3600 seconds when multiplied by
// 3600 (hour 19); one held at -2^31 wraps to 0 (hour 20). Values past the
// 64-bit range must be held too, without an overflow on the way.
INSTANTIATE_TEST_SUITE_P(
    Values, CommandLineHourOffset,
    ::testing::Values(
        HourOffsetCase{"Zero", "0", "20"},  //
        HourOffsetCase{"LettersReadAsZero", "abc", "20"},
        HourOffsetCase{"EmptyReadsAsZero", "", "20"}, HourOffsetCase{"Negative", "-5", "15"},
        HourOffsetCase{"PlusSign", "+3", "23"},
        HourOffsetCase{"DigitsEndAtTheFirstOtherCharacter", "3x", "23"},
        HourOffsetCase{"LeadingBlank", " 2", "22"},
        HourOffsetCase{"LeadingTabAndSign", "\t-2", "18"},
        HourOffsetCase{"AboveThe32BitRangeHeldAtItsTop", "99999999999", "19"},
        HourOffsetCase{"TwoToThe32HeldAtTheTop", "4294967296", "19"},
        HourOffsetCase{"TwoToThe63HeldAtTheTop", "9223372036854775808", "19"},
        HourOffsetCase{"TwoToThe64HeldAtTheTop", "18446744073709551616", "19"},
        HourOffsetCase{"FortyDigitsHeldAtTheTop", "1234567890123456789012345678901234567890", "19"},
        HourOffsetCase{"BelowThe32BitRangeHeldAtItsBottom", "-99999999999", "20"},
        HourOffsetCase{"BelowMinusTwoToThe63HeldAtTheBottom", "-9223372036854775809", "20"}),
    [](const ::testing::TestParamInfo<HourOffsetCase>& param) {
      return std::string(param.param.name);
    });

TEST_F(CommandLine, HourOffsetMayBeAttached) {
  expectListing(run({"-f", trace, "-tm", "-h-5"}), "01/01-15:00:00.007 Text" + blanks(20) + "hi\n");
}

TEST_F(CommandLine, InputThatCannotBeOpenedEndsWithStatusTwo) {
  const std::string missing = dir.file("missing.trc");
  RunResult r = run({"-f", missing});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not open '" + missing + "' for reading\n");

  // A directory is no trace file.
  const std::string directory = dir.path().string();
  r = run({"-f", directory});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not open '" + directory + "' for reading\n");
}

TEST_F(CommandLine, InputIsOpenedBeforeTheOutput) {
  const std::string existing = dir.file("existing.txt");
  TraceBuilder().bytes("keep").writeTo(existing);
  const RunResult r = run({"-f", dir.file("missing.trc"), "-w", existing});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(readFile(existing), "keep");
}

TEST_F(CommandLine, OutputThatCannotBeOpenedEndsWithStatusThree) {
  const std::string bad = dir.file("no/such/dir/out.txt");
  RunResult r = run({"-f", trace, "-w", bad});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not open '" + bad + "' for writing\n");

  r = run({"-f", trace, "-w", dir.path().string()});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "Could not open '" + dir.path().string() + "' for writing\n");
}

TEST_F(CommandLine, LongFileNamesAreNeverCut) {
  // A name of 3000 characters that cannot be opened is shown whole.
  const std::string longName = dir.file(std::string(3000, 'n'));
  RunResult r = run({"-f", longName});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Could not open '" + longName + "' for reading\n");

  // A real file whose path is longer than 2549 characters.
  std::filesystem::path deep = dir.path();
  while (deep.string().size() <= 2700) deep /= std::string(200, 'd');
  std::filesystem::create_directories(deep);
  const std::string deepTrace = (deep / "trace.trc").string();
  const std::string deepOut = (deep / "out.txt").string();
  optionTrace().writeTo(deepTrace);
  expectListing(run({"-f", deepTrace}), kDefault);
  r = run({"-f", deepTrace, "-w", deepOut});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(test::readTextOutput(deepOut), kDefault);
  expectListing(run({deepTrace}), kDefault);
}

TEST_F(CommandLine, FailedWriteOfTheListingEndsWithStatusFour) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string message =
      std::string("Could not write the listing: ") + std::strerror(ENOSPC) + "\n";

  // One short entry: the failure shows when the listing is flushed.
  RunResult r = run({"-f", trace, "-w", "/dev/full"});
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, message);

  // Far more than one buffer of listing: the run stops at the first failure.
  TraceBuilder big;
  for (int i = 0; i < 2000; ++i) big.text(1000.0 * i, std::string(100, 'x'));
  const std::string bigTrace = dir.file("big.trc");
  big.writeTo(bigTrace);
  r = run({"-f", bigTrace, "-w", "/dev/full"});
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, message);
}

}  // namespace
}  // namespace ovantrex
