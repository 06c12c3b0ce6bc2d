// The indents that start the continuation lines of an entry. Every indent is
// a run of blanks: each prefix column counts with its width (at least one
// blank), the record-type column and its blank add 14 unless -H is on, and
// each indent adds a fixed count of blanks of its own.
#pragma once

#include <cstddef>
#include <string_view>

#include "output/common/writer.h"

namespace ovantrex {

// The three prefix strings of one entry: the time column stands in front of
// the record-type column, the elapsed and process/thread columns behind it.
// In format versions 1 and 2 the time and process strings are empty and the
// elapsed string is the short prefix (the elapsed value and, with -p, the
// process and thread ids).
struct PrefixStrings {
  std::string_view time;
  std::string_view elapsed;
  std::string_view process;
};

struct PrefixWidths {
  std::size_t time = 0;
  std::size_t elapsed = 0;
  std::size_t process = 0;
};

inline PrefixWidths widthsOf(const PrefixStrings& prefix) {
  return {prefix.time.size(), prefix.elapsed.size(), prefix.process.size()};
}

// Blanks of their own behind the prefix and type-column blanks.
inline constexpr std::size_t kNoteBlanks = 28;
inline constexpr std::size_t kDumpBlanks = 19;
inline constexpr std::size_t kWrapBlanks = 18;
inline constexpr std::size_t kHexBlanks = 8;
inline constexpr std::size_t kTypeColumn = 14;  // 13 characters and a blank

std::size_t indentLength(PrefixWidths widths, bool hideType, std::size_t ownBlanks);

// The lengths of all indents of one entry.
struct Indents {
  std::size_t note = 0;   // decoder notes: recorded widths
  std::size_t dump = 0;   // character lines: the record's own prefix strings
  std::size_t wrap = 0;   // continuation lines of wrapping dumps: recorded widths
  std::size_t hex = 0;    // a Hex entry's character line: the record's own strings
  std::size_t table = 0;  // extended version list: the kept prefix strings
};

// ownStrings: the widths of the strings handed with the record;
// recordedWidths: the widths recorded at the last format-version-3 record;
// keptStrings: the lengths of the kept prefix strings now. The last two
// differ after a record whose time column could not be built.
Indents measureIndents(PrefixWidths ownStrings, PrefixWidths recordedWidths,
                       PrefixWidths keptStrings, bool hideType);

// Where the body of an entry is written: the writer and the entry's indents.
struct EntryOut {
  Writer& out;
  Indents indent;
};

}  // namespace ovantrex
