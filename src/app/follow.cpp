#include "app/follow.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace ovantrex {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int /*signal*/) { stopRequested = 1; }

// Without inotify the file's size is looked at this often.
constexpr int kPollMilliseconds = 100;
// With inotify a wait still ends this often, to notice what a watch may
// miss (a folder that cannot be watched, a file system without events).
constexpr int kNotifyMilliseconds = 1000;

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

StopSignals::StopSignals() {
  stopRequested = 0;
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read or a wait that a signal interrupts returns, and the
  // request is seen at once.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &oldInterrupt_);
  sigaction(SIGTERM, &action, &oldTerminate_);
  sigaction(SIGHUP, &action, &oldHangUp_);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &oldInterrupt_, nullptr);
  sigaction(SIGTERM, &oldTerminate_, nullptr);
  sigaction(SIGHUP, &oldHangUp_, nullptr);
}

bool StopSignals::requested() { return stopRequested != 0; }

TraceFollower::TraceFollower(std::string path, std::vector<Writer*> flushed)
    : path_(std::move(path)), flushed_(std::move(flushed)) {
  notify_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
}

TraceFollower::~TraceFollower() {
  if (notify_ >= 0) close(notify_);
}

void TraceFollower::attach(std::FILE* stream) {
  descriptor_ = fileno(stream);
  regular_ = fstat(descriptor_, &identity_) == 0 && S_ISREG(identity_.st_mode);
  head_ = {};
  tail_ = {};
  watch();
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
  const ssize_t got = pread(descriptor_, now.data(), kept.size, static_cast<off_t>(kept.offset));
  return got == static_cast<ssize_t>(kept.size) &&
         std::memcmp(now.data(), kept.bytes.data(), kept.size) == 0;
}

void TraceFollower::watch() {
  if (notify_ < 0 || !regular_) return;
  if (fileWatch_ >= 0) inotify_rm_watch(notify_, fileWatch_);
  if (folderWatch_ >= 0) inotify_rm_watch(notify_, folderWatch_);
  fileWatch_ =
      inotify_add_watch(notify_, path_.c_str(),
                        IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF);
  folderWatch_ = inotify_add_watch(notify_, folderOf(path_).c_str(), IN_CREATE | IN_MOVED_TO);
}

void TraceFollower::flushAll() {
  for (Writer* writer : flushed_) writer->flush();
}

void TraceFollower::beforeRead() {
  if (StopSignals::requested()) throw FollowStopped();
  if (regular_) return;
  // A pipe or a terminal: what has been listed goes out before a read that
  // would wait.
  pollfd ready{descriptor_, POLLIN, 0};
  if (poll(&ready, 1, 0) == 0) flushAll();
}

void TraceFollower::sleep() {
  if (notify_ < 0 || fileWatch_ < 0) {
    poll(nullptr, 0, kPollMilliseconds);
    return;
  }
  pollfd events{notify_, POLLIN, 0};
  if (poll(&events, 1, kNotifyMilliseconds) > 0) {
    // The events only wake the wait; the file itself is looked at again.
    std::array<char, 4096> drained{};
    while (read(notify_, drained.data(), drained.size()) > 0) {
    }
  }
}

bool TraceFollower::waitForMore(std::uint64_t offset) {
  // A pipe is over when its writer closes it.
  if (!regular_) return false;
  flushAll();
  for (;;) {
    if (StopSignals::requested()) throw FollowStopped();
    struct stat now {};
    if (fstat(descriptor_, &now) == 0 && static_cast<std::uint64_t>(now.st_size) < offset)
      throw TraceRestarted("was truncated");
    struct stat named {};
    if (stat(path_.c_str(), &named) == 0 &&
        (named.st_dev != identity_.st_dev || named.st_ino != identity_.st_ino))
      throw TraceRestarted("was replaced");
    // Truncated and written again past the old end since the last look.
    if (!stillReads(head_) || !stillReads(tail_)) throw TraceRestarted("was rewritten");
    if (static_cast<std::uint64_t>(now.st_size) > offset) return true;
    sleep();
  }
}

}  // namespace ovantrex
