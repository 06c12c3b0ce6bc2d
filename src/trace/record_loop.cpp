#include "trace/record_loop.h"

#include <array>

#include "trace/record_header.h"

namespace ovantrex {

namespace {

constexpr int kShortReadsBeforeEnd = 5;

// The sink keeps the reader's payloads while the loop runs.
class KeptPayloads {
 public:
  KeptPayloads(TraceReader& input, RecordSink& sink) : input_(input) {
    input_.keepPayloadsFor(&sink);
  }
  ~KeptPayloads() { input_.keepPayloadsFor(nullptr); }
  KeptPayloads(const KeptPayloads&) = delete;
  KeptPayloads& operator=(const KeptPayloads&) = delete;

 private:
  TraceReader& input_;
};

}  // namespace

void readTrace(TraceReader& input, RecordSink& sink) {
  const KeptPayloads kept(input, sink);
  int formatVersion = 1;
  int shortReads = 0;
  std::array<std::uint8_t, kHeaderSize> bytes{};
  for (;;) {
    const std::uint64_t offset = input.position();
    if (input.read(bytes) < kHeaderSize) {
      // The bytes of a short read are dropped; the sixth one ends the loop.
      if (shortReads >= kShortReadsBeforeEnd) return;
      ++shortReads;
      continue;
    }
    Diagnostic skipped;
    skipped.offset = offset;
    skipped.header = parseRecordHeader(bytes);
    const TraceRecordHeader& header = skipped.header;
    // Only the 16 header bytes of an over-long or invalid record are consumed.
    const auto length = static_cast<std::uint32_t>(header.length);
    if (length > kMaxRecordLength) {
      skipped.kind = DiagnosticKind::Overlong;
      sink.diagnostic(skipped);
      continue;
    }
    if (header.minorCode == kMinorFormat2 || header.minorCode == kMinorFormat3) {
      formatVersion = header.minorCode == kMinorFormat2 ? 2 : 3;
      input.skip(length);
      continue;
    }
    if (header.minorCode == 0 || header.minorCode > kMinorFormat3) {
      skipped.kind = DiagnosticKind::InvalidMinor;
      sink.diagnostic(skipped);
      continue;
    }

    Record record;
    record.offset = offset;
    record.formatVersion = formatVersion;
    record.header = header;
    if (formatVersion != 1) {
      if (input.read(bytes) < kHeaderSize) {
        skipped.kind = DiagnosticKind::ShortExtHeader;
        sink.diagnostic(skipped);
        continue;
      }
      record.ext = parseExtHeader(bytes);
    }
    record.payload = input.take(length);
    if (record.payload.size() < length) {
      skipped.kind = DiagnosticKind::ShortPayload;
      skipped.bytesRead = record.payload.size();
      sink.diagnostic(skipped);
      continue;
    }
    sink.record(record);
  }
}

}  // namespace ovantrex
