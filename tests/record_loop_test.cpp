#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "expected_text.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex {
namespace {

using namespace std::string_literals;
using test::ExtHeader;
using test::kHidGetFeat;
using test::kHidRead;
using test::kHidSetFeat;
using test::kHidWrite;
using test::kMarkerV2;
using test::kMarkerV3;
using test::kText;
using test::run;
using test::RunResult;
using test::runTrace;
using test::TempDir;
using test::TraceBuilder;

using test::blanks;
using test::textEntry;

// A Text entry of format version 3 with the default columns: the elapsed
// value fills eleven characters (ten in versions 1 and 2, textEntry()).
std::string textV3(std::string_view elapsed, std::string_view text) {
  return "Text" + blanks(10) + std::string(elapsed) + blanks(11 - elapsed.size()) + blanks(10) +
         std::string(text) + "\n";
}

void expectListing(const RunResult& r, const std::string& listing) {
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, listing);
}

class RecordLoop : public ::testing::Test {
 protected:
  void SetUp() override { test::useZone("UTC"); }
};

TEST_F(RecordLoop, BuilderWritesLittleEndianHeaders) {
  TraceBuilder t;
  t.text(1.0, "ab");
  EXPECT_EQ(t.str(),
            "\x02\x00\x00\x00\x2a\x00\x00\x00"
            "\x00\x00\x00\x00\x00\x00\xf0\x3f"
            "ab"s);
  EXPECT_EQ(t.version(), 1);
  t.marker(kMarkerV3, "zz");
  EXPECT_EQ(t.version(), 3);
  const std::size_t before = t.size();
  t.record(7, -2.0, "",
           ExtHeader{.thread = 0x01020304,
                     .process = 0xa0b0c0d0,
                     .seconds = -1,
                     .component = 0x65,
                     .reserved = 9,
                     .millis = 0x1234});
  EXPECT_EQ(t.str().substr(before),
            "\x00\x00\x00\x00\x07\x00\x00\x00"
            "\x00\x00\x00\x00\x00\x00\x00\xc0"
            "\x04\x03\x02\x01\xd0\xc0\xb0\xa0"
            "\xff\xff\xff\xff\x65\x09\x34\x12"s);
  t.header(-1, 0xfffffffe);
  EXPECT_EQ(t.str().substr(t.size() - 16, 8), "\xff\xff\xff\xff\xfe\xff\xff\xff"s);
}

TEST_F(RecordLoop, EmptyTraceListsNothing) { expectListing(runTrace(TraceBuilder()), ""); }

TEST_F(RecordLoop, HeaderFragmentAtTheEndIsDropped) {
  TraceBuilder t;
  t.text(1500.0, "hello\n").header(5, kText, 2000.0).dropLast(6);
  expectListing(runTrace(t), textEntry("1.500", "hello"));
}

TEST_F(RecordLoop, RecordOfLengthZeroIsShown) {
  TraceBuilder t;
  t.text(0.0, "").record(7, 0.0, "");
  expectListing(runTrace(t), textEntry("0.000", "") + "Unknown" + blanks(7) + "0.000" + blanks(15) +
                                 "Minor=7(7), Length=0, data=''\n\n");
}

TEST_F(RecordLoop, RecordAtTheLengthLimitIsRead) {
  TraceBuilder t;
  const std::string text(256000, 'a');
  t.text(0.0, text).text(1000.0, "after");
  expectListing(runTrace(t, {"-x"}), textEntry("0.000", text) + textEntry("1.000", "after"));
}

TEST_F(RecordLoop, OverlongRecordSkipsOnlyItsHeader) {
  TraceBuilder t;
  t.header(256001, kText, 5.0).header(-1, 404, 5.0).text(1000.0, "next");
  const std::string listing = textEntry("1.000", "next");

  RunResult r = runTrace(t);
  expectListing(r, listing);

  r = runTrace(t, {"-x"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, listing);
  EXPECT_EQ(r.err,
            "Length to read is too big (length=256001/0x3e801), skipping\n"
            "Length to read is too big (length=-1/0xffffffff), skipping\n");
}

TEST_F(RecordLoop, OverlongMarkerDoesNotChangeTheVersion) {
  TraceBuilder t;
  t.header(300000, kMarkerV3).text(1000.0, "still v1");
  ASSERT_EQ(t.version(), 1);
  const RunResult r = runTrace(t, {"-x"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, textEntry("1.000", "still v1"));
  EXPECT_EQ(r.err, "Length to read is too big (length=300000/0x493e0), skipping\n");
}

TEST_F(RecordLoop, OverlongRecordInVersionThreeLeavesItsExtensionHeaderToBeReadAsAHeader) {
  TraceBuilder t;
  // The extension header reads as a header of length 0 and minor code 502.
  t.marker(kMarkerV3)
      .header(300000, kText, 0.0)
      .extHeader(ExtHeader{.thread = 0, .process = 502})
      .text(1000.0, "after");
  expectListing(runTrace(t),
                "Minor code 1f6(502) not valid, skipping\n" + textV3("1.000", "after"));
}

TEST_F(RecordLoop, InvalidMinorCodeIsReportedOnStandardOutputInPlace) {
  TraceBuilder t;
  t.text(1000.0, "one")
      .header(0, 502, 1500.0)
      .header(7, 0)  // only the header is consumed, whatever its length
      .text(2000.0, "two");
  const std::string messages =
      "Minor code 1f6(502) not valid, skipping\n"
      "Minor code 0(0) not valid, skipping\n";
  expectListing(runTrace(t), textEntry("1.000", "one") + messages + textEntry("1.000", "two"));

  // With an output file the messages still go to standard output.
  TempDir dir;
  const std::string trace = dir.file("t.trc");
  const std::string listing = dir.file("out.txt");
  t.writeTo(trace);
  const RunResult r = run({"-f", trace, "-w", listing});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, messages);
  EXPECT_EQ(test::readTextOutput(listing), textEntry("1.000", "one") + textEntry("1.000", "two"));
}

TEST_F(RecordLoop, InvalidMinorCodeIsShownInHexAndInSignedDecimal) {
  TraceBuilder t;
  t.header(0, 0xffffffff).header(0, 0x80000000).header(0, 0x7fffffff);
  expectListing(runTrace(t),
                "Minor code ffffffff(-1) not valid, skipping\n"
                "Minor code 80000000(-2147483648) not valid, skipping\n"
                "Minor code 7fffffff(2147483647) not valid, skipping\n");
}

TEST_F(RecordLoop, ShortExtensionHeaderIsReported) {
  TraceBuilder t;
  t.marker(kMarkerV2).text(1000.0, "fine").header(3, kText, 2000.0).bytes("12345");
  const RunResult r = runTrace(t);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, textEntry("1.000", "fine"));
  EXPECT_EQ(r.err, "could not read version 2+ data\n");
}

TEST_F(RecordLoop, ShortPayloadIsReported) {
  TraceBuilder t;
  t.text(1000.0, "fine").header(10, kText, 2000.0).bytes("abcd");
  const RunResult r = runTrace(t);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, textEntry("1.000", "fine"));
  EXPECT_EQ(r.err, "Could not read data bytes expected=10 actual=4\n");
}

TEST_F(RecordLoop, ShortMarkerPayloadIsNotReported) {
  TraceBuilder t;
  t.text(1000.0, "fine").header(10, kMarkerV3).bytes("abc");
  expectListing(runTrace(t), textEntry("1.000", "fine"));
}

TEST_F(RecordLoop, MarkerPayloadIsSkipped) {
  TraceBuilder t;
  t.marker(kMarkerV3, "\x2a\0\0\0 junk"s).text(1000.0, "v3");
  expectListing(runTrace(t), textV3("1.000", "v3"));
}

TEST_F(RecordLoop, LaterMarkerOverridesEarlierOne) {
  TraceBuilder t;
  t.marker(kMarkerV2).marker(kMarkerV3).text(1000.0, "three").marker(kMarkerV2).text(2500.0, "two");
  ASSERT_EQ(t.version(), 2);
  expectListing(runTrace(t), textV3("1.000", "three") + textEntry("1.500", "two"));
}

TEST_F(RecordLoop, HidTransferShorterThanItsHeaderGetsTheFallbackEntry) {
  TraceBuilder t;
  t.record(kHidWrite, 1500.0, {0x41, 0x42, 0x00, 0x43, 0x0a})
      .record(kHidRead, 1500.0, "1234567")
      .record(kHidGetFeat, 1500.0, {0xa0})
      .record(kHidSetFeat, 1500.0, "")
      .text(2000.0, "next\n");
  expectListing(runTrace(t),
                "Comp=0, Minor=405(195), Length=5, data='AB.C.'\n"
                "Comp=0, Minor=406(196), Length=7, data='1234567'\n"
                "Comp=0, Minor=407(197), Length=1, data='.'\n"
                "Comp=0, Minor=408(198), Length=0, data=''\n" +
                    textEntry("0.500", "next"));
}

TEST_F(RecordLoop, ComponentReportShorterThanElevenBytesGetsTheFallbackEntry) {
  TraceBuilder t;
  t.hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x03}, {0x41, 0x42});
  expectListing(runTrace(t), "Comp=0, Minor=407(197), Length=10, data='........AB'\n");

  // With eleven bytes it is rendered: n = 0xff is cut at the payload's end.
  TraceBuilder full;
  full.hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x03}, {0x00, 0x41, 0xff});
  const RunResult r = runTrace(full);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind(
                "HIDGetFeat" + blanks(4) + "0.000" + blanks(5) + " 0   0000 a003 r0   00.41.ff", 0),
            0u)
      << r.out;
  EXPECT_EQ(r.out.find("Comp="), std::string::npos) << r.out;
}

TEST_F(RecordLoop, FallbackShowsTheComponentByte) {
  TraceBuilder t;
  t.marker(kMarkerV2).record(kHidRead, 0.0, {1, 2, 3}, ExtHeader{.component = 7});
  t.marker(kMarkerV3).record(kHidRead, 0.0, {0x7e, 0x7f}, ExtHeader{.component = 0x65});
  // Component 1 in version 3 hides the record before it is rendered.
  t.record(kHidRead, 0.0, {1}, ExtHeader{.component = 1});
  expectListing(runTrace(t),
                "Comp=7, Minor=406(196), Length=3, data='...'\n"
                "Comp=0, Minor=406(196), Length=2, data='~.'\n");
}

TEST_F(RecordLoop, NegativeTimeGetsTheFallbackEntryWhateverTheComponent) {
  TraceBuilder t;
  t.marker(kMarkerV3)
      .text(1000.0, "early", ExtHeader{.seconds = 100, .component = 1})
      .text(1500.0, std::string(80, 'x') + "y", ExtHeader{.seconds = 3599, .component = 0x65})
      .text(3500.0, "late\n", ExtHeader{.seconds = 7200, .millis = 42});
  expectListing(runTrace(t, {"-t", "-h", "-1"}),
                "Comp=1, Minor=42(2a), Length=5, data='early'\n"
                "Comp=101, Minor=42(2a), Length=81, data='" +
                    std::string(80, 'x') + "\ny'\n" + "01/01-01:00:00.042 " +
                    textV3("2.000", "late"));
}

TEST_F(RecordLoop, VersionThreeShowsComponentsZeroAndE) {
  TraceBuilder t;
  t.marker(kMarkerV3)
      .text(1000.0, "zero", ExtHeader{.component = 0})
      .text(2000.0, "hidden", ExtHeader{.component = 1})
      .text(4500.0, "e", ExtHeader{.component = 0x65})
      .text(5000.0, "hidden", ExtHeader{.component = 0xff});
  // The hidden record still moves the previous time stamp on.
  expectListing(runTrace(t), textV3("1.000", "zero") + textV3("2.500", "e"));
}

TEST_F(RecordLoop, VersionTwoShowsEveryComponent) {
  TraceBuilder t;
  t.marker(kMarkerV2)
      .text(1000.0, "shown", ExtHeader{.component = 1})
      .text(1000.0, "too", ExtHeader{.component = 0xff});
  expectListing(runTrace(t), textEntry("1.000", "shown") + textEntry("0.000", "too"));
}

TEST_F(RecordLoop, ReadErrorEndsTheRun) {
  // Reading a process's memory at offset 0 fails with an I/O error.
  const std::string name = "/proc/self/mem";
  if (!std::filesystem::exists(name)) GTEST_SKIP() << "no " << name;
  const RunResult r = run({"-f", name});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Could not read '" + name + "': Input/output error\n");
}

}  // namespace
}  // namespace ovantrex
