// The record dispatcher: writes the whole entry of one data record, its
// layout chosen by the minor code.
#pragma once

#include <cstdint>

#include "render/byte_dumps.h"
#include "render/indents.h"
#include "render/writer.h"

namespace ovantrex {

inline constexpr std::int32_t kMinorText = 42;
inline constexpr std::int32_t kMinorHex = 404;
inline constexpr std::int32_t kMinorHidWrite = 405;
inline constexpr std::int32_t kMinorHidRead = 406;
inline constexpr std::int32_t kMinorHidGetFeat = 407;
inline constexpr std::int32_t kMinorHidSetFeat = 408;

inline constexpr std::uint8_t kFirmwareReport = 0xa0;

// What an entry's indents are measured on besides the record's own strings.
struct EntryLayout {
  bool hideType = false;  // -H
  PrefixWidths recorded;  // the recorded widths of the kept prefix
  PrefixWidths kept;      // the lengths of the kept prefix strings
};

// Writes the entry, ending with its final newline. Throws RecordFailure,
// before writing anything, for a record that cannot be rendered: a HID
// transfer shorter than its 8-byte header, or a component report that ends
// before payload byte 11.
void renderRecord(Writer& out, const EntryLayout& layout, std::int32_t minorCode, Bytes payload,
                  const PrefixStrings& prefix);

}  // namespace ovantrex
