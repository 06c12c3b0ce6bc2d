// The program entry: parses the command line, opens the trace file and the
// output, and runs the record loop.
#pragma once

#include <string_view>

#include "app/exit_status.h"
#include "app/platform.h"
#include "output/common/writer.h"

namespace ovantrex {

// Runs one invocation. out is standard output (the listing when -w names no
// file, and the invalid-minor-code messages always); err is standard error.
// With -w naming a file, out is written best-effort, like err: its failure
// does not end the run.
// Returns the exit status's code (see exit_status.h): Done, CannotStart (a
// usage or command-line error), CannotReadInput, CannotOpenOutput (or it,
// or standard output, is the trace itself), CannotWrite (or the listing was
// to go to a standard output that is missing), NoMemory.
// A read that fails part way ends the run with CannotReadInput after every
// record read before it has been printed, and the output finished.
// All the memory that the records need is taken before the first record is
// read and before the -w file is emptied; a run thus lists every record or
// stops at the start with NoMemory.
// The standard streams that the program was started without (they are then
// the null device, so that no file it opens takes their place).
using MissingStreams = platform::MissingStreams;

int runProgram(int argc, const char* const* argv, Writer& out, Writer& err,
               const MissingStreams& missing = {});

}  // namespace ovantrex
