// The systems-management report: inventory and usage sections of a feature
// read of the firmware report, as a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/bytes.h"
#include "core/device_codes.h"
#include "core/fixed_list.h"

namespace ovantrex {

// An item of the inventory section, in the order of the walk: device class
// items, manufacture dates and logical device lists, up to the first item
// of any other tag.
struct InventoryItem {
  std::uint8_t tag = 0;
  // A manufacture date: the content as a big-endian number in 32 bits. A
  // device class item: its first content byte. A logical device list is not
  // decoded: 0.
  std::uint32_t value = 0;
  friend bool operator==(const InventoryItem&, const InventoryItem&) = default;
};

// A counter item of the usage section, known or not, under the device class
// that the section's last device class item set (Physical Device before any).
struct UsageCounter {
  std::uint8_t deviceClass = 0;
  std::uint8_t tag = 0;
  std::uint32_t value = 0;  // big-endian in 32 bits; longer content keeps its last four bytes
  friend bool operator==(const UsageCounter&, const UsageCounter&) = default;
};

// A section holds at most 255 bytes and an item takes at least two.
inline constexpr std::size_t kMaxSectionItems = 128;

struct SmReport {
  bool hasInventory = false;
  bool hasUsage = false;
  FixedList<InventoryItem, kMaxSectionItems> inventory;
  FixedList<UsageCounter, kMaxSectionItems> counters;
  // A section or an item reaches past the bytes that the report holds.
  bool truncated = false;
  friend bool operator==(const SmReport&, const SmReport&) = default;
};

// data: the whole transfer data; walkBound: the report's span (transfer
// byte 2 + 6, cut at the end of data). Section tags are read below walkBound
// only; nothing is read beyond data.
SmReport decodeSmReport(Bytes data, std::size_t walkBound);

// The name of a counter (its row in core/device_codes.h), or empty for a
// pair that has none.
std::string_view usageCounterName(std::uint8_t deviceClass, std::uint8_t tag);

}  // namespace ovantrex
