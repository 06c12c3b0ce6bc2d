#include "decode/sm_report.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace ovantrex {

namespace {

// Section tags: the report kinds of the request.
constexpr std::uint8_t kInventorySection = 0x60;
constexpr std::uint8_t kUsageSection = 0x61;

// Item tags.
constexpr std::uint8_t kDeviceClassItem = 0x40;
constexpr std::uint8_t kManufactureDateItem = 0x83;
constexpr std::uint8_t kLogicalDeviceListItem = 0x84;

// Device classes under which the usage counters are grouped.
constexpr std::uint8_t kPhysicalDevice = 0x00;
constexpr std::uint8_t kKeyboard = 0x10;
constexpr std::uint8_t kKeylock = 0x11;
constexpr std::uint8_t kTone = 0x12;
constexpr std::uint8_t kMsr = 0x40;

struct Counter {
  std::uint8_t deviceClass;
  std::uint8_t tag;
  std::string_view name;
};

constexpr std::array<Counter, 17> kCounters{{
    {kPhysicalDevice, 0x42, "PowerOnHours"},
    {kPhysicalDevice, 0x43, "PowerCycles"},
    {kPhysicalDevice, 0x44, "UnexpectedResets"},
    {kKeyboard, 0x80, "KeyPressedCount"},
    {kKeylock, 0x80, "LockPositionChangeCounts"},
    {kTone, 0x80, "ToneCount"},
    {kMsr, 0x80, "GoodReadCount"},
    {kMsr, 0x81, "FailedReadCount"},
    {kMsr, 0x82, "UnreadableCardCount"},
    {kMsr, 0x83, "MissingStartSentinelTrack1Count"},
    {kMsr, 0x84, "ParityLRCErrorTrack1Count"},
    {kMsr, 0x85, "MissingStartSentinelTrack2Count"},
    {kMsr, 0x86, "ParityLRCErrorTrack2Count"},
    {kMsr, 0x87, "MissingStartSentinelTrack3Count"},
    {kMsr, 0x88, "ParityLRCErrorTrack3Count"},
    {kMsr, 0x89, "MissingStartSentinelTrack4Count"},
    {kMsr, 0x8A, "ParityLRCErrorTrack4Count"},
}};

// A section holds at most 255 bytes and an item at most 255 content bytes,
// so no walk reaches beyond byte 511 of a copy.
constexpr std::size_t kSectionCopyBytes = 3000;

// One section, copied out of the report. Its items are read from the copy:
// an item that runs past the end of its section reads what the copy holds
// there (zeros, or the tail of an earlier, longer section with the same tag).
struct SectionCopy {
  std::array<std::uint8_t, kSectionCopyBytes> bytes{};
  std::size_t length = 0;
};

// An item's content as an unsigned big-endian number in 32 bits; longer
// content keeps its last four bytes.
std::uint32_t numericValue(const SectionCopy& section, std::size_t start, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i)
    value = static_cast<std::uint32_t>((value << 8) | section.bytes[start + i]);
  return value;
}

std::uint8_t byteAt(Bytes data, std::size_t position) {
  return position < data.size() ? data[position] : std::uint8_t{0};
}

void copySection(SectionCopy& section, Bytes data, std::size_t contentStart, std::size_t length) {
  // Only the bytes that the report holds are copied; the rest of the copy
  // keeps what it had.
  if (contentStart < data.size()) {
    const Bytes held = data.subspan(contentStart);
    std::copy_n(held.begin(), std::min(length, held.size()), section.bytes.begin());
  }
  section.length = length;
}

void walkInventory(const EntryOut& entry, const SectionCopy& inventory) {
  for (std::size_t offset = 0; offset < inventory.length;) {
    const std::uint8_t tag = inventory.bytes[offset];
    const std::size_t length = inventory.bytes[offset + 1];
    if (tag == kManufactureDateItem) {
      Writer& out = entry.startNote();
      out.put("ManufactureDate: ");
      out.hexPadded(numericValue(inventory, offset + 2, length), 4);
    } else if (tag == kLogicalDeviceListItem) {
      entry.note("Logical device list skipped");
    } else if (tag != kDeviceClassItem) {
      return;
    }
    offset += length + 2;
  }
}

void walkUsage(const EntryOut& entry, const SectionCopy& usage) {
  std::uint8_t deviceClass = kPhysicalDevice;
  for (std::size_t offset = 0; offset < usage.length;) {
    const std::uint8_t tag = usage.bytes[offset];
    const std::size_t length = usage.bytes[offset + 1];
    if (tag == kDeviceClassItem) {
      deviceClass = usage.bytes[offset + 2];
    } else {
      const std::uint32_t value = numericValue(usage, offset + 2, length);
      const auto counter = std::find_if(kCounters.begin(), kCounters.end(), [&](const Counter& c) {
        return c.deviceClass == deviceClass && c.tag == tag;
      });
      if (counter != kCounters.end()) {
        Writer& out = entry.startNote();
        out.put(counter->name);
        out.put(": 0x");
        out.hex(value);
        out.put('(');
        out.decimal(static_cast<std::int32_t>(value));
        out.put(')');
      }
    }
    offset += length + 2;
  }
}

}  // namespace

void decodeSmReport(const EntryOut& entry, Bytes data, std::size_t walkBound) {
  SectionCopy inventory;
  SectionCopy usage;

  const std::size_t bound = std::min(walkBound, data.size());
  for (std::size_t position = 0; position < bound;) {
    const std::uint8_t tag = data[position];
    // A length byte beyond the report reads as 0.
    const std::size_t length = byteAt(data, position + 1);
    if (tag == kInventorySection) {
      copySection(inventory, data, position + 2, length);
    } else if (tag == kUsageSection) {
      copySection(usage, data, position + 2, length);
    } else {
      break;
    }
    position += length + 2;
  }

  // All inventory notes come first, whatever the order of the sections.
  walkInventory(entry, inventory);
  walkUsage(entry, usage);
}

}  // namespace ovantrex
