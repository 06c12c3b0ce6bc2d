// The comparison of two traces as one JSON object (keys in docs/json.md,
// schema docs/comparison.schema.json): the traces, the verdict, the first
// divergence, each update side by side with the keys of the rows that
// differ, and the runs of the alignment (the steps of the differing ones).
#pragma once

#include "compare/comparison.h"
#include "output/common/writer.h"

namespace ovantrex {

void writeComparisonJson(Writer& out, const Comparison& comparison);
// The member "comparison" of a batch's row (--list with --compare): GOOD's
// name, whether the trace is alike, the verdict and the first divergence.
void writeRowComparison(Writer& out, const Comparison& comparison);

}  // namespace ovantrex
