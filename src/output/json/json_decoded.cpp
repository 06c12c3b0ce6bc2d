#include "output/json/json_decoded.h"

namespace ovantrex {

void writeDecodedJson(Writer& out, const FirmwareBody& body) {
  out.put('{');
  JsonSink sink(out);
  describeDecoded(sink, body);
  out.put('}');
}

void writeCodedJson(JsonObject& object, std::string_view key, std::uint32_t value,
                    std::string_view name) {
  JsonObject field(object.key(key));
  field.number("value", value);
  field.string("name", name);
}

void writeRecordIdJson(JsonObject& object, std::string_view key, const RecordId& id) {
  writeCodedJson(object, key, recordIdValue(id), nameRecordId(id).view());
}

void writeEcLevelJson(Writer& out, const std::array<std::uint8_t, 2>& level) {
  out.put('"');
  writeEcLevel(out, level);
  out.put('"');
}

void writeVersionRowJson(Writer& out, const std::array<std::uint8_t, 5>& row) {
  JsonSink sink(out);
  describeVersionRow(sink, row);
}

void writeInventoryItemJson(Writer& out, const InventoryItem& item) {
  JsonSink sink(out);
  describeInventoryItem(sink, item);
}

void writeUsageCounterJson(Writer& out, const UsageCounter& counter, bool withClass) {
  JsonSink sink(out);
  describeUsageCounter(sink, counter, withClass);
}

}  // namespace ovantrex
