// The text listing: one entry for every record that is shown, and the record
// loop's diagnostics on their streams.
#pragma once

#include "output/common/listing_options.h"
#include "output/common/printer.h"
#include "output/common/writer.h"
#include "output/text/line_prefix.h"

namespace ovantrex {

class TextListing final : public Printer {
 public:
  // listing: the output stream. console: standard output, which takes the
  // invalid-minor-code messages (the same writer as the listing without -w);
  // the session writes the others on standard error.
  TextListing(Writer& listing, Writer& console, const ListingOptions& options);

  void record(const Record& record, const DecodedRecord& decoded,
              const RecordFacts& facts) override;
  void pass(const Record& record) override;
  bool shows(const DecodedRecord& decoded) const override { return !decoded.hidden; }
  // "--" between groups apart, as grep sets its context groups apart.
  void group(bool apart, std::uint64_t leftOut) override;
  void diagnostic(const Diagnostic& diagnostic) override;

 private:
  Writer& listing_;
  Writer& console_;
  ListingOptions options_;
  PrefixState prefix_;
};

// The entry of a record that cannot be rendered: "Comp=", the component
// byte, and the raw data.
void writeFallbackEntry(Writer& out, std::uint8_t component, const Record& record);

}  // namespace ovantrex
