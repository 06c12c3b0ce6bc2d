// Each shell's completions, from the rows of the table: an option's name,
// its argument's kind and words, and its help as the description.
#include "app/completions.h"

#include "select/selection_fields.h"

namespace ovantrex {

namespace {

constexpr std::string_view kMadeFrom = "made from the table of options of ovantrex: do not edit";

// The words that complete an option's argument of a set of words.
std::span<const std::string_view> completedWords(const Option& option) {
  return option.argument == Argument::Word ? option.words : std::span<const std::string_view>{};
}

// The keys of the fields that an expression names, in the order of
// --fields, blanks between them.
std::string fieldKeys() {
  std::string out;
  for (const RecordField* field : selectionFields())
    out.append(out.empty() ? "" : " ").append(field->key);
  return out;
}

// The characters of a field's key; the field being typed is the run of them
// that ends the expression so far.
constexpr std::string_view kKeyCharacters = "a-zA-Z0-9_.";

bool isLong(const Option& option) { return option.name.starts_with("--"); }

// The help on one line: its line ends as blanks.
std::string oneLine(std::string_view help) {
  std::string line(help);
  for (char& c : line) {
    if (c == '\n') c = ' ';
  }
  return line;
}

// Text between single quotes in bash, zsh or fish: a quote closes the
// quotes, is written escaped and opens them again ('\'' in a POSIX shell;
// fish takes \' and \\ inside them).
std::string quoted(std::string_view text, Shell shell) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += shell == Shell::Fish ? "\\'" : "'\\''";
    } else if (c == '\\' && shell == Shell::Fish) {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string joined(std::span<const std::string_view> words) {
  std::string out;
  for (const std::string_view word : words) out.append(out.empty() ? "" : " ").append(word);
  return out;
}

// The names of the options of a kind of argument, as a case pattern
// ("-f|-w|--list").
std::string namesTaking(std::span<const Option> table, Argument argument) {
  std::string out;
  for (const Option& option : table) {
    if (option.argument == argument) out.append(out.empty() ? "" : "|").append(option.name);
  }
  return out;
}

std::string bashScript(std::span<const Option> table) {
  std::string names;
  for (const Option& option : table) names.append(names.empty() ? "" : " ").append(option.name);
  std::string out = "# bash completion of ovantrex, " + std::string(kMadeFrom) + ".\n";
  out +=
      "_ovantrex() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev= option= prefix=\n"
      "  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
      "  # The argument of an option: the next word, or after \"=\" in the same\n"
      "  # word, which bash may have split at the \"=\" (COMP_WORDBREAKS).\n"
      "  if [[ $cur == --*=* ]]; then\n"
      "    option=${cur%%=*} prefix=${cur%%=*}= cur=${cur#*=}\n"
      "  elif [[ $cur == = && $prev == --* ]]; then\n"
      "    option=$prev cur=\n"
      "  elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
      "    option=${COMP_WORDS[COMP_CWORD - 2]}\n"
      "  else\n"
      "    option=$prev\n"
      "  fi\n"
      "  COMPREPLY=()\n"
      "  case $option in\n";
  const std::string files = namesTaking(table, Argument::File);
  if (!files.empty())
    out += "    " + files +
           ")\n      mapfile -t COMPREPLY < <(compgen -f -P \"$prefix\" -- \"$cur\")\n"
           "      return ;;\n";
  // A number: nothing to complete.
  const std::string numbers = namesTaking(table, Argument::Number);
  if (!numbers.empty()) out += "    " + numbers + ") return ;;\n";
  // An expression: the field being typed at its end. In the expression's
  // opening quote, readline completes what follows the quote.
  const std::string expressions = namesTaking(table, Argument::Expression);
  if (!expressions.empty())
    out += "    " + expressions +
           ")\n"
           "      [[ $cur == [\\\"\\']* ]] && cur=${cur:1} prefix=\n"
           "      local field=${cur##*[!" +
           std::string(kKeyCharacters) +
           "]}\n"
           "      mapfile -t COMPREPLY < <(compgen -P \"$prefix${cur%\"$field\"}\" -W " +
           quoted(fieldKeys(), Shell::Bash) + " -- \"$field\")\n      return ;;\n";
  for (const Option& option : table) {
    if (option.argument != Argument::Word) continue;
    out += "    " + std::string(option.name) +
           ")\n      mapfile -t COMPREPLY < <(compgen -P \"$prefix\" -W " +
           quoted(joined(completedWords(option)), Shell::Bash) + " -- \"$cur\")\n      return ;;\n";
  }
  out +=
      "  esac\n"
      "  if [[ $cur == -* ]]; then\n"
      "    mapfile -t COMPREPLY < <(compgen -W " +
      quoted(names, Shell::Bash) +
      " -- \"$cur\")\n"
      "  else\n"
      "    # A trace named alone.\n"
      "    mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
      "  fi\n"
      "}\n"
      "complete -o filenames -F _ovantrex ovantrex\n";
  return out;
}

// A description between the brackets of an entry of zsh's _arguments.
std::string zshDescription(std::string_view help) {
  std::string out;
  for (const char c : oneLine(help)) {
    if (c == '[' || c == ']' || c == ':' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string zshArgument(const Option& option) {
  std::string name(option.name);
  if (name == "-?") name = "-\\?";
  std::string entry = name;
  // A long option's argument may follow after "=" or as the next word.
  if (option.argument != Argument::None && isLong(option)) entry += '=';
  entry.append("[").append(zshDescription(option.help)).append("]");
  if (option.argument == Argument::None) return entry;
  entry.append(":").append(option.argumentName.empty() ? "argument" : option.argumentName);
  switch (option.argument) {
    case Argument::None: break;
    case Argument::File: entry.append(":_files"); break;
    case Argument::Number: entry.append(": "); break;
    case Argument::Expression:
      // The field being typed at the end of the expression.
      entry.append(":{compset -P \"*[^")
          .append(kKeyCharacters)
          .append("]\"; compadd -- ")
          .append(fieldKeys())
          .append("}");
      break;
    case Argument::Word:
      entry.append(":(").append(joined(completedWords(option))).append(")");
      break;
  }
  return entry;
}

std::string zshScript(std::span<const Option> table) {
  std::string out = "#compdef ovantrex\n# zsh completion of ovantrex, " + std::string(kMadeFrom) +
                    ".\n_arguments -s -S \\\n";
  for (const Option& option : table)
    out += "  " + quoted(zshArgument(option), Shell::Zsh) + " \\\n";
  // A trace named alone.
  out += "  '1:trace file:_files'\n";
  return out;
}

std::string fishScript(std::span<const Option> table) {
  std::string out = "# fish completion of ovantrex, " + std::string(kMadeFrom) + ".\n";
  for (const Option& option : table) {
    out += "complete -c ovantrex ";
    out += isLong(option) ? "-l " + quoted(option.name.substr(2), Shell::Fish)
                          : "-s " + quoted(option.name.substr(1), Shell::Fish);
    switch (option.argument) {
      case Argument::None: break;
      case Argument::File: out += " -r -F"; break;
      case Argument::Number: out += " -x"; break;
      case Argument::Expression: out += " -x -a " + quoted(fieldKeys(), Shell::Fish); break;
      case Argument::Word:
        out += " -x -a " + quoted(joined(completedWords(option)), Shell::Fish);
        break;
    }
    out += " -d " + quoted(oneLine(option.help), Shell::Fish) + "\n";
  }
  return out;
}

}  // namespace

std::string completionScript(Shell shell, std::span<const Option> table) {
  switch (shell) {
    case Shell::Bash: return bashScript(table);
    case Shell::Zsh: return zshScript(table);
    case Shell::Fish: return fishScript(table);
  }
  return {};
}

}  // namespace ovantrex
