#include "decode/record_id.h"

#include <string_view>

#include "render/writer.h"

namespace ovantrex {

namespace {

// The record kind (b1 * 256 + b2) names the record, once for the device-level
// lists (b0 = 0xff) and once for a component's records (b0 = 0xf0..0xfe).
struct RecordKindName {
  unsigned kind;
  std::string_view deviceList;
  std::string_view component;
};

constexpr RecordKindName kRecordKinds[] = {
    {0, "Device ID List", "ID String"},
    {1, "Device Version List", "Version"},
    {2, "Device Extended Version List", "Extended Version"},
};
constexpr RecordKindName kUnknownKind = {0, "Device Unknown List", "Unknown Record"};

const RecordKindName& recordKind(unsigned kind) {
  for (const auto& row : kRecordKinds) {
    if (row.kind == kind) return row;
  }
  return kUnknownKind;
}

void appendHexByte(std::string& text, std::uint8_t value) {
  text.push_back(kHexPairs.text[2 * value]);
  text.push_back(kHexPairs.text[2 * value + 1]);
}

}  // namespace

std::string nameRecordId(std::span<const std::uint8_t, 3> id) {
  const std::uint8_t b0 = id[0];
  std::string name;
  name.reserve(64);
  appendHexByte(name, b0);
  name.push_back('.');
  appendHexByte(name, id[1]);
  name.push_back('.');
  appendHexByte(name, id[2]);
  name.push_back(' ');

  // Only a high nibble of 0xf marks an information record.
  if ((b0 >> 4) != 0xF) {
    name += "Unknown Record";
    return name;
  }
  const RecordKindName& kind = recordKind(static_cast<unsigned>(id[1]) * 256U + id[2]);
  name += "Information,";
  const unsigned component = b0 & 0x0FU;
  if (component == 0xF) {
    name += kind.deviceList;
  } else {
    name += "Component=";
    name += std::to_string(component);
    name.push_back(' ');
    name += kind.component;
  }
  return name;
}

}  // namespace ovantrex
