// The "decoded" member of a firmware-report record in JSON: the decoded
// values, numbers as numbers, every coded field as its raw value and its
// name, flag bytes as the value and the names of the bits set.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "decode/decoded_record.h"
#include "output/common/json_values.h"
#include "output/common/writer.h"

namespace ovantrex {

// Writes the object; the record must carry a firmware value.
void writeDecodedJson(Writer& out, const FirmwareBody& body);
// True when the body holds a value that writeDecodedJson can write.
bool hasDecodedJson(const FirmwareBody& body);

// The pieces that the session summary shows as the decoded values do.
// A coded field: {"value": v, "name": "..."}.
void writeCodedJson(JsonObject& object, std::string_view key, std::uint32_t value,
                    std::string_view name);
// A RecordID as a coded field: its three bytes as one number, and its name.
void writeRecordIdJson(JsonObject& object, std::string_view key, const RecordId& id);
// An EC level as the listing shows it: "02.03".
void writeEcLevelJson(Writer& out, const std::array<std::uint8_t, 2>& level);
// A row of the extended version list: {"i": .., "rr": .., "gg": .., "ff": .., "bb": ..}.
void writeVersionRowJson(Writer& out, const std::array<std::uint8_t, 5>& row);
// An inventory item: its tag as a coded field and, but for a logical device
// list, its value; a manufacture date also as the listing shows it, "date".
void writeInventoryItemJson(Writer& out, const InventoryItem& item);
// A usage counter: its device class (when withClass) and tag as coded
// fields, and its value.
void writeUsageCounterJson(Writer& out, const UsageCounter& counter, bool withClass);

}  // namespace ovantrex
