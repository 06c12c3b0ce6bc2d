// Byte spans and the field readers that every step shares. Fields are read
// byte by byte, so the byte order of the machine never matters.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace ovantrex {

using Bytes = std::span<const std::uint8_t>;

// The byte at offset, or 0 where the bytes end before it.
inline std::uint8_t byteAt(Bytes bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : std::uint8_t{0};
}

// The bytes from offset on; empty where the bytes end before it.
inline Bytes bytesFrom(Bytes bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes.subspan(offset) : Bytes{};
}

// The bytes of a text.
inline Bytes asBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The three bytes from offset on, each 0 where the bytes end before it.
inline std::array<std::uint8_t, 3> threeBytesAt(Bytes bytes, std::size_t offset) {
  return {byteAt(bytes, offset), byteAt(bytes, offset + 1), byteAt(bytes, offset + 2)};
}

// A 24-bit number, its most significant byte first (a flash address, a
// RecordID).
constexpr std::uint32_t readBe24(std::span<const std::uint8_t, 3> bytes) {
  return std::uint32_t{bytes[0]} << 16 | std::uint32_t{bytes[1]} << 8 | bytes[2];
}

inline std::uint16_t readLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t readLe64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(readLe32(p)) |
         (static_cast<std::uint64_t>(readLe32(p + 4)) << 32);
}

// A view of bytes inside a decoded value. Two views are equal when they hold
// the same bytes, wherever those bytes lie.
struct ByteView {
  Bytes bytes;

  std::size_t size() const { return bytes.size(); }
  bool empty() const { return bytes.empty(); }
  std::uint8_t operator[](std::size_t i) const { return bytes[i]; }
  friend bool operator==(const ByteView& a, const ByteView& b) {
    return std::ranges::equal(a.bytes, b.bytes);
  }
};

}  // namespace ovantrex
