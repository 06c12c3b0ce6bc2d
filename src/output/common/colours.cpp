#include "output/common/colours.h"

#include <array>
#include <string_view>

namespace ovantrex {

namespace {

// The sequence that starts each hue, by Hue.
constexpr std::array<std::string_view, 12> kStarts = {
    "",            // None
    "\x1b[1m",     // Text: bold
    "\x1b[35m",    // Hex: magenta
    "\x1b[32m",    // Written: green
    "\x1b[36m",    // Read: cyan
    "\x1b[1;31m",  // Error: bold red
    "\x1b[32m",    // Completed: green
    "\x1b[1;31m",  // Failed: bold red
    "\x1b[33m",    // Unfinished: yellow
    "\x1b[31m",    // ReferenceOnly: red
    "\x1b[32m",    // TraceOnly: green
    "\x1b[36m",    // Hunk: cyan
};

}  // namespace

Hue hueOf(RecordType type) {
  switch (type) {
    case RecordType::Text: return Hue::Text;
    case RecordType::Hex: return Hue::Hex;
    case RecordType::HidWrite:
    case RecordType::HidSetFeat: return Hue::Written;
    case RecordType::HidRead:
    case RecordType::HidGetFeat: return Hue::Read;
    case RecordType::Unknown: break;
  }
  return Hue::None;
}

Hue hueOf(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::Completed: return Hue::Completed;
    case UpdateOutcome::Failed: return Hue::Failed;
    case UpdateOutcome::Unfinished: break;
  }
  return Hue::Unfinished;
}

bool startHue(Writer& out, Hue hue) {
  if (!out.coloured() || hue == Hue::None) return false;
  out.putControl(kStarts[static_cast<std::size_t>(hue)]);
  return true;
}

void endHue(Writer& out) { out.putControl(kHueEnd); }

}  // namespace ovantrex
