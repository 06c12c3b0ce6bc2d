#include "output/common/writer.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace ovantrex {

namespace {

int errnoOr(int fallback) { return errno != 0 ? errno : fallback; }

}  // namespace

WriteError::WriteError(int errorNumber)
    : std::runtime_error(std::strerror(errorNumber)), errorNumber_(errorNumber) {}

Writer::Writer(std::FILE* stream, OnFailure onFailure, bool terminal)
    : stream_(stream), memory_(false), onFailure_(onFailure), escaping_(terminal) {
  // The writer does its own buffering; the stream passes blocks straight on.
  std::setvbuf(stream_, nullptr, _IONBF, 0);
}

Writer::Writer() : stream_(nullptr), memory_(true) {}

Writer::Writer(std::size_t keep) : stream_(nullptr), memory_(true), keep_(keep) {
  collected_.reserve(keep);
}

Writer::~Writer() {
  try {
    if (stream_ != nullptr) settle();
  } catch (const WriteError&) {
    // A destructor cannot report; callers flush before they finish.
  }
}

void Writer::putLong(std::string_view text) {
  while (!text.empty()) {
    if (pos_ == kCapacity) drain();
    const std::size_t n = std::min(text.size(), kCapacity - pos_);
    std::memcpy(buffer_ + pos_, text.data(), n);
    pos_ += n;
    text.remove_prefix(n);
  }
}

void Writer::repeatLong(char c, std::size_t count) {
  while (count > 0) {
    if (pos_ == kCapacity) drain();
    const std::size_t n = std::min(count, kCapacity - pos_);
    std::memset(buffer_ + pos_, c, n);
    pos_ += n;
    count -= n;
  }
}

void Writer::hex(std::uint64_t value) { hexPadded(value, 1); }

void Writer::hexPadded(std::uint64_t value, int minDigits) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value, 16);
  const auto length = static_cast<int>(end - digits);
  if (length < minDigits) repeat('0', static_cast<std::size_t>(minDigits - length));
  put(std::string_view(digits, static_cast<std::size_t>(length)));
}

void Writer::decimal(std::int64_t value) {
  if (value >= 0 && value < 10) {
    put(static_cast<char>('0' + value));
    return;
  }
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void Writer::drain() {
  if (pos_ == 0) return;
  const std::size_t count = pos_;
  pos_ = 0;
  if (escaping_) {
    handOutEscaped(buffer_, count);
  } else {
    handOut(buffer_, count);
  }
}

void Writer::settle() {
  drain();
  if (escaper_.holding()) {
    char tail[ControlEscaper::kMostPerStep];
    handOut(tail, static_cast<std::size_t>(escaper_.finish(tail) - tail));
  }
}

void Writer::handOut(const char* data, std::size_t count) {
  if (count == 0) return;
  if (memory_) {
    std::size_t kept = count;
    if (keep_ != 0) {
      kept = std::min(count, keep_ - collected_.size());
      bytesLeftOut_ += count - kept;
      linesLeftOut_ += static_cast<std::uint64_t>(std::count(data + kept, data + count, '\n'));
    }
    collected_.append(data, kept);
    return;
  }
  // A signal that interrupts a write to a slow reader (a pipe, a terminal)
  // cuts it short; the rest is written, so that no line is cut off.
  for (;;) {
    errno = 0;
    const std::size_t written = std::fwrite(data, 1, count, stream_);
    if (written == count) return;
    if (errno != EINTR) {
      fail(errnoOr(EIO));
      return;
    }
    std::clearerr(stream_);
    data += written;
    count -= written;
  }
}

void Writer::handOutEscaped(const char* data, std::size_t count) {
  char escaped[4096];
  char* end = escaped;
  for (std::size_t i = 0; i < count; ++i) {
    if (static_cast<std::size_t>(escaped + sizeof escaped - end) < ControlEscaper::kMostPerStep) {
      handOut(escaped, static_cast<std::size_t>(end - escaped));
      end = escaped;
    }
    end = escaper_.step(static_cast<std::uint8_t>(data[i]), end);
  }
  handOut(escaped, static_cast<std::size_t>(end - escaped));
}

void Writer::escapeControls(bool on) {
  settle();
  escaping_ = on;
}

void Writer::fail(int error) {
  if (onFailure_ == OnFailure::Throw) throw WriteError(error);
  std::clearerr(stream_);
}

void Writer::flush() {
  settle();
  if (stream_ != nullptr) {
    errno = 0;
    if (std::fflush(stream_) != 0) fail(errnoOr(EIO));
  }
}

void Writer::close() {
  if (stream_ == nullptr) return;
  std::FILE* stream = stream_;
  try {
    flush();
  } catch (const WriteError&) {
    stream_ = nullptr;
    std::fclose(stream);
    throw;
  }
  stream_ = nullptr;
  errno = 0;
  if (std::fclose(stream) != 0) throw WriteError(errnoOr(EIO));
}

const std::string& Writer::text() {
  settle();
  return collected_;
}

std::uint64_t Writer::bytesLeftOut() {
  settle();
  return bytesLeftOut_;
}

std::uint64_t Writer::linesLeftOut() {
  settle();
  return linesLeftOut_;
}

std::string Writer::take() {
  settle();
  std::string out;
  out.swap(collected_);
  return out;
}

}  // namespace ovantrex
