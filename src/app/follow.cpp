#include "app/follow.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace ovantrex {

namespace {

bool sameFile(const platform::FileIdentity& a, const platform::FileIdentity& b) {
  return a.known == b.known && a.volume == b.volume && a.index == b.index;
}

}  // namespace

bool waitForTrace(const std::string& name, Writer& err) {
  platform::ChangeWatch changes;
  changes.watch(name);
  bool told = false;
  while (platform::nothingNamed(name)) {
    if (platform::StopRequests::requested()) return false;
    if (!told && err.stream() != nullptr && platform::isTerminal(err.stream())) {
      err.put("ovantrex: waiting for '");
      err.put(name);
      err.put("' to appear\n");
      err.flush();
    }
    told = true;
    changes.sleep();
  }
  return true;
}

TraceFollower::TraceFollower(std::string path, std::vector<Writer*> flushed, StatusLine& status)
    : path_(std::move(path)), flushed_(std::move(flushed)), status_(status) {}

void TraceFollower::attach(std::FILE* stream) {
  stream_ = stream;
  const std::optional<platform::FileIdentity> identity = platform::identityOf(stream);
  identity_ = identity.value_or(platform::FileIdentity{});
  regular_ = identity && identity->kind == platform::FileIdentity::Kind::Regular;
  head_ = {};
  tail_ = {};
  if (regular_) changes_.watch(path_);
}

std::size_t TraceFollower::readMore(std::uint64_t offset, std::span<std::uint8_t> block) {
  for (;;) {
    beforeRead();
    const std::ptrdiff_t got = platform::readAvailable(stream_, block);
    if (got > 0) {
      const auto count = static_cast<std::size_t>(got);
      arrived(offset, block.first(count));
      return count;
    }
    if (got < 0) {
      // A stop request may have ended the wait of the read; beforeRead()
      // decides.
      if (errno == EINTR) continue;
      throw ReadError(errno, offset);
    }
    if (!waitForMore(offset)) return 0;
  }
}

void TraceFollower::arrived(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (head_.offset + head_.size == offset && head_.size < Kept::kSize) {
    const std::size_t n = std::min(Kept::kSize - head_.size, bytes.size());
    std::memcpy(head_.bytes.data() + head_.size, bytes.data(), n);
    head_.size += n;
  }
  // The last kSize bytes of what was read so far: the end of this read and,
  // when it is short, the end of the tail before it.
  const std::size_t fresh = std::min(Kept::kSize, bytes.size());
  const std::size_t older = std::min(Kept::kSize - fresh, tail_.size);
  std::memmove(tail_.bytes.data(), tail_.bytes.data() + tail_.size - older, older);
  std::memcpy(tail_.bytes.data() + older, bytes.data() + bytes.size() - fresh, fresh);
  tail_.size = older + fresh;
  tail_.offset = offset + bytes.size() - tail_.size;
}

bool TraceFollower::stillReads(const Kept& kept) const {
  if (kept.size == 0) return true;
  std::array<std::uint8_t, Kept::kSize> now{};
  const std::ptrdiff_t got =
      platform::readAt(stream_, kept.offset, std::span(now.data(), kept.size));
  return got == static_cast<std::ptrdiff_t>(kept.size) &&
         std::memcmp(now.data(), kept.bytes.data(), kept.size) == 0;
}

void TraceFollower::flushAll() {
  for (Writer* writer : flushed_) writer->flush();
}

void TraceFollower::beforeRead() {
  if (platform::StopRequests::requested()) throw FollowStopped();
  status_.tick();
  // A pipe or a terminal: what has been listed goes out before a read that
  // would wait.
  if (!regular_ && platform::readWouldWait(stream_)) flushAll();
}

bool TraceFollower::waitForMore(std::uint64_t offset) {
  // A pipe is over when its writer closes it.
  if (!regular_) return false;
  flushAll();
  for (;;) {
    if (platform::StopRequests::requested()) throw FollowStopped();
    const std::optional<std::uint64_t> size = platform::sizeOf(stream_);
    if (size && *size < offset) throw TraceRestarted("was truncated");
    const std::optional<platform::FileIdentity> named = platform::identityOfName(path_);
    if (named && !sameFile(*named, identity_)) throw TraceRestarted("was replaced");
    // Truncated and written again past the old end since the last look; or
    // truncated just now, after its size was taken: its size says which.
    if (!stillReads(head_) || !stillReads(tail_)) {
      const std::optional<std::uint64_t> now = platform::sizeOf(stream_);
      throw TraceRestarted(now && *now < offset ? "was truncated" : "was rewritten");
    }
    if (size && *size > offset) return true;
    status_.tick();
    changes_.sleep();
  }
}

}  // namespace ovantrex
