// The platform layer on Linux: descriptors, stat, signals and inotify.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <memory>
#include <utility>

#include "app/platform.h"
#include "output/common/colours.h"

namespace ovantrex::platform {

namespace {

FileIdentity identityFrom(const struct stat& status) {
  FileIdentity identity;
  if (S_ISREG(status.st_mode)) {
    identity.kind = FileIdentity::Kind::Regular;
  } else if (S_ISDIR(status.st_mode)) {
    identity.kind = FileIdentity::Kind::Directory;
  } else if (S_ISCHR(status.st_mode)) {
    identity.kind = FileIdentity::Kind::Device;
  }
  identity.known = FileIdentity::Known::VolumeAndIndex;
  identity.volume = status.st_dev;
  identity.index = status.st_ino;
  return identity;
}

}  // namespace

std::optional<FileIdentity> identityOf(std::FILE* file) {
  struct stat status {};
  const int descriptor = file != nullptr ? fileno(file) : -1;
  if (descriptor < 0 || fstat(descriptor, &status) != 0) return std::nullopt;
  return identityFrom(status);
}

std::optional<FileIdentity> identityOfName(const std::string& name) {
  struct stat status {};
  if (stat(name.c_str(), &status) != 0) return std::nullopt;
  return identityFrom(status);
}

bool nothingNamed(const std::string& name) {
  struct stat status {};
  return stat(name.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

std::string_view whyNoFileOpensBy(const std::string& /*name*/) { return {}; }

std::FILE* openForReading(const std::string& name) { return std::fopen(name.c_str(), "rb"); }

std::FILE* openForWriting(const std::string& name) {
  const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* const file = fdopen(descriptor, "w");  // "w" does not empty the file
  if (file == nullptr) {
    const int error = errno;
    close(descriptor);
    errno = error;
  }
  return file;
}

bool emptyFile(std::FILE* file) { return ftruncate(fileno(file), 0) == 0; }

void setLineEnds(std::FILE* /*stream*/, LineEnds /*lineEnds*/) {}

bool isTerminal(std::FILE* stream) {
  const int descriptor = fileno(stream);
  return descriptor >= 0 && isatty(descriptor) == 1;
}

std::optional<std::size_t> terminalWidth(std::FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
  return size.ws_col;
}

std::ptrdiff_t readAvailable(std::FILE* stream, std::span<std::uint8_t> into) {
  return ::read(fileno(stream), into.data(), into.size());
}

std::ptrdiff_t readAt(std::FILE* stream, std::uint64_t offset, std::span<std::uint8_t> into) {
  return pread(fileno(stream), into.data(), into.size(), static_cast<off_t>(offset));
}

std::optional<std::uint64_t> sizeOf(std::FILE* stream) {
  struct stat status {};
  if (fstat(fileno(stream), &status) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(status.st_size);
}

bool readWouldWait(std::FILE* stream) {
  pollfd ready{fileno(stream), POLLIN, 0};
  return poll(&ready, 1, 0) == 0;
}

// ---- Stopping: SIGINT, SIGTERM and SIGHUP (the terminal went away) ----

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int /*signal*/) { stopRequested = 1; }

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

struct StopRequests::Saved {
  std::array<struct sigaction, kStopSignals.size()> actions{};
};

StopRequests::StopRequests() : saved_(std::make_unique<Saved>()) {
  stopRequested = 0;
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read or a wait that a signal interrupts returns (EINTR),
  // and the request is seen at once.
  action.sa_flags = 0;
  for (std::size_t i = 0; i < kStopSignals.size(); ++i)
    sigaction(kStopSignals[i], &action, &saved_->actions[i]);
}

StopRequests::~StopRequests() {
  for (std::size_t i = 0; i < kStopSignals.size(); ++i)
    sigaction(kStopSignals[i], &saved_->actions[i], nullptr);
}

bool StopRequests::requested() { return stopRequested != 0; }

// ---- Colours on a terminal: a stop ends the colour first ----

namespace {

// The terminal that the colours are written to, and the stop signals'
// actions before (those that were the default's), for a signal that ends
// the process between a colour's start and its end.
volatile std::sig_atomic_t colouredTerminal = -1;
std::array<struct sigaction, kStopSignals.size()> actionsBeforeColour{};
std::array<bool, kStopSignals.size()> colourHandled{};

extern "C" void endColourAndStop(int signal) {
  const int terminal = colouredTerminal;
  if (terminal >= 0) {
    [[maybe_unused]] const ssize_t written = ::write(terminal, kHueEnd.data(), kHueEnd.size());
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

TerminalColours::TerminalColours(std::FILE* stream) {
  const int terminal = fileno(stream);
  if (terminal < 0 || isatty(terminal) == 0) return;
  colouredTerminal = terminal;
  struct sigaction action {};
  action.sa_handler = endColourAndStop;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
    // A signal that the run takes itself (--follow) or that is ignored
    // keeps its action.
    struct sigaction now {};
    colourHandled[i] = sigaction(kStopSignals[i], nullptr, &now) == 0 &&
                       now.sa_handler == SIG_DFL &&
                       sigaction(kStopSignals[i], &action, &actionsBeforeColour[i]) == 0;
  }
}

TerminalColours::~TerminalColours() {
  for (std::size_t i = 0; i < kStopSignals.size(); ++i)
    if (std::exchange(colourHandled[i], false))
      sigaction(kStopSignals[i], &actionsBeforeColour[i], nullptr);
  colouredTerminal = -1;
}

// ---- Waiting for a change: inotify, or a look every 100 ms ----

namespace {

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

struct ChangeWatch::State {
  int notify = -1;
  int fileWatch = -1;
  int folderWatch = -1;
};

ChangeWatch::ChangeWatch() : state_(std::make_unique<State>()) {
  state_->notify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
}

ChangeWatch::~ChangeWatch() {
  if (state_->notify >= 0) close(state_->notify);
}

void ChangeWatch::watch(const std::string& path) {
  State& s = *state_;
  if (s.notify < 0) return;
  if (s.fileWatch >= 0) inotify_rm_watch(s.notify, s.fileWatch);
  if (s.folderWatch >= 0) inotify_rm_watch(s.notify, s.folderWatch);
  s.fileWatch =
      inotify_add_watch(s.notify, path.c_str(),
                        IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF);
  s.folderWatch = inotify_add_watch(s.notify, folderOf(path).c_str(), IN_CREATE | IN_MOVED_TO);
}

void ChangeWatch::sleep() {
  const State& s = *state_;
  if (s.notify < 0 || s.fileWatch < 0) {
    poll(nullptr, 0, kPollMilliseconds);
    return;
  }
  pollfd events{s.notify, POLLIN, 0};
  if (poll(&events, 1, kNotifyMilliseconds) > 0) {
    // The events only wake the wait; the file itself is looked at again.
    std::array<char, 4096> drained{};
    while (read(s.notify, drained.data(), drained.size()) > 0) {
    }
  }
}

// ---- The process ----

void say(std::string_view message) {
  if (write(STDERR_FILENO, message.data(), message.size()) < 0) {
    // Nothing more can be done.
  }
}

std::optional<ExitStatus> fillMissingStandardStreams(MissingStreams& missing) {
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    if (descriptor == 1) missing.output = true;
    const bool input = descriptor == 0;
    const int opened = open("/dev/null", input ? O_RDONLY : O_WRONLY);
    if (opened == descriptor) continue;
    if (opened >= 0) close(opened);
    say(input ? "Could not open '/dev/null' for reading\n"
              : "Could not open '/dev/null' for writing\n");
    return input ? ExitStatus::CannotReadInput : ExitStatus::CannotOpenOutput;
  }
  return std::nullopt;
}

const char* const* commandLine(int& /*argc*/, char** argv) noexcept { return argv; }

void keepRunningWhenAReaderGoesAway() { std::signal(SIGPIPE, SIG_IGN); }

void readTimeZone() { tzset(); }

bool localTime(std::int64_t seconds, std::tm& local) {
  const auto when = static_cast<std::time_t>(seconds);
  return localtime_r(&when, &local) != nullptr;
}

}  // namespace ovantrex::platform
