// What the report draws of each flash update: one mark per flash write,
// placed by time (or by record number where the trace has no times) and by
// flash address, and the events that matter beside them: error replies and
// the writes they refused, checksum writes and resets.
//
// Memory stays bounded whatever the trace: the first kMaxDrawnUpdates
// updates are drawn; an update keeps at most kMaxMarks of its flash writes,
// thinned evenly (every 2nd, 4th, 8th, ... write) once it has more, and at
// most kMaxEvents of each kind of event. Refused writes are kept whatever
// the thinning, since they are the point of the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/trace_record.h"
#include "decode/decoded_record.h"
#include "render/writer.h"

namespace ovantrex {

// Where a record stands on the time axis.
struct TimelinePoint {
  std::uint64_t record = 0;       // the record's number among the data records, from 1
  bool timed = false;             // format version 3: the time below is the record's
  std::int64_t milliseconds = 0;  // since 1970-01-01 00:00:00 UTC
};

// A flash write: enough of it to draw it and to name it again.
struct WriteMark {
  TimelinePoint at;
  std::uint64_t offset = 0;
  std::uint64_t index = 0;  // the write's number within its update, from 0
  std::uint32_t address = 0;
  std::uint16_t lengthField = 0;
  std::uint8_t count = 0;

  // The command it was decoded from (for its notes).
  FirmwareCommand command() const;
};

// An error reply, a checksum write or a reset, with its record's notes.
struct EventMark {
  TimelinePoint at;
  std::uint64_t offset = 0;
  std::string notes;  // joined by "; "
};

struct UpdateTimeline {
  std::size_t number = 0;  // from 1
  TimelinePoint start;     // the "Start flash update" command
  TimelinePoint end;       // the last firmware-report record of the update
  bool allTimed = true;    // every record drawn has a time

  std::uint64_t writes = 0;
  bool anyWrite = false;
  std::uint32_t lowest = 0;   // the lowest address written
  std::uint32_t highest = 0;  // the highest, inclusive
  std::uint64_t stride = 1;   // every stride-th write is kept in marks
  std::vector<WriteMark> marks;

  std::vector<WriteMark> refused;
  std::uint64_t refusedLeftOut = 0;
  std::vector<EventMark> errors;
  std::uint64_t errorsLeftOut = 0;
  std::vector<EventMark> checksums;
  std::uint64_t checksumsLeftOut = 0;
  std::vector<EventMark> resets;
  std::uint64_t resetsLeftOut = 0;
};

class UpdateTimelines {
 public:
  static constexpr std::size_t kMaxDrawnUpdates = 20;
  static constexpr std::size_t kMaxMarks = 3000;
  static constexpr std::size_t kMaxEvents = 1000;

  // Every data record, in trace order. update: the number of the update it
  // belongs to (0 before the first), as the summary counts them.
  void record(const Record& record, const DecodedRecord& decoded, std::size_t update);

  const std::vector<UpdateTimeline>& updates() const { return updates_; }

 private:
  void command(const TimelinePoint& at, const Record& record, const FirmwareCommand& command,
               UpdateTimeline& update);
  void addEvent(std::vector<EventMark>& events, std::uint64_t& leftOut, const TimelinePoint& at,
                const Record& record, const DecodedRecord& decoded);

  std::vector<UpdateTimeline> updates_;
  std::size_t current_ = 0;  // the update of the last record
  std::uint64_t records_ = 0;
  // The last firmware command, when it was a flash write of a drawn update:
  // an error reply that follows refuses it.
  bool lastCommandIsWrite_ = false;
  WriteMark lastWrite_;
  bool lastWriteRefused_ = false;
  Writer scratch_;  // the notes of one event
};

}  // namespace ovantrex
