// Following a trace while it is written (--follow): waiting at the end of
// the file for more, noticing a file that shrinks, is replaced or is written
// anew, and ending cleanly when asked to stop (see platform::StopRequests).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/status_line.h"
#include "output/common/writer.h"
#include "trace/trace_reader.h"

namespace ovantrex {

// A stop request (Ctrl-C, a signal) ended the run.
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

// --follow on a trace that is not there yet: waits, as `tail -F` does,
// until a file stands under its name (or anything that is no missing file:
// opening it then tells what it is), saying once on err that it waits when
// err is a terminal. False when a stop request ended the wait.
bool waitForTrace(const std::string& name, Writer& err);

class TraceFollower final : public FollowedInput {
 public:
  // path: the trace's name, watched for a new file; flushed: the writers to
  // flush before every wait, so that what has been listed is out; status:
  // the status line, drawn at every read and wait.
  TraceFollower(std::string path, std::vector<Writer*> flushed, StatusLine& status);

  // The trace as just opened, read from its start.
  void attach(std::FILE* stream);

  std::size_t readMore(std::uint64_t offset, std::span<std::uint8_t> block) override;

 private:
  // Bytes of the trace that were read, kept to notice a trace that was
  // truncated and written again past the old end between two looks.
  struct Kept {
    static constexpr std::size_t kSize = 64;
    std::array<std::uint8_t, kSize> bytes{};
    std::size_t size = 0;
    std::uint64_t offset = 0;  // of bytes[0] in the trace
  };

  // Before every read: a stop request ends the run; before a read of a pipe
  // that would wait, what has been listed goes out.
  void beforeRead();
  // A read found no more bytes at offset: waits until more may have come.
  // True to read again, false when the end is final (a pipe).
  bool waitForMore(std::uint64_t offset);
  // A read delivered bytes, the first of them at offset in the trace.
  void arrived(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // Whether the kept bytes of the trace still stand where they were read.
  bool stillReads(const Kept& kept) const;
  void flushAll();

  std::string path_;
  std::vector<Writer*> flushed_;
  StatusLine& status_;
  std::FILE* stream_ = nullptr;
  bool regular_ = false;
  platform::FileIdentity identity_;
  Kept head_;  // the first bytes of the trace
  Kept tail_;  // the last bytes read
  platform::ChangeWatch changes_;
};

}  // namespace ovantrex
