// Firmware-report traffic as the update utility writes it, for hand-made
// test traces: the commands' and replies' transfer data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

// ---- Traces of many flash updates alike ----

// What each update of updatesOf() holds after its start, in this order.
struct UpdateTraffic {
  // One-byte flash writes at addresses 0, 2, 4, ...: ranges that never merge.
  std::size_t writes = 0;
  // Checksum writes of the values 0, 1, 2, ...
  std::size_t checksums = 0;
  // Serial numbers "S000", "S001", ..., no two alike.
  std::size_t serialNumbers = 0;
  // Replies of "Command reject": error replies.
  std::size_t errors = 0;
};

// count updates in format version 1, each a "Start flash update" and then
// the traffic. The records take, for offsets worked out by hand: a start
// 28 bytes, a write 33, a checksum 32, a serial number 40, a reply 30.
inline TraceBuilder updatesOf(std::size_t count, const UpdateTraffic& each) {
  TraceBuilder t;
  for (std::size_t update = 0; update < count; ++update) {
    t.hidWrite(0.0, kFirmware, startFlash());
    for (std::size_t i = 0; i < each.writes; ++i)
      t.hidWrite(0.0, kFirmware, flashWrite(static_cast<std::uint32_t>(2 * i), 1));
    for (std::size_t i = 0; i < each.checksums; ++i)
      t.hidWrite(0.0, kFirmware, checksum(static_cast<std::uint16_t>(i)));
    for (std::size_t i = 0; i < each.serialNumbers; ++i) {
      std::string serial = std::to_string(1000 + i % 1000);  // "1000" to "1999"
      serial[0] = 'S';
      t.hidWrite(0.0, kFirmware, serialNumber(serial));
    }
    for (std::size_t i = 0; i < each.errors; ++i) t.hidRead(0.0, kFirmware, status(0x80));
  }
  return t;
}

}  // namespace ovantrex::test
