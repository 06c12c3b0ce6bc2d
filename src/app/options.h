// The table of options: each option of the command line is one row, and
// the parser, the short usage, --help and the page's command are made from
// the rows (as the shell's completions can be: the names, which take a
// file, which one word of a set). An option is added as a row of
// optionTable() in options.cpp, with the setting that it sets and the
// output that reads that setting; the parser needs nothing new.
//
// The outputs are chosen by the output options together: the table of
// output choices, in the same file, says which options choose which output,
// what an output needs beside them and which options it refuses.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/settings.h"

namespace ovantrex {

// What an option's argument is: whether it takes one, and what the shell
// completes it with.
enum class Argument : std::uint8_t {
  None,
  File,        // a file name
  Number,      // a number, read by the option's apply()
  Word,        // one of the option's words
  Expression,  // an expression, read by the option's apply() and checked before the run
};

// The sections of --help, in their order.
enum class HelpGroup : std::uint8_t { Files, Columns, Outputs };

// What an option asks for in place of a run: a text that the program writes.
enum class Request : std::uint8_t { Run, Usage, Help, Version, Fields };

// A set of outputs.
class OutputSet {
 public:
  constexpr OutputSet() = default;
  constexpr OutputSet(std::initializer_list<Output> outputs) {
    for (const Output output : outputs) bits_ |= bitOf(output);
  }
  constexpr bool has(Output output) const { return (bits_ & bitOf(output)) != 0; }

 private:
  static constexpr unsigned bitOf(Output output) { return 1U << static_cast<unsigned>(output); }
  unsigned bits_ = 0;
};

// The output options, which together choose the output (a set of them is
// their bits or'ed).
using OutputWords = std::uint8_t;
inline constexpr OutputWords kJsonWord = 1;
inline constexpr OutputWords kSummaryWord = 2;
inline constexpr OutputWords kReportWord = 4;
inline constexpr OutputWords kListWord = 8;
inline constexpr OutputWords kCompareWord = 16;

// An option's line in the short usage.
struct UsageLine {
  std::string_view argument{};  // "<filename>", "X"; empty for none
  std::string_view words{};     // empty: the short usage leaves the option out
};

struct Option {
  // "-t": a letter, which may be clustered with others ("-tm") and takes its
  // argument attached ("-h2") or as the next argument ("-h 2"); "--json": a
  // long option, named exactly, which takes the next argument as its own.
  std::string_view name{};
  Argument argument = Argument::None;
  HelpGroup group = HelpGroup::Columns;  // its section in --help
  OutputWords outputWord = 0;            // the output option that it is, if any
  Request request = Request::Run;        // the text that it asks for, if any
  // The outputs that it shapes or chooses; an output that refuses other
  // options (see OutputChoice) refuses it when it is not among them.
  OutputSet outputs{};
  std::string_view argumentName{};  // in --help: "FILE", "N"
  // Argument::Word: the words that it takes; the parser refuses any other.
  std::span<const std::string_view> words{};
  UsageLine usage{};
  // The message that refuses it with an output that it does not shape,
  // before that output's own refusal; empty: the output's row decides.
  std::string_view refusal{};
  // Its words in --help; a line end starts a line of the same paragraph.
  std::string_view help{};
  // What it does: sets the settings from its argument (empty for none).
  void (*apply)(Settings& settings, std::string_view argument) = nullptr;
  // The number of records around those of --where that it sets, if any
  // (checked before the run: a number, and --where given).
  std::optional<std::size_t> Settings::*around = nullptr;
  // Whether the settings hold it, and its argument (empty for none): for the
  // command that the page gives for its listing. Null for an option that
  // the command does not name.
  std::optional<std::string> (*setting)(const Settings& settings) = nullptr;
};

// Every option, in the order of --help within each of its sections.
std::span<const Option> optionTable();

// What an output needs and refuses. The first row whose options are all
// given is the output.
struct OutputChoice {
  Output output = Output::Listing;
  OutputWords chosenBy = 0;
  // The output options it needs beside them (or needsMessage refuses the run).
  OutputWords needs = 0;
  // Whether refusal is followed by the name of the option it refuses.
  bool namesTheOption = false;
  bool readsTheTrace = true;  // -f names its trace (or the run cannot start)
  std::string_view needsMessage{};
  // The message that refuses an option given that does not shape it; empty:
  // such options change nothing.
  std::string_view refusal{};
  // The message that refuses it for standard output when that is a
  // terminal; empty when a terminal takes it.
  std::string_view notForATerminal{};
};

std::span<const OutputChoice> outputChoices();
// The row of an output.
const OutputChoice& choiceOf(Output output);

// Reads "--context" arguments: digits alone, held at kMostContext;
// kBadContext for anything else (the comparison refuses it).
inline constexpr std::size_t kMostContext = 1000000;
inline constexpr std::size_t kBadContext = static_cast<std::size_t>(-1);
std::size_t parseContext(std::string_view text);

// Reads "-h" arguments: leading white space, a sign, digits up to the first
// non-digit (none give 0), held at the 32-bit limits.
std::int32_t parseHourOffset(std::string_view text);

}  // namespace ovantrex
