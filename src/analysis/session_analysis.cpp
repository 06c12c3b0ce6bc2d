#include "analysis/session_analysis.h"

#include <algorithm>
#include <cstring>

#include "core/device_codes.h"
#include "core/firmware_codes.h"
#include "core/protocol.h"

namespace ovantrex {

namespace {

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

// Copies bytes (up to 255 of them) to to, in pieces of 16 (the last ones
// overlapping the piece before): a copy of a size that the compiler does not
// know would become a string instruction, slow for the short copies of
// every flash write.
void copyBytes(std::uint8_t* to, Bytes bytes) {
  const std::size_t n = bytes.size();
  const std::uint8_t* from = bytes.data();
  if (n >= 16) {
    for (std::size_t i = 0; i + 16 < n; i += 16) std::memcpy(to + i, from + i, 16);
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
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
      flash_(used != nullptr ? std::move(used->flash_) : FlashMap()),
      exchanges_(used != nullptr ? std::move(used->exchanges_) : SessionExchanges()),
      refusals_(used != nullptr ? std::move(used->refusals_) : Refusals()) {
  // What the trace before wrote, timed and refused counts as nothing.
  flash_.clear();
  if (used != nullptr) {
    exchanges_.clear();
    refusals_.clear();
  }
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
  ++session.byType[indexOf(decoded.type)];
  session.versions[static_cast<std::size_t>(record.formatVersion)] = true;
  countTime(session, previousTime_, record);
  // The record is told apart once, for the pairing and for the facts.
  const RecordFacts* facts = nullptr;
  switch (ReplyPairing::roleOf(decoded)) {
    case PairRole::Command: {
      const FirmwareCommand& value = *std::get_if<FirmwareCommand>(&decoded.body);
      facts = &pairing_.command(record, value);
      last_ = facts;
      // The command before is settled before this one can close its update.
      if (waiting_.any) settleWaiting(*facts->command);
      command(record, decoded, value);
      break;
    }
    case PairRole::Reply:
      facts = &pairing_.reply(record, decoded);
      last_ = facts;
      if (const auto* status = std::get_if<StatusReply>(&decoded.body)) {
        reply(record, *status, facts->errorReply);
      } else if (const auto* report = std::get_if<ComponentReport>(&decoded.body)) {
        componentReport(*report);
      }
      replied(record);
      break;
    case PairRole::None:
      facts = &pairing_.other();
      last_ = facts;
      if (decoded.hidden) {
        ++session.hidden;
      } else if (decoded.failure != DecodeFailure::None) {
        ++session.failed;
      }
      break;
  }
  if (timelines_) timelines_->record(record, decoded, *facts);
  return *facts;
}

void SessionAnalysis::replied(const Record& record) {
  const PairedCommand* command = last_->answers();
  if (command == nullptr) {
    exchanges_.unsolicited();
    return;
  }
  exchanges_.answered(*command, record.offset, last_->responseMs, last_->errorReply,
                      updateOpen_ && command->update == updateNumber_);
  waiting_.fate = last_->errorReply ? Fate::Refused : Fate::Accepted;
}

void SessionAnalysis::settle(const PairedCommand& command, Fate fate) {
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
}

void SessionAnalysis::settleWrite(const PairedCommand& command, Fate fate) {
  if (fate == Fate::Refused) {
    ++openEnd_.exchanges.refused;
    ++openEnd_.exchanges.refusedWrites;
  } else {
    writeToFlash(fate);
  }
  refusals_.flashWrite(command.offset, waiting_.write, Bytes(waiting_.bytes.data(), waiting_.size),
                       fate);
}

void SessionAnalysis::writeToFlash(Fate fate) {
  const FlashWrite& write = waiting_.write;
  // Where the rewritten bytes lie is kept for the drawn updates only.
  FlashMap* again = updateNumber_ <= UpdateTimelines::kMaxDrawnUpdates ? rewrites_.get() : nullptr;
  const std::uint32_t rewritten = flash_.write(write.address, write.count, again);
  if (listed_ != nullptr) listed_->rewrittenBytes += rewritten;
  openEnd_.exchanges.unansweredWrites += fate == Fate::Unanswered ? 1 : 0;
}

void SessionAnalysis::startUpdate(const Record& record) {
  closeUpdate();
  updateOpen_ = true;
  updateNumber_ = last_->update;
  openEnd_ = UpdateEnd{};
  openEnd_.number = updateNumber_;
  refusals_.clear();
  exchanges_.startUpdate();
  flash_.clear();
  if (rewrites_) rewrites_->clear();
  if (updateNumber_ > kMaxUpdates) {
    ++facts_->updatesLeftOut;
    return;
  }
  UpdateFacts& update = facts_->updates.emplace_back();
  listed_ = &update;
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
  // The update's last command, settled just now, is still the one that
  // waited: whether a reply answered it (a reset needs none).
  if (waiting_.fate == Fate::Unanswered && !waiting_.reset) end.lastUnanswered = lastCommand_;
  end.outcome = updateOutcome(end);
  ++facts_->outcomes[static_cast<std::size_t>(end.outcome)];
  facts_->lastUpdate = end;
  UpdateFacts* update = openUpdate();
  updateOpen_ = false;
  listed_ = nullptr;
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
  waiting_.any = true;
  waiting_.fate = Fate::Unanswered;  // until a reply says otherwise
  waiting_.reset = command.isReset();

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
  copyBytes(waiting_.bytes.data(), bytes);
  if (update == nullptr) return;
  ++update->writes;
  update->bytes += write.count;
  if (!write.lengthAgrees()) ++update->lengthMismatches;
}

void SessionAnalysis::serialNumber(UpdateFacts& update, const FirmwareCommand& command) {
  ++update.serialNumberWrites;
  const SerialText characters = command.serialText();
  const std::string_view serial = characters.view();
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
  for (std::size_t i = 0; i < kStatusBits; ++i) {
    if (reply.has(static_cast<StatusBit>(kStatusBitRows[i].value))) ++facts.statusBits[i];
  }
  if (reply.flashRead) ++facts.flashReads;
  if (reply.has(StatusBit::EcInformation)) {
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
    std::uint8_t deviceClass = code(DeviceClass::PhysicalDevice);
    for (const InventoryItem& item : sm.inventory) {
      if (item.tag == code(InventoryTag::DeviceClass)) {
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
  if (waiting_.any) {
    const PairedCommand& last = pairing_.lastCommand();
    settleWaiting(last);
    if (timelines_ && waiting_.fate == Fate::Unanswered) timelines_->unansweredAtTheEnd(last);
  }
  closeUpdate();
  exchanges_.finish(*facts_);
}

}  // namespace ovantrex
