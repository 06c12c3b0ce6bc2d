#include "app/command_line.h"

#include <array>
#include <cstddef>
#include <variant>

#include "select/expression.h"

namespace ovantrex {

namespace {

// The head of the short usage, whose words, like its options' (see
// options.cpp), are kept on purpose as the first version wrote them.
constexpr std::string_view kUsageHead =
    "Usage:  ovantrex -f logfile [ -t ] [ -m ] [ -c ]\n"
    "                  ...<<see full list below>>\n"
    "where:\n";

constexpr std::string_view kHelpHead =
    "Usage: ovantrex -f TRACE [OPTIONS]\n"
    "Lists the records of a firmware update trace and decodes the firmware\n"
    "report (HID report 0xA0).\n";

// The headings of the help's sections, in the order of HelpGroup.
constexpr std::string_view kHelpHeadings[] = {
    "Input and output:", "Columns of the listing:", "Other outputs:"};

// The width of an option's column, after its indent, in the usage and the
// help.
constexpr std::size_t kOptionColumn = 14;

void putBlanks(Writer& out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) out.put(' ');
}

// The option and its argument, indented and padded to the column of their
// words (on the next line when they fill it).
void putOptionColumn(Writer& out, std::size_t indent, std::string_view name,
                     std::string_view argument) {
  putBlanks(out, indent);
  out.put(name);
  std::size_t used = name.size();
  if (!argument.empty()) {
    out.put(' ');
    out.put(argument);
    used += 1 + argument.size();
  }
  if (used < kOptionColumn) {
    putBlanks(out, kOptionColumn - used);
    return;
  }
  out.put('\n');
  putBlanks(out, indent + kOptionColumn);
}

// Lines of words, each line after the first indented.
void putLines(Writer& out, std::string_view words, std::size_t indent) {
  for (std::size_t end; (end = words.find('\n')) != std::string_view::npos;) {
    out.put(words.substr(0, end + 1));
    putBlanks(out, indent);
    words.remove_prefix(end + 1);
  }
  out.put(words);
}

void parserMessage(Writer& err, std::string_view text, std::string_view option) {
  err.put("ovantrex: ");
  err.put(text);
  err.put(" -- ");
  err.put(option);
  err.put('\n');
  err.flush();
}

// The row of the option named exactly; null for none.
const Option* optionNamed(std::span<const Option> table, std::string_view name) {
  for (const Option& option : table) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

}  // namespace

const Option* OptionParser::fail(Writer& err, std::string_view text, std::string_view shownName) {
  parserMessage(err, text, shownName);
  failed_ = true;
  return nullptr;
}

const Option* OptionParser::checked(const Option& option, std::string_view shownName, Writer& err) {
  if (option.argument != Argument::Word) return &option;
  for (const std::string_view word : option.words) {
    if (word == argument_) return &option;
  }
  std::string words;
  for (const std::string_view word : option.words)
    words.append(words.empty() ? "" : ", ").append(word);
  // "ovantrex: argument 'x' is none of auto, always, never -- --color"
  return fail(err, "argument '" + std::string(argument_) + "' is none of " + words, shownName);
}

const Option* OptionParser::takeNext(const Option& option, std::string_view shownName,
                                     Writer& err) {
  if (index_ >= argc_) return fail(err, "option requires an argument", shownName);
  argument_ = argv_[index_++];
  return checked(option, shownName, err);
}

const Option* OptionParser::longOption(std::string_view word) const {
  return optionNamed(table_, word.substr(0, word.find('=')));
}

const Option* OptionParser::takeLong(const Option& option, std::string_view word, Writer& err) {
  ++index_;
  // "--color always", or its argument after "=": "--color=always".
  const std::size_t equals = word.find('=');
  if (equals == std::string_view::npos)
    return option.argument == Argument::None ? &option : takeNext(option, word, err);
  const std::string_view name = word.substr(0, equals);
  if (option.argument == Argument::None) return fail(err, "option takes no argument", name);
  argument_ = word.substr(equals + 1);
  return checked(option, name, err);
}

const Option* OptionParser::next(Writer& err) {
  argument_ = {};
  if (failed_) return nullptr;
  if (position_ == 1) {
    if (index_ >= argc_) return nullptr;
    const std::string_view word = argv_[index_];
    if (word.size() < 2 || word[0] != '-') return nullptr;
    if (word == "--") {
      ++index_;
      return nullptr;
    }
    if (word.starts_with("--")) {
      if (const Option* option = longOption(word)) return takeLong(*option, word, err);
    }
  }
  // A letter of a cluster: "-" and the letter name its row.
  const char* word = argv_[index_];
  const std::string_view letter(word + position_, 1);
  const char name[] = {'-', letter[0]};
  const Option* option = optionNamed(table_, std::string_view(name, 2));
  if (option == nullptr) return fail(err, "illegal option", letter);
  if (option->argument == Argument::None) {
    if (word[++position_] == '\0') {
      ++index_;
      position_ = 1;
    }
    return option;
  }
  const char* attached = word + position_ + 1;
  position_ = 1;
  ++index_;
  if (*attached == '\0') return takeNext(*option, letter, err);
  argument_ = attached;
  return checked(*option, letter, err);
}

void printUsage(Writer& err) {
  err.put(kUsageHead);
  // The options of the short usage, in the order of their names.
  std::string_view last;
  for (;;) {
    const Option* next = nullptr;
    for (const Option& option : optionTable()) {
      if (!option.usage.words.empty() && option.name > last &&
          (next == nullptr || option.name < next->name))
        next = &option;
    }
    if (next == nullptr) break;
    putOptionColumn(err, 4, next->name, next->usage.argument);
    err.put(next->usage.words);
    err.put('\n');
    last = next->name;
  }
  err.flush();
}

void printHelp(Writer& out) {
  out.put(kHelpHead);
  for (std::size_t group = 0; group < std::size(kHelpHeadings); ++group) {
    out.put('\n');
    out.put(kHelpHeadings[group]);
    out.put('\n');
    for (const Option& option : optionTable()) {
      if (static_cast<std::size_t>(option.group) != group) continue;
      putOptionColumn(out, 2, option.name, option.argumentName);
      putLines(out, option.help, 2 + kOptionColumn);
      out.put('\n');
    }
  }
  out.put("\nExit status:\n");
  for (const ExitStatusWords& status : kExitStatuses) {
    out.put("  ");
    out.decimal(code(status.status));
    out.put("  ");
    putLines(out, status.help, 5);
    out.put('\n');
  }
  out.put("\novantrex(1) has the details.\n");
  out.flush();
}

void printVersion(Writer& out) {
  out.put("ovantrex " OVANTREX_VERSION "\n");
  out.flush();
}

namespace {

// The options given, as far as the choice of the output goes.
struct Given {
  OutputWords words = 0;
  // For each output, the first option given that does not shape it.
  std::array<const Option*, kOutputCount> firstOther{};
  // For each output, the first option given that refuses it by its own message.
  std::array<const Option*, kOutputCount> refusedBy{};
};

// Reads the options into result and given, up to an option that asks for a
// text (result.request) or an error (the exit status is set, and the
// parser's message written).
void readOptions(int argc, const char* const* argv, CommandLine& result, Given& given,
                 Writer& err) {
  OptionParser parser(optionTable(), argc, argv);
  while (const Option* option = parser.next(err)) {
    if (option->request != Request::Run) {
      result.request = option->request;
      return;
    }
    if (option->apply != nullptr) option->apply(result.settings, parser.argument());
    given.words |= option->outputWord;
    for (std::size_t output = 0; output < kOutputCount; ++output) {
      if (option->outputs.has(Output(output))) continue;
      if (given.firstOther[output] == nullptr) given.firstOther[output] = option;
      if (given.refusedBy[output] == nullptr && !option->refusal.empty())
        given.refusedBy[output] = option;
    }
  }
  if (parser.failed()) result.exitStatus = ExitStatus::CannotStart;
}

bool refuse(Writer& err, std::string_view message, std::string_view option = {}) {
  err.put("ovantrex: ");
  err.put(message);
  err.put(option);
  err.put('\n');
  err.flush();
  return false;
}

// Sets the output that the options given choose; false when the run cannot
// start (the message or the usage text is written).
bool chooseOutput(const Given& given, Settings& settings, Writer& err) {
  const OutputChoice* choice = &choiceOf(Output::Listing);
  for (const OutputChoice& row : outputChoices()) {
    if ((given.words & row.chosenBy) != row.chosenBy) continue;
    choice = &row;
    break;
  }
  settings.output = choice->output;
  if ((given.words & choice->needs) != choice->needs) return refuse(err, choice->needsMessage);
  // A trace named "-?" asks for the usage text, as the single argument "-?" does.
  if (choice->readsTheTrace && (settings.inputName.empty() || settings.inputName == "-?")) {
    printUsage(err);
    return false;
  }
  if (const Option* refused = given.refusedBy[static_cast<std::size_t>(choice->output)])
    return refuse(err, refused->refusal);
  const Option* other = given.firstOther[static_cast<std::size_t>(choice->output)];
  if (other == nullptr || choice->refusal.empty()) return true;
  return refuse(err, choice->refusal, choice->namesTheOption ? other->name : "");
}

// The numbers of --before, --after and --context: refused when they are
// not numbers, or, but for the comparison's --context, without --where.
bool checkContext(const Settings& settings, Writer& err) {
  const bool comparison =
      settings.output == Output::CompareText || settings.output == Output::CompareJson;
  for (const Option& option : optionTable()) {
    // With --compare, --context counts steps (the comparison checks it).
    if (option.around == nullptr || (comparison && option.around == &Settings::context)) continue;
    const std::optional<std::size_t>& number = settings.*option.around;
    if (!number) continue;
    if (*number == kBadContext)
      return refuse(err, option.name, " takes a number of records, 0 or more");
    if (!settings.where)
      return refuse(err, option.name, " writes the records around those of --where: give --where");
  }
  return true;
}

// The expression of --where, parsed before the run: a bad one is refused
// with its message.
bool checkWhere(const Settings& settings, Writer& err) {
  if (!checkContext(settings, err)) return false;
  if (!settings.where) return true;
  const auto parsed = parseExpression(*settings.where);
  if (const auto* error = std::get_if<ExpressionError>(&parsed)) {
    err.put("ovantrex: ");
    err.put(describeError(*settings.where, *error));
    err.flush();
    return false;
  }
  return true;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv, Writer& err) {
  CommandLine result;
  Given given;
  if (argc == 2) {
    // A single argument is the trace's name, whatever it looks like, but for
    // an option that asks for a text.
    const Option* option = optionNamed(optionTable(), argv[1]);
    if (option != nullptr && option->request != Request::Run) {
      result.request = option->request;
    } else {
      result.settings.inputName = argv[1];
    }
  } else {
    readOptions(argc, argv, result, given, err);
    if (result.exitStatus) return result;
  }
  if (result.request == Request::Usage) {
    printUsage(err);
    result.exitStatus = ExitStatus::CannotStart;
  } else if (result.request != Request::Run) {
    result.exitStatus = ExitStatus::Done;
  } else if (!chooseOutput(given, result.settings, err) || !checkWhere(result.settings, err)) {
    result.exitStatus = ExitStatus::CannotStart;
  }
  return result;
}

std::vector<std::string> listingCommand(const Settings& settings) {
  std::vector<std::string> words;
  for (const HelpGroup group : {HelpGroup::Columns, HelpGroup::Files}) {
    for (const Option& option : optionTable()) {
      if (option.group != group || option.setting == nullptr) continue;
      std::optional<std::string> argument = option.setting(settings);
      if (!argument) continue;
      words.emplace_back(option.name);
      if (option.argument != Argument::None) words.push_back(std::move(*argument));
    }
  }
  return words;
}

}  // namespace ovantrex
