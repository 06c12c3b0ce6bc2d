#include "select/record_context.h"

#include <algorithm>
#include <cstring>

namespace ovantrex {

void RecordContext::recordSlowly(const Record& record, const DecodedRecord& decoded,
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
  steady_ = afterLeft_ == 0 && count_ > 0 && count_ == extent_.before && keptShown_ == count_ &&
            ring_.size() == count_;
}

void RecordContext::payloadsMove() {
  if (!borrowing_) return;
  for (std::size_t i = 0; i < count_; ++i) {
    Kept& kept = inRing(i);
    if (kept.borrowed) ownPayload(kept);
  }
  borrowing_ = false;
}

void RecordContext::keep(const Record& record, const RecordFacts& facts, bool shown) {
  if (shown && keptShown_ == extent_.before) {
    // The oldest record shown goes, and the records not shown before the
    // next one with it.
    while (count_ > 0 && !ring_[head_].shown) dropOldest(false);
    dropOldest(false);
    while (count_ > 0 && !ring_[head_].shown) dropOldest(false);
  }
  // Most records fit the bytes of the next free slot.
  const std::size_t size = record.payload.size();
  Kept* slot = count_ < ring_.size() ? &inRing(count_) : nullptr;
  if (slot == nullptr || slot->capacity < size) slot = freeSlot(size);
  if (slot == nullptr) {
    // Larger than the whole room: it goes on at once, and every selected
    // record after it has its records before it from those that follow.
    printer_.pass(record);
    return;
  }
  if (slot->capacity < size) {
    slot->bytes = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    heldBytes_ += size - slot->capacity;
    slot->capacity = size;
  }
  slot->record = record;
  keepFacts(*slot, facts);
  ownPayload(*slot);
  slot->shown = shown;
  ++count_;
  keptShown_ += shown ? 1 : 0;
}

void RecordContext::ownPayload(Kept& slot) {
  const std::size_t size = slot.record.payload.size();
  if (size > 0) std::memcpy(slot.bytes.get(), slot.record.payload.data(), size);
  slot.record.payload = {slot.bytes.get(), size};
  slot.borrowed = false;
}

RecordContext::Kept* RecordContext::freeSlot(std::size_t bytes) {
  // Whether the room holds the record in slot, or in a new slot (null):
  // the ring then grows when it is full, to twice its capacity.
  const auto fits = [this, bytes](const Kept* slot) {
    const bool grows = slot == nullptr && ring_.size() == ring_.capacity();
    const std::size_t growth =
        grows ? sizeof(Kept) * std::max<std::size_t>(1, ring_.capacity()) : 0;
    const std::size_t held = slot != nullptr ? slot->capacity : 0;
    return heldBytes_ - held + std::max(held, bytes) + growth <= extent_.room;
  };
  for (;;) {
    Kept* slot = count_ < ring_.size() ? &inRing(count_) : nullptr;
    if (fits(slot)) {
      if (slot != nullptr) return slot;
      // A new slot at the end of the ring, its oldest record first.
      std::rotate(ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(head_), ring_.end());
      head_ = 0;
      heldBytes_ -= sizeof(Kept) * ring_.capacity();
      ring_.emplace_back();
      heldBytes_ += sizeof(Kept) * ring_.capacity();
      return &ring_.back();
    }
    if (count_ > 0) {
      dropOldest(true);
      continue;
    }
    // Nothing kept: the free slots give their room back.
    bool released = false;
    for (Kept& free : ring_) {
      released = released || free.capacity > 0;
      release(free);
    }
    if (!released) return nullptr;
  }
}

void RecordContext::dropOldest(bool releasing) {
  if (count_ == 0) return;
  Kept& oldest = ring_[head_];
  printer_.pass(oldest.record);
  if (releasing) release(oldest);
  keptShown_ -= oldest.shown ? 1 : 0;
  if (++head_ == ring_.size()) head_ = 0;
  --count_;
}

void RecordContext::release(Kept& slot) {
  heldBytes_ -= slot.capacity;
  slot.bytes.reset();
  slot.capacity = 0;
}

void RecordContext::writeGroup(const Record& record, const DecodedRecord& decoded,
                               const RecordFacts& facts) {
  const std::uint64_t wanted = std::min<std::uint64_t>(extent_.before, sinceWritten_);
  const std::uint64_t first = shown_ - keptShown_;
  const bool apart = lastWritten_ && first != *lastWritten_ + 1;
  const std::uint64_t leftOut = wanted - std::min<std::uint64_t>(wanted, keptShown_);
  if (apart || leftOut > 0) printer_.group(apart, leftOut);
  for (std::size_t i = 0; i < count_; ++i) {
    Kept& kept = inRing(i);
    if (kept.facts.command != nullptr) kept.facts.command = &kept.command;
    const DecodedRecord decodedKept = decodeRecord(kept.record);
    if (kept.shown) {
      printer_.context(kept.record, decodedKept, kept.facts);
    } else {
      printer_.record(kept.record, decodedKept, kept.facts);
    }
  }
  head_ = 0;
  count_ = 0;
  keptShown_ = 0;
  printer_.record(record, decoded, facts);
  lastWritten_ = shown_;
  sinceWritten_ = 0;
  afterLeft_ = extent_.after;
}

}  // namespace ovantrex
