// Writes the shells' completion files, made from the table of options, into
// a folder: make_completions FOLDER. Run by the build; not installed.
#include <cstdio>
#include <fstream>
#include <string>

#include "app/completions.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_completions FOLDER\n", stderr);
    return 2;
  }
  for (const ovantrex::CompletionFile& file : ovantrex::kCompletionFiles) {
    const std::string path = std::string(argv[1]) + "/" + std::string(file.name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << ovantrex::completionScript(file.shell, ovantrex::optionTable());
    out.close();
    if (!out) {
      std::fprintf(stderr, "make_completions: could not write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
