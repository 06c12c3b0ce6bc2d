// The JSON back end of the walk over a session's facts: the summary as one
// JSON object on one line, keyed by the facts' keys.
#pragma once

#include "analysis/session_facts.h"
#include "output/common/writer.h"
#include "output/summary/summary_row.h"

namespace ovantrex {

// The object and its line. scratch: a memory writer for the words of one
// note; words: one for a text's words before they are escaped; walkScratch:
// one for the walk. rowHead: the object is a batch run's row, which opens
// with the head and names the trace there alone.
void writeJsonSummary(Writer& out, Writer& scratch, Writer& words, Writer& walkScratch,
                      const SessionFacts& facts, const SummaryRowHead* rowHead = nullptr,
                      const RowMembers& more = {});

}  // namespace ovantrex
