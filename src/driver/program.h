// The program entry: parses the command line, opens the trace file and the
// output, and runs the record loop.
#pragma once

#include <string_view>

#include "render/writer.h"

namespace ovantrex {

// The exit status, and the message on standard error, when the memory that
// the listing needs cannot be had.
inline constexpr int kStatusNoMemory = 5;
inline constexpr std::string_view kNoMemoryMessage = "Not enough memory to list the trace\n";

// Runs one invocation. out is standard output (the listing when -w names no
// file, and the invalid-minor-code messages always); err is standard error.
// With -w naming a file, out is written best-effort, like err: its failure
// does not end the run.
// Returns the exit status: 0 normal end, 1 usage or command-line error,
// 2 input cannot be opened or read, 3 output cannot be opened (or it is the
// trace itself), 4 the listing could not be written, 5 not enough memory.
// All the memory that the records need is taken before the first record is
// read and before the -w file is emptied; a run thus lists every record or
// stops at the start with status 5.
int runProgram(int argc, const char* const* argv, Writer& out, Writer& err);

}  // namespace ovantrex
