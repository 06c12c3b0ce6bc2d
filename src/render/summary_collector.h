// What happened in a trace, gathered record by record for the session
// summary: counts, flash updates, replies, errors and devices.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/fixed_list.h"
#include "core/shared_room.h"
#include "decode/decoded_record.h"
#include "render/flash_map.h"
#include "render/writer.h"

namespace ovantrex {

// A time of a format-version-3 record.
struct TraceTime {
  std::int64_t seconds = 0;
  std::uint32_t milliseconds = 0;  // may reach past a second
  std::int64_t inMilliseconds() const { return seconds * 1000 + milliseconds; }
};

// How much of a list input can grow is kept; the rest is counted.
inline constexpr std::size_t kMaxUpdates = 1000;
inline constexpr std::size_t kMaxRangesPerUpdate = 1000;
inline constexpr std::size_t kMaxErrors = 1000;
inline constexpr std::size_t kMaxChecksumsPerUpdate = 100;
inline constexpr std::size_t kMaxSerialNumbersPerUpdate = 100;
// Of the notes of an error reply, and of those of the command before it.
inline constexpr std::size_t kMaxNotesPerList = 16;

struct AddressRange {
  std::uint32_t first = 0;
  std::uint32_t last = 0;  // inclusive
};

// One flash update: from a "Start flash update" command up to the next one
// or the end of the trace. The lists lie in the collector's rooms.
struct UpdateSummary {
  std::uint64_t offset = 0;
  std::optional<TraceTime> time;
  std::uint64_t writes = 0;
  std::uint64_t bytes = 0;
  std::span<const AddressRange> ranges;
  std::uint64_t rangesLeftOut = 0;
  std::uint64_t rewrittenBytes = 0;
  // Where the rewritten bytes lie, merged like ranges; kept only when the
  // collector is asked to (keepRewrittenRanges()).
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
  bool reset = false;
  std::uint64_t errors = 0;
};

// A status reply that reports an error, and the firmware command before it.
struct ErrorReply {
  std::uint64_t offset = 0;
  std::optional<TraceTime> time;
  std::span<const std::string_view> notes;
  std::uint64_t notesLeftOut = 0;
  std::size_t update = 0;  // 1 for the first update; 0 before any
  bool hasCommand = false;
  std::uint64_t commandOffset = 0;
  std::span<const std::string_view> commandNotes;
  std::uint64_t commandNotesLeftOut = 0;
};

// The items and counters of the last systems-management report of one
// device class.
struct DeviceReport {
  bool hasInventory = false;
  FixedList<InventoryItem, kMaxSectionItems> inventory;
  bool hasCounters = false;
  FixedList<UsageCounter, kMaxSectionItems> counters;
};

struct SessionSummaryData {
  // The trace.
  std::uint64_t records = 0;
  std::array<std::uint64_t, 7> byType{};  // in the order of kRecordTypesInOrder
  std::uint64_t hidden = 0;
  std::uint64_t failed = 0;
  std::array<std::uint64_t, 4> diagnostics{};  // by DiagnosticKind
  std::array<bool, 4> versions{};              // format versions 1 to 3 of data records
  // The earliest and the latest time of the records of format version 3,
  // and whether each of those times was at or after the one before it.
  std::optional<TraceTime> earliestTime;
  std::optional<TraceTime> latestTime;
  bool timesInOrder = true;
  // A read failed before the end of the trace: what follows it is not counted.
  std::optional<ReadFailure> readFailure;
  // Seconds from the earliest to the latest time.
  std::optional<double> timeSpan() const {
    if (!earliestTime || !latestTime) return std::nullopt;
    const std::int64_t milliseconds = latestTime->inMilliseconds() - earliestTime->inMilliseconds();
    return static_cast<double>(milliseconds) / 1000;
  }

  // Firmware commands, by kind, and system commands by their words.
  std::array<std::uint64_t, 9> commands{};  // by CommandKind
  FixedList<std::pair<std::string_view, std::uint64_t>, 8> systemCommands;

  std::vector<UpdateSummary> updates;
  std::uint64_t updatesLeftOut = 0;
  // Flash writes with no "Start flash update" before them.
  std::uint64_t writesOutsideUpdates = 0;

  // Replies: how many carried each status note (status bits in the order
  // of statusBitNames()), and the last EC levels.
  std::array<std::uint64_t, 6> statusNotes{};
  std::uint64_t flashReads = 0;
  bool hasEcLevels = false;
  std::array<std::uint8_t, 2> ecCurrent{};
  std::array<std::uint8_t, 2> ecPrevious{};
  std::vector<ErrorReply> errors;
  std::uint64_t errorsLeftOut = 0;
  // Error replies with no "Start flash update" before them, kept or not.
  std::uint64_t errorsOutsideUpdates = 0;

  // Devices.
  bool hasVersionList = false;
  RecordId versionListId{};
  std::uint8_t versionListCount = 0;
  FixedList<std::array<std::uint8_t, 5>, 51> versionRows;
  std::array<DeviceReport, 256> devices;
};

// The record types in the order in which the summary lists them.
inline constexpr std::array<RecordType, 7> kRecordTypesInOrder{
    RecordType::Text,       RecordType::Hex,        RecordType::HidWrite, RecordType::HidRead,
    RecordType::HidGetFeat, RecordType::HidSetFeat, RecordType::Unknown};

// A status reply that reports an error: "Operation in Error", "Command
// reject" or the serial-number bit.
bool isErrorReply(const StatusReply& reply);

// Gathers the summary. Everything it keeps lies in room taken when it is
// made: the record loop allocates nothing, and want of memory shows before
// the first record (and before an older output file is emptied).
class SummaryCollector {
 public:
  // The rooms that the lists of all updates and all error replies share,
  // and the share of each kept back for every update or error reply that
  // may still come (the summary's memory stays within its budget whatever
  // the trace holds).
  static constexpr std::size_t kRangeRoom = 16384;
  static constexpr std::size_t kRangeShare = 4;
  static constexpr std::size_t kChecksumRoom = 4096;
  static constexpr std::size_t kChecksumShare = 2;
  static constexpr std::size_t kSerialNumberRoom = 2048;
  static constexpr std::size_t kSerialNumberShare = 1;
  static constexpr std::size_t kSerialTextRoom = std::size_t{96} << 10;
  static constexpr std::size_t kSerialTextShare = 32;
  // Notes: the share is kept back for each list of notes to come, two of
  // each error reply (its own, and the command's before it).
  static constexpr std::size_t kNoteRoom = 8192;
  static constexpr std::size_t kNoteShare = 3;
  static constexpr std::size_t kNoteTextRoom = std::size_t{256} << 10;
  static constexpr std::size_t kNoteTextShare = 112;
  // A note longer than this is left out (none is: a serial number's note,
  // the longest, has under 300 bytes).
  static constexpr std::size_t kLongestNote = 1024;

  SummaryCollector();

  // Also keeps where the rewritten bytes of the first `updates` updates lie
  // (a second flash map, and the room of their ranges, taken here).
  void keepRewrittenRanges(std::size_t updates);

  void record(const Record& record, const DecodedRecord& decoded);
  void diagnostic(const Diagnostic& diagnostic);
  void readFailed(const ReadFailure& failure) { data_->readFailure = failure; }
  // The trace has ended: the open update is closed.
  void close();

  // What has been gathered so far (the open update's ranges are added when
  // it closes).
  const SessionSummaryData& data() const { return *data_; }
  // The number of the update that the last record belongs to, from 1; 0
  // before the first "Start flash update". Counts updates beyond the
  // listed ones too.
  std::size_t updateNumber() const { return updateNumber_; }

 private:
  class NoteList;

  void command(const Record& record, const FirmwareCommand& command);
  void serialNumber(UpdateSummary& update, const FirmwareCommand& command);
  void reply(const Record& record, const StatusReply& reply);
  void componentReport(const ComponentReport& report);
  void startUpdate(const Record& record);
  void closeUpdate();
  UpdateSummary* openUpdate();
  // Updates that may still be listed after the open one.
  std::size_t updatesToCome() const;

  std::unique_ptr<SessionSummaryData> data_;
  SharedRoom<AddressRange> ranges_;
  SharedRoom<AddressRange> rewrittenRanges_;
  SharedRoom<std::uint16_t> checksums_;
  SharedRoom<std::string_view> serialNumbers_;
  SharedRoom<char> serialText_;
  SharedRoom<std::string_view> notes_;
  SharedRoom<char> noteText_;
  FlashMap flash_;
  std::unique_ptr<FlashMap> rewrites_;  // with keepRewrittenRanges()
  std::optional<TraceTime> previousTime_;
  std::size_t rewrittenUpdates_ = 0;  // the updates whose rewritten ranges are kept
  bool updateOpen_ = false;
  std::size_t updateNumber_ = 0;  // of the open update, from 1; kept also when it is not listed

  // The transfer data of the last firmware command, enough of it to decode
  // the command again (a serial number reads up to byte 517).
  static constexpr std::size_t kCommandBytes = 520;
  bool haveCommand_ = false;
  std::uint64_t commandOffset_ = 0;
  std::array<std::uint8_t, kCommandBytes> commandData_{};
  std::size_t commandSize_ = 0;
  Writer scratch_{kLongestNote + 1};
};

}  // namespace ovantrex
