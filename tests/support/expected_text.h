// Pieces of expected listings, spelled out the plain way so that a test
// reads as the text it expects.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ovantrex::test {

inline std::string blanks(std::size_t count) { return std::string(count, ' '); }

// A Text entry of format version 1 or 2 with the default columns: the
// record-type column, the elapsed seconds in ten characters, ten blanks.
inline std::string textEntry(std::string_view elapsed, std::string_view text) {
  return "Text" + blanks(10) + std::string(elapsed) + blanks(10 - elapsed.size()) + blanks(10) +
         std::string(text) + "\n";
}

// Dotted hex of count bytes first, first + 1, ... (wrapping at 256), joined
// by "." with no dot after the last and no line breaks.
inline std::string dottedCount(unsigned first, std::size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned b = (first + static_cast<unsigned>(i)) & 0xffu;
    if (i > 0) text += '.';
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

// The UTF-8 bytes of the given characters (below U+10000). Characters that
// reorder text are made this way: in a string literal they would reorder
// the test's own source as an editor shows it.
inline std::string utf8(std::initializer_list<char32_t> characters) {
  std::string bytes;
  for (const char32_t c : characters) {
    const auto code = static_cast<unsigned>(c);
    if (code < 0x80) {
      bytes += static_cast<char>(code);
    } else if (code < 0x800) {
      bytes += {static_cast<char>(0xc0 | code >> 6), static_cast<char>(0x80 | (code & 0x3f))};
    } else {
      bytes += {static_cast<char>(0xe0 | code >> 12), static_cast<char>(0x80 | (code >> 6 & 0x3f)),
                static_cast<char>(0x80 | (code & 0x3f))};
    }
  }
  return bytes;
}

}  // namespace ovantrex::test
