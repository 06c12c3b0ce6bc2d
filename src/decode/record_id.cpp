#include "decode/record_id.h"

#include <algorithm>

#include "core/device_codes.h"

namespace ovantrex {

namespace {

constexpr char kDigits[] = "0123456789abcdef";

void appendHexByte(RecordIdName& name, std::uint8_t value) {
  const char pair[2] = {kDigits[value >> 4], kDigits[value & 15]};
  name.append({pair, 2});
}

}  // namespace

void RecordIdName::append(std::string_view part) {
  const std::size_t n = std::min(part.size(), kCapacity - size_);
  std::copy_n(part.begin(), n, text_.begin() + static_cast<std::ptrdiff_t>(size_));
  size_ += n;
}

RecordIdName nameRecordId(std::span<const std::uint8_t, 3> id) {
  const std::uint8_t b0 = id[0];
  RecordIdName name;
  appendHexByte(name, b0);
  name.append(".");
  appendHexByte(name, id[1]);
  name.append(".");
  appendHexByte(name, id[2]);
  name.append(" ");

  // Only a high nibble of 0xf marks an information record.
  if ((b0 >> 4) != 0xF) {
    name.append("Unknown Record");
    return name;
  }
  // The record kind (b1 * 256 + b2) names the record, once for the
  // device-level lists (b0 = 0xff) and once for a component's records.
  const auto kind = static_cast<std::uint32_t>(id[1]) * 256U + id[2];
  name.append("Information,");
  const unsigned component = b0 & 0x0FU;
  if (component == 0xF) {
    name.append(kInformationRecordTable.words(kind));
  } else {
    // Components 0 to 14: one or two digits.
    name.append("Component=");
    if (component >= 10) name.append("1");
    const char digit = kDigits[component % 10];
    name.append({&digit, 1});
    name.append(" ");
    name.append(kComponentRecordTable.words(kind));
  }
  return name;
}

}  // namespace ovantrex
