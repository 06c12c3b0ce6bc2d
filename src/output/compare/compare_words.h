// The words and keys of the comparison of two traces, in one place: the
// rows of the table of updates (labels and JSON keys, the keys those of
// the summary's facts), the kinds of steps, and the words of a step (the
// notes that the listing writes under its record; words from the trace on
// one line, writeOnOneLine()). Shared by the text and the JSON printers of
// the comparison. The rows' labels and keys and the steps' kinds are
// spelled here alone, so that they can move into the registry of named
// values and fields as they are, once it names them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "compare/comparison.h"
#include "output/common/control_escaper.h"
#include "output/common/writer.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

// The comparison's words: counts grouped ("4,096"), words from the trace on
// one line.
inline constexpr WordStyle kCompareWords{writeGrouped, writeOnOneLine, plainWords, writeTraceTime,
                                         "-"};

// A row of the table of updates: its label in the text, its key in JSON.
struct UpdateRowField {
  std::string_view label;
  std::string_view key;
};

// The rows of the table of updates, by UpdateRow.
inline constexpr std::array<UpdateRowField, kUpdateRows> kUpdateRowFields{{
    {"outcome", "outcome"},
    {"flash writes", "writes"},
    {"addresses", "ranges"},
    {"checksums", "checksums"},
    {"serial numbers", "serial_numbers"},
    {"reset", "reset"},
    {"EC levels", "ec_levels"},
    {"error replies", "errors"},
    {"duration", "duration_ms"},
    {"responses", "responses"},
}};

// The key of a step's kind: "command", "status_reply", "reply", "text".
std::string_view stepKindKey(StepKind kind);
// The word of a step's kind in the text's column: "command", "reply", "text".
std::string_view stepKindWord(StepKind kind);

// The words of a step, on one line: a command's or a reply's notes, "; "
// between them; a text message's first bytes, on one line.
void writeStepWords(Writer& out, const TraceSteps& steps, const Step& step);
// "update 3", or "before the first update" for part 0.
void writePartName(Writer& out, std::size_t part);
// "0x010000-0x017fff, 0x020000-0x0200ff", "none", " and 3 more".
void writeRanges(Writer& out, std::span<const AddressRange> ranges, std::uint64_t leftOut);
// "current 02.03, previous 02.01", or "none".
void writeEcLevels(Writer& out, const StepPart* part);

}  // namespace ovantrex

namespace ovantrex {

// The verdict: "the traces' steps are alike", or where they part: "the
// traces part at update 1, step 734: GOOD's device answered "Command
// complete" to "Flash write 8 bytes to address=0x018010"; TRACE's answered
// "Operation in Error"" (GOOD and TRACE the traces' names).
void writeComparisonVerdict(Writer& out, const Comparison& comparison);
// "the firmware images differ: 12 of 4,096 flash writes carry other bytes".
void writeImagesDiffer(Writer& out, const Alignment& alignment);

}  // namespace ovantrex
