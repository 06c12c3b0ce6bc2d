// The program entry: parses the command line, opens the trace file and the
// output, and runs the record loop.
#pragma once

#include "render/writer.h"

namespace ovantrex {

// Runs one invocation. out is standard output (the listing when -w names no
// file, and the invalid-minor-code messages always); err is standard error.
// Returns the exit status: 0 normal end, 1 usage or command-line error,
// 2 input cannot be opened or read, 3 output cannot be opened (or it is the
// trace itself), 4 the listing could not be written.
int runProgram(int argc, const char* const* argv, Writer& out, Writer& err);

}  // namespace ovantrex
