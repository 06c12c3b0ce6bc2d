// The body of a systems-management request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"

namespace ovantrex {

struct SmRequestEntry {
  std::uint8_t reportKind = 0;
  std::uint8_t deviceClass = 0;
  friend bool operator==(const SmRequestEntry&, const SmRequestEntry&) = default;
};

struct SmRequest {
  bool marked = false;          // the body begins with the request marker
  std::uint8_t entryBytes = 0;  // the entry list's byte count as the request gives it
  ByteView entries;             // the entries listed, two bytes each
  bool truncated = false;       // the body ends before the marker, the count or a counted entry

  std::size_t count() const { return entries.size() / 2; }
  SmRequestEntry entry(std::size_t i) const { return {entries[2 * i], entries[2 * i + 1]}; }
  friend bool operator==(const SmRequest&, const SmRequest&) = default;
};

// body: the transfer data from offset 8 on, the bytes available. An odd
// count still takes the device class byte just after the counted bytes; an
// entry whose two bytes are not both there ends the list.
SmRequest decodeSmRequest(Bytes body);

}  // namespace ovantrex
