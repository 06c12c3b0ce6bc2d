// The extended component version list of a feature read of the firmware
// report, as a value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "decode/record_id.h"

namespace ovantrex {

struct ExtendedVersionList {
  // The marker and the RecordID of the device-level extended version list
  // are there: only then is the list a table of rows.
  bool listed = false;
  RecordId recordId{};
  std::uint8_t dataCount = 0;  // row bytes as the reply counts them
  ByteView rows;               // the whole rows that the reply holds, five bytes each
  bool truncated = false;      // the reply ends before its identifier or inside its rows

  static constexpr std::size_t kRowBytes = 5;
  std::size_t rowCount() const { return rows.size() / kRowBytes; }
  std::array<std::uint8_t, kRowBytes> row(std::size_t r) const {
    std::array<std::uint8_t, kRowBytes> bytes{};
    for (std::size_t i = 0; i < kRowBytes; ++i) bytes[i] = rows[r * kRowBytes + i];
    return bytes;
  }
  friend bool operator==(const ExtendedVersionList&, const ExtendedVersionList&) = default;
};

// fromMarker: transfer data from byte 1 (the marker) on, cut to N + 5 bytes
// or to the end of the transfer data.
ExtendedVersionList decodeExtendedVersionList(Bytes fromMarker);

}  // namespace ovantrex
