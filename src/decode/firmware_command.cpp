#include "decode/firmware_command.h"

#include "core/firmware_codes.h"
#include "core/protocol.h"

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

// Reads the fixed fields; a field beyond the data reads as 0 and marks the
// command truncated.
class Fields {
 public:
  explicit Fields(Bytes data) : data_(data) {}

  std::uint8_t at(std::size_t offset) {
    if (offset >= data_.size()) missing_ = true;
    return byteAt(data_, offset);
  }
  // The three address bytes, most significant first.
  RecordId addressBytes() {
    if (kAddress + 2 >= data_.size()) missing_ = true;
    return threeBytesAt(data_, kAddress);
  }
  bool missing() const { return missing_; }

 private:
  Bytes data_;
  bool missing_ = false;
};

CommandKind kindOfClass(std::uint8_t commandClass, std::uint8_t dataCount) {
  const CommandKind kind = kKindOfClass[commandClass];
  return kind == CommandKind::FlashWrite && dataCount == 0 ? CommandKind::ChecksumWrite : kind;
}

}  // namespace

FirmwareCommand decodeFirmwareCommand(Bytes data) {
  FirmwareCommand command;
  Fields fields(data);
  command.commandClass = fields.at(kClass);
  // Only a flash write reads its count to tell its two forms apart.
  const std::uint8_t count = kKindOfClass[command.commandClass] == CommandKind::FlashWrite
                                 ? fields.at(kDataCount)
                                 : byteAt(data, kDataCount);
  command.kind = kindOfClass(command.commandClass, count);

  switch (command.kind) {
    case CommandKind::System:
      command.subCommand = fields.at(kSubCommand);
      if (command.subCommand == code(SystemCommand::DeviceInformation)) {
        // The count counts only when the data holds it.
        command.dataCount = fields.at(kDataCount);
        command.deviceInformation = data.size() > kDataCount && command.dataCount == 1;
      }
      break;
    case CommandKind::FlashWrite:
      command.dataCount = count;
      command.address = readBe24(fields.addressBytes());
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
      command.recordId = fields.addressBytes();
      command.address = readBe24(command.recordId);
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

std::uint8_t systemCommandCode(const FirmwareCommand& command) {
  constexpr std::uint8_t kInvalid = code(SystemCommand::Invalid);
  if (command.subCommand == code(SystemCommand::DeviceInformation) && !command.deviceInformation)
    return kInvalid;
  return kSystemCommandTable.knows(command.subCommand) ? command.subCommand : kInvalid;
}

std::string_view systemCommandName(const FirmwareCommand& command) {
  return kSystemCommandTable.words(systemCommandCode(command));
}

}  // namespace ovantrex
