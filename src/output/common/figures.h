// The figures that every output writes alike: a flash address, a checksum,
// an EC level, a manufacture date.
#pragma once

#include <array>
#include <cstdint>

#include "core/record_fields.h"
#include "output/common/writer.h"

namespace ovantrex {

// "0x018010": "0x" and six hex digits.
inline void writeHexAddress(Writer& out, std::uint32_t address) {
  out.put("0x");
  out.hexPadded(address, 6);
}

// "0xabcd".
inline void writeChecksum(Writer& out, std::uint16_t checksum) {
  out.put("0x");
  out.hexPadded(checksum, 4);
}

// "02.03": the level's two bytes in hex, a dot between them.
inline void writeEcLevel(Writer& out, const std::array<std::uint8_t, 2>& level) {
  out.hexByte(level[0]);
  out.put('.');
  out.hexByte(level[1]);
}

// The headings of a version list's rows, " i rr gg ff bb": each column's
// name set right in the two characters of its bytes.
inline void writeVersionRowHeading(Writer& out) {
  for (std::size_t i = 0; i < kVersionRowNames.size(); ++i) {
    if (i != 0) out.put(' ');
    out.blanks(2 - kVersionRowNames[i].size());
    out.put(kVersionRowNames[i]);
  }
}

// A row of a version list: "06 07 08 09 0a".
inline void writeVersionRow(Writer& out, const std::array<std::uint8_t, 5>& row) {
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i != 0) out.put(' ');
    out.hexByte(row[i]);
  }
}

// A manufacture date: the hex digits of its value, at least four ("1205"
// for 0x1205).
inline void writeManufactureDate(Writer& out, std::uint32_t value) { out.hexPadded(value, 4); }

}  // namespace ovantrex
