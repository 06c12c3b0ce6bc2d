#include "app/status_line.h"

#include <cerrno>
#include <cstdio>
#include <utility>

#include "app/platform.h"
#include "core/session_codes.h"

namespace ovantrex {

StatusLine::StatusLine(Writer& err, std::function<std::string()> text)
    : err_(text && err.stream() != nullptr && platform::isTerminal(err.stream()) ? &err : nullptr),
      text_(std::move(text)),
      next_(Clock::now() + kFirstAfter) {
  if (err_ != nullptr) width_ = platform::terminalWidth(err.stream()).value_or(width_);
}

StatusLine::~StatusLine() {
  clear();
  if (err_ != nullptr) err_->clearBeforeNext({});
}

void StatusLine::tick() {
  if (err_ == nullptr) return;
  const Clock::time_point now = Clock::now();
  if (now < next_) return;
  next_ = now + kRedrawAfter;
  std::string line = text_();
  // Short of the last column, where a terminal may wrap.
  if (width_ > 1 && line.size() >= width_) line.resize(width_ - 1);
  // The line's own bytes take it off first; blanks cover a longer line
  // before it. No control but the carriage return: any terminal or
  // console takes it.
  err_->clearBeforeNext({});
  err_->escapeControls(false);
  err_->put('\r');
  err_->put(line);
  if (drawn_ > line.size()) {
    err_->blanks(drawn_ - line.size());
    err_->put('\r');
    err_->put(line);
  }
  err_->flush();
  err_->escapeControls(true);
  drawn_ = line.size();
  clearing_.assign(1, '\r').append(drawn_, ' ').push_back('\r');
  err_->clearBeforeNext(clearing_);
}

void StatusLine::clear() {
  if (err_ == nullptr || drawn_ == 0) return;
  err_->clearBeforeNext({});
  err_->escapeControls(false);
  err_->put(clearing_);
  err_->flush();
  err_->escapeControls(true);
  drawn_ = 0;
}

namespace {

std::string counted(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

}  // namespace

std::string progressLine(const SessionAnalysis::Progress& progress) {
  std::string line = counted(progress.records, "record", "records") + ", ";
  line += progress.updates == 0 ? "no update" : counted(progress.updates, "update", "updates");
  if (progress.lastOutcome) {
    line += progress.updates == 1 ? " (" : " (the last ";
    line += coded(*progress.lastOutcome).words;
    line += " so far)";
  }
  return line + ", " + counted(progress.errorReplies, "error reply", "error replies");
}

std::string bytesReadLine(std::uint64_t read, std::optional<std::uint64_t> size) {
  const auto mebibytes = [](std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return std::string(text);
  };
  if (!size || *size < read) return mebibytes(read) + " MiB read";
  const std::uint64_t percent = *size == 0 ? 100 : read * 100 / *size;
  return mebibytes(read) + " of " + mebibytes(*size) + " MiB read (" + std::to_string(percent) +
         "%)";
}

std::size_t InputWithStatus::readMore(std::uint64_t offset, std::span<std::uint8_t> block) {
  status_.tick();
  if (failure_ != 0) throw ReadError(failure_, offset);
  if (atEnd_) return 0;
  errno = 0;
  const std::size_t got = std::fread(block.data(), 1, block.size(), stream_);
  if (got < block.size()) {
    // The bytes that a failed read delivered are handed out first.
    if (std::ferror(stream_)) {
      failure_ = errno != 0 ? errno : EIO;
      if (got == 0) throw ReadError(failure_, offset);
    } else {
      atEnd_ = true;
    }
  }
  return got;
}

}  // namespace ovantrex
