#include "app/colour_choice.h"

#include <cstdlib>
#include <string_view>

namespace ovantrex {

namespace {

// Whether the output is coloured: --color=always, or auto on a terminal
// while NO_COLOR is unset or empty and TERM is not "dumb"; only the
// listing, the text summary and the comparison's text have colours.
bool wantsColour(const Settings& settings, const Writer& output) {
  if (settings.output != Output::Listing && settings.output != Output::SummaryText &&
      settings.output != Output::CompareText)
    return false;
  if (settings.color != ColorWhen::Auto) return settings.color == ColorWhen::Always;
  if (output.stream() == nullptr || !platform::isTerminal(output.stream())) return false;
  const char* noColor = std::getenv("NO_COLOR");  // NOLINT(concurrency-mt-unsafe): one thread
  if (noColor != nullptr && *noColor != '\0') return false;
  const char* term = std::getenv("TERM");  // NOLINT(concurrency-mt-unsafe)
  return term == nullptr || std::string_view(term) != "dumb";
}

}  // namespace

// Colours the output when it is wanted and the terminal takes colour (a
// Windows console that cannot colours only when asked always).
void setColours(const Settings& settings, Writer& output,
                std::optional<platform::TerminalColours>& colours) {
  if (!wantsColour(settings, output)) return;
  if (output.stream() != nullptr) colours.emplace(output.stream());
  output.setColoured(!colours || colours->able() || settings.color == ColorWhen::Always);
}

}  // namespace ovantrex
