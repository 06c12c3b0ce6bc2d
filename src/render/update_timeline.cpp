#include "render/update_timeline.h"

#include <algorithm>

#include "core/protocol.h"
#include "render/notes.h"
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
    if (update <= kMaxDrawnUpdates) {
      UpdateTimeline& started = updates_.emplace_back();
      started.number = update;
      started.start = at;
      started.end = at;
      started.allTimed = at.timed;
    }
  }
  if (current_ == 0 || current_ > kMaxDrawnUpdates) return;
  if (decoded.hidden || decoded.failure != DecodeFailure::None || !decoded.firmware) return;
  UpdateTimeline& drawn = updates_.back();
  drawn.end = at;
  if (!at.timed) drawn.allTimed = false;
  if (const auto* value = std::get_if<FirmwareCommand>(&decoded.body)) {
    lastCommandIsWrite_ = false;
    command(at, record, *value, drawn);
    if (value->kind == CommandKind::ChecksumWrite) {
      addEvent(drawn.checksums, drawn.checksumsLeftOut, at, record, decoded);
    } else if (value->kind == CommandKind::System && value->subCommand == kSubReset) {
      addEvent(drawn.resets, drawn.resetsLeftOut, at, record, decoded);
    }
  } else if (const auto* reply = std::get_if<StatusReply>(&decoded.body)) {
    if (!isErrorReply(*reply)) return;
    addEvent(drawn.errors, drawn.errorsLeftOut, at, record, decoded);
    // The write before the reply was refused (once, however many replies say so).
    if (lastCommandIsWrite_ && !lastWriteRefused_) {
      lastWriteRefused_ = true;
      if (drawn.refused.size() < kMaxEvents) {
        drawn.refused.push_back(lastWrite_);
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
  update.marks.push_back(mark);
  if (update.marks.size() <= kMaxMarks) return;
  // Too many: keep every other one of those kept, and from now on only
  // every stride-th write.
  update.stride *= 2;
  const std::uint64_t stride = update.stride;
  std::erase_if(update.marks, [stride](const WriteMark& kept) { return kept.index % stride != 0; });
}

void UpdateTimelines::addEvent(std::vector<EventMark>& events, std::uint64_t& leftOut,
                               const TimelinePoint& at, const Record& record,
                               const DecodedRecord& decoded) {
  if (events.size() >= kMaxEvents) {
    ++leftOut;
    return;
  }
  EventMark& event = events.emplace_back();
  event.at = at;
  event.offset = record.offset;
  scratch_.clear();
  JoinedNotes notes(scratch_);
  writeRecordNotes(notes, decoded);
  event.notes = scratch_.text();
}

}  // namespace ovantrex
