// The command decoder: an HIDWrite of the firmware report, as a value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/bytes.h"
#include "core/firmware_codes.h"
#include "decode/record_id.h"
#include "decode/sm_request.h"

namespace ovantrex {

// The fields of a flash write, as its notes and its picture show them.
struct FlashWrite {
  std::uint8_t count = 0;         // the bytes written, 1 to 255
  std::uint32_t address = 0;      // 24 bits
  std::uint16_t lengthField = 0;  // bytes after the length field, as the command says
  // A consistent flash write counts the six bytes from the class on plus the data.
  bool lengthAgrees() const { return std::uint32_t{count} + 6 == lengthField; }
  // The last address written (past 24 bits at the top of the space).
  std::uint32_t last() const { return address + count - 1; }
  friend bool operator==(const FlashWrite&, const FlashWrite&) = default;
};

// A serial number's characters, held in place (a count byte bounds them).
struct SerialText {
  std::array<char, 255> characters{};
  std::size_t size = 0;
  std::string_view view() const { return {characters.data(), size}; }
};

struct FirmwareCommand {
  CommandKind kind = CommandKind::Invalid;
  std::uint8_t commandClass = 0;
  std::uint8_t subCommand = 0;     // System
  bool deviceInformation = false;  // System 0x00: a data count of 1 that the data holds
  std::uint8_t dataCount = 0;      // bytes written or read; characters of a serial number
  std::uint16_t lengthField = 0;   // FlashWrite: bytes after the length field, as the command says
  std::uint32_t address = 0;       // FlashWrite and record reads: 24 bits
  std::uint16_t checksum = 0;      // ChecksumWrite
  RecordId recordId{};             // record reads: the address bytes
  ByteView serial;                 // SerialNumber: character i is serial[2 * i]
  std::size_t serialLength = 0;    // SerialNumber: the characters that the data holds
  SmRequest request;               // SmRequest
  bool truncated = false;          // a byte that the command needs is missing

  FlashWrite flashWrite() const { return {dataCount, address, lengthField}; }
  bool lengthAgrees() const { return flashWrite().lengthAgrees(); }
  // A system command that resets the device.
  bool isReset() const {
    return kind == CommandKind::System && subCommand == code(SystemCommand::Reset);
  }
  // The characters of a serial number, one from every second byte: the
  // first byte of each pair is the character, the second is never looked at.
  SerialText serialText() const {
    SerialText text;
    for (std::size_t i = 0; i < serialLength; ++i)
      text.characters[i] = static_cast<char>(serial[2 * i]);
    text.size = serialLength;
    return text;
  }
  friend bool operator==(const FirmwareCommand&, const FirmwareCommand&) = default;
};

// The fixed fields of a command: the first bytes of its transfer data.
inline constexpr std::size_t kCommandFields = 8;

// data: the transfer data (payload from byte 8 on). Reads nothing beyond it;
// a missing fixed field reads as 0 and marks the value truncated.
FirmwareCommand decodeFirmwareCommand(Bytes data);
// The bytes that a flash write carries to the flash, from the transfer data
// of its record: its count of them after the fixed fields, or as many as
// the data holds.
inline Bytes flashWriteBytes(Bytes data, const FlashWrite& write) {
  const Bytes body = bytesFrom(data, kCommandFields);
  return body.first(body.size() < write.count ? body.size() : write.count);
}

// A system command as it is counted: its sub-command, or
// SystemCommand::Invalid for one that no row names (and for sub-command
// 0x00 without its count of 1).
std::uint8_t systemCommandCode(const FirmwareCommand& command);
// The system command's words: "Status request", ..., "Invalid system command".
std::string_view systemCommandName(const FirmwareCommand& command);

}  // namespace ovantrex
