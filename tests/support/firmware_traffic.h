// Firmware-report traffic as the update utility writes it, for hand-made
// test traces: the commands' and replies' transfer data.
#pragma once

#include <cstdint>
#include <string_view>

#include "trace_builder.h"

namespace ovantrex::test {

inline constexpr HidHeader kFirmware{0, 0, 0xa0, 0};

// 2001-09-09T01:46:40Z and its milliseconds.
inline ExtHeader at(std::uint16_t millis, std::int32_t extraSeconds = 0) {
  return {.thread = 1, .process = 2, .seconds = 1000000000 + extraSeconds, .millis = millis};
}

inline Payload startFlash() { return {0x02, 0x00, 0x01, 0x00}; }
// A flash write of count bytes; its length field is count + 6 unless given.
inline Payload flashWrite(std::uint32_t address, std::uint8_t count, int lengthField = -1) {
  const auto length = static_cast<std::uint16_t>(lengthField < 0 ? count + 6 : lengthField);
  Payload bytes{static_cast<std::uint8_t>(length & 0xff),
                static_cast<std::uint8_t>(length >> 8),
                0x02,
                0x00,
                count,
                static_cast<std::uint8_t>(address >> 16),
                static_cast<std::uint8_t>(address >> 8),
                static_cast<std::uint8_t>(address)};
  return bytes + repeated(count, 0x5a);
}
inline Payload checksum(std::uint16_t value) {
  return {0x06,
          0x00,
          0x02,
          0x00,
          0x00,
          static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value & 0xff),
          0x00};
}
inline Payload reset() { return {0x02, 0x00, 0x00, 0x40}; }
// A serial number of up to 255 characters, each in two bytes.
inline Payload serialNumber(std::string_view text) {
  const std::size_t length = 6 + 2 * text.size();
  Payload bytes{static_cast<std::uint8_t>(length & 0xff),
                static_cast<std::uint8_t>(length >> 8),
                0x10,
                0x00,
                static_cast<std::uint8_t>(text.size()),
                0,
                0,
                0};
  for (const char c : text) bytes += Payload{static_cast<std::uint8_t>(c), 0x00};
  return bytes;
}
inline Payload status(std::uint8_t bits) { return {bits, 0x00, 0x00, 0x00, 0x00, 0x00}; }

}  // namespace ovantrex::test
