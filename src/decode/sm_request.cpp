#include "decode/sm_request.h"

#include <algorithm>

#include "core/protocol.h"

namespace ovantrex {

namespace {

// Marker, entry-byte count, then (report kind, device class) pairs.
constexpr std::size_t kMarker = 0;
constexpr std::size_t kEntryBytes = 1;
constexpr std::size_t kEntries = 2;

}  // namespace

SmRequest decodeSmRequest(Bytes body) {
  SmRequest request;
  request.truncated = body.empty();
  if (body.empty() || body[kMarker] != kSmRequestMarker) return request;
  request.marked = true;
  if (body.size() <= kEntryBytes) {
    request.truncated = true;
    return request;
  }
  request.entryBytes = body[kEntryBytes];
  const Bytes held = body.subspan(kEntries);
  // Entries are counted two bytes at a time while their offset is below the
  // count: an odd count takes one more byte.
  const std::size_t counted = (std::size_t{request.entryBytes} + 1) / 2;
  const std::size_t whole = std::min(counted, held.size() / 2);
  request.entries = ByteView{held.first(2 * whole)};
  request.truncated = whole < counted;
  return request;
}

}  // namespace ovantrex
