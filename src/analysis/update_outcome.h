// What became of an update, by one rule, from the pairs of its commands
// and replies (see reply_pairing.h and refusals.h): failed when the device
// refused a flash write, checksum write or reset of the update and no
// later one recovered it (a flash write to the same address with the same
// bytes, a checksum write, a reset, accepted); otherwise completed when a
// checksum write was accepted and the device was reset in it (a reset
// needs no reply); otherwise unfinished. Other error replies do not fail
// an update. The analysis applies it when an update closes, to every
// update, those past the listed ones too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "analysis/error_reply.h"
#include "analysis/refusals.h"
#include "core/session_codes.h"

namespace ovantrex {

// The commands of an update as their replies settled them.
struct UpdateExchanges {
  // Refusals of flash writes, checksum writes and resets, and those of
  // them that a later command recovered.
  std::uint64_t refused = 0;
  std::uint64_t recovered = 0;
  std::uint64_t refusedWrites = 0;  // flash writes among the refusals
  // Commands of every kind that no reply answered, and the flash writes
  // among them (which count as written).
  std::uint64_t unanswered = 0;
  std::uint64_t unansweredWrites = 0;
};

// What decides an update's outcome, and what its verdict says.
struct UpdateEnd {
  std::uint64_t number = 0;                 // from 1
  std::uint64_t errors = 0;                 // error replies in the update
  std::optional<std::uint64_t> firstError;  // the offset of the first of them
  bool checksumWritten = false;             // a checksum write was accepted
  bool checksumUnanswered = false;          // a checksum write went unanswered
  bool reset = false;                       // a reset that was not refused
  UpdateExchanges exchanges;
  std::array<std::uint64_t, kRefusedKinds> recovered{};  // by RefusedKind
  // Refused commands that nothing recovered, and the first of them.
  std::uint64_t unrecovered = 0;
  std::optional<Refusal> firstUnrecovered;
  // The update's last command, when no reply answered it (a reset aside).
  std::optional<KeptCommand> lastUnanswered;
  UpdateOutcome outcome = UpdateOutcome::Unfinished;  // set when the update closes

  // Error replies that refuse no flash write, checksum write or reset.
  std::uint64_t otherErrors() const {
    return errors > exchanges.refused ? errors - exchanges.refused : 0;
  }
};

constexpr UpdateOutcome updateOutcome(const UpdateEnd& update) {
  if (update.unrecovered != 0) return UpdateOutcome::Failed;
  if (update.checksumWritten && update.reset) return UpdateOutcome::Completed;
  return UpdateOutcome::Unfinished;
}

}  // namespace ovantrex
