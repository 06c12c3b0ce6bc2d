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

TEST(FirmwareListing, ComponentReportDumpIsCutToTheCountFromByte10) {
  // n = 2: the dump shows n + 6 = 8 transfer bytes; the ninth is not shown.
  // Byte 1 is not 0xff, so the usage section 61 06 is decoded: an unknown
  // counter (02, empty), then PowerOnHours under device class 0x00.
  TraceBuilder trace;
  trace.marker(kMarkerV3).hidGetFeat(
      0.0, {0, 0, 0xa0, 3}, {0x61, 0x06, 0x02, 0x00, 0x42, 0x01, 0x07, 0x00, 0x99});
  EXPECT_EQ(runTrace(trace).out,
            "HIDGetFeat    0.000       0   0000 a003 r0   61.06.02.00.42.01.07.00\n" +
                blanks(55) + "PowerOnHours: 0x7(7)\n");
}

TEST(FirmwareListing, CommandNotesFollowTheDumpUnderTheNoteIndentWithoutTypeColumn) {
  TraceBuilder trace;
  trace.marker(kMarkerV3).hidWrite(
      0.0, {0, 0, 0xa0, 0}, {0x0e, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00, 1, 2, 3, 4, 5, 6, 7, 8});
  // -H: the note indent is 1 + 11 + 1 + 28 = 41 blanks.
  EXPECT_EQ(runTrace(trace, {"-H"}).out,
            "0.000       0   0000 a000 r0   "
            "0e.00.02.00.08.01.80.00.01.02.03.04.05.06.07.08\n" +
                blanks(41) + "Flash write 8 bytes to address=0x018000\n");
}

}  // namespace
}  // namespace ovantrex::test
