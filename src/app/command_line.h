// The command line: the option parser, the usage text and the settings.
#pragma once

#include <optional>
#include <string_view>

#include "app/settings.h"
#include "output/common/writer.h"

namespace ovantrex {

inline constexpr std::string_view kOptionString = "f:w:cmtxHh:?p";
inline constexpr int kOptionsOver = -1;

// The long options, accepted by their exact names anywhere among the
// options; the parser returns these codes for them.
inline constexpr int kLongJson = 0x100;
inline constexpr int kLongSummary = 0x101;
inline constexpr int kLongHelp = 0x102;
inline constexpr int kLongVersion = 0x103;
inline constexpr int kLongFollow = 0x104;
inline constexpr int kLongReport = 0x105;
inline constexpr int kLongList = 0x106;  // takes the next argument

// The option parser's state, kept between calls for the whole run.
struct OptionParser {
  int nextIndex = 1;
  int position = 1;
  const char* optionArgument = nullptr;
  // The option argument as text; empty when there is none.
  std::string_view argument() const {
    return optionArgument != nullptr ? optionArgument : std::string_view();
  }
  bool failed = false;  // a message was written for a bad option

  // The next option letter or long option code; '?' after an error
  // (message on err) or for -?; kOptionsOver when the options are over.
  int parseNextOption(int argc, const char* const* argv, std::string_view options, Writer& err);

 private:
  // The long option of that code, and its argument when it takes one.
  int takeLongOption(int code, int argc, const char* const* argv, Writer& err);
};

void printUsage(Writer& err);
// The whole help: every option, short and long, and the exit statuses.
void printHelp(Writer& out);
// "ovantrex " and the version.
void printVersion(Writer& out);

// Reads "-h" arguments: leading white space, a sign, digits up to the first
// non-digit (none give 0), held at the 32-bit limits.
std::int32_t parseHourOffset(std::string_view text);

// What the command line asks for.
enum class Request { Run, Help, Version };

// The settings of a run, or the exit status when the run cannot start (the
// usage text or the parser's message has then been written to err). Help
// and Version come with the exit status 0; the caller writes them.
struct CommandLine {
  Settings settings;
  Request request = Request::Run;
  std::optional<int> exitStatus;
  // The first option given that a batch run (--list) does not take: its
  // letter or long option code; 0 for none.
  int notForList = 0;
};
CommandLine parseCommandLine(int argc, const char* const* argv, Writer& err);

}  // namespace ovantrex
