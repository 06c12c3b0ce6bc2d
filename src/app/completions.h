// The shells' completions of the command line, made from the table of
// options (options.h), so that they name exactly the options that the
// parser takes: the option names, the words of an option that takes one of
// a set, and file names for an option that takes a file (and for the trace
// named alone). The build writes them with make_completions.cpp; the
// install puts each where its shell looks.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "app/options.h"

namespace ovantrex {

enum class Shell : std::uint8_t { Bash, Zsh, Fish };

struct CompletionFile {
  Shell shell;
  std::string_view name;  // the file's name, as its shell looks for it
};
inline constexpr CompletionFile kCompletionFiles[] = {
    {Shell::Bash, "ovantrex"}, {Shell::Zsh, "_ovantrex"}, {Shell::Fish, "ovantrex.fish"}};

// The completion script of the shell for the options of the table.
std::string completionScript(Shell shell, std::span<const Option> table);

}  // namespace ovantrex
