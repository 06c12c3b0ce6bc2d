// The codes of the trace file and of the firmware report, in one place.
// Their names live in the decoders' name tables.
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

// Minor codes: 1 to 499 data records, 500 and 501 version markers.
using MinorCode = std::uint32_t;
inline constexpr MinorCode kMinorText = 42;
inline constexpr MinorCode kMinorHex = 404;
inline constexpr MinorCode kMinorHidWrite = 405;
inline constexpr MinorCode kMinorHidRead = 406;
inline constexpr MinorCode kMinorHidGetFeat = 407;
inline constexpr MinorCode kMinorHidSetFeat = 408;
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

// ---- Firmware-report commands: the command class (transfer data byte 2) ----

inline constexpr std::uint8_t kClassSystem = 0x00;
inline constexpr std::uint8_t kClassStartFlashUpdate = 0x01;
inline constexpr std::uint8_t kClassFlashWrite = 0x02;
inline constexpr std::uint8_t kClassSerialNumber = 0x10;
inline constexpr std::uint8_t kClassReadOneRecord = 0x20;
inline constexpr std::uint8_t kClassReadAllRecords = 0x21;
inline constexpr std::uint8_t kClassSmRequest = 0x40;

// System commands: the sub-command (transfer data byte 3) of class 0x00.
inline constexpr std::uint8_t kSubDeviceInformation = 0x00;
inline constexpr std::uint8_t kSubTest = 0x10;
inline constexpr std::uint8_t kSubStatusRequest = 0x20;
inline constexpr std::uint8_t kSubReset = 0x40;
inline constexpr std::uint8_t kSubReadEcLevels = 0x80;

// ---- Status replies: the status byte (transfer data byte 0) ----

inline constexpr std::uint8_t kStatusComplete = 0x01;
inline constexpr std::uint8_t kStatusFlashLoad = 0x02;
inline constexpr std::uint8_t kStatusEcInformation = 0x04;
inline constexpr std::uint8_t kStatusSerialOnce = 0x20;
inline constexpr std::uint8_t kStatusError = 0x40;
inline constexpr std::uint8_t kStatusReject = 0x80;

// ---- Systems management ----

// The marker in front of a systems-management request's entries.
inline constexpr std::uint8_t kSmRequestMarker = 0x41;
// Report kinds of a request, and the section tags of the report.
inline constexpr std::uint8_t kInventoryReport = 0x60;
inline constexpr std::uint8_t kUsageReport = 0x61;
// Item tags of the report's sections.
inline constexpr std::uint8_t kItemDeviceClass = 0x40;
inline constexpr std::uint8_t kItemManufactureDate = 0x83;
inline constexpr std::uint8_t kItemLogicalDeviceList = 0x84;
// Device classes.
inline constexpr std::uint8_t kClassPhysicalDevice = 0x00;
inline constexpr std::uint8_t kClassAllDevices = 0x01;
inline constexpr std::uint8_t kClassKeyboard = 0x10;
inline constexpr std::uint8_t kClassKeylock = 0x11;
inline constexpr std::uint8_t kClassTone = 0x12;
inline constexpr std::uint8_t kClassCharacterDisplay = 0x20;
inline constexpr std::uint8_t kClassMsr = 0x40;

// ---- Extended component version list ----

inline constexpr std::uint8_t kVersionListMarker = 0xFF;
// The RecordID of the device-level extended version list.
inline constexpr std::array<std::uint8_t, 3> kExtendedVersionListId{0xFF, 0x00, 0x02};

}  // namespace ovantrex
