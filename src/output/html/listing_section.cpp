// The sections of the report's page that hold entries of the text
// listing: the entries around each error reply, those of the slowest
// exchanges, and the whole listing of a small trace.
#include <algorithm>

#include "output/html/html_text.h"
#include "output/html/link_ids.h"
#include "output/html/page.h"
#include "output/html/svg_shapes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

void writeEntry(Writer& out, const ListingEntry& entry, EntryPlace place) {
  out.put(entry.error ? "<span class=\"entry err\" id=\"" : "<span class=\"entry\" id=\"");
  writeEntryId(out, place, entry.offset);
  out.put("\">");
  writeHtmlText(out, entry.text);
  if (entry.bytesCut != 0) {
    if (!entry.text.empty() && entry.text.back() != '\n') out.put('\n');
    out.put("<span class=\"cut\">[");
    writeCounted(out, entry.bytesCut, "more byte", "more bytes");
    if (entry.linesCut != 0) {
      out.put(" (");
      writeCounted(out, entry.linesCut, "line", "lines");
      out.put(')');
    }
    out.put(" of this entry cut here; the text listing has them]</span>\n");
  }
  out.put("</span>");
}

// "longer than 40 lines or 4,000 bytes are cut": the cut of the excerpts'
// entries and of the whole listing's.
void writeCutRule(Writer& out) {
  out.put("longer than ");
  writeGrouped(out, ListingExcerpts::kEntryLines);
  out.put(" lines or ");
  writeGrouped(out, ListingExcerpts::kEntryBytes);
  out.put(" bytes are cut");
}

}  // namespace

void writeExcerpts(Writer& out, const ReportInputs& inputs) {
  const ListingExcerpts& listing = inputs.listing;
  const SessionFacts& data = inputs.facts;
  out.put("<section id=\"");
  out.put(kExcerptsId);
  out.put("\">\n<h2>Around each error reply</h2>\n");
  if (listing.excerpts().empty() && listing.errorsWithoutExcerpt() == 0) {
    out.put("<p>No status reply reported an error.</p>\n</section>\n");
    return;
  }
  out.put("<p class=\"note\">The entries of the text listing, as ");
  writeListingCommand(out, inputs);
  out.put(" prints them, from ");
  writeGrouped(out, ListingExcerpts::kBefore);
  out.put(" records before each error reply to ");
  writeGrouped(out, ListingExcerpts::kAfter);
  out.put(" after it; error replies are marked. Entries ");
  writeCutRule(out);
  out.put(".</p>\n");
  for (const Excerpt& excerpt : listing.excerpts()) {
    const auto errors = std::count_if(excerpt.entries.begin(), excerpt.entries.end(),
                                      [](const ListingEntry& entry) { return entry.error; });
    out.put(errors == 1 ? "<h3>Error reply at offset " : "<h3>Error replies at offsets ");
    bool first = true;
    for (const ListingEntry& entry : excerpt.entries) {
      if (!entry.error) continue;
      if (!first) out.put(", ");
      first = false;
      // The offset links back to its row of the error table.
      const auto row = std::lower_bound(
          data.errors.begin(), data.errors.end(), entry.offset,
          [](const ErrorReply& error, std::uint64_t offset) { return error.offset < offset; });
      if (row != data.errors.end() && row->offset == entry.offset) {
        const auto number = static_cast<std::size_t>(row - data.errors.begin() + 1);
        openLink(out, [number](Writer& id) { writeErrorRowId(id, number); });
        writeOffset(out, entry.offset);
        out.put("</a>");
      } else {
        writeOffset(out, entry.offset);
      }
    }
    out.put("</h3>\n<pre class=\"listing\">");
    for (const ListingEntry& entry : excerpt.entries) writeEntry(out, entry, EntryPlace::Excerpt);
    out.put("</pre>\n");
  }
  if (listing.errorsWithoutExcerpt() != 0) {
    out.put("<p class=\"note\">The page keeps ");
    writeGrouped(out, ListingExcerpts::kMaxExcerpts);
    out.put(" excerpts; ");
    writeCounted(out, listing.errorsWithoutExcerpt(), "later error reply has",
                 "later error replies have");
    out.put(" none. ");
    writeListingCommand(out, inputs);
    out.put(" lists them.</p>\n");
  }
  out.put("</section>\n");
}

void writeSlowExchanges(Writer& out, const ReportInputs& inputs) {
  const ListingExcerpts& listing = inputs.listing;
  // The whole listing holds their entries, when the page has it.
  if (listing.whole() == ListingExcerpts::Whole::Kept || listing.slowest().empty()) return;
  out.put(
      "<section id=\"slowest\">\n<h2>The slowest exchanges</h2>\n<p class=\"note\">The "
      "entries of each command and its reply, as ");
  writeListingCommand(out, inputs);
  out.put(" prints them, the slowest first. Entries ");
  writeCutRule(out);
  out.put(".</p>\n");
  for (const SlowExchange& slow : listing.slowest()) {
    const ListingEntry command = slow.command();
    const ListingEntry reply = slow.reply();
    out.put("<h3>");
    writeMilliseconds(out, slow.milliseconds());
    out.put(" from offset ");
    writeOffset(out, command.offset);
    out.put(" to ");
    writeOffset(out, reply.offset);
    out.put("</h3>\n<pre class=\"listing\">");
    writeEntry(out, command, EntryPlace::Slowest);
    writeEntry(out, reply, EntryPlace::Slowest);
    out.put("</pre>\n");
  }
  out.put("</section>\n");
}

void writeWholeListing(Writer& out, const ReportInputs& inputs) {
  const ListingExcerpts& listing = inputs.listing;
  out.put("<section id=\"");
  out.put(kListingId);
  out.put("\">\n<h2>Listing</h2>\n");
  switch (listing.whole()) {
    case ListingExcerpts::Whole::Kept:
      out.put("<p class=\"note\">The whole listing, as ");
      writeListingCommand(out, inputs);
      out.put(" prints it (entries ");
      writeCutRule(out);
      out.put(").</p>\n<pre class=\"listing\">");
      for (const ListingEntry& entry : listing.wholeEntries())
        writeEntry(out, entry, EntryPlace::Listing);
      out.put("</pre>\n");
      break;
    case ListingExcerpts::Whole::TooManyRecords:
      out.put("<p>The trace has ");
      writeCounted(out, inputs.facts.records, "record", "records");
      out.put("; the page holds the whole listing of a trace of up to ");
      writeGrouped(out, ListingExcerpts::kWholeListingRecords);
      out.put(". The text listing has it all: ");
      writeListingCommand(out, inputs);
      out.put("</p>\n");
      break;
    case ListingExcerpts::Whole::TooLarge:
      out.put("<p>The listing of this trace runs to more than ");
      writeGrouped(out, ListingExcerpts::kWholeListingBytes >> 20);
      out.put(" MiB, too much for the page. The text listing has it all: ");
      writeListingCommand(out, inputs);
      out.put("</p>\n");
      break;
  }
  out.put("</section>\n");
}

}  // namespace ovantrex
