// The indents that start the continuation lines of an entry. Every indent is
// a run of blanks: each prefix column counts with its width (at least one
// blank), the record-type column and its blank add 14 unless -H is on, and
// each indent adds a fixed count of blanks of its own.
#pragma once

#include <cstddef>
#include <string_view>

#include "render/writer.h"

namespace ovantrex {

// The three prefix strings of one entry, in the order they are handed on:
// first (time column), second (elapsed column or short prefix), third
// (process/thread column).
struct PrefixStrings {
  std::string_view first;
  std::string_view second;
  std::string_view third;
};

struct PrefixWidths {
  std::size_t first = 0;
  std::size_t second = 0;
  std::size_t third = 0;
};

inline PrefixWidths widthsOf(const PrefixStrings& prefix) {
  return {prefix.first.size(), prefix.second.size(), prefix.third.size()};
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

// record: the strings handed with the record; recorded: the recorded prefix
// widths; kept: the lengths of the kept prefix strings.
Indents measureIndents(PrefixWidths record, PrefixWidths recorded, PrefixWidths kept,
                       bool hideType);

// Where the body of an entry is written: the writer and the entry's indents.
struct EntryOut {
  Writer& out;
  Indents indent;

  // Starts a decoder note: a new line and the note indent. The caller then
  // writes the note's words; a note never ends its own line.
  Writer& startNote() const {
    out.put('\n');
    out.blanks(indent.note);
    return out;
  }
  void note(std::string_view words) const { startNote().put(words); }
};

}  // namespace ovantrex
