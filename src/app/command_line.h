// The command line: the option parser, the short usage, --help and the
// settings, all made from the table of options (options.h).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/exit_status.h"
#include "app/options.h"
#include "app/settings.h"
#include "output/common/writer.h"

namespace ovantrex {

// Reads the options of a command line by a table of options, one at a time.
class OptionParser {
 public:
  OptionParser(std::span<const Option> table, int argc, const char* const* argv)
      : table_(table), argc_(argc), argv_(argv) {}

  // The next option's row, its argument in argument(); null when the
  // options are over (at "--" or at the first argument that is none), and
  // after an error (failed(); its message is written to err).
  const Option* next(Writer& err);
  // The argument of the last option read; empty when it takes none.
  std::string_view argument() const { return argument_; }
  bool failed() const { return failed_; }

 private:
  const Option* named(std::string_view name) const;
  // The row of a long option, "--name" or "--name=argument"; null for none.
  const Option* longOption(std::string_view word) const;
  // The long option read, with its argument.
  const Option* takeLong(const Option& option, std::string_view word, Writer& err);
  // The option's argument, the next argument of the command line.
  const Option* takeNext(const Option& option, std::string_view shownName, Writer& err);
  // Refuses a word that the option does not take.
  const Option* checked(const Option& option, std::string_view shownName, Writer& err);
  const Option* fail(Writer& err, std::string_view text, std::string_view shownName);

  std::span<const Option> table_;
  int argc_;
  const char* const* argv_;
  int index_ = 1;     // of the argument being read
  int position_ = 1;  // of the letter being read in it
  std::string_view argument_;
  bool failed_ = false;
};

void printUsage(Writer& err);
// The whole help: every option of the table by its sections, and the exit
// statuses.
void printHelp(Writer& out);
// "ovantrex " and the version.
void printVersion(Writer& out);

// The settings of a run, or the exit status when the run cannot start (the
// usage text or the parser's message has then been written to err). Help
// and Version come with the exit status Done; the caller writes them.
struct CommandLine {
  Settings settings;
  Request request = Request::Run;
  std::optional<ExitStatus> exitStatus;
};
CommandLine parseCommandLine(int argc, const char* const* argv, Writer& err);

// The words after "ovantrex" of the command that lists the trace as the
// settings shape the listing: the listing's options that they hold, in
// the table's order, then "-f" and the trace.
std::vector<std::string> listingCommand(const Settings& settings);

}  // namespace ovantrex
