#include "output/common/diagnostic_message.h"

namespace ovantrex {

void writeDiagnosticMessage(Writer& out, const Diagnostic& diagnostic) {
  const TraceRecordHeader& header = diagnostic.header;
  switch (diagnostic.kind) {
    case DiagnosticKind::InvalidMinor:
      // The code in hex and as a signed 32-bit number.
      out.put("Minor code ");
      out.hex(header.minorCode);
      out.put('(');
      out.decimal(static_cast<std::int32_t>(header.minorCode));
      out.put(") not valid, skipping");
      break;
    case DiagnosticKind::Overlong:
      out.put("Length to read is too big (length=");
      out.decimal(header.length);
      out.put("/0x");
      out.hex(static_cast<std::uint32_t>(header.length));
      out.put("), skipping");
      break;
    case DiagnosticKind::ShortExtHeader: out.put("could not read version 2+ data"); break;
    case DiagnosticKind::ShortPayload:
      out.put("Could not read data bytes expected=");
      out.decimal(header.length);
      out.put(" actual=");
      out.decimal(static_cast<std::int64_t>(diagnostic.bytesRead));
      break;
  }
}

void writeDiagnosticLine(Writer& out, const Diagnostic& diagnostic) {
  writeDiagnosticMessage(out, diagnostic);
  out.put('\n');
  out.flush();
}

void reportOnStandardError(Writer& errors, bool reportOverlong, const Diagnostic& diagnostic) {
  switch (ruleOf(diagnostic.kind).toStandardError) {
    case ToStandardError::Never: return;
    case ToStandardError::WithOverlongReports:
      if (!reportOverlong) return;
      break;
    case ToStandardError::Always: break;
  }
  writeDiagnosticLine(errors, diagnostic);
}

}  // namespace ovantrex
