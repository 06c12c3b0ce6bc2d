// The body of a systems-management request, and the names of report kinds
// and device classes that the request and the report share.
#pragma once

#include <cstdint>
#include <string_view>

#include "render/byte_dumps.h"
#include "render/indents.h"

namespace ovantrex {

// "Inventory Report", "Usage Report", or empty.
std::string_view nameReportKind(std::uint8_t kind);
// "Physical Device", "Keyboard", ... or empty.
std::string_view nameDeviceClass(std::uint8_t deviceClass);

// body: the transfer data from offset 8 on (the bytes available). One note
// per entry; reads nothing beyond body.
void decodeSmRequest(const EntryOut& entry, Bytes body);

}  // namespace ovantrex
