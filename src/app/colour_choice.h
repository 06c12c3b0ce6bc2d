// Whether a run's output is coloured (--color, NO_COLOR, TERM, a terminal),
// and the console set to take the colours while the run writes.
#pragma once

#include <optional>

#include "app/platform.h"
#include "app/settings.h"
#include "output/common/writer.h"

namespace ovantrex {

// Colours output when the settings and its stream want it; colours holds
// the console's mode, put back when it ends (a Windows console that cannot
// colour is coloured only when asked always).
void setColours(const Settings& settings, Writer& output,
                std::optional<platform::TerminalColours>& colours);

}  // namespace ovantrex
