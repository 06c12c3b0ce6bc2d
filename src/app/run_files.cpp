// The files of a run: the trace opened and checked, the -w output opened
// without emptying it, and the refusal of an output that is the trace.
#include "app/run_files.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "app/platform.h"
#include "core/reserved.h"

namespace ovantrex {

namespace {

using platform::FileIdentity;

// The message that refuses an output (named as "'name'" or "standard
// output") that is the trace itself, under whatever name (a link, another
// path, /proc/self/fd/N), or that the system does not tell from it: writing
// would destroy the trace. Empty when it is another file.
std::string refusalOf(const std::string& output, const FileIdentity& identity,
                      const FileIdentity& trace) {
  switch (platform::sameStoredFile(identity, trace)) {
    case platform::SameFile::No: return {};
    case platform::SameFile::Yes:
      return "Could not open " + output + " for writing: it is the trace being read\n";
    case platform::SameFile::CannotTell: break;
  }
  return "Could not open " + output +
         " for writing: the system does not tell whether it is the trace being read\n";
}

}  // namespace

void tell(Writer& err, std::initializer_list<std::string_view> parts) {
  for (const std::string_view part : parts) err.put(part);
  err.flush();
}

std::optional<ExitStatus> openInput(const std::string& name, Input& input, Writer& err) {
  if (const std::string_view why = platform::whyNoFileOpensBy(name); !why.empty()) {
    tell(err, {"Could not open '", name, "' for reading: ", why, "\n"});
    return ExitStatus::CannotReadInput;
  }
  errno = 0;
  input.file.reset(platform::openForReading(name));
  if (!input.file && errno == EINTR && platform::StopRequests::requested()) return ExitStatus::Done;
  if (!input.file && errno == ENOMEM) {
    tell(err, {kNoMemoryMessage});
    return ExitStatus::NoMemory;
  }
  // A directory opens on Linux, but cannot be read as a trace.
  const std::optional<FileIdentity> identity =
      input.file ? platform::identityOf(input.file.get()) : std::nullopt;
  if (!identity || identity->kind == FileIdentity::Kind::Directory) {
    tell(err, {"Could not open '", name, "' for reading\n"});
    return ExitStatus::CannotReadInput;
  }
  input.identity = *identity;
  return std::nullopt;
}

void tellReadFailure(Writer& err, std::string_view name, std::string_view reason) {
  tell(err, {"Could not read '", name, "': ", reason, "\n"});
}

std::optional<ExitStatus> openOutput(const std::string& name, const FileIdentity* trace,
                                     Reserved<Writer>& room, bool& emptied, Writer& err) {
  const auto cannotOpen = [&err, &name] {
    tell(err, {"Could not open '", name, "' for writing\n"});
    return ExitStatus::CannotOpenOutput;
  };
  if (const std::string_view why = platform::whyNoFileOpensBy(name); !why.empty()) {
    tell(err, {"Could not open '", name, "' for writing: ", why, "\n"});
    return ExitStatus::CannotOpenOutput;
  }
  errno = 0;
  File file(platform::openForWriting(name));
  if (!file && errno == EINTR && platform::StopRequests::requested()) return ExitStatus::Done;
  if (!file && errno == ENOMEM) {
    tell(err, {kNoMemoryMessage});
    return ExitStatus::NoMemory;
  }
  if (!file) return cannotOpen();
  const std::optional<FileIdentity> identity = platform::identityOf(file.get());
  if (!identity) return cannotOpen();
  if (trace != nullptr) {
    if (std::string refusal = refusalOf("'" + name + "'", *identity, *trace); !refusal.empty()) {
      tell(err, {refusal});
      return ExitStatus::CannotOpenOutput;
    }
  }
  const bool terminal = platform::isTerminal(file.get());
  room.make(file.release(), Writer::OnFailure::Throw, terminal);
  // Only a regular file holds an older listing to empty.
  emptied = identity->kind == FileIdentity::Kind::Regular;
  return std::nullopt;
}

std::optional<ExitStatus> emptyOutput(const std::string& name, Reserved<Writer>& room, bool emptied,
                                      Writer& err) {
  if (!emptied || platform::emptyFile(room.get()->stream())) return std::nullopt;
  try {
    room.get()->close();
  } catch (const WriteError&) {
    // Nothing was written; the open is what failed.
  }
  room.destroy();
  tell(err, {"Could not open '", name, "' for writing\n"});
  return ExitStatus::CannotOpenOutput;
}

std::optional<FileIdentity> identityOf(const Writer& writer) {
  if (writer.stream() == nullptr) return std::nullopt;
  return platform::identityOf(writer.stream());
}

std::string outputThatIsTheTrace(const Outputs& outputs, const FileIdentity& trace) {
  if (outputs.file) {
    if (std::string refusal = refusalOf("'" + outputs.name + "'", *outputs.file, trace);
        !refusal.empty())
      return refusal;
  }
  if (outputs.standard) return refusalOf("standard output", *outputs.standard, trace);
  return {};
}

}  // namespace ovantrex
