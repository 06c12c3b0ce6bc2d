// A feature read of the firmware report with header byte 3 equal to 3: the
// extended component version list or the systems-management report.
#pragma once

#include <variant>

#include "core/bytes.h"
#include "decode/extended_version_list.h"
#include "decode/sm_report.h"

namespace ovantrex {

struct ComponentReport {
  // The report's bytes as it counts them: transfer data byte 2 + 6 bytes
  // from transfer data byte 0, cut at the end of the transfer data.
  ByteView span;
  std::variant<ExtendedVersionList, SmReport> body;
  friend bool operator==(const ComponentReport&, const ComponentReport&) = default;
};

// data: the transfer data, at least three bytes.
ComponentReport decodeComponentReport(Bytes data);

}  // namespace ovantrex
