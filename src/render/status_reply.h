// The device status reply: an HIDRead of the firmware report.
#pragma once

#include "render/byte_dumps.h"
#include "render/indents.h"

namespace ovantrex {

// payload: the whole record payload (transfer header and transfer data).
// Writes one note per status bit set and, for a flash read, its heading and
// the character dump (behind entry.indent.dump).
void decodeStatusReply(const EntryOut& entry, Bytes payload);

}  // namespace ovantrex
