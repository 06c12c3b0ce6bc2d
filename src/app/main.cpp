#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "app/program.h"
#include "core/reserved.h"

namespace {

// Writes to standard error without a Writer (there may be none).
void say(std::string_view message) {
  if (write(STDERR_FILENO, message.data(), message.size()) < 0) {
    // Nothing more can be done.
  }
}

// Opens /dev/null on each of standard input, output and error that the
// program was started without, before any file is opened: otherwise the
// trace or the listing would become one of them, and messages meant for
// standard output or error would land in the listing. Notes which were
// missing. Returns 0, or the exit status when /dev/null cannot be had.
int fillClosedStandardDescriptors(ovantrex::MissingStreams& missing) {
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    if (descriptor == 1) missing.output = true;
    const bool input = descriptor == 0;
    const int opened = open("/dev/null", input ? O_RDONLY : O_WRONLY);
    if (opened == descriptor) continue;
    if (opened >= 0) close(opened);
    say(input ? "Could not open '/dev/null' for reading\n"
              : "Could not open '/dev/null' for writing\n");
    return input ? 2 : 3;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ovantrex::MissingStreams missing;
  if (const int status = fillClosedStandardDescriptors(missing); status != 0) return status;
  // The writers' buffers are large: they are taken from the heap, where a
  // failure shows (on the stack it could not), and without exceptions.
  using ovantrex::Reserved;
  using ovantrex::Writer;
  Reserved<Writer> out = Reserved<Writer>::take();
  Reserved<Writer> err = Reserved<Writer>::take();
  if (!out || !err) {
    say(ovantrex::kNoMemoryMessage);
    return ovantrex::kStatusNoMemory;
  }
  return ovantrex::runProgram(argc, argv, out.make(stdout),
                              err.make(stderr, Writer::OnFailure::Drop), missing);
}
