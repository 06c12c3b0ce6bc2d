// The extended component version list table.

#include "decode/extended_version_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "decoder_indents.h"
#include "guarded_bytes.h"
#include "output/text/firmware_text.h"

namespace ovantrex {
namespace {

using test::kDecoderIndents;

// The span from the marker: marker 0xFF, data count, the RecordID and the
// row bytes.
std::vector<std::uint8_t> fromMarker(std::uint8_t dataCount,
                                     std::initializer_list<std::uint8_t> rows,
                                     std::initializer_list<std::uint8_t> recordId = {0xFF, 0x00,
                                                                                     0x02}) {
  std::vector<std::uint8_t> bytes{0xFF, dataCount};
  bytes.insert(bytes.end(), recordId);
  bytes.insert(bytes.end(), rows);
  return bytes;
}

// The table of one list. The decoder sees a view of exactly the bytes from
// the marker on inside a larger buffer whose next bytes are not zero.
std::string print(const std::vector<std::uint8_t>& bytes) {
  const test::GuardedBytes buffer(bytes);
  Writer w;
  writeVersionListTable(EntryOut{w, kDecoderIndents}, decodeExtendedVersionList(buffer.view()));
  return w.text();
}

std::string heading(int dataCount) {
  return "\n  Extended Component Version List - RecordID: ff0002  Data Count: " +
         std::to_string(dataCount) +
         "\n"
         "   i rr gg ff bb\n"
         "  -- -- -- -- --";
}

TEST(ExtendedVersionList, PrintsWholeRowsUnderTheHeads) {
  EXPECT_EQ(print(fromMarker(10, {0x01, 0x02, 0x03, 0x04, 0x05, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E})),
            "\n  Extended Component Version List - RecordID: ff0002  Data Count: 10\n"
            "   i rr gg ff bb\n"
            "  -- -- -- -- --\n"
            "  01 02 03 04 05\n"
            "  0a 0b 0c 0d 0e");
  // No rows for N = 0 and N = 4; a partial row is left out.
  EXPECT_EQ(print(fromMarker(0, {})), heading(0));
  EXPECT_EQ(print(fromMarker(4, {0xA1, 0xA2, 0xA3, 0xA4})), heading(4));
  EXPECT_EQ(print(fromMarker(7, {0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7})),
            heading(7) + "\n  f1 f2 f3 f4 f5");
}

TEST(ExtendedVersionList, TruncatedListPrintsOnlyRowsHeld) {
  // N says two rows; the span ends two bytes into the second.
  EXPECT_EQ(print(fromMarker(10, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07})),
            heading(10) + "\n  01 02 03 04 05");
  EXPECT_EQ(print(fromMarker(255, {0x01, 0x02})), heading(255));
}

TEST(ExtendedVersionList, OtherRecordIdsAndMarkersWriteNothing) {
  EXPECT_EQ(print(fromMarker(5, {1, 2, 3, 4, 5}, {0xFF, 0x00, 0x01})), "");
  EXPECT_EQ(print(fromMarker(5, {1, 2, 3, 4, 5}, {0xFE, 0x00, 0x02})), "");
  EXPECT_EQ(print(fromMarker(5, {1, 2, 3, 4, 5}, {0xFF, 0x01, 0x02})), "");
  std::vector<std::uint8_t> noMarker = fromMarker(5, {1, 2, 3, 4, 5});
  noMarker[0] = 0xFE;
  EXPECT_EQ(print(noMarker), "");
}

TEST(ExtendedVersionList, SpanTooShortForTheIdentifierWritesNothing) {
  EXPECT_EQ(print({}), "");
  EXPECT_EQ(print({0xFF}), "");
  EXPECT_EQ(print({0xFF, 0x00, 0xFF, 0x00}), "");
}

}  // namespace
}  // namespace ovantrex
