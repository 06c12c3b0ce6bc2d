#include "analysis/refusals.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>
#include <type_traits>

namespace ovantrex {

namespace {

// A 64-bit digest of a write's bytes: eight bytes at a time, each word
// mixed in with a multiply and a rotation, the count last.
std::uint64_t digestOf(Bytes bytes) {
  constexpr std::uint64_t kMultiplier = 0x9e3779b97f4a7c15;
  std::uint64_t digest = 0x243f6a8885a308d3;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8)
    digest = std::rotl((digest ^ readLe64(bytes.data() + i)) * kMultiplier, 29);
  std::uint64_t last = 0;
  for (std::size_t shift = 0; i < bytes.size(); ++i, shift += 8)
    last |= std::uint64_t{bytes[i]} << shift;
  digest = std::rotl((digest ^ last) * kMultiplier, 29) ^ bytes.size();
  digest ^= digest >> 31;
  return digest * kMultiplier;
}

// The home slot of an address.
std::size_t homeOf(std::uint32_t address, std::size_t slots) {
  return static_cast<std::size_t>((address * std::uint64_t{0x9e3779b1}) >> 7) & (slots - 1);
}

// A retried checksum write or reset: how its refusal stands.
void retried(std::optional<Refusal>& pending, Fate fate, std::uint64_t& recovered) {
  if (!pending) return;
  if (fate == Fate::Accepted) {
    recovered += pending->times;
    pending.reset();
  } else if (fate == Fate::Unanswered) {
    pending->retry = Refusal::Retry::Unanswered;
  }
}

void refusedAgain(std::optional<Refusal>& pending, Refusal refusal) {
  if (pending) {
    ++pending->times;
    pending->retry = Refusal::Retry::None;
  } else {
    pending = refusal;
  }
}

}  // namespace

namespace {

// Empty slots (of generation 0): the zero pages of a large block cost
// nothing until a refused write is kept in them.
template <typename Slot>
std::unique_ptr<Slot, FreeDeleter> takeSlots(std::size_t count) {
  static_assert(std::is_trivially_copyable_v<Slot>);
  void* room = std::calloc(count, sizeof(Slot));
  if (room == nullptr) throw std::bad_alloc();
  return std::unique_ptr<Slot, FreeDeleter>(static_cast<Slot*>(room));
}

}  // namespace

Refusals::Refusals() : slots_(takeSlots<Slot>(kSlots)) {}

void Refusals::clear() {
  if (followed_ != 0 && ++generation_ == 0) {
    // After four billion updates the numbers start again from clean slots.
    std::fill(slots_.get(), slots_.get() + kSlots, Slot{});
    generation_ = 1;
  }
  followed_ = 0;
  unfollowed_ = 0;
  checksum_.reset();
  reset_.reset();
  recovered_ = {};
}

void Refusals::settleWrite(std::uint64_t offset, const FlashWrite& write, Bytes bytes, Fate fate) {
  if (fate == Fate::Refused) {
    refuse(offset, write, digestOf(bytes));
    return;
  }
  // A write that may retry refused ones: those of its address.
  std::optional<std::uint64_t> digest;
  std::size_t slot = homeOf(write.address, kSlots);
  while (used(slot)) {
    Slot& refused = at(slot);
    if (refused.address != write.address) {
      slot = (slot + 1) & (kSlots - 1);
      continue;
    }
    if (!digest) digest = digestOf(bytes);
    if (refused.count != write.count || refused.digest != *digest) {
      refused.retry = Refusal::Retry::OtherBytes;
    } else if (fate == Fate::Unanswered) {
      refused.retry = Refusal::Retry::Unanswered;
    } else {
      recovered_[static_cast<std::size_t>(RefusedKind::FlashWrite)] += refused.times;
      remove(slot);
      continue;  // the next write of the chain has moved into this slot
    }
    slot = (slot + 1) & (kSlots - 1);
  }
}

void Refusals::refuse(std::uint64_t offset, const FlashWrite& write, std::uint64_t digest) {
  std::size_t slot = homeOf(write.address, kSlots);
  Slot* same = nullptr;
  for (; used(slot); slot = (slot + 1) & (kSlots - 1)) {
    Slot& refused = at(slot);
    if (refused.address != write.address) continue;
    if (refused.count == write.count && refused.digest == digest) {
      same = &refused;
    } else {
      refused.retry = Refusal::Retry::OtherBytes;
    }
  }
  if (same != nullptr) {
    ++same->times;
    same->retry = Refusal::Retry::None;
    return;
  }
  if (followed_ == kMaxFollowed) {
    if (unfollowed_++ == 0) {
      firstUnfollowed_ =
          Refusal{RefusedKind::FlashWrite, offset, write, 0, 1, Refusal::Retry::None};
    }
    return;
  }
  ++followed_;
  at(slot) = Slot{generation_,       write.address, write.count, Refusal::Retry::None,
                  write.lengthField, digest,        offset,      1};
}

void Refusals::remove(std::size_t slot) {
  // Linear probing without tombstones: the writes after the emptied slot
  // move back into it where their home slot allows.
  --followed_;
  std::size_t hole = slot;
  for (std::size_t next = (hole + 1) & (kSlots - 1); used(next); next = (next + 1) & (kSlots - 1)) {
    const std::size_t home = homeOf(at(next).address, kSlots);
    // Whether home lies cyclically in (hole, next]: then the write stays.
    const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (stays) continue;
    at(hole) = at(next);
    hole = next;
  }
  at(hole).generation = 0;
}

void Refusals::checksumWrite(std::uint64_t offset, std::uint16_t checksum, Fate fate) {
  if (fate == Fate::Refused) {
    refusedAgain(
        checksum_,
        Refusal{RefusedKind::ChecksumWrite, offset, {}, checksum, 1, Refusal::Retry::None});
    return;
  }
  retried(checksum_, fate, recovered_[static_cast<std::size_t>(RefusedKind::ChecksumWrite)]);
}

void Refusals::reset(std::uint64_t offset, Fate fate) {
  if (fate == Fate::Refused) {
    refusedAgain(reset_, Refusal{RefusedKind::Reset, offset, {}, 0, 1, Refusal::Retry::None});
    return;
  }
  // A reset needs no reply: one that is not refused counts as accepted.
  retried(reset_, Fate::Accepted, recovered_[static_cast<std::size_t>(RefusedKind::Reset)]);
}

std::uint64_t Refusals::writesRecoveredBy(const FlashWrite& write, Bytes bytes) const {
  if (followed_ == 0) return 0;
  const std::uint64_t digest = digestOf(bytes);
  std::uint64_t recovered = 0;
  for (std::size_t slot = homeOf(write.address, kSlots); used(slot);
       slot = (slot + 1) & (kSlots - 1)) {
    const Slot& refused = at(slot);
    recovered +=
        refused.address == write.address && refused.count == write.count && refused.digest == digest
            ? 1
            : 0;
  }
  return recovered;
}

std::uint64_t Refusals::unrecovered() const {
  return followed_ + unfollowed_ + (checksum_ ? 1 : 0) + (reset_ ? 1 : 0);
}

std::optional<Refusal> Refusals::firstUnrecovered() const {
  std::optional<Refusal> first;
  const auto consider = [&first](const Refusal& refusal) {
    if (!first || refusal.offset < first->offset) first = refusal;
  };
  if (followed_ != 0) {
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
      if (!used(slot)) continue;
      const Slot& s = at(slot);
      consider(Refusal{RefusedKind::FlashWrite, s.offset,
                       FlashWrite{s.count, s.address, s.lengthField}, 0, s.times, s.retry});
    }
  }
  if (unfollowed_ != 0) consider(firstUnfollowed_);
  if (checksum_) consider(*checksum_);
  if (reset_) consider(*reset_);
  return first;
}

}  // namespace ovantrex
