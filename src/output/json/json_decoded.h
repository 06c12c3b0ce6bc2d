// The "decoded" member of a firmware-report record: the decoded values,
// numbers as numbers, every coded field as its raw value and its name,
// flag bytes as the value and the words of the bits set, each member named
// by its record field (core/record_fields.h).
//
// describeDecoded() walks a value once, as calls on a sink, so that JSON
// Lines and the summary (its error replies, its version list and device
// classes) write the same members alike. A sink takes:
//   begin(key), end()          an object member, and its end
//   beginList(key), endList()  a list member
//   item(), endItem()          an object element of the open list
//   number(key, value), flag(key, value)
//   words(key, words)          a coded value as its words ("kind")
//   coded(key, value, words)   a coded value: {"value": ..., "name": ...}
//   element(words)             a string element of the open list
//   textBytes(key, bytes)      bytes that carry text: {"hex": ..., "text": ...}
//   figure(key, write)         a string that write(Writer&) writes (hex digits and dots)
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/record_fields.h"
#include "decode/decoded_record.h"
#include "output/common/figures.h"
#include "output/common/json_values.h"
#include "output/common/writer.h"
#include "output/json/json_keys.h"

namespace ovantrex {

// A RecordID as a coded field: its three bytes as one number, and its name.
template <typename Sink>
void describeRecordId(Sink& sink, RecordKey key, const RecordId& id) {
  sink.coded(key, recordIdValue(id), nameRecordId(id).view());
}

// The members of a row of an extended version list: "i", "rr", "gg", "ff", "bb".
template <typename Sink>
void describeVersionRowColumns(Sink& sink, const std::array<std::uint8_t, 5>& row) {
  constexpr std::array kColumns{RecordKey::DecodedRowI, RecordKey::DecodedRowRr,
                                RecordKey::DecodedRowGg, RecordKey::DecodedRowFf,
                                RecordKey::DecodedRowBb};
  for (std::size_t i = 0; i < row.size(); ++i) sink.number(kColumns[i], row[i]);
}

// A row of an extended version list, as an element of the rows.
template <typename Sink>
void describeVersionRow(Sink& sink, const std::array<std::uint8_t, 5>& row) {
  sink.item();
  describeVersionRowColumns(sink, row);
  sink.endItem();
}

// An inventory item: its tag as a coded field and, but for a logical device
// list, its value; a manufacture date also as the listing shows it.
template <typename Sink>
void describeInventoryItem(Sink& sink, const InventoryItem& item) {
  sink.item();
  sink.coded(RecordKey::DecodedItemTag, item.tag, kInventoryItemTable.words(item.tag));
  if (item.tag != code(InventoryTag::LogicalDeviceList))
    sink.number(RecordKey::DecodedItemValue, item.value);
  if (item.tag == code(InventoryTag::ManufactureDate)) {
    sink.figure(RecordKey::DecodedItemDate,
                [&item](Writer& out) { writeManufactureDate(out, item.value); });
  }
  sink.endItem();
}

// A usage counter: its device class (when withClass) and tag as coded
// fields, and its value.
template <typename Sink>
void describeUsageCounter(Sink& sink, const UsageCounter& counter, bool withClass) {
  sink.item();
  if (withClass) {
    sink.coded(RecordKey::DecodedCounterDeviceClass, counter.deviceClass,
               kDeviceClassTable.words(counter.deviceClass));
  }
  sink.coded(RecordKey::DecodedCounterTag, counter.tag,
             usageCounterName(counter.deviceClass, counter.tag));
  sink.number(RecordKey::DecodedCounterValue, counter.value);
  sink.endItem();
}

template <typename Sink>
void describeCommandFields(Sink& sink, const FirmwareCommand& command) {
  switch (command.kind) {
    case CommandKind::System:
      sink.coded(RecordKey::DecodedSubCommand, command.subCommand, systemCommandName(command));
      if (command.subCommand == code(SystemCommand::DeviceInformation)) {
        sink.number(RecordKey::DecodedDataCount, command.dataCount);
        sink.flag(RecordKey::DecodedDeviceInformation, command.deviceInformation);
      }
      break;
    case CommandKind::FlashWrite:
      sink.number(RecordKey::DecodedDataCount, command.dataCount);
      sink.number(RecordKey::DecodedAddress, command.address);
      sink.number(RecordKey::DecodedLengthField, command.lengthField);
      sink.flag(RecordKey::DecodedLengthAgrees, command.lengthAgrees());
      break;
    case CommandKind::ChecksumWrite:
      sink.number(RecordKey::DecodedChecksum, command.checksum);
      break;
    case CommandKind::SerialNumber: {
      sink.number(RecordKey::DecodedDataCount, command.dataCount);
      // The characters only; their second bytes are never looked at.
      const SerialText text = command.serialText();
      sink.textBytes(RecordKey::DecodedSerial, asBytes(text.view()));
      break;
    }
    case CommandKind::ReadOneRecord:
    case CommandKind::ReadAllRecords:
      sink.number(RecordKey::DecodedDataCount, command.dataCount);
      sink.number(RecordKey::DecodedAddress, command.address);
      describeRecordId(sink, RecordKey::DecodedRecordId, command.recordId);
      break;
    case CommandKind::SmRequest: {
      const SmRequest& request = command.request;
      sink.flag(RecordKey::DecodedMarked, request.marked);
      sink.number(RecordKey::DecodedEntryBytes, request.entryBytes);
      sink.beginList(RecordKey::DecodedEntries);
      for (std::size_t i = 0; i < request.count(); ++i) {
        const SmRequestEntry entry = request.entry(i);
        sink.item();
        sink.coded(RecordKey::DecodedEntryReport, entry.reportKind,
                   kReportKindTable.words(entry.reportKind));
        sink.coded(RecordKey::DecodedEntryDeviceClass, entry.deviceClass,
                   kDeviceClassTable.words(entry.deviceClass));
        sink.endItem();
      }
      sink.endList();
      break;
    }
    case CommandKind::StartFlashUpdate:
    case CommandKind::Invalid: break;
  }
}

template <typename Sink>
void describeCommand(Sink& sink, const FirmwareCommand& command) {
  sink.words(RecordKey::DecodedKind, coded(command.kind).words);
  sink.coded(RecordKey::DecodedCommand, command.commandClass,
             kCommandClassTable.words(command.commandClass));
  describeCommandFields(sink, command);
  sink.flag(RecordKey::DecodedTruncated, command.truncated);
}

template <typename Sink>
void describeStatusReply(Sink& sink, const StatusReply& reply) {
  sink.words(RecordKey::DecodedKind, coded(ReplyKind::StatusReply).words);
  sink.begin(RecordKey::DecodedStatus);
  sink.number(RecordKey::DecodedStatusValue, reply.status);
  sink.beginList(RecordKey::DecodedStatusBits);
  for (const CodedValue& bit : kStatusBitRows) {
    if (reply.has(static_cast<StatusBit>(bit.value))) sink.element(bit.words);
  }
  sink.endList();
  sink.end();
  if (reply.has(StatusBit::EcInformation)) {
    sink.begin(RecordKey::DecodedEc);
    sink.figure(RecordKey::DecodedEcCurrent,
                [&reply](Writer& out) { writeEcLevel(out, reply.ecCurrent); });
    sink.figure(RecordKey::DecodedEcPrevious,
                [&reply](Writer& out) { writeEcLevel(out, reply.ecPrevious); });
    sink.end();
  }
  if (reply.flashRead) {
    sink.begin(RecordKey::DecodedFlashRead);
    sink.number(RecordKey::DecodedFlashLength, reply.flashLength);
    sink.number(RecordKey::DecodedFlashAddress, reply.flashAddressValue());
    sink.textBytes(RecordKey::DecodedFlashContents, reply.contents.bytes);
    sink.end();
  }
  sink.flag(RecordKey::DecodedTruncated, reply.truncated);
}

template <typename Sink>
void describeVersionList(Sink& sink, const ExtendedVersionList& list) {
  sink.words(RecordKey::DecodedKind, coded(ReplyKind::VersionList).words);
  sink.flag(RecordKey::DecodedListed, list.listed);
  describeRecordId(sink, RecordKey::DecodedRecordId, list.recordId);
  sink.number(RecordKey::DecodedDataCount, list.dataCount);
  sink.beginList(RecordKey::DecodedRows);
  for (std::size_t r = 0; r < list.rowCount(); ++r) describeVersionRow(sink, list.row(r));
  sink.endList();
  sink.flag(RecordKey::DecodedTruncated, list.truncated);
}

template <typename Sink>
void describeSmReport(Sink& sink, const SmReport& report) {
  sink.words(RecordKey::DecodedKind, coded(ReplyKind::SmReport).words);
  sink.flag(RecordKey::DecodedInventorySection, report.hasInventory);
  sink.flag(RecordKey::DecodedUsageSection, report.hasUsage);
  sink.beginList(RecordKey::DecodedInventory);
  for (const InventoryItem& item : report.inventory) describeInventoryItem(sink, item);
  sink.endList();
  sink.beginList(RecordKey::DecodedCounters);
  for (const UsageCounter& counter : report.counters) describeUsageCounter(sink, counter, true);
  sink.endList();
  sink.flag(RecordKey::DecodedTruncated, report.truncated);
}

// The members of the decoded object of a body that holds a value.
template <typename Sink>
void describeDecoded(Sink& sink, const FirmwareBody& body) {
  if (const auto* command = std::get_if<FirmwareCommand>(&body)) {
    describeCommand(sink, *command);
  } else if (const auto* reply = std::get_if<StatusReply>(&body)) {
    describeStatusReply(sink, *reply);
  } else if (const auto* component = std::get_if<ComponentReport>(&body)) {
    if (const auto* list = std::get_if<ExtendedVersionList>(&component->body)) {
      describeVersionList(sink, *list);
    } else {
      describeSmReport(sink, std::get<SmReport>(component->body));
    }
  }
}

// True when the body holds a value that describeDecoded() describes.
inline bool hasDecodedJson(const FirmwareBody& body) {
  return !std::holds_alternative<NoBody>(body);
}

// The sink that writes JSON: the members of one object, or of the objects
// and lists it opens inside it.
class JsonSink {
 public:
  explicit JsonSink(Writer& out) : out_(out) {}

  void begin(RecordKey key) { open(member(key), '{'); }
  void end() { close('}'); }
  void beginList(RecordKey key) { open(member(key), '['); }
  void endList() { close(']'); }
  void item() { open(element(), '{'); }
  void endItem() { close('}'); }
  void number(RecordKey key, std::int64_t value) { member(key).decimal(value); }
  void flag(RecordKey key, bool value) { writeJsonBool(member(key), value); }
  void words(RecordKey key, std::string_view words) { writeJsonString(member(key), words); }
  void coded(RecordKey key, std::uint32_t value, std::string_view words) {
    member(key).put("{\"value\":");
    out_.decimal(value);
    out_.put(",\"name\":");
    writeJsonString(out_, words);
    out_.put('}');
  }
  void element(std::string_view words) { writeJsonString(element(), words); }
  void textBytes(RecordKey key, Bytes bytes) {
    member(key).put("{\"hex\":");
    writeJsonHex(out_, bytes);
    out_.put(",\"text\":");
    writeJsonString(out_, bytes);
    out_.put('}');
  }
  template <typename Write>
  void figure(RecordKey key, Write write) {
    member(key).put('"');
    write(out_);
    out_.put('"');
  }

 private:
  Writer& member(RecordKey key) {
    const MemberKey& text = memberKey(key);
    out_.put(first_[depth_] ? text.first() : text.next());
    first_[depth_] = false;
    return out_;
  }
  Writer& element() {
    if (!first_[depth_]) out_.put(',');
    first_[depth_] = false;
    return out_;
  }
  void open(Writer& out, char bracket) {
    out.put(bracket);
    first_[++depth_] = true;
  }
  void close(char bracket) {
    out_.put(bracket);
    --depth_;
  }

  Writer& out_;
  // Whether the open object or list, and each around it, has no member yet.
  std::array<bool, 8> first_{true};
  std::size_t depth_ = 0;
};

// Writes the decoded object; the record must carry a firmware value.
void writeDecodedJson(Writer& out, const FirmwareBody& body);

// The pieces that the session summary writes as the decoded values do.
// A coded field: {"value": v, "name": "..."}.
void writeCodedJson(JsonObject& object, std::string_view key, std::uint32_t value,
                    std::string_view name);
void writeRecordIdJson(JsonObject& object, std::string_view key, const RecordId& id);
void writeEcLevelJson(Writer& out, const std::array<std::uint8_t, 2>& level);
void writeVersionRowJson(Writer& out, const std::array<std::uint8_t, 5>& row);
void writeInventoryItemJson(Writer& out, const InventoryItem& item);
void writeUsageCounterJson(Writer& out, const UsageCounter& counter, bool withClass);

}  // namespace ovantrex
