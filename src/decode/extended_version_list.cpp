#include "decode/extended_version_list.h"

#include <algorithm>

#include "core/protocol.h"

namespace ovantrex {

namespace {

// Offsets from the marker.
constexpr std::size_t kMarker = 0;
constexpr std::size_t kDataCount = 1;
constexpr std::size_t kRecordId = 2;
constexpr std::size_t kRows = 5;

}  // namespace

ExtendedVersionList decodeExtendedVersionList(Bytes fromMarker) {
  ExtendedVersionList list;
  list.dataCount = byteAt(fromMarker, kDataCount);
  list.recordId = threeBytesAt(fromMarker, kRecordId);
  // A reply too short to hold its marker, count and identifier is no list.
  if (fromMarker.size() < kRows) {
    list.truncated = true;
    return list;
  }
  list.listed =
      fromMarker[kMarker] == kVersionListMarker && list.recordId == kExtendedVersionListId;
  if (!list.listed) return list;
  // Whole rows only, and only those that the reply holds.
  const std::size_t counted = list.dataCount / ExtendedVersionList::kRowBytes;
  const std::size_t held = (fromMarker.size() - kRows) / ExtendedVersionList::kRowBytes;
  const std::size_t rows = std::min(counted, held);
  list.rows = ByteView{fromMarker.subspan(kRows, rows * ExtendedVersionList::kRowBytes)};
  list.truncated = held < counted;
  return list;
}

}  // namespace ovantrex
