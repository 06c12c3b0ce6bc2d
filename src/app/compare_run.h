// The comparison run (--compare GOOD -f TRACE): reads the reference trace
// and the trace, each into its facts and its steps, compares them and
// writes the comparison as text or JSON. The exit status is diff's: Done
// (0) when the steps are alike, Differ (1) when they differ, and
// CannotReadInput (2) when a trace cannot be opened or read (what was read
// is still compared); the other statuses as for every run.
#pragma once

#include "app/exit_status.h"
#include "app/platform.h"
#include "app/settings.h"
#include "core/reserved.h"
#include "output/common/writer.h"
#include "trace/trace_reader.h"

namespace ovantrex {

ExitStatus runComparison(const Settings& settings, TraceReader::Buffers buffers,
                         Reserved<Writer>& outputRoom, Writer& out, Writer& err,
                         const platform::MissingStreams& missing);

}  // namespace ovantrex
