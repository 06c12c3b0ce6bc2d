#include "analysis/session_analysis.h"

#include <algorithm>
#include <cstring>

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

}  // namespace

SessionAnalysis::SessionAnalysis(Options options)
    : facts_(std::make_unique<SessionFacts>()),
      ranges_(kRangeRoom, kRangeShare),
      checksums_(kChecksumRoom, kChecksumShare),
      serialNumbers_(kSerialNumberRoom, kSerialNumberShare),
      serialText_(kSerialTextRoom, kSerialTextShare) {
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
  if (diagnostic.kind == DiagnosticKind::ShortExtHeader ||
      diagnostic.kind == DiagnosticKind::ShortPayload)
    facts_->cutAt = diagnostic.offset;
}

const RecordFacts& SessionAnalysis::record(const Record& record, const DecodedRecord& decoded) {
  SessionFacts& session = *facts_;
  ++session.records;
  ++session.byType[indexOfType(decoded.type)];
  session.versions[static_cast<std::size_t>(record.formatVersion)] = true;
  countTime(session, previousTime_, record);
  const RecordFacts& facts = pairing_.record(record, decoded);
  last_ = &facts;
  switch (facts.role) {
    case PairRole::Command:
      // The command before went unanswered: that is settled before this one
      // can close its update.
      if (facts.paired) unanswered(facts.command);
      command(record, decoded, *std::get_if<FirmwareCommand>(&decoded.body));
      break;
    case PairRole::Reply:
      dispatch(record, decoded);
      replied(record);
      break;
    case PairRole::None: dispatch(record, decoded); break;
  }
  if (timelines_) timelines_->record(record, decoded, facts);
  return facts;
}

void SessionAnalysis::dispatch(const Record& record, const DecodedRecord& decoded) {
  SessionFacts& facts = *facts_;
  if (decoded.hidden) {
    ++facts.hidden;
  } else if (decoded.failure != DecodeFailure::None) {
    ++facts.failed;
  } else if (const auto* status = std::get_if<StatusReply>(&decoded.body)) {
    reply(record, *status, last_->errorReply);
  } else if (const auto* report = std::get_if<ComponentReport>(&decoded.body)) {
    componentReport(*report);
  }
}

void SessionAnalysis::replied(const Record& record) {
  const PairedCommand* command = last_->answers();
  if (command == nullptr) {
    SessionExchanges::unsolicited(*facts_);
    return;
  }
  exchanges_.answered(*facts_, *command, record.offset, last_->responseMs, last_->errorReply,
                      updateOpen_ && command->update == updateNumber_);
  settle(*command, last_->errorReply ? Fate::Refused : Fate::Accepted);
}

void SessionAnalysis::unanswered(const PairedCommand& command) {
  SessionExchanges::unanswered(*facts_, command);
  settle(command, Fate::Unanswered);
}

void SessionAnalysis::settle(const PairedCommand& command, Fate fate) {
  if (!updateOpen_ || command.update != updateNumber_) return;  // before the first update
  UpdateExchanges& exchanges = openEnd_.exchanges;
  switch (command.kind) {
    case CommandKind::FlashWrite: settleWrite(command, fate); break;
    case CommandKind::ChecksumWrite:
      if (fate == Fate::Accepted) openEnd_.checksumWritten = true;
      if (fate == Fate::Unanswered) openEnd_.checksumUnanswered = true;
      if (fate == Fate::Refused) ++exchanges.refused;
      refusals_.checksumWrite(command.offset, waiting_.checksum, fate);
      break;
    case CommandKind::System:
      if (!waiting_.reset) break;
      if (fate == Fate::Refused) {
        ++exchanges.refused;
      } else {
        openEnd_.reset = true;
      }
      refusals_.reset(command.offset, fate);
      break;
    default: break;
  }
  // A reset needs no reply.
  lastUnanswered_ = fate == Fate::Unanswered && !waiting_.reset;
  if (fate == Fate::Unanswered) ++exchanges.unanswered;
}

void SessionAnalysis::settleWrite(const PairedCommand& command, Fate fate) {
  const FlashWrite& write = waiting_.write;
  UpdateExchanges& exchanges = openEnd_.exchanges;
  if (fate == Fate::Refused) {
    ++exchanges.refused;
    ++exchanges.refusedWrites;
  } else {
    // Where the rewritten bytes lie is kept for the drawn updates only.
    FlashMap* again =
        updateNumber_ <= UpdateTimelines::kMaxDrawnUpdates ? rewrites_.get() : nullptr;
    const std::uint32_t rewritten = flash_.write(write.address, write.count, again);
    if (UpdateFacts* update = openUpdate()) update->rewrittenBytes += rewritten;
    if (fate == Fate::Unanswered) ++exchanges.unansweredWrites;
  }
  refusals_.flashWrite(command.offset, write, Bytes(waiting_.bytes.data(), waiting_.size), fate);
}

UpdateFacts* SessionAnalysis::openUpdate() {
  if (!updateOpen_ || updateNumber_ > kMaxUpdates) return nullptr;
  return &facts_->updates.back();
}

void SessionAnalysis::startUpdate(const Record& record) {
  closeUpdate();
  updateOpen_ = true;
  updateNumber_ = last_->update;
  openEnd_ = UpdateEnd{};
  openEnd_.number = updateNumber_;
  lastUnanswered_ = false;
  refusals_.clear();
  exchanges_.startUpdate();
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
  UpdateEnd& end = openEnd_;
  const auto& recovered = refusals_.recovered();
  end.recovered = recovered;
  end.exchanges.recovered = recovered[0] + recovered[1] + recovered[2];
  end.unrecovered = refusals_.unrecovered();
  if (end.unrecovered != 0) end.firstUnrecovered = refusals_.firstUnrecovered();
  if (lastUnanswered_) end.lastUnanswered = lastCommand_;
  end.outcome = updateOutcome(end);
  ++facts_->outcomes[static_cast<std::size_t>(end.outcome)];
  facts_->lastUpdate = end;
  UpdateFacts* update = openUpdate();
  updateOpen_ = false;
  if (update == nullptr) return;
  update->outcome = end.outcome;
  update->reset = end.reset;
  update->exchanges = end.exchanges;
  update->otherErrors = end.otherErrors();
  update->responses = exchanges_.updateResponses();
  keepRanges(*update);
}

void SessionAnalysis::keepRanges(UpdateFacts& update) {
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
  flash_.forEachRange(keep(ranges_, update.ranges, update.rangesLeftOut));
  flash_.clear();
  if (rewrites_) {
    rewrites_->forEachRange(
        keep(rewrittenRanges_, update.rewrittenRanges, update.rewrittenRangesLeftOut));
    rewrites_->clear();
  }
}

void SessionAnalysis::command(const Record& record, const DecodedRecord& decoded,
                              const FirmwareCommand& command) {
  SessionFacts& facts = *facts_;
  ++facts.commands[static_cast<std::size_t>(command.kind)];
  // The open update closes before the start of the next is kept: its last
  // command may need to be named.
  if (command.kind == CommandKind::StartFlashUpdate) closeUpdate();
  // The command is kept as it is: an error reply that follows names it.
  haveCommand_ = true;
  lastCommand_.keep(record.offset, command);
  waiting_.reset = command.kind == CommandKind::System && command.subCommand == kSubReset;

  UpdateFacts* update = openUpdate();
  switch (command.kind) {
    case CommandKind::System: countSystemCommand(facts, systemCommandCode(command)); break;
    case CommandKind::StartFlashUpdate: startUpdate(record); break;
    case CommandKind::FlashWrite: flashWrite(decoded, command, update); break;
    case CommandKind::ChecksumWrite:
      waiting_.checksum = command.checksum;
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

void SessionAnalysis::flashWrite(const DecodedRecord& decoded, const FirmwareCommand& command,
                                 UpdateFacts* update) {
  if (!updateOpen_) {
    ++facts_->writesOutsideUpdates;
    return;
  }
  // What it writes counts once its reply, or the want of one, settles it;
  // until then its bytes are kept.
  const FlashWrite write = command.flashWrite();
  waiting_.write = write;
  const Bytes bytes = flashWriteBytes(decoded.transfer.data.bytes, write);
  waiting_.size = bytes.size();
  if (!bytes.empty()) std::memcpy(waiting_.bytes.data(), bytes.data(), bytes.size());
  if (update == nullptr) return;
  ++update->writes;
  update->bytes += write.count;
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
  if (const auto waiting = pairing_.finish()) {
    unanswered(*waiting);
    if (timelines_) timelines_->unansweredAtTheEnd(*waiting);
  }
  closeUpdate();
  exchanges_.finish(*facts_);
}

}  // namespace ovantrex
