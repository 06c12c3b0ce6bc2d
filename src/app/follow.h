// Following a trace while it is written (--follow): waiting at the end of
// the file for more, noticing a file that shrinks, is replaced or is written
// anew, and ending cleanly on SIGINT, SIGTERM or SIGHUP.
#pragma once

#include <sys/stat.h>

#include <array>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/common/writer.h"
#include "trace/trace_reader.h"

namespace ovantrex {

// SIGINT, SIGTERM or SIGHUP asked the run to end.
class FollowStopped : public std::exception {
 public:
  const char* what() const noexcept override { return "stopped"; }
};

// The trace shrank, another file took its name, or its bytes were written
// anew: it is read again from its start. what() says which ("was
// truncated", "was replaced", "was rewritten").
class TraceRestarted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Turns SIGINT, SIGTERM and SIGHUP (the terminal went away) into a request
// to stop, for as long as it lives. A system call that one of them
// interrupts returns (EINTR) instead of going on.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  static bool requested();

 private:
  struct sigaction oldInterrupt_ {};
  struct sigaction oldTerminate_ {};
  struct sigaction oldHangUp_ {};
};

class TraceFollower final : public InputWait {
 public:
  // path: the trace's name, watched for a new file; flushed: the writers to
  // flush before every wait, so that what has been listed is out.
  TraceFollower(std::string path, std::vector<Writer*> flushed);
  ~TraceFollower() override;
  TraceFollower(const TraceFollower&) = delete;
  TraceFollower& operator=(const TraceFollower&) = delete;

  // The trace as just opened, read from its start.
  void attach(std::FILE* stream);

  void beforeRead() override;
  bool waitForMore(std::uint64_t offset) override;
  void arrived(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;

 private:
  // Bytes of the trace that were read, kept to notice a trace that was
  // truncated and written again past the old end between two looks.
  struct Kept {
    static constexpr std::size_t kSize = 64;
    std::array<std::uint8_t, kSize> bytes{};
    std::size_t size = 0;
    std::uint64_t offset = 0;  // of bytes[0] in the trace
  };

  // Whether the kept bytes of the trace still stand where they were read.
  bool stillReads(const Kept& kept) const;
  void flushAll();
  // Sleeps until the file or its folder changes, or a while has passed.
  void sleep();
  void watch();

  std::string path_;
  std::vector<Writer*> flushed_;
  int descriptor_ = -1;
  bool regular_ = false;
  struct stat identity_ {};
  Kept head_;        // the first bytes of the trace
  Kept tail_;        // the last bytes read
  int notify_ = -1;  // inotify, when the system has it
  int fileWatch_ = -1;
  int folderWatch_ = -1;
};

}  // namespace ovantrex
