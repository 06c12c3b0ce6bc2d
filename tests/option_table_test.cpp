// The table of options and of output choices: what every row must hold,
// and what the help, the parser and the page make of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/options.h"
#include "app/session.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex {
namespace {

bool isLetterName(std::string_view name) {
  return name.size() == 2 && name[0] == '-' && name[1] != '-';
}

bool isLongName(std::string_view name) {
  if (name.size() < 3 || !name.starts_with("--")) return false;
  for (const char c : name.substr(2)) {
    if ((c < 'a' || c > 'z') && c != '-') return false;
  }
  return true;
}

TEST(OptionTable, EveryOptionIsNamedOnceAndHasItsWords) {
  std::set<std::string_view> names;
  for (const Option& option : optionTable()) {
    SCOPED_TRACE(option.name);
    EXPECT_TRUE(isLetterName(option.name) || isLongName(option.name));
    EXPECT_TRUE(names.insert(option.name).second) << "named twice";
    EXPECT_FALSE(option.help.empty());
    // An argument is named in --help, and in the short usage when it is there.
    const bool takesOne = option.argument != Argument::None;
    EXPECT_EQ(!option.argumentName.empty(), takesOne);
    if (!option.usage.words.empty()) {
      EXPECT_EQ(!option.usage.argument.empty(), takesOne);
    }
    EXPECT_EQ(!option.words.empty(), option.argument == Argument::Word);
    // An option asks for a text, chooses an output or sets a setting.
    EXPECT_EQ(option.request != Request::Run, option.apply == nullptr && option.outputWord == 0);
  }
}

// The line of an option in --help: its name, its argument and the first
// line of its words, in the column after them (on a line of their own
// when the name and the argument reach the column).
std::string helpLine(const Option& option) {
  std::string line = "\n  " + std::string(option.name);
  if (!option.argumentName.empty()) line += " " + std::string(option.argumentName);
  if (line.size() >= 17) line += "\n";
  line.resize(line.back() == '\n' ? line.size() + 16 : 17, ' ');
  return line + std::string(option.help.substr(0, option.help.find('\n'))) + "\n";
}

TEST(OptionTable, HelpListsEveryOptionInItsSectionAndEveryExitStatus) {
  Writer out;
  printHelp(out);
  const std::string help = out.take();
  const std::size_t sections[] = {help.find("\nInput and output:\n"),
                                  help.find("\nColumns of the listing:\n"),
                                  help.find("\nOther outputs:\n"), help.find("\nExit status:\n")};
  for (std::size_t i = 1; i < std::size(sections); ++i) ASSERT_LT(sections[i - 1], sections[i]);
  for (const Option& option : optionTable()) {
    SCOPED_TRACE(option.name);
    const std::size_t at = help.find(helpLine(option));
    ASSERT_NE(at, std::string::npos);
    const auto group = static_cast<std::size_t>(option.group);
    EXPECT_GT(at, sections[group]);
    EXPECT_LT(at, sections[group + 1]);
  }
  for (const ExitStatusWords& status : kExitStatuses) {
    const std::string line = "\n  " + std::to_string(code(status.status)) + "  " +
                             std::string(status.help.substr(0, status.help.find('\n'))) + "\n";
    const std::size_t at = help.find(line);
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_GT(at, sections[3]);
  }
}

TEST(OptionTable, EachOptionSetsWhatItsSettingShows) {
  for (const Option& option : optionTable()) {
    if (option.setting == nullptr) continue;
    SCOPED_TRACE(option.name);
    ASSERT_NE(option.apply, nullptr);
    Settings settings;
    EXPECT_EQ(option.setting(settings), std::nullopt) << "set without the option";
    const std::string argument = option.argument == Argument::None ? "" : "7";
    option.apply(settings, argument);
    EXPECT_EQ(option.setting(settings), argument);
  }
}

struct ChoiceCase {
  const char* name;  // what the case checks
  std::vector<std::string> options;
  Output output;
};

class OptionTableOutput : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(OptionTableOutput, IsChosenByTheOptionsGiven) {
  std::vector<const char*> argv{"ovantrex"};
  for (const std::string& word : GetParam().options) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  Writer err;
  const CommandLine line = parseCommandLine(static_cast<int>(argv.size()) - 1, argv.data(), err);
  EXPECT_EQ(err.text(), "");
  EXPECT_EQ(line.exitStatus, std::nullopt);
  EXPECT_EQ(line.settings.output, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionTableOutput,
    ::testing::Values(
        ChoiceCase{"NoOutputOptionIsTheListing", {"-t", "--follow", "-f", "t"}, Output::Listing},
        ChoiceCase{
            "JsonAloneIsJsonLinesWhateverTheColumns", {"-tf", "t", "--json"}, Output::JsonLines},
        ChoiceCase{"SummaryAloneIsText", {"--summary", "-f", "t"}, Output::SummaryText},
        ChoiceCase{"SummaryWithJsonInEitherOrder",
                   {"--json", "-xf", "t", "--summary"},
                   Output::SummaryJson},
        ChoiceCase{"ReportWithTheListingsOptions",
                   {"-tm", "--report", "--follow", "-f", "t"},
                   Output::Page},
        ChoiceCase{"ListWithSummaryJsonIsTheBatchAndNeedsNoTrace",
                   {"--summary", "--list", "names", "-w", "rows", "--json"},
                   Output::BatchRows}),
    [](const ::testing::TestParamInfo<ChoiceCase>& param) {
      return std::string(param.param.name);
    });

TEST(OptionTable, OnlyThePageIsBytes) {
  for (const Output output : {Output::Listing, Output::JsonLines, Output::SummaryText,
                              Output::SummaryJson, Output::Page}) {
    Settings settings;
    settings.output = output;
    Writer out;
    const Session session(settings, out, out, out);
    EXPECT_EQ(session.writesBytes(), output == Output::Page) << static_cast<int>(output);
  }
}

// A table of two options whose argument is one word of a set, and one
// long option without an argument.
constexpr std::string_view kWhen[] = {"auto", "always", "never"};
constexpr Option kWordOptions[] = {
    {.name = "--color", .argument = Argument::Word, .argumentName = "WHEN", .words = kWhen},
    {.name = "-k", .argument = Argument::Word, .argumentName = "WHEN", .words = kWhen},
    {.name = "--json"},
};

std::string parseWords(std::vector<const char*> argv) {
  argv.insert(argv.begin(), "ovantrex");
  OptionParser parser(kWordOptions, static_cast<int>(argv.size()), argv.data());
  Writer err;
  std::string read;
  while (const Option* option = parser.next(err))
    read += std::string(option->name) + "=" + std::string(parser.argument()) + " ";
  return read + err.take();
}

TEST(OptionTable, ParserTakesOnlyTheWordsOfAWordArgument) {
  EXPECT_EQ(parseWords({"--color", "never", "-kauto", "-k", "always"}),
            "--color=never -k=auto -k=always ");
  EXPECT_EQ(parseWords({"--color", "sometimes", "-k", "auto"}),
            "ovantrex: argument 'sometimes' is none of auto, always, never -- --color\n");
  EXPECT_EQ(parseWords({"-k", "always", "-kAuto"}),
            "-k=always ovantrex: argument 'Auto' is none of auto, always, never -- k\n");
  // A long option's argument after "=" in the same word.
  EXPECT_EQ(parseWords({"--color=always", "--json", "--color="}),
            "--color=always --json= ovantrex: argument '' is none of auto, always, never -- "
            "--color\n");
  EXPECT_EQ(parseWords({"--json=yes"}), "ovantrex: option takes no argument -- --json\n");
}

TEST(OptionTable, PageNamesTheListingsOptionsInTheListingsOrder) {
  test::TraceBuilder trace;
  trace.text(0.0, "a\n");
  test::TempDir dir;
  const std::string tracePath = dir.file("t.trc");
  trace.writeTo(tracePath);
  const test::RunResult result =
      test::run({"--report", "-xHp", "-c", "-m", "-h", "-5", "-t", "-f", tracePath});
  ASSERT_EQ(result.status, 0) << result.err;
  // Then the trace, quoted for the shell where it needs to be (on Windows).
  EXPECT_NE(result.out.find("<code>ovantrex -t -h -5 -m -c -p -H -x -f "), std::string::npos);
}

}  // namespace
}  // namespace ovantrex
