// A trace as a sequence of protocol steps, for the comparison of two
// traces: every firmware command (its kind and decoded fields, and for a
// flash write a digest of the bytes it writes), every reply of the device
// (its decoded status and a digest of its contents) and every text
// message of the utility. What always differs between two runs (times,
// process and thread ids, offsets) is not part of a step: the offset and
// a reply's response time are kept beside it. Left out of the steps: Hex
// blocks (descriptor dumps of the devices, which the commands and replies
// already show), HID transfers of other reports (the utility's pings and
// feature settings, not steps of the update), records that the component
// test hides and records that cannot be decoded.
//
// A step is kept in 20 bytes, in blocks taken as the trace grows; past
// kMaxSteps steps, or past the listed updates, steps are counted, not kept.
// The first bytes of each text message are kept in one bounded room.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/reply_pairing.h"
#include "analysis/session_facts.h"
#include "core/trace_record.h"
#include "decode/decoded_record.h"

namespace ovantrex {

enum class StepKind : std::uint8_t { Command = 1, StatusReply, OtherReply, Text };

// The replies that are not status replies, as a step's code.
enum class OtherReply : std::uint8_t { VersionList, SmReport, FeatureRead };

struct Step {
  // What two steps are compared by (key()): the kind (top byte), the code
  // (the next byte: a command's kind, a status reply's status byte, an
  // other reply's kind) and a digest of the decoded fields and contents (48
  // bits). A flash write's bytes are not in it: a write to the same address
  // with other bytes is the same step of the update, with another image.
  // Kept as two halves, so that a step takes 20 bytes.
  std::uint32_t keyLow = 0;
  std::uint32_t keyHigh = 0;
  // The offset of the record past the offset of its block's first step
  // (kFarOffset: the trace keeps it apart); see TraceSteps::offset().
  std::uint32_t offsetInBlock = 0;
  // Command: a flash write's or a record read's address (24 bits) and count
  // (top byte); a system command's code and sub-command (<< 8); a
  // checksum; a serial number's length. Status reply: the EC levels
  // (current, previous), or a flash read's address and length. Other
  // reply: the bytes of its transfer data. Text: where its first bytes lie
  // in the text room (kNoText: not kept).
  std::uint32_t detail = 0;
  // A flash write: the digest of its bytes. A reply: its response time in
  // milliseconds (the bits of a float; NaN for none). A text: its length.
  std::uint32_t extra = 0;

  std::uint64_t key() const { return std::uint64_t{keyHigh} << 32 | keyLow; }
  void setKey(std::uint64_t key) {
    keyLow = static_cast<std::uint32_t>(key);
    keyHigh = static_cast<std::uint32_t>(key >> 32);
  }
  StepKind kind() const { return static_cast<StepKind>(keyHigh >> 24); }
  std::uint8_t code() const { return static_cast<std::uint8_t>(keyHigh >> 16); }
  bool isReply() const { return kind() == StepKind::StatusReply || kind() == StepKind::OtherReply; }
  bool isFlashWrite() const {
    return kind() == StepKind::Command &&
           code() == static_cast<std::uint8_t>(CommandKind::FlashWrite);
  }
  // A reply's response time, to the microsecond; none for an unsolicited
  // reply or an unknown time.
  std::optional<double> responseMs() const;
};
static_assert(sizeof(Step) == 20);

inline constexpr std::uint32_t kFarOffset = 0xFFFFFFFF;
inline constexpr std::uint32_t kNoText = 0xFFFFFFFF;

// The records before the first update (part 0), then each update.
struct StepPart {
  std::uint64_t first = 0;  // the index of its first step
  std::uint64_t count = 0;  // its steps that are kept
  // The time stamps of its first and last record, in milliseconds.
  bool stamped = false;
  double firstStamp = 0;
  double lastStamp = 0;
  // The EC levels of the last reply of the part that reports them.
  bool hasEcLevels = false;
  std::array<std::uint8_t, 4> ecLevels{};  // current, then previous
};

class TraceSteps {
 public:
  static constexpr std::size_t kBlock = std::size_t{1} << 16;
  static constexpr std::size_t kMaxSteps = 20 * kBlock;  // 1,310,720
  static constexpr std::size_t kTextRoom = std::size_t{1} << 20;
  static constexpr std::size_t kKeptText = 80;  // of each text message
  static constexpr std::size_t kMaxParts = kMaxUpdates + 1;

  TraceSteps();

  // Forgets every step, for the next trace (the room of the lists is kept; the
  // blocks of steps are given back).
  void clear();

  // Every data record, in trace order, with what the analysis made of it.
  void record(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts);

  std::uint64_t size() const { return size_; }
  const Step& step(std::uint64_t i) const { return blocks_[i / kBlock][i % kBlock]; }
  // The offset of step i's record in the trace.
  std::uint64_t offset(std::uint64_t i) const;
  std::size_t parts() const { return parts_.size(); }
  const StepPart& part(std::size_t i) const { return parts_[i]; }
  // Steps that were not kept: past kMaxSteps, or in updates past the listed ones.
  std::uint64_t leftOut() const { return leftOut_; }
  std::uint64_t updatesLeftOut() const { return updatesLeftOut_; }
  // The first bytes of a text step (up to kKeptText), and whether they are all of it.
  std::string_view text(const Step& step) const;
  std::uint64_t textsNotKept() const { return textsNotKept_; }

 private:
  void add(Step step, std::uint64_t offset);
  StepPart* partOf(std::size_t update, double stamp);
  Step textStep(const DecodedRecord& decoded);

  std::vector<std::unique_ptr<Step[]>> blocks_;
  std::vector<std::uint64_t> blockOffsets_;  // of each block's first step
  // The steps whose offset lies 4 GiB or more past their block's first
  // step, and their offsets, in step order.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> farOffsets_;
  std::uint64_t size_ = 0;
  std::uint64_t leftOut_ = 0;
  std::uint64_t updatesLeftOut_ = 0;
  std::vector<StepPart> parts_;
  std::vector<char> texts_;
  std::uint64_t textsNotKept_ = 0;
};

}  // namespace ovantrex
