// Following a trace while it is written (--follow): waiting at the end of
// the file for more, noticing a file that shrinks or is replaced, and
// ending cleanly on SIGINT or SIGTERM.
#pragma once

#include <sys/stat.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/trace_reader.h"
#include "render/writer.h"

namespace ovantrex {

// SIGINT or SIGTERM asked the run to end.
class FollowStopped : public std::exception {
 public:
  const char* what() const noexcept override { return "stopped"; }
};

// The trace shrank or another file took its name: it is read again from its
// start. what() says which ("was truncated", "was replaced").
class TraceRestarted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Turns SIGINT and SIGTERM into a request to stop, for as long as it lives.
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

 private:
  void flushAll();
  // Sleeps until the file or its folder changes, or a while has passed.
  void sleep();
  void watch();

  std::string path_;
  std::vector<Writer*> flushed_;
  int descriptor_ = -1;
  bool regular_ = false;
  struct stat identity_ {};
  int notify_ = -1;  // inotify, when the system has it
  int fileWatch_ = -1;
  int folderWatch_ = -1;
};

}  // namespace ovantrex
