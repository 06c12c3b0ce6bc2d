// Reads the trace file strictly forward in large blocks. A record's payload
// is handed out as a view into the block when it lies there whole, and
// copied once into the record buffer when it straddles blocks; memory stays
// bounded by one block and one record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace ovantrex {

// A read of the trace file failed other than by reaching its end.
class ReadError : public std::runtime_error {
 public:
  explicit ReadError(int errorNumber);
  int errorNumber() const { return errorNumber_; }

 private:
  int errorNumber_;
};

class TraceReader {
 public:
  static constexpr std::size_t kDefaultBlock = std::size_t{1} << 20;

  // Reads from stream (not owned).
  explicit TraceReader(std::FILE* stream, std::size_t blockSize = kDefaultBlock);
  // Reads from bytes held in memory.
  explicit TraceReader(std::span<const std::uint8_t> bytes);

  // Copies up to dest.size() bytes; returns how many arrived (fewer only at
  // the end of the input).
  std::size_t read(std::span<std::uint8_t> dest);
  // Passes over up to count bytes; returns how many there were.
  std::size_t skip(std::size_t count);
  // Up to count bytes as one contiguous view, valid until the next call.
  // view.size() < count only at the end of the input.
  std::span<const std::uint8_t> take(std::size_t count);

 private:
  // Makes bytes available in the block; false at the end of the input.
  bool refill();

  std::FILE* stream_ = nullptr;
  std::unique_ptr<std::uint8_t[]> block_;  // left uninitialised: reads fill it
  std::size_t blockSize_ = 0;
  std::span<const std::uint8_t> memory_;
  const std::uint8_t* begin_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  bool atEnd_ = false;
  std::vector<std::uint8_t> record_;
};

}  // namespace ovantrex
