// The refused commands of an update and their recovery, fed as the
// analysis feeds them: many refused writes at once (the table that follows
// them, its removals and its room), the first that nothing recovered, and
// a new update that forgets them all.
#include "analysis/refusals.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace ovantrex {
namespace {

const std::array<std::uint8_t, 4> kBytes{1, 2, 3, 4};
const std::array<std::uint8_t, 4> kOtherBytes{1, 2, 3, 5};

FlashWrite writeAt(std::uint32_t address) { return FlashWrite{4, address, 10}; }

// Refuses a write at each address (its offset the address), then takes the
// writes back in the given order; returns what stayed refused after each.
std::vector<std::uint64_t> refuseAndRecover(const std::vector<std::uint32_t>& addresses,
                                            const std::vector<std::uint32_t>& order) {
  Refusals refusals;
  for (const std::uint32_t address : addresses)
    refusals.flashWrite(address, writeAt(address), kBytes, Fate::Refused);
  std::vector<std::uint64_t> left;
  for (const std::uint32_t address : order) {
    refusals.flashWrite(address + 1, writeAt(address), kBytes, Fate::Accepted);
    left.push_back(refusals.unrecovered());
  }
  return left;
}

TEST(Refusals, EachRetryRecoversItsOwnWriteWhateverTheOrder) {
  // Addresses 4,096 apart, and neighbours: many share a home in the table.
  std::vector<std::uint32_t> addresses;
  for (std::uint32_t i = 0; i < 600; ++i) addresses.push_back(i % 2 == 0 ? i * 4096 : i * 4);
  std::vector<std::uint32_t> order;
  for (std::size_t i = 0; i < addresses.size(); i += 2) order.push_back(addresses[i]);
  for (std::size_t i = addresses.size() - 1; i < addresses.size(); i -= 2)
    order.push_back(addresses[i]);
  const std::vector<std::uint64_t> left = refuseAndRecover(addresses, order);
  for (std::size_t i = 0; i < left.size(); ++i) ASSERT_EQ(left[i], addresses.size() - 1 - i) << i;
}

TEST(Refusals, PastTheWritesItFollowsARefusalIsNotRecovered) {
  std::vector<std::uint32_t> addresses;
  for (std::uint32_t i = 0; i <= Refusals::kMaxFollowed; ++i) addresses.push_back(i * 16);
  // The last one came when the table was full: nothing recovers it.
  const std::vector<std::uint64_t> left = refuseAndRecover(addresses, addresses);
  EXPECT_EQ(left.back(), 1u);
}

TEST(Refusals, TheFirstUnrecoveredAndHowItWasRetried) {
  Refusals refusals;
  refusals.reset(50, Fate::Refused);
  refusals.flashWrite(60, writeAt(0x100), kBytes, Fate::Refused);
  refusals.flashWrite(70, writeAt(0x100), kBytes, Fate::Refused);
  refusals.checksumWrite(80, 0xabcd, Fate::Refused);
  refusals.flashWrite(90, writeAt(0x100), kOtherBytes, Fate::Accepted);
  refusals.checksumWrite(100, 0xabcd, Fate::Unanswered);
  EXPECT_EQ(refusals.unrecovered(), 3u);
  auto first = refusals.firstUnrecovered();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, RefusedKind::Reset);
  EXPECT_EQ(first->offset, 50u);
  // A reset needs no reply: one that is not refused recovers it.
  refusals.reset(110, Fate::Unanswered);
  first = refusals.firstUnrecovered();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, RefusedKind::FlashWrite);
  EXPECT_EQ(first->offset, 60u);
  EXPECT_EQ(first->times, 2u);
  EXPECT_EQ(first->retry, Refusal::Retry::OtherBytes);
  EXPECT_EQ(first->write, writeAt(0x100));
  EXPECT_EQ(refusals.recovered(), (std::array<std::uint64_t, kRefusedKinds>{0, 0, 1}));
  // The checksum's retry went unanswered; an accepted one recovers it.
  refusals.flashWrite(120, writeAt(0x100), kBytes, Fate::Accepted);
  first = refusals.firstUnrecovered();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, RefusedKind::ChecksumWrite);
  EXPECT_EQ(first->retry, Refusal::Retry::Unanswered);
  refusals.checksumWrite(130, 0x0001, Fate::Accepted);
  EXPECT_EQ(refusals.unrecovered(), 0u);
  EXPECT_EQ(refusals.recovered(), (std::array<std::uint64_t, kRefusedKinds>{2, 1, 1}));
  // A new update forgets every refusal of the last.
  refusals.flashWrite(140, writeAt(0x200), kBytes, Fate::Refused);
  refusals.clear();
  EXPECT_EQ(refusals.unrecovered(), 0u);
  refusals.flashWrite(150, writeAt(0x200), kBytes, Fate::Accepted);
  EXPECT_EQ(refusals.recovered()[0], 0u);
}

}  // namespace
}  // namespace ovantrex
