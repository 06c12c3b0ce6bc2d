#include "driver/trace_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ovantrex {

ReadError::ReadError(int errorNumber)
    : std::runtime_error(std::strerror(errorNumber)), errorNumber_(errorNumber) {}

TraceReader::TraceReader(std::FILE* stream, std::size_t blockSize)
    : stream_(stream),
      block_(new std::uint8_t[std::max<std::size_t>(blockSize, 1)]),
      blockSize_(std::max<std::size_t>(blockSize, 1)) {
  std::setvbuf(stream_, nullptr, _IONBF, 0);
}

TraceReader::TraceReader(std::span<const std::uint8_t> bytes) : memory_(bytes) {
  begin_ = memory_.data();
  end_ = begin_ + memory_.size();
  atEnd_ = true;
}

bool TraceReader::refill() {
  if (begin_ != end_) return true;
  if (atEnd_) return false;
  errno = 0;
  const std::size_t got = std::fread(block_.get(), 1, blockSize_, stream_);
  if (got < blockSize_) {
    if (std::ferror(stream_)) throw ReadError(errno != 0 ? errno : EIO);
    // The end of the input stays the end: nothing is read after it.
    atEnd_ = true;
  }
  begin_ = block_.get();
  end_ = begin_ + got;
  return got > 0;
}

std::size_t TraceReader::read(std::span<std::uint8_t> dest) {
  std::size_t done = 0;
  while (done < dest.size() && refill()) {
    const std::size_t n = std::min(dest.size() - done, static_cast<std::size_t>(end_ - begin_));
    std::memcpy(dest.data() + done, begin_, n);
    begin_ += n;
    done += n;
  }
  position_ += done;
  return done;
}

std::size_t TraceReader::skip(std::size_t count) {
  std::size_t done = 0;
  while (done < count && refill()) {
    const std::size_t n = std::min(count - done, static_cast<std::size_t>(end_ - begin_));
    begin_ += n;
    done += n;
  }
  position_ += done;
  return done;
}

std::span<const std::uint8_t> TraceReader::take(std::size_t count) {
  if (begin_ == end_) refill();
  const auto available = static_cast<std::size_t>(end_ - begin_);
  if (available >= count || atEnd_) {
    // Whole in the block, or the input is over and the block holds the rest.
    const std::size_t n = std::min(count, available);
    const std::uint8_t* start = begin_;
    begin_ += n;
    position_ += n;
    return {start, n};
  }
  // The bytes straddle blocks: one copy into the record buffer.
  record_.resize(count);
  const std::size_t got = read(record_);
  return {record_.data(), got};
}

}  // namespace ovantrex
