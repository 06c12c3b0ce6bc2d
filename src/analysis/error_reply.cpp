#include "analysis/error_reply.h"

#include <algorithm>

#include "core/protocol.h"

namespace ovantrex {

KeptCommand& KeptCommand::operator=(const KeptCommand& other) {
  if (this == &other) return *this;
  offset_ = other.offset_;
  command_ = other.command_;
  serialBytes_ = other.serialBytes_;
  entryBytes_ = other.entryBytes_;
  std::copy_n(other.bytes_.begin(), serialBytes_ + entryBytes_, bytes_.begin());
  viewKeptBytes();
  return *this;
}

void KeptCommand::keepViewedBytes(const FirmwareCommand& command) {
  const Bytes serial = command.serial.bytes;
  const Bytes entries = command.request.entries.bytes;
  serialBytes_ = std::min(serial.size(), kViewedBytes);
  entryBytes_ = std::min(entries.size(), kViewedBytes - serialBytes_);
  std::copy_n(serial.begin(), serialBytes_, bytes_.begin());
  std::copy_n(entries.begin(), entryBytes_,
              bytes_.begin() + static_cast<std::ptrdiff_t>(serialBytes_));
  viewKeptBytes();
}

void KeptCommand::viewKeptBytes() {
  const Bytes kept(bytes_.data(), serialBytes_ + entryBytes_);
  command_.serial = ByteView{kept.first(serialBytes_)};
  command_.request.entries = ByteView{kept.subspan(serialBytes_)};
}

}  // namespace ovantrex
