// What differs between the systems that the tests run on (Linux, and Windows
// under Wine), in one place: the environment, the local time zone, the line
// ends of the text files that the program writes, and running a command.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "trace_builder.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace ovantrex::test {

inline void setEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void unsetEnvironment(const std::string& name) {
#ifdef _WIN32
  _putenv_s(name.c_str(), "");  // an empty value takes the variable away
#else
  ::unsetenv(name.c_str());
#endif
}

// Has the C library read TZ again.
inline void readZoneAgain() {
#ifdef _WIN32
  _tzset();
#else
  tzset();
#endif
}

// Sets TZ and has the C library read it.
inline void useZone(const std::string& zone) {
  setEnvironment("TZ", zone);
  readZoneAgain();
}

// Central European time: one hour ahead of UTC, two in summer. The Windows C
// library reads TZ only as a name, an offset and a summer-time name, and
// takes the dates of summer time from United States law; in January and
// July both agree.
#ifdef _WIN32
inline constexpr const char* kCentralEuropeanZone = "CET-1CEST";
#else
inline constexpr const char* kCentralEuropeanZone = "CET-1CEST,M3.5.0,M10.5.0/3";
#endif

// A text file that the program wrote (a listing, a summary, JSON Lines),
// with "\n" for its line ends. On Windows they must be "\r\n", as text files
// are written there; a bare "\n" throws.
inline std::string readTextOutput(const std::filesystem::path& path) {
  std::string text = readFile(path);
#ifdef _WIN32
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
      throw std::runtime_error(path.string() + ": a line end without CR at byte " +
                               std::to_string(i));
    lines += text[i];
  }
  text = lines;
#endif
  return text;
}

struct CommandResult {
  int status = -1;  // the exit status; -1 when the command did not end by itself
  std::string out;  // its standard output
};

// Runs a command through the system's shell and reads its standard output.
inline CommandResult runCommand(const std::string& command) {
  CommandResult result;
#ifdef _WIN32
  std::FILE* pipe = _popen(command.c_str(), "rb");
#else
  std::FILE* pipe = popen(command.c_str(), "r");
#endif
  if (pipe == nullptr) return result;
  char block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;)
    result.out.append(block, n);
#ifdef _WIN32
  result.status = _pclose(pipe);
#else
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return result;
}

}  // namespace ovantrex::test
