// Firmware-report entries as the whole program lists them: the hand-over
// from the dispatcher to the reply decoders, the counts cut at the payload's
// end, and the indents that follow the kept prefix of an earlier record.
#include <gtest/gtest.h>

#include <string>

#include "expected_text.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

using test::blanks;
using test::Payload;
using test::sequence;

// A format-version-3 text record at 1000 ms, then a marker that switches to
// format version 2: later records have the 10-character short prefix, while
// the kept prefix still holds the 11-character elapsed column of the text.
TraceBuilder afterVersion3() {
  TraceBuilder trace;
  trace.marker(kMarkerV3).text(1000.0, "hi").marker(kMarkerV2);
  return trace;
}

const std::string kTextEntry = "Text          1.000                hi\n";

TEST(FirmwareListing, VersionListTableFollowsTheKeptPrefixAfterAVersionChange) {
  TraceBuilder trace = afterVersion3();
  trace.hidGetFeat(3000.0, {0, 0, 0xa0, 3}, {0x01, 0xff, 0x05, 0xff, 0x00, 0x02, 1, 2, 3, 4, 5});
  // Kept prefix: "", 11 characters, "" -> 1 + 14 + 11 + 1 + 19 = 46 blanks.
  const std::string table = blanks(46);
  const std::string expected =
      kTextEntry +
      "HIDGetFeat    2.000      0   0000 a003 r0   01.ff.05.ff.00.02.01.02.03.04.05\n" + table +
      "Extended Component Version List - RecordID: ff0002  Data Count: 5\n" + table +
      " i rr gg ff bb\n" + table + "-- -- -- -- --\n" + table + "01 02 03 04 05\n";
  const RunResult result = runTrace(trace);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, expected);
}

TEST(FirmwareListing, VersionListTableFollowsTheKeptStringsAfterAFailedTimeConversion) {
  // The second text record's time (100 s, one hour back) is negative: it
  // gets the fallback entry, and the kept prefix then holds only its elapsed
  // column ("", 11, "") while the recorded widths stay (19, 11, 14).
  TraceBuilder trace;
  trace.marker(kMarkerV3)
      .text(1000.0, "a", ExtHeader{.thread = 1, .process = 2, .seconds = 1700000000})
      .text(2000.0, "b", ExtHeader{.seconds = 100})
      .marker(kMarkerV2)
      .hidGetFeat(2500.0, {0, 0, 0xa0, 3}, {0x01, 0xff, 0x05, 0xff, 0x00, 0x02, 1, 2, 3, 4, 5},
                  ExtHeader{.thread = 3, .process = 4});
  // Table indent from the kept strings: 1 + 14 + 11 + 1 + 19 = 46 blanks.
  const std::string table = blanks(46);
  const std::string expected =
      "11/14-21:13:20.000 Text          1.000      P00002/T00001           a\n"
      "Comp=0, Minor=42(2a), Length=1, data='b'\n"
      "HIDGetFeat    0.500       P00004/T00003  0   0000 a003 r0   "
      "01.ff.05.ff.00.02.01.02.03.04.05\n" +
      table + "Extended Component Version List - RecordID: ff0002  Data Count: 5\n" + table +
      " i rr gg ff bb\n" + table + "-- -- -- -- --\n" + table + "01 02 03 04 05\n";
  const RunResult result = runTrace(trace, {"-t", "-p", "-h", "-1"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, expected);
}

TEST(FirmwareListing, FlashReadDumpFollowsTheRecordWhileNotesFollowTheKeptWidths) {
  TraceBuilder trace = afterVersion3();
  trace.hidRead(3500.0, {0, 0, 0xa0, 0}, {0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 'A', 'B'});
  // Note indent from the recorded widths (0, 11, 0): 1 + 14 + 11 + 1 + 28 = 55.
  // Dump indent from the record's strings ("", 10, ""): 1 + 14 + 10 + 1 + 19 = 45.
  const std::string expected =
      kTextEntry + "HIDRead       2.500      0   0000 a000 r0   00.00.02.00.00.00.41.42\n" +
      blanks(55) + "Flash Read (length=2, address=00.00.00)\n" + blanks(45) + "AB\n";
  EXPECT_EQ(runTrace(trace).out, expected);
}

TEST(FirmwareListing, UsageSectionOfLength255GoesToTheVersionListInstead) {
  // 0x61 has bit 0 set and 0xff follows: the version list is chosen, and its
  // RecordID (01 07 00) is not the extended list, so nothing follows the
  // dump. Read as a usage section the bytes would give "PowerOnHours".
  // The count (0x42 + 6) is cut at the payload's end.
  TraceBuilder trace;
  trace.marker(kMarkerV3).hidGetFeat(0.0, {0, 0, 0xa0, 3}, {0x61, 0xff, 0x42, 0x01, 0x07, 0x00});
  EXPECT_EQ(runTrace(trace).out,
            "HIDGetFeat    0.000       0   0000 a003 r0   61.ff.42.01.07.00\n");
}

TEST(FirmwareListing, OddStatusWithoutMarkerGoesToTheSystemsManagementReport) {
  // Transfer byte 1 is not 0xff: the report decoder walks the usage section
  // 61 03 (42 01 07) below the bound 0x42 + 6, cut to the 5 bytes there.
  TraceBuilder trace;
  trace.marker(kMarkerV3).hidGetFeat(0.0, {0, 0, 0xa0, 3}, {0x61, 0x03, 0x42, 0x01, 0x07});
  EXPECT_EQ(runTrace(trace).out, "HIDGetFeat    0.000       0   0000 a003 r0   61.03.42.01.07\n" +
                                     blanks(1 + 14 + 11 + 1 + 28) + "PowerOnHours: 0x7(7)\n");
}

TEST(FirmwareListing, EvenStatusGoesToTheSystemsManagementReportWhateverTheMarker) {
  // Byte 1 is 0xff and the RecordID ff 00 02 follows the count, but byte 0
  // (0x60) is even: the report decoder reads an inventory section of 255
  // bytes whose first item, tag 0x84, is the logical device list. As a
  // version list the bytes would give a table with one row.
  TraceBuilder trace;
  trace.marker(kMarkerV3).hidGetFeat(
      0.0, {0, 0, 0xa0, 3}, {0x60, 0xff, 0x84, 0xff, 0x00, 0x02, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e});
  EXPECT_EQ(runTrace(trace).out,
            "HIDGetFeat    0.000       0   0000 a003 r0   60.ff.84.ff.00.02.0a.0b.0c.0d.0e\n" +
                blanks(55) + "Logical device list skipped\n");
}

TEST(FirmwareListing, FlashReadOfEightyBytesOrMoreHasNoWrapIndent) {
  // The flash contents (0x20, 0x21, ...) are the plain character dump: its
  // break after the 80th character is a bare newline, and the entry's own
  // newline follows it.
  TraceBuilder trace;
  trace.marker(kMarkerV3)
      .hidRead(0.0, {0, 0, 0xa0, 0},
               Payload{0x01, 0x00, 0x50, 0x00, 0x10, 0x00} + sequence(80, 0x20))
      .hidRead(0.0, {0, 0, 0xa0, 0},
               Payload{0x00, 0x00, 0x51, 0x00, 0x20, 0x00} + sequence(81, 0x20));
  // Wrap indent 1 + 14 + 11 + 1 + 18 = 45, note indent 55, dump indent 46.
  const std::string first = "HIDRead       0.000       0   0000 a000 r0   ";
  const std::string contentLines = test::dottedCount(0x20, 19) + ".\n" + blanks(45) +
                                   test::dottedCount(0x33, 25) + ".\n" + blanks(45) +
                                   test::dottedCount(0x4c, 25) + ".\n" + blanks(45);
  std::string characters;
  for (char c = 0x20; c < 0x70; ++c) characters += c;
  EXPECT_EQ(runTrace(trace).out,
            first + "01.00.50.00.10.00." + contentLines + test::dottedCount(0x65, 11) + "\n" +
                blanks(55) + "Command complete\n" + blanks(55) +
                "Flash Read (length=80, address=00.10.00)\n" + blanks(46) + characters + "\n\n" +
                first + "00.00.51.00.20.00." + contentLines + test::dottedCount(0x65, 12) + "\n" +
                blanks(55) + "Flash Read (length=81, address=00.20.00)\n" + blanks(46) +
                characters + "\np\n");
}

TEST(FirmwareListing, ComponentReportDumpIsCutToTheCountFromByte10) {
  // n = 2: the dump shows n + 6 = 8 transfer bytes; the ninth is not shown.
  // Byte 1 is not 0xff, so the usage section 61 06 is decoded: an unknown
  // counter (02, empty), then PowerOnHours under device class 0x00.
  TraceBuilder trace;
  trace.marker(kMarkerV3).hidGetFeat(0.0, {0, 0, 0xa0, 3},
                                     {0x61, 0x06, 0x02, 0x00, 0x42, 0x01, 0x07, 0x00, 0x99});
  EXPECT_EQ(runTrace(trace).out,
            "HIDGetFeat    0.000       0   0000 a003 r0   61.06.02.00.42.01.07.00\n" + blanks(55) +
                "PowerOnHours: 0x7(7)\n");
}

TEST(FirmwareListing, CommandNotesFollowTheDumpUnderTheNoteIndentWithoutTypeColumn) {
  TraceBuilder trace;
  trace.marker(kMarkerV3).hidWrite(
      0.0, {0, 0, 0xa0, 0},
      {0x0e, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00, 1, 2, 3, 4, 5, 6, 7, 8});
  // -H: the note indent is 1 + 11 + 1 + 28 = 41 blanks.
  EXPECT_EQ(runTrace(trace, {"-H"}).out,
            "0.000       0   0000 a000 r0   "
            "0e.00.02.00.08.01.80.00.01.02.03.04.05.06.07.08\n" +
                blanks(41) + "Flash write 8 bytes to address=0x018000\n");
}

}  // namespace
}  // namespace ovantrex::test
