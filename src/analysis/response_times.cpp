#include "analysis/response_times.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <new>
#include <type_traits>

namespace ovantrex {

namespace {

// The nearest ranks of the median and of the 95th percentile of count times.
std::uint64_t medianRank(std::uint64_t count) { return (count + 1) / 2; }
std::uint64_t p95Rank(std::uint64_t count) { return count - count / 20; }

}  // namespace

std::size_t ResponseHistogram::bucketOfMicros(std::uint64_t micros) {
  const std::uint64_t value = std::min(micros, kLargest);
  if (value < kExactBelow) return static_cast<std::size_t>(value);
  // 128 to 255 after the shift: the power of two picks the row of 128.
  const auto shift = static_cast<unsigned>(std::bit_width(value)) - 8;
  const std::uint64_t mantissa = value >> shift;
  return static_cast<std::size_t>(kExactBelow + (shift - 1) * 128 + (mantissa - 128));
}

std::uint64_t ResponseHistogram::middleOf(std::size_t bucket) {
  if (bucket < kExactBelow) return bucket;
  const std::size_t row = (bucket - kExactBelow) / 128;
  const auto shift = static_cast<unsigned>(row + 1);
  const std::uint64_t mantissa = 128 + (bucket - kExactBelow) % 128;
  return (mantissa << shift) + (std::uint64_t{1} << (shift - 1));
}

std::uint64_t ResponseHistogram::atRank(std::uint64_t rank) const {
  std::uint64_t seen = 0;
  for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
    seen += counts_[bucket];
    if (seen >= rank) return middleOf(bucket);
  }
  return middleOf(kBuckets - 1);
}

std::unique_ptr<ResponseHistogram, FreeDeleter> takeHistograms(std::size_t count) {
  static_assert(std::is_trivially_copyable_v<ResponseHistogram>);
  void* room = std::calloc(count, sizeof(ResponseHistogram));
  if (room == nullptr) throw std::bad_alloc();
  return std::unique_ptr<ResponseHistogram, FreeDeleter>(static_cast<ResponseHistogram*>(room));
}

ResponseTimes::ResponseTimes(std::size_t room, ResponseHistogram* histogram)
    : room_(room),
      owned_(histogram == nullptr ? takeHistograms(1) : nullptr),
      histogram_(histogram == nullptr ? owned_.get() : histogram) {
  exact_.reserve(room);
}

void ResponseTimes::overflow(std::size_t bucket) {
  for (const double kept : exact_) histogram_->add(ResponseHistogram::bucketOf(kept));
  histogram_->add(bucket);
  counted_ = true;
}

void ResponseTimes::clear() {
  if (counted_) histogram_->clear();
  counted_ = false;
  exact_.clear();
  count_ = 0;
}

double ResponseTimes::valueAt(std::uint64_t rank) {
  if (!counted_) {
    const auto at = exact_.begin() + static_cast<std::ptrdiff_t>(rank - 1);
    std::nth_element(exact_.begin(), at, exact_.end());
    return *at;
  }
  const double value = static_cast<double>(histogram_->atRank(rank)) / 1000;
  return std::clamp(value, fastest_, slowest_);
}

ResponseSummary ResponseTimes::summary() {
  ResponseSummary summary;
  summary.count = count_;
  if (count_ == 0) return summary;
  summary.fastest = fastest_;
  summary.slowest = slowest_;
  summary.median = valueAt(medianRank(count_));
  summary.p95 = valueAt(p95Rank(count_));
  summary.exact = !counted_;
  return summary;
}

void SlowestExchanges::insert(const Exchange& exchange) {
  // The new one goes behind every one as slow as it.
  std::size_t at = std::min(list_.size(), kKept - 1);
  if (list_.size() < kKept) list_.push(exchange);
  while (at > 0 && list_[at - 1].milliseconds < exchange.milliseconds) {
    list_[at] = list_[at - 1];
    --at;
  }
  list_[at] = exchange;
}

}  // namespace ovantrex
