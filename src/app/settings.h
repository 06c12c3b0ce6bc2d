// The run settings, set from the command line before the first record is
// read and only read afterwards. Each is named by its option.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "app/platform.h"
#include "output/common/listing_options.h"

namespace ovantrex {

// The output of a run: one of these, chosen by the output options given
// (see kOutputChoices in command_line.cpp).
enum class Output : std::uint8_t {
  Listing,      // the text listing (no output option)
  JsonLines,    // --json
  SummaryText,  // --summary
  SummaryJson,  // --summary --json
  Page,         // --report
  BatchRows,    // --summary --json --list FILE: a summary row for each trace (see batch.h)
  CompareText,  // --compare GOOD: the trace compared with GOOD, step by step
  CompareJson,  // --compare GOOD --json
};
inline constexpr std::size_t kOutputCount = 8;

// When the listing and the text summary are coloured (--color).
enum class ColorWhen : std::uint8_t { Auto, Always, Never };

// The listing's options (-c, -m, -t, -p, -x, -H, -h) and the files.
// The alike steps that --compare shows around differing ones, when --context
// does not say.
inline constexpr std::size_t kCompareContext = 3;

struct Settings : ListingOptions {
  // The time column in the system's local time.
  Settings() { localTime = platform::localTime; }

  std::string inputName;   // -f
  std::string outputName;  // -w; empty means standard output
  Output output = Output::Listing;
  bool follow = false;   // --follow: list records as they are appended to the trace
  std::string listName;  // --list FILE: the batch's list, one name a line ("-": standard input)
  ColorWhen color = ColorWhen::Auto;  // --color

  // --compare GOOD: the reference trace.
  std::string compareName;
  // --context N: with --compare, the alike steps shown around differing ones
  // (kCompareContext when not given); with --where, the records before and
  // after each selected one, where --before and --after do not say.
  std::optional<std::size_t> context;

  // --where EXPR: the records that the listing or JSON Lines writes;
  // --before N, --after N: the records written around each of them.
  std::optional<std::string> where;
  std::optional<std::size_t> before;
  std::optional<std::size_t> after;
};

}  // namespace ovantrex
