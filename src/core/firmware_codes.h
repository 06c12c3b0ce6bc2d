// The coded values of the firmware report's commands and replies, one row
// each (see coded_value.h): the kinds of command with their command class,
// the system commands, the status bits, and the kinds of decoded reply.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/coded_value.h"

namespace ovantrex {

// ---- Kinds of command: the command class (transfer data byte 2), and for
// class 0x02 its data count ----

// ROW(Name, words, key, class, class words): the words of the kind as a
// decoded command names it, and those of its class as the class's coded
// field names it ("write serial number" beside the kind "serial number").
inline constexpr std::uint16_t kNoCommandClass = 0x100;
#define OVANTREX_COMMAND_KINDS(ROW)                                                             \
  ROW(System, "system command", "system_command", 0x00, "system command")                       \
  ROW(StartFlashUpdate, "start flash update", "start_flash_update", 0x01, "start flash update") \
  /* class 0x02 with a data count above 0 */                                                    \
  ROW(FlashWrite, "flash write", "flash_write", 0x02, "flash write")                            \
  /* class 0x02 with a data count of 0 */                                                       \
  ROW(ChecksumWrite, "checksum write", "checksum_write", 0x02, "flash write")                   \
  ROW(SerialNumber, "serial number", "serial_number", 0x10, "write serial number")              \
  ROW(ReadOneRecord, "read one record", "read_one_record", 0x20, "read one record")             \
  ROW(ReadAllRecords, "read all records", "read_all_records", 0x21, "read all records")         \
  ROW(SmRequest, "systems management request", "systems_management_request", 0x40,              \
      "systems management request")                                                             \
  /* any other class */                                                                         \
  ROW(Invalid, "invalid command", "invalid_command", kNoCommandClass, "invalid")

enum class CommandKind : std::uint8_t { OVANTREX_COMMAND_KINDS(OVANTREX_ENUMERATOR) };

inline constexpr auto kCommandKindRows = numbered(std::array{OVANTREX_COMMAND_KINDS(OVANTREX_ROW)});
inline constexpr std::size_t kCommandKinds = kCommandKindRows.size();
inline constexpr CodedTable kCommandKindTable{"command_kind", kCommandKindRows,
                                              kCommandKindRows[code(CommandKind::Invalid)]};
constexpr const CodedValue& coded(CommandKind kind) { return kCommandKindRows[code(kind)]; }

// The command class of each kind, and the class's words.
struct CommandClassOfKind {
  std::uint16_t value;  // kNoCommandClass for the invalid command
  std::string_view words;
};
#define OVANTREX_COMMAND_CLASS_OF(name, words, key, value, classWords) \
  CommandClassOfKind{value, classWords},
inline constexpr auto kCommandClassOfKind =
    std::to_array({OVANTREX_COMMAND_KINDS(OVANTREX_COMMAND_CLASS_OF)});
#undef OVANTREX_COMMAND_CLASS_OF

// The kind of each command class, the first kind of the class where two
// share it (a flash write: its data count tells the checksum write apart).
inline constexpr std::array<CommandKind, 256> kKindOfClass = [] {
  std::array<CommandKind, 256> kinds{};
  kinds.fill(CommandKind::Invalid);
  for (std::size_t kind = kCommandKinds; kind-- > 0;) {
    const std::uint16_t value = kCommandClassOfKind[kind].value;
    if (value != kNoCommandClass) kinds[value] = static_cast<CommandKind>(kind);
  }
  return kinds;
}();

// The command classes, as the coded field of a decoded command names them:
// the rows of the kinds of command, one for each class.
inline constexpr auto kCommandClassRows = [] {
  std::array<CodedValue, kCommandKinds - 2> rows{};
  std::size_t n = 0;
  for (std::size_t kind = 0; kind < kCommandKinds; ++kind) {
    const std::uint16_t value = kCommandClassOfKind[kind].value;
    if (value == kNoCommandClass || kKindOfClass[value] != static_cast<CommandKind>(kind)) continue;
    rows[n++] = {value, kCommandClassOfKind[kind].words, kCommandKindRows[kind].key};
  }
  if (n != rows.size()) throw "every command class is listed once";
  return rows;
}();
inline constexpr CodedTable kCommandClassTable{
    "command_class", kCommandClassRows, {0, "invalid", "invalid_command"}};

// ---- System commands: the sub-command (transfer data byte 3) of class 0x00 ----

// ROW(Name, value, words, key). A sub-command that no row names counts as
// the invalid system command, and so does 0x00 without its count of 1.
#define OVANTREX_SYSTEM_COMMANDS(ROW)                                                      \
  ROW(DeviceInformation, 0x00, "Request device information", "request_device_information") \
  ROW(Test, 0x10, "Test command", "test_command")                                          \
  ROW(StatusRequest, 0x20, "Status request", "status_request")                             \
  ROW(Reset, 0x40, "Reset USB device and reenumerate", "reset_usb_device")                 \
  ROW(ReadEcLevels, 0x80, "Read EC levels", "read_ec_levels")                              \
  ROW(Invalid, 0xFF, "Invalid system command", "invalid_system_command")

enum class SystemCommand : std::uint8_t { OVANTREX_SYSTEM_COMMANDS(OVANTREX_CODED_ENUMERATOR) };

inline constexpr auto kSystemCommandRows =
    std::to_array({OVANTREX_SYSTEM_COMMANDS(OVANTREX_CODED_ROW)});
inline constexpr CodedTable kSystemCommandTable{"system_command", kSystemCommandRows,
                                                kSystemCommandRows.back()};

// ---- Status replies: the bits of the status byte (transfer data byte 0) ----

// ROW(Name, value, words, key, error): the bits that have a note, in the
// order in which a reply reports them, the note's words, and whether the
// bit makes the reply an error reply. Bits 3 and 4 have none.
#define OVANTREX_STATUS_BITS(ROW)                                                         \
  ROW(Complete, 0x01, "Command complete", "command_complete", false)                      \
  ROW(FlashLoad, 0x02, "Flash load in progress", "flash_load_in_progress", false)         \
  ROW(EcInformation, 0x04, "EC information available", "ec_information_available", false) \
  ROW(SerialOnce, 0x20, "Serial Number can only be written once for this device",         \
      "serial_number_only_once", true)                                                    \
  ROW(Error, 0x40, "Operation in Error", "operation_in_error", true)                      \
  ROW(Reject, 0x80, "Command reject", "command_reject", true)

enum class StatusBit : std::uint8_t { OVANTREX_STATUS_BITS(OVANTREX_CODED_ENUMERATOR) };

inline constexpr auto kStatusBitRows = std::to_array({OVANTREX_STATUS_BITS(OVANTREX_CODED_ROW)});
inline constexpr std::size_t kStatusBits = kStatusBitRows.size();
inline constexpr CodedTable kStatusBitTable{"status_bit", kStatusBitRows, {}};

// The bits that make a status reply an error reply.
#define OVANTREX_ERROR_BIT(name, value, words, key, error) | ((error) ? (value) : 0)
inline constexpr std::uint8_t kErrorStatusBits = 0 OVANTREX_STATUS_BITS(OVANTREX_ERROR_BIT);
#undef OVANTREX_ERROR_BIT

// ---- Kinds of reply: what a read or feature read of the firmware report decodes to ----

#define OVANTREX_REPLY_KINDS(ROW)                                    \
  ROW(StatusReply, "status reply", "status_reply")                   \
  ROW(VersionList, "extended version list", "extended_version_list") \
  ROW(SmReport, "systems management report", "systems_management_report")

enum class ReplyKind : std::uint8_t { OVANTREX_REPLY_KINDS(OVANTREX_ENUMERATOR) };

inline constexpr auto kReplyKindRows = numbered(std::array{OVANTREX_REPLY_KINDS(OVANTREX_ROW)});
constexpr const CodedValue& coded(ReplyKind kind) { return kReplyKindRows[code(kind)]; }

// The kind of a decoded value, as its "kind" names it: the kinds of command,
// then those of reply.
inline constexpr auto kDecodedKindRows = [] {
  std::array<CodedValue, kCommandKinds + kReplyKindRows.size()> rows{};
  std::size_t n = 0;
  for (const CodedValue& row : kCommandKindRows) rows[n++] = row;
  for (const CodedValue& row : kReplyKindRows) rows[n++] = row;
  return numbered(rows);
}();
inline constexpr CodedTable kDecodedKindTable{"decoded_kind", kDecodedKindRows, {}};

}  // namespace ovantrex
