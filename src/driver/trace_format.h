// The two fixed headers of a trace record. All numbers in a trace file are
// little-endian; fields are read byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ovantrex {

inline constexpr std::size_t kHeaderSize = 16;
// Records longer than this are skipped.
inline constexpr std::uint32_t kMaxRecordLength = 256000;

inline constexpr std::uint32_t kMinorFormat2 = 500;
inline constexpr std::uint32_t kMinorFormat3 = 501;

struct TraceRecordHeader {
  std::int32_t length = 0;
  std::uint32_t minorCode = 0;
  double timeStamp = 0;  // milliseconds
};

struct TraceExtHeader {
  std::uint32_t threadId = 0;
  std::uint32_t processId = 0;
  std::int32_t seconds = 0;
  std::uint8_t component = 0;
  std::uint16_t milliseconds = 0;
};

using HeaderBytes = std::span<const std::uint8_t, kHeaderSize>;

TraceRecordHeader parseRecordHeader(HeaderBytes bytes);
TraceExtHeader parseExtHeader(HeaderBytes bytes);

}  // namespace ovantrex
