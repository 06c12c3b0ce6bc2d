#include "select/record_context.h"

#include <algorithm>

namespace ovantrex {

void RecordContext::record(const Record& record, const DecodedRecord& decoded,
                           const RecordFacts& facts, bool selected) {
  const bool shown = printer_.shows(decoded);
  if (shown && selected) {
    writeGroup(record, decoded, facts);
  } else if (afterLeft_ > 0) {
    // After a selected record: written; a record not shown, as the whole
    // output writes it.
    if (shown) {
      printer_.context(record, decoded, facts);
      --afterLeft_;
      lastWritten_ = shown_;
      sinceWritten_ = 0;
    } else {
      printer_.record(record, decoded, facts);
    }
  } else {
    if (shown) ++sinceWritten_;
    if (extent_.before > 0) {
      keep(record, facts, shown);
    } else {
      printer_.pass(record);
    }
  }
  if (shown) ++shown_;
}

void RecordContext::keep(const Record& record, const RecordFacts& facts, bool shown) {
  if (shown && keptShown_ == extent_.before) {
    // The oldest record shown goes, and the records not shown before the
    // next one with it.
    while (!kept_.empty() && !kept_.front().shown) dropOldest();
    dropOldest();
    while (!kept_.empty() && !kept_.front().shown) dropOldest();
  }
  Kept kept{.record = record, .payload = std::move(spare_), .facts = facts, .command = {}};
  spare_ = {};
  kept.payload.assign(record.payload.begin(), record.payload.end());
  kept.record.payload = {};
  if (facts.command != nullptr) kept.command = *facts.command;
  kept.shown = shown;
  while (!kept_.empty() && keptBytes_ + kept.cost() > extent_.room) dropOldest();
  if (kept.cost() > extent_.room) {
    // Larger than the whole room: it goes on at once, and every selected
    // record after it has its records before it from those that follow.
    printer_.pass(record);
    return;
  }
  keptBytes_ += kept.cost();
  keptShown_ += shown ? 1 : 0;
  kept_.push_back(std::move(kept));
}

void RecordContext::dropOldest() {
  if (kept_.empty()) return;
  Kept& oldest = kept_.front();
  oldest.record.payload = oldest.payload;
  printer_.pass(oldest.record);
  keptBytes_ -= oldest.cost();
  keptShown_ -= oldest.shown ? 1 : 0;
  spare_ = std::move(oldest.payload);
  spare_.clear();
  kept_.pop_front();
}

void RecordContext::writeGroup(const Record& record, const DecodedRecord& decoded,
                               const RecordFacts& facts) {
  const std::uint64_t wanted = std::min<std::uint64_t>(extent_.before, sinceWritten_);
  const std::uint64_t first = shown_ - keptShown_;
  const bool apart = lastWritten_ && first != *lastWritten_ + 1;
  const std::uint64_t leftOut = wanted - std::min<std::uint64_t>(wanted, keptShown_);
  if (apart || leftOut > 0) printer_.group(apart, leftOut);
  for (Kept& kept : kept_) {
    kept.record.payload = kept.payload;
    if (kept.facts.command != nullptr) kept.facts.command = &kept.command;
    const DecodedRecord decodedKept = decodeRecord(kept.record);
    if (kept.shown) {
      printer_.context(kept.record, decodedKept, kept.facts);
    } else {
      printer_.record(kept.record, decodedKept, kept.facts);
    }
  }
  kept_.clear();
  keptShown_ = 0;
  keptBytes_ = 0;
  printer_.record(record, decoded, facts);
  lastWritten_ = shown_;
  sinceWritten_ = 0;
  afterLeft_ = extent_.after;
}

}  // namespace ovantrex
