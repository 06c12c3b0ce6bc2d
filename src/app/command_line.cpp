#include "app/command_line.h"

#include <cstring>
#include <limits>

namespace ovantrex {

namespace {

constexpr std::string_view kUsage =
    "Usage:  ovantrex -f logfile [ -t ] [ -m ] [ -c ]\n"
    "                  ...<<see full list below>>\n"
    "where:\n"
    "    -c            Display cumulative milliseconds\n"
    "    -f <filename> Log file for reading\n"
    "    -h X          Adjust hour offset X\n"
    "    -m            Disable the incrmental milliseconds display\n"
    "    -t            Show the actual time of the log statements\n"
    "    -w <filename> Output file (stdout if option not provided\n"
    "    -x            Debug this program\n";

constexpr std::string_view kHelp =
    "Usage: ovantrex -f TRACE [OPTIONS]\n"
    "Lists the records of a firmware update trace and decodes the firmware\n"
    "report (HID report 0xA0).\n"
    "\n"
    "Input and output:\n"
    "  -f FILE       the trace file to read\n"
    "  -w FILE       write the output to FILE (default: standard output)\n"
    "\n"
    "Columns of the listing:\n"
    "  -t            local time of each record (format version 3 traces)\n"
    "  -h N          add N hours to the time column\n"
    "  -m            leave out the elapsed-seconds column\n"
    "  -c            elapsed seconds since the start, not since the previous record\n"
    "  -p            process/thread column\n"
    "  -H            leave out the record-type column\n"
    "  -x            report records whose length is over the limit\n"
    "  -?            the short usage text\n"
    "\n"
    "Other outputs:\n"
    "  --json        JSON Lines: one object per record and per diagnostic\n"
    "                (-c, -m, -t, -h, -p and -H change nothing)\n"
    "  --summary     a report of the whole trace in place of the listing;\n"
    "                with --json, one JSON object\n"
    "  --follow      keep listing the records appended to the trace as they\n"
    "                arrive, until SIGINT or SIGTERM (or the end of a pipe)\n"
    "  --report      one self-contained HTML page in place of the listing: the\n"
    "                summary, a timeline and a flash map of each update, the\n"
    "                listing around each error reply (-t, -h, -m, -c, -p and -H\n"
    "                shape it); not with --json or --summary; with --follow,\n"
    "                the page of what was read is written when the run ends\n"
    "  --list FILE   with --summary --json (and -w alone): one summary row for\n"
    "                each trace that FILE names, one a line ('-': standard\n"
    "                input), each with the trace, the status of a run on it\n"
    "                alone and its error; the run goes on past a trace that\n"
    "                cannot be read\n"
    "  --help        this help\n"
    "  --version     the program's version\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  the command line cannot start a run (no trace named, -?, an illegal\n"
    "     option, an option without its argument, --report with --json or\n"
    "     --summary, --report without -w when standard output is a terminal,\n"
    "     --list with another option)\n"
    "  2  the trace cannot be opened or read (with --list: the list)\n"
    "  3  the output file cannot be opened, or it or standard output is the\n"
    "     trace (with --list: the list or a trace it names)\n"
    "  4  the output could not be written (or standard output is closed)\n"
    "  5  not enough memory to list the trace\n"
    "\n"
    "ovantrex(1) has the details.\n";

// Exit status of a command line that cannot start a run.
constexpr int kUsageStatus = 1;

struct LongOption {
  std::string_view name;
  int code;
};
constexpr LongOption kLongOptions[] = {
    {"--json", kLongJson},     {"--summary", kLongSummary}, {"--report", kLongReport},
    {"--follow", kLongFollow}, {"--help", kLongHelp},       {"--version", kLongVersion},
    {"--list", kLongList},
};

// The code of a long option named exactly, or 0.
int longOptionCode(std::string_view argument) {
  for (const auto& option : kLongOptions) {
    if (option.name == argument) return option.code;
  }
  return 0;
}

void parserMessage(Writer& err, std::string_view text, std::string_view option) {
  err.put("ovantrex: ");
  err.put(text);
  err.put(" -- ");
  err.put(option);
  err.put('\n');
  err.flush();
}

void parserMessage(Writer& err, std::string_view text, char letter) {
  parserMessage(err, text, std::string_view(&letter, 1));
}

// The option as the command line spells it: "-t", "--json".
std::string_view optionName(int code) {
  for (const auto& option : kLongOptions) {
    if (option.code == code) return option.name;
  }
  // Each letter that starts a run, after its dash.
  static constexpr std::string_view kLetters = "-f-w-c-m-t-x-H-h-p";
  const std::size_t at = kLetters.find(static_cast<char>(code));
  return at != std::string_view::npos ? kLetters.substr(at - 1, 2) : "-?";
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int OptionParser::takeLongOption(int code, int argc, const char* const* argv, Writer& err) {
  const char* name = argv[nextIndex++];
  optionArgument = nullptr;
  if (code != kLongList) return code;
  if (nextIndex >= argc) {
    parserMessage(err, "option requires an argument", name);
    failed = true;
    return '?';
  }
  optionArgument = argv[nextIndex++];
  return code;
}

int OptionParser::parseNextOption(int argc, const char* const* argv, std::string_view options,
                                  Writer& err) {
  if (position == 1) {
    if (nextIndex >= argc) return kOptionsOver;
    const char* argument = argv[nextIndex];
    if (argument[0] != '-' || argument[1] == '\0') return kOptionsOver;
    if (std::strcmp(argument, "--") == 0) {
      ++nextIndex;
      return kOptionsOver;
    }
    if (const int code = longOptionCode(argument); code != 0)
      return takeLongOption(code, argc, argv, err);
  }
  const char* argument = argv[nextIndex];
  const char letter = argument[position];
  const std::size_t at = letter == ':' ? std::string_view::npos : options.find(letter);
  if (at == std::string_view::npos) {
    parserMessage(err, "illegal option", letter);
    failed = true;
    if (argument[++position] == '\0') {
      ++nextIndex;
      position = 1;
    }
    return '?';
  }
  if (at + 1 < options.size() && options[at + 1] == ':') {
    if (argument[position + 1] != '\0') {
      optionArgument = argument + position + 1;
      ++nextIndex;
    } else if (++nextIndex >= argc) {
      parserMessage(err, "option requires an argument", letter);
      failed = true;
      position = 1;
      return '?';
    } else {
      optionArgument = argv[nextIndex++];
    }
    position = 1;
    return letter;
  }
  if (argument[++position] == '\0') {
    ++nextIndex;
    position = 1;
  }
  optionArgument = nullptr;
  return letter;
}

void printUsage(Writer& err) {
  err.put(kUsage);
  err.flush();
}

void printHelp(Writer& out) {
  out.put(kHelp);
  out.flush();
}

void printVersion(Writer& out) {
  out.put("ovantrex " OVANTREX_VERSION "\n");
  out.flush();
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

namespace {

// Sets what an option that starts a run asks for; false for any other.
bool applyOption(int letter, const OptionParser& parser, Settings& settings) {
  switch (letter) {
    case 'f': settings.inputName = parser.argument(); return true;
    case 'w': settings.outputName = parser.argument(); return true;
    case 'c': settings.cumulative = true; return true;
    case 'm': settings.elapsedColumn = false; return true;
    case 't': settings.timeColumn = true; return true;
    case 'p': settings.processColumn = true; return true;
    case 'x': settings.reportOverlong = true; return true;
    case 'H': settings.hideType = true; return true;
    case 'h': settings.hourOffset = parseHourOffset(parser.argument()); return true;
    case kLongJson: settings.json = true; return true;
    case kLongSummary: settings.summary = true; return true;
    case kLongFollow: settings.follow = true; return true;
    case kLongReport: settings.report = true; return true;
    case kLongList:
      settings.list = true;
      settings.listName = parser.argument();
      return true;
    default: return false;
  }
}

// Reads the options into result; false when they end the program (the
// exit status is set, and the message or usage text written).
bool readOptions(int argc, const char* const* argv, CommandLine& result, Writer& err) {
  OptionParser parser;
  for (int letter;
       (letter = parser.parseNextOption(argc, argv, kOptionString, err)) != kOptionsOver;) {
    if (applyOption(letter, parser, result.settings)) {
      const bool forList =
          letter == 'w' || letter == kLongJson || letter == kLongSummary || letter == kLongList;
      if (!forList && result.notForList == 0) result.notForList = letter;
      continue;
    }
    result.exitStatus = 0;
    if (letter == kLongHelp || letter == kLongVersion) {
      result.request = letter == kLongHelp ? Request::Help : Request::Version;
      return false;
    }
    // '?': a parser error, whose message is written, or -? among other
    // arguments, which asks for the usage text.
    if (!parser.failed) printUsage(err);
    result.exitStatus = kUsageStatus;
    return false;
  }
  return true;
}

}  // namespace

namespace {

// A batch run writes summary rows alone: --summary --json, to standard
// output or the -w file.
void checkListOptions(CommandLine& result, Writer& err) {
  if (!result.settings.summary || !result.settings.json) {
    err.put("ovantrex: --list writes a summary row for each trace: it needs --summary --json\n");
  } else if (result.notForList != 0) {
    err.put("ovantrex: --list takes --summary --json and -w alone, not ");
    err.put(optionName(result.notForList));
    err.put('\n');
  } else {
    return;
  }
  err.flush();
  result.exitStatus = kUsageStatus;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv, Writer& err) {
  CommandLine result;
  Settings& settings = result.settings;
  if (argc == 2) {
    // A single argument is the input file name, whatever it looks like,
    // but for --help and --version.
    const int code = longOptionCode(argv[1]);
    if (code == kLongHelp || code == kLongVersion) {
      result.request = code == kLongHelp ? Request::Help : Request::Version;
      result.exitStatus = 0;
      return result;
    }
    settings.inputName = argv[1];
  } else if (!readOptions(argc, argv, result, err)) {
    return result;
  }
  if (settings.list) {
    checkListOptions(result, err);
  } else if (settings.inputName.empty() || settings.inputName == "-?") {
    printUsage(err);
    result.exitStatus = kUsageStatus;
  } else if (settings.report && (settings.json || settings.summary)) {
    err.put("ovantrex: --report is a page of its own; it takes neither --json nor --summary\n");
    err.flush();
    result.exitStatus = kUsageStatus;
  }
  return result;
}

}  // namespace ovantrex
