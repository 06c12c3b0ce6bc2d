// Writes the JSON Lines of every fuzz input named on the command line (the
// trace after its two option bytes) to standard output, one after the
// other, so that a single schema check can read them all.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/session.h"
#include "app/settings.h"
#include "output/common/writer.h"
#include "trace/record_loop.h"
#include "trace/trace_reader.h"

int main(int argc, char** argv) {
  ovantrex::Writer out(stdout);
  ovantrex::Writer errors;
  ovantrex::Settings settings;
  settings.output = ovantrex::Output::JsonLines;
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    if (bytes.size() < 2) continue;
    ovantrex::TraceReader reader(std::span<const std::uint8_t>(bytes).subspan(2));
    ovantrex::Session session(settings, out, out, errors);
    ovantrex::readTrace(reader, session);
    session.finish(reader.bytesRead());
    errors.clear();
  }
  out.flush();
  return 0;
}
