// The device status reply: an HIDRead of the firmware report, as a value.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/bytes.h"
#include "core/value_names.h"

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

  bool has(std::uint8_t mask) const { return (status & mask) != 0; }
  std::uint32_t flashAddressValue() const {
    return std::uint32_t{flashAddress[0]} << 16 | std::uint32_t{flashAddress[1]} << 8 |
           flashAddress[2];
  }
  friend bool operator==(const StatusReply&, const StatusReply&) = default;
};

// data: the transfer data (payload from byte 8 on). A missing field byte
// reads as 0.
StatusReply decodeStatusReply(Bytes data);

// The status bits that have a note, with the note's words, in the order in
// which a reply reports them. Bits 3 and 4 have none.
inline constexpr std::size_t kStatusBitNotes = 6;
std::span<const ValueName<std::uint8_t>> statusBitNames();

}  // namespace ovantrex
