// The one buffered writer that owns an output stream. Every byte of the
// listing and of the program's messages goes through a Writer: callers append
// text, blanks and formatted numbers, and the writer hands full blocks to the
// stream. A memory-backed writer collects the text instead, for tests.
//
// A writer to a terminal escapes controls (see control_escaper.h) as it
// hands its blocks to the stream; files and pipes get every byte as it was
// written.
//
// On Windows a stream that the C runtime holds in text mode (the text
// outputs) has CR LF line ends: the writer writes them itself, in binary
// mode, as the runtime's text mode would write them (each "\n" as "\r\n",
// every other byte as it is), in large pieces where the runtime would look
// at each byte and write a few KiB at a time. A console keeps the runtime's
// own way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "output/common/control_escaper.h"

namespace ovantrex {

// A write, flush or close of an output stream failed; errorNumber is errno.
class WriteError : public std::runtime_error {
 public:
  explicit WriteError(int errorNumber);
  int errorNumber() const { return errorNumber_; }

 private:
  int errorNumber_;
};

// Two lowercase hex digits for every byte value: byte b at [2b, 2b+1].
struct HexPairTable {
  char text[512];
};
constexpr HexPairTable makeHexPairTable() {
  HexPairTable table{};
  constexpr char digits[] = "0123456789abcdef";
  for (int i = 0; i < 256; ++i) {
    table.text[2 * i] = digits[i >> 4];
    table.text[2 * i + 1] = digits[i & 15];
  }
  return table;
}
inline constexpr HexPairTable kHexPairs = makeHexPairTable();

class Writer {
 public:
  static constexpr std::size_t kCapacity = std::size_t{1} << 16;
  // Windows, text mode: the bytes handed on are given CR LF line ends in
  // pieces of this many (a whole block), each written at once.
  static constexpr std::size_t kLineEndsPiece = kCapacity;

  // What a failed write to the stream does: throw WriteError (the listing),
  // or drop the bytes (standard error, whose failure must not stop a run).
  enum class OnFailure { Throw, Drop };

  // Writes to the given stream (not owned; close() closes it). Controls
  // are escaped when the stream is a terminal, as the caller knows.
  explicit Writer(std::FILE* stream, OnFailure onFailure = OnFailure::Throw, bool terminal = false);
  // Collects everything in memory; see text().
  Writer();
  // Collects in memory the first keep bytes only, their room taken now;
  // the bytes beyond them are counted (see bytesLeftOut()).
  explicit Writer(std::size_t keep);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void put(char c) {
    if (pos_ == kCapacity) drain();
    buffer_[pos_++] = c;
  }
  // put() and repeat() copy straight into the buffer when the bytes fit.
  // (The second test costs next to nothing; it tells the compiler
  // that a constant count larger than the buffer never takes this path.)
  void put(std::string_view text) {
    if (text.size() <= kCapacity - pos_ && text.size() <= kCapacity) {
      if (!text.empty()) std::memcpy(buffer_ + pos_, text.data(), text.size());
      pos_ += text.size();
      return;
    }
    putLong(text);
  }
  void blanks(std::size_t count) { repeat(' ', count); }
  void repeat(char c, std::size_t count) {
    if (count <= kCapacity - pos_ && count <= kCapacity) {
      std::memset(buffer_ + pos_, c, count);
      pos_ += count;
      return;
    }
    repeatLong(c, count);
  }
  // Two lowercase hex digits, "%02x".
  void hexByte(std::uint8_t value) {
    char* p = reserve(2);
    p[0] = kHexPairs.text[2 * value];
    p[1] = kHexPairs.text[2 * value + 1];
    commit(p + 2);
  }
  // Lowercase hex without leading zeros, "%x".
  void hex(std::uint64_t value);
  // Lowercase hex, zero-filled to at least minDigits digits.
  void hexPadded(std::uint64_t value, int minDigits);
  void decimal(std::int64_t value);

  // Room for at least count bytes (count <= kCapacity) at the returned
  // pointer; commit() then takes the bytes written up to its argument.
  char* reserve(std::size_t count) {
    if (kCapacity - pos_ < count) drain();
    return buffer_ + pos_;
  }
  void commit(const char* end) { pos_ = static_cast<std::size_t>(end - buffer_); }

  void setOnFailure(OnFailure onFailure) { onFailure_ = onFailure; }
  // The stream, or null for a memory-backed writer.
  std::FILE* stream() const { return stream_; }

  // Turns the escaping of terminal controls on or off for what follows.
  void escapeControls(bool on);
  // Whether the output is coloured (--color; see colours.h), and the bytes
  // of a control sequence (a colour's): written as they are, past the
  // escaping of a terminal's controls.
  void setColoured(bool on) { coloured_ = on; }
  bool coloured() const { return coloured_; }
  void putControl(std::string_view sequence);
  // A line that stands drawn on the terminal (a status line) clears itself
  // before the next bytes that the writer hands on: sequence (a static
  // text) goes out first, once.
  void clearBeforeNext(std::string_view sequence) { clearFirst_ = sequence; }

  // Hands buffered bytes to the stream and flushes it. When controls are
  // escaped, a UTF-8 sequence still unfinished at this point is escaped
  // too; one cut by the buffer's end alone is carried over whole.
  void flush();
  // Flushes and closes the stream (file-backed writers only).
  void close();

  // Memory-backed writers: everything written so far (settled like flush()).
  const std::string& text();
  std::string take();
  // Memory-backed writers: forgets what was written, keeping the room.
  void clear() {
    pos_ = 0;
    collected_.clear();
    bytesLeftOut_ = 0;
    linesLeftOut_ = 0;
  }
  // Memory-backed writers with a limit: the bytes written beyond it, and
  // the line ends among them (settled like text()).
  std::uint64_t bytesLeftOut();
  std::uint64_t linesLeftOut();

 private:
  // Hands the buffered bytes on; an unfinished UTF-8 sequence at their end
  // stays with the escaper.
  void drain();
  // drain(), and an unfinished sequence is escaped.
  void settle();
  // Passes bytes to the stream or the collected text.
  void handOut(const char* data, std::size_t count);
  // handOut() of bytes that nothing is to go before.
  void handOutBytes(const char* data, std::size_t count);
  // Writes bytes to the stream, all of them; false when the write failed
  // and its bytes were dropped.
  bool writeAll(const char* data, std::size_t count);
#ifdef _WIN32
  // writeAll() with each "\n" as "\r\n", for a stream in text mode.
  void writeWithCrLf(const char* data, std::size_t count);
#endif
  void handOutEscaped(const char* data, std::size_t count);
  void fail(int error);
  // put() and repeat() for runs that do not fit in the buffer's free room.
  void putLong(std::string_view text);
  void repeatLong(char c, std::size_t count);

  std::FILE* stream_;
  bool memory_;
  bool terminal_ = false;
  OnFailure onFailure_ = OnFailure::Throw;
  bool escaping_ = false;
  bool coloured_ = false;
  ControlEscaper escaper_;
  std::string collected_;
  std::size_t keep_ = 0;  // memory-backed: the most collected_ holds; 0 for no limit
  std::uint64_t bytesLeftOut_ = 0;
  std::uint64_t linesLeftOut_ = 0;
  std::string_view clearFirst_;
  std::size_t pos_ = 0;
  char buffer_[kCapacity];
};

}  // namespace ovantrex
