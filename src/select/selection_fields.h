// The fields that a selection of records (--where) names: the registry's
// record fields by their JSON Lines keys, and the facts of the pairing
// stage that a user asks of a record (its update, whether it is an error
// reply). --fields lists them in this order.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "core/record_fields.h"
#include "output/common/writer.h"

namespace ovantrex {

// The facts that no JSON Lines member holds, as rows of the same shape.
inline constexpr auto kSelectionFacts = std::to_array<RecordField>({
    {"update", FieldType::Number, nullptr, "",
     "the number of the update the record falls in, from 1; none outside any update"},
    {"error", FieldType::Flag, nullptr, "", "the record is an error reply, by the summary's rule"},
});
inline constexpr const RecordField& kUpdateFact = kSelectionFacts[0];
inline constexpr const RecordField& kErrorFact = kSelectionFacts[1];

// Every field, in the order of --fields.
std::vector<const RecordField*> selectionFields();

// The field of a key, or none.
const RecordField* findSelectionField(std::string_view key);

// The known fields nearest to an unknown key (by its whole key or by a
// field's last part), at most four, nearest first.
std::vector<const RecordField*> nearestFields(std::string_view key);

// The words of a coded value of table nearest to an unknown one, at most four.
std::vector<std::string_view> nearestWords(const CodedTable& table, std::string_view wanted);

// --fields: every field, one a line: its key, its type (and unit) and its meaning.
void writeFieldList(Writer& out);

}  // namespace ovantrex
