// The device status reply: an HIDRead of the firmware report, as a value.
#pragma once

#include <array>
#include <cstdint>

#include "core/bytes.h"
#include "core/firmware_codes.h"

namespace ovantrex {

struct StatusReply {
  std::uint8_t status = 0;
  // With the EC-information bit: the current and the previous EC level.
  std::array<std::uint8_t, 2> ecCurrent{};
  std::array<std::uint8_t, 2> ecPrevious{};
  // Without it, a length byte above 0 makes the reply a flash read.
  bool flashRead = false;
  std::uint8_t flashLength = 0;  // as the reply gives it; it bounds nothing
  std::array<std::uint8_t, 3> flashAddress{};
  ByteView contents;       // flash read: every byte after the six fields
  bool truncated = false;  // the reply holds fewer than its six field bytes

  bool has(StatusBit bit) const { return (status & code(bit)) != 0; }
  // A status reply that reports an error: "Operation in Error", "Command
  // reject" or the serial-number bit.
  bool isError() const { return (status & kErrorStatusBits) != 0; }
  std::uint32_t flashAddressValue() const { return readBe24(flashAddress); }
  friend bool operator==(const StatusReply&, const StatusReply&) = default;
};

// data: the transfer data (payload from byte 8 on). A missing field byte
// reads as 0.
StatusReply decodeStatusReply(Bytes data);

}  // namespace ovantrex
