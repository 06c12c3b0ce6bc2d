#include "analysis/session_analysis.h"

#include <algorithm>

#include "core/protocol.h"

namespace ovantrex {

namespace {

std::size_t indexOfType(RecordType type) {
  const auto* at = std::find(kRecordTypesInOrder.begin(), kRecordTypesInOrder.end(), type);
  return static_cast<std::size_t>(at - kRecordTypesInOrder.begin());
}

// System commands are counted by their code, of which there are six.
void countSystemCommand(SessionFacts& facts, std::uint8_t code) {
  auto* counted = std::find_if(facts.systemCommands.begin(), facts.systemCommands.end(),
                               [code](const auto& entry) { return entry.first == code; });
  if (counted != facts.systemCommands.end()) {
    ++counted->second;
  } else {
    facts.systemCommands.push({code, 1});
  }
}

void countTime(SessionFacts& facts, std::optional<TraceTime>& previous, const Record& record) {
  const auto time = timeOf(record);
  if (!time) return;
  const std::int64_t at = time->inMilliseconds();
  if (previous && at < previous->inMilliseconds()) facts.timesInOrder = false;
  if (!facts.earliestTime || at < facts.earliestTime->inMilliseconds()) facts.earliestTime = time;
  if (!facts.latestTime || at > facts.latestTime->inMilliseconds()) facts.latestTime = time;
  previous = time;
}

// The facts of a new trace, in the memory of used ones when there are: the
// lists and the name keep their room.
std::unique_ptr<SessionFacts> freshFacts(std::unique_ptr<SessionFacts> used) {
  if (!used) return std::make_unique<SessionFacts>();
  std::vector<UpdateFacts> updates = std::move(used->updates);
  std::vector<ErrorReply> errors = std::move(used->errors);
  std::string traceName = std::move(used->traceName);
  // Made again in place: the facts are too large to be built beside them.
  SessionFacts* const facts = used.get();
  facts->~SessionFacts();
  ::new (facts) SessionFacts();
  updates.clear();
  errors.clear();
  facts->updates = std::move(updates);
  facts->errors = std::move(errors);
  facts->traceName = std::move(traceName);
  return used;
}

// A room of used, emptied, when given; otherwise new room.
template <typename T>
SharedRoom<T> roomOf(SessionAnalysis* used, SharedRoom<T> SessionAnalysis::*room,
                     std::size_t capacity, std::size_t share) {
  if (used == nullptr) return SharedRoom<T>(capacity, share);
  SharedRoom<T> kept = std::move(used->*room);
  kept.clear();
  return kept;
}

}  // namespace

SessionAnalysis::SessionAnalysis(Options options) : SessionAnalysis(options, nullptr) {}

void SessionAnalysis::reset(std::string_view traceName) {
  SessionAnalysis next({.timelines = timelines_ != nullptr, .traceName = traceName}, this);
  *this = std::move(next);
}

SessionAnalysis::SessionAnalysis(Options options, SessionAnalysis* used)
    : facts_(freshFacts(used != nullptr ? std::move(used->facts_) : nullptr)),
      ranges_(roomOf(used, &SessionAnalysis::ranges_, kRangeRoom, kRangeShare)),
      checksums_(roomOf(used, &SessionAnalysis::checksums_, kChecksumRoom, kChecksumShare)),
      serialNumbers_(
          roomOf(used, &SessionAnalysis::serialNumbers_, kSerialNumberRoom, kSerialNumberShare)),
      serialText_(roomOf(used, &SessionAnalysis::serialText_, kSerialTextRoom, kSerialTextShare)),
      flash_(used != nullptr ? std::move(used->flash_) : FlashMap()) {
  // A new update of the map: what the trace before wrote counts as empty.
  flash_.clear();
  facts_->traceName = options.traceName;
  facts_->updates.reserve(kMaxUpdates);
  facts_->errors.reserve(kMaxErrors);
  if (options.timelines) {
    // Where the rewritten bytes lie is kept for the drawn updates only.
    rewrittenRanges_ =
        SharedRoom<AddressRange>(UpdateTimelines::kMaxDrawnUpdates * kMaxRangesPerUpdate, 0);
    rewrites_ = std::make_unique<FlashMap>();
    timelines_ = std::make_unique<UpdateTimelines>();
  }
}

std::size_t SessionAnalysis::updatesToCome() const {
  return updateNumber_ < kMaxUpdates ? kMaxUpdates - updateNumber_ : 0;
}

void SessionAnalysis::diagnostic(const Diagnostic& diagnostic) {
  ++facts_->diagnostics[static_cast<std::size_t>(diagnostic.kind)];
}

void SessionAnalysis::record(const Record& record, const DecodedRecord& decoded) {
  SessionFacts& facts = *facts_;
  ++facts.records;
  ++facts.byType[indexOfType(decoded.type)];
  facts.versions[static_cast<std::size_t>(record.formatVersion)] = true;
  countTime(facts, previousTime_, record);
  lastErrorReply_ = false;
  if (!timelines_) {
    dispatch(record, decoded);
    return;
  }
  dispatch(record, decoded);
  timelines_->record(record, decoded, updateNumber_, lastErrorReply_);
}

void SessionAnalysis::dispatch(const Record& record, const DecodedRecord& decoded) {
  SessionFacts& facts = *facts_;
  if (decoded.hidden) {
    ++facts.hidden;
  } else if (decoded.failure != DecodeFailure::None) {
    ++facts.failed;
  } else if (const auto* value = std::get_if<FirmwareCommand>(&decoded.body)) {
    command(record, *value);
  } else if (const auto* status = std::get_if<StatusReply>(&decoded.body)) {
    lastErrorReply_ = isErrorReply(*status);
    reply(record, *status, lastErrorReply_);
  } else if (const auto* report = std::get_if<ComponentReport>(&decoded.body)) {
    componentReport(*report);
  }
}

UpdateFacts* SessionAnalysis::openUpdate() {
  if (!updateOpen_ || updateNumber_ > kMaxUpdates) return nullptr;
  return &facts_->updates.back();
}

void SessionAnalysis::startUpdate(const Record& record) {
  closeUpdate();
  updateOpen_ = true;
  ++updateNumber_;
  openEnd_ = UpdateEnd{};
  openEnd_.number = updateNumber_;
  flash_.clear();
  if (rewrites_) rewrites_->clear();
  if (updateNumber_ > kMaxUpdates) {
    ++facts_->updatesLeftOut;
    return;
  }
  UpdateFacts& update = facts_->updates.emplace_back();
  update.offset = record.offset;
  update.time = timeOf(record);
  update.checksums = checksums_.startList();
  update.serialNumbers = serialNumbers_.startList();
}

void SessionAnalysis::closeUpdate() {
  if (!updateOpen_) return;
  openEnd_.outcome = updateOutcome(openEnd_);
  ++facts_->outcomes[static_cast<std::size_t>(openEnd_.outcome)];
  facts_->lastUpdate = openEnd_;
  UpdateFacts* update = openUpdate();
  if (update == nullptr) return;
  update->outcome = openEnd_.outcome;
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

void SessionAnalysis::command(const Record& record, const FirmwareCommand& command) {
  SessionFacts& facts = *facts_;
  ++facts.commands[static_cast<std::size_t>(command.kind)];
  // The command is kept as it is: an error reply that follows names it.
  haveCommand_ = true;
  lastCommand_.keep(record.offset, command);

  UpdateFacts* update = openUpdate();
  switch (command.kind) {
    case CommandKind::System:
      countSystemCommand(facts, systemCommandCode(command));
      if (updateOpen_ && command.subCommand == kSubReset) openEnd_.reset = true;
      if (update != nullptr && command.subCommand == kSubReset) update->reset = true;
      break;
    case CommandKind::StartFlashUpdate: startUpdate(record); break;
    case CommandKind::FlashWrite: flashWrite(command, update); break;
    case CommandKind::ChecksumWrite:
      if (updateOpen_) openEnd_.checksumWritten = true;
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

void SessionAnalysis::flashWrite(const FirmwareCommand& command, UpdateFacts* update) {
  if (!updateOpen_) {
    ++facts_->writesOutsideUpdates;
    return;
  }
  // Where the rewritten bytes lie is kept for the drawn updates only.
  FlashMap* again = updateNumber_ <= UpdateTimelines::kMaxDrawnUpdates ? rewrites_.get() : nullptr;
  const FlashWrite write = command.flashWrite();
  const std::uint32_t rewritten = flash_.write(write.address, write.count, again);
  if (update == nullptr) return;
  ++update->writes;
  update->bytes += write.count;
  update->rewrittenBytes += rewritten;
  if (!write.lengthAgrees()) ++update->lengthMismatches;
}

void SessionAnalysis::serialNumber(UpdateFacts& update, const FirmwareCommand& command) {
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

void SessionAnalysis::reply(const Record& record, const StatusReply& reply, bool error) {
  SessionFacts& facts = *facts_;
  const auto bits = statusBitNames();
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (reply.has(bits[i].value)) ++facts.statusBits[i];
  }
  if (reply.flashRead) ++facts.flashReads;
  if (reply.has(kStatusEcInformation)) {
    facts.hasEcLevels = true;
    facts.ecCurrent = reply.ecCurrent;
    facts.ecPrevious = reply.ecPrevious;
  }
  if (!error) return;

  if (!updateOpen_) ++facts.errorsOutsideUpdates;
  if (updateOpen_ && openEnd_.errors++ == 0) openEnd_.firstError = record.offset;
  if (UpdateFacts* update = openUpdate()) ++update->errors;
  if (facts.errors.size() >= kMaxErrors) {
    ++facts.errorsLeftOut;
    return;
  }
  ErrorReply& kept = facts.errors.emplace_back();
  kept.offset = record.offset;
  kept.time = timeOf(record);
  kept.update = updateOpen_ ? updateNumber_ : 0;
  kept.reply = reply;
  kept.reply.contents = {};  // it points into the record
  if (haveCommand_) kept.command = lastCommand_;
}

void SessionAnalysis::componentReport(const ComponentReport& report) {
  SessionFacts& facts = *facts_;
  if (const auto* list = std::get_if<ExtendedVersionList>(&report.body)) {
    if (!list->listed) return;
    facts.hasVersionList = true;
    facts.versionListId = list->recordId;
    facts.versionListCount = list->dataCount;
    facts.versionRows = {};
    for (std::size_t r = 0; r < list->rowCount(); ++r) facts.versionRows.push(list->row(r));
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
    DeviceReport& device = facts.devices[deviceClass];
    device.hasInventory = true;
    device.inventory = sm.inventory;
  }
  // The counters of each class in this report replace those of an earlier one.
  std::array<bool, 256> seen{};
  for (const UsageCounter& counter : sm.counters) {
    DeviceReport& device = facts.devices[counter.deviceClass];
    if (!seen[counter.deviceClass]) {
      seen[counter.deviceClass] = true;
      device.hasCounters = true;
      device.counters = {};
    }
    device.counters.push(counter);
  }
}

void SessionAnalysis::finish(std::uint64_t bytesRead) {
  facts_->bytesRead = bytesRead;
  closeUpdate();
  updateOpen_ = false;
}

}  // namespace ovantrex
