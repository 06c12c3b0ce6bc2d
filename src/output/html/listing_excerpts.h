// The entries of the text listing that the report shows: the few entries
// around each error reply, the command and the reply of each of the
// slowest exchanges, and the whole listing of a small trace.
//
// Each record is listed as the text listing lists it (same options), into
// memory. An entry longer than kEntryLines lines or kEntryBytes bytes is
// cut at a line end (a hex dump of a long record runs to a megabyte), and
// the entry says how much was cut. Memory stays bounded, and is all taken
// when the excerpts are made: a ring of the last kBefore entries, at most
// kMaxExcerpts excerpts of at most kMaxExcerptEntries entries whose text
// shares one room (an entry that does not fit what is left of it is cut
// shorter; a share is kept back for each excerpt that may still come), and
// the whole listing only while the trace has at most kWholeListingRecords
// records and its entries at most kWholeListingBytes bytes. The slowest
// exchanges are kept by the summary's rule (SlowestExchanges), each in room
// of its own taken when the excerpts are made.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/reply_pairing.h"
#include "analysis/response_times.h"
#include "core/shared_room.h"
#include "core/trace_record.h"
#include "decode/decoded_record.h"
#include "output/common/listing_options.h"
#include "output/common/writer.h"
#include "output/text/text_listing.h"

namespace ovantrex {

// One record's entry, perhaps cut.
struct ListingEntry {
  std::uint64_t offset = 0;  // of the record
  bool error = false;        // an error reply
  std::string_view text;     // what is kept of the entry, ending in a line end
  std::uint64_t bytesCut = 0;
  std::uint64_t linesCut = 0;  // line ends among the bytes cut
};

// The entries around one error reply, or around a run of error replies
// close together.
struct Excerpt {
  std::span<const ListingEntry> entries;
};

// The entries of a command and of its reply, and the time between them.
class SlowExchange {
 public:
  double milliseconds() const { return milliseconds_; }
  ListingEntry command() const { return withText(command_, commandText_); }
  ListingEntry reply() const { return withText(reply_, replyText_); }

 private:
  friend class ListingExcerpts;
  static ListingEntry withText(ListingEntry entry, const std::string& text) {
    entry.text = text;
    return entry;
  }

  double milliseconds_ = 0;
  ListingEntry command_;  // their texts lie in the strings below
  ListingEntry reply_;
  std::string commandText_;
  std::string replyText_;
};

class ListingExcerpts {
 public:
  static constexpr std::size_t kEntryLines = 40;
  static constexpr std::size_t kEntryBytes = 4000;
  static constexpr std::size_t kBefore = 3;
  static constexpr std::size_t kAfter = 3;
  static constexpr std::size_t kMaxExcerpts = 100;
  static constexpr std::size_t kMaxExcerptEntries = 30;
  static constexpr std::size_t kExcerptTextRoom = std::size_t{3} << 20;
  static constexpr std::size_t kExcerptTextShare = std::size_t{8} << 10;
  static constexpr std::uint64_t kWholeListingRecords = 20000;
  static constexpr std::size_t kWholeListingBytes = std::size_t{8} << 20;

  explicit ListingExcerpts(const ListingOptions& options);

  // Every data record, in trace order, with its facts from the pairing
  // stage (whether it is an error reply, its pair).
  void record(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts);

  std::span<const Excerpt> excerpts() const { return excerpts_; }
  // The entries of all excerpts, in trace order.
  std::span<const ListingEntry> excerptEntries() const { return excerptEntries_.items(); }
  // Error replies that came when no more excerpts could be kept.
  std::uint64_t errorsWithoutExcerpt() const { return errorsWithoutExcerpt_; }
  // The slowest exchanges, slowest first; of equal ones, the earliest.
  std::span<const SlowExchange> slowest() const { return {slow_.data(), slowCount_}; }
  // Whether the page holds the entry of the record at offset among them.
  bool holdsSlow(std::uint64_t offset) const;

  // The whole listing, when it is kept.
  enum class Whole { Kept, TooManyRecords, TooLarge };
  Whole whole() const { return whole_; }
  std::span<const ListingEntry> wholeEntries() const { return wholeEntries_; }

  // Cuts an entry's text as described above: entry.text is the start of
  // text that is kept, and the rest is counted, with bytesBeyond bytes
  // (linesBeyond line ends) that follow text.
  static void cut(std::string_view text, ListingEntry& entry, std::uint64_t bytesBeyond = 0,
                  std::uint64_t linesBeyond = 0);

 private:
  // An entry of the ring, with its text.
  struct HeldEntry {
    ListingEntry entry;
    std::string text;
  };

  void keepWhole();
  void toRing();
  void dropWhole(Whole why);
  void startExcerpt();
  // The exchange that the last record, a reply, closes, if it is among
  // the slowest.
  void keepIfSlow(double milliseconds);
  // Adds entry to the open excerpt, its text copied into the excerpts' room.
  void addToExcerpt(ListingEntry entry);

  std::unique_ptr<Writer> scratch_;  // one record's entry, its first bytes
  TextListing listing_;
  ListingEntry current_;  // the last record's entry; its text lies in scratch_
  std::array<HeldEntry, kBefore> ring_;
  std::size_t ringStart_ = 0;
  std::size_t ringSize_ = 0;
  std::vector<Excerpt> excerpts_;
  SharedRoom<ListingEntry> excerptEntries_;
  SharedRoom<char> excerptText_;
  bool open_ = false;  // the last excerpt takes the next entries
  std::size_t afterLeft_ = 0;
  std::uint64_t errorsWithoutExcerpt_ = 0;

  // The entry of the command that waits for its reply, and the slowest
  // exchanges.
  ListingEntry waiting_;
  std::string waitingText_;
  std::array<SlowExchange, SlowestExchanges::kKept> slow_;
  std::size_t slowCount_ = 0;

  std::uint64_t records_ = 0;
  Whole whole_ = Whole::Kept;
  std::vector<ListingEntry> wholeEntries_;
  SharedRoom<char> wholeText_;
};

}  // namespace ovantrex
