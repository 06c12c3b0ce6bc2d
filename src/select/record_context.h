// The records around each selected one (--before, --after, --context), as
// grep writes context lines: the N records before a selected record and
// the N after it, each group once however groups overlap, and groups that
// are not next to each other in the trace set apart (Printer::group()).
// Only the records that the output shows count; the others go along in
// trace order. Every record reaches the printer once and in order, written
// or passed, so that an entry is that of the whole output.
//
// The records kept for --before lie in a room of kContextRoom bytes at
// most, whatever N and the records' lengths; a group whose records before
// it did not all fit says how many it left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/reply_pairing.h"
#include "core/trace_record.h"
#include "decode/decoded_record.h"
#include "output/common/printer.h"

namespace ovantrex {

inline constexpr std::size_t kContextRoom = std::size_t{32} << 20;

class RecordContext {
 public:
  struct Extent {
    std::size_t before = 0;
    std::size_t after = 0;
    std::size_t room = kContextRoom;  // bytes, for the records kept for before
  };
  RecordContext(Printer& printer, Extent extent) : printer_(printer), extent_(extent) {}

  // Every data record of the trace, in order; selected: whether the
  // selection takes it. Its payload stays valid until payloadsMove().
  void record(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts,
              bool selected) {
    // Most records: the ring holds the records shown before, all shown; the
    // oldest goes on, and the new record takes its slot, its payload left
    // where it lies until it moves.
    if (steady_ && !selected && ring_[head_].capacity >= record.payload.size() &&
        printer_.shows(decoded)) {
      Kept& slot = ring_[head_];
      printer_.pass(slot.record);
      slot.record = record;
      keepFacts(slot, facts);
      slot.borrowed = true;
      borrowing_ = true;
      if (++head_ == ring_.size()) head_ = 0;
      ++sinceWritten_;
      ++shown_;
      return;
    }
    recordSlowly(record, decoded, facts, selected);
  }
  // Whether the next record is written whether it is selected or not: it
  // comes after a selected one.
  bool writesNext() const { return afterLeft_ > 0; }
  // The payloads handed out are about to be overwritten: the kept records
  // whose payloads lie there copy them.
  void payloadsMove();

 private:
  // A record kept for before: a copy of it, its payload and its facts. The
  // slots make a ring, and a free slot's bytes keep their capacity for the
  // next record (counted in the room).
  struct Kept {
    Record record;  // its payload lies in bytes, or where it came from
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t capacity = 0;  // of bytes
    RecordFacts facts;
    PairedCommand command;  // what facts.command points at, if anything
    bool shown = false;
    bool borrowed = false;  // the payload is not yet in bytes, which can hold it
  };

  void recordSlowly(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts,
                    bool selected);
  static void keepFacts(Kept& slot, const RecordFacts& facts) {
    slot.facts = facts;
    if (facts.command != nullptr) slot.command = *facts.command;
  }

  // The slot i places after the oldest record's.
  Kept& inRing(std::size_t i) {
    const std::size_t at = head_ + i;
    return ring_[at < ring_.size() ? at : at - ring_.size()];
  }
  void keep(const Record& record, const RecordFacts& facts, bool shown);
  // The slot's payload into its bytes, which can hold it.
  static void ownPayload(Kept& slot);
  // The free slot for the next record kept, made when there is none: null
  // when the room cannot hold it with bytes of payload.
  Kept* freeSlot(std::size_t bytes);
  // The oldest kept record goes to the printer unwritten; with release, its
  // bytes give their capacity back.
  void dropOldest(bool releasing);
  void release(Kept& slot);
  // The kept records, then the selected one.
  void writeGroup(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts);

  Printer& printer_;
  Extent extent_;
  std::vector<Kept> ring_;
  std::size_t head_ = 0;                      // the slot of the oldest record kept
  std::size_t count_ = 0;                     // the records kept
  std::size_t keptShown_ = 0;                 // of them, the records shown
  std::size_t heldBytes_ = 0;                 // the ring's slots and their bytes' capacity
  std::size_t afterLeft_ = 0;                 // the records still to write after a selected one
  std::uint64_t shown_ = 0;                   // the records shown so far
  std::optional<std::uint64_t> lastWritten_;  // the number of the last record written
  // The records shown since the last one written (or the start), not written.
  std::uint64_t sinceWritten_ = 0;
  // The ring is full of records shown, and no record after a selected one
  // is still to be written.
  bool steady_ = false;
  bool borrowing_ = false;  // a kept record's payload is not in its bytes
};

}  // namespace ovantrex
