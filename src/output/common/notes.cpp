#include "output/common/notes.h"

#include <string_view>

#include "core/device_codes.h"
#include "core/firmware_codes.h"
#include "core/protocol.h"
#include "output/common/byte_dumps.h"
#include "output/common/figures.h"

namespace ovantrex {

namespace {

void note(NoteSink& notes, std::string_view words) {
  notes.startNote().put(words);
  notes.endNote();
}

// counted: as systemCommandCode() gives it; subCommand: the command's own.
void systemNotes(NoteSink& notes, std::uint8_t counted, std::uint8_t subCommand) {
  note(notes, kSystemCommandTable.words(counted));
  // The device-information request is also a test, valid or not.
  if (subCommand == code(SystemCommand::DeviceInformation))
    note(notes, kSystemCommandTable.words(code(SystemCommand::Test)));
}

void writeRecordReadNote(NoteSink& notes, const FirmwareCommand& command, std::string_view kind) {
  Writer& out = notes.startNote();
  out.put("Read (");
  out.put(kind);
  out.put(") ");
  out.decimal(command.dataCount);
  out.put(" bytes from address ");
  writeHexAddress(out, command.address);
  out.put(" (RecordID=");
  out.put(nameRecordId(command.recordId));
  out.put(')');
  notes.endNote();
}

}  // namespace

void writeSystemCommandNotes(NoteSink& notes, std::uint8_t code) { systemNotes(notes, code, code); }

void writeFlashWriteNotes(NoteSink& notes, const FlashWrite& write) {
  Writer& out = notes.startNote();
  out.put("Flash write ");
  out.decimal(write.count);
  out.put(" bytes to address=");
  writeHexAddress(out, write.address);
  notes.endNote();
  if (write.lengthAgrees()) return;
  Writer& check = notes.startNote();
  check.put("Invalid command, data_count=");
  check.decimal(write.count);
  check.put(" + 6 note equal to ");
  check.decimal(write.lengthField);
  notes.endNote();
}

void writeChecksumNotes(NoteSink& notes, std::uint16_t checksum) {
  Writer& out = notes.startNote();
  out.put("Write checksum ");
  writeChecksum(out, checksum);
  out.put(" to flash memory");
  notes.endNote();
}

void writeSmRequestEntryNotes(NoteSink& notes, const SmRequest& request) {
  for (std::size_t i = 0; i < request.count(); ++i) {
    const SmRequestEntry entry = request.entry(i);
    Writer& out = notes.startSubNote();
    out.put(kReportKindTable.words(entry.reportKind));
    out.put(" for ");
    out.put(kDeviceClassTable.words(entry.deviceClass));
    notes.endNote();
  }
}

void writeCommandNotes(NoteSink& notes, const FirmwareCommand& command) {
  switch (command.kind) {
    case CommandKind::System:
      systemNotes(notes, systemCommandCode(command), command.subCommand);
      break;
    case CommandKind::StartFlashUpdate: note(notes, "Start flash update"); break;
    case CommandKind::FlashWrite: writeFlashWriteNotes(notes, command.flashWrite()); break;
    case CommandKind::ChecksumWrite: writeChecksumNotes(notes, command.checksum); break;
    case CommandKind::SerialNumber: {
      // The characters as the device gets them, byte for byte.
      Writer& out = notes.startNote();
      out.put("Write serial number (S/N: ");
      out.put(command.serialText().view());
      out.put(')');
      notes.endNote();
      break;
    }
    case CommandKind::ReadOneRecord: writeRecordReadNote(notes, command, "One Record"); break;
    case CommandKind::ReadAllRecords: writeRecordReadNote(notes, command, "All Records"); break;
    case CommandKind::SmRequest:
      note(notes, "Systems Management Request:");
      writeSmRequestEntryNotes(notes, command.request);
      break;
    case CommandKind::Invalid: note(notes, "Invalid flash command"); break;
  }
}

void writeStatusNotes(NoteSink& notes, const StatusReply& reply) {
  for (const CodedValue& bit : kStatusBitRows) {
    if (!reply.has(static_cast<StatusBit>(bit.value))) continue;
    Writer& out = notes.startNote();
    out.put(bit.words);
    if (bit.value == code(StatusBit::EcInformation)) {
      // Levels are dotted hex, as in the entry's dump.
      out.put(" (current=");
      writeEcLevel(out, reply.ecCurrent);
      out.put(", previous=");
      writeEcLevel(out, reply.ecPrevious);
      out.put(')');
    }
    notes.endNote();
  }
  if (!reply.flashRead) return;
  Writer& out = notes.startNote();
  out.put("Flash Read (length=");
  out.decimal(reply.flashLength);
  out.put(", address=");
  dumpHex(out, reply.flashAddress);
  out.put(')');
  notes.endNote();
}

void writeSmReportNotes(NoteSink& notes, const SmReport& report) {
  for (const InventoryItem& item : report.inventory) {
    if (item.tag == code(InventoryTag::ManufactureDate)) {
      Writer& out = notes.startNote();
      out.put(kInventoryItemTable.words(item.tag));
      out.put(": ");
      writeManufactureDate(out, item.value);
      notes.endNote();
    } else if (item.tag == code(InventoryTag::LogicalDeviceList)) {
      Writer& out = notes.startNote();
      out.put(kInventoryItemTable.words(item.tag));
      out.put(" skipped");
      notes.endNote();
    }
  }
  for (const UsageCounter& counter : report.counters) {
    const std::string_view name = usageCounterName(counter.deviceClass, counter.tag);
    if (name.empty()) continue;
    Writer& out = notes.startNote();
    out.put(name);
    out.put(": 0x");
    out.hex(counter.value);
    out.put('(');
    out.decimal(static_cast<std::int32_t>(counter.value));
    out.put(')');
    notes.endNote();
  }
}

void writeRecordNotes(NoteSink& notes, const DecodedRecord& record) {
  if (const auto* command = std::get_if<FirmwareCommand>(&record.body)) {
    writeCommandNotes(notes, *command);
  } else if (const auto* reply = std::get_if<StatusReply>(&record.body)) {
    writeStatusNotes(notes, *reply);
  } else if (const auto* component = std::get_if<ComponentReport>(&record.body)) {
    if (const auto* report = std::get_if<SmReport>(&component->body))
      writeSmReportNotes(notes, *report);
  }
}

}  // namespace ovantrex
