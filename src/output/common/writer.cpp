#include "output/common/writer.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#endif

namespace ovantrex {

namespace {

int errnoOr(int fallback) { return errno != 0 ? errno : fallback; }

#ifdef _WIN32
// While it lives, a stream that the C runtime held in text mode is in binary
// mode; the text mode is put back after, so that the stream's mode still
// tells which line ends it takes. A stream in another mode is left in it.
class TextModeSetAside {
 public:
  explicit TextModeSetAside(std::FILE* stream) : descriptor_(_fileno(stream)) {
    if (descriptor_ < 0) return;
    const int found = _setmode(descriptor_, _O_BINARY);
    wasText_ = found == _O_TEXT;
    if (!wasText_ && found != -1 && found != _O_BINARY) _setmode(descriptor_, found);
  }
  ~TextModeSetAside() {
    if (wasText_) _setmode(descriptor_, _O_TEXT);
  }
  TextModeSetAside(const TextModeSetAside&) = delete;
  TextModeSetAside& operator=(const TextModeSetAside&) = delete;
  bool wasText() const { return wasText_; }

 private:
  int descriptor_;
  bool wasText_ = false;
};

// Copies text to out with each "\n" as "\r\n", as the C runtime's text mode
// writes it: every other byte stays as it is (a lone "\r" stays one, a
// "\r\n" becomes "\r\r\n"). out has room for twice the count and 16 bytes
// more. Returns the end of what it wrote.
char* copyWithCrLf(const char* text, std::size_t count, char* out) {
  const char* const end = text + count;
#ifdef __SSE2__
  // 16 bytes at a time while 32 are left: a block is stored whole, and
  // after each "\n" in it the rest of it is stored again one byte further
  // on, behind a "\r". Those loads reach at most 15 bytes past the block,
  // those stores at most 15 bytes past its end in out.
  const __m128i lineEnds = _mm_set1_epi8('\n');
  while (end - text >= 32) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
    auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lineEnds)));
    while (ends != 0) {
      const int at = std::countr_zero(ends);
      out[at] = '\r';
      ++out;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at)));
      ends &= ends - 1;
    }
    out += 16;
    text += 16;
  }
#endif
  while (text != end) {
    const auto left = static_cast<std::size_t>(end - text);
    const auto* lineEnd = static_cast<const char*>(std::memchr(text, '\n', left));
    const std::size_t line = lineEnd != nullptr ? static_cast<std::size_t>(lineEnd - text) : left;
    std::memcpy(out, text, line);
    out += line;
    if (lineEnd == nullptr) break;
    *out++ = '\r';
    *out++ = '\n';
    text = lineEnd + 1;
  }
  return out;
}
#endif

}  // namespace

WriteError::WriteError(int errorNumber)
    : std::runtime_error(std::strerror(errorNumber)), errorNumber_(errorNumber) {}

Writer::Writer(std::FILE* stream, OnFailure onFailure, bool terminal)
    : stream_(stream),
      memory_(false),
      terminal_(terminal),
      onFailure_(onFailure),
      escaping_(terminal) {
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
  constexpr int kMostDigits = 16;
  // The zeros first: the digits' count is known without writing them.
  const int length = value == 0 ? 1 : (static_cast<int>(std::bit_width(value)) + 3) / 4;
  if (length < minDigits) repeat('0', static_cast<std::size_t>(minDigits - length));
  char* p = reserve(kMostDigits);
  commit(std::to_chars(p, p + kMostDigits, value, 16).ptr);
}

void Writer::decimal(std::int64_t value) {
  if (value >= 0 && value < 10) {
    put(static_cast<char>('0' + value));
    return;
  }
  constexpr std::size_t kMostChars = 20;  // "-9223372036854775808"
  char* p = reserve(kMostChars);
  commit(std::to_chars(p, p + kMostChars, value).ptr);
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
  if (!clearFirst_.empty()) {
    const std::string_view clear = std::exchange(clearFirst_, {});
    handOutBytes(clear.data(), clear.size());
  }
  handOutBytes(data, count);
}

void Writer::handOutBytes(const char* data, std::size_t count) {
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
#ifdef _WIN32
  // A text output: the runtime's text mode would give each "\n" its "\r"
  // byte by byte, and hand on a few KiB at a time. A console keeps the
  // runtime's own way of writing to it, which may differ from a file's; a
  // person reads it, at no speed that matters.
  if (!terminal_) {
    const TextModeSetAside binary(stream_);
    if (binary.wasText()) {
      writeWithCrLf(data, count);
      return;
    }
  }
#endif
  writeAll(data, count);
}

#ifdef _WIN32
void Writer::writeWithCrLf(const char* data, std::size_t count) {
  char piece[2 * kLineEndsPiece + 16];
  while (count > 0) {
    const std::size_t n = std::min(count, kLineEndsPiece);
    // A failed write drops the rest of the block, as it drops a whole block.
    if (!writeAll(piece, static_cast<std::size_t>(copyWithCrLf(data, n, piece) - piece))) return;
    data += n;
    count -= n;
  }
}
#endif

bool Writer::writeAll(const char* data, std::size_t count) {
  // A signal that interrupts a write to a slow reader (a pipe, a terminal)
  // cuts it short; the rest is written, so that no line is cut off.
  for (;;) {
    errno = 0;
    const std::size_t written = std::fwrite(data, 1, count, stream_);
    if (written == count) return true;
    if (errno != EINTR) {
      fail(errnoOr(EIO));
      return false;
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

void Writer::putControl(std::string_view sequence) {
  if (!escaping_) {
    put(sequence);
    return;
  }
  settle();
  handOut(sequence.data(), sequence.size());
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
