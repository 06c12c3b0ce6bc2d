#include "output/html/listing_excerpts.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ovantrex {

namespace {

// The length of the start of text that is kept: whole lines, at most
// mostLines of them and mostBytes in all; when the first line alone is
// longer, its bytes up to a character that starts at mostBytes or earlier.
std::size_t keptLength(std::string_view text, std::size_t mostBytes, std::size_t mostLines) {
  std::size_t kept = 0;
  std::size_t lines = 0;
  while (kept < text.size() && lines < mostLines) {
    const std::size_t lineEnd = text.find('\n', kept);
    const std::size_t next = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
    if (next > mostBytes) break;
    kept = next;
    ++lines;
  }
  if (kept == 0 && !text.empty()) {
    kept = std::min(text.size(), mostBytes);
    while (kept > 0 && kept < text.size() &&
           (static_cast<unsigned char>(text[kept]) & 0xc0u) == 0x80u)
      --kept;
  }
  return kept;
}

// Cuts entry's text to at most mostBytes, counting what goes.
void cutTo(ListingEntry& entry, std::size_t mostBytes) {
  if (entry.text.size() <= mostBytes) return;
  const std::size_t kept = keptLength(entry.text, mostBytes, ListingExcerpts::kEntryLines);
  const std::string_view rest = entry.text.substr(kept);
  entry.bytesCut += rest.size();
  entry.linesCut += static_cast<std::uint64_t>(std::count(rest.begin(), rest.end(), '\n'));
  entry.text = entry.text.substr(0, kept);
}

}  // namespace

ListingExcerpts::ListingExcerpts(const ListingOptions& options)
    // One byte more than an entry keeps shows where a line ends, or a
    // character starts, just after what is kept.
    : scratch_(std::make_unique<Writer>(kEntryBytes + 1)),
      listing_(*scratch_, *scratch_, options),
      excerptEntries_(kMaxExcerpts * kMaxExcerptEntries, 0),
      excerptText_(kExcerptTextRoom, kExcerptTextShare),
      wholeText_(kWholeListingBytes, 0) {
  for (HeldEntry& held : ring_) held.text.reserve(kEntryBytes);
  waitingText_.reserve(kEntryBytes);
  for (SlowExchange& slow : slow_) {
    slow.commandText_.reserve(kEntryBytes);
    slow.replyText_.reserve(kEntryBytes);
  }
  excerpts_.reserve(kMaxExcerpts);
  wholeEntries_.reserve(kWholeListingRecords);
}

void ListingExcerpts::cut(std::string_view text, ListingEntry& entry, std::uint64_t bytesBeyond,
                          std::uint64_t linesBeyond) {
  const std::size_t kept = keptLength(text, kEntryBytes, kEntryLines);
  entry.text = text.substr(0, kept);
  const std::string_view rest = text.substr(kept);
  entry.bytesCut = rest.size() + bytesBeyond;
  entry.linesCut =
      static_cast<std::uint64_t>(std::count(rest.begin(), rest.end(), '\n')) + linesBeyond;
}

void ListingExcerpts::record(const Record& record, const DecodedRecord& decoded,
                             const RecordFacts& facts) {
  if (++records_ > kWholeListingRecords && whole_ == Whole::Kept) dropWhole(Whole::TooManyRecords);
  scratch_->clear();
  listing_.record(record, decoded, RecordFacts{});
  const std::string& text = scratch_->text();
  if (text.empty()) return;  // hidden
  const bool errorReply = facts.errorReply;
  current_.offset = record.offset;
  current_.error = errorReply;
  cut(text, current_, scratch_->bytesLeftOut(), scratch_->linesLeftOut());
  if (whole_ == Whole::Kept) keepWhole();
  if (facts.role == PairRole::Command) {
    waitingText_.assign(current_.text);  // within the room taken for it
    waiting_ = current_;
  } else if (facts.answers() != nullptr) {
    keepIfSlow(facts.responseMs);
  }

  if (errorReply) {
    if (open_ && excerpts_.back().entries.size() < kMaxExcerptEntries) {
      addToExcerpt(current_);
      afterLeft_ = kAfter;
    } else if (excerpts_.size() < kMaxExcerpts) {
      // A new excerpt: the entries before the error, then the error.
      startExcerpt();
      for (std::size_t i = 0; i < ringSize_; ++i)
        addToExcerpt(ring_[(ringStart_ + i) % kBefore].entry);
      ringSize_ = 0;
      addToExcerpt(current_);
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
    addToExcerpt(current_);
    if (--afterLeft_ == 0) open_ = false;
    return;
  }
  open_ = false;
  toRing();
}

void ListingExcerpts::keepIfSlow(double milliseconds) {
  // As the summary ranks them: times not known or negative are none.
  if (!(milliseconds >= 0) || !std::isfinite(milliseconds)) return;
  const std::size_t kept = slow_.size();
  if (slowCount_ == kept && !(milliseconds > slow_[kept - 1].milliseconds_)) return;
  // The last slot takes the new one, behind every one as slow as it; the
  // strings trade their rooms, so that nothing is allocated.
  std::size_t at = std::min(slowCount_, kept - 1);
  if (slowCount_ < kept) ++slowCount_;
  while (at > 0 && slow_[at - 1].milliseconds_ < milliseconds) {
    std::swap(slow_[at], slow_[at - 1]);
    --at;
  }
  SlowExchange& slow = slow_[at];
  slow.milliseconds_ = milliseconds;
  slow.command_ = waiting_;
  slow.commandText_.assign(waitingText_);
  slow.reply_ = current_;
  slow.replyText_.assign(current_.text);
}

bool ListingExcerpts::holdsSlow(std::uint64_t offset) const {
  return std::any_of(slow_.begin(), slow_.begin() + static_cast<std::ptrdiff_t>(slowCount_),
                     [offset](const SlowExchange& slow) {
                       return slow.command_.offset == offset || slow.reply_.offset == offset;
                     });
}

void ListingExcerpts::toRing() {
  // The oldest entry makes room.
  HeldEntry* slot = nullptr;
  if (ringSize_ < kBefore) {
    slot = &ring_[(ringStart_ + ringSize_) % kBefore];
    ++ringSize_;
  } else {
    slot = &ring_[ringStart_];
    ringStart_ = (ringStart_ + 1) % kBefore;
  }
  slot->text.assign(current_.text);  // within the room taken for it
  slot->entry = current_;
  slot->entry.text = slot->text;
}

void ListingExcerpts::startExcerpt() { excerpts_.push_back({excerptEntries_.startList()}); }

void ListingExcerpts::addToExcerpt(ListingEntry entry) {
  // Excerpts that may still come after this one.
  const std::size_t toCome = kMaxExcerpts - excerpts_.size();
  cutTo(entry, excerptText_.available(toCome));
  entry.text = excerptText_.copy(entry.text);
  Excerpt& excerpt = excerpts_.back();
  excerpt.entries = excerptEntries_.append(excerpt.entries, entry);
}

void ListingExcerpts::dropWhole(Whole why) {
  whole_ = why;
  // The room is given back: the page shows no whole listing now.
  std::vector<ListingEntry>().swap(wholeEntries_);
  wholeText_.release();
}

void ListingExcerpts::keepWhole() {
  if (!wholeText_.fits(current_.text.size(), 0)) {
    dropWhole(Whole::TooLarge);
    return;
  }
  ListingEntry entry = current_;
  entry.text = wholeText_.copy(current_.text);
  wholeEntries_.push_back(entry);
}

}  // namespace ovantrex
