// The comparison of two traces as text: the verdict, the table of the
// updates side by side (rows that differ marked "!"), the counts of the
// steps, and the differing steps in a unified-diff style with context
// steps around them (long runs of alike steps elided).
#pragma once

#include <cstddef>

#include "compare/comparison.h"
#include "output/common/writer.h"

namespace ovantrex {

inline constexpr std::size_t kDefaultContext = 3;

void writeComparisonText(Writer& out, const Comparison& comparison, std::size_t context);

}  // namespace ovantrex
