#include "app/program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/follow.h"
#include "app/session.h"
#include "core/reserved.h"
#include "trace/record_loop.h"
#include "trace/trace_reader.h"

namespace ovantrex {

namespace {

constexpr int kCannotOpenInput = 2;
constexpr int kCannotOpenOutput = 3;
constexpr int kCannotWrite = 4;
constexpr int kCannotRead = 2;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void tell(Writer& err, std::string_view a, std::string_view b = {}, std::string_view c = {},
          std::string_view d = {}, std::string_view e = {}) {
  for (const std::string_view part : {a, b, c, d, e}) err.put(part);
  err.flush();
}

// The trace file, open for reading, and the file it is on disk.
struct Input {
  File file;
  struct stat identity {};
};

// What openInput() returns when a signal ended the wait for a FIFO's
// writer while following.
constexpr int kStoppedWhileOpening = -1;

// Opens the trace; returns 0 or the exit status (the message is written).
int openInput(const std::string& name, Input& input, Writer& err) {
  errno = 0;
  input.file.reset(std::fopen(name.c_str(), "rb"));
  if (!input.file && errno == EINTR && StopSignals::requested()) return kStoppedWhileOpening;
  if (!input.file && errno == ENOMEM) {
    tell(err, kNoMemoryMessage);
    return kStatusNoMemory;
  }
  // A directory opens, but cannot be read as a trace.
  if (!input.file || fstat(fileno(input.file.get()), &input.identity) != 0 ||
      S_ISDIR(input.identity.st_mode)) {
    tell(err, "Could not open '", name, "' for reading\n");
    return kCannotOpenInput;
  }
  return 0;
}

// Whether the output file is the trace itself, under whatever name (a link,
// another path, /proc/self/fd/N): emptying it would destroy the trace. A
// character device such as /dev/null or a terminal holds no stored bytes, so
// it may be both.
bool isTheTrace(const struct stat& output, const struct stat& trace) {
  return output.st_dev == trace.st_dev && output.st_ino == trace.st_ino && !S_ISCHR(output.st_mode);
}

// What a run takes before its first record: the reader's block and record
// buffer, and the room for the writer of a -w file.
struct ListingMemory {
  TraceReader::Buffers reader;
  Reserved<Writer> output;
};

// Opens the -w file for the listing and makes its writer in room; returns 0
// or the exit status (the message is written). The file is opened without
// emptying it: emptyOutput() does that once the run has all it needs, and
// only when the file is known not to be the trace.
int openOutput(const std::string& name, const struct stat& trace, Reserved<Writer>& room,
               int& descriptorOut, Writer& err) {
  const auto cannotOpen = [&err, &name] {
    tell(err, "Could not open '", name, "' for writing\n");
    return kCannotOpenOutput;
  };
  const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) return cannotOpen();
  struct stat identity {};
  if (fstat(descriptor, &identity) != 0) {
    close(descriptor);
    return cannotOpen();
  }
  if (isTheTrace(identity, trace)) {
    close(descriptor);
    tell(err, "Could not open '", name, "' for writing: it is the trace being read\n");
    return kCannotOpenOutput;
  }
  errno = 0;
  std::FILE* const file = fdopen(descriptor, "w");  // "w" does not empty the file
  if (file == nullptr) {
    const int error = errno;
    close(descriptor);
    if (error != ENOMEM) return cannotOpen();
    tell(err, kNoMemoryMessage);
    return kStatusNoMemory;
  }
  room.make(file);
  // Only a regular file holds an older listing to empty.
  descriptorOut = S_ISREG(identity.st_mode) ? descriptor : -1;
  return 0;
}

// Empties the -w file opened by openOutput(); returns 0 or the exit status.
int emptyOutput(const std::string& name, Reserved<Writer>& room, int descriptor, Writer& err) {
  if (descriptor < 0 || ftruncate(descriptor, 0) == 0) return 0;
  try {
    room.get()->close();
  } catch (const WriteError&) {
    // Nothing was written; the open is what failed.
  }
  room.destroy();
  tell(err, "Could not open '", name, "' for writing\n");
  return kCannotOpenOutput;
}

// The files that the run writes, as they are on disk: a file among them
// that is the trace itself is refused, whenever the trace is opened.
struct Outputs {
  std::string name;  // of the -w file; empty without one
  std::optional<struct stat> file;
  std::optional<struct stat> standard;  // standard output
};

// The identity of the file that a writer writes, when it has one.
std::optional<struct stat> identityOf(int descriptor) {
  struct stat identity {};
  if (descriptor < 0 || fstat(descriptor, &identity) != 0) return std::nullopt;
  return identity;
}

// The message that refuses an output that is the trace; empty when none is.
std::string outputThatIsTheTrace(const Outputs& outputs, const struct stat& trace) {
  if (outputs.file && isTheTrace(*outputs.file, trace))
    return "Could not open '" + outputs.name + "' for writing: it is the trace being read\n";
  if (outputs.standard && isTheTrace(*outputs.standard, trace))
    return "Could not open standard output for writing: it is the trace being read\n";
  return {};
}

// A trace opened again while following is one of the outputs.
class OutputIsTheTrace : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the trace as it grows, until SIGINT, SIGTERM or SIGHUP or, for a
// pipe, until its writer closes it; a trace that shrinks, is replaced or is
// written anew is read again from its start, with a fresh session. Returns
// at the end of the run; the caller finishes the session. Throws the reopen
// failure as a ReadError, and OutputIsTheTrace when the trace that took the
// name is an output of this run.
template <class MakeSession>
void followTrace(const Settings& settings, const Outputs& outputs, Input& input,
                 TraceReader& reader, std::unique_ptr<Session>& session,
                 MakeSession makeSessionAgain, std::vector<Writer*> flushed, Writer& err) {
  TraceFollower follower(settings.inputName, std::move(flushed));
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
      again.file.reset(std::fopen(settings.inputName.c_str(), "rb"));
      if (!again.file) throw ReadError(errno != 0 ? errno : ENOENT);
      if (fstat(fileno(again.file.get()), &again.identity) == 0) {
        if (std::string refusal = outputThatIsTheTrace(outputs, again.identity); !refusal.empty())
          throw OutputIsTheTrace(refusal);
      }
      tell(err, "ovantrex: '", settings.inputName, "' ", restarted.what(),
           "; listing it again from its start\n");
      input = std::move(again);
      reader.restart(input.file.get());
      follower.attach(input.file.get());
      // The old session goes first: the new one takes the same memory.
      session.reset();
      session = makeSessionAgain();
    }
  }
}

// Reads the trace, or follows it, into the session; a read that fails part
// way is told to the session, whose output then holds what was read.
template <class MakeSession>
std::optional<ReadFailure> readInto(const Settings& settings, const Outputs& outputs, Input& input,
                                    TraceReader& reader, std::unique_ptr<Session>& session,
                                    MakeSession makeSessionAgain, std::vector<Writer*> flushed,
                                    Writer& err) {
  std::optional<ReadFailure> failure;
  try {
    if (settings.follow) {
      followTrace(settings, outputs, input, reader, session, makeSessionAgain, std::move(flushed),
                  err);
    } else {
      readTrace(reader, *session);
    }
  } catch (const ReadError& error) {
    failure = ReadFailure{error.offset(), error.what()};
    session->readFailed(*failure);
  }
  session->finish(reader.bytesRead());
  return failure;
}

// The outputs of a run: the -w file, when there is one, and what is known
// of it and of standard output.
struct OpenOutputs {
  Outputs identities;
  Writer* file = nullptr;
  int descriptor = -1;  // of a regular -w file, which is emptied before the run
};

// Opens the -w file and checks the outputs against the trace; returns 0 or
// the exit status (the message is written).
int openOutputs(const Settings& settings, const Input& input, ListingMemory& memory, Writer& out,
                Writer& err, const MissingStreams& missing, OpenOutputs& opened) {
  opened.identities.standard = identityOf(out.descriptor());
  if (!settings.outputName.empty()) {
    if (const int status =
            openOutput(settings.outputName, input.identity, memory.output, opened.descriptor, err);
        status != 0)
      return status;
    opened.file = memory.output.get();
    opened.identities.name = settings.outputName;
    opened.identities.file = identityOf(opened.file->descriptor());
    // Standard output now carries only the invalid-minor-code messages; like
    // standard error, it must not end a listing that is being written well.
    // A reader of standard output that goes away must not end it either.
    out.setOnFailure(Writer::OnFailure::Drop);
    std::signal(SIGPIPE, SIG_IGN);
  } else if (missing.output) {
    // The program was started without standard output: the listing would go
    // nowhere.
    tell(err, "Could not write the listing: ", std::strerror(EBADF), "\n");
    return kCannotWrite;
  }
  if (std::string refusal = outputThatIsTheTrace(opened.identities, input.identity);
      !refusal.empty()) {
    tell(err, refusal);
    return kCannotOpenOutput;
  }
  return 0;
}

// Runs the session over the trace and closes the outputs; returns the exit
// status. A read error ends the loop after the records already read; the
// output is still completed and closed before it is reported.
int runSession(const Settings& settings, const OpenOutputs& opened, Input& input,
               TraceReader& reader, std::unique_ptr<Session>& session, Writer& out, Writer& err) {
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
      tell(err, refusal.what());
      return kCannotOpenOutput;
    }
    if (opened.file != nullptr) opened.file->close();
    out.flush();
    if (failure) {
      tell(err, "Could not read '", settings.inputName, "': ", failure->reason, "\n");
      return kCannotRead;
    }
  } catch (const WriteError& error) {
    tell(err, "Could not write the listing: ", error.what(), "\n");
    return kCannotWrite;
  }
  return 0;
}

int listTrace(const Settings& settings, ListingMemory& memory, Writer& out, Writer& err,
              const MissingStreams& missing) {
  // While following, the signals that end the run are caught from the
  // start: opening a FIFO waits for its writer.
  std::optional<StopSignals> signals;
  if (settings.follow) signals.emplace();
  Input input;
  if (const int status = openInput(settings.inputName, input, err); status != 0)
    return status == kStoppedWhileOpening ? 0 : status;
  TraceReader reader(input.file.get(), std::move(memory.reader));
  OpenOutputs opened;
  if (const int status = openOutputs(settings, input, memory, out, err, missing, opened);
      status != 0)
    return status;
  // The session takes its memory before an older listing is emptied.
  auto session =
      std::make_unique<Session>(settings, opened.file != nullptr ? *opened.file : out, out, err);
  if (const int status = emptyOutput(settings.outputName, memory.output, opened.descriptor, err);
      status != 0)
    return status;
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
    tell(err, kNoMemoryMessage);
    return kStatusNoMemory;
  }
  ListingMemory memory{std::move(*readerBuffers), std::move(outputRoom)};
  try {
    const CommandLine commandLine = parseCommandLine(argc, argv, err);
    if (commandLine.request == Request::Help) printHelp(out);
    if (commandLine.request == Request::Version) printVersion(out);
    if (commandLine.exitStatus) return *commandLine.exitStatus;
    tzset();
    return listTrace(commandLine.settings, memory, out, err, missing);
  } catch (const std::bad_alloc&) {
    tell(err, kNoMemoryMessage);
    return kStatusNoMemory;
  }
}

}  // namespace ovantrex
