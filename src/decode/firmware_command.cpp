#include "decode/firmware_command.h"

#include "core/protocol.h"
#include "core/value_names.h"

namespace ovantrex {

namespace {

// Offsets within the transfer data.
constexpr std::size_t kLengthLow = 0;
constexpr std::size_t kLengthHigh = 1;
constexpr std::size_t kClass = 2;
constexpr std::size_t kSubCommand = 3;
constexpr std::size_t kDataCount = 4;
constexpr std::size_t kAddress = 5;  // three bytes, most significant first
constexpr std::size_t kBody = kCommandFields;

constexpr auto kCommandClasses = makeNameTable<std::uint8_t>(
    {
        {kClassSystem, "system command"},
        {kClassStartFlashUpdate, "start flash update"},
        {kClassFlashWrite, "flash write"},
        {kClassSerialNumber, "write serial number"},
        {kClassReadOneRecord, "read one record"},
        {kClassReadAllRecords, "read all records"},
        {kClassSmRequest, "systems management request"},
    },
    "invalid");

constexpr auto kCommandKinds = makeNameTable<CommandKind>(
    {
        {CommandKind::System, "system command"},
        {CommandKind::StartFlashUpdate, "start flash update"},
        {CommandKind::FlashWrite, "flash write"},
        {CommandKind::ChecksumWrite, "checksum write"},
        {CommandKind::SerialNumber, "serial number"},
        {CommandKind::ReadOneRecord, "read one record"},
        {CommandKind::ReadAllRecords, "read all records"},
        {CommandKind::SmRequest, "systems management request"},
        {CommandKind::Invalid, "invalid command"},
    },
    "invalid command");
static_assert(kCommandKinds.rows.size() == static_cast<std::size_t>(CommandKind::Invalid) + 1);

constexpr auto kSystemCommands = makeNameTable<std::uint8_t>(
    {
        {kSubDeviceInformation, "Request device information"},
        {kSubTest, "Test command"},
        {kSubStatusRequest, "Status request"},
        {kSubReset, "Reset USB device and reenumerate"},
        {kSubReadEcLevels, "Read EC levels"},
    },
    "Invalid system command");

// Reads the fixed fields; a field beyond the data reads as 0 and marks the
// command truncated.
class Fields {
 public:
  explicit Fields(Bytes data) : data_(data) {}

  std::uint8_t at(std::size_t offset) {
    if (offset >= data_.size()) missing_ = true;
    return byteAt(data_, offset);
  }
  std::uint32_t address() {
    return std::uint32_t{at(kAddress)} << 16 | std::uint32_t{at(kAddress + 1)} << 8 |
           at(kAddress + 2);
  }
  bool missing() const { return missing_; }

 private:
  Bytes data_;
  bool missing_ = false;
};

CommandKind kindOfClass(std::uint8_t commandClass, std::uint8_t dataCount) {
  switch (commandClass) {
    case kClassSystem: return CommandKind::System;
    case kClassStartFlashUpdate: return CommandKind::StartFlashUpdate;
    case kClassFlashWrite:
      return dataCount == 0 ? CommandKind::ChecksumWrite : CommandKind::FlashWrite;
    case kClassSerialNumber: return CommandKind::SerialNumber;
    case kClassReadOneRecord: return CommandKind::ReadOneRecord;
    case kClassReadAllRecords: return CommandKind::ReadAllRecords;
    case kClassSmRequest: return CommandKind::SmRequest;
    default: return CommandKind::Invalid;
  }
}

}  // namespace

FirmwareCommand decodeFirmwareCommand(Bytes data) {
  FirmwareCommand command;
  Fields fields(data);
  command.commandClass = fields.at(kClass);
  // Only a flash write reads its count to tell its two forms apart.
  const std::uint8_t count =
      command.commandClass == kClassFlashWrite ? fields.at(kDataCount) : byteAt(data, kDataCount);
  command.kind = kindOfClass(command.commandClass, count);

  switch (command.kind) {
    case CommandKind::System:
      command.subCommand = fields.at(kSubCommand);
      if (command.subCommand == kSubDeviceInformation) {
        // The count counts only when the data holds it.
        command.dataCount = fields.at(kDataCount);
        command.deviceInformation = data.size() > kDataCount && command.dataCount == 1;
      }
      break;
    case CommandKind::FlashWrite:
      command.dataCount = count;
      command.address = fields.address();
      command.lengthField =
          static_cast<std::uint16_t>(fields.at(kLengthHigh) << 8 | fields.at(kLengthLow));
      break;
    case CommandKind::ChecksumWrite:
      // The checksum: the first two address bytes, big-endian.
      command.checksum =
          static_cast<std::uint16_t>(fields.at(kAddress) << 8 | fields.at(kAddress + 1));
      break;
    case CommandKind::SerialNumber: {
      command.dataCount = fields.at(kDataCount);
      // Two bytes per character: the first is the character, the second is
      // never looked at. Characters past the end of the data are left out.
      const Bytes body = bytesFrom(data, kBody);
      const std::size_t held = (body.size() + 1) / 2;
      command.serialLength = held < command.dataCount ? held : command.dataCount;
      // Up to the last character held; its second byte is not needed.
      command.serial =
          ByteView{body.first(command.serialLength == 0 ? 0 : 2 * command.serialLength - 1)};
      if (command.serialLength < command.dataCount) command.truncated = true;
      break;
    }
    case CommandKind::ReadOneRecord:
    case CommandKind::ReadAllRecords:
      command.dataCount = fields.at(kDataCount);
      command.address = fields.address();
      command.recordId = {byteAt(data, kAddress), byteAt(data, kAddress + 1),
                          byteAt(data, kAddress + 2)};
      break;
    case CommandKind::SmRequest:
      command.request = decodeSmRequest(bytesFrom(data, kBody));
      if (command.request.truncated) command.truncated = true;
      break;
    case CommandKind::StartFlashUpdate:
    case CommandKind::Invalid: break;
  }
  if (fields.missing()) command.truncated = true;
  return command;
}

std::string_view commandKindName(CommandKind kind) { return kCommandKinds.name(kind); }

std::string_view commandClassName(std::uint8_t commandClass) {
  return kCommandClasses.name(commandClass);
}

std::uint8_t systemCommandCode(const FirmwareCommand& command) {
  if (command.subCommand == kSubDeviceInformation && !command.deviceInformation)
    return kInvalidSystemCommand;
  return kSystemCommands.knows(command.subCommand) ? command.subCommand : kInvalidSystemCommand;
}

std::string_view systemCommandName(std::uint8_t code) { return kSystemCommands.name(code); }

std::string_view systemCommandName(const FirmwareCommand& command) {
  return systemCommandName(systemCommandCode(command));
}

}  // namespace ovantrex
