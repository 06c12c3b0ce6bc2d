// The registry's coded values: every value that the protocol or the program
// codes as a number (a command class, a status bit, an outcome, ...) is one
// row of its table, with the number that stands for it, its words as the
// listing shows them and its key in JSON. Each table is made from one list
// (an X-macro: OVANTREX_COMMAND_KINDS(ROW), ...), which also makes its enum
// and whatever other columns an output needs, so that no table can be out
// of step with another.
//
// A list's rows are ROW(Name, value, words, key, ...) for a protocol's
// codes, whose enumerators take the values given; a list of the program's
// own values leaves the value out (ROW(Name, words, key, ...)) and its
// enumerators count from 0 in the order of the rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

namespace ovantrex {

struct CodedValue {
  std::uint32_t value = 0;
  std::string_view words;  // as the listing shows the value
  std::string_view key;    // as JSON names it: an identifier
};

// A table of coded values, searchable by value, by key and by words.
struct CodedTable {
  std::string_view key;  // the table's name: "command_kind"
  std::span<const CodedValue> rows;
  CodedValue unknown;  // the words and key of a value that no row lists

  constexpr const CodedValue* find(std::uint32_t value) const {
    for (const CodedValue& row : rows) {
      if (row.value == value) return &row;
    }
    return nullptr;
  }
  constexpr bool knows(std::uint32_t value) const { return find(value) != nullptr; }
  // The row of value, or the unknown row.
  constexpr const CodedValue& at(std::uint32_t value) const {
    const CodedValue* row = find(value);
    return row != nullptr ? *row : unknown;
  }
  constexpr std::string_view words(std::uint32_t value) const { return at(value).words; }
  constexpr const CodedValue* byKey(std::string_view wanted) const {
    for (const CodedValue& row : rows) {
      if (row.key == wanted) return &row;
    }
    return nullptr;
  }
  constexpr const CodedValue* byWords(std::string_view wanted) const {
    for (const CodedValue& row : rows) {
      if (row.words == wanted) return &row;
    }
    return nullptr;
  }
};

// The number of an enumerator: code(SystemCommand::Reset) is 0x40.
template <typename Enum>
constexpr std::underlying_type_t<Enum> code(Enum value) {
  return static_cast<std::underlying_type_t<Enum>>(value);
}

// Rows of the program's own values, numbered from 0 in their order.
template <std::size_t N>
constexpr std::array<CodedValue, N> numbered(std::array<CodedValue, N> rows) {
  for (std::size_t i = 0; i < N; ++i) rows[i].value = static_cast<std::uint32_t>(i);
  return rows;
}

}  // namespace ovantrex

// The pieces that make an enum and a table from a list. A list's array is
// made by std::to_array({...}), not by std::array's deduction from its
// braces: the cross compiler for Windows puts an inline array whose type
// its own definition deduces first in writable data in one file and in
// read-only data in another, and its linker refuses the two.
#define OVANTREX_ENUMERATOR(name, ...) name,
#define OVANTREX_CODED_ENUMERATOR(name, value, ...) name = value,
#define OVANTREX_ROW(name, words, key, ...) ::ovantrex::CodedValue{0, words, key},
#define OVANTREX_CODED_ROW(name, value, words, key, ...) ::ovantrex::CodedValue{value, words, key},
