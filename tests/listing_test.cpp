#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "expected_text.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex {
namespace {

using namespace std::string_literals;
using test::ExtHeader;
using test::kMarkerV3;
using test::Payload;
using test::repeated;
using test::RunResult;
using test::runTrace;
using test::sequence;
using test::TraceBuilder;

using test::blanks;

// count characters first, first + 1, ... (all printable in the tests).
std::string charRun(char first, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += static_cast<char>(first + static_cast<char>(i));
  return text;
}

// "pair.pair...pair" of count equal bytes, no trailing dot.
std::string hexRepeat(std::string_view pair, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += '.';
    text += pair;
  }
  return text;
}

void expectListing(const RunResult& r, const std::string& listing) {
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, listing);
}

class Listing : public ::testing::Test {
 protected:
  void SetUp() override { test::useZone("UTC"); }
};

// Format version 1 with the default columns: the short prefix is "0.000"
// and five blanks; no version-3 record has set the kept widths, so the wrap
// indent is 1 + 14 + 1 + 1 + 18 = 35 and the note indent 45; the dump
// indent is 1 + 14 + 10 + 1 + 19 = 45, the hex indent 1 + 14 + 10 + 1 + 8 = 34.
// With -H: wrap 21, dump 31, hex 20.
const std::string kPrefix = "0.000" + blanks(5);

TEST_F(Listing, WorkedExampleColumns) {
  TraceBuilder t;
  t.marker(kMarkerV3)
      .hidWrite(1000.0, {0x01, 0x02, 0x03, 0x04}, sequence(26, 0x41))
      .hex(2000.0, "ABC");

  const std::string write = "HIDWrite" + blanks(6) + "1.000" + blanks(6) + " 0   0102 0304 r0   ";
  ASSERT_EQ(write.size(), 45u);  // the first data byte stands in column 45
  const std::string hex = "Hex" + blanks(11) + "1.000" + blanks(6) + blanks(10);
  ASSERT_EQ(hex.size(), 35u);
  expectListing(runTrace(t), write + test::dottedCount(0x41, 25) + ".\n" + blanks(45) + "5a\n" +
                                 blanks(46) + charRun('A', 26) + "\n" + hex + "41.42.43\n" +
                                 blanks(35) + " ABC\n");

  const std::string writeH = "1.000" + blanks(6) + " 0   0102 0304 r0   ";
  ASSERT_EQ(writeH.size(), 31u);
  const std::string hexH = "1.000" + blanks(6) + blanks(10);
  ASSERT_EQ(hexH.size(), 21u);
  expectListing(runTrace(t, {"-H"}), writeH + test::dottedCount(0x41, 25) + ".\n" + blanks(31) +
                                         "5a\n" + blanks(32) + charRun('A', 26) + "\n" + hexH +
                                         "41.42.43\n" + blanks(21) + " ABC\n");
}

TEST_F(Listing, AllPrefixColumnsCountInEveryIndent) {
  TraceBuilder t;
  const ExtHeader ext{.thread = 1, .process = 2, .seconds = 1700000000};
  t.marker(kMarkerV3)
      .hidWrite(1000.0, {0x01, 0x02, 0x03, 0x04}, sequence(26, 0x41), ext)
      .hidSetFeat(1000.0, {0x00, 0x00, 0x00, 0x05, 1, 0xab, 0xcd}, "hi", ext)
      .hex(1000.0, "Z", ext);
  const std::string time = "11/14-22:13:20.000 ";
  const std::string ids = "P00002/T00001 ";
  // wrap 19 + 14 + 11 + 14 + 18 = 76, dump 77, hex 66
  expectListing(runTrace(t, {"-t", "-p", "-c"}),
                time + "HIDWrite" + blanks(6) + "1.000" + blanks(6) + ids + " 0   0102 0304 r0   " +
                    test::dottedCount(0x41, 25) + ".\n" + blanks(76) + "5a\n" + blanks(77) +
                    charRun('A', 26) + "\n" +  //
                    time + "HIDSetFeat" + blanks(4) + "1.000" + blanks(6) + ids +
                    " 1   abcd 00 00 r5  68.69\n" + blanks(77) + "hi\n" +  //
                    time + "Hex" + blanks(11) + "1.000" + blanks(6) + ids + blanks(10) + "5a\n" +
                    blanks(66) + " Z\n");
  // Without the type column: wrap 62, dump 63, hex 52
  expectListing(runTrace(t, {"-t", "-p", "-c", "-H"}),
                time + "1.000" + blanks(6) + ids + " 0   0102 0304 r0   " +
                    test::dottedCount(0x41, 25) + ".\n" + blanks(62) + "5a\n" + blanks(63) +
                    charRun('A', 26) + "\n" +  //
                    time + "1.000" + blanks(6) + ids + " 1   abcd 00 00 r5  68.69\n" + blanks(63) +
                    "hi\n" +  //
                    time + "1.000" + blanks(6) + ids + blanks(10) + "5a\n" + blanks(52) + " Z\n");
}

// Text ------------------------------------------------------------------

TEST_F(Listing, TextLosesOneLineEnd) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abc\n", "abc"},
      {"abc\n\n", "abc"},
      {"abc\nX", "abc"},
      {"abc\r\n", "abc\r"},
      {"\n", ""},
      {"ab\0cd"s, "ab"},
      {"x", "x"},
      {"", ""},
      {"a\n\n\n", "a\n"},
      {"\nX", ""},
      {"\n\n", ""},
      {"abc\0\n"s, "abc"},
      {"t\x01\xe9 z", "t\x01\xe9 z"},
  };
  for (const auto& [payload, shown] : cases) {
    TraceBuilder t;
    t.text(0.0, payload);
    expectListing(runTrace(t), "Text" + blanks(10) + kPrefix + blanks(10) + shown + "\n");
  }
  TraceBuilder t;
  t.text(0.0, "hello\n");
  expectListing(runTrace(t, {"-H"}), kPrefix + blanks(10) + "hello\n");
}

TEST_F(Listing, FirstTextRecordOfEachVersion) {
  TraceBuilder v1;
  v1.text(1500.0, "hello\n");
  expectListing(runTrace(v1), "Text" + blanks(10) + "1.500" + blanks(15) + "hello\n");
  TraceBuilder v3;
  v3.marker(kMarkerV3).text(1500.0, "hello\n");
  expectListing(runTrace(v3), "Text" + blanks(10) + "1.500" + blanks(16) + "hello\n");
}

// Hex -------------------------------------------------------------------

TEST_F(Listing, HexEntryHasDottedHexAndACharacterLine) {
  TraceBuilder t;
  t.hex(0.0, "")
      .hex(0.0, {0x41, 0x00, 0x7f, 0x7e})
      .hex(0.0, sequence(26, 0x41))
      .hex(0.0, repeated(80, 'x'));
  const std::string first = "Hex" + blanks(11) + kPrefix + blanks(10);
  const std::string x80(80, 'x');
  expectListing(runTrace(t), first + "\n" + blanks(34) + " \n" +                     //
                                 first + "41.00.7f.7e\n" + blanks(34) + " A..~\n" +  //
                                 first + test::dottedCount(0x41, 25) + ".\n5a\n" + blanks(34) +
                                 " " + charRun('A', 26) + "\n" +  //
                                 first + hexRepeat("78", 25) + ".\n" + hexRepeat("78", 25) + ".\n" +
                                 hexRepeat("78", 25) + ".\n" + hexRepeat("78", 5) + "\n" +
                                 blanks(34) + " " + x80 + "\n\n");

  const std::string firstH = kPrefix + blanks(10);
  expectListing(runTrace(t, {"-H"}), firstH + "\n" + blanks(20) + " \n" +                     //
                                         firstH + "41.00.7f.7e\n" + blanks(20) + " A..~\n" +  //
                                         firstH + test::dottedCount(0x41, 25) + ".\n5a\n" +
                                         blanks(20) + " " + charRun('A', 26) + "\n" +  //
                                         firstH + hexRepeat("78", 25) + ".\n" +
                                         hexRepeat("78", 25) + ".\n" + hexRepeat("78", 25) + ".\n" +
                                         hexRepeat("78", 5) + "\n" + blanks(20) + " " + x80 +
                                         "\n\n");
}

// Unknown ---------------------------------------------------------------

TEST_F(Listing, UnknownEntryEndsWithAnEmptyLine) {
  TraceBuilder t;
  t.record(255, 0.0, "ab\x01").record(1, 0.0, "").record(499, 0.0, repeated(81, 'u'));
  const std::string first = "Unknown" + blanks(7) + kPrefix + blanks(10);
  expectListing(runTrace(t), first + "Minor=255(ff), Length=3, data='ab.'\n\n" +  //
                                 first + "Minor=1(1), Length=0, data=''\n\n" +    //
                                 first + "Minor=499(1f3), Length=81, data='" +
                                 std::string(80, 'u') + "\nu'\n\n");
  expectListing(runTrace(t, {"-H", "-m"}),
                blanks(10) + "Minor=255(ff), Length=3, data='ab.'\n\n" +  //
                    blanks(10) + "Minor=1(1), Length=0, data=''\n\n" +    //
                    blanks(10) + "Minor=499(1f3), Length=81, data='" + std::string(80, 'u') +
                    "\nu'\n\n");
}

// HID transfers ---------------------------------------------------------

TEST_F(Listing, HidWriteOfAnotherReportWrapsBothDumps) {
  TraceBuilder t;
  t.hidWrite(0.0, {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0}, {0x41, 0x00, 0xff})
      .hidWrite(0.0, {0x12, 0x34, 0x56, 0x78}, sequence(81, 0x20))
      .hidWrite(0.0, {0x12, 0x34, 0x56, 0x78}, sequence(80, 0x20))
      .hidWrite(0.0, {0x12, 0x34, 0x56, 0x78}, "");
  const std::string first = "HIDWrite" + blanks(6) + kPrefix + " 0   1234 5678 r0   ";
  const std::string hex81 =
      test::dottedCount(0x20, 25) + ".\n" + blanks(35) + test::dottedCount(0x39, 25) + ".\n" +
      blanks(35) + test::dottedCount(0x52, 25) + ".\n" + blanks(35) + test::dottedCount(0x6b, 6);
  const std::string hex80 =
      test::dottedCount(0x20, 25) + ".\n" + blanks(35) + test::dottedCount(0x39, 25) + ".\n" +
      blanks(35) + test::dottedCount(0x52, 25) + ".\n" + blanks(35) + test::dottedCount(0x6b, 5);
  expectListing(runTrace(t), first + "41.00.ff\n" + blanks(45) + "A..\n" +  //
                                 first + hex81 + "\n" + blanks(45) + charRun(' ', 80) + "\n" +
                                 blanks(35) + " |p\n" +  //
                                 first + hex80 + "\n" + blanks(45) + charRun(' ', 80) + "\n" +
                                 blanks(35) + " |\n" +  //
                                 first + "\n" + blanks(45) + "\n");

  const std::string firstH = kPrefix + " 0   1234 5678 r0   ";
  const std::string hex81H =
      test::dottedCount(0x20, 25) + ".\n" + blanks(21) + test::dottedCount(0x39, 25) + ".\n" +
      blanks(21) + test::dottedCount(0x52, 25) + ".\n" + blanks(21) + test::dottedCount(0x6b, 6);
  const std::string hex80H =
      test::dottedCount(0x20, 25) + ".\n" + blanks(21) + test::dottedCount(0x39, 25) + ".\n" +
      blanks(21) + test::dottedCount(0x52, 25) + ".\n" + blanks(21) + test::dottedCount(0x6b, 5);
  expectListing(runTrace(t, {"-H"}), firstH + "41.00.ff\n" + blanks(31) + "A..\n" +  //
                                         firstH + hex81H + "\n" + blanks(31) + charRun(' ', 80) +
                                         "\n" + blanks(21) + " |p\n" +  //
                                         firstH + hex80H + "\n" + blanks(31) + charRun(' ', 80) +
                                         "\n" + blanks(21) + " |\n" +  //
                                         firstH + "\n" + blanks(31) + "\n");
}

TEST_F(Listing, HidReadOfAnotherReportHasAPlainCharacterLine) {
  TraceBuilder t;
  t.hidRead(0.0, {0xaa, 0xbb, 0x9f, 0x03}, {0x41, 0x00, 0xff})
      .hidRead(0.0, {0xaa, 0xbb, 0x9f, 0x03}, sequence(81, 0x20))
      .hidRead(0.0, {0xaa, 0xbb, 0x9f, 0x03}, sequence(80, 0x20));
  const std::string first = "HIDRead" + blanks(7) + kPrefix + " 0   aabb 9f03 r0   ";
  const std::string hex80 =
      test::dottedCount(0x20, 25) + ".\n" + blanks(35) + test::dottedCount(0x39, 25) + ".\n" +
      blanks(35) + test::dottedCount(0x52, 25) + ".\n" + blanks(35) + test::dottedCount(0x6b, 5);
  expectListing(runTrace(t), first + "41.00.ff\n" + blanks(45) + "A..\n" +  //
                                 first + hex80 + ".70\n" + blanks(45) + charRun(' ', 80) +
                                 "\np\n" +  //
                                 first + hex80 + "\n" + blanks(45) + charRun(' ', 80) + "\n\n");
  const std::string firstH = kPrefix + " 0   aabb 9f03 r0   ";
  EXPECT_EQ(runTrace(t, {"-H"}).out.substr(0, firstH.size() + 9 + 31 + 4),
            firstH + "41.00.ff\n" + blanks(31) + "A..\n");
}

TEST_F(Listing, HidGetFeatHasNoCharacterLine) {
  TraceBuilder t;
  t.hidGetFeat(0.0, {0x01, 0x02, 0x9f, 0x03}, sequence(26, 0x41))
      .hidGetFeat(0.0, {0x01, 0x02, 0x03, 0xa0}, {0x41})
      .hidGetFeat(0.0, {0x01, 0x02, 0x03, 0x04}, "");
  expectListing(runTrace(t), "HIDGetFeat" + blanks(4) + kPrefix + " 0   0102 9f03 r0   " +
                                 test::dottedCount(0x41, 25) + ".\n" + blanks(35) + "5a\n" +  //
                                 "HIDGetFeat" + blanks(4) + kPrefix +
                                 " 0   0102 03a0 r0   41\n" +  //
                                 "HIDGetFeat" + blanks(4) + kPrefix + " 0   0102 0304 r0   \n");
}

TEST_F(Listing, FirmwareGetFeatOtherThanTheComponentReportDumpsFromByteTwelve) {
  TraceBuilder t;
  t.hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x01}, Payload{0xd0, 0xd1, 0xd2, 0xd3} + sequence(27, 0x41))
      .hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x04}, {0xd0, 0xd1, 0xd2, 0xd3, 0x01, 0x02})
      .hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x02}, {0xd0, 0xd1})
      .hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x00}, {0xd0, 0xd1, 0xd2, 0xd3});
  const std::string first = "HIDGetFeat" + blanks(4) + kPrefix + " 0   0000 a0";
  expectListing(runTrace(t), first + "01 r0   " + test::dottedCount(0x41, 25) + ".\n" + blanks(35) +
                                 "5a.5b\n" +                  //
                                 first + "04 r0   01.02\n" +  //
                                 first + "02 r0   \n" +       //
                                 first + "00 r0   \n");
  expectListing(runTrace(t, {"-H"}), kPrefix + " 0   0000 a001 r0   " +
                                         test::dottedCount(0x41, 25) + ".\n" + blanks(21) +
                                         "5a.5b\n" +                                //
                                         kPrefix + " 0   0000 a004 r0   01.02\n" +  //
                                         kPrefix + " 0   0000 a002 r0   \n" +       //
                                         kPrefix + " 0   0000 a000 r0   \n");
}

TEST_F(Listing, HidSetFeatShowsItsOwnHeaderFields) {
  TraceBuilder t;
  t.hidSetFeat(0.0, {0x01, 0x02, 0xa0, 0x0a, 200, 0xab, 0xcd, 0xef}, {0x41, 0x42, 0x00})
      .hidSetFeat(0.0, {0x00, 0x00, 0x11, 0x1f, 0, 0x00, 0x07, 0x00}, sequence(26, 0x41))
      .hidSetFeat(0.0, {0x00, 0x00, 0x11, 0x00, 255}, "");
  const std::string first = "HIDSetFeat" + blanks(4) + kPrefix;
  expectListing(runTrace(t), first + " 200   abcd 00 00 ra  41.42.00\n" + blanks(45) + "AB.\n" +  //
                                 first + " 0   0007 00 00 r1f " + test::dottedCount(0x41, 25) +
                                 ".\n5a\n" + blanks(45) +   //
                                 charRun('A', 26) + "\n" +  //
                                 first + " 255   0000 00 00 r0  \n" + blanks(45) + "\n");
  expectListing(runTrace(t, {"-H"}), kPrefix + " 200   abcd 00 00 ra  41.42.00\n" + blanks(31) +
                                         "AB.\n" +  //
                                         kPrefix + " 0   0007 00 00 r1f " +
                                         test::dottedCount(0x41, 25) + ".\n5a\n" + blanks(31) +  //
                                         charRun('A', 26) + "\n" +                               //
                                         kPrefix + " 255   0000 00 00 r0  \n" + blanks(31) + "\n");
}

TEST_F(Listing, HidSetFeatHeaderByteThreeTakesTwoCharactersFrom0x10On) {
  // "r%-2x ": one digit and two blanks up to 0x0f, two digits and one blank
  // from 0x10 on; the data starts in the same column either way.
  TraceBuilder t;
  t.hidSetFeat(0.0, {0x00, 0x00, 0x00, 0x0f, 1, 0x12, 0x34}, {0x41})
      .hidSetFeat(0.0, {0x00, 0x00, 0x00, 0x10, 1, 0x12, 0x34}, {0x41});
  const std::string first = "HIDSetFeat" + blanks(4) + kPrefix + " 1   1234 00 00 ";
  expectListing(runTrace(t), first + "rf  41\n" + blanks(45) + "A\n" +  //
                                 first + "r10 41\n" + blanks(45) + "A\n");
}

// Firmware report -------------------------------------------------------

// Format version 1 with the default columns: no version-3 record has set
// the recorded widths, so the note indent is 1 + 14 + 1 + 1 + 28 = 45
// blanks (with -H 31).
TEST_F(Listing, FirmwareReportEntriesAreTheirFirstLineDumpAndNotes) {
  // A flash write of 8 bytes to address 0x018000: length 14, class 0x02,
  // sub-command 0, data_count 8, address 01 80 00, then the 8 data bytes.
  TraceBuilder write;
  write.hidWrite(0.0, {0x00, 0x00, 0xa0, 0x00},
                 Payload{0x0e, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00} + sequence(8, 0x30));
  expectListing(runTrace(write), "HIDWrite" + blanks(6) + kPrefix + " 0   0000 a000 r0   " +
                                     "0e.00.02.00.08.01.80.00." + test::dottedCount(0x30, 8) +
                                     "\n" + blanks(45) +
                                     "Flash write 8 bytes to address=0x018000\n");

  // A status reply with EC levels, without the type column.
  TraceBuilder read;
  read.hidRead(0.0, {0x00, 0x00, 0xa0, 0x00}, {0x05, 0x01, 0x02, 0x03, 0x04, 0x05});
  expectListing(runTrace(read, {"-H"}),
                kPrefix + " 0   0000 a000 r0   05.01.02.03.04.05\n" + blanks(31) +
                    "Command complete\n" + blanks(31) +
                    "EC information available (current=01.02, previous=03.04)\n");

  // Component report: n = 2, so n + 6 bytes from payload byte 8 are dumped;
  // byte 8 is even, so the systems-management report decodes it, and its
  // first tag (0x00) is no section: no notes.
  TraceBuilder feature;
  feature.hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x03},
                     {0x00, 0x00, 0x02, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70});
  expectListing(runTrace(feature), "HIDGetFeat" + blanks(4) + kPrefix +
                                       " 0   0000 a003 r0   00.00.02.10.20.30.40.50\n");
}

TEST_F(Listing, FirmwareReadWithoutStatusBitsOrFlashReadIsItsFirstLineAlone) {
  TraceBuilder t;
  t.hidRead(0.0, {0x00, 0x00, 0xa0, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00})
      .hidRead(0.0, {0x00, 0x00, 0xa0, 0x00}, {0x18, 0x41, 0x00, 0x42, 0x43, 0x44});
  const std::string first = "HIDRead" + blanks(7) + kPrefix + " 0   0000 a000 r0   ";
  expectListing(runTrace(t), first + "00.00.00.00.00.00\n" + first + "18.41.00.42.43.44\n");
}

}  // namespace
}  // namespace ovantrex
