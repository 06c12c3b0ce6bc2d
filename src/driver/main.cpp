#include <cstdio>

#include "driver/program.h"

int main(int argc, char** argv) {
  ovantrex::Writer out(stdout);
  ovantrex::Writer err(stderr);
  return ovantrex::runProgram(argc, argv, out, err);
}
