// The sizes, offsets and markers of the trace file and of the firmware
// report. The coded values (record types, command classes, status bits,
// device classes, ...) are rows of the registry: record_codes.h,
// firmware_codes.h, device_codes.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ovantrex {

// ---- Trace file ----

// Both record headers are 16 bytes.
inline constexpr std::size_t kHeaderSize = 16;
// A record whose length, taken as unsigned, is above this is skipped.
inline constexpr std::uint32_t kMaxRecordLength = 256000;

// Minor codes: 1 to 499 data records (their types: record_codes.h), 500
// and 501 version markers.
using MinorCode = std::uint32_t;
inline constexpr MinorCode kMinorFormat2 = 500;
inline constexpr MinorCode kMinorFormat3 = 501;

// In format version 3 a record is shown only with component byte 0 or this
// one (the letter "e"), which then counts as 0.
inline constexpr std::uint8_t kComponentShownAsZero = 0x65;

// ---- HID transfers ----

// The transfer header in front of the transfer data of a HID record.
inline constexpr std::size_t kHidHeaderSize = 8;
// Header byte 2 is the report id.
inline constexpr std::size_t kReportIdByte = 2;
// The firmware report, which carries the firmware-update protocol.
inline constexpr std::uint8_t kFirmwareReport = 0xA0;
// A feature read of the firmware report with header byte 3 equal to this
// carries a component report (version list or systems-management report).
inline constexpr std::uint8_t kComponentReportRequest = 3;

// ---- Systems management ----

// The marker in front of a systems-management request's entries.
inline constexpr std::uint8_t kSmRequestMarker = 0x41;

// ---- Extended component version list ----

inline constexpr std::uint8_t kVersionListMarker = 0xFF;
// The RecordID of the device-level extended version list.
inline constexpr std::array<std::uint8_t, 3> kExtendedVersionListId{0xFF, 0x00, 0x02};

}  // namespace ovantrex
