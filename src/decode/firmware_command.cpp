#include "decode/firmware_command.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/record_id.h"
#include "decode/sm_request.h"

namespace ovantrex {

namespace {

// Offsets within the transfer data.
constexpr std::size_t kLengthLow = 0;
constexpr std::size_t kLengthHigh = 1;
constexpr std::size_t kClass = 2;
constexpr std::size_t kSubCommand = 3;
constexpr std::size_t kDataCount = 4;
constexpr std::size_t kAddress = 5;  // three bytes, most significant first
constexpr std::size_t kBody = 8;

// System commands (class 0x00) that write one fixed note. Sub-command 0x00,
// the device-information request, is decided separately.
struct SystemCommand {
  std::uint8_t subCommand;
  std::string_view note;
};
constexpr SystemCommand kSystemCommands[] = {
    {0x10, "Test command"},
    {0x20, "Status request"},
    {0x40, "Reset USB device and reenumerate"},
    {0x80, "Read EC levels"},
};

// A fixed field beyond the end of the transfer data reads as 0.
std::uint8_t byteAt(Bytes data, std::size_t offset) {
  return offset < data.size() ? data[offset] : std::uint8_t{0};
}

void decodeSystemCommand(const EntryOut& entry, Bytes data) {
  const std::uint8_t subCommand = byteAt(data, kSubCommand);
  if (subCommand == 0x00) {
    // The count byte counts only when the data holds it.
    const bool deviceInfo = data.size() > kDataCount && data[kDataCount] == 1;
    entry.note(deviceInfo ? "Request device information" : "Invalid system command");
    entry.note("Test command");
    return;
  }
  for (const auto& command : kSystemCommands) {
    if (command.subCommand == subCommand) {
      entry.note(command.note);
      return;
    }
  }
  entry.note("Invalid system command");
}

std::uint32_t addressOf(Bytes data) {
  return static_cast<std::uint32_t>(byteAt(data, kAddress)) << 16 |
         static_cast<std::uint32_t>(byteAt(data, kAddress + 1)) << 8 | byteAt(data, kAddress + 2);
}

void decodeFlashWrite(const EntryOut& entry, Bytes data) {
  const unsigned dataCount = byteAt(data, kDataCount);
  if (dataCount == 0) {
    // The checksum: address bytes 0 and 1, big-endian.
    const unsigned checksum =
        static_cast<unsigned>(byteAt(data, kAddress)) << 8 | byteAt(data, kAddress + 1);
    Writer& out = entry.startNote();
    out.put("Write checksum 0x");
    out.hexPadded(checksum, 4);
    out.put(" to flash memory");
    return;
  }
  Writer& out = entry.startNote();
  out.put("Flash write ");
  out.decimal(dataCount);
  out.put(" bytes to address=0x");
  out.hexPadded(addressOf(data), 6);

  // The length field is little-endian and counts the six bytes from the
  // command class on plus the data.
  const unsigned length =
      static_cast<unsigned>(byteAt(data, kLengthHigh)) << 8 | byteAt(data, kLengthLow);
  if (dataCount + 6 != length) {
    Writer& check = entry.startNote();
    check.put("Invalid command, data_count=");
    check.decimal(dataCount);
    check.put(" + 6 note equal to ");
    check.decimal(length);
  }
}

void decodeSerialNumber(const EntryOut& entry, Bytes data) {
  const std::size_t count = byteAt(data, kDataCount);
  Writer& out = entry.startNote();
  out.put("Write serial number (S/N: ");
  // Two bytes per character; the first is the character, the second is
  // never looked at. Characters past the end of the data are left out.
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t offset = kBody + 2 * i;
    if (offset >= data.size()) break;
    out.put(static_cast<char>(data[offset]));
  }
  out.put(')');
}

void decodeRecordRead(const EntryOut& entry, Bytes data, std::string_view kind) {
  const std::array<std::uint8_t, 3> recordId = {byteAt(data, kAddress), byteAt(data, kAddress + 1),
                                                byteAt(data, kAddress + 2)};
  Writer& out = entry.startNote();
  out.put("Read (");
  out.put(kind);
  out.put(") ");
  out.decimal(byteAt(data, kDataCount));
  out.put(" bytes from address 0x");
  out.hexPadded(addressOf(data), 6);
  out.put(" (RecordID=");
  out.put(nameRecordId(recordId));
  out.put(')');
}

}  // namespace

void decodeFirmwareCommand(const EntryOut& entry, Bytes data) {
  switch (byteAt(data, kClass)) {
    case 0x00: decodeSystemCommand(entry, data); break;
    case 0x01: entry.note("Start flash update"); break;
    case 0x02: decodeFlashWrite(entry, data); break;
    case 0x10: decodeSerialNumber(entry, data); break;
    case 0x20: decodeRecordRead(entry, data, "One Record"); break;
    case 0x21: decodeRecordRead(entry, data, "All Records"); break;
    case 0x40:
      entry.note("Systems Management Request:");
      decodeSmRequest(entry, data.size() > kBody ? data.subspan(kBody) : Bytes{});
      break;
    default: entry.note("Invalid flash command"); break;
  }
}

}  // namespace ovantrex
