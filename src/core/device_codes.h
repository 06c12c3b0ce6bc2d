// The coded values of the devices' reports, one row each (see
// coded_value.h): device classes, the kinds of systems-management report,
// the inventory items, the usage counters, and the kinds of information
// record that a RecordID names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/coded_value.h"

namespace ovantrex {

// ---- Device classes ----

#define OVANTREX_DEVICE_CLASSES(ROW)                                    \
  ROW(PhysicalDevice, 0x00, "Physical Device", "physical_device")       \
  ROW(AllDevices, 0x01, "All Devices", "all_devices")                   \
  ROW(Keyboard, 0x10, "Keyboard", "keyboard")                           \
  ROW(Keylock, 0x11, "Keylock", "keylock")                              \
  ROW(Tone, 0x12, "Tone", "tone")                                       \
  ROW(CharacterDisplay, 0x20, "Character Display", "character_display") \
  ROW(Msr, 0x40, "MSR", "msr")

enum class DeviceClass : std::uint8_t { OVANTREX_DEVICE_CLASSES(OVANTREX_CODED_ENUMERATOR) };

inline constexpr auto kDeviceClassRows =
    std::to_array({OVANTREX_DEVICE_CLASSES(OVANTREX_CODED_ROW)});
// A class that no row names has no words.
inline constexpr CodedTable kDeviceClassTable{"device_class", kDeviceClassRows, {}};

// ---- Systems-management reports: the kinds that a request asks for, and
// the section tags of the report ----

#define OVANTREX_REPORT_KINDS(ROW)                             \
  ROW(Inventory, 0x60, "Inventory Report", "inventory_report") \
  ROW(Usage, 0x61, "Usage Report", "usage_report")

enum class ReportKind : std::uint8_t { OVANTREX_REPORT_KINDS(OVANTREX_CODED_ENUMERATOR) };

inline constexpr auto kReportKindRows = std::to_array({OVANTREX_REPORT_KINDS(OVANTREX_CODED_ROW)});
inline constexpr CodedTable kReportKindTable{"report_kind", kReportKindRows, {}};

// ---- Item tags of the inventory section ----

// ROW(Name, tag, words, key, summary label): the summary's label of an
// item that it shows (a device class item it does not).
#define OVANTREX_INVENTORY_ITEMS(ROW)                                                  \
  ROW(DeviceClass, 0x40, "device class", "device_class", "")                           \
  ROW(ManufactureDate, 0x83, "ManufactureDate", "manufacture_date", "ManufactureDate") \
  ROW(LogicalDeviceList, 0x84, "Logical device list", "logical_device_list", "logical device list")

enum class InventoryTag : std::uint8_t { OVANTREX_INVENTORY_ITEMS(OVANTREX_CODED_ENUMERATOR) };

inline constexpr auto kInventoryItemRows =
    std::to_array({OVANTREX_INVENTORY_ITEMS(OVANTREX_CODED_ROW)});
inline constexpr CodedTable kInventoryItemTable{"inventory_item", kInventoryItemRows, {}};
#define OVANTREX_SUMMARY_LABEL(name, tag, words, key, label) std::string_view(label),
inline constexpr auto kInventoryItemLabels =
    std::to_array({OVANTREX_INVENTORY_ITEMS(OVANTREX_SUMMARY_LABEL)});
#undef OVANTREX_SUMMARY_LABEL
constexpr std::string_view summaryLabel(InventoryTag tag) {
  std::size_t i = 0;
  while (i + 1 < kInventoryItemRows.size() && kInventoryItemRows[i].value != code(tag)) ++i;
  return kInventoryItemLabels[i];
}

// ---- Usage counters: a counter tag under a device class ----

// The value of a counter's row: its device class and its tag.
constexpr std::uint32_t counterValue(std::uint8_t deviceClass, std::uint8_t tag) {
  return std::uint32_t{deviceClass} << 8 | tag;
}

// ROW(device class, tag, words): the counter's name is also its key.
#define OVANTREX_USAGE_COUNTERS(ROW)                \
  ROW(PhysicalDevice, 0x42, "PowerOnHours")         \
  ROW(PhysicalDevice, 0x43, "PowerCycles")          \
  ROW(PhysicalDevice, 0x44, "UnexpectedResets")     \
  ROW(Keyboard, 0x80, "KeyPressedCount")            \
  ROW(Keylock, 0x80, "LockPositionChangeCounts")    \
  ROW(Tone, 0x80, "ToneCount")                      \
  ROW(Msr, 0x80, "GoodReadCount")                   \
  ROW(Msr, 0x81, "FailedReadCount")                 \
  ROW(Msr, 0x82, "UnreadableCardCount")             \
  ROW(Msr, 0x83, "MissingStartSentinelTrack1Count") \
  ROW(Msr, 0x84, "ParityLRCErrorTrack1Count")       \
  ROW(Msr, 0x85, "MissingStartSentinelTrack2Count") \
  ROW(Msr, 0x86, "ParityLRCErrorTrack2Count")       \
  ROW(Msr, 0x87, "MissingStartSentinelTrack3Count") \
  ROW(Msr, 0x88, "ParityLRCErrorTrack3Count")       \
  ROW(Msr, 0x89, "MissingStartSentinelTrack4Count") \
  ROW(Msr, 0x8A, "ParityLRCErrorTrack4Count")

#define OVANTREX_COUNTER_ROW(deviceClass, tag, words) \
  CodedValue{counterValue(code(DeviceClass::deviceClass), tag), words, words},
inline constexpr auto kUsageCounterRows =
    std::to_array({OVANTREX_USAGE_COUNTERS(OVANTREX_COUNTER_ROW)});
#undef OVANTREX_COUNTER_ROW
// A counter that no row names has no words.
inline constexpr CodedTable kUsageCounterTable{"usage_counter", kUsageCounterRows, {}};

// ---- Information records: the record kind (b1 * 256 + b2) of a RecordID ----

// ROW(Name, kind, words, key, component words): the words of the
// device-level list (b0 = 0xff), and those of a component's record
// (b0 = 0xf0 to 0xfe).
#define OVANTREX_INFORMATION_RECORDS(ROW)                                              \
  ROW(IdList, 0, "Device ID List", "id_list", "ID String")                             \
  ROW(VersionList, 1, "Device Version List", "version_list", "Version")                \
  ROW(ExtendedVersionList, 2, "Device Extended Version List", "extended_version_list", \
      "Extended Version")

inline constexpr auto kInformationRecordRows =
    std::to_array({OVANTREX_INFORMATION_RECORDS(OVANTREX_CODED_ROW)});
inline constexpr CodedTable kInformationRecordTable{
    "information_record", kInformationRecordRows, {0, "Device Unknown List", "unknown_list"}};
#define OVANTREX_COMPONENT_WORDS(name, kind, words, key, componentWords) \
  CodedValue{kind, componentWords, key},
inline constexpr auto kComponentRecordRows =
    std::to_array({OVANTREX_INFORMATION_RECORDS(OVANTREX_COMPONENT_WORDS)});
#undef OVANTREX_COMPONENT_WORDS
inline constexpr CodedTable kComponentRecordTable{
    "component_record", kComponentRecordRows, {0, "Unknown Record", "unknown_record"}};

}  // namespace ovantrex
