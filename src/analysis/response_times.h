// Response times, with bounded memory whatever the trace holds: each group
// of them (the replies to one kind of command, or those of one update)
// keeps its samples exactly while they fit a fixed room, and past it counts
// them in a histogram, so that the percentiles are exact for small groups
// and within kHistogramPrecision of the exact value for large ones. The
// fastest and the slowest are always exact.
//
// Percentiles are taken by nearest rank: of n response times, the median is
// the ceil(n / 2)-th fastest and the 95th percentile the ceil(0.95 n)-th.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/fixed_list.h"
#include "core/reserved.h"
#include "decode/firmware_command.h"

namespace ovantrex {

// What a group of response times comes to, in milliseconds.
struct ResponseSummary {
  std::uint64_t count = 0;  // response times; the rest is 0 without any
  double fastest = 0;
  double median = 0;
  double p95 = 0;
  double slowest = 0;
  bool exact = true;  // the median and the 95th percentile are exact
};

// Response times counted by their microseconds: one bucket per microsecond
// below kExactBelow, then 128 buckets for every power of two, so that a
// bucket is at most 1/128 of its lower end wide; a value is given back as
// the middle of its bucket, within 1/256 (0.4%) of every value in it.
// Times past kLargest (51 days) count in the top bucket. Its room is taken
// with calloc() (takeHistograms()): large blocks come as zero pages that
// cost nothing until a time is counted in them.
class ResponseHistogram {
 public:
  static constexpr std::uint64_t kExactBelow = 256;
  static constexpr std::uint64_t kLargest = (std::uint64_t{1} << 42) - 1;
  static constexpr std::size_t kBuckets = 256 + 34 * 128;

  void add(std::size_t bucket) { ++counts_[bucket]; }
  void clear() { counts_.fill(0); }
  // The value of the rank-th smallest time counted (from 1), in
  // microseconds: the middle of its bucket.
  std::uint64_t atRank(std::uint64_t rank) const;

  // The bucket of a time in milliseconds, finite and not negative.
  static std::size_t bucketOf(double milliseconds) {
    const double micros = milliseconds * 1000 + 0.5;
    if (micros < static_cast<double>(kExactBelow)) return static_cast<std::size_t>(micros);
    if (!(micros < static_cast<double>(kLargest))) return kBuckets - 1;
    // The exponent and the top seven bits of the fraction pick the bucket,
    // as bucketOfMicros() picks that of the whole microseconds.
    const auto bits = std::bit_cast<std::uint64_t>(micros);
    return static_cast<std::size_t>((bits >> 45) - ((std::uint64_t{1023 + 8} << 7) - kExactBelow));
  }
  static std::size_t bucketOfMicros(std::uint64_t micros);
  // The middle of a bucket, in microseconds.
  static std::uint64_t middleOf(std::size_t bucket);

 private:
  std::array<std::uint64_t, kBuckets> counts_{};
};

// Room for count empty histograms; throws std::bad_alloc without it.
std::unique_ptr<ResponseHistogram, FreeDeleter> takeHistograms(std::size_t count);

// The precision that the outputs state for percentiles from the histogram.
inline constexpr double kHistogramPrecision = 0.005;  // 0.5%

// One group of response times.
class ResponseTimes {
 public:
  // room: how many times are kept exactly; histogram: where they are
  // counted past it (empty), or none for one of its own.
  explicit ResponseTimes(std::size_t room, ResponseHistogram* histogram = nullptr);

  // A response time in milliseconds, finite and not negative, and its
  // bucket of the histogram (ResponseHistogram::bucketOf()).
  void add(double milliseconds, std::size_t bucket) {
    if (count_++ == 0) {
      fastest_ = milliseconds;
      slowest_ = milliseconds;
    } else if (milliseconds < fastest_) {
      fastest_ = milliseconds;
    } else if (milliseconds > slowest_) {
      slowest_ = milliseconds;
    }
    if (counted_) {
      histogram_->add(bucket);
    } else if (exact_.size() < room_) {
      exact_.push_back(milliseconds);
    } else {
      overflow(bucket);
    }
  }
  // Forgets every time (a new update starts).
  void clear();
  // The summary of the times added; reorders the times kept.
  ResponseSummary summary();

 private:
  double valueAt(std::uint64_t rank);
  // The room is full: from now on every time is counted in the histogram.
  void overflow(std::size_t bucket);

  std::vector<double> exact_;  // while they fit the room
  std::size_t room_;
  std::unique_ptr<ResponseHistogram, FreeDeleter> owned_;
  ResponseHistogram* histogram_;  // every time, once the room is full
  bool counted_ = false;          // the histogram holds them
  std::uint64_t count_ = 0;
  double fastest_ = 0;
  double slowest_ = 0;
};

// An exchange of a command and its reply.
struct Exchange {
  std::uint64_t command = 0;  // the offsets of the two records
  std::uint64_t reply = 0;
  CommandKind kind = CommandKind::Invalid;
  double milliseconds = 0;
};

// The slowest exchanges, slowest first; of equal ones, the earliest.
class SlowestExchanges {
 public:
  static constexpr std::size_t kKept = 10;
  using List = FixedList<Exchange, kKept>;

  void consider(const Exchange& exchange) {
    if (list_.size() == kKept && !(exchange.milliseconds > list_[kKept - 1].milliseconds)) return;
    insert(exchange);
  }
  const List& list() const { return list_; }

 private:
  void insert(const Exchange& exchange);

  List list_;
};

}  // namespace ovantrex
