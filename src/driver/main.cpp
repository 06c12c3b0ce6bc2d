#include <cstdio>

#include "driver/program.h"

int main(int argc, char** argv) {
  ovantrex::Writer out(stdout);
  ovantrex::Writer err(stderr, ovantrex::Writer::OnFailure::Drop);
  return ovantrex::runProgram(argc, argv, out, err);
}
