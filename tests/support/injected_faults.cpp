#include "injected_faults.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace ovantrex::test {

struct FaultState {
  bool active = false;
  std::string readPath;  // empty: no read fault
  int passingReads = 0;
  bool byBytes = false;  // reads fail at readLimit bytes, not after passingReads calls
  std::size_t readLimit = 0;
  std::size_t bytesRead = 0;
  int readsSeen = 0;
  int failedReads = 0;
  std::FILE* failedStream = nullptr;  // ferror() answers 1 for it
  std::string closePath;              // empty: no close fault
  int closeError = 0;
  int failedCloses = 0;
  std::string truncatePath;  // empty: no truncate fault
  int truncateError = 0;
  int failedTruncates = 0;
};

}  // namespace ovantrex::test

namespace {

using ovantrex::test::FaultState;

// Never destroyed: streams may still be closed while the program exits.
FaultState& faults() {
  static FaultState* const state = new FaultState;
  return *state;
}

// The file that a descriptor reads or writes, as the kernel names it.
std::string pathOf(int fd) {
  if (fd < 0) return {};
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  char target[4096];
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
  if (length <= 0) return {};
  return std::string(target, static_cast<std::size_t>(length));
}

std::string pathOf(std::FILE* stream) { return pathOf(::fileno(stream)); }

std::string canonical(const std::string& path) {
  return std::filesystem::weakly_canonical(path).string();
}

// The C library's own function of that name.
template <typename Function>
Function next(const char* name) {
  void* symbol = ::dlsym(RTLD_NEXT, name);
  if (symbol == nullptr) std::abort();
  return reinterpret_cast<Function>(symbol);
}

}  // namespace

extern "C" {

// The parameters are named as in the C library's declarations, but for
// their reserved leading underscores.
// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
std::size_t fread(void* ptr, std::size_t size, std::size_t n, std::FILE* stream) {
  static const auto real =
      next<std::size_t (*)(void*, std::size_t, std::size_t, std::FILE*)>("fread");
  FaultState& f = faults();
  if (f.active && !f.readPath.empty() && f.byBytes && pathOf(stream) == f.readPath) {
    const std::size_t wanted = size * n;
    if (size != 1 || f.bytesRead + wanted <= f.readLimit) {
      const std::size_t got = real(ptr, size, n, stream);
      f.bytesRead += got * size;
      return got;
    }
    const std::size_t got = real(ptr, 1, f.readLimit - f.bytesRead, stream);
    f.bytesRead += got;
    ++f.failedReads;
    f.failedStream = stream;
    errno = EIO;
    return got;
  }
  if (f.active && !f.readPath.empty() && pathOf(stream) == f.readPath) {
    if (f.readsSeen++ >= f.passingReads) {
      ++f.failedReads;
      f.failedStream = stream;
      errno = EIO;
      return 0;
    }
  }
  return real(ptr, size, n, stream);
}

int ferror(std::FILE* stream) noexcept {
  static const auto real = next<int (*)(std::FILE*)>("ferror");
  const FaultState& f = faults();
  if (f.active && stream == f.failedStream) return 1;
  return real(stream);
}

int fclose(std::FILE* stream) {
  static const auto real = next<int (*)(std::FILE*)>("fclose");
  FaultState& f = faults();
  if (!f.active) return real(stream);
  if (stream == f.failedStream) f.failedStream = nullptr;
  if (f.closePath.empty() || pathOf(stream) != f.closePath) return real(stream);
  real(stream);
  ++f.failedCloses;
  errno = f.closeError;
  return EOF;
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
int ftruncate(int fd, off_t length) noexcept {
  static const auto real = next<int (*)(int, off_t)>("ftruncate");
  FaultState& f = faults();
  if (f.active && !f.truncatePath.empty() && pathOf(fd) == f.truncatePath) {
    ++f.failedTruncates;
    errno = f.truncateError;
    return -1;
  }
  return real(fd, length);
}

}  // extern "C"

namespace ovantrex::test {

InjectedFaults::InjectedFaults() : state_(faults()) {
  if (state_.active) throw std::logic_error("faults are already injected");
  state_ = FaultState{};
  state_.active = true;
}

InjectedFaults::~InjectedFaults() { state_ = FaultState{}; }

void InjectedFaults::failReadsOf(const std::string& path, int passingReads) {
  state_.readPath = canonical(path);
  state_.passingReads = passingReads;
}

void InjectedFaults::failCloseOf(const std::string& path, int errorNumber) {
  state_.closePath = canonical(path);
  state_.closeError = errorNumber;
}

void InjectedFaults::failReadsAfter(const std::string& path, std::size_t bytes) {
  state_.readPath = canonical(path);
  state_.byBytes = true;
  state_.readLimit = bytes;
}

void InjectedFaults::failTruncateOf(const std::string& path, int errorNumber) {
  state_.truncatePath = canonical(path);
  state_.truncateError = errorNumber;
}

int InjectedFaults::failedTruncates() const { return state_.failedTruncates; }

int InjectedFaults::failedReads() const { return state_.failedReads; }
int InjectedFaults::failedCloses() const { return state_.failedCloses; }

}  // namespace ovantrex::test
