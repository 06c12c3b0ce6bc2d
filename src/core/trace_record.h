// What the record loop yields: data records with both headers, and the
// loop's diagnostics. All three steps share these values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/bytes.h"
#include "core/protocol.h"
#include "core/record_codes.h"

namespace ovantrex {

struct TraceRecordHeader {
  std::int32_t length = 0;
  MinorCode minorCode = 0;
  double timeStamp = 0;  // milliseconds
};

// All zero in format version 1.
struct TraceExtHeader {
  std::uint32_t threadId = 0;
  std::uint32_t processId = 0;
  std::int32_t seconds = 0;  // since 1970-01-01 00:00:00 UTC
  std::uint8_t component = 0;
  std::uint16_t milliseconds = 0;
};

// A data record (minor code 1 to 499). The payload is valid until the loop
// reads the next record.
struct Record {
  std::uint64_t offset = 0;  // of the record header in the file
  int formatVersion = 1;
  TraceRecordHeader header;
  TraceExtHeader ext;
  Bytes payload;
};

// What the record loop skips, and why (DiagnosticKind: record_codes.h).
struct Diagnostic {
  DiagnosticKind kind = DiagnosticKind::InvalidMinor;
  std::uint64_t offset = 0;  // of the record header in the file
  TraceRecordHeader header;
  std::size_t bytesRead = 0;  // ShortPayload: the payload bytes that arrived
};

// The trace could not be read to its end: a read failed after offset bytes.
// Every record that lies wholly below offset has been handed on.
struct ReadFailure {
  std::uint64_t offset = 0;
  std::string reason;  // the system's words for the failure
};

}  // namespace ovantrex
