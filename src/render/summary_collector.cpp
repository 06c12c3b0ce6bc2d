#include "render/summary_collector.h"

#include <algorithm>
#include <cstring>

#include "core/protocol.h"
#include "render/notes.h"

namespace ovantrex {

namespace {

std::optional<TraceTime> timeOf(const Record& record) {
  if (record.formatVersion != 3) return std::nullopt;
  return TraceTime{record.ext.seconds, record.ext.milliseconds};
}

// Collects the notes of a value as strings.
class NoteStrings final : public NoteSink {
 public:
  NoteStrings(Writer& scratch, std::vector<std::string>& notes)
      : scratch_(scratch), notes_(notes) {}
  Writer& startNote() override {
    scratch_.clear();
    return scratch_;
  }
  void endNote() override { notes_.push_back(scratch_.text()); }

 private:
  Writer& scratch_;
  std::vector<std::string>& notes_;
};

// System commands are counted by their words, of which there are six.
void countSystemCommand(SessionSummaryData& data, std::string_view name) {
  auto* counted = std::find_if(data.systemCommands.begin(), data.systemCommands.end(),
                               [name](const auto& entry) { return entry.first == name; });
  if (counted != data.systemCommands.end()) {
    ++counted->second;
  } else {
    data.systemCommands.push({name, 1});
  }
}

std::size_t indexOfType(RecordType type) {
  const auto* at = std::find(kRecordTypesInOrder.begin(), kRecordTypesInOrder.end(), type);
  return static_cast<std::size_t>(at - kRecordTypesInOrder.begin());
}

}  // namespace

bool isErrorReply(const StatusReply& reply) {
  return reply.has(kStatusError) || reply.has(kStatusReject) || reply.has(kStatusSerialOnce);
}

SummaryCollector::SummaryCollector() : data_(std::make_unique<SessionSummaryData>()) {}

void SummaryCollector::keepRewrittenRanges() {
  if (!rewrites_) rewrites_ = std::make_unique<FlashMap>();
}

void SummaryCollector::diagnostic(const Diagnostic& diagnostic) {
  ++data_->diagnostics[static_cast<std::size_t>(diagnostic.kind)];
}

void SummaryCollector::record(const Record& record, const DecodedRecord& decoded) {
  SessionSummaryData& data = *data_;
  ++data.records;
  ++data.byType[indexOfType(decoded.type)];
  data.versions[static_cast<std::size_t>(record.formatVersion)] = true;
  if (const auto time = timeOf(record)) {
    const std::int64_t at = time->inMilliseconds();
    if (previousTime_ && at < previousTime_->inMilliseconds()) data.timesInOrder = false;
    if (!data.earliestTime || at < data.earliestTime->inMilliseconds()) data.earliestTime = time;
    if (!data.latestTime || at > data.latestTime->inMilliseconds()) data.latestTime = time;
    previousTime_ = time;
  }
  if (decoded.hidden) {
    ++data.hidden;
    return;
  }
  if (decoded.failure != DecodeFailure::None) {
    ++data.failed;
    return;
  }
  if (const auto* value = std::get_if<FirmwareCommand>(&decoded.body)) {
    command(record, *value);
  } else if (const auto* reply = std::get_if<StatusReply>(&decoded.body)) {
    this->reply(record, *reply);
  } else if (const auto* report = std::get_if<ComponentReport>(&decoded.body)) {
    componentReport(*report);
  }
}

UpdateSummary* SummaryCollector::openUpdate() {
  if (!updateOpen_ || updateNumber_ > kMaxUpdates) return nullptr;
  return &data_->updates.back();
}

void SummaryCollector::startUpdate(const Record& record) {
  closeUpdate();
  updateOpen_ = true;
  ++updateNumber_;
  flash_.clear();
  if (rewrites_) rewrites_->clear();
  if (updateNumber_ > kMaxUpdates) {
    ++data_->updatesLeftOut;
    return;
  }
  UpdateSummary& update = data_->updates.emplace_back();
  update.offset = record.offset;
  update.time = timeOf(record);
}

void SummaryCollector::closeUpdate() {
  UpdateSummary* update = openUpdate();
  if (update == nullptr) return;
  const auto keep = [](std::vector<AddressRange>& ranges, std::uint64_t& leftOut) {
    return [&ranges, &leftOut](std::uint32_t first, std::uint32_t last) {
      if (ranges.size() < kMaxRangesPerUpdate) {
        ranges.push_back({first, last});
      } else {
        ++leftOut;
      }
    };
  };
  flash_.forEachRange(keep(update->ranges, update->rangesLeftOut));
  flash_.clear();
  if (rewrites_) {
    rewrites_->forEachRange(keep(update->rewrittenRanges, update->rewrittenRangesLeftOut));
    rewrites_->clear();
  }
}

void SummaryCollector::command(const Record& record, const FirmwareCommand& command) {
  SessionSummaryData& data = *data_;
  ++data.commands[static_cast<std::size_t>(command.kind)];
  // Keep the command's bytes to name it again under an error reply.
  haveCommand_ = true;
  commandOffset_ = record.offset;
  const Bytes transferData = bytesFrom(record.payload, kHidHeaderSize);
  commandSize_ = std::min(transferData.size(), kCommandBytes);
  std::copy_n(transferData.begin(), commandSize_, commandData_.begin());

  UpdateSummary* update = openUpdate();
  switch (command.kind) {
    case CommandKind::System:
      countSystemCommand(data, systemCommandName(command));
      if (update != nullptr && command.subCommand == kSubReset) update->reset = true;
      break;
    case CommandKind::StartFlashUpdate: startUpdate(record); break;
    case CommandKind::FlashWrite:
      if (!updateOpen_) {
        ++data.writesOutsideUpdates;
        break;
      }
      {
        const std::uint32_t rewritten =
            flash_.write(command.address, command.dataCount, rewrites_.get());
        if (update == nullptr) break;
        ++update->writes;
        update->bytes += command.dataCount;
        update->rewrittenBytes += rewritten;
        if (!command.lengthAgrees()) ++update->lengthMismatches;
      }
      break;
    case CommandKind::ChecksumWrite:
      if (update == nullptr) break;
      if (update->checksums.size() < kMaxChecksumsPerUpdate) {
        update->checksums.push_back(command.checksum);
      } else {
        ++update->checksumsLeftOut;
      }
      break;
    case CommandKind::SerialNumber:
      if (update == nullptr) break;
      if (update->serialNumbers.size() < kMaxSerialNumbersPerUpdate) {
        std::string& serial = update->serialNumbers.emplace_back();
        for (std::size_t i = 0; i < command.serialLength; ++i) serial += command.serialCharacter(i);
      } else {
        ++update->serialNumbersLeftOut;
      }
      break;
    case CommandKind::ReadOneRecord:
    case CommandKind::ReadAllRecords:
    case CommandKind::SmRequest:
    case CommandKind::Invalid: break;
  }
}

void SummaryCollector::reply(const Record& record, const StatusReply& reply) {
  SessionSummaryData& data = *data_;
  const auto bits = statusBitNames();
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (reply.has(bits[i].value)) ++data.statusNotes[i];
  }
  if (reply.flashRead) ++data.flashReads;
  if (reply.has(kStatusEcInformation)) {
    data.hasEcLevels = true;
    data.ecCurrent = reply.ecCurrent;
    data.ecPrevious = reply.ecPrevious;
  }
  if (!isErrorReply(reply)) return;

  if (!updateOpen_) ++data.errorsOutsideUpdates;
  if (UpdateSummary* update = openUpdate()) ++update->errors;
  if (data.errors.size() >= kMaxErrors) {
    ++data.errorsLeftOut;
    return;
  }
  ErrorReply& error = data.errors.emplace_back();
  error.offset = record.offset;
  error.time = timeOf(record);
  error.update = updateOpen_ ? updateNumber_ : 0;
  NoteStrings replyNotes(scratch_, error.notes);
  writeStatusNotes(replyNotes, reply);
  if (haveCommand_) {
    error.hasCommand = true;
    error.commandOffset = commandOffset_;
    NoteStrings commandNotes(scratch_, error.commandNotes);
    writeCommandNotes(commandNotes, decodeFirmwareCommand(Bytes(commandData_).first(commandSize_)));
  }
}

void SummaryCollector::componentReport(const ComponentReport& report) {
  SessionSummaryData& data = *data_;
  if (const auto* list = std::get_if<ExtendedVersionList>(&report.body)) {
    if (!list->listed) return;
    data.hasVersionList = true;
    data.versionListId = list->recordId;
    data.versionListCount = list->dataCount;
    data.versionRows = {};
    for (std::size_t r = 0; r < list->rowCount(); ++r) data.versionRows.push(list->row(r));
    return;
  }
  const SmReport& sm = std::get<SmReport>(report.body);
  if (!sm.inventory.empty()) {
    // The inventory belongs to the class that its device class item names.
    std::uint8_t deviceClass = kClassPhysicalDevice;
    for (const InventoryItem& item : sm.inventory) {
      if (item.tag == kItemDeviceClass) {
        deviceClass = static_cast<std::uint8_t>(item.value);
        break;
      }
    }
    DeviceReport& device = data.devices[deviceClass];
    device.hasInventory = true;
    device.inventory = sm.inventory;
  }
  // The counters of each class in this report replace those of an earlier one.
  std::array<bool, 256> seen{};
  for (const UsageCounter& counter : sm.counters) {
    DeviceReport& device = data.devices[counter.deviceClass];
    if (!seen[counter.deviceClass]) {
      seen[counter.deviceClass] = true;
      device.hasCounters = true;
      device.counters = {};
    }
    device.counters.push(counter);
  }
}

void SummaryCollector::close() {
  closeUpdate();
  updateOpen_ = false;
}

}  // namespace ovantrex
