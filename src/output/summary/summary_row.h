// A row of a batch run (--list): one JSON object on one line for each trace,
// its head first (the trace's name and the bytes read of it, the status that
// a run on that trace alone ends with, and why it could not be summarized),
// then the members of the trace's JSON summary but its own "trace".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "output/common/writer.h"

namespace ovantrex {

struct SummaryRowHead {
  std::string_view name;               // as the list names the trace
  std::optional<std::uint64_t> bytes;  // none when it could not be read at all
  int status = 0;
  std::optional<std::string_view> error;  // none when it was summarized
};

// "trace":{"name":...,"bytes":...},"status":...,"error":... (the members of
// the head, without the braces of the row).
void writeRowHead(Writer& out, const SummaryRowHead& head);
// The row of a trace that has no summary: the head alone, and its line end.
void writeHeadOnlyRow(Writer& out, const SummaryRowHead& head);

// More members of a row, after the summary's (the comparison of --compare):
// written after a comma, before the row's closing brace.
using RowMembers = std::function<void(Writer&)>;

}  // namespace ovantrex
