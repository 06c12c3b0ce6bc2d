// The batch run: --summary --json --list FILE summarizes many traces in one
// run, and writes one JSON row for each, in the order of the list: the
// trace, the status that a run on it alone ends with, its error, and its
// JSON summary (see summary_row.h). The memory of one summary is taken once
// and used again for every trace, so that it stays within the summary's
// budget whatever the count.
//
// The list names one trace a line. A name is the bytes of its line before
// the line end ("\n"), as they are: no blank is trimmed and '#' starts no
// comment; an empty line names nothing. A name that holds a NUL byte, or
// more than kMaxListedName bytes, names no file, and its row says so.
//
// A trace that cannot be opened or read gets its row with its error, and
// the run goes on; its messages go into its row, not to standard error. The
// rows go to standard output or the -w file, each handed on whole as it is
// written. Exit status: Done every name of the list has its row;
// CannotReadInput the list cannot be opened or read (the rows before
// stand); CannotOpenOutput the -w file cannot be opened, or it or standard
// output is the list or a trace that the list names (refused before
// anything is written); CannotWrite the rows could not be written; NoMemory
// not enough memory for the summary.
#pragma once

#include <cstddef>

#include "app/exit_status.h"
#include "app/platform.h"
#include "app/settings.h"
#include "core/reserved.h"
#include "output/common/writer.h"
#include "trace/trace_reader.h"

namespace ovantrex {

inline constexpr std::size_t kMaxListedName = 4096;

// Runs the batch that settings (with list set) ask for; out is standard
// output, err standard error; readerBuffers and outputRoom are the memory of
// the reader and of the -w file's writer, taken at the start.
ExitStatus summarizeList(const Settings& settings, TraceReader::Buffers readerBuffers,
                         Reserved<Writer>& outputRoom, Writer& out, Writer& err,
                         const platform::MissingStreams& missing);

}  // namespace ovantrex
