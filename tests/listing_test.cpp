#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

std::string B(std::size_t n) { return std::string(n, ' '); }

// Dotted hex of count bytes first, first + 1, ... (no trailing dot).
std::string hexRun(unsigned first, std::size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned b = (first + static_cast<unsigned>(i)) & 0xffu;
    if (i > 0) text += '.';
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

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
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

// Format version 1 with the default columns: the short prefix is "0.000"
// and five blanks; no version-3 record has set the kept widths, so the wrap
// indent is 1 + 14 + 1 + 1 + 18 = 35 and the note indent 45; the dump
// indent is 1 + 14 + 10 + 1 + 19 = 45, the hex indent 1 + 14 + 10 + 1 + 8 = 34.
// With -H: wrap 21, dump 31, hex 20.
const std::string kPrefix = "0.000" + B(5);

TEST_F(Listing, WorkedExampleColumns) {
  TraceBuilder t;
  t.marker(kMarkerV3).hidWrite(1000.0, {0x01, 0x02, 0x03, 0x04}, sequence(26, 0x41)).hex(2000.0, "ABC");

  const std::string write = "HIDWrite" + B(6) + "1.000" + B(6) + " 0   0102 0304 r0   ";
  ASSERT_EQ(write.size(), 45u);  // the first data byte stands in column 45
  const std::string hex = "Hex" + B(11) + "1.000" + B(6) + B(10);
  ASSERT_EQ(hex.size(), 35u);
  expectListing(runTrace(t), write + hexRun(0x41, 25) + ".\n" + B(45) + "5a\n" + B(46) + charRun('A', 26) + "\n" +
                                 hex + "41.42.43\n" + B(35) + " ABC\n");

  const std::string writeH = "1.000" + B(6) + " 0   0102 0304 r0   ";
  ASSERT_EQ(writeH.size(), 31u);
  const std::string hexH = "1.000" + B(6) + B(10);
  ASSERT_EQ(hexH.size(), 21u);
  expectListing(runTrace(t, {"-H"}), writeH + hexRun(0x41, 25) + ".\n" + B(31) + "5a\n" + B(32) +
                                         charRun('A', 26) + "\n" + hexH + "41.42.43\n" + B(21) + " ABC\n");
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
                time + "HIDWrite" + B(6) + "1.000" + B(6) + ids + " 0   0102 0304 r0   " + hexRun(0x41, 25) + ".\n" +
                    B(76) + "5a\n" + B(77) + charRun('A', 26) + "\n" +  //
                    time + "HIDSetFeat" + B(4) + "1.000" + B(6) + ids + " 1   abcd 00 00 r5  68.69\n" + B(77) +
                    "hi\n" +  //
                    time + "Hex" + B(11) + "1.000" + B(6) + ids + B(10) + "5a\n" + B(66) + " Z\n");
  // Without the type column: wrap 62, dump 63, hex 52
  expectListing(runTrace(t, {"-t", "-p", "-c", "-H"}),
                time + "1.000" + B(6) + ids + " 0   0102 0304 r0   " + hexRun(0x41, 25) + ".\n" + B(62) + "5a\n" +
                    B(63) + charRun('A', 26) + "\n" +  //
                    time + "1.000" + B(6) + ids + " 1   abcd 00 00 r5  68.69\n" + B(63) + "hi\n" +  //
                    time + "1.000" + B(6) + ids + B(10) + "5a\n" + B(52) + " Z\n");
}

// Text ------------------------------------------------------------------

TEST_F(Listing, TextLosesOneLineEnd) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abc\n", "abc"},       {"abc\n\n", "abc"},     {"abc\nX", "abc"},    {"abc\r\n", "abc\r"},
      {"\n", ""},             {"ab\0cd"s, "ab"},      {"x", "x"},           {"", ""},
      {"a\n\n\n", "a\n"},     {"\nX", ""},            {"\n\n", ""},         {"abc\0\n"s, "abc"},
      {"t\x01\xe9 z", "t\x01\xe9 z"},
  };
  for (const auto& [payload, shown] : cases) {
    TraceBuilder t;
    t.text(0.0, payload);
    expectListing(runTrace(t), "Text" + B(10) + kPrefix + B(10) + shown + "\n");
  }
  TraceBuilder t;
  t.text(0.0, "hello\n");
  expectListing(runTrace(t, {"-H"}), kPrefix + B(10) + "hello\n");
}

TEST_F(Listing, FirstTextRecordOfEachVersion) {
  TraceBuilder v1;
  v1.text(1500.0, "hello\n");
  expectListing(runTrace(v1), "Text" + B(10) + "1.500" + B(15) + "hello\n");
  TraceBuilder v3;
  v3.marker(kMarkerV3).text(1500.0, "hello\n");
  expectListing(runTrace(v3), "Text" + B(10) + "1.500" + B(16) + "hello\n");
}

// Hex -------------------------------------------------------------------

TEST_F(Listing, HexEntryHasDottedHexAndACharacterLine) {
  TraceBuilder t;
  t.hex(0.0, "").hex(0.0, {0x41, 0x00, 0x7f, 0x7e}).hex(0.0, sequence(26, 0x41)).hex(0.0, repeated(80, 'x'));
  const std::string first = "Hex" + B(11) + kPrefix + B(10);
  const std::string x80(80, 'x');
  expectListing(runTrace(t), first + "\n" + B(34) + " \n" +                                     //
                                 first + "41.00.7f.7e\n" + B(34) + " A..~\n" +                  //
                                 first + hexRun(0x41, 25) + ".\n5a\n" + B(34) + " " + charRun('A', 26) + "\n" +  //
                                 first + hexRepeat("78", 25) + ".\n" + hexRepeat("78", 25) + ".\n" +
                                 hexRepeat("78", 25) + ".\n" + hexRepeat("78", 5) + "\n" + B(34) + " " + x80 + "\n\n");

  const std::string firstH = kPrefix + B(10);
  expectListing(runTrace(t, {"-H"}), firstH + "\n" + B(20) + " \n" +                 //
                                         firstH + "41.00.7f.7e\n" + B(20) + " A..~\n" +  //
                                         firstH + hexRun(0x41, 25) + ".\n5a\n" + B(20) + " " + charRun('A', 26) +
                                         "\n" +  //
                                         firstH + hexRepeat("78", 25) + ".\n" + hexRepeat("78", 25) + ".\n" +
                                         hexRepeat("78", 25) + ".\n" + hexRepeat("78", 5) + "\n" + B(20) + " " + x80 +
                                         "\n\n");
}

// Unknown ---------------------------------------------------------------

TEST_F(Listing, UnknownEntryEndsWithAnEmptyLine) {
  TraceBuilder t;
  t.record(255, 0.0, "ab\x01").record(1, 0.0, "").record(499, 0.0, repeated(81, 'u'));
  const std::string first = "Unknown" + B(7) + kPrefix + B(10);
  expectListing(runTrace(t), first + "Minor=255(ff), Length=3, data='ab.'\n\n" +  //
                                 first + "Minor=1(1), Length=0, data=''\n\n" +      //
                                 first + "Minor=499(1f3), Length=81, data='" + std::string(80, 'u') + "\nu'\n\n");
  expectListing(runTrace(t, {"-H", "-m"}), B(10) + "Minor=255(ff), Length=3, data='ab.'\n\n" +  //
                                               B(10) + "Minor=1(1), Length=0, data=''\n\n" +      //
                                               B(10) + "Minor=499(1f3), Length=81, data='" + std::string(80, 'u') +
                                               "\nu'\n\n");
}

// HID transfers ---------------------------------------------------------

TEST_F(Listing, HidWriteOfAnotherReportWrapsBothDumps) {
  TraceBuilder t;
  t.hidWrite(0.0, {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0}, {0x41, 0x00, 0xff})
      .hidWrite(0.0, {0x12, 0x34, 0x56, 0x78}, sequence(81, 0x20))
      .hidWrite(0.0, {0x12, 0x34, 0x56, 0x78}, sequence(80, 0x20))
      .hidWrite(0.0, {0x12, 0x34, 0x56, 0x78}, "");
  const std::string first = "HIDWrite" + B(6) + kPrefix + " 0   1234 5678 r0   ";
  const std::string hex81 = hexRun(0x20, 25) + ".\n" + B(35) + hexRun(0x39, 25) + ".\n" + B(35) + hexRun(0x52, 25) +
                            ".\n" + B(35) + hexRun(0x6b, 6);
  const std::string hex80 = hexRun(0x20, 25) + ".\n" + B(35) + hexRun(0x39, 25) + ".\n" + B(35) + hexRun(0x52, 25) +
                            ".\n" + B(35) + hexRun(0x6b, 5);
  expectListing(runTrace(t), first + "41.00.ff\n" + B(45) + "A..\n" +                                      //
                                 first + hex81 + "\n" + B(45) + charRun(' ', 80) + "\n" + B(35) + " |p\n" +  //
                                 first + hex80 + "\n" + B(45) + charRun(' ', 80) + "\n" + B(35) + " |\n" +   //
                                 first + "\n" + B(45) + "\n");

  const std::string firstH = kPrefix + " 0   1234 5678 r0   ";
  const std::string hex81H = hexRun(0x20, 25) + ".\n" + B(21) + hexRun(0x39, 25) + ".\n" + B(21) +
                             hexRun(0x52, 25) + ".\n" + B(21) + hexRun(0x6b, 6);
  const std::string hex80H = hexRun(0x20, 25) + ".\n" + B(21) + hexRun(0x39, 25) + ".\n" + B(21) +
                             hexRun(0x52, 25) + ".\n" + B(21) + hexRun(0x6b, 5);
  expectListing(runTrace(t, {"-H"}), firstH + "41.00.ff\n" + B(31) + "A..\n" +                                     //
                                         firstH + hex81H + "\n" + B(31) + charRun(' ', 80) + "\n" + B(21) + " |p\n" +  //
                                         firstH + hex80H + "\n" + B(31) + charRun(' ', 80) + "\n" + B(21) + " |\n" +   //
                                         firstH + "\n" + B(31) + "\n");
}

TEST_F(Listing, HidReadOfAnotherReportHasAPlainCharacterLine) {
  TraceBuilder t;
  t.hidRead(0.0, {0xaa, 0xbb, 0x9f, 0x03}, {0x41, 0x00, 0xff})
      .hidRead(0.0, {0xaa, 0xbb, 0x9f, 0x03}, sequence(81, 0x20))
      .hidRead(0.0, {0xaa, 0xbb, 0x9f, 0x03}, sequence(80, 0x20));
  const std::string first = "HIDRead" + B(7) + kPrefix + " 0   aabb 9f03 r0   ";
  const std::string hex80 = hexRun(0x20, 25) + ".\n" + B(35) + hexRun(0x39, 25) + ".\n" + B(35) + hexRun(0x52, 25) +
                            ".\n" + B(35) + hexRun(0x6b, 5);
  expectListing(runTrace(t), first + "41.00.ff\n" + B(45) + "A..\n" +                                       //
                                 first + hex80 + ".70\n" + B(45) + charRun(' ', 80) + "\np\n" +            //
                                 first + hex80 + "\n" + B(45) + charRun(' ', 80) + "\n\n");
  const std::string firstH = kPrefix + " 0   aabb 9f03 r0   ";
  EXPECT_EQ(runTrace(t, {"-H"}).out.substr(0, firstH.size() + 9 + 31 + 4),
            firstH + "41.00.ff\n" + B(31) + "A..\n");
}

TEST_F(Listing, HidGetFeatHasNoCharacterLine) {
  TraceBuilder t;
  t.hidGetFeat(0.0, {0x01, 0x02, 0x9f, 0x03}, sequence(26, 0x41))
      .hidGetFeat(0.0, {0x01, 0x02, 0x03, 0xa0}, {0x41})
      .hidGetFeat(0.0, {0x01, 0x02, 0x03, 0x04}, "");
  expectListing(runTrace(t), "HIDGetFeat" + B(4) + kPrefix + " 0   0102 9f03 r0   " + hexRun(0x41, 25) + ".\n" +
                                 B(35) + "5a\n" +                                             //
                                 "HIDGetFeat" + B(4) + kPrefix + " 0   0102 03a0 r0   41\n" +  //
                                 "HIDGetFeat" + B(4) + kPrefix + " 0   0102 0304 r0   \n");
}

TEST_F(Listing, FirmwareGetFeatOtherThanTheComponentReportDumpsFromByteTwelve) {
  TraceBuilder t;
  t.hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x01}, Payload{0xd0, 0xd1, 0xd2, 0xd3} + sequence(27, 0x41))
      .hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x04}, {0xd0, 0xd1, 0xd2, 0xd3, 0x01, 0x02})
      .hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x02}, {0xd0, 0xd1})
      .hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x00}, {0xd0, 0xd1, 0xd2, 0xd3});
  const std::string first = "HIDGetFeat" + B(4) + kPrefix + " 0   0000 a0";
  expectListing(runTrace(t), first + "01 r0   " + hexRun(0x41, 25) + ".\n" + B(35) + "5a.5b\n" +  //
                                 first + "04 r0   01.02\n" +                                         //
                                 first + "02 r0   \n" +                                              //
                                 first + "00 r0   \n");
  expectListing(runTrace(t, {"-H"}),
                kPrefix + " 0   0000 a001 r0   " + hexRun(0x41, 25) + ".\n" + B(21) + "5a.5b\n" +  //
                    kPrefix + " 0   0000 a004 r0   01.02\n" +                                      //
                    kPrefix + " 0   0000 a002 r0   \n" +                                           //
                    kPrefix + " 0   0000 a000 r0   \n");
}

TEST_F(Listing, HidSetFeatShowsItsOwnHeaderFields) {
  TraceBuilder t;
  t.hidSetFeat(0.0, {0x01, 0x02, 0xa0, 0x0a, 200, 0xab, 0xcd, 0xef}, {0x41, 0x42, 0x00})
      .hidSetFeat(0.0, {0x00, 0x00, 0x11, 0x1f, 0, 0x00, 0x07, 0x00}, sequence(26, 0x41))
      .hidSetFeat(0.0, {0x00, 0x00, 0x11, 0x00, 255}, "");
  const std::string first = "HIDSetFeat" + B(4) + kPrefix;
  expectListing(runTrace(t), first + " 200   abcd 00 00 ra  41.42.00\n" + B(45) + "AB.\n" +              //
                                 first + " 0   0007 00 00 r1f " + hexRun(0x41, 25) + ".\n5a\n" + B(45) +  //
                                 charRun('A', 26) + "\n" +                                            //
                                 first + " 255   0000 00 00 r0  \n" + B(45) + "\n");
  expectListing(runTrace(t, {"-H"}), kPrefix + " 200   abcd 00 00 ra  41.42.00\n" + B(31) + "AB.\n" +            //
                                         kPrefix + " 0   0007 00 00 r1f " + hexRun(0x41, 25) + ".\n5a\n" + B(31) +  //
                                         charRun('A', 26) + "\n" +                                              //
                                         kPrefix + " 255   0000 00 00 r0  \n" + B(31) + "\n");
}

// Firmware report -------------------------------------------------------

TEST_F(Listing, FirmwareReportEntriesStartWithTheirFirstLineAndDump) {
  TraceBuilder write;
  // A flash write of 8 bytes to address 0x018000.
  write.hidWrite(0.0, {0x00, 0x00, 0xa0, 0x00},
                 Payload{0x0e, 0x00, 0x02, 0x08, 0x01, 0x80, 0x00, 0x00} + sequence(8, 0x30));
  RunResult r = runTrace(write);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  std::string start = "HIDWrite" + B(6) + kPrefix + " 0   0000 a000 r0   0e.00.02.08.01.80.00.00." + hexRun(0x30, 8);
  EXPECT_EQ(r.out.substr(0, start.size()), start);
  EXPECT_EQ(r.out.substr(start.size(), 1), "\n");
  EXPECT_EQ(r.out.back(), '\n');

  TraceBuilder read;
  read.hidRead(0.0, {0x00, 0x00, 0xa0, 0x00}, {0x05, 0x01, 0x02, 0x03, 0x04, 0x05});
  r = runTrace(read, {"-H"});
  EXPECT_EQ(r.status, 0);
  start = kPrefix + " 0   0000 a000 r0   05.01.02.03.04.05";
  EXPECT_EQ(r.out.substr(0, start.size()), start);
  EXPECT_EQ(r.out.substr(start.size(), 1), "\n");

  // Component report: n = 2, so n + 6 bytes from payload byte 8 are dumped.
  TraceBuilder feature;
  feature.hidGetFeat(0.0, {0x00, 0x00, 0xa0, 0x03}, {0x00, 0x00, 0x02, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70});
  r = runTrace(feature);
  EXPECT_EQ(r.status, 0);
  start = "HIDGetFeat" + B(4) + kPrefix + " 0   0000 a003 r0   00.00.02.10.20.30.40.50";
  EXPECT_EQ(r.out.substr(0, start.size()), start);
  EXPECT_EQ(r.out.back(), '\n');
}

TEST_F(Listing, FirmwareReadWithoutStatusBitsOrFlashReadIsItsFirstLineAlone) {
  TraceBuilder t;
  t.hidRead(0.0, {0x00, 0x00, 0xa0, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00})
      .hidRead(0.0, {0x00, 0x00, 0xa0, 0x00}, {0x18, 0x41, 0x00, 0x42, 0x43, 0x44});
  const std::string first = "HIDRead" + B(7) + kPrefix + " 0   0000 a000 r0   ";
  expectListing(runTrace(t), first + "00.00.00.00.00.00\n" + first + "18.41.00.42.43.44\n");
}

}  // namespace
}  // namespace ovantrex
