// Text for an HTML page: every byte that comes from a trace passes through
// here, in element content and in attribute values alike.
//
// '&', '<', '>', '"' and '\'' become character references, so a trace can
// neither open an element nor leave an attribute. Bytes that an HTML page
// must not hold, or that a reader could not see, are written as "\x" and two
// hex digits, as the terminal form of the listing shows them: controls other
// than tab and line feed (carriage return too), DEL, C1 controls, the
// bidirectional controls and the line and paragraph separators (so that a
// text cannot reorder what the page shows around it), bytes that are not
// part of well-formed UTF-8, and the noncharacters U+FDD0 to U+FDEF and
// U+nFFFE, U+nFFFF. Well-formed UTF-8 of any other character passes.
#pragma once

#include <string_view>

#include "output/common/writer.h"

namespace ovantrex {

void writeHtmlText(Writer& out, std::string_view bytes);

}  // namespace ovantrex
