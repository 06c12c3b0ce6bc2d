#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "driver/program.h"
#include "driver/reserved.h"

namespace {

// Writes to standard error without a Writer (there may be none).
void say(std::string_view message) {
  if (write(STDERR_FILENO, message.data(), message.size()) < 0) {
    // Nothing more can be done.
  }
}

}  // namespace

int main(int argc, char** argv) {
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
                              err.make(stderr, Writer::OnFailure::Drop));
}
