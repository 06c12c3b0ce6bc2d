// The response times of a group: exact while they fit the room, from the
// histogram past it, within the precision the outputs state; the buckets
// at their edges; the slowest exchanges in their order.
#include "analysis/response_times.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace ovantrex {
namespace {

ResponseSummary summaryOf(const std::vector<double>& times, std::size_t room) {
  ResponseTimes group(room);
  for (const double time : times) group.add(time, ResponseHistogram::bucketOf(time));
  return group.summary();
}

std::vector<double> oneTo(int count) {
  std::vector<double> times;
  for (int i = count; i >= 1; --i) times.push_back(i);  // in no sorted order
  return times;
}

// By nearest rank: of n times the median is the ceil(n / 2)-th fastest,
// the 95th percentile the ceil(0.95 n)-th.
TEST(ResponseTimes, PercentilesByNearestRankWhileTheTimesFitTheRoom) {
  const struct {
    const char* name;
    std::vector<double> times;
    double median, p95;
  } cases[] = {
      {"One", {7.5}, 7.5, 7.5},
      {"Two", {9, 2}, 2, 9},
      {"Twenty", oneTo(20), 10, 19},
      {"TwentyOne", oneTo(21), 11, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ResponseSummary summary = summaryOf(c.times, 1024);
    EXPECT_TRUE(summary.exact);
    EXPECT_EQ(summary.count, c.times.size());
    EXPECT_EQ(summary.median, c.median);
    EXPECT_EQ(summary.p95, c.p95);
  }
  EXPECT_EQ(summaryOf({}, 4).count, 0u);
}

// At the room's size the times are exact; one more and the percentiles
// come from the histogram: within 0.5% of the exact ones, inside the
// fastest and the slowest, which stay exact.
TEST(ResponseTimes, PastTheRoomFromTheHistogramWithinItsPrecision) {
  const ResponseSummary full = summaryOf(oneTo(20), 20);
  EXPECT_TRUE(full.exact);
  EXPECT_EQ(full.median, 10);
  const ResponseSummary past = summaryOf(oneTo(21), 20);
  EXPECT_FALSE(past.exact);
  EXPECT_EQ(past.fastest, 1);
  EXPECT_EQ(past.slowest, 21);
  EXPECT_NEAR(past.median, 11, 11 * kHistogramPrecision);
  EXPECT_NEAR(past.p95, 20, 20 * kHistogramPrecision);
  // 1,000 ms is 1,000,000 us, in the bucket of 244 x 4,096 us and the 4,095
  // after: its middle, 1,001.472 ms, is taken past the room...
  EXPECT_EQ(summaryOf({1, 1000, 2000}, 2).median, 1001.472);
  // ... but never beyond the slowest time.
  EXPECT_EQ(summaryOf({1000, 1000, 1000}, 2).median, 1000);
}

// A bucket for each microsecond below 256; then 128 buckets for each power
// of two, the middle of each at most 1/256 from its ends.
TEST(ResponseTimes, TheBucketsAtTheirEdges) {
  const struct {
    double milliseconds;
    std::size_t bucket;
    std::uint64_t middle;  // microseconds
  } cases[] = {
      {0, 0, 0},
      {0.001, 1, 1},
      {0.255, 255, 255},
      {0.256, 256, 257},  // 256 and 257
      {0.257, 256, 257},
      {0.258, 257, 259},
      {0.511, 383, 511},  // 510 and 511
      {0.512, 384, 514},  // 512 to 515
      {1000, 1780, 1001472},
      {1e300, ResponseHistogram::kBuckets - 1,
       (std::uint64_t{255} << 34) + (std::uint64_t{1} << 33)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.milliseconds);
    EXPECT_EQ(ResponseHistogram::bucketOf(c.milliseconds), c.bucket);
    EXPECT_EQ(ResponseHistogram::middleOf(c.bucket), c.middle);
  }
  // Every time is given back within 1/256 of itself: those around each
  // power of two, and some between.
  for (std::uint64_t power = 256; power <= ResponseHistogram::kLargest / 2; power *= 2) {
    for (const std::uint64_t micros : {power - 1, power, power + 1, 3 * power / 2, 2 * power - 1}) {
      const auto middle = static_cast<double>(
          ResponseHistogram::middleOf(ResponseHistogram::bucketOfMicros(micros)));
      ASSERT_LE(std::fabs(middle - static_cast<double>(micros)), static_cast<double>(micros) / 256)
          << micros;
    }
  }
}

TEST(ResponseTimesSlowestExchanges, SlowestFirstAndOfEqualOnesTheEarliest) {
  SlowestExchanges slowest;
  slowest.consider(Exchange{100, 101, CommandKind::ChecksumWrite, 2.5});
  for (std::uint64_t i = 0; i < 45; ++i) {
    // 0, 1, 2, 0, 1, 2, ... ms: of the fifteen of 2 ms, the first nine.
    slowest.consider(Exchange{i, i + 1, CommandKind::FlashWrite, static_cast<double>(i % 3)});
  }
  const auto& list = slowest.list();
  ASSERT_EQ(list.size(), SlowestExchanges::kKept);
  EXPECT_EQ(list[0].command, 100u);
  for (std::size_t i = 1; i < list.size(); ++i) {
    EXPECT_EQ(list[i].milliseconds, 2);
    EXPECT_EQ(list[i].command, 2 + 3 * (i - 1)) << i;
  }
}

}  // namespace
}  // namespace ovantrex
