// Reading the two fixed headers of a trace record. All numbers in a trace
// file are little-endian; fields are read byte by byte.
#pragma once

#include <span>

#include "core/trace_record.h"

namespace ovantrex {

using HeaderBytes = std::span<const std::uint8_t, kHeaderSize>;

TraceRecordHeader parseRecordHeader(HeaderBytes bytes);
TraceExtHeader parseExtHeader(HeaderBytes bytes);

}  // namespace ovantrex
