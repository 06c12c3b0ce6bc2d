#include "render/update_timeline.h"

#include <algorithm>

#include "core/protocol.h"
#include "render/summary_collector.h"

namespace ovantrex {

FirmwareCommand WriteMark::command() const {
  FirmwareCommand command;
  command.kind = CommandKind::FlashWrite;
  command.commandClass = kClassFlashWrite;
  command.dataCount = count;
  command.address = address;
  command.lengthField = lengthField;
  return command;
}

void writeErrorNotes(NoteSink& notes, const EventMark& error) {
  writeStatusNotes(notes, error.reply);
}

void writeChecksumNotes(NoteSink& notes, const EventMark& checksum) {
  FirmwareCommand command;
  command.kind = CommandKind::ChecksumWrite;
  command.commandClass = kClassFlashWrite;
  command.checksum = checksum.checksum;
  writeCommandNotes(notes, command);
}

void writeResetNotes(NoteSink& notes, const EventMark& /*reset*/) {
  FirmwareCommand command;
  command.kind = CommandKind::System;
  command.subCommand = kSubReset;
  writeCommandNotes(notes, command);
}

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

void UpdateTimelines::record(const Record& record, const DecodedRecord& decoded,
                             std::size_t update) {
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
    lastCommandIsWrite_ = false;
    command(at, record, *value, drawn);
    if (value->kind == CommandKind::ChecksumWrite) {
      event.checksum = value->checksum;
      addEvent(checksums_, drawn.checksums, drawn.checksumsLeftOut, event);
    } else if (value->kind == CommandKind::System && value->subCommand == kSubReset) {
      addEvent(resets_, drawn.resets, drawn.resetsLeftOut, event);
    }
  } else if (const auto* reply = std::get_if<StatusReply>(&decoded.body)) {
    if (!isErrorReply(*reply)) return;
    event.reply = *reply;
    event.reply.contents = {};  // the notes do not need it, and it points into the record
    addEvent(errors_, drawn.errors, drawn.errorsLeftOut, event);
    // The write before the reply was refused (once, however many replies say so).
    if (lastCommandIsWrite_ && !lastWriteRefused_) {
      lastWriteRefused_ = true;
      if (drawn.refused.size() < kMaxEvents && refused_.fits(1, updatesToCome())) {
        drawn.refused = refused_.append(drawn.refused, lastWrite_);
      } else {
        ++drawn.refusedLeftOut;
      }
    }
  }
}

void UpdateTimelines::command(const TimelinePoint& at, const Record& record,
                              const FirmwareCommand& command, UpdateTimeline& update) {
  if (command.kind != CommandKind::FlashWrite) return;
  WriteMark mark;
  mark.at = at;
  mark.offset = record.offset;
  mark.index = update.writes++;
  mark.address = command.address;
  mark.lengthField = command.lengthField;
  mark.count = command.dataCount;
  // A flash write writes at least one byte, within 24 bits and 255 bytes.
  const std::uint32_t last = command.address + command.dataCount - 1;
  if (!update.anyWrite || command.address < update.lowest) update.lowest = command.address;
  if (!update.anyWrite || last > update.highest) update.highest = last;
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
