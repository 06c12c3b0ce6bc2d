// What became of an update, by one rule: failed when an error reply falls
// in it; otherwise completed when it wrote a checksum and the device was
// reset in it (in either order); otherwise unfinished. The analysis applies
// it when an update closes, to every update, those past the listed ones too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ovantrex {

enum class UpdateOutcome : std::uint8_t { Completed, Failed, Unfinished };
inline constexpr std::size_t kUpdateOutcomes = 3;
static_assert(kUpdateOutcomes == static_cast<std::size_t>(UpdateOutcome::Unfinished) + 1);

// What decides an update's outcome, and where its first error reply lies.
struct UpdateEnd {
  std::uint64_t number = 0;                 // from 1
  std::uint64_t errors = 0;                 // error replies in the update
  std::optional<std::uint64_t> firstError;  // the offset of the first of them
  bool checksumWritten = false;
  bool reset = false;
  UpdateOutcome outcome = UpdateOutcome::Unfinished;  // set when the update closes
};

constexpr UpdateOutcome updateOutcome(const UpdateEnd& update) {
  if (update.errors != 0) return UpdateOutcome::Failed;
  if (update.checksumWritten && update.reset) return UpdateOutcome::Completed;
  return UpdateOutcome::Unfinished;
}

}  // namespace ovantrex
