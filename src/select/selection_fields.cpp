#include "select/selection_fields.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

namespace ovantrex {

namespace {

// The edit distance of two texts (insertions, deletions, substitutions).
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const std::size_t substitution = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
      row[j] = std::min({above + 1, row[j - 1] + 1, substitution});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The candidates whose distance is the least, at most four, in their order.
template <typename T, typename Distance>
std::vector<T> nearest(std::span<const T> candidates, Distance distance) {
  constexpr std::size_t kMost = 4;
  std::vector<std::pair<std::size_t, T>> scored;
  for (const T& candidate : candidates) scored.emplace_back(distance(candidate), candidate);
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<T> result;
  for (const auto& [score, candidate] : scored) {
    if (result.size() == kMost || score > scored.front().first) break;
    result.push_back(candidate);
  }
  return result;
}

// The marks of the records written around selected ones: no record has
// them before it is selected.
bool marksContext(const RecordField& row) {
  return &row == &field(RecordKey::LeftOut) || &row == &field(RecordKey::Context);
}

}  // namespace

std::vector<const RecordField*> selectionFields() {
  std::vector<const RecordField*> fields;
  fields.reserve(kRecordFields.size() + kSelectionFacts.size());
  for (const RecordField& row : kRecordFields) {
    if (!marksContext(row)) fields.push_back(&row);
  }
  for (const RecordField& row : kSelectionFacts) fields.push_back(&row);
  return fields;
}

namespace {

// A type's word in --fields, in the order of FieldType.
constexpr std::array<std::string_view, 11> kTypeWords{
    "number", "flag", "text", "bytes", "bytes", "time", "words", "key", "coded", "object", "list"};

std::string typeOf(const RecordField& field) {
  std::string type(kTypeWords[static_cast<std::size_t>(field.type)]);
  if (!field.unit.empty()) type.append(" (").append(field.unit).append(")");
  return type;
}

}  // namespace

void writeFieldList(Writer& out) {
  const std::vector<const RecordField*> fields = selectionFields();
  std::size_t keyWidth = 0;
  std::size_t typeWidth = 0;
  for (const RecordField* field : fields) {
    keyWidth = std::max(keyWidth, field->key.size());
    typeWidth = std::max(typeWidth, typeOf(*field).size());
  }
  for (const RecordField* field : fields) {
    const std::string type = typeOf(*field);
    out.put(field->key);
    out.blanks(keyWidth + 2 - field->key.size());
    out.put(type);
    out.blanks(typeWidth + 2 - type.size());
    out.put(field->meaning);
    out.put('\n');
  }
  out.flush();
}

const RecordField* findSelectionField(std::string_view key) {
  if (const RecordField* field = findRecordField(key))
    return marksContext(*field) ? nullptr : field;
  for (const RecordField& row : kSelectionFacts) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

std::vector<const RecordField*> nearestFields(std::string_view key) {
  const std::vector<const RecordField*> fields = selectionFields();
  return nearest<const RecordField*>(fields, [key](const RecordField* field) {
    return std::min(editDistance(key, field->key), editDistance(key, field->name()));
  });
}

std::vector<std::string_view> nearestWords(const CodedTable& table, std::string_view wanted) {
  std::vector<std::string_view> words;
  words.reserve(table.rows.size());
  for (const CodedValue& row : table.rows) words.push_back(row.words);
  return nearest<std::string_view>(
      words, [wanted](std::string_view candidate) { return editDistance(wanted, candidate); });
}

}  // namespace ovantrex
