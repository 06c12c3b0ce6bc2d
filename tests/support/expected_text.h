// Pieces of expected listings, spelled out the plain way so that a test
// reads as the text it expects.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ovantrex::test {

inline std::string blanks(std::size_t count) { return std::string(count, ' '); }

// The rules that the summary states, in the words that the documents give
// them (README, docs/json.md, the manual).
inline constexpr std::string_view kOutcomeRuleWords =
    "failed when the device refused a flash write, checksum write or reset of the update and no "
    "later one was accepted (a flash write to the same address with the same bytes, a checksum "
    "write, a reset); otherwise completed when a checksum write was accepted and the device was "
    "reset (a reset needs no reply); otherwise unfinished. Other error replies do not fail an "
    "update.";
inline constexpr std::string_view kPairingRuleWords =
    "each firmware command is paired with the next reply of the device (a read or feature read "
    "of the firmware report) before the next command; a command with none is unanswered, a reply "
    "with no command since the last reply is unsolicited; a command is refused when its reply is "
    "an error reply, accepted otherwise.";
inline constexpr std::string_view kPercentileWords =
    "by nearest rank; exact while a kind of command has at most 1024 response times, past that "
    "from a histogram, within 0.5%";

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
