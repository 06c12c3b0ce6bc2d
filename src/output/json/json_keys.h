// The keys of JSON members as they are written, made once from the
// registry's record fields: ,"name": for every field of a JSON Lines
// record and of a diagnostic.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "core/record_fields.h"
#include "output/common/writer.h"

namespace ovantrex {

// ,"name": (or "name": for the first member of an object).
struct MemberKey {
  std::array<char, 32> text{};
  std::size_t size = 0;

  constexpr std::string_view next() const { return {text.data(), size}; }
  constexpr std::string_view first() const { return next().substr(1); }
};

template <std::size_t N>
constexpr std::array<MemberKey, N> memberKeys(const std::array<RecordField, N>& fields) {
  std::array<MemberKey, N> keys{};
  for (std::size_t i = 0; i < N; ++i) {
    const std::string_view name = fields[i].name();
    if (name.size() + 4 > keys[i].text.size()) throw "a member's name is too long";
    MemberKey& key = keys[i];
    key.text[key.size++] = ',';
    key.text[key.size++] = '"';
    for (const char c : name) key.text[key.size++] = c;
    key.text[key.size++] = '"';
    key.text[key.size++] = ':';
  }
  return keys;
}

inline constexpr auto kRecordMemberKeys = memberKeys(kRecordFields);
inline constexpr auto kDiagnosticMemberKeys = memberKeys(kDiagnosticFields);

constexpr const MemberKey& memberKey(RecordKey key) { return kRecordMemberKeys[code(key)]; }
constexpr const MemberKey& memberKey(DiagnosticKey key) { return kDiagnosticMemberKeys[code(key)]; }

// The key of a member after the first; the caller writes the value.
template <typename Key>
Writer& member(Writer& out, Key key) {
  out.put(memberKey(key).next());
  return out;
}

}  // namespace ovantrex
