// The entries of the text listing that the report shows: the few entries
// around each error reply, and the whole listing of a small trace.
//
// Each record is listed as the text listing lists it (same options), into
// memory. An entry longer than kEntryLines lines or kEntryBytes bytes is
// cut at a line end (a hex dump of a long record runs to a megabyte), and
// the entry says how much was cut. Memory stays bounded: a ring of the
// last kBefore entries, at most kMaxExcerpts excerpts of at most
// kMaxExcerptEntries entries, and the whole listing only while the trace
// has at most kWholeListingRecords records and its entries at most
// kWholeListingBytes bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/trace_record.h"
#include "decode/decoded_record.h"
#include "render/listing_options.h"
#include "render/text_listing.h"
#include "render/writer.h"

namespace ovantrex {

// One record's entry, perhaps cut.
struct ListingEntry {
  std::uint64_t offset = 0;  // of the record
  bool error = false;        // an error reply
  std::string text;          // what is kept of the entry, ending in a line end
  std::uint64_t bytesCut = 0;
  std::uint64_t linesCut = 0;  // line ends among the bytes cut
};

// The entries around one error reply, or around a run of error replies
// close together.
struct Excerpt {
  std::vector<ListingEntry> entries;
};

class ListingExcerpts {
 public:
  static constexpr std::size_t kEntryLines = 40;
  static constexpr std::size_t kEntryBytes = 4000;
  static constexpr std::size_t kBefore = 3;
  static constexpr std::size_t kAfter = 3;
  static constexpr std::size_t kMaxExcerpts = 100;
  static constexpr std::size_t kMaxExcerptEntries = 30;
  static constexpr std::uint64_t kWholeListingRecords = 20000;
  static constexpr std::size_t kWholeListingBytes = std::size_t{16} << 20;

  explicit ListingExcerpts(const ListingOptions& options);

  // Every data record, in trace order; errorReply: it is an error reply.
  void record(const Record& record, const DecodedRecord& decoded, bool errorReply);

  const std::vector<Excerpt>& excerpts() const { return excerpts_; }
  // Error replies that came when no more excerpts could be kept.
  std::uint64_t errorsWithoutExcerpt() const { return errorsWithoutExcerpt_; }

  // The whole listing, when it is kept.
  enum class Whole { Kept, TooManyRecords, TooLarge };
  Whole whole() const { return whole_; }
  const std::vector<ListingEntry>& wholeEntries() const { return wholeEntries_; }

  // Cuts an entry's text as described above: the bytes kept, the rest counted.
  static void cut(std::string_view text, ListingEntry& entry);

 private:
  void keepWhole();
  void toRing();

  std::unique_ptr<Writer> scratch_;  // one record's entry
  TextListing listing_;
  ListingEntry current_;  // the last record's entry, its room kept
  std::array<ListingEntry, kBefore> ring_;
  std::size_t ringStart_ = 0;
  std::size_t ringSize_ = 0;
  std::vector<Excerpt> excerpts_;
  bool open_ = false;  // the last excerpt takes the next entries
  std::size_t afterLeft_ = 0;
  std::uint64_t errorsWithoutExcerpt_ = 0;

  std::uint64_t records_ = 0;
  Whole whole_ = Whole::Kept;
  std::vector<ListingEntry> wholeEntries_;
  std::size_t wholeBytes_ = 0;
};

}  // namespace ovantrex
