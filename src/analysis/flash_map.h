// The flash addresses written during one update: one bit for every address
// of the 24-bit space (2 MiB, taken once), so that rewritten bytes are found
// exactly whatever the order of the writes. Starting the next update costs
// nothing: each 4096-address page carries the number of the update that
// last wrote it, and a page of an earlier update counts as empty.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

namespace ovantrex {

class FlashMap {
 public:
  FlashMap();

  // Forgets every address: a new update starts.
  void clear();
  // Marks count addresses from address on as written; returns how many of
  // them were written before in this update. When again is given, those
  // addresses are marked in it too (where the rewritten bytes lie).
  std::uint32_t write(std::uint32_t address, std::uint32_t count, FlashMap* again = nullptr) {
    // Most writes are short, fall in one word of a page that this update
    // has written already, and write nothing twice: set their bits here.
    const std::uint32_t shift = address % 64;
    if (count != 0 && count <= 64 - shift && pageUpdate_[address / kPageBits] == update_) {
      std::uint64_t& word = bits_[address / 64];
      const std::uint64_t mask = (count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1)
                                 << shift;
      if ((word & mask) == 0) {
        word |= mask;
        return 0;
      }
    }
    return writeWords(address, count, again);
  }
  // Calls each(first, last) for every run of consecutive written addresses,
  // in ascending order, both ends inclusive. Sorts the pages written in
  // place: a new update (clear()) follows.
  template <typename Each>
  void forEachRange(Each each);

 private:
  static constexpr std::uint32_t kPageBits = 4096;
  static constexpr std::uint32_t kWordsPerPage = kPageBits / 64;
  // The 24-bit space and the 255 bytes that a write at its top reaches.
  static constexpr std::uint32_t kPages = (std::uint32_t{1} << 24) / kPageBits + 1;

  std::uint64_t* page(std::uint32_t number);
  // write(), word by word.
  std::uint32_t writeWords(std::uint32_t address, std::uint32_t count, FlashMap* again);
  // Sets bits in the word whose first address is wordAddress.
  void mark(std::uint32_t wordAddress, std::uint64_t bits);

  // Left uninitialised: a page is cleared when an update first writes it.
  std::unique_ptr<std::uint64_t[]> bits_;
  std::vector<std::uint32_t> pageUpdate_;  // the update that last wrote each page
  std::vector<std::uint32_t> touched_;     // pages written in this update
  std::uint32_t update_ = 1;
};

template <typename Each>
void FlashMap::forEachRange(Each each) {
  std::sort(touched_.begin(), touched_.end());
  bool open = false;
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  for (const std::uint32_t number : touched_) {
    const std::uint64_t* words = bits_.get() + std::size_t{number} * kWordsPerPage;
    for (std::uint32_t w = 0; w < kWordsPerPage; ++w) {
      std::uint64_t word = words[w];
      const std::uint32_t base = number * kPageBits + w * 64;
      while (word != 0) {
        // The next run of set bits in this word.
        const auto start = static_cast<std::uint32_t>(std::countr_zero(word));
        const auto length = static_cast<std::uint32_t>(std::countr_one(word >> start));
        const std::uint32_t runFirst = base + start;
        const std::uint32_t runLast = runFirst + length - 1;
        if (open && runFirst == last + 1) {
          last = runLast;
        } else {
          if (open) each(first, last);
          open = true;
          first = runFirst;
          last = runLast;
        }
        word = length + start >= 64 ? 0 : word & ~((std::uint64_t{1} << (start + length)) - 1);
      }
    }
  }
  if (open) each(first, last);
}

}  // namespace ovantrex
