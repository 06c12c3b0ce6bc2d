#include "decode/sm_report.h"

#include <algorithm>
#include <array>

#include "core/device_codes.h"
#include "core/protocol.h"

namespace ovantrex {

namespace {

// A section holds at most 255 bytes and an item at most 255 content bytes,
// so no walk reaches beyond byte 511 of a copy.
constexpr std::size_t kSectionCopyBytes = 512;

// One section, copied out of the report. Its items are read from the copy:
// an item that runs past the end of its section reads what the copy holds
// there (zeros, or the tail of an earlier, longer section with the same tag).
struct SectionCopy {
  std::array<std::uint8_t, kSectionCopyBytes> bytes{};
  std::size_t length = 0;
};

// Reads items out of a section copy, noting a read past the section's end.
class Items {
 public:
  explicit Items(const SectionCopy& section) : section_(section) {}

  std::uint8_t at(std::size_t offset) {
    if (offset >= section_.length) pastEnd_ = true;
    return section_.bytes[offset];
  }
  // The content as an unsigned big-endian number in 32 bits; longer content
  // keeps its last four bytes.
  std::uint32_t number(std::size_t start, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
      value = static_cast<std::uint32_t>((value << 8) | at(start + i));
    return value;
  }
  bool pastEnd() const { return pastEnd_; }

 private:
  const SectionCopy& section_;
  bool pastEnd_ = false;
};

// Copies only the bytes that the report holds; the rest of the copy keeps
// what it had. Returns false when the section reaches past the report.
bool copySection(SectionCopy& section, Bytes data, std::size_t contentStart, std::size_t length) {
  const Bytes held = bytesFrom(data, contentStart);
  std::copy_n(held.begin(), std::min(length, held.size()), section.bytes.begin());
  section.length = length;
  return held.size() >= length;
}

void walkInventory(SmReport& report, const SectionCopy& inventory) {
  Items items(inventory);
  for (std::size_t offset = 0; offset < inventory.length;) {
    const std::uint8_t tag = items.at(offset);
    const std::size_t length = items.at(offset + 1);
    InventoryItem item{tag, 0};
    if (tag == code(InventoryTag::ManufactureDate)) {
      item.value = items.number(offset + 2, length);
    } else if (tag == code(InventoryTag::DeviceClass)) {
      item.value = length > 0 ? items.at(offset + 2) : 0;
    } else if (tag != code(InventoryTag::LogicalDeviceList)) {
      break;
    }
    report.inventory.push(item);
    offset += length + 2;
  }
  if (items.pastEnd()) report.truncated = true;
}

void walkUsage(SmReport& report, const SectionCopy& usage) {
  Items items(usage);
  std::uint8_t deviceClass = code(DeviceClass::PhysicalDevice);
  for (std::size_t offset = 0; offset < usage.length;) {
    const std::uint8_t tag = items.at(offset);
    const std::size_t length = items.at(offset + 1);
    if (tag == code(InventoryTag::DeviceClass)) {
      // The byte after the length byte, even when the item is empty.
      deviceClass = items.at(offset + 2);
    } else {
      report.counters.push({deviceClass, tag, items.number(offset + 2, length)});
    }
    offset += length + 2;
  }
  if (items.pastEnd()) report.truncated = true;
}

}  // namespace

SmReport decodeSmReport(Bytes data, std::size_t walkBound) {
  SmReport report;
  SectionCopy inventory;
  SectionCopy usage;

  const std::size_t bound = std::min(walkBound, data.size());
  for (std::size_t position = 0; position < bound;) {
    const std::uint8_t tag = data[position];
    if (tag != code(ReportKind::Inventory) && tag != code(ReportKind::Usage)) break;
    // A length byte beyond the report reads as 0.
    if (position + 1 >= data.size()) report.truncated = true;
    const std::size_t length = byteAt(data, position + 1);
    // A second section with the same tag is copied over the first.
    SectionCopy& section = tag == code(ReportKind::Inventory) ? inventory : usage;
    (tag == code(ReportKind::Inventory) ? report.hasInventory : report.hasUsage) = true;
    if (!copySection(section, data, position + 2, length)) report.truncated = true;
    position += length + 2;
  }

  // All inventory items come first, whatever the order of the sections.
  walkInventory(report, inventory);
  walkUsage(report, usage);
  return report;
}

std::string_view usageCounterName(std::uint8_t deviceClass, std::uint8_t tag) {
  return kUsageCounterTable.words(counterValue(deviceClass, tag));
}

}  // namespace ovantrex
