// Reads the trace file strictly forward in large blocks. A record's payload
// is handed out as a view into the block when it lies there whole, and
// copied once into the record buffer when it straddles blocks; memory stays
// bounded by one block and one record. Both are taken before the first
// record, so that no record can later fail for want of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>

#include "core/reserved.h"
#include "trace/record_header.h"

namespace ovantrex {

// A read of the trace file failed other than by reaching its end. offset:
// the bytes of the input read before the failure; every record whose bytes
// lie below it has been handed out.
class ReadError : public std::runtime_error {
 public:
  explicit ReadError(int errorNumber, std::uint64_t offset = 0);
  int errorNumber() const { return errorNumber_; }
  std::uint64_t offset() const { return offset_; }

 private:
  int errorNumber_;
  std::uint64_t offset_;
};

// The input of a reader that follows a growing trace: it hands out the
// bytes as they arrive, and waits at the end of what the trace holds for now.
class FollowedInput {
 public:
  virtual ~FollowedInput() = default;
  // Reads into block what has arrived at offset in the input, waiting until
  // something has. Returns the count, or 0 when the end is final. May end the
  // run by throwing (ReadError when a read fails).
  virtual std::size_t readMore(std::uint64_t offset, std::span<std::uint8_t> block) = 0;

 protected:
  FollowedInput() = default;
  FollowedInput(const FollowedInput&) = default;
  FollowedInput& operator=(const FollowedInput&) = default;
};

// Told before the reader overwrites bytes that it has handed out as a
// view: a payload kept past its record must be copied then.
class PayloadKeeper {
 public:
  virtual ~PayloadKeeper() = default;
  virtual void payloadsMove() = 0;

 protected:
  PayloadKeeper() = default;
  PayloadKeeper(const PayloadKeeper&) = default;
  PayloadKeeper& operator=(const PayloadKeeper&) = default;
};

class TraceReader {
 public:
  // A block that the core's cache holds with the program's other data: the
  // bytes that a read copies in are still there when the loop reads them.
  static constexpr std::size_t kDefaultBlock = std::size_t{256} << 10;

  // The block and the record buffer of a reader of a stream.
  struct Buffers {
    std::unique_ptr<std::uint8_t, FreeDeleter> block;
    std::size_t blockSize = 0;
    std::unique_ptr<std::uint8_t, FreeDeleter> record;
    std::size_t recordSize = 0;

    // A block and a buffer for records of up to largestRecord bytes, taken
    // without exceptions; none when the memory cannot be had.
    static std::optional<Buffers> take(std::size_t blockSize = kDefaultBlock,
                                       std::size_t largestRecord = kMaxRecordLength) noexcept;
  };

  // Reads from stream (not owned) with the given buffers.
  TraceReader(std::FILE* stream, Buffers buffers);
  // Reads from stream (not owned) with buffers of its own; throws
  // std::bad_alloc when they cannot be had.
  explicit TraceReader(std::FILE* stream, std::size_t blockSize = kDefaultBlock);
  // Reads from bytes held in memory.
  explicit TraceReader(std::span<const std::uint8_t> bytes);

  // Copies up to dest.size() bytes; returns how many arrived (fewer only at
  // the end of the input). Inline for the bytes that the block holds: the
  // record loop reads every header so.
  std::size_t read(std::span<std::uint8_t> dest) {
    if (static_cast<std::size_t>(end_ - begin_) < dest.size() || dest.empty())
      return readAcross(dest);
    std::memcpy(dest.data(), begin_, dest.size());
    begin_ += dest.size();
    position_ += dest.size();
    return dest.size();
  }
  // Passes over up to count bytes; returns how many there were.
  std::size_t skip(std::size_t count);
  // Up to count bytes as one contiguous view, valid until the next call,
  // or for a keeper until it is told that they move. view.size() < count
  // only at the end of the input.
  std::span<const std::uint8_t> take(std::size_t count);
  // The bytes handed out or passed over so far: the offset in the input of
  // the next byte.
  std::uint64_t position() const { return position_; }
  // The bytes read from the input so far: those handed out or passed over
  // and those read ahead of them (all of them at the end of the input; the
  // offset of a failed read).
  std::uint64_t bytesRead() const { return stream_ != nullptr ? streamOffset_ : memory_.size(); }

  // Follows the input as it grows: the reader reads through input (not
  // owned), which hands out what has arrived at once and waits at the end.
  void follow(FollowedInput* input) { followed_ = input; }
  // The keeper (not owned; none: null) is told before the bytes of a view
  // handed out are overwritten.
  void keepPayloadsFor(PayloadKeeper* keeper) { keeper_ = keeper; }
  // Reads stream (not owned) from its start, with the same buffers.
  void restart(std::FILE* stream);

 private:
  // read() of bytes that the block does not hold whole.
  std::size_t readAcross(std::span<std::uint8_t> dest);
  // Makes bytes available in the block; false at the end of the input.
  // Throws ReadError once the bytes read before a failed read are used up.
  bool refill();
  // One read of the stream into the block: fread, or when following, the
  // followed input with its waits.
  std::size_t readBlock();

  std::FILE* stream_ = nullptr;
  Buffers buffers_;  // left uninitialised: reads fill them
  std::span<const std::uint8_t> memory_;
  const std::uint8_t* begin_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  bool atEnd_ = false;
  std::uint64_t position_ = 0;
  FollowedInput* followed_ = nullptr;
  PayloadKeeper* keeper_ = nullptr;
  std::uint64_t streamOffset_ = 0;  // bytes read from the stream so far
  int failure_ = 0;                 // errno of a failed read, reported after its bytes
};

}  // namespace ovantrex
