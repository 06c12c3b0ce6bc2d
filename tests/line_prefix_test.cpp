#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "expected_text.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex {
namespace {

using test::ExtHeader;
using test::kMarkerV2;
using test::kMarkerV3;
using test::RunResult;
using test::runTrace;
using test::sequence;
using test::TraceBuilder;

using test::blanks;

// The decimal digits of 2^exponent.
std::string powerOfTwo(int exponent) {
  std::vector<int> digits{1};  // least significant first
  for (int i = 0; i < exponent; ++i) {
    int carry = 0;
    for (int& d : digits) {
      const int v = d * 2 + carry;
      d = v % 10;
      carry = v / 10;
    }
    if (carry != 0) digits.push_back(carry);
  }
  std::string text;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) text += static_cast<char>('0' + *it);
  return text;
}

void expectListing(const RunResult& r, const std::string& listing) {
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, listing);
}

class LinePrefix : public ::testing::Test {
 protected:
  void SetUp() override { useZone("UTC"); }
  void TearDown() override { useZone("UTC"); }
  static void useZone(const char* zone) { test::useZone(zone); }
};

// Format version 3 ------------------------------------------------------

TEST_F(LinePrefix, VersionThreeColumnsStandAroundTheRecordType) {
  TraceBuilder t;
  t.marker(kMarkerV3)
      .text(1500.0, "hi",
            ExtHeader{.thread = 0x1f, .process = 0x123456, .seconds = 1700000000, .millis = 5})
      .text(2000.0, "ms",
            ExtHeader{.thread = 0x100000, .process = 0, .seconds = 1700000001, .millis = 1234});
  expectListing(runTrace(t, {"-t", "-p"}), "11/14-22:13:20.005 Text" + blanks(10) + "1.500" +
                                               blanks(6) + "P123456/T0001f " + blanks(10) + "hi\n" +
                                               "11/14-22:13:21.1234 Text" + blanks(10) + "0.500" +
                                               blanks(6) + "P00000/T100000 " + blanks(10) + "ms\n");
}

TEST_F(LinePrefix, VersionThreeColumnsOneByOne) {
  TraceBuilder t;
  t.marker(kMarkerV3)
      .text(1000.0, "a", ExtHeader{.thread = 1, .process = 2, .seconds = 3600})
      .text(2500.0, "b", ExtHeader{.thread = 1, .process = 2, .seconds = 3601, .millis = 999});
  expectListing(runTrace(t), "Text" + blanks(10) + "1.000" + blanks(16) + "a\n" + "Text" +
                                 blanks(10) + "1.500" + blanks(16) + "b\n");
  expectListing(runTrace(t, {"-c"}), "Text" + blanks(10) + "1.000" + blanks(16) + "a\n" + "Text" +
                                         blanks(10) + "2.500" + blanks(16) + "b\n");
  expectListing(runTrace(t, {"-m"}), "Text" + blanks(20) + "a\n" + "Text" + blanks(20) + "b\n");
  expectListing(runTrace(t, {"-m", "-p"}), "Text" + blanks(10) + "P00002/T00001 " + blanks(10) +
                                               "a\n" + "Text" + blanks(10) + "P00002/T00001 " +
                                               blanks(10) + "b\n");
  expectListing(runTrace(t, {"-t", "-m"}), "01/01-01:00:00.000 Text" + blanks(20) + "a\n" +
                                               "01/01-01:00:01.999 Text" + blanks(20) + "b\n");
  // An offset that brings the time to exactly 0 still converts.
  expectListing(runTrace(t, {"-t", "-m", "-h", "-1"}), "01/01-00:00:00.000 Text" + blanks(20) +
                                                           "a\n" + "01/01-00:00:01.999 Text" +
                                                           blanks(20) + "b\n");
  expectListing(runTrace(t, {"-t", "-H"}), "01/01-01:00:00.000 1.000" + blanks(16) + "a\n" +
                                               "01/01-01:00:01.999 1.500" + blanks(16) + "b\n");
}

TEST_F(LinePrefix, HourOffsetMovesTheTimeColumn) {
  TraceBuilder t;
  t.marker(kMarkerV3).text(0.0, "x", ExtHeader{.seconds = 0});
  expectListing(runTrace(t, {"-t", "-h", "2"}),
                "01/01-02:00:00.000 Text" + blanks(10) + "0.000" + blanks(16) + "x\n");
}

TEST_F(LinePrefix, TimeColumnFollowsDaylightSavingTime) {
  useZone(test::kCentralEuropeanZone);
  TraceBuilder t;
  t.marker(kMarkerV3)
      .text(0.0, "summer", ExtHeader{.seconds = 1688212800})   // 2023-07-01 12:00:00 UTC
      .text(0.0, "winter", ExtHeader{.seconds = 1673784000});  // 2023-01-15 12:00:00 UTC
  expectListing(runTrace(t, {"-t", "-m"}), "07/01-14:00:00.000 Text" + blanks(20) + "summer\n" +
                                               "01/15-13:00:00.000 Text" + blanks(20) + "winter\n");
}

// Format versions 1 and 2 ----------------------------------------------

TEST_F(LinePrefix, ShortPrefixOfVersionTwo) {
  TraceBuilder t;
  t.marker(kMarkerV2)
      .text(1000.0, "a", ExtHeader{.thread = 1, .process = 2, .seconds = 1700000000, .millis = 5})
      .text(2500.0, "b", ExtHeader{.thread = 0xabcdef, .process = 0x10, .seconds = 1700000000});
  expectListing(runTrace(t), "Text" + blanks(10) + "1.000" + blanks(15) + "a\n" + "Text" +
                                 blanks(10) + "1.500" + blanks(15) + "b\n");
  expectListing(runTrace(t, {"-c"}), "Text" + blanks(10) + "1.000" + blanks(15) + "a\n" + "Text" +
                                         blanks(10) + "2.500" + blanks(15) + "b\n");
  // Two blanks before the process/thread part, one after it.
  expectListing(runTrace(t, {"-p"}), "Text" + blanks(10) + "1.000" + blanks(7) + "P00002/T00001 " +
                                         blanks(10) + "a\n" + "Text" + blanks(10) + "1.500" +
                                         blanks(7) + "P00010/Tabcdef " + blanks(10) + "b\n");
  // Without the elapsed column nothing is shown, -p or not.
  expectListing(runTrace(t, {"-m", "-p"}),
                "Text" + blanks(20) + "a\n" + "Text" + blanks(20) + "b\n");
  // No time column, and the hour offset changes nothing.
  expectListing(runTrace(t, {"-t", "-h", "5"}), "Text" + blanks(10) + "1.000" + blanks(15) + "a\n" +
                                                    "Text" + blanks(10) + "1.500" + blanks(15) +
                                                    "b\n");
  expectListing(runTrace(t, {"-H", "-p"}), "1.000" + blanks(7) + "P00002/T00001 " + blanks(10) +
                                               "a\n" + "1.500" + blanks(7) + "P00010/Tabcdef " +
                                               blanks(10) + "b\n");
}

TEST_F(LinePrefix, VersionOneShowsZeroIds) {
  TraceBuilder t;
  t.text(1500.0, "x");
  expectListing(runTrace(t, {"-p", "-t"}),
                "Text" + blanks(10) + "1.500" + blanks(7) + "P00000/T00000 " + blanks(10) + "x\n");
}

// Elapsed values --------------------------------------------------------

TEST_F(LinePrefix, ElapsedValueCanBeNegative) {
  TraceBuilder v1;
  v1.text(2000.0, "a").text(500.0, "b");
  expectListing(runTrace(v1), "Text" + blanks(10) + "2.000" + blanks(15) + "a\n" + "Text" +
                                  blanks(10) + "-1.500" + blanks(14) + "b\n");
  TraceBuilder v3;
  v3.marker(kMarkerV3).text(2000.0, "a").text(500.0, "b");
  expectListing(runTrace(v3), "Text" + blanks(10) + "2.000" + blanks(16) + "a\n" + "Text" +
                                  blanks(10) + "-1.500" + blanks(15) + "b\n");
}

TEST_F(LinePrefix, WideElapsedValueWidensTheColumnAndTheIndents) {
  TraceBuilder v1;
  v1.text(1.5e9, "x");
  expectListing(runTrace(v1), "Text" + blanks(10) + "1500000.000" + blanks(10) + "x\n");

  TraceBuilder v3;
  v3.marker(kMarkerV3).hex(1.5e9, {0x41});
  // Hex indent: 1 + 14 + 12 + 1 + 8 blanks.
  expectListing(runTrace(v3),
                "Hex" + blanks(11) + "1500000.000 " + blanks(10) + "41\n" + blanks(36) + " A\n");
}

TEST_F(LinePrefix, HugeElapsedValueIsShownWhole) {
  const double stamp = std::ldexp(1000.0, 990);  // 2^990 seconds
  const std::string seconds = powerOfTwo(990) + ".000";
  ASSERT_EQ(seconds.size(), 303u);

  TraceBuilder v1;
  v1.text(stamp, "x");
  expectListing(runTrace(v1, {"-p"}),
                "Text" + blanks(10) + seconds + "  P00000/T00000 " + blanks(10) + "x\n");

  TraceBuilder v3;
  v3.marker(kMarkerV3).hidWrite(stamp, {0x00, 0x00, 0x11, 0x00}, sequence(26, 0x41));
  const std::size_t w = seconds.size() + 1;
  expectListing(runTrace(v3), "HIDWrite" + blanks(6) + seconds + " " + " 0   0000 1100 r0   " +
                                  test::dottedCount(0x41, 25) + ".\n" +
                                  blanks(1 + 14 + w + 1 + 18) + "5a\n" +
                                  blanks(1 + 14 + w + 1 + 19) + "ABCDEFGHIJKLMNOPQRSTUVWXYZ\n");
}

// Kept widths -----------------------------------------------------------

// A version-3 record with all columns, then version-2 records: their wrap
// and note indents follow the widths of the version-3 record (19, 11, 14),
// their dump and hex indents their own short prefix (26 characters).
TraceBuilder mixedVersions() {
  TraceBuilder t;
  const ExtHeader ids{.thread = 3, .process = 4};
  t.marker(kMarkerV3)
      .text(1000.0, "v3", ExtHeader{.thread = 1, .process = 2, .seconds = 1700000000})
      .marker(kMarkerV2)
      .hidWrite(1500.0, {0x12, 0x34, 0x56, 0x78, 0xff, 0xff, 0xff, 0xff}, sequence(26, 0x41), ids)
      .hex(2000.0, {0x41, 0x42}, ids)
      .hidRead(2500.0, {0x00, 0x00, 0xa0, 0x00}, {0x01}, ids);
  return t;
}

TEST_F(LinePrefix, LaterRecordsOfVersionTwoInheritTheKeptWidths) {
  const std::string shortPrefix = "0.500" + blanks(5) + "  P00004/T00003 ";
  ASSERT_EQ(shortPrefix.size(), 26u);
  const RunResult r = runTrace(mixedVersions(), {"-t", "-p"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::string firstEntries =
      "11/14-22:13:20.000 Text" + blanks(10) + "1.000" + blanks(6) + "P00002/T00001 " + blanks(10) +
      "v3\n" +
      // wrap indent 19 + 14 + 11 + 14 + 18, dump indent 1 + 14 + 26 + 1 + 19
      "HIDWrite" + blanks(6) + shortPrefix + " 0   1234 5678 r0   " + test::dottedCount(0x41, 25) +
      ".\n" + blanks(76) + "5a\n" + blanks(61) + "ABCDEFGHIJKLMNOPQRSTUVWXYZ\n" +
      // hex indent 1 + 14 + 26 + 1 + 8
      "Hex" + blanks(11) + shortPrefix + blanks(10) + "41.42\n" + blanks(50) + " AB\n";
  ASSERT_EQ(r.out.substr(0, firstEntries.size()), firstEntries);

  // The status reply's note: note indent 19 + 14 + 11 + 14 + 28.
  const std::string readEntry = r.out.substr(firstEntries.size());
  const std::string readLine = "HIDRead" + blanks(7) + shortPrefix + " 0   0000 a000 r0   01\n";
  ASSERT_EQ(readEntry.substr(0, readLine.size() + 86), readLine + blanks(86));
  EXPECT_NE(readEntry.at(readLine.size() + 86), ' ');
  EXPECT_EQ(readEntry.back(), '\n');
}

TEST_F(LinePrefix, LaterRecordsOfVersionTwoInheritTheKeptWidthsWithoutTypeColumn) {
  const std::string shortPrefix = "0.500" + blanks(5) + "  P00004/T00003 ";
  const RunResult r = runTrace(mixedVersions(), {"-t", "-p", "-H"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::string firstEntries =
      "11/14-22:13:20.000 1.000" + blanks(6) + "P00002/T00001 " + blanks(10) + "v3\n" +
      // wrap indent 19 + 11 + 14 + 18, dump indent 1 + 26 + 1 + 19
      shortPrefix + " 0   1234 5678 r0   " + test::dottedCount(0x41, 25) + ".\n" + blanks(62) +
      "5a\n" + blanks(47) + "ABCDEFGHIJKLMNOPQRSTUVWXYZ\n" +
      // hex indent 1 + 26 + 1 + 8
      shortPrefix + blanks(10) + "41.42\n" + blanks(36) + " AB\n";
  ASSERT_EQ(r.out.substr(0, firstEntries.size()), firstEntries);

  // Note indent 19 + 11 + 14 + 28.
  const std::string readEntry = r.out.substr(firstEntries.size());
  const std::string readLine = shortPrefix + " 0   0000 a000 r0   01\n";
  ASSERT_EQ(readEntry.substr(0, readLine.size() + 72), readLine + blanks(72));
  EXPECT_NE(readEntry.at(readLine.size() + 72), ' ');
}

TEST_F(LinePrefix, FailedTimeConversionKeepsTheEarlierWidths) {
  TraceBuilder t;
  t.marker(kMarkerV3)
      .text(1000.0, "a", ExtHeader{.thread = 1, .process = 2, .seconds = 1700000000})
      .text(2000.0, "b", ExtHeader{.seconds = 100})
      .marker(kMarkerV2)
      .hidGetFeat(2500.0, {0x00, 0x00, 0x11, 0x00}, sequence(26, 0x41));
  expectListing(runTrace(t, {"-t", "-p", "-h", "-1"}),
                "11/14-21:13:20.000 Text" + blanks(10) + "1.000" + blanks(6) + "P00002/T00001 " +
                    blanks(10) + "a\n" + "Comp=0, Minor=42(2a), Length=1, data='b'\n" +
                    "HIDGetFeat" + blanks(4) + "0.500" + blanks(5) + "  P00000/T00000 " +
                    " 0   0000 1100 r0   " + test::dottedCount(0x41, 25) + ".\n" + blanks(76) +
                    "5a\n");
}

TEST_F(LinePrefix, WithoutAnyVersionThreeRecordTheKeptWidthsAreZero) {
  TraceBuilder t;
  t.hidWrite(1000.0, {0x00, 0x00, 0x11, 0x00}, sequence(26, 0x41));
  // wrap indent 1 + 14 + 1 + 1 + 18, dump indent 1 + 14 + 10 + 1 + 19
  expectListing(runTrace(t), "HIDWrite" + blanks(6) + "1.000" + blanks(5) + " 0   0000 1100 r0   " +
                                 test::dottedCount(0x41, 25) + ".\n" + blanks(35) + "5a\n" +
                                 blanks(45) + "ABCDEFGHIJKLMNOPQRSTUVWXYZ\n");
}

}  // namespace
}  // namespace ovantrex
