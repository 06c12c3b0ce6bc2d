#include "analysis/flash_map.h"

#include <algorithm>
#include <bit>

namespace ovantrex {

FlashMap::FlashMap()
    : bits_(new std::uint64_t[std::size_t{kPages} * kWordsPerPage]), pageUpdate_(kPages, 0) {
  touched_.reserve(kPages);
}

void FlashMap::clear() {
  touched_.clear();
  if (++update_ == 0) {
    // After four billion updates the numbers start again from a clean map.
    std::fill(pageUpdate_.begin(), pageUpdate_.end(), 0);
    update_ = 1;
  }
}

std::uint64_t* FlashMap::page(std::uint32_t number) {
  std::uint64_t* words = bits_.get() + std::size_t{number} * kWordsPerPage;
  if (pageUpdate_[number] != update_) {
    std::fill(words, words + kWordsPerPage, 0);
    pageUpdate_[number] = update_;
    touched_.push_back(number);
  }
  return words;
}

void FlashMap::mark(std::uint32_t wordAddress, std::uint64_t bits) {
  page(wordAddress / kPageBits)[wordAddress % kPageBits / 64] |= bits;
}

std::uint32_t FlashMap::writeWords(std::uint32_t address, std::uint32_t count, FlashMap* again) {
  std::uint32_t rewritten = 0;
  std::uint32_t at = address;
  const std::uint32_t end = address + count;
  while (at < end) {
    std::uint64_t* words = page(at / kPageBits);
    const std::uint32_t bit = at % kPageBits;
    std::uint64_t& word = words[bit / 64];
    const std::uint32_t shift = bit % 64;
    const std::uint32_t n = std::min(64 - shift, end - at);
    const std::uint64_t mask = (n == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << n) - 1))
                               << shift;
    const std::uint64_t before = word & mask;
    if (before != 0) {
      rewritten += static_cast<std::uint32_t>(std::popcount(before));
      if (again != nullptr) again->mark(at - shift, before);
    }
    word |= mask;
    at += n;
  }
  return rewritten;
}

}  // namespace ovantrex
