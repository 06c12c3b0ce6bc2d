#include "decode/sm_request.h"

#include <cstddef>

namespace ovantrex {

namespace {

struct CodeName {
  std::uint8_t code;
  std::string_view name;
};

constexpr CodeName kReportKinds[] = {
    {0x60, "Inventory Report"},
    {0x61, "Usage Report"},
};

constexpr CodeName kDeviceClasses[] = {
    {0x00, "Physical Device"},
    {0x01, "All Devices"},
    {0x10, "Keyboard"},
    {0x11, "Keylock"},
    {0x12, "Tone"},
    {0x20, "Character Display"},
    {0x40, "MSR"},
};

// A code that the table does not list has an empty name.
template <std::size_t N>
std::string_view lookUp(const CodeName (&table)[N], std::uint8_t code) {
  for (const auto& row : table) {
    if (row.code == code) return row.name;
  }
  return {};
}

constexpr std::uint8_t kRequestMarker = 0x41;

}  // namespace

std::string_view nameReportKind(std::uint8_t kind) { return lookUp(kReportKinds, kind); }

std::string_view nameDeviceClass(std::uint8_t deviceClass) {
  return lookUp(kDeviceClasses, deviceClass);
}

void decodeSmRequest(const EntryOut& entry, Bytes body) {
  // marker, entry-byte count, then (report kind, device class) pairs.
  if (body.size() < 2 || body[0] != kRequestMarker) return;
  const std::size_t entryBytes = body[1];
  const Bytes entries = body.subspan(2);
  // An odd count still takes the device class byte just after the counted
  // bytes; an entry whose two bytes are not both there ends the list.
  for (std::size_t offset = 0; offset < entryBytes && offset + 1 < entries.size(); offset += 2) {
    Writer& out = entry.startNote();
    out.put("    ");
    out.put(nameReportKind(entries[offset]));
    out.put(" for ");
    out.put(nameDeviceClass(entries[offset + 1]));
  }
}

}  // namespace ovantrex
