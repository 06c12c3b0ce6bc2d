#include "decode/component_report.h"

#include <algorithm>

#include "core/protocol.h"

namespace ovantrex {

namespace {

// Transfer data byte 2 counts the report's bytes after the first six.
constexpr std::size_t kCount = 2;
constexpr std::size_t kFixedBytes = 6;

}  // namespace

ComponentReport decodeComponentReport(Bytes data) {
  ComponentReport report;
  const std::size_t n = data[kCount];
  const std::size_t span = std::min(n + kFixedBytes, data.size());
  report.span = ByteView{data.first(span)};
  // An odd status byte and the version-list marker select the list.
  if ((data[0] & 1) != 0 && data[1] == kVersionListMarker) {
    const Bytes fromMarker = data.subspan(1);
    report.body = decodeExtendedVersionList(fromMarker.first(std::min(n + 5, fromMarker.size())));
  } else {
    report.body = decodeSmReport(data, span);
  }
  return report;
}

}  // namespace ovantrex
