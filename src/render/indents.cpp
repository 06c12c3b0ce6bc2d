#include "render/indents.h"

#include <algorithm>

namespace ovantrex {

std::size_t indentLength(PrefixWidths widths, bool hideType, std::size_t ownBlanks) {
  // An empty column still yields one blank.
  const std::size_t columns = std::max<std::size_t>(widths.first, 1) +
                              std::max<std::size_t>(widths.second, 1) +
                              std::max<std::size_t>(widths.third, 1);
  return columns + (hideType ? 0 : kTypeColumn) + ownBlanks;
}

Indents measureIndents(PrefixWidths record, PrefixWidths recorded, PrefixWidths kept,
                       bool hideType) {
  Indents indents;
  indents.note = indentLength(recorded, hideType, kNoteBlanks);
  indents.dump = indentLength(record, hideType, kDumpBlanks);
  indents.wrap = indentLength(recorded, hideType, kWrapBlanks);
  indents.hex = indentLength(record, hideType, kHexBlanks);
  indents.table = indentLength(kept, hideType, kDumpBlanks);
  return indents;
}

}  // namespace ovantrex
