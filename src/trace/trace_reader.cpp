#include "trace/trace_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace ovantrex {

ReadError::ReadError(int errorNumber, std::uint64_t offset)
    : std::runtime_error(std::strerror(errorNumber)), errorNumber_(errorNumber), offset_(offset) {}

namespace {

std::unique_ptr<std::uint8_t, FreeDeleter> takeBytes(std::size_t count) noexcept {
  return std::unique_ptr<std::uint8_t, FreeDeleter>(
      static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(count, 1))));
}

TraceReader::Buffers takeOrThrow(std::size_t blockSize) {
  std::optional<TraceReader::Buffers> buffers = TraceReader::Buffers::take(blockSize);
  if (!buffers) throw std::bad_alloc();
  return std::move(*buffers);
}

}  // namespace

std::optional<TraceReader::Buffers> TraceReader::Buffers::take(std::size_t blockSize,
                                                               std::size_t largestRecord) noexcept {
  Buffers buffers;
  buffers.blockSize = std::max<std::size_t>(blockSize, 1);
  buffers.block = takeBytes(buffers.blockSize);
  buffers.recordSize = largestRecord;
  buffers.record = takeBytes(largestRecord);
  if (!buffers.block || !buffers.record) return std::nullopt;
  return buffers;
}

TraceReader::TraceReader(std::FILE* stream, Buffers buffers)
    : stream_(stream), buffers_(std::move(buffers)) {
  std::setvbuf(stream_, nullptr, _IONBF, 0);
}

TraceReader::TraceReader(std::FILE* stream, std::size_t blockSize)
    : TraceReader(stream, takeOrThrow(blockSize)) {}

TraceReader::TraceReader(std::span<const std::uint8_t> bytes) : memory_(bytes) {
  begin_ = memory_.data();
  end_ = begin_ + memory_.size();
  atEnd_ = true;
}

void TraceReader::restart(std::FILE* stream) {
  stream_ = stream;
  std::setvbuf(stream_, nullptr, _IONBF, 0);
  begin_ = end_ = nullptr;
  atEnd_ = false;
  position_ = 0;
  streamOffset_ = 0;
  failure_ = 0;
}

std::size_t TraceReader::readBlock() {
  if (followed_ == nullptr) {
    errno = 0;
    const std::size_t got = std::fread(buffers_.block.get(), 1, buffers_.blockSize, stream_);
    streamOffset_ += got;
    if (got < buffers_.blockSize) {
      // The bytes that a failed read delivered are handed out first; the
      // failure is reported when they are used up.
      if (std::ferror(stream_)) {
        failure_ = errno != 0 ? errno : EIO;
      } else {
        // The end of the input stays the end: nothing is read after it.
        atEnd_ = true;
      }
    }
    return got;
  }
  const std::size_t got =
      followed_->readMore(streamOffset_, {buffers_.block.get(), buffers_.blockSize});
  if (got == 0) atEnd_ = true;
  streamOffset_ += got;
  return got;
}

bool TraceReader::refill() {
  if (begin_ != end_) return true;
  if (failure_ != 0) throw ReadError(failure_, streamOffset_);
  if (atEnd_) return false;
  if (keeper_ != nullptr) keeper_->payloadsMove();
  const std::size_t got = readBlock();
  begin_ = buffers_.block.get();
  end_ = begin_ + got;
  if (got == 0 && failure_ != 0) throw ReadError(failure_, streamOffset_);
  return got > 0;
}

std::size_t TraceReader::readAcross(std::span<std::uint8_t> dest) {
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
  // The bytes straddle blocks: one copy into the record buffer, which holds
  // any record up to the largest that the reader was made for.
  if (keeper_ != nullptr) keeper_->payloadsMove();
  if (count > buffers_.recordSize) {
    auto larger = takeBytes(count);
    if (!larger) throw std::bad_alloc();
    buffers_.record = std::move(larger);
    buffers_.recordSize = count;
  }
  const std::size_t got = read({buffers_.record.get(), count});
  return {buffers_.record.get(), got};
}

}  // namespace ovantrex
