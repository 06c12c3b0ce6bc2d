// Colour on a terminal (--color): a few parts of the text outputs are set
// in colour by the sequences that terminals take (SGR), put around them as
// controls of their own (Writer::putControl()), so that the bytes between
// them, and every width and indent, stay what they are without colour.
// A writer colours only when it is told to (Writer::setColoured()); every
// printer calls the same hook, and nothing is written for a writer that
// does not colour.
//
// Few colours, each of which reads on a dark and on a light background:
// the record-type column by kind (text bold, hex magenta, commands written
// green, replies read cyan); the notes of an error reply bold red; the
// summary's verdict green for completed, bold red for failed and yellow
// for unfinished; in the comparison's differing steps, as diff colours
// them, a step of the reference alone red, a step of the trace alone green,
// and the hunks' headings cyan.
#pragma once

#include <cstdint>
#include <string_view>

#include "analysis/update_outcome.h"
#include "decode/record_type.h"
#include "output/common/writer.h"

namespace ovantrex {

enum class Hue : std::uint8_t {
  None,
  Text,
  Hex,
  Written,
  Read,
  Error,
  Completed,
  Failed,
  Unfinished,
  ReferenceOnly,
  TraceOnly,
  Hunk
};

// The hue of a record type's column: by kind; none for an unknown record.
Hue hueOf(RecordType type);
// The hue of an update's outcome.
Hue hueOf(UpdateOutcome outcome);

// Starts the hue on out; false when out does not colour (or for
// Hue::None), and nothing was written.
bool startHue(Writer& out, Hue hue);
// Ends the hue started.
void endHue(Writer& out);
// The sequence that ends any hue: also what a run that a stop ends part
// way writes to its terminal first.
inline constexpr std::string_view kHueEnd = "\x1b[0m";

// What write() writes to out, in the hue.
template <class Write>
void painted(Writer& out, Hue hue, Write write) {
  const bool on = startHue(out, hue);
  write();
  if (on) endHue(out);
}

}  // namespace ovantrex
