// The ids that the page's links point to, written from here on both sides
// of every link: the sections, the rows of the error replies, the
// sections of the drawn updates, and the entries of the listing that the
// page holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "output/common/writer.h"

namespace ovantrex {

// The sections of the page, in its order.
inline constexpr std::string_view kGlanceId = "glance";
inline constexpr std::string_view kSummaryId = "summary";
inline constexpr std::string_view kErrorsId = "errors";  // the summary's error replies
inline constexpr std::string_view kUpdatesId = "updates";
inline constexpr std::string_view kExcerptsId = "excerpts";
inline constexpr std::string_view kListingId = "listing";

// "error-3": the row of the third error reply.
inline void writeErrorRowId(Writer& out, std::size_t number) {
  out.put("error-");
  out.decimal(static_cast<std::int64_t>(number));
}

// "update-2": the section of the second update.
inline void writeUpdateId(Writer& out, std::size_t number) {
  out.put("update-");
  out.decimal(static_cast<std::int64_t>(number));
}

// Where the page holds a record's entry: around an error reply, in the
// whole listing, or among the slowest exchanges.
enum class EntryPlace : char { Excerpt = 'e', Listing = 'r', Slowest = 's' };

// "e1539": the entry of the record at offset 1539, where the page holds it.
inline void writeEntryId(Writer& out, EntryPlace place, std::uint64_t offset) {
  out.put(static_cast<char>(place));
  out.decimal(static_cast<std::int64_t>(offset));
}

// <a href="#id">, the id written by writeId(out).
template <typename WriteId>
void openLink(Writer& out, WriteId writeId) {
  out.put("<a href=\"#");
  writeId(out);
  out.put("\">");
}

}  // namespace ovantrex
