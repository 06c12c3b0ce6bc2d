#include "analysis/update_timeline.h"

#include <algorithm>
#include <cmath>

#include "core/protocol.h"

namespace ovantrex {

namespace {

// Adds mark, the mark.index-th of its kind in its update, to list, a list
// of room that keeps at most `most`: every stride-th mark, the stride
// doubled (every other one of those kept dropped) each time the list is full.
template <typename Mark>
void keepThinned(SharedRoom<Mark>& room, std::span<const Mark>& list, std::uint64_t& stride,
                 std::size_t most, const Mark& mark) {
  if (mark.index % stride != 0) return;
  if (list.size() == most) {
    stride *= 2;
    const std::uint64_t kept = stride;
    list = room.removeIf(list, [kept](const Mark& old) { return old.index % kept != 0; });
    if (mark.index % kept != 0 || list.size() == most) return;
  }
  list = room.append(list, mark);
}

}  // namespace

UpdateTimelines::UpdateTimelines()
    : marks_(kMarkRoom, kMarkShare),
      refused_(kEventRoom, kEventShare),
      errors_(kEventRoom, kEventShare),
      checksums_(kMarkerRoom, kMarkerShare),
      resets_(kMarkerRoom, kMarkerShare),
      accepted_(kExchangeRoom, kExchangeShare),
      refusedCommands_(kEventRoom, kEventShare),
      unanswered_(kEventRoom, kEventShare) {
  updates_.reserve(kMaxDrawnUpdates);
}

void UpdateTimelines::startUpdate(const TimelinePoint& at, std::size_t update) {
  UpdateTimeline& started = updates_.emplace_back();
  started.number = update;
  started.start = at;
  started.end = at;
  started.allTimed = at.timed;
  const std::size_t toCome = updatesToCome();
  started.mostMarks = std::min(kMaxMarks, marks_.available(toCome));
  started.marks = marks_.startList();
  started.refused = refused_.startList();
  started.errors = errors_.startList();
  started.checksums = checksums_.startList();
  started.resets = resets_.startList();
  started.mostExchanges = std::min(kMaxMarks, accepted_.available(toCome));
  started.accepted = accepted_.startList();
  started.refusedCommands = refusedCommands_.startList();
  started.unanswered = unanswered_.startList();
}

void UpdateTimelines::record(const Record& record, const DecodedRecord& decoded,
                             const RecordFacts& facts) {
  ++records_;
  TimelinePoint at;
  at.record = records_;
  at.timed = record.formatVersion == 3;
  if (at.timed) at.milliseconds = std::int64_t{record.ext.seconds} * 1000 + record.ext.milliseconds;

  const bool drawing = current_ != 0 && current_ <= kMaxDrawnUpdates;
  // The command before this one went unanswered, in the update of the record before.
  const PairedCommand* before = facts.unanswered();
  if (before != nullptr && drawing && before->update == current_)
    exchange(*before, 0, facts, Fate::Unanswered, updates_.back());
  if (facts.update != current_) {
    // This record starts the next update.
    current_ = facts.update;
    if (current_ <= kMaxDrawnUpdates) startUpdate(at, current_);
  }
  if (current_ == 0 || current_ > kMaxDrawnUpdates) return;
  if (decoded.hidden || decoded.failure != DecodeFailure::None || !decoded.firmware) return;
  UpdateTimeline& drawn = updates_.back();
  drawn.end = at;
  if (!at.timed) drawn.allTimed = false;
  EventMark event;
  event.at = at;
  event.offset = record.offset;
  if (const auto* value = std::get_if<FirmwareCommand>(&decoded.body)) {
    command(event, record, *value, drawn);
    waiting_ = at;
  } else if (const auto* reply = std::get_if<StatusReply>(&decoded.body)) {
    if (facts.errorReply) errorReply(event, *reply, drawn);
  }
  const PairedCommand* answered = facts.answers();
  if (answered != nullptr && answered->update == current_)
    exchange(*answered, record.offset, facts, facts.errorReply ? Fate::Refused : Fate::Accepted,
             drawn);
}

void UpdateTimelines::unansweredAtTheEnd(const PairedCommand& command) {
  if (current_ == 0 || current_ > kMaxDrawnUpdates || command.update != current_) return;
  exchange(command, 0, RecordFacts{}, Fate::Unanswered, updates_.back());
}

void UpdateTimelines::exchange(const PairedCommand& command, std::uint64_t reply,
                               const RecordFacts& facts, Fate fate, UpdateTimeline& drawn) {
  ExchangeMark mark;
  mark.at = waiting_;
  mark.command = command.offset;
  mark.reply = reply;
  mark.kind = command.kind;
  mark.fate = fate;
  if (fate == Fate::Unanswered) {
    addExchange(unanswered_, drawn.unanswered, drawn.unansweredLeftOut, mark);
    return;
  }
  if (fate == Fate::Refused && command.kind == CommandKind::FlashWrite) {
    // The write that the reply refuses.
    if (drawn.refused.size() < kMaxEvents && refused_.fits(1, updatesToCome())) {
      drawn.refused = refused_.append(drawn.refused, lastWrite_);
    } else {
      ++drawn.refusedLeftOut;
    }
  }
  if (!(facts.responseMs >= 0) || !std::isfinite(facts.responseMs)) {
    ++drawn.untimed;
    return;
  }
  mark.milliseconds = facts.responseMs;
  if (fate == Fate::Refused) {
    addExchange(refusedCommands_, drawn.refusedCommands, drawn.refusedCommandsLeftOut, mark);
    return;
  }
  mark.index = drawn.exchanges++;
  keepThinned(accepted_, drawn.accepted, drawn.exchangeStride, drawn.mostExchanges, mark);
}

void UpdateTimelines::addExchange(SharedRoom<ExchangeMark>& room,
                                  std::span<const ExchangeMark>& list, std::uint64_t& leftOut,
                                  const ExchangeMark& mark) {
  if (list.size() < kMaxEvents && room.fits(1, updatesToCome())) {
    list = room.append(list, mark);
  } else {
    ++leftOut;
  }
}

void UpdateTimelines::command(EventMark& event, const Record& record,
                              const FirmwareCommand& command, UpdateTimeline& drawn) {
  if (command.kind == CommandKind::FlashWrite) {
    flashWrite(event.at, record, command.flashWrite(), drawn);
  } else if (command.kind == CommandKind::ChecksumWrite) {
    event.checksum = command.checksum;
    addEvent(checksums_, drawn.checksums, drawn.checksumsLeftOut, event);
  } else if (command.isReset()) {
    addEvent(resets_, drawn.resets, drawn.resetsLeftOut, event);
  }
}

void UpdateTimelines::errorReply(EventMark& event, const StatusReply& reply,
                                 UpdateTimeline& drawn) {
  event.reply = reply;
  event.reply.contents = {};  // the notes do not need it, and it points into the record
  addEvent(errors_, drawn.errors, drawn.errorsLeftOut, event);
}

void UpdateTimelines::flashWrite(const TimelinePoint& at, const Record& record,
                                 const FlashWrite& write, UpdateTimeline& update) {
  WriteMark mark;
  mark.at = at;
  mark.offset = record.offset;
  mark.index = update.writes++;
  mark.write = write;
  // A flash write writes at least one byte, within 24 bits and 255 bytes.
  if (!update.anyWrite || write.address < update.lowest) update.lowest = write.address;
  if (!update.anyWrite || write.last() > update.highest) update.highest = write.last();
  update.anyWrite = true;

  lastWrite_ = mark;
  keepThinned(marks_, update.marks, update.stride, update.mostMarks, mark);
}

void UpdateTimelines::addEvent(SharedRoom<EventMark>& room, std::span<const EventMark>& events,
                               std::uint64_t& leftOut, const EventMark& event) {
  if (events.size() < kMaxEvents && room.fits(1, updatesToCome())) {
    events = room.append(events, event);
  } else {
    ++leftOut;
  }
}

}  // namespace ovantrex
