// Builds the bytes of a trace file from a few readable lines:
//
//   TraceBuilder t;
//   t.marker(kMarkerV3)
//       .text(1500.0, "hello\n", ExtHeader{.thread = 1, .process = 2})
//       .hidWrite(2000.0, {0x00, 0x00, 0xa0, 0x00}, {0x0e, 0x00, 0x02, 0x08});
//   t.writeTo(path);
//
// The builder follows the format version itself (a marker of minor code 500
// switches to version 2, 501 to version 3) and writes the 16-byte extension
// header in front of every data record once the version is 2 or 3. Raw
// headers, raw bytes and cut endings make broken traces.
//
// All numbers are little-endian and written byte by byte; the time stamp is
// an IEEE double. Standard library only, so that generators can use it too.
// When src/app/program.h is on the include path, run() and runTrace()
// call the program in-process with memory writers (define
// OVANTREX_TRACE_BUILDER_NO_RUN to leave them out).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ovantrex::test {

// Minor codes of the records.
inline constexpr std::uint32_t kText = 42;
inline constexpr std::uint32_t kHex = 404;
inline constexpr std::uint32_t kHidWrite = 405;
inline constexpr std::uint32_t kHidRead = 406;
inline constexpr std::uint32_t kHidGetFeat = 407;
inline constexpr std::uint32_t kHidSetFeat = 408;
inline constexpr std::uint32_t kMarkerV2 = 500;
inline constexpr std::uint32_t kMarkerV3 = 501;

// Records longer than this are skipped by the reader.
inline constexpr std::uint32_t kMaxRecordLength = 256000;

// The second header of a data record (format versions 2 and 3).
struct ExtHeader {
  std::uint32_t thread = 0;
  std::uint32_t process = 0;
  std::int32_t seconds = 0;    // seconds since 1970-01-01 00:00:00 UTC
  std::uint8_t component = 0;  // 0 or 'e' are shown in format version 3
  std::uint8_t reserved = 0;
  std::uint16_t millis = 0;
};

// The first 8 payload bytes of a HID transfer; missing bytes are 0.
using HidHeader = std::array<std::uint8_t, 8>;

// A run of bytes, written as a byte list, a text or a vector.
class Payload {
 public:
  Payload() = default;
  Payload(std::initializer_list<std::uint8_t> bytes) : bytes_(bytes) {}
  Payload(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  Payload(std::string_view text) : bytes_(text.begin(), text.end()) {}
  Payload(const char* text) : Payload(std::string_view(text)) {}
  Payload(const std::string& text) : Payload(std::string_view(text)) {}

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }
  std::string str() const { return std::string(bytes_.begin(), bytes_.end()); }

  Payload& operator+=(const Payload& more) {
    bytes_.insert(bytes_.end(), more.bytes_.begin(), more.bytes_.end());
    return *this;
  }
  friend Payload operator+(Payload left, const Payload& right) {
    left += right;
    return left;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// count bytes of the same value.
inline Payload repeated(std::size_t count, std::uint8_t value) {
  return Payload(std::vector<std::uint8_t>(count, value));
}

// count bytes first, first + 1, ... (wrapping at 256).
inline Payload sequence(std::size_t count, std::uint8_t first = 0) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((first + i) & 0xffu);
  return Payload(std::move(bytes));
}

class TraceBuilder {
 public:
  // The format version that the next data record is written for.
  int version() const { return version_; }
  // Overrides the tracked version (after hand-made markers).
  TraceBuilder& assumeVersion(int version) {
    version_ = version;
    return *this;
  }

  // A version marker (minor code 500 or 501, or any other code on purpose).
  // Markers that the reader accepts move the tracked version on.
  TraceBuilder& marker(std::uint32_t minor, const Payload& payload = {}, double stamp = 0.0) {
    header(static_cast<std::int64_t>(payload.size()), minor, stamp);
    bytes(payload);
    if (payload.size() <= kMaxRecordLength) {
      if (minor == kMarkerV2) version_ = 2;
      if (minor == kMarkerV3) version_ = 3;
    }
    return *this;
  }

  // A data record (minor code 1 to 499): record header, extension header in
  // format versions 2 and 3, payload.
  TraceBuilder& record(std::uint32_t minor, double stamp, const Payload& payload,
                       const ExtHeader& ext = {}) {
    if (minor == 0 || minor > 499)
      throw std::invalid_argument("record() takes data records; use header() or marker()");
    header(static_cast<std::int64_t>(payload.size()), minor, stamp);
    if (version_ != 1) extHeader(ext);
    return bytes(payload);
  }

  TraceBuilder& text(double stamp, const Payload& text, const ExtHeader& ext = {}) {
    return record(kText, stamp, text, ext);
  }
  TraceBuilder& hex(double stamp, const Payload& payload, const ExtHeader& ext = {}) {
    return record(kHex, stamp, payload, ext);
  }
  TraceBuilder& hidWrite(double stamp, const HidHeader& head, const Payload& data,
                         const ExtHeader& ext = {}) {
    return record(kHidWrite, stamp, hidPayload(head, data), ext);
  }
  TraceBuilder& hidRead(double stamp, const HidHeader& head, const Payload& data,
                        const ExtHeader& ext = {}) {
    return record(kHidRead, stamp, hidPayload(head, data), ext);
  }
  TraceBuilder& hidGetFeat(double stamp, const HidHeader& head, const Payload& data,
                           const ExtHeader& ext = {}) {
    return record(kHidGetFeat, stamp, hidPayload(head, data), ext);
  }
  TraceBuilder& hidSetFeat(double stamp, const HidHeader& head, const Payload& data,
                           const ExtHeader& ext = {}) {
    return record(kHidSetFeat, stamp, hidPayload(head, data), ext);
  }

  static Payload hidPayload(const HidHeader& head, const Payload& data) {
    return Payload(std::vector<std::uint8_t>(head.begin(), head.end())) + data;
  }

  // A bare 16-byte record header with any length and minor code; nothing
  // follows it unless the caller adds it. The length is stored as its low
  // 32 bits, so -1 becomes 0xffffffff.
  TraceBuilder& header(std::int64_t length, std::uint32_t minor, double stamp = 0.0) {
    u32(static_cast<std::uint32_t>(static_cast<std::uint64_t>(length) & 0xffffffffu));
    u32(minor);
    return f64(stamp);
  }
  // A bare 16-byte extension header.
  TraceBuilder& extHeader(const ExtHeader& ext) {
    u32(ext.thread);
    u32(ext.process);
    u32(static_cast<std::uint32_t>(ext.seconds));
    u8(ext.component);
    u8(ext.reserved);
    return u16(ext.millis);
  }

  TraceBuilder& bytes(const Payload& payload) {
    data_.append(payload.bytes().begin(), payload.bytes().end());
    return *this;
  }
  TraceBuilder& u8(std::uint8_t value) {
    data_.push_back(static_cast<char>(value));
    return *this;
  }
  TraceBuilder& u16(std::uint16_t value) {
    u8(static_cast<std::uint8_t>(value & 0xffu));
    return u8(static_cast<std::uint8_t>(value >> 8));
  }
  TraceBuilder& u32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
      u8(static_cast<std::uint8_t>((value >> shift) & 0xffu));
    return *this;
  }
  TraceBuilder& f64(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8)
      u8(static_cast<std::uint8_t>((bits >> shift) & 0xffu));
    return *this;
  }

  // Cuts the last count bytes off (a trace that ends inside a record).
  TraceBuilder& dropLast(std::size_t count) {
    if (count > data_.size()) throw std::out_of_range("dropLast beyond the start");
    data_.resize(data_.size() - count);
    return *this;
  }

  const std::string& str() const { return data_; }
  std::size_t size() const { return data_.size(); }

  void writeTo(const std::filesystem::path& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(data_.data(), static_cast<std::streamsize>(data_.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write trace file " + path.string());
  }

 private:
  int version_ = 1;
  std::string data_;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      auto candidate =
          base / ("ovantrex-test-" + std::to_string(random()) + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) {
        path_ = std::move(candidate);
        return;
      }
    }
    throw std::runtime_error("cannot make a temporary directory");
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A path inside the directory (the file is not created).
  std::string file(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The whole content of a file; throws if it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace ovantrex::test

#if !defined(OVANTREX_TRACE_BUILDER_NO_RUN) && __has_include("app/program.h")
#include <memory>

#include "app/program.h"

namespace ovantrex::test {

struct RunResult {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs the program as "ovantrex <args...>" with memory writers for standard
// output and standard error.
inline RunResult run(std::vector<std::string> args) {
  args.insert(args.begin(), "ovantrex");
  std::vector<const char*> argv;
  argv.reserve(args.size() + 1);
  for (const auto& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  auto out = std::make_unique<Writer>();
  auto err = std::make_unique<Writer>();
  RunResult result;
  result.status = runProgram(static_cast<int>(args.size()), argv.data(), *out, *err);
  result.out = out->text();
  result.err = err->text();
  return result;
}

// Writes the trace to a temporary file and runs "ovantrex -f <file> <options...>".
inline RunResult runTrace(const TraceBuilder& trace, std::vector<std::string> options = {}) {
  TempDir dir;
  const std::string path = dir.file("trace.trc");
  trace.writeTo(path);
  options.insert(options.begin(), {"-f", path});
  return run(std::move(options));
}

}  // namespace ovantrex::test
#endif
