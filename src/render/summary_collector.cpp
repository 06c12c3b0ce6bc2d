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

// The notes of one list of an error reply, kept in the collector's rooms
// while they fit: the first notes, and a count of the rest.
class SummaryCollector::NoteList final : public NoteSink {
 public:
  // listsToCome: the lists of notes that may still come after this one.
  NoteList(SummaryCollector& collector, std::span<const std::string_view>& list,
           std::uint64_t& leftOut, std::size_t listsToCome)
      : collector_(collector), list_(list), leftOut_(leftOut), toCome_(listsToCome) {
    list_ = collector_.notes_.startList();
  }
  Writer& startNote() override {
    collector_.scratch_.clear();
    return collector_.scratch_;
  }
  void endNote() override {
    Writer& scratch = collector_.scratch_;
    const std::string_view text = scratch.text();
    full_ = full_ || list_.size() == kMaxNotesPerList || scratch.bytesLeftOut() != 0 ||
            !collector_.notes_.fits(1, toCome_) || !collector_.noteText_.fits(text.size(), toCome_);
    if (full_) {
      ++leftOut_;
      return;
    }
    list_ = collector_.notes_.append(list_, collector_.noteText_.copy(text));
  }

 private:
  SummaryCollector& collector_;
  std::span<const std::string_view>& list_;
  std::uint64_t& leftOut_;
  std::size_t toCome_;
  bool full_ = false;  // a note was left out: so are the ones after it
};

SummaryCollector::SummaryCollector()
    : data_(std::make_unique<SessionSummaryData>()),
      ranges_(kRangeRoom, kRangeShare),
      checksums_(kChecksumRoom, kChecksumShare),
      serialNumbers_(kSerialNumberRoom, kSerialNumberShare),
      serialText_(kSerialTextRoom, kSerialTextShare),
      notes_(kNoteRoom, kNoteShare),
      noteText_(kNoteTextRoom, kNoteTextShare) {
  data_->updates.reserve(kMaxUpdates);
  data_->errors.reserve(kMaxErrors);
}

void SummaryCollector::keepRewrittenRanges(std::size_t updates) {
  if (rewrites_) return;
  rewrittenUpdates_ = std::min(updates, kMaxUpdates);
  rewrittenRanges_ = SharedRoom<AddressRange>(rewrittenUpdates_ * kMaxRangesPerUpdate, 0);
  rewrites_ = std::make_unique<FlashMap>();
}

std::size_t SummaryCollector::updatesToCome() const {
  return updateNumber_ < kMaxUpdates ? kMaxUpdates - updateNumber_ : 0;
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
  update.checksums = checksums_.startList();
  update.serialNumbers = serialNumbers_.startList();
}

void SummaryCollector::closeUpdate() {
  UpdateSummary* update = openUpdate();
  if (update == nullptr) return;
  const std::size_t toCome = updatesToCome();
  const auto keep = [toCome](SharedRoom<AddressRange>& room, std::span<const AddressRange>& ranges,
                             std::uint64_t& leftOut) {
    ranges = room.startList();
    return [&room, &ranges, &leftOut, toCome](std::uint32_t first, std::uint32_t last) {
      if (ranges.size() < kMaxRangesPerUpdate && room.fits(1, toCome)) {
        ranges = room.append(ranges, {first, last});
      } else {
        ++leftOut;
      }
    };
  };
  flash_.forEachRange(keep(ranges_, update->ranges, update->rangesLeftOut));
  flash_.clear();
  if (rewrites_) {
    rewrites_->forEachRange(
        keep(rewrittenRanges_, update->rewrittenRanges, update->rewrittenRangesLeftOut));
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
        // Where the rewritten bytes lie is kept for the first updates only.
        FlashMap* again = updateNumber_ <= rewrittenUpdates_ ? rewrites_.get() : nullptr;
        const std::uint32_t rewritten = flash_.write(command.address, command.dataCount, again);
        if (update == nullptr) break;
        ++update->writes;
        update->bytes += command.dataCount;
        update->rewrittenBytes += rewritten;
        if (!command.lengthAgrees()) ++update->lengthMismatches;
      }
      break;
    case CommandKind::ChecksumWrite:
      if (update == nullptr) break;
      if (update->checksums.size() < kMaxChecksumsPerUpdate &&
          checksums_.fits(1, updatesToCome())) {
        update->checksums = checksums_.append(update->checksums, command.checksum);
      } else {
        ++update->checksumsLeftOut;
      }
      break;
    case CommandKind::SerialNumber:
      if (update != nullptr) serialNumber(*update, command);
      break;
    case CommandKind::ReadOneRecord:
    case CommandKind::ReadAllRecords:
    case CommandKind::SmRequest:
    case CommandKind::Invalid: break;
  }
}

void SummaryCollector::serialNumber(UpdateSummary& update, const FirmwareCommand& command) {
  ++update.serialNumberWrites;
  // The characters, one from every second byte (a count byte bounds them).
  std::array<char, 256> characters{};
  const std::size_t length = std::min(command.serialLength, characters.size());
  for (std::size_t i = 0; i < length; ++i) characters[i] = command.serialCharacter(i);
  const std::string_view serial(characters.data(), length);
  if (std::find(update.serialNumbers.begin(), update.serialNumbers.end(), serial) !=
      update.serialNumbers.end())
    return;  // a repeat: listed once
  const std::size_t toCome = updatesToCome();
  if (update.serialNumbers.size() < kMaxSerialNumbersPerUpdate && serialNumbers_.fits(1, toCome) &&
      serialText_.fits(serial.size(), toCome)) {
    update.serialNumbers = serialNumbers_.append(update.serialNumbers, serialText_.copy(serial));
  } else {
    ++update.serialNumbersLeftOut;
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
  // The lists of notes of the error replies that may still be listed
  // after this one, two each.
  const std::size_t listsToCome = 2 * (kMaxErrors - data.errors.size());
  NoteList replyNotes(*this, error.notes, error.notesLeftOut, listsToCome + 1);
  writeStatusNotes(replyNotes, reply);
  if (haveCommand_) {
    error.hasCommand = true;
    error.commandOffset = commandOffset_;
    NoteList commandNotes(*this, error.commandNotes, error.commandNotesLeftOut, listsToCome);
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
