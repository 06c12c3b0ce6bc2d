#include "trace/record_header.h"

#include <bit>

namespace ovantrex {

TraceRecordHeader parseRecordHeader(HeaderBytes bytes) {
  const std::uint8_t* p = bytes.data();
  TraceRecordHeader header;
  header.length = static_cast<std::int32_t>(readLe32(p));
  header.minorCode = readLe32(p + 4);
  header.timeStamp = std::bit_cast<double>(readLe64(p + 8));
  return header;
}

TraceExtHeader parseExtHeader(HeaderBytes bytes) {
  const std::uint8_t* p = bytes.data();
  TraceExtHeader header;
  header.threadId = readLe32(p);
  header.processId = readLe32(p + 4);
  header.seconds = static_cast<std::int32_t>(readLe32(p + 8));
  header.component = p[12];
  header.milliseconds = readLe16(p + 14);
  return header;
}

}  // namespace ovantrex
