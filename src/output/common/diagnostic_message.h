// The words of the record loop's diagnostics, without their line end, as
// the listing's streams carry them.
#pragma once

#include "core/trace_record.h"
#include "output/common/writer.h"

namespace ovantrex {

void writeDiagnosticMessage(Writer& out, const Diagnostic& diagnostic);
// The message, its line end, and a flush.
void writeDiagnosticLine(Writer& out, const Diagnostic& diagnostic);
// The messages that standard error carries, as the diagnostic's row says:
// every diagnostic but the invalid minor code, and an over-long length only
// with -x (reportOverlong). The session calls it, once for every output.
void reportOnStandardError(Writer& errors, bool reportOverlong, const Diagnostic& diagnostic);

}  // namespace ovantrex
