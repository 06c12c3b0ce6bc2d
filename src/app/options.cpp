// The table of options and the table of output choices. A row of the
// first: its name, its argument, its section of --help (Columns unless
// said), the output option or the text that it is, the outputs that it
// shapes, its words in the short usage and in --help, what it does to the
// settings and how the settings show it in the page's command.
// The short usage's words are those of the first version of the program,
// kept on purpose as they stand, typos and a missing parenthesis included:
// scripts and habits match them.
#include "app/options.h"

#include <limits>

namespace ovantrex {

namespace {

using Words = std::optional<std::string>;

// The outputs of one trace, every output but the batch's rows.
constexpr OutputSet kOneTrace = {Output::Listing, Output::JsonLines, Output::SummaryText,
                                 Output::SummaryJson, Output::Page};
constexpr OutputSet kEveryOutput = {Output::Listing,     Output::JsonLines,  Output::SummaryText,
                                    Output::SummaryJson, Output::Page,       Output::BatchRows,
                                    Output::CompareText, Output::CompareJson};
// The comparison's outputs, and -f's: every output of one trace and the
// comparison. --compare also shapes the batch's rows: each is compared with GOOD.
constexpr OutputSet kComparison = {Output::CompareText, Output::CompareJson, Output::BatchRows};
constexpr OutputSet kComparisonOrSelection = {Output::CompareText, Output::CompareJson,
                                              Output::Listing, Output::JsonLines};
constexpr std::string_view kComparisonRefusal =
    "--compare takes -f, -w, --json, --context and --color alone, not ";
constexpr std::string_view kSelectionRefusal =
    "--before and --after write records around those of --where, in the listing and JSON "
    "Lines: not with --summary, --report, --compare or --list";
constexpr OutputSet kTraceFile = {Output::Listing,     Output::JsonLines, Output::SummaryText,
                                  Output::SummaryJson, Output::Page,      Output::CompareText,
                                  Output::CompareJson};
// The listing's columns: the listing, and the listing that the page holds.
constexpr OutputSet kShapesTheListing = {Output::Listing, Output::Page};

// The setting of an option: none when it is not set, else its argument
// (empty for an option without one).
Words shown(bool set, std::string_view argument = {}) {
  return set ? Words(argument) : std::nullopt;
}

// An option without an argument that sets a flag of the settings to value,
// and how the settings show it.
template <auto flag, bool value>
void setFlag(Settings& settings, std::string_view /*argument*/) {
  settings.*flag = value;
}
template <auto flag, bool value>
Words showFlag(const Settings& settings) {
  return shown(settings.*flag == value);
}

// --color's words, in the order of ColorWhen.
constexpr std::string_view kColorWords[] = {"auto", "always", "never"};

void setColor(Settings& settings, std::string_view word) {
  for (std::size_t i = 0; i < std::size(kColorWords); ++i) {
    if (kColorWords[i] == word) settings.color = static_cast<ColorWhen>(i);
  }
}

constexpr Option kOptions[] = {
    {.name = "-f",
     .argument = Argument::File,
     .group = HelpGroup::Files,
     .outputs = kTraceFile,
     .argumentName = "FILE",
     .usage = {"<filename>", "Log file for reading"},
     .help = "the trace file to read",
     .apply = [](Settings& s, std::string_view a) { s.inputName = a; },
     .setting = [](const Settings& s) { return shown(!s.inputName.empty(), s.inputName); }},
    {.name = "-w",
     .argument = Argument::File,
     .group = HelpGroup::Files,
     .outputs = kEveryOutput,
     .argumentName = "FILE",
     .usage = {"<filename>", "Output file (stdout if option not provided"},
     .help = "write the output to FILE (default: standard output)",
     .apply = [](Settings& s, std::string_view a) { s.outputName = a; }},
    {.name = "-t",
     .outputs = kShapesTheListing,
     .usage = {"", "Show the actual time of the log statements"},
     .help = "local time of each record (format version 3 traces)",
     .apply = setFlag<&Settings::timeColumn, true>,
     .setting = showFlag<&Settings::timeColumn, true>},
    {.name = "-h",
     .argument = Argument::Number,
     .outputs = kShapesTheListing,
     .argumentName = "N",
     .usage = {"X", "Adjust hour offset X"},
     .help = "add N hours to the time column",
     .apply = [](Settings& s, std::string_view a) { s.hourOffset = parseHourOffset(a); },
     .setting =
         [](const Settings& s) { return shown(s.hourOffset != 0, std::to_string(s.hourOffset)); }},
    {.name = "-m",
     .outputs = kShapesTheListing,
     .usage = {"", "Disable the incrmental milliseconds display"},
     .help = "leave out the elapsed-seconds column",
     .apply = setFlag<&Settings::elapsedColumn, false>,
     .setting = showFlag<&Settings::elapsedColumn, false>},
    {.name = "-c",
     .outputs = kShapesTheListing,
     .usage = {"", "Display cumulative milliseconds"},
     .help = "elapsed seconds since the start, not since the previous record",
     .apply = setFlag<&Settings::cumulative, true>,
     .setting = showFlag<&Settings::cumulative, true>},
    {.name = "-p",
     .outputs = kShapesTheListing,
     .help = "process/thread column",
     .apply = setFlag<&Settings::processColumn, true>,
     .setting = showFlag<&Settings::processColumn, true>},
    {.name = "-H",
     .outputs = kShapesTheListing,
     .help = "leave out the record-type column",
     .apply = setFlag<&Settings::hideType, true>,
     .setting = showFlag<&Settings::hideType, true>},
    // The messages on standard error: every output of one trace writes them.
    {.name = "-x",
     .outputs = kOneTrace,
     .usage = {"", "Debug this program"},
     .help = "report records whose length is over the limit",
     .apply = setFlag<&Settings::reportOverlong, true>,
     .setting = showFlag<&Settings::reportOverlong, true>},
    {.name = "-?", .request = Request::Usage, .help = "the short usage text"},
    {.name = "--json",
     .group = HelpGroup::Outputs,
     .outputWord = kJsonWord,
     .outputs = {Output::JsonLines, Output::SummaryJson, Output::BatchRows, Output::CompareJson},
     .help = "JSON Lines: one object per record and per diagnostic\n"
             "(-c, -m, -t, -h, -p and -H change nothing)"},
    {.name = "--summary",
     .group = HelpGroup::Outputs,
     .outputWord = kSummaryWord,
     .outputs = {Output::SummaryText, Output::SummaryJson, Output::BatchRows},
     .help = "a report of the whole trace in place of the listing;\n"
             "with --json, one JSON object"},
    {.name = "--follow",
     .group = HelpGroup::Outputs,
     .outputs = kOneTrace,
     .help = "keep listing the records appended to the trace as they\n"
             "arrive, until SIGINT or SIGTERM (or the end of a pipe)",
     .apply = setFlag<&Settings::follow, true>},
    {.name = "--report",
     .group = HelpGroup::Outputs,
     .outputWord = kReportWord,
     .outputs = {Output::Page},
     .help = "one self-contained HTML page in place of the listing: the\n"
             "summary, a timeline and a flash map of each update, the\n"
             "listing around each error reply (-t, -h, -m, -c, -p and -H\n"
             "shape it); not with --json or --summary; with --follow,\n"
             "the page of what was read is written when the run ends"},
    {.name = "--color",
     .argument = Argument::Word,
     .group = HelpGroup::Outputs,
     .outputs = kTraceFile,
     .argumentName = "WHEN",
     .words = kColorWords,
     .help = "colour the record types and error replies of the listing,\n"
             "the verdict and error replies of the summary and the two\n"
             "sides of --compare: auto (the default: on a terminal,\n"
             "unless NO_COLOR is set or TERM is dumb), always (also into\n"
             "a pipe or a file), never; also --color=WHEN",
     .apply = setColor},
    {.name = "--list",
     .argument = Argument::File,
     .group = HelpGroup::Outputs,
     .outputWord = kListWord,
     .outputs = {Output::BatchRows},
     .argumentName = "FILE",
     .help = "with --summary --json (and -w alone): one summary row for\n"
             "each trace that FILE names, one a line ('-': standard\n"
             "input), each with the trace, the status of a run on it\n"
             "alone and its error; the run goes on past a trace that\n"
             "cannot be read",
     .apply = [](Settings& s, std::string_view a) { s.listName = a; }},
    {.name = "--compare",
     .argument = Argument::File,
     .group = HelpGroup::Outputs,
     .outputWord = kCompareWord,
     .outputs = kComparison,
     .argumentName = "GOOD",
     .help = "compare the trace of -f with the reference trace GOOD, step\n"
             "by step: where they part, their updates side by side, the\n"
             "differing steps; with --json, one JSON object; exit status\n"
             "0 alike, 1 they differ, 2 a trace cannot be read; with\n"
             "--list, each row says where its trace parts from GOOD",
     .apply = [](Settings& s, std::string_view a) { s.compareName = a; }},
    {.name = "--context",
     .argument = Argument::Number,
     .group = HelpGroup::Outputs,
     .outputs = kComparisonOrSelection,
     .argumentName = "N",
     .help = "with --compare: N alike steps around the differing ones\n"
             "(default 3); with --where: N records before and after each\n"
             "selected one (as --before N --after N)",
     .apply = [](Settings& s, std::string_view a) { s.context = parseContext(a); },
     .around = &Settings::context},
    {.name = "--where",
     .argument = Argument::Expression,
     .group = HelpGroup::Outputs,
     .outputs = {Output::Listing, Output::JsonLines},
     .argumentName = "EXPR",
     .refusal = "--where selects the records of the listing and of JSON Lines: not with "
                "--summary, --report, --compare or --list",
     .help = "write only the records that EXPR selects, each entry as in\n"
             "the whole listing or JSON Lines; with --follow too\n"
             "(--fields lists the fields; ovantrex(1): Selecting records)",
     .apply = [](Settings& s, std::string_view a) { s.where = std::string(a); }},
    {.name = "--before",
     .argument = Argument::Number,
     .group = HelpGroup::Outputs,
     .outputs = {Output::Listing, Output::JsonLines},
     .argumentName = "N",
     .refusal = kSelectionRefusal,
     .help = "with --where: also the N records before each selected one\n"
             "(groups apart are set apart by --; JSON Lines marks them\n"
             "\"context\": true)",
     .apply = [](Settings& s, std::string_view a) { s.before = parseContext(a); },
     .around = &Settings::before},
    {.name = "--after",
     .argument = Argument::Number,
     .group = HelpGroup::Outputs,
     .outputs = {Output::Listing, Output::JsonLines},
     .argumentName = "N",
     .refusal = kSelectionRefusal,
     .help = "with --where: also the N records after each selected one",
     .apply = [](Settings& s, std::string_view a) { s.after = parseContext(a); },
     .around = &Settings::after},
    {.name = "--fields",
     .group = HelpGroup::Outputs,
     .request = Request::Fields,
     .help = "the fields that --where knows: key, type and meaning"},
    {.name = "--help", .group = HelpGroup::Outputs, .request = Request::Help, .help = "this help"},
    {.name = "--version",
     .group = HelpGroup::Outputs,
     .request = Request::Version,
     .help = "the program's version"},
};

// The most specific first: the batch's rows (with --compare too), the
// comparison and the page before the outputs whose options they share or
// refuse; the listing, which needs no option, last.
constexpr OutputChoice kOutputChoices[] = {
    {.output = Output::BatchRows,
     .chosenBy = kListWord,
     .needs = kSummaryWord | kJsonWord,
     .namesTheOption = true,
     .readsTheTrace = false,
     .needsMessage = "--list writes a summary row for each trace: it needs --summary --json",
     .refusal = "--list takes --summary --json, --compare and -w alone, not "},
    {.output = Output::CompareJson,
     .chosenBy = kCompareWord | kJsonWord,
     .namesTheOption = true,
     .refusal = kComparisonRefusal},
    {.output = Output::CompareText,
     .chosenBy = kCompareWord,
     .namesTheOption = true,
     .refusal = kComparisonRefusal},
    {.output = Output::Page,
     .chosenBy = kReportWord,
     .refusal = "--report is a page of its own; it takes neither --json nor --summary",
     // A page is markup, no reading for a terminal: it goes to a file or a
     // pipe, as compressors refuse to pour their output onto a screen.
     .notForATerminal = "--report writes an HTML page, not for a terminal; name its file with "
                        "-w, or redirect standard output"},
    {.output = Output::SummaryJson, .chosenBy = kSummaryWord | kJsonWord},
    {.output = Output::SummaryText, .chosenBy = kSummaryWord},
    {.output = Output::JsonLines, .chosenBy = kJsonWord},
    {.output = Output::Listing},
};
static_assert(std::size(kOutputChoices) == kOutputCount);

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::span<const Option> optionTable() { return kOptions; }

std::span<const OutputChoice> outputChoices() { return kOutputChoices; }

const OutputChoice& choiceOf(Output output) {
  for (const OutputChoice& choice : kOutputChoices) {
    if (choice.output == output) return choice;
  }
  return kOutputChoices[std::size(kOutputChoices) - 1];
}

std::size_t parseContext(std::string_view text) {
  if (text.empty()) return kBadContext;
  std::size_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return kBadContext;
    value = value * 10 + static_cast<std::size_t>(c - '0');
    if (value > kMostContext) value = kMostContext;
  }
  return value;
}

std::int32_t parseHourOffset(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate in 64 bits and hold at the 32-bit limits as soon as they pass.
  constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kLow = -static_cast<std::int64_t>(kHigh) - 1;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kHigh + 1) value = kHigh + 1;
  }
  if (negative) value = -value;
  if (value > kHigh) value = kHigh;
  if (value < kLow) value = kLow;
  return static_cast<std::int32_t>(value);
}

}  // namespace ovantrex
