#include "output/json/json_decoded.h"

#include <string_view>

#include "core/protocol.h"
#include "output/common/json_values.h"
#include "output/common/notes.h"

namespace ovantrex {

namespace {

// {"hex": "...", "text": "..."}: bytes that carry text.
void bytesWithText(JsonObject& object, std::string_view key, Bytes bytes, Bytes text) {
  JsonObject field(object.key(key));
  writeJsonHex(field.key("hex"), bytes);
  writeJsonString(field.key("text"), text);
}

void writeCommand(Writer& out, const FirmwareCommand& command) {
  JsonObject object(out);
  object.string("kind", coded(command.kind).words);
  writeCodedJson(object, "command", command.commandClass,
                 kCommandClassTable.words(command.commandClass));
  switch (command.kind) {
    case CommandKind::System:
      writeCodedJson(object, "sub_command", command.subCommand, systemCommandName(command));
      if (command.subCommand == code(SystemCommand::DeviceInformation)) {
        object.number("data_count", command.dataCount);
        object.boolean("device_information", command.deviceInformation);
      }
      break;
    case CommandKind::FlashWrite:
      object.number("data_count", command.dataCount);
      object.number("address", command.address);
      object.number("length_field", command.lengthField);
      object.boolean("length_agrees", command.lengthAgrees());
      break;
    case CommandKind::ChecksumWrite: object.number("checksum", command.checksum); break;
    case CommandKind::SerialNumber: {
      object.number("data_count", command.dataCount);
      // The characters only; their second bytes are never looked at.
      char characters[256];
      for (std::size_t i = 0; i < command.serialLength; ++i)
        characters[i] = command.serialCharacter(i);
      const Bytes text(reinterpret_cast<const std::uint8_t*>(characters), command.serialLength);
      bytesWithText(object, "serial", text, text);
      break;
    }
    case CommandKind::ReadOneRecord:
    case CommandKind::ReadAllRecords:
      object.number("data_count", command.dataCount);
      object.number("address", command.address);
      writeRecordIdJson(object, "record_id", command.recordId);
      break;
    case CommandKind::SmRequest: {
      const SmRequest& request = command.request;
      object.boolean("marked", request.marked);
      object.number("entry_bytes", request.entryBytes);
      JsonArray entries(object.key("entries"));
      for (std::size_t i = 0; i < request.count(); ++i) {
        const SmRequestEntry entry = request.entry(i);
        JsonObject item(entries.next());
        writeCodedJson(item, "report", entry.reportKind, kReportKindTable.words(entry.reportKind));
        writeCodedJson(item, "device_class", entry.deviceClass,
                       kDeviceClassTable.words(entry.deviceClass));
      }
      break;
    }
    case CommandKind::StartFlashUpdate:
    case CommandKind::Invalid: break;
  }
  object.boolean("truncated", command.truncated);
}

void writeStatusReply(Writer& out, const StatusReply& reply) {
  JsonObject object(out);
  object.string("kind", coded(ReplyKind::StatusReply).words);
  {
    JsonObject status(object.key("status"));
    status.number("value", reply.status);
    JsonArray bits(status.key("bits"));
    for (const CodedValue& bit : kStatusBitRows) {
      if (reply.has(static_cast<StatusBit>(bit.value))) writeJsonString(bits.next(), bit.words);
    }
  }
  if (reply.has(StatusBit::EcInformation)) {
    JsonObject ec(object.key("ec"));
    writeEcLevelJson(ec.key("current"), reply.ecCurrent);
    writeEcLevelJson(ec.key("previous"), reply.ecPrevious);
  }
  if (reply.flashRead) {
    JsonObject flash(object.key("flash_read"));
    flash.number("length", reply.flashLength);
    flash.number("address", reply.flashAddressValue());
    bytesWithText(flash, "contents", reply.contents.bytes, reply.contents.bytes);
  }
  object.boolean("truncated", reply.truncated);
}

void writeVersionList(Writer& out, const ExtendedVersionList& list) {
  JsonObject object(out);
  object.string("kind", coded(ReplyKind::VersionList).words);
  object.boolean("listed", list.listed);
  writeRecordIdJson(object, "record_id", list.recordId);
  object.number("data_count", list.dataCount);
  {
    JsonArray rows(object.key("rows"));
    for (std::size_t r = 0; r < list.rowCount(); ++r) writeVersionRowJson(rows.next(), list.row(r));
  }
  object.boolean("truncated", list.truncated);
}

void writeSmReport(Writer& out, const SmReport& report) {
  JsonObject object(out);
  object.string("kind", coded(ReplyKind::SmReport).words);
  object.boolean("inventory_section", report.hasInventory);
  object.boolean("usage_section", report.hasUsage);
  {
    JsonArray inventory(object.key("inventory"));
    for (const InventoryItem& item : report.inventory)
      writeInventoryItemJson(inventory.next(), item);
  }
  {
    JsonArray counters(object.key("counters"));
    for (const UsageCounter& counter : report.counters)
      writeUsageCounterJson(counters.next(), counter, true);
  }
  object.boolean("truncated", report.truncated);
}

}  // namespace

void writeCodedJson(JsonObject& object, std::string_view key, std::uint32_t value,
                    std::string_view name) {
  JsonObject field(object.key(key));
  field.number("value", value);
  field.string("name", name);
}

void writeRecordIdJson(JsonObject& object, std::string_view key, const RecordId& id) {
  writeCodedJson(object, key, recordIdValue(id), nameRecordId(id).view());
}

void writeEcLevelJson(Writer& out, const std::array<std::uint8_t, 2>& level) {
  out.put('"');
  out.hexByte(level[0]);
  out.put('.');
  out.hexByte(level[1]);
  out.put('"');
}

void writeVersionRowJson(Writer& out, const std::array<std::uint8_t, 5>& row) {
  JsonObject columns(out);
  columns.number("i", row[0]);
  columns.number("rr", row[1]);
  columns.number("gg", row[2]);
  columns.number("ff", row[3]);
  columns.number("bb", row[4]);
}

void writeInventoryItemJson(Writer& out, const InventoryItem& item) {
  JsonObject entry(out);
  writeCodedJson(entry, "tag", item.tag, kInventoryItemTable.words(item.tag));
  if (item.tag != code(InventoryTag::LogicalDeviceList)) entry.number("value", item.value);
  // The date as the listing and the summaries show it, beside its number.
  if (item.tag == code(InventoryTag::ManufactureDate)) {
    Writer& date = entry.key("date");
    date.put('"');
    writeManufactureDate(date, item.value);
    date.put('"');
  }
}

void writeUsageCounterJson(Writer& out, const UsageCounter& counter, bool withClass) {
  JsonObject entry(out);
  if (withClass)
    writeCodedJson(entry, "device_class", counter.deviceClass,
                   kDeviceClassTable.words(counter.deviceClass));
  writeCodedJson(entry, "tag", counter.tag, usageCounterName(counter.deviceClass, counter.tag));
  entry.number("value", counter.value);
}

bool hasDecodedJson(const FirmwareBody& body) { return !std::holds_alternative<NoBody>(body); }

void writeDecodedJson(Writer& out, const FirmwareBody& body) {
  if (const auto* command = std::get_if<FirmwareCommand>(&body)) {
    writeCommand(out, *command);
  } else if (const auto* reply = std::get_if<StatusReply>(&body)) {
    writeStatusReply(out, *reply);
  } else if (const auto* component = std::get_if<ComponentReport>(&body)) {
    if (const auto* list = std::get_if<ExtendedVersionList>(&component->body)) {
      writeVersionList(out, *list);
    } else {
      writeSmReport(out, std::get<SmReport>(component->body));
    }
  }
}

}  // namespace ovantrex
