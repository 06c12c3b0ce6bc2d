// What the report draws of each update, fed record by record as the report
// feeds it: the drawn updates and their own writes, the span of addresses,
// the thinning of the marks, one refused write however many error replies
// follow it, and the caps of the events.
#include "analysis/update_timeline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analysis/reply_pairing.h"
#include "decode/decoded_record.h"
#include "firmware_traffic.h"
#include "guarded_bytes.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

// Firmware traffic handed to the timelines, each record's bytes inside a
// larger buffer, with its facts from the pairing stage as the summary
// hands them on (a start opens the next update).
class Feed {
 public:
  explicit Feed(UpdateTimelines& timelines) : timelines_(timelines) {}

  Feed& start() { return hid(kHidWrite, startFlash()); }
  Feed& write(std::uint32_t address, std::uint8_t count) {
    return hid(kHidWrite, flashWrite(address, count));
  }
  Feed& reply(std::uint8_t bits) { return hid(kHidRead, status(bits)); }
  Feed& error() { return reply(0x41); }
  Feed& checksum() { return hid(kHidWrite, ovantrex::test::checksum(0x1234)); }
  Feed& reset() { return hid(kHidWrite, ovantrex::test::reset()); }

 private:
  Feed& hid(std::uint32_t minor, const Payload& data) {
    const GuardedBytes bytes(TraceBuilder::hidPayload(kFirmware, data).bytes());
    Record record;
    record.offset = offset_;
    offset_ += 32 + bytes.view().size();
    record.formatVersion = 3;
    record.header.minorCode = minor;
    record.payload = bytes.view();
    const DecodedRecord decoded = decodeRecord(record);
    timelines_.record(record, decoded, pairing_.record(record, decoded));
    return *this;
  }

  UpdateTimelines& timelines_;
  ReplyPairing pairing_;
  std::uint64_t offset_ = 16;
};

// The span runs from the lowest address written to the last byte of the
// write that reaches highest, past 24 bits at the top of the space.
TEST(UpdateTimelines, SpansFromTheLowestAddressToTheLastByteWritten) {
  const struct {
    const char* name;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> writes;
    std::uint32_t lowest, highest;
  } cases[] = {
      {"LastWriteNotTheHighest", {{0x2000, 16}, {0x1000, 255}, {0x1800, 1}}, 0x1000, 0x200f},
      {"LongerWriteBelowReachesHigher", {{0x2000, 1}, {0x1fff, 16}}, 0x1fff, 0x200e},
      {"TopOfTheSpace", {{0xfffff0, 16}}, 0xfffff0, 0xffffff},
      {"PastTheTop", {{0x10, 2}, {0xffffff, 255}}, 0x10, 0x10000fd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateTimelines timelines;
    Feed feed(timelines);
    feed.start();
    for (const auto& [address, count] : c.writes) feed.write(address, count);
    const UpdateTimeline& update = timelines.updates()[0];
    EXPECT_TRUE(update.anyWrite);
    EXPECT_EQ(update.lowest, c.lowest);
    EXPECT_EQ(update.highest, c.highest);
  }
}

// The first 20 updates are drawn, the 20th too, each with its own writes
// and nothing of the updates after it.
TEST(UpdateTimelines, DrawsEachOfTheFirstTwentyUpdatesWithItsOwnWrites) {
  UpdateTimelines timelines;
  Feed feed(timelines);
  for (std::uint32_t k = 1; k <= 21; ++k) feed.start().write(k << 16, 4).write(k << 16, 4);
  ASSERT_EQ(timelines.updates().size(), 20u);
  for (std::uint32_t k = 1; k <= 20; ++k) {
    SCOPED_TRACE(k);
    const UpdateTimeline& update = timelines.updates()[k - 1];
    EXPECT_EQ(update.number, k);
    EXPECT_EQ(update.writes, 2u);
    EXPECT_EQ(update.lowest, k << 16);
    EXPECT_EQ(update.highest, (k << 16) + 3);
  }
}

// 3,000 marks are kept as they come; the write after the last that fits
// doubles the stride and keeps every stride-th write from the first.
TEST(UpdateTimelines, ThinsTheMarksEvenlyAtEachDoublingOfTheStride) {
  const struct {
    std::uint64_t writes, stride;
    std::size_t marks;
    std::uint64_t lastKept;  // the number of the last write kept, from 0
  } cases[] = {
      {3000, 1, 3000, 2999}, {3001, 2, 1501, 3000},   {6000, 2, 3000, 5998},
      {6001, 4, 1501, 6000}, {12000, 4, 3000, 11996}, {12001, 8, 1501, 12000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.writes) + " writes");
    UpdateTimelines timelines;
    Feed feed(timelines);
    feed.start();
    for (std::uint64_t i = 0; i < c.writes; ++i) feed.write(static_cast<std::uint32_t>(i), 1);
    const UpdateTimeline& update = timelines.updates()[0];
    EXPECT_EQ(update.writes, c.writes);
    EXPECT_EQ(update.stride, c.stride);
    ASSERT_EQ(update.marks.size(), c.marks);
    EXPECT_EQ(update.marks[1].index, c.stride);
    EXPECT_EQ(update.marks[1].write.address, c.stride);
    EXPECT_EQ(update.marks.back().index, c.lastKept);
  }
}

TEST(UpdateTimelines, DrawsARefusedWriteOnceHoweverManyErrorRepliesFollowIt) {
  UpdateTimelines timelines;
  Feed feed(timelines);
  feed.start().write(0x100, 8).error().error().error();
  feed.write(0x200, 4).reply(0x01).write(0x300, 2).error();
  feed.checksum().error();  // after a checksum write: no write refused
  const UpdateTimeline& update = timelines.updates()[0];
  EXPECT_EQ(update.errors.size(), 5u);
  ASSERT_EQ(update.refused.size(), 2u);
  EXPECT_EQ(update.refused[0].write.address, 0x100u);
  EXPECT_EQ(update.refused[0].write.count, 8u);
  EXPECT_EQ(update.refused[1].write.address, 0x300u);
  EXPECT_EQ(update.refused[1].index, 2u);
  EXPECT_EQ(update.refusedLeftOut, 0u);
}

// Each kind of event keeps 1,000 per update. Checksum writes and resets
// each share a room of 1,000 with 25 kept back for every update to come:
// update 1 finds 1,000 - 19 * 25 = 525, update 2 the 475 left less
// 18 * 25, which is 25.
TEST(UpdateTimelines, KeepsTheEventsOfEachKindUpToTheirCapAndCountsTheRest) {
  UpdateTimelines timelines;
  Feed feed(timelines);
  feed.start();
  for (int i = 0; i < 1001; ++i) feed.write(static_cast<std::uint32_t>(i), 1).error();
  for (int i = 0; i < 526; ++i) feed.checksum().reset();
  feed.start();
  for (int i = 0; i < 30; ++i) feed.checksum().reset();
  const UpdateTimeline& first = timelines.updates()[0];
  const UpdateTimeline& second = timelines.updates()[1];
  EXPECT_EQ(first.errors.size(), 1000u);
  EXPECT_EQ(first.errorsLeftOut, 1u);
  EXPECT_EQ(first.refused.size(), 1000u);
  EXPECT_EQ(first.refusedLeftOut, 1u);
  EXPECT_EQ(first.checksums.size(), 525u);
  EXPECT_EQ(first.checksumsLeftOut, 1u);
  EXPECT_EQ(first.resets.size(), 525u);
  EXPECT_EQ(first.resetsLeftOut, 1u);
  EXPECT_EQ(second.checksums.size(), 25u);
  EXPECT_EQ(second.checksumsLeftOut, 5u);
  EXPECT_EQ(second.resets.size(), 25u);
  EXPECT_EQ(second.resetsLeftOut, 5u);
  // The last refused write kept is the 1,000th.
  EXPECT_EQ(first.refused.back().write.address, 999u);
}

}  // namespace
}  // namespace ovantrex::test
