// Error replies: the rule that makes a status reply one, and what the
// session keeps of each: the reply and the firmware command before it, as
// decoded values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "analysis/trace_time.h"
#include "decode/firmware_command.h"
#include "decode/status_reply.h"

namespace ovantrex {

// A status reply that reports an error: one of the status bits that the
// registry marks as errors ("Operation in Error", "Command reject", the
// serial-number bit).
inline bool isErrorReply(const StatusReply& reply) { return reply.isError(); }

// A firmware command kept beyond its record: the decoded value, and the
// bytes that it views (a serial number's characters, a request's entries)
// held beside it, so that it is never decoded again.
class KeptCommand {
 public:
  KeptCommand() = default;
  KeptCommand(const KeptCommand& other) { *this = other; }
  KeptCommand& operator=(const KeptCommand& other);
  ~KeptCommand() = default;

  // Keeps command, the command of the record at offset. Most commands view
  // no bytes (a flash write): they are kept as they are.
  void keep(std::uint64_t offset, const FirmwareCommand& command) {
    offset_ = offset;
    command_ = command;
    serialBytes_ = 0;
    entryBytes_ = 0;
    if (!command.serial.empty() || !command.request.entries.empty()) keepViewedBytes(command);
  }

  std::uint64_t offset() const { return offset_; }
  const FirmwareCommand& command() const { return command_; }

 private:
  // A serial number views up to 509 bytes, a request's entries up to 256.
  static constexpr std::size_t kViewedBytes = 512;

  // Copies the bytes that command views into bytes_, and points the kept
  // value's views at them.
  void keepViewedBytes(const FirmwareCommand& command);
  // Points the value's views into bytes_.
  void viewKeptBytes();

  std::uint64_t offset_ = 0;
  FirmwareCommand command_;
  std::size_t serialBytes_ = 0;
  std::size_t entryBytes_ = 0;
  // Only the first serialBytes_ + entryBytes_ are ever read; the rest is
  // left as it is, so that keeping a command costs only its bytes.
  std::array<std::uint8_t, kViewedBytes> bytes_;
};

struct ErrorReply {
  std::uint64_t offset = 0;
  std::optional<TraceTime> time;
  std::size_t update = 0;  // 1 for the first update; 0 outside any
  StatusReply reply;       // without a flash read's contents, which its notes do not show
  std::optional<KeptCommand> command;  // the firmware command before it, if any
};

}  // namespace ovantrex
