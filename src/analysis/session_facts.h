// The facts of a session, as values: what the analysis gathers record by
// record, and every output of a whole trace shows (the summary as text and
// as JSON, the HTML report). Words are made from these only where an output
// writes them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/error_reply.h"
#include "analysis/response_times.h"
#include "analysis/trace_time.h"
#include "analysis/update_outcome.h"
#include "core/fixed_list.h"
#include "core/trace_record.h"
#include "decode/decoded_record.h"

namespace ovantrex {

// How much of a list input can grow is kept; the rest is counted.
inline constexpr std::size_t kMaxUpdates = 1000;
inline constexpr std::size_t kMaxRangesPerUpdate = 1000;
inline constexpr std::size_t kMaxErrors = 1000;
inline constexpr std::size_t kMaxChecksumsPerUpdate = 100;
inline constexpr std::size_t kMaxSerialNumbersPerUpdate = 100;
// The response times of a kind of command, or of an update, are kept
// exactly up to this many; past it they are counted in a histogram.
inline constexpr std::size_t kExactResponseTimes = 1024;

struct AddressRange {
  std::uint32_t first = 0;
  std::uint32_t last = 0;  // inclusive
};

// One flash update: from a "Start flash update" command up to the next one
// or the end of the trace. The lists lie in the analysis's rooms.
struct UpdateFacts {
  std::uint64_t offset = 0;
  std::optional<TraceTime> time;
  std::uint64_t writes = 0;
  std::uint64_t bytes = 0;
  std::span<const AddressRange> ranges;
  std::uint64_t rangesLeftOut = 0;
  std::uint64_t rewrittenBytes = 0;
  // Where the rewritten bytes lie, merged like ranges; kept for the first
  // updates only when the analysis is asked to.
  std::span<const AddressRange> rewrittenRanges;
  std::uint64_t rewrittenRangesLeftOut = 0;
  std::uint64_t lengthMismatches = 0;
  std::span<const std::uint16_t> checksums;
  std::uint64_t checksumsLeftOut = 0;
  // Each serial number once, in the order of its first write.
  std::span<const std::string_view> serialNumbers;
  // Writes of serial numbers that are not listed (a write that repeats a
  // listed one is not counted here).
  std::uint64_t serialNumbersLeftOut = 0;
  // Every write of a serial number, repeats too.
  std::uint64_t serialNumberWrites = 0;
  bool reset = false;  // a reset that the device did not refuse
  std::uint64_t errors = 0;
  UpdateExchanges exchanges;
  std::uint64_t otherErrors = 0;  // error replies that refuse no write, checksum or reset
  // The response times of its exchanges: the median and the slowest.
  ResponseSummary responses;
  UpdateOutcome outcome = UpdateOutcome::Unfinished;
};

// The exchanges of one kind of command (the commands themselves are
// counted with the firmware commands).
struct KindExchanges {
  std::uint64_t answered = 0;
  std::uint64_t unanswered = 0;
  std::uint64_t refused = 0;  // answered by an error reply
  ResponseSummary responses;  // of the answered ones whose response time is known
};

// A command that no reply answered.
struct UnansweredCommand {
  std::uint64_t offset = 0;
  CommandKind kind = CommandKind::Invalid;
};
inline constexpr std::size_t kFirstUnanswered = 10;

// The items and counters of the last systems-management report of one
// device class.
struct DeviceReport {
  bool hasInventory = false;
  FixedList<InventoryItem, kMaxSectionItems> inventory;
  bool hasCounters = false;
  FixedList<UsageCounter, kMaxSectionItems> counters;
};

struct SessionFacts {
  // The trace: its name as the command line gave it, and the bytes read of
  // it (all of them, or those before a read failed, or those read when a
  // followed trace was left).
  std::string traceName;
  std::uint64_t bytesRead = 0;
  std::uint64_t records = 0;
  std::array<std::uint64_t, kRecordTypes> byType{};  // by the rows of the record types
  std::uint64_t hidden = 0;
  std::uint64_t failed = 0;
  std::array<std::uint64_t, kDiagnosticKinds> diagnostics{};  // by DiagnosticKind
  std::array<bool, 4> versions{};  // format versions 1 to 3 of data records
  // The earliest and the latest time of the records of format version 3,
  // and whether each of those times was at or after the one before it.
  std::optional<TraceTime> earliestTime;
  std::optional<TraceTime> latestTime;
  bool timesInOrder = true;
  // A read failed before the end of the trace: what follows it is not counted.
  std::optional<ReadFailure> readFailure;
  // The trace ends inside the record whose header is at this offset.
  std::optional<std::uint64_t> cutAt;
  // Seconds from the earliest to the latest time.
  std::optional<double> timeSpan() const {
    if (!earliestTime || !latestTime) return std::nullopt;
    const std::int64_t milliseconds = latestTime->inMilliseconds() - earliestTime->inMilliseconds();
    return static_cast<double>(milliseconds) / 1000;
  }

  // Firmware commands by kind, and system commands by their code (see
  // systemCommandCode()), in the order of their first appearance.
  std::array<std::uint64_t, kCommandKinds> commands{};  // by CommandKind
  FixedList<std::pair<std::uint8_t, std::uint64_t>, 8> systemCommands;

  std::vector<UpdateFacts> updates;
  std::uint64_t updatesLeftOut = 0;
  // How many updates ended in each outcome (by UpdateOutcome), all of them,
  // and the end of the last one; none without updates.
  std::array<std::uint64_t, kUpdateOutcomes> outcomes{};
  std::optional<UpdateEnd> lastUpdate;
  // Flash writes with no "Start flash update" before them.
  std::uint64_t writesOutsideUpdates = 0;

  // Replies: how many carried each status bit that has a note (in the order
  // of their rows), flash reads, and the last EC levels.
  std::array<std::uint64_t, kStatusBits> statusBits{};
  std::uint64_t flashReads = 0;
  bool hasEcLevels = false;
  std::array<std::uint8_t, 2> ecCurrent{};
  std::array<std::uint8_t, 2> ecPrevious{};
  std::vector<ErrorReply> errors;
  std::uint64_t errorsLeftOut = 0;
  // Error replies with no "Start flash update" before them, kept or not.
  std::uint64_t errorsOutsideUpdates = 0;

  // Commands and their replies: by kind of command, the slowest exchanges,
  // the first commands left unanswered (all of them counted by kind),
  // replies that answer no command, and answers whose response time is not
  // known (their time stamps go backwards or are not finite).
  std::array<KindExchanges, kCommandKinds> exchanges{};
  SlowestExchanges::List slowest;
  FixedList<UnansweredCommand, kFirstUnanswered> firstUnanswered;
  std::uint64_t unsolicited = 0;
  std::uint64_t untimed = 0;

  // Devices.
  bool hasVersionList = false;
  RecordId versionListId{};
  std::uint8_t versionListCount = 0;
  FixedList<std::array<std::uint8_t, 5>, 51> versionRows;
  std::array<DeviceReport, 256> devices;
};

}  // namespace ovantrex
