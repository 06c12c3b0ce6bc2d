// The refused commands of the open update that decide its outcome: flash
// writes, checksum writes and resets that the device refused, and whether
// a later one of the same update recovered each: a flash write to the same
// address with the same bytes, a checksum write, a reset, that the device
// accepted (a reset needs no reply: one that is not refused counts).
//
// Memory is taken when the tracker is made: at most kMaxFollowed refused
// flash writes of an update wait for their retry at once (each kept by its
// address, its count and a 64-bit digest of its bytes); a refused write
// past them cannot be followed and counts as not recovered. Starting the
// next update costs nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/bytes.h"
#include "core/reserved.h"
#include "core/session_codes.h"
#include "decode/firmware_command.h"

namespace ovantrex {

// What became of a command (Fate), and the kinds of command whose refusal
// fails an update (RefusedKind): core/session_codes.h.

// A refused command that nothing recovered: the first time it was refused,
// how often, and what came after.
struct Refusal {
  using Retry = ::ovantrex::RefusalRetry;
  RefusedKind kind = RefusedKind::FlashWrite;
  std::uint64_t offset = 0;  // of the command first refused
  FlashWrite write;          // a flash write
  std::uint16_t checksum = 0;
  std::uint64_t times = 0;  // refusals
  Retry retry = Retry::None;
};

class Refusals {
 public:
  static constexpr std::size_t kMaxFollowed = 2048;

  Refusals();

  // A new update starts.
  void clear();
  // A flash write of the update, as its reply (or none) settled it; bytes:
  // what it carries to the flash.
  void flashWrite(std::uint64_t offset, const FlashWrite& write, Bytes bytes, Fate fate) {
    // Most writes are taken, and most updates have no refused write.
    if (fate != Fate::Refused && followed_ == 0) return;
    settleWrite(offset, write, bytes, fate);
  }
  void checksumWrite(std::uint64_t offset, std::uint16_t checksum, Fate fate);
  void reset(std::uint64_t offset, Fate fate);

  // Refused flash writes wait for their retry: a write that is taken may
  // recover one.
  bool followsWrites() const { return followed_ != 0; }
  // Refusals of each kind that a later command recovered (by RefusedKind).
  const std::array<std::uint64_t, kRefusedKinds>& recovered() const { return recovered_; }
  // Refused commands that nothing recovered: a flash write refused several
  // times with the same bytes counts once.
  std::uint64_t unrecovered() const;
  // The first of them, by the offset of its first refusal.
  std::optional<Refusal> firstUnrecovered() const;
  // What a command taken now would recover, without settling it: of the
  // refused flash writes, those with the write's address and bytes; a
  // refused checksum write; a refused reset.
  std::uint64_t writesRecoveredBy(const FlashWrite& write, Bytes bytes) const;
  bool refusedChecksumWaits() const { return checksum_.has_value(); }
  bool refusedResetWaits() const { return reset_.has_value(); }

 private:
  struct Slot {
    std::uint32_t generation = 0;  // the slot holds a write of this update
    std::uint32_t address = 0;
    std::uint8_t count = 0;
    Refusal::Retry retry = Refusal::Retry::None;
    std::uint16_t lengthField = 0;
    std::uint64_t digest = 0;
    std::uint64_t offset = 0;
    std::uint64_t times = 0;
  };
  static constexpr std::size_t kSlots = 2 * kMaxFollowed;

  void settleWrite(std::uint64_t offset, const FlashWrite& write, Bytes bytes, Fate fate);
  bool used(std::size_t slot) const { return slots_.get()[slot].generation == generation_; }
  Slot& at(std::size_t slot) { return slots_.get()[slot]; }
  const Slot& at(std::size_t slot) const { return slots_.get()[slot]; }
  void refuse(std::uint64_t offset, const FlashWrite& write, std::uint64_t digest);
  void remove(std::size_t slot);

  std::unique_ptr<Slot, FreeDeleter> slots_;  // kSlots, taken with calloc()
  std::uint32_t generation_ = 1;
  std::size_t followed_ = 0;
  // Refused flash writes past those followed, and the first of them.
  std::uint64_t unfollowed_ = 0;
  Refusal firstUnfollowed_;
  // Checksum writes and resets refused since the last one accepted.
  std::optional<Refusal> checksum_;
  std::optional<Refusal> reset_;
  std::array<std::uint64_t, kRefusedKinds> recovered_{};
};

}  // namespace ovantrex
