#include "render/listing_excerpts.h"

#include <algorithm>
#include <utility>

namespace ovantrex {

ListingExcerpts::ListingExcerpts(const ListingOptions& options)
    : scratch_(std::make_unique<Writer>()), listing_(*scratch_, *scratch_, *scratch_, options) {}

void ListingExcerpts::cut(std::string_view text, ListingEntry& entry) {
  std::size_t kept = 0;
  std::size_t lines = 0;
  while (kept < text.size() && lines < kEntryLines) {
    const std::size_t lineEnd = text.find('\n', kept);
    const std::size_t next = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
    if (next > kEntryBytes) break;
    kept = next;
    ++lines;
  }
  if (kept == 0 && !text.empty()) {
    // The first line alone is too long: cut it before a character that
    // starts at kEntryBytes or earlier.
    kept = std::min(text.size(), kEntryBytes);
    while (kept > 0 && kept < text.size() &&
           (static_cast<unsigned char>(text[kept]) & 0xc0u) == 0x80u)
      --kept;
  }
  entry.text.assign(text.substr(0, kept));
  const std::string_view rest = text.substr(kept);
  entry.bytesCut = rest.size();
  entry.linesCut = static_cast<std::uint64_t>(std::count(rest.begin(), rest.end(), '\n'));
}

void ListingExcerpts::record(const Record& record, const DecodedRecord& decoded, bool errorReply) {
  if (++records_ > kWholeListingRecords && whole_ == Whole::Kept) {
    whole_ = Whole::TooManyRecords;
    std::vector<ListingEntry>().swap(wholeEntries_);
  }
  scratch_->clear();
  listing_.record(record, decoded);
  const std::string& text = scratch_->text();
  if (text.empty()) return;  // hidden
  current_.offset = record.offset;
  current_.error = errorReply;
  cut(text, current_);
  if (whole_ == Whole::Kept) keepWhole();

  if (errorReply) {
    if (open_ && excerpts_.back().entries.size() < kMaxExcerptEntries) {
      excerpts_.back().entries.push_back(current_);
      afterLeft_ = kAfter;
    } else if (excerpts_.size() < kMaxExcerpts) {
      // A new excerpt: the entries before the error, then the error.
      Excerpt& excerpt = excerpts_.emplace_back();
      for (std::size_t i = 0; i < ringSize_; ++i)
        excerpt.entries.push_back(std::move(ring_[(ringStart_ + i) % kBefore]));
      ringSize_ = 0;
      excerpt.entries.push_back(current_);
      open_ = true;
      afterLeft_ = kAfter;
    } else {
      ++errorsWithoutExcerpt_;
      open_ = false;
      toRing();
    }
    return;
  }
  if (open_ && excerpts_.back().entries.size() < kMaxExcerptEntries) {
    excerpts_.back().entries.push_back(current_);
    if (--afterLeft_ == 0) open_ = false;
    return;
  }
  open_ = false;
  toRing();
}

void ListingExcerpts::toRing() {
  // The oldest entry makes room; its string's room passes to current_.
  if (ringSize_ < kBefore) {
    std::swap(ring_[(ringStart_ + ringSize_) % kBefore], current_);
    ++ringSize_;
  } else {
    std::swap(ring_[ringStart_], current_);
    ringStart_ = (ringStart_ + 1) % kBefore;
  }
}

void ListingExcerpts::keepWhole() {
  wholeBytes_ += current_.text.size();
  if (wholeBytes_ > kWholeListingBytes) {
    whole_ = Whole::TooLarge;
    std::vector<ListingEntry>().swap(wholeEntries_);
    return;
  }
  wholeEntries_.push_back(current_);
}

}  // namespace ovantrex
