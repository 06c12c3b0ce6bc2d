// The three-byte RecordID of a device's information area, and its name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/bytes.h"

namespace ovantrex {

// b0, b1, b2 in the order in which they stand in a command.
using RecordId = std::array<std::uint8_t, 3>;

// A RecordID's name, held in place: "f3.00.01 Information,Component=3 Version".
class RecordIdName {
 public:
  // The longest name has 50 characters.
  static constexpr std::size_t kCapacity = 64;

  std::string_view view() const { return {text_.data(), size_}; }
  operator std::string_view() const { return view(); }

  void append(std::string_view part);

 private:
  std::array<char, kCapacity> text_{};
  std::size_t size_ = 0;
};

RecordIdName nameRecordId(std::span<const std::uint8_t, 3> id);

// The three bytes as one number, b0 the most significant.
inline std::uint32_t recordIdValue(const RecordId& id) { return readBe24(id); }

}  // namespace ovantrex
