#include "output/text/indents.h"

#include <algorithm>

namespace ovantrex {

std::size_t indentLength(PrefixWidths widths, bool hideType, std::size_t ownBlanks) {
  // An empty column still yields one blank.
  const std::size_t columns = std::max<std::size_t>(widths.time, 1) +
                              std::max<std::size_t>(widths.elapsed, 1) +
                              std::max<std::size_t>(widths.process, 1);
  return columns + (hideType ? 0 : kTypeColumn) + ownBlanks;
}

Indents measureIndents(PrefixWidths ownStrings, PrefixWidths recordedWidths,
                       PrefixWidths keptStrings, bool hideType) {
  Indents indents;
  indents.note = indentLength(recordedWidths, hideType, kNoteBlanks);
  indents.dump = indentLength(ownStrings, hideType, kDumpBlanks);
  indents.wrap = indentLength(recordedWidths, hideType, kWrapBlanks);
  indents.hex = indentLength(ownStrings, hideType, kHexBlanks);
  indents.table = indentLength(keptStrings, hideType, kDumpBlanks);
  return indents;
}

}  // namespace ovantrex
