// One line of progress on standard error while a long run goes on at a
// terminal: what a followed summary or page has read so far, or how much of
// the trace a run into a -w file has read. Redrawn at most four times a
// second, taken off before anything else is written to standard error (the
// writer clears it first) and at the end. Nothing of it reaches a pipe or a
// file: it is drawn only when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "analysis/session_analysis.h"
#include "output/common/writer.h"
#include "trace/trace_reader.h"

namespace ovantrex {

class StatusLine {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kFirstAfter = std::chrono::milliseconds(500);
  static constexpr auto kRedrawAfter = std::chrono::milliseconds(250);

  // The line of text() on err, when err is a terminal; otherwise (or
  // without text) nothing.
  StatusLine(Writer& err, std::function<std::string()> text);
  ~StatusLine();
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  // Whether it is drawn at all (err is a terminal).
  bool active() const { return err_ != nullptr; }
  // Draws the line anew when it is time.
  void tick();
  // Takes the line off the terminal.
  void clear();

 private:
  Writer* err_;  // null when err is no terminal
  std::function<std::string()> text_;
  std::size_t width_ = 80;
  Clock::time_point next_;
  std::size_t drawn_ = 0;  // the width of the line on the terminal
  std::string clearing_;   // what takes it off: "\r", blanks, "\r"
};

// "1204 records, 2 updates (the last failed so far), 3 error replies".
std::string progressLine(const SessionAnalysis::Progress& progress);
// "12.5 of 40.0 MiB read (31%)"; size: the trace's, when it is known.
std::string bytesReadLine(std::uint64_t read, std::optional<std::uint64_t> size);

// The input of a run that is not followed, read as the reader reads a
// file, with the status line drawn at each block.
class InputWithStatus final : public FollowedInput {
 public:
  InputWithStatus(std::FILE* stream, StatusLine& status) : stream_(stream), status_(status) {}
  std::size_t readMore(std::uint64_t offset, std::span<std::uint8_t> block) override;

 private:
  std::FILE* stream_;
  StatusLine& status_;
  int failure_ = 0;  // of a read whose bytes were handed out first
  bool atEnd_ = false;
};

}  // namespace ovantrex
