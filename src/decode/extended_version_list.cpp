#include "decode/extended_version_list.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace ovantrex {

namespace {

// Offsets from the marker.
constexpr std::size_t kMarker = 0;
constexpr std::size_t kDataCount = 1;
constexpr std::size_t kRecordId = 2;
constexpr std::size_t kRows = 5;

constexpr std::uint8_t kMarkerValue = 0xFF;
// The device-level extended version list.
constexpr std::array<std::uint8_t, 3> kExtendedVersionListId{0xFF, 0x00, 0x02};
constexpr std::size_t kRowBytes = 5;

void tableLine(const EntryOut& entry) {
  entry.out.put('\n');
  entry.out.blanks(entry.indent.table);
}

}  // namespace

void printExtendedVersionList(const EntryOut& entry, Bytes fromMarker) {
  // A list too short to hold its marker, count and identifier is not one.
  if (fromMarker.size() < kRows) return;
  if (fromMarker[kMarker] != kMarkerValue) return;
  for (std::size_t i = 0; i < kExtendedVersionListId.size(); ++i) {
    if (fromMarker[kRecordId + i] != kExtendedVersionListId[i]) return;
  }
  const std::uint8_t dataCount = fromMarker[kDataCount];

  Writer& out = entry.out;
  tableLine(entry);
  out.put("Extended Component Version List - RecordID: ");
  for (std::size_t i = 0; i < kExtendedVersionListId.size(); ++i)
    out.hexByte(fromMarker[kRecordId + i]);
  out.put("  Data Count: ");
  out.decimal(dataCount);
  out.put('\n');
  out.blanks(entry.indent.table);
  out.put(" i rr gg ff bb\n");
  out.blanks(entry.indent.table);
  out.put("-- -- -- -- --");

  // Whole rows only, and only those that the bytes handed in hold.
  const std::size_t rowsCounted = dataCount / kRowBytes;
  const std::size_t rowsHeld = (fromMarker.size() - kRows) / kRowBytes;
  const std::size_t rows = rowsCounted < rowsHeld ? rowsCounted : rowsHeld;
  for (std::size_t r = 0; r < rows; ++r) {
    tableLine(entry);
    const Bytes row = fromMarker.subspan(kRows + r * kRowBytes, kRowBytes);
    for (std::size_t i = 0; i < kRowBytes; ++i) {
      if (i != 0) out.put(' ');
      out.hexByte(row[i]);
    }
  }
}

}  // namespace ovantrex
