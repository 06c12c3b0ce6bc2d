// The systems-management report: inventory and usage sections of a feature
// read of the firmware report.
#pragma once

#include <cstddef>

#include "render/byte_dumps.h"
#include "render/indents.h"

namespace ovantrex {

// data: the whole transfer data; walkBound: the span of the dispatcher's hex
// dump (transfer byte 2 + 6, cut at the end of data). Section tags are read
// below walkBound only; nothing is read beyond data.
void decodeSmReport(const EntryOut& entry, Bytes data, std::size_t walkBound);

}  // namespace ovantrex
