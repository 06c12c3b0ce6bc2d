// The time of a record of format version 3: its seconds and milliseconds.
#pragma once

#include <cstdint>
#include <optional>

#include "core/trace_record.h"

namespace ovantrex {

struct TraceTime {
  std::int64_t seconds = 0;
  std::uint32_t milliseconds = 0;  // may reach past a second
  std::int64_t inMilliseconds() const { return seconds * 1000 + milliseconds; }
};

// The record's time; none before format version 3.
inline std::optional<TraceTime> timeOf(const Record& record) {
  if (record.formatVersion != 3) return std::nullopt;
  return TraceTime{record.ext.seconds, record.ext.milliseconds};
}

}  // namespace ovantrex
