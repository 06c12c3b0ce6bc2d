// The registry's record fields: every member of a JSON Lines record and of
// its "decoded" object, and of a JSON Lines diagnostic, is one row with its
// key, its type, its unit and one line of meaning. A field inside decoded
// is named by its dotted path ("decoded.flash_read.address"), the last part
// of which is its member's name; a coded field names the table of its
// values. JSON Lines takes every key that it writes from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/coded_value.h"
#include "core/device_codes.h"
#include "core/firmware_codes.h"
#include "core/record_codes.h"

namespace ovantrex {

enum class FieldType : std::uint8_t {
  Number,     // a JSON number (null where the meaning says so)
  Flag,       // true or false
  Text,       // a string
  Hex,        // a string of two hex digits for every byte
  TextBytes,  // {"hex": ..., "text": ...}: bytes that carry text
  Time,       // "YYYY-MM-DDThh:mm:ss.mmmZ", in UTC
  Words,      // a coded value, as its words
  Key,        // a coded value, as its key
  Coded,      // a coded value, {"value": ..., "name": ...}
  Object,     // an object of the fields below it
  List,       // a list: of the fields below it, of a table's words, or of strings
};

struct RecordField {
  std::string_view key;  // "offset", "decoded.status.bits"
  FieldType type;
  const CodedTable* table;  // of a coded field's values; none where a rule names them
  std::string_view unit;    // "byte", "ms", "s", or none
  std::string_view meaning;

  // The member's name: the last part of the key.
  constexpr std::string_view name() const { return key.substr(key.rfind('.') + 1); }
};

// ROW(Name, key, type, table, unit, meaning).
#define OVANTREX_RECORD_FIELDS(ROW)                                                                \
  ROW(Offset, "offset", Number, nullptr, "byte", "where the record's header starts in the trace")  \
  ROW(Version, "version", Number, nullptr, "", "the format version of the trace, 1 to 3")          \
  ROW(Minor, "minor", Number, nullptr, "", "the record's minor code")                              \
  ROW(Type, "type", Words, &kRecordTypeTable, "", "the record type that the minor code names")     \
  ROW(Length, "length", Number, nullptr, "byte", "the payload's length as the header gives it")    \
  ROW(Stamp, "stamp", Number, nullptr, "ms", "the header's time stamp; null where not finite")     \
  ROW(Elapsed, "elapsed", Number, nullptr, "s",                                                    \
      "since the stamp of the data record before, hidden ones too; null where not finite")         \
  ROW(Component, "component", Number, nullptr, "", "format versions 2 and 3: the component byte")  \
  ROW(Pid, "pid", Number, nullptr, "", "format version 3: the process id")                         \
  ROW(Tid, "tid", Number, nullptr, "", "format version 3: the thread id")                          \
  ROW(Time, "time", Time, nullptr, "", "format version 3: the record's time")                      \
  ROW(Hidden, "hidden", Flag, nullptr, "",                                                         \
      "format version 3: a component other than 0 and 0x65 hides the record from the listing")     \
  ROW(Failed, "failed", Flag, nullptr, "",                                                         \
      "the record cannot be decoded: the listing shows it raw")                                    \
  ROW(Reason, "reason", Words, &kDecodeFailureTable, "", "why the record cannot be decoded")       \
  ROW(Text, "text", Text, nullptr, "",                                                             \
      "a Text record: up to its first zero byte, less a line end")                                 \
  ROW(Header, "header", Hex, nullptr, "", "a HID transfer: its 8 header bytes")                    \
  ROW(Report, "report", Number, nullptr, "", "a HID transfer: its report id, header byte 2")       \
  ROW(Data, "data", Hex, nullptr, "",                                                              \
      "a HID transfer's data after its header; the payload of other records but text")             \
  ROW(Notes, "notes", List, nullptr, "", "a firmware-report record: the listing's notes under it") \
  ROW(Decoded, "decoded", Object, nullptr, "", "a firmware-report record: its decoded values")     \
  ROW(DecodedKind, "decoded.kind", Words, &kDecodedKindTable, "", "the kind of command or reply")  \
  ROW(DecodedCommand, "decoded.command", Coded, &kCommandClassTable, "",                           \
      "a command: its command class, transfer data byte 2")                                        \
  ROW(DecodedSubCommand, "decoded.sub_command", Coded, &kSystemCommandTable, "",                   \
      "a system command: its sub-command, byte 3, named as it is counted")                         \
  ROW(DecodedDataCount, "decoded.data_count", Number, nullptr, "",                                 \
      "the bytes written or read, a serial number's characters, or a version list's row bytes")    \
  ROW(DecodedDeviceInformation, "decoded.device_information", Flag, nullptr, "",                   \
      "sub-command 0x00: the data holds its count of 1")                                           \
  ROW(DecodedAddress, "decoded.address", Number, nullptr, "",                                      \
      "a flash write or a record read: the 24-bit address")                                        \
  ROW(DecodedLengthField, "decoded.length_field", Number, nullptr, "byte",                         \
      "a flash write: the bytes after the length field, as the command says")                      \
  ROW(DecodedLengthAgrees, "decoded.length_agrees", Flag, nullptr, "",                             \
      "a flash write: the length field counts the six bytes from the class on and the data")       \
  ROW(DecodedChecksum, "decoded.checksum", Number, nullptr, "", "a checksum write: the checksum")  \
  ROW(DecodedSerial, "decoded.serial", TextBytes, nullptr, "",                                     \
      "a serial number write: the characters that the data holds")                                 \
  ROW(DecodedRecordId, "decoded.record_id", Coded, nullptr, "",                                    \
      "a record read or a version list: the RecordID, named by its bytes")                         \
  ROW(DecodedMarked, "decoded.marked", Flag, nullptr, "",                                          \
      "a systems-management request: its body begins with the request marker")                     \
  ROW(DecodedEntryBytes, "decoded.entry_bytes", Number, nullptr, "byte",                           \
      "a systems-management request: its entries' byte count as it gives it")                      \
  ROW(DecodedEntries, "decoded.entries", List, nullptr, "",                                        \
      "a systems-management request: its entries")                                                 \
  ROW(DecodedEntryReport, "decoded.entries.report", Coded, &kReportKindTable, "",                  \
      "the kind of report that an entry asks for")                                                 \
  ROW(DecodedEntryDeviceClass, "decoded.entries.device_class", Coded, &kDeviceClassTable, "",      \
      "the device class that an entry asks about")                                                 \
  ROW(DecodedStatus, "decoded.status", Object, nullptr, "", "a status reply: its status byte")     \
  ROW(DecodedStatusValue, "decoded.status.value", Number, nullptr, "", "the status byte")          \
  ROW(DecodedStatusBits, "decoded.status.bits", List, &kStatusBitTable, "",                        \
      "the words of the bits set that have a note, in bit order")                                  \
  ROW(DecodedEc, "decoded.ec", Object, nullptr, "",                                                \
      "a status reply with EC information: the EC levels")                                         \
  ROW(DecodedEcCurrent, "decoded.ec.current", Text, nullptr, "", "the current EC level, xx.xx")    \
  ROW(DecodedEcPrevious, "decoded.ec.previous", Text, nullptr, "", "the previous EC level, xx.xx") \
  ROW(DecodedFlashRead, "decoded.flash_read", Object, nullptr, "",                                 \
      "a status reply without EC information whose length byte is above 0: a flash read")          \
  ROW(DecodedFlashLength, "decoded.flash_read.length", Number, nullptr, "byte",                    \
      "the length byte as the reply gives it")                                                     \
  ROW(DecodedFlashAddress, "decoded.flash_read.address", Number, nullptr, "",                      \
      "the 24-bit address read")                                                                   \
  ROW(DecodedFlashContents, "decoded.flash_read.contents", TextBytes, nullptr, "",                 \
      "every byte after the reply's six fields")                                                   \
  ROW(DecodedTruncated, "decoded.truncated", Flag, nullptr, "",                                    \
      "the record ends before a byte that the value needs")                                        \
  ROW(DecodedListed, "decoded.listed", Flag, nullptr, "",                                          \
      "a version list: its marker and RecordID are there, so its rows are listed")                 \
  ROW(DecodedRows, "decoded.rows", List, nullptr, "", "a version list: the whole rows it holds")   \
  ROW(DecodedRowI, "decoded.rows.i", Number, nullptr, "", "a row's byte i")                        \
  ROW(DecodedRowRr, "decoded.rows.rr", Number, nullptr, "", "a row's byte rr")                     \
  ROW(DecodedRowGg, "decoded.rows.gg", Number, nullptr, "", "a row's byte gg")                     \
  ROW(DecodedRowFf, "decoded.rows.ff", Number, nullptr, "", "a row's byte ff")                     \
  ROW(DecodedRowBb, "decoded.rows.bb", Number, nullptr, "", "a row's byte bb")                     \
  ROW(DecodedInventorySection, "decoded.inventory_section", Flag, nullptr, "",                     \
      "a systems-management report: it has an inventory section")                                  \
  ROW(DecodedUsageSection, "decoded.usage_section", Flag, nullptr, "",                             \
      "a systems-management report: it has a usage section")                                       \
  ROW(DecodedInventory, "decoded.inventory", List, nullptr, "",                                    \
      "a systems-management report: its inventory items")                                          \
  ROW(DecodedItemTag, "decoded.inventory.tag", Coded, &kInventoryItemTable, "", "an item's tag")   \
  ROW(DecodedItemValue, "decoded.inventory.value", Number, nullptr, "",                            \
      "a manufacture date, big-endian, or a device class item's first byte")                       \
  ROW(DecodedItemDate, "decoded.inventory.date", Text, nullptr, "",                                \
      "a manufacture date as the listing shows it, at least four hex digits")                      \
  ROW(DecodedCounters, "decoded.counters", List, nullptr, "",                                      \
      "a systems-management report: its usage counters")                                           \
  ROW(DecodedCounterDeviceClass, "decoded.counters.device_class", Coded, &kDeviceClassTable, "",   \
      "the device class that a counter counts under")                                              \
  ROW(DecodedCounterTag, "decoded.counters.tag", Coded, &kUsageCounterTable, "",                   \
      "a counter's tag, named by its device class and tag")                                        \
  ROW(DecodedCounterValue, "decoded.counters.value", Number, nullptr, "",                          \
      "a counter's value, big-endian in 32 bits")                                                  \
  ROW(ReplyTo, "reply_to", Number, nullptr, "byte",                                                \
      "a reply: the offset of the command that it answers; null for an unsolicited reply")         \
  ROW(ResponseMs, "response_ms", Number, nullptr, "ms",                                            \
      "a reply to a command: from the command's stamp to the reply's, to the microsecond")         \
  ROW(LeftOut, "left_out", Number, nullptr, "",                                                    \
      "with --before: the records before this one that the room for context could not keep")       \
  ROW(Context, "context", Flag, nullptr, "",                                                       \
      "with --before, --after or --context: true on a record written around a selected one")

// The members of a JSON Lines diagnostic: ROW(Name, key, type, table, unit, meaning).
#define OVANTREX_DIAGNOSTIC_FIELDS(ROW)                                                           \
  ROW(Diagnostic, "diagnostic", Key, &kDiagnosticTable, "",                                       \
      "what the record loop skipped, or read_error where a read of the trace failed")             \
  ROW(Offset, "offset", Number, nullptr, "byte", "where the record's header starts in the trace") \
  ROW(Minor, "minor", Number, nullptr, "", "the header's minor code")                             \
  ROW(Length, "length", Number, nullptr, "byte", "the header's length")                           \
  ROW(Actual, "actual", Number, nullptr, "byte", "a short payload: the bytes that arrived")       \
  ROW(Message, "message", Text, nullptr, "", "the words that the listing writes")

#define OVANTREX_FIELD_ROW(name, key, type, table, unit, meaning) \
  RecordField{key, FieldType::type, table, unit, meaning},

enum class RecordKey : std::uint8_t { OVANTREX_RECORD_FIELDS(OVANTREX_ENUMERATOR) };
inline constexpr auto kRecordFields = std::to_array({OVANTREX_RECORD_FIELDS(OVANTREX_FIELD_ROW)});
constexpr const RecordField& field(RecordKey key) { return kRecordFields[code(key)]; }

enum class DiagnosticKey : std::uint8_t { OVANTREX_DIAGNOSTIC_FIELDS(OVANTREX_ENUMERATOR) };
inline constexpr auto kDiagnosticFields =
    std::to_array({OVANTREX_DIAGNOSTIC_FIELDS(OVANTREX_FIELD_ROW)});
constexpr const RecordField& field(DiagnosticKey key) { return kDiagnosticFields[code(key)]; }

#undef OVANTREX_FIELD_ROW

// The columns of a version list's rows, as the listing, the summary and
// the page head them: the names of the row fields.
inline constexpr std::array<std::string_view, 5> kVersionRowNames{
    field(RecordKey::DecodedRowI).name(), field(RecordKey::DecodedRowRr).name(),
    field(RecordKey::DecodedRowGg).name(), field(RecordKey::DecodedRowFf).name(),
    field(RecordKey::DecodedRowBb).name()};

// The field of a key ("decoded.kind"), or none.
constexpr const RecordField* findRecordField(std::string_view key) {
  for (const RecordField& row : kRecordFields) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

}  // namespace ovantrex
