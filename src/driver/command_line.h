// The command line: the option parser, the usage text and the settings.
#pragma once

#include <optional>
#include <string_view>

#include "driver/settings.h"
#include "render/writer.h"

namespace ovantrex {

inline constexpr std::string_view kOptionString = "f:w:cmtxHh:?p";
inline constexpr int kOptionsOver = -1;

// The option parser's state, kept between calls for the whole run.
struct OptionParser {
  int nextIndex = 1;
  int position = 1;
  const char* optionArgument = nullptr;
  bool failed = false;  // a message was written for a bad option

  // The next option letter; '?' after an error (message on err) or for -?;
  // kOptionsOver when the options are over.
  int parseNextOption(int argc, const char* const* argv, std::string_view options, Writer& err);
};

void printUsage(Writer& err);

// Reads "-h" arguments: leading white space, a sign, digits up to the first
// non-digit (none give 0), held at the 32-bit limits.
std::int32_t parseHourOffset(std::string_view text);

// The settings of a run, or the exit status when the run cannot start (the
// usage text or the parser's message has then been written to err).
struct CommandLine {
  Settings settings;
  std::optional<int> exitStatus;
};
CommandLine parseCommandLine(int argc, const char* const* argv, Writer& err);

}  // namespace ovantrex
