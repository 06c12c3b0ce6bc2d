// The exit statuses of the program, each with its words in --help. Every
// step of a run that can end it returns one of these; the process's exit
// code is its number (code()).
#pragma once

#include <cstdint>
#include <string_view>

namespace ovantrex {

enum class ExitStatus : std::uint8_t {
  Done = 0,              // also a run that a stop request ended while it waited
  CannotStart = 1,       // the command line cannot start a run
  CannotReadInput = 2,   // the trace (or the batch's list) cannot be opened or read
  CannotOpenOutput = 3,  // the output cannot be opened, or it is an input of the run
  CannotWrite = 4,       // the output could not be written
  NoMemory = 5,          // the memory that the run needs cannot be had
};

constexpr int code(ExitStatus status) { return static_cast<int>(status); }

struct ExitStatusWords {
  ExitStatus status;
  // Its words in --help; a line end starts a line of the same paragraph.
  std::string_view help;
};

// Every exit status, in the order of their numbers.
inline constexpr ExitStatusWords kExitStatuses[] = {
    {ExitStatus::Done, "done"},
    {ExitStatus::CannotStart,
     "the command line cannot start a run (no trace named, -?, an illegal\n"
     "option, an option without its argument, --report with --json or\n"
     "--summary, --report without -w when standard output is a terminal,\n"
     "--list with another option)"},
    {ExitStatus::CannotReadInput, "the trace cannot be opened or read (with --list: the list)"},
    {ExitStatus::CannotOpenOutput,
     "the output file cannot be opened, or it or standard output is the\n"
     "trace (with --list: the list or a trace it names)"},
    {ExitStatus::CannotWrite, "the output could not be written (or standard output is closed)"},
    {ExitStatus::NoMemory, "not enough memory to list the trace"},
};

// The message on standard error when the memory that the run needs cannot
// be had (ExitStatus::NoMemory).
inline constexpr std::string_view kNoMemoryMessage = "Not enough memory to list the trace\n";

}  // namespace ovantrex
