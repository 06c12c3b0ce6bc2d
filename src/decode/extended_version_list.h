// The extended component version list of a feature read of the firmware report.
#pragma once

#include "render/byte_dumps.h"
#include "render/indents.h"

namespace ovantrex {

// fromMarker: transfer data from byte 1 (the marker) on, cut to N + 5 bytes
// or to the end of the transfer data. Lines start with entry.indent.table.
void printExtendedVersionList(const EntryOut& entry, Bytes fromMarker);

}  // namespace ovantrex
