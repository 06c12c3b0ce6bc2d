#include "output/summary/summary_row.h"

#include "output/common/json_values.h"

namespace ovantrex {

void writeRowHead(Writer& out, const SummaryRowHead& head) {
  out.put("\"trace\":");
  {
    JsonObject trace(out);
    trace.string("name", head.name);
    Writer& bytes = trace.key("bytes");
    if (head.bytes) {
      bytes.decimal(static_cast<std::int64_t>(*head.bytes));
    } else {
      bytes.put("null");
    }
  }
  out.put(",\"status\":");
  out.decimal(head.status);
  out.put(",\"error\":");
  if (head.error) {
    writeJsonString(out, *head.error);
  } else {
    out.put("null");
  }
}

void writeHeadOnlyRow(Writer& out, const SummaryRowHead& head) {
  out.put('{');
  writeRowHead(out, head);
  out.put("}\n");
}

}  // namespace ovantrex
