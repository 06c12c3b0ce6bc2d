// The command decoder: an HIDWrite of the firmware report.
#pragma once

#include "render/byte_dumps.h"
#include "render/indents.h"

namespace ovantrex {

// data: the transfer data (payload from byte 8 on). Writes the command's
// notes; reads nothing beyond data.
void decodeFirmwareCommand(const EntryOut& entry, Bytes data);

}  // namespace ovantrex
