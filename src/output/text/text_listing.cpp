#include "output/text/text_listing.h"

#include "output/common/diagnostic_message.h"
#include "output/text/dispatcher.h"

namespace ovantrex {

TextListing::TextListing(Writer& listing, Writer& console, const ListingOptions& options)
    : listing_(listing), console_(console), options_(options) {}

void writeFallbackEntry(Writer& out, std::uint8_t component, const Record& record) {
  out.put("Comp=");
  out.decimal(component);
  out.put(", ");
  writeRawData(out, record.header.minorCode, record.payload);
}

void TextListing::record(const Record& record, const DecodedRecord& decoded,
                         const RecordFacts& /*facts*/) {
  // The prefix is built, and the previous time stamp moved on, before the
  // component test: a hidden record still counts, and one whose time cannot
  // be shown falls back whatever its component.
  const auto prefix =
      buildLinePrefix(prefix_, options_, record.header, record.ext, record.formatVersion);
  if (!prefix) {
    writeFallbackEntry(listing_, record.ext.component, record);
    return;
  }
  if (decoded.hidden) return;
  std::uint8_t component = record.ext.component;
  if (record.formatVersion == 3 && component == kComponentShownAsZero) component = 0;
  if (decoded.failure != DecodeFailure::None) {
    writeFallbackEntry(listing_, component, record);
    return;
  }
  const LinePrefix& kept = prefix_.kept;
  const EntryLayout layout{options_.hideType, kept.widths, widthsOf(kept.strings())};
  renderRecord(listing_, layout, record, decoded, *prefix);
}

void TextListing::pass(const Record& record) {
  passLinePrefix(prefix_, options_, record.header, record.ext, record.formatVersion);
}

void TextListing::group(bool apart, std::uint64_t leftOut) {
  if (leftOut > 0) {
    listing_.put("-- ");
    listing_.decimal(static_cast<std::int64_t>(leftOut));
    listing_.put(leftOut == 1 ? " record" : " records");
    listing_.put(" before these left out: more than the room for --before holds\n");
  } else if (apart) {
    listing_.put("--\n");
  }
}

void TextListing::diagnostic(const Diagnostic& diagnostic) {
  // The invalid-minor-code message goes to standard output, even with -w.
  if (diagnostic.kind == DiagnosticKind::InvalidMinor) writeDiagnosticLine(console_, diagnostic);
}

}  // namespace ovantrex
