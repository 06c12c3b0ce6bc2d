// Runs the real program (OVANTREX_BINARY) in a child process: through the
// shell, for redirections written as a user would type them, or directly,
// with chosen standard descriptors and a limit on its address space.
#pragma once

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "trace_builder.h"

namespace ovantrex::test {

// How a child ended and what it wrote where that was captured.
struct ChildResult {
  int status = -1;   // the exit status, or -1 when a signal ended the child
  int signal = 0;    // the signal that ended it, or 0
  std::string out;   // standard output
  std::string err;   // standard error
  long peakKiB = 0;  // runChild(): the child's peak resident memory
};

inline ChildResult endOf(int raw) {
  ChildResult r;
  if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) r.signal = WTERMSIG(raw);
  return r;
}

// Runs a shell command line in which $OVANTREX is the program, with TZ=UTC
// and standard input from /dev/null; standard output and standard error are
// captured unless the command redirects them.
inline ChildResult runShell(const TempDir& dir, const std::string& command) {
  const std::string out = dir.file("shell-stdout"), err = dir.file("shell-stderr");
  const std::string line = "OVANTREX='" OVANTREX_BINARY "'; export TZ=UTC; { " + command +
                           "; } >'" + out + "' 2>'" + err + "' </dev/null";
  ChildResult r = endOf(std::system(line.c_str()));
  r.out = readFile(out);
  r.err = readFile(err);
  return r;
}

// What the three standard descriptors of a child are.
// kCapture: a file of the test's, empty as standard input, read back into
// ChildResult as standard output or error. kClosed: closed. Any other value:
// that descriptor of this process.
inline constexpr int kCapture = -2;
inline constexpr int kClosed = -1;

struct ChildSetup {
  std::vector<std::string> args;  // after the program's name
  std::array<int, 3> descriptors = {kCapture, kCapture, kCapture};
  rlim_t addressSpace = RLIM_INFINITY;  // RLIMIT_AS of the child
};

// The exit status of a child whose execv failed.
inline constexpr int kCouldNotStart = 126;

// In the child after fork: puts the wanted descriptors in place of 0 to 2,
// closes all others, sets SIGPIPE back and the limit, and runs argv.
// Async-signal-safe calls only, up to the exec.
[[noreturn]] inline void execChild(std::vector<char*>& argv, const int (&wanted)[3],
                                   const ChildSetup& setup) {
  int moved[3];
  for (int i = 0; i < 3; ++i) moved[i] = wanted[i] >= 0 ? fcntl(wanted[i], F_DUPFD, 100) : -1;
  for (int i = 0; i < 3; ++i) {
    if (moved[i] >= 0) {
      dup2(moved[i], i);
    } else {
      close(i);
    }
  }
  for (int fd = 3; fd < 1024; ++fd) close(fd);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &standard, nullptr);
  if (setup.addressSpace != RLIM_INFINITY) {
    const struct rlimit limit = {setup.addressSpace, setup.addressSpace};
    setrlimit(RLIMIT_AS, &limit);
  }
  execv(argv[0], argv.data());
  _exit(kCouldNotStart);
}

// Runs the program with the setup's arguments and descriptors. SIGPIPE is
// back at its default in the child, whatever this process does with it.
inline ChildResult runChild(const TempDir& dir, const ChildSetup& setup) {
  std::vector<std::string> args = setup.args;
  args.insert(args.begin(), OVANTREX_BINARY);
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int wanted[3] = {setup.descriptors[0], setup.descriptors[1], setup.descriptors[2]};
  const std::string captured[3] = {dir.file("child-stdin"), dir.file("child-stdout"),
                                   dir.file("child-stderr")};
  for (int i = 0; i < 3; ++i) {
    if (wanted[i] == kCapture)
      wanted[i] = open(captured[i].c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  }
  // The child's peak counts what this process holds at the fork: memory
  // that earlier tests freed goes back first.
  malloc_trim(0);
  const pid_t pid = fork();
  if (pid == 0) execChild(argv, wanted, setup);
  int raw = 0;
  rusage usage{};
  if (pid > 0) wait4(pid, &raw, 0, &usage);
  ChildResult r = pid > 0 ? endOf(raw) : ChildResult{};
  r.peakKiB = usage.ru_maxrss;
  for (int i = 0; i < 3; ++i) {
    if (wanted[i] >= 0 && setup.descriptors[static_cast<std::size_t>(i)] == kCapture)
      close(wanted[i]);
  }
  if (setup.descriptors[1] == kCapture) r.out = readFile(captured[1]);
  if (setup.descriptors[2] == kCapture) r.err = readFile(captured[2]);
  return r;
}

}  // namespace ovantrex::test
