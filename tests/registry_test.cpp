// The registry's properties: every table of coded values and every record
// field can be named by a user (a key that is an identifier, words that are
// there), no two rows stand for one thing, and the record fields are the
// members that the JSON schema in docs/ allows, with the same coded words.
#include "core/registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ovantrex::test {
namespace {

using nlohmann::json;

bool isIdentifier(std::string_view key) {
  if (key.empty() || (key[0] >= '0' && key[0] <= '9')) return false;
  for (const char c : key) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  }
  return true;
}

TEST(Registry, EveryTableAndRowHasAKeyAndWordsThatNameItAlone) {
  std::set<std::string_view> tableKeys;
  for (const CodedTable* table : kCodedTables) {
    SCOPED_TRACE(table->key);
    EXPECT_TRUE(isIdentifier(table->key));
    EXPECT_TRUE(tableKeys.insert(table->key).second) << "a second table of this key";
    EXPECT_EQ(findCodedTable(table->key), table);
    EXPECT_FALSE(table->rows.empty());
    std::set<std::string_view> keys;
    std::set<std::string_view> words;
    std::set<std::uint32_t> values;
    for (const CodedValue& row : table->rows) {
      SCOPED_TRACE(row.key);
      EXPECT_TRUE(isIdentifier(row.key));
      EXPECT_FALSE(row.words.empty());
      EXPECT_TRUE(keys.insert(row.key).second) << "a second row of this key";
      EXPECT_TRUE(words.insert(row.words).second) << "a second row of the words " << row.words;
      EXPECT_TRUE(values.insert(row.value).second) << "a second row of the value " << row.value;
      // A user names a value by its key or by its words, and gets its row.
      EXPECT_EQ(table->byKey(row.key), &row);
      EXPECT_EQ(table->byWords(row.words), &row);
      EXPECT_EQ(table->find(row.value), &row);
    }
  }
  EXPECT_EQ(findCodedTable("no_such_table"), nullptr);
}

TEST(Registry, EveryFieldHasAUniqueKeyUnderAnObjectOrListAndATypeThatFitsItsTable) {
  std::set<std::string_view> keys;
  for (const RecordField& row : kRecordFields) {
    SCOPED_TRACE(row.key);
    EXPECT_TRUE(keys.insert(row.key).second) << "a second field of this key";
    EXPECT_TRUE(isIdentifier(row.name()));
    EXPECT_FALSE(row.meaning.empty());
    EXPECT_EQ(findRecordField(row.key), &row);
    if (const auto dot = row.key.rfind('.'); dot != std::string_view::npos) {
      const RecordField* parent = findRecordField(row.key.substr(0, dot));
      ASSERT_NE(parent, nullptr) << "no field holds it";
      EXPECT_TRUE(parent->type == FieldType::Object || parent->type == FieldType::List);
    }
    if (row.table != nullptr) {
      EXPECT_TRUE(row.type == FieldType::Words || row.type == FieldType::Key ||
                  row.type == FieldType::Coded || row.type == FieldType::List);
      EXPECT_EQ(findCodedTable(row.table->key), row.table) << "its table is not in the registry";
    }
  }
  EXPECT_EQ(findRecordField("decoded.no_such_field"), nullptr);
}

// The members that the schema allows below node, by their dotted paths, and
// the strings each may take (enum or const), where it names them.
class SchemaMembers {
 public:
  explicit SchemaMembers(const json& schema) : defs_(schema.at("$defs")) {}

  void walk(const json& root, const std::string& rootPath) {
    open_.emplace_back(&root, rootPath);
    while (!open_.empty()) {
      const auto [node, path] = open_.back();
      open_.pop_back();
      visit(*node, path);
    }
  }

  std::set<std::string> paths;
  std::map<std::string, std::set<std::string>> words;

 private:
  // Takes the words that node lists, and leaves what it holds to walk.
  void visit(const json& node, const std::string& path) {
    if (node.contains("$ref")) {
      const std::string name = node["$ref"].get<std::string>().substr(sizeof("#/$defs/") - 1);
      // A coded value and bytes that carry text are one field each.
      if (name != "coded" && name != "textBytes") open_.emplace_back(&defs_.at(name), path);
    }
    for (const char* alternatives : {"oneOf", "anyOf"}) {
      if (node.contains(alternatives))
        for (const json& each : node[alternatives]) open_.emplace_back(&each, path);
    }
    if (node.contains("enum"))
      for (const json& word : node["enum"])
        if (word.is_string()) words[path].insert(word.get<std::string>());
    if (node.contains("const") && node["const"].is_string())
      words[path].insert(node["const"].get<std::string>());
    if (node.contains("items")) open_.emplace_back(&node["items"], path);
    if (!node.contains("properties")) return;
    for (const auto& [key, member] : node["properties"].items()) {
      const std::string dotted = path.empty() ? key : path + "." + key;
      paths.insert(dotted);
      open_.emplace_back(&member, dotted);
    }
  }

  const json& defs_;
  std::vector<std::pair<const json*, std::string>> open_;
};

json readSchema() {
  std::ifstream file(std::string(OVANTREX_SOURCE_DIR) + "/docs/ovantrex.schema.json");
  return json::parse(file);
}

template <std::size_t N>
std::set<std::string> keysOf(const std::array<RecordField, N>& fields) {
  std::set<std::string> keys;
  for (const RecordField& row : fields) keys.emplace(row.key);
  return keys;
}

TEST(Registry, RecordAndDiagnosticFieldsAreTheMembersThatTheSchemaAllows) {
  const json schema = readSchema();
  SchemaMembers record(schema);
  record.walk(schema["$defs"]["record"], "");
  EXPECT_EQ(record.paths, keysOf(kRecordFields));
  SchemaMembers diagnostic(schema);
  diagnostic.walk(schema["$defs"]["diagnostic"], "");
  EXPECT_EQ(diagnostic.paths, keysOf(kDiagnosticFields));
}

TEST(Registry, CodedFieldsTakeTheWordsOrKeysThatTheSchemaLists) {
  const json schema = readSchema();
  SchemaMembers record(schema);
  record.walk(schema["$defs"]["record"], "");
  SchemaMembers diagnostic(schema);
  diagnostic.walk(schema["$defs"]["diagnostic"], "");
  const auto expectTable = [](const RecordField& row, const std::set<std::string>& listed) {
    SCOPED_TRACE(row.key);
    std::set<std::string> table;
    for (const CodedValue& value : row.table->rows)
      table.emplace(row.type == FieldType::Key ? value.key : value.words);
    EXPECT_EQ(listed, table);
  };
  std::size_t checked = 0;
  for (const RecordField& row : kRecordFields) {
    // The schema leaves a coded value's name, and the reason, any string.
    if (row.table == nullptr || row.type == FieldType::Coded || &row == &field(RecordKey::Reason))
      continue;
    expectTable(row, record.words[std::string(row.key)]);
    ++checked;
  }
  // The record type, the decoded kind and the status bits.
  EXPECT_EQ(checked, 3U);
  // A diagnostic is one of the table's, or the read that failed.
  std::set<std::string> diagnostics = diagnostic.words["diagnostic"];
  EXPECT_EQ(diagnostics.erase(std::string(kReadErrorDiagnostic)), 1U);
  expectTable(field(DiagnosticKey::Diagnostic), diagnostics);
}

}  // namespace
}  // namespace ovantrex::test
