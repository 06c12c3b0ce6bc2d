#include "analysis/update_timeline.h"

#include <algorithm>

#include "core/protocol.h"

namespace ovantrex {

UpdateTimelines::UpdateTimelines()
    : marks_(kMarkRoom, kMarkShare),
      refused_(kEventRoom, kEventShare),
      errors_(kEventRoom, kEventShare),
      checksums_(kMarkerRoom, kMarkerShare),
      resets_(kMarkerRoom, kMarkerShare) {
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
}

void UpdateTimelines::record(const Record& record, const DecodedRecord& decoded, std::size_t update,
                             bool errorReply) {
  ++records_;
  TimelinePoint at;
  at.record = records_;
  at.timed = record.formatVersion == 3;
  if (at.timed) at.milliseconds = std::int64_t{record.ext.seconds} * 1000 + record.ext.milliseconds;

  if (update != current_) {
    // This record starts the next update.
    current_ = update;
    lastCommandIsWrite_ = false;
    if (update <= kMaxDrawnUpdates) startUpdate(at, update);
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
  } else if (const auto* reply = std::get_if<StatusReply>(&decoded.body)) {
    if (errorReply) this->errorReply(event, *reply, drawn);
  }
}

void UpdateTimelines::command(EventMark& event, const Record& record,
                              const FirmwareCommand& command, UpdateTimeline& drawn) {
  lastCommandIsWrite_ = false;
  if (command.kind == CommandKind::FlashWrite) {
    flashWrite(event.at, record, command.flashWrite(), drawn);
  } else if (command.kind == CommandKind::ChecksumWrite) {
    event.checksum = command.checksum;
    addEvent(checksums_, drawn.checksums, drawn.checksumsLeftOut, event);
  } else if (command.kind == CommandKind::System && command.subCommand == kSubReset) {
    addEvent(resets_, drawn.resets, drawn.resetsLeftOut, event);
  }
}

void UpdateTimelines::errorReply(EventMark& event, const StatusReply& reply,
                                 UpdateTimeline& drawn) {
  event.reply = reply;
  event.reply.contents = {};  // the notes do not need it, and it points into the record
  addEvent(errors_, drawn.errors, drawn.errorsLeftOut, event);
  // The write before the reply was refused (once, however many replies say so).
  if (!lastCommandIsWrite_ || lastWriteRefused_) return;
  lastWriteRefused_ = true;
  if (drawn.refused.size() < kMaxEvents && refused_.fits(1, updatesToCome())) {
    drawn.refused = refused_.append(drawn.refused, lastWrite_);
  } else {
    ++drawn.refusedLeftOut;
  }
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

  lastCommandIsWrite_ = true;
  lastWriteRefused_ = false;
  lastWrite_ = mark;
  if (mark.index % update.stride != 0) return;
  if (update.marks.size() == update.mostMarks) {
    // Full: keep every other one of those kept, and from now on only
    // every stride-th write.
    update.stride *= 2;
    const std::uint64_t stride = update.stride;
    update.marks = marks_.removeIf(
        update.marks, [stride](const WriteMark& kept) { return kept.index % stride != 0; });
    if (mark.index % stride != 0 || update.marks.size() == update.mostMarks) return;
  }
  update.marks = marks_.append(update.marks, mark);
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
