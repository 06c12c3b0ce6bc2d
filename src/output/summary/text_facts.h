// The text back end of the walk over a session's facts: the summary as
// sections of labelled lines.
#pragma once

#include "analysis/session_facts.h"
#include "output/common/writer.h"

namespace ovantrex {

// scratch: a memory writer for the words of one note; walkScratch: another,
// for the walk.
void writeTextSummary(Writer& out, Writer& scratch, Writer& walkScratch, const SessionFacts& facts);

}  // namespace ovantrex
