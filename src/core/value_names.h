// The one kind of number-to-name table: rows of a value and its name, and
// the name used for a value that no row lists. Tables are plain data, so
// that each can be checked line by line against the protocol.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace ovantrex {

template <typename Value>
struct ValueName {
  Value value;
  std::string_view name;
};

template <typename Value, std::size_t N>
struct NameTable {
  std::array<ValueName<Value>, N> rows;
  std::string_view unknown;

  // The row of value, or nullptr when no row lists it.
  constexpr const ValueName<Value>* find(const Value& value) const {
    for (const auto& row : rows) {
      if (row.value == value) return &row;
    }
    return nullptr;
  }
  constexpr bool knows(const Value& value) const { return find(value) != nullptr; }
  constexpr std::string_view name(const Value& value) const {
    const auto* row = find(value);
    return row != nullptr ? row->name : unknown;
  }
};

// Deduces the row count: makeNameTable<std::uint8_t>({{...}, ...}, "unknown").
template <typename Value, std::size_t N>
constexpr NameTable<Value, N> makeNameTable(const ValueName<Value> (&rows)[N],
                                            std::string_view unknown) {
  NameTable<Value, N> table{{}, unknown};
  for (std::size_t i = 0; i < N; ++i) table.rows[i] = rows[i];
  return table;
}

}  // namespace ovantrex
