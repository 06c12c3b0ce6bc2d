#include <cstdio>

#include "app/exit_status.h"
#include "app/platform.h"
#include "app/program.h"
#include "core/reserved.h"

int main(int argc, char** argv) {
  namespace platform = ovantrex::platform;
  ovantrex::MissingStreams missing;
  if (const auto status = platform::fillMissingStandardStreams(missing))
    return ovantrex::code(*status);
  // The writers' buffers are large: they are taken from the heap, where a
  // failure shows (on the stack it could not), and without exceptions.
  using ovantrex::Reserved;
  using ovantrex::Writer;
  Reserved<Writer> out = Reserved<Writer>::take();
  Reserved<Writer> err = Reserved<Writer>::take();
  const char* const* arguments = platform::commandLine(argc, argv);
  if (!out || !err || arguments == nullptr) {
    platform::say(ovantrex::kNoMemoryMessage);
    return ovantrex::code(ovantrex::ExitStatus::NoMemory);
  }
  Writer& output = out.make(stdout, Writer::OnFailure::Throw, platform::isTerminal(stdout));
  Writer& errors = err.make(stderr, Writer::OnFailure::Drop, platform::isTerminal(stderr));
  return ovantrex::runProgram(argc, arguments, output, errors, missing);
}
