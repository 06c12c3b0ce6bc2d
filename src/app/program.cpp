#include "app/program.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/colour_choice.h"
#include "app/command_line.h"
#include "app/compare_run.h"
#include "app/follow.h"
#include "app/platform.h"
#include "app/run_files.h"
#include "app/session.h"
#include "app/status_line.h"
#include "core/reserved.h"
#include "select/selection_fields.h"
#include "trace/record_loop.h"
#include "trace/trace_reader.h"

namespace ovantrex {

namespace {

using platform::FileIdentity;
using Progress = SessionAnalysis::Progress;

// What a run takes before its first record: the reader's block and record
// buffer, and the room for the writer of a -w file.
struct ListingMemory {
  TraceReader::Buffers reader;
  Reserved<Writer> output;
};

// A trace opened again while following is one of the outputs.
class OutputIsTheTrace : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the trace as it grows, until a stop request (Ctrl-C, SIGTERM,
// SIGHUP) or, for a pipe, until its writer closes it; a trace that shrinks, is replaced or is
// written anew is read again from its start, with a fresh session. Returns
// at the end of the run; the caller finishes the session. Throws the reopen
// failure as a ReadError, and OutputIsTheTrace when the trace that took the
// name is an output of this run.
template <class MakeSession>
void followTrace(const Settings& settings, const Outputs& outputs, Input& input,
                 TraceReader& reader, std::unique_ptr<Session>& session,
                 MakeSession makeSessionAgain, std::vector<Writer*> flushed, StatusLine& status,
                 Writer& err) {
  TraceFollower follower(settings.inputName, std::move(flushed), status);
  follower.attach(input.file.get());
  reader.follow(&follower);
  for (;;) {
    try {
      readTrace(reader, *session);
      return;
    } catch (const FollowStopped&) {
      return;
    } catch (const TraceRestarted& restarted) {
      Input again;
      errno = 0;
      again.file.reset(platform::openForReading(settings.inputName));
      if (!again.file) throw ReadError(errno != 0 ? errno : ENOENT);
      // A trace that the system tells nothing of may be any output.
      again.identity = platform::identityOf(again.file.get()).value_or(FileIdentity{});
      if (std::string refusal = outputThatIsTheTrace(outputs, again.identity); !refusal.empty())
        throw OutputIsTheTrace(refusal);
      tell(err, {"ovantrex: '", settings.inputName, "' ", restarted.what(),
                 "; listing it again from its start\n"});
      input = std::move(again);
      reader.restart(input.file.get());
      follower.attach(input.file.get());
      // The old session goes first: the new one takes the same memory.
      session.reset();
      session = makeSessionAgain();
    }
  }
}

// The status line of a run on a terminal: a followed summary or page tells
// what it has read so far, a run into a -w file how much of the trace it
// has read; other runs show their output itself, and have none.
std::function<std::string()> statusText(const Settings& settings, const Input& input,
                                        const TraceReader& reader,
                                        const std::unique_ptr<Session>& session) {
  if (settings.follow && session->progress())
    return [&session] { return progressLine(session->progress().value_or(Progress{})); };
  if (settings.outputName.empty()) return {};
  return [&input, &reader] {
    return bytesReadLine(reader.bytesRead(), platform::sizeOf(input.file.get()));
  };
}

// Reads the trace, or follows it, into the session; a read that fails part
// way is told to the session, whose output then holds what was read.
template <class MakeSession>
std::optional<ReadFailure> readInto(const Settings& settings, const Outputs& outputs, Input& input,
                                    TraceReader& reader, std::unique_ptr<Session>& session,
                                    MakeSession makeSessionAgain, std::vector<Writer*> flushed,
                                    Writer& err) {
  StatusLine status(err, statusText(settings, input, reader, session));
  std::optional<ReadFailure> failure;
  try {
    if (settings.follow) {
      followTrace(settings, outputs, input, reader, session, makeSessionAgain, std::move(flushed),
                  status, err);
    } else if (status.active()) {
      InputWithStatus measured(input.file.get(), status);
      reader.follow(&measured);
      readTrace(reader, *session);
      reader.follow(nullptr);
    } else {
      readTrace(reader, *session);
    }
  } catch (const ReadError& error) {
    failure = ReadFailure{error.offset(), error.what()};
    session->readFailed(*failure);
  }
  // The line goes before the output that the end writes.
  status.clear();
  session->finish(reader.bytesRead());
  return failure;
}

// The outputs of a run: the -w file, when there is one, and what is known
// of it and of standard output.
struct OpenOutputs {
  Outputs identities;
  Writer* file = nullptr;
  bool emptied = false;  // a regular -w file, which is emptied before the run
};

// Opens the -w file and checks the outputs against the trace; returns the
// status that the run ends with (the message is written), or none.
std::optional<ExitStatus> openOutputs(const Settings& settings, const Input& input,
                                      ListingMemory& memory, Writer& out, Writer& err,
                                      const MissingStreams& missing, OpenOutputs& opened) {
  opened.identities.standard = identityOf(out);
  if (!settings.outputName.empty()) {
    if (const auto end =
            openOutput(settings.outputName, &input.identity, memory.output, opened.emptied, err))
      return end;
    opened.file = memory.output.get();
    opened.identities.name = settings.outputName;
    opened.identities.file = identityOf(*opened.file);
    // Standard output now carries only the invalid-minor-code messages; like
    // standard error, it must not end a listing that is being written well.
    // A reader of standard output that goes away must not end it either.
    out.setOnFailure(Writer::OnFailure::Drop);
    platform::keepRunningWhenAReaderGoesAway();
  } else if (missing.output) {
    // The program was started without standard output: the listing would go
    // nowhere.
    tell(err, {"Could not write the listing: ", std::strerror(EBADF), "\n"});
    return ExitStatus::CannotWrite;
  }
  if (std::string refusal = outputThatIsTheTrace(opened.identities, input.identity);
      !refusal.empty()) {
    tell(err, {refusal});
    return ExitStatus::CannotOpenOutput;
  }
  return std::nullopt;
}

// The line ends of the output, as its printer says: the page is the same
// bytes on every system; the listing, JSON and the summary are text, with
// the system's line ends. Standard output keeps its own beside a -w file.
void setLineEnds(const Session& session, const OpenOutputs& opened, Writer& out) {
  const platform::LineEnds lineEnds =
      session.writesBytes() ? platform::LineEnds::Bytes : platform::LineEnds::Text;
  Writer& listing = opened.file != nullptr ? *opened.file : out;
  if (listing.stream() != nullptr) platform::setLineEnds(listing.stream(), lineEnds);
}

// Runs the session over the trace and closes the outputs; returns the exit
// status. A read error ends the loop after the records already read; the
// output is still completed and closed before it is reported.
ExitStatus runSession(const Settings& settings, const OpenOutputs& opened, Input& input,
                      TraceReader& reader, std::unique_ptr<Session>& session, Writer& out,
                      Writer& err) {
  Writer& listing = opened.file != nullptr ? *opened.file : out;
  try {
    std::optional<ReadFailure> failure;
    try {
      failure = readInto(
          settings, opened.identities, input, reader, session,
          [&] { return std::make_unique<Session>(settings, listing, out, err); },
          {&listing, &out, &err}, err);
    } catch (const OutputIsTheTrace& refusal) {
      // Nothing more is written: the output now stands under the trace's name.
      if (opened.file != nullptr) opened.file->close();
      out.flush();
      tell(err, {refusal.what()});
      return ExitStatus::CannotOpenOutput;
    }
    if (opened.file != nullptr) opened.file->close();
    out.flush();
    if (failure) {
      tellReadFailure(err, settings.inputName, failure->reason);
      return ExitStatus::CannotReadInput;
    }
  } catch (const WriteError& error) {
    tell(err, {"Could not write the listing: ", error.what(), "\n"});
    return ExitStatus::CannotWrite;
  }
  return ExitStatus::Done;
}

ExitStatus listTrace(const Settings& settings, ListingMemory& memory, Writer& out, Writer& err,
                     const MissingStreams& missing) {
  if (const std::string_view refusal = choiceOf(settings.output).notForATerminal;
      !refusal.empty() && settings.outputName.empty() && out.stream() != nullptr &&
      platform::isTerminal(out.stream())) {
    tell(err, {"ovantrex: ", refusal, "\n"});
    return ExitStatus::CannotStart;
  }
  // While following, the requests that end the run are caught from the
  // start: opening a FIFO waits for its writer.
  std::optional<platform::StopRequests> stopRequests;
  if (settings.follow) stopRequests.emplace();
  // A followed trace may be one that the utility has yet to make; a stop
  // request during the wait ends the run before any output is opened.
  if (settings.follow && !waitForTrace(settings.inputName, err)) return ExitStatus::Done;
  Input input;
  if (const auto end = openInput(settings.inputName, input, err)) return *end;
  TraceReader reader(input.file.get(), std::move(memory.reader));
  OpenOutputs opened;
  if (const auto end = openOutputs(settings, input, memory, out, err, missing, opened)) return *end;
  // Colour is set for the run's whole output, the console taking it.
  std::optional<platform::TerminalColours> colours;
  setColours(settings, opened.file != nullptr ? *opened.file : out, colours);
  // The session takes its memory before an older listing is emptied.
  auto session =
      std::make_unique<Session>(settings, opened.file != nullptr ? *opened.file : out, out, err);
  setLineEnds(*session, opened, out);
  if (const auto end = emptyOutput(settings.outputName, memory.output, opened.emptied, err))
    return *end;
  return runSession(settings, opened, input, reader, session, out, err);
}

}  // namespace

int runProgram(int argc, const char* const* argv, Writer& out, Writer& err,
               const MissingStreams& missing) {
  // The large pieces of memory come first, before anything that could throw
  // for want of memory: had the runtime been short of memory at the start,
  // even throwing std::bad_alloc could fail, and these would fail first.
  // They are taken before the output is opened, so that want of them leaves
  // an old listing untouched.
  std::optional<TraceReader::Buffers> readerBuffers = TraceReader::Buffers::take();
  Reserved<Writer> outputRoom = Reserved<Writer>::take();
  if (!readerBuffers || !outputRoom) {
    tell(err, {kNoMemoryMessage});
    return code(ExitStatus::NoMemory);
  }
  ListingMemory memory{std::move(*readerBuffers), std::move(outputRoom)};
  try {
    const CommandLine commandLine = parseCommandLine(argc, argv, err);
    if (commandLine.request == Request::Help) printHelp(out);
    if (commandLine.request == Request::Version) printVersion(out);
    if (commandLine.request == Request::Fields) writeFieldList(out);
    if (commandLine.exitStatus) return code(*commandLine.exitStatus);
    platform::readTimeZone();
    if (commandLine.settings.output == Output::CompareText ||
        commandLine.settings.output == Output::CompareJson)
      return code(runComparison(commandLine.settings, std::move(memory.reader), memory.output, out,
                                err, missing));
    if (commandLine.settings.output == Output::BatchRows)
      return code(summarizeList(commandLine.settings, std::move(memory.reader), memory.output, out,
                                err, missing));
    return code(listTrace(commandLine.settings, memory, out, err, missing));
  } catch (const std::bad_alloc&) {
    tell(err, {kNoMemoryMessage});
    return code(ExitStatus::NoMemory);
  }
}

}  // namespace ovantrex
