#include "output/html/html_text.h"

#include <cstdint>

#include "output/common/control_escaper.h"

namespace ovantrex {

namespace {

void putEscapedAscii(Writer& out, char c) {
  switch (c) {
    case '&': out.put("&amp;"); break;
    case '<': out.put("&lt;"); break;
    case '>': out.put("&gt;"); break;
    case '"': out.put("&quot;"); break;
    case '\'': out.put("&#39;"); break;
    default: out.put(c); break;
  }
}

// A whole UTF-8 sequence of two to four bytes, as the escaper lets it pass.
bool isNoncharacter(const char* sequence, std::size_t length) {
  const auto byte = [sequence](std::size_t i) { return static_cast<std::uint8_t>(sequence[i]); };
  std::uint32_t code = 0;
  if (length == 3) {
    code = (std::uint32_t{byte(0)} & 0x0fu) << 12 | (std::uint32_t{byte(1)} & 0x3fu) << 6 |
           (std::uint32_t{byte(2)} & 0x3fu);
  } else if (length == 4) {
    code = (std::uint32_t{byte(0)} & 0x07u) << 18 | (std::uint32_t{byte(1)} & 0x3fu) << 12 |
           (std::uint32_t{byte(2)} & 0x3fu) << 6 | (std::uint32_t{byte(3)} & 0x3fu);
  } else {
    return false;
  }
  return (code >= 0xfdd0 && code <= 0xfdef) || (code & 0xfffeu) == 0xfffeu;
}

// What the escaper settled: either a whole UTF-8 sequence, or ASCII (the
// byte itself or its "\x" form).
void putSettled(Writer& out, const char* begin, const char* end) {
  const auto length = static_cast<std::size_t>(end - begin);
  if (length == 0) return;
  if (static_cast<std::uint8_t>(begin[0]) >= 0x80) {
    if (!isNoncharacter(begin, length)) {
      out.put(std::string_view(begin, length));
      return;
    }
    for (const char* p = begin; p != end; ++p) {
      out.put("\\x");
      out.hexByte(static_cast<std::uint8_t>(*p));
    }
    return;
  }
  for (const char* p = begin; p != end; ++p) putEscapedAscii(out, *p);
}

}  // namespace

void writeHtmlText(Writer& out, std::string_view bytes) {
  ControlEscaper escaper;
  char settled[ControlEscaper::kMostPerStep];
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    // Printable ASCII outside a sequence goes straight out.
    if (byte >= 0x20 && byte < 0x7f && !escaper.holding()) {
      putEscapedAscii(out, c);
      continue;
    }
    putSettled(out, settled, escaper.step(byte, settled));
  }
  putSettled(out, settled, escaper.finish(settled));
}

}  // namespace ovantrex
