// The coded values of the session's analysis, one row each (see
// coded_value.h): what became of a command, the refusals that fail an
// update, how a refused command was retried, and an update's outcome.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/coded_value.h"

namespace ovantrex {

// ---- What became of a command ----

#define OVANTREX_FATES(ROW)             \
  ROW(Accepted, "accepted", "accepted") \
  ROW(Refused, "refused", "refused")    \
  ROW(Unanswered, "unanswered", "unanswered")

enum class Fate : std::uint8_t { OVANTREX_FATES(OVANTREX_ENUMERATOR) };

inline constexpr auto kFateRows = numbered(std::array{OVANTREX_FATES(OVANTREX_ROW)});
inline constexpr CodedTable kFateTable{"fate", kFateRows, {}};
constexpr const CodedValue& coded(Fate fate) { return kFateRows[code(fate)]; }

// ---- The kinds of command whose refusal fails an update ----

// ROW(Name, words, key, plural).
#define OVANTREX_REFUSED_KINDS(ROW)                                         \
  ROW(FlashWrite, "flash write", "flash_write", "flash writes")             \
  ROW(ChecksumWrite, "checksum write", "checksum_write", "checksum writes") \
  ROW(Reset, "reset", "reset", "resets")

enum class RefusedKind : std::uint8_t { OVANTREX_REFUSED_KINDS(OVANTREX_ENUMERATOR) };

inline constexpr auto kRefusedKindRows = numbered(std::array{OVANTREX_REFUSED_KINDS(OVANTREX_ROW)});
inline constexpr std::size_t kRefusedKinds = kRefusedKindRows.size();
inline constexpr CodedTable kRefusedKindTable{"refused_kind", kRefusedKindRows, {}};
constexpr const CodedValue& coded(RefusedKind kind) { return kRefusedKindRows[code(kind)]; }
#define OVANTREX_PLURAL(name, words, key, plural) std::string_view(plural),
inline constexpr auto kRefusedKindPlurals =
    std::to_array({OVANTREX_REFUSED_KINDS(OVANTREX_PLURAL)});
#undef OVANTREX_PLURAL

// ---- What came after a refused command's last refusal ----

#define OVANTREX_RETRIES(ROW)                                \
  /* nothing came after it */                                \
  ROW(None, "not retried", "none")                           \
  /* a flash write to its address with other bytes came */   \
  ROW(OtherBytes, "retried with other bytes", "other_bytes") \
  /* a retry went unanswered */                              \
  ROW(Unanswered, "retried without a reply", "unanswered")

enum class RefusalRetry : std::uint8_t { OVANTREX_RETRIES(OVANTREX_ENUMERATOR) };

inline constexpr auto kRetryRows = numbered(std::array{OVANTREX_RETRIES(OVANTREX_ROW)});
inline constexpr CodedTable kRetryTable{"retry", kRetryRows, {}};
constexpr const CodedValue& coded(RefusalRetry retry) { return kRetryRows[code(retry)]; }

// ---- What became of an update; its words are also its key ----

#define OVANTREX_OUTCOMES(ROW)             \
  ROW(Completed, "completed", "completed") \
  ROW(Failed, "failed", "failed")          \
  ROW(Unfinished, "unfinished", "unfinished")

enum class UpdateOutcome : std::uint8_t { OVANTREX_OUTCOMES(OVANTREX_ENUMERATOR) };

inline constexpr auto kOutcomeRows = numbered(std::array{OVANTREX_OUTCOMES(OVANTREX_ROW)});
inline constexpr std::size_t kUpdateOutcomes = kOutcomeRows.size();
inline constexpr CodedTable kOutcomeTable{"outcome", kOutcomeRows, {}};
constexpr const CodedValue& coded(UpdateOutcome outcome) { return kOutcomeRows[code(outcome)]; }

}  // namespace ovantrex
