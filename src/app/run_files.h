// The files of a run: the trace, opened and checked, and the -w output,
// opened without emptying it; and the check that no output is the trace.
// One trace's run (program.cpp) and the batch run (batch.cpp) share them.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/exit_status.h"
#include "app/platform.h"
#include "core/reserved.h"
#include "output/common/writer.h"

namespace ovantrex {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The trace file, open for reading, and the file it is on disk.
struct Input {
  File file;
  platform::FileIdentity identity;
};

// openInput(), openOutput() and emptyOutput() return none when they have
// done their work, or else the status that the run ends with (the message
// is written): Done when a stop request ended the wait for a FIFO's writer
// or reader while following.

// Writes a message of these parts to err, and flushes it.
void tell(Writer& err, std::initializer_list<std::string_view> parts);

// Opens the trace.
std::optional<ExitStatus> openInput(const std::string& name, Input& input, Writer& err);
// "Could not read 'NAME': REASON" and its line end.
void tellReadFailure(Writer& err, std::string_view name, std::string_view reason);

// Opens the -w file for the output, for bytes until its line ends are set
// (platform::setLineEnds()), and makes its writer in room. The file is
// opened without emptying it: emptyOutput() does that once the run has all
// it needs, and only when the file is known not to be the trace (trace: the
// trace's identity, or nullptr when the caller checks each trace itself, as
// a batch does). emptied: whether it is a file that holds stored bytes to
// empty.
std::optional<ExitStatus> openOutput(const std::string& name, const platform::FileIdentity* trace,
                                     Reserved<Writer>& room, bool& emptied, Writer& err);
// Empties the -w file opened by openOutput().
std::optional<ExitStatus> emptyOutput(const std::string& name, Reserved<Writer>& room, bool emptied,
                                      Writer& err);

// The files that the run writes, as they are on disk: a file among them
// that is the trace itself is refused, whenever the trace is opened.
struct Outputs {
  std::string name;  // of the -w file; empty without one
  std::optional<platform::FileIdentity> file;
  std::optional<platform::FileIdentity> standard;  // standard output
};

// The identity of the file that a writer writes, when it has one.
std::optional<platform::FileIdentity> identityOf(const Writer& writer);
// The message that refuses an output that is the trace; empty when none is.
std::string outputThatIsTheTrace(const Outputs& outputs, const platform::FileIdentity& trace);

}  // namespace ovantrex
