// The platform layer on Windows: wide-character names and command line,
// file handles under the C library's streams, and the console and its
// control events (the process's streams and time:
// platform_windows_process.cpp).

// windows.h first: the system's other headers need what it declares.
// clang-format off
#include <windows.h>
#include <fcntl.h>
#include <io.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/platform.h"
#include "output/common/colours.h"

// The C runtime's own split of the wide-character command line, as a
// program with wmain() gets it (msvcrt.dll). Unlike CommandLineToArgvW it
// needs no shell library, which would bring the window library (user32):
// Windows tells a console program that loads it of no logoff or shutdown.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the C runtime's own name
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                                      int expandWildcards, int* startup);

namespace ovantrex::platform {

namespace {

// The longest absolute name that the system's calls take without the
// "\\?\" prefix (folders: 248 characters, less than the 260 of files).
constexpr std::size_t kShortName = 248;
// The wait between two looks at a followed trace.
constexpr DWORD kLookMilliseconds = 100;

// Set by the console's control handler, which runs on a thread of its own.
std::atomic<bool> stopRequested{false};

// UTF-16 of UTF-8; none when the bytes are not UTF-8 (among them the bytes
// that stand for a lone surrogate of the command line).
std::optional<std::wstring> wide(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(std::min<std::size_t>(utf8.size(), INT_MAX));
  const int count =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (count <= 0) return std::nullopt;
  std::wstring text(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, text.data(), count);
  return text;
}

// UTF-8 of UTF-16, each lone surrogate as the three bytes of its code unit
// (which no UTF-8 decoder takes, so that such a name opens no file).
std::string narrow(std::wstring_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  const auto put = [&bytes](unsigned value) { bytes += static_cast<char>(value); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned code = text[i];
    const bool pair = code >= 0xd800 && code < 0xdc00 && i + 1 < text.size() &&
                      text[i + 1] >= 0xdc00 && text[i + 1] < 0xe000;
    if (pair) code = 0x10000 + ((code - 0xd800) << 10) + (text[++i] - 0xdc00u);
    if (code < 0x80) {
      put(code);
    } else if (code < 0x800) {
      put(0xc0 | code >> 6);
      put(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      put(0xe0 | code >> 12);
      put(0x80 | (code >> 6 & 0x3f));
      put(0x80 | (code & 0x3f));
    } else {
      put(0xf0 | code >> 18);
      put(0x80 | (code >> 12 & 0x3f));
      put(0x80 | (code >> 6 & 0x3f));
      put(0x80 | (code & 0x3f));
    }
  }
  return bytes;
}

// The absolute form of a name, as the system resolves it (the current
// folder, "." and "..", "/" for "\"); empty when it cannot.
std::wstring absoluteName(const std::wstring& name) {
  const DWORD room = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (room == 0) return {};
  std::wstring full(room, L'\0');
  const DWORD length = GetFullPathNameW(name.c_str(), room, full.data(), nullptr);
  if (length == 0 || length >= room) return {};
  full.resize(length);
  return full;
}

}  // namespace

std::optional<std::wstring> systemName(const std::string& name) {
  std::optional<std::wstring> text = wide(name);
  if (!text || text->empty() || text->starts_with(LR"(\\?\)")) return text;
  // A short name in a deep folder is long too: the absolute form counts.
  const std::wstring full = absoluteName(*text);
  if (full.size() < kShortName) return text;
  // Device names (\\.\) take no prefix.
  if (full.starts_with(LR"(\\.\)") || full.starts_with(LR"(\\?\)")) return full;
  if (full.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + full.substr(2);
  return LR"(\\?\)" + full;
}

std::string_view whyNoFileOpensBy(const std::string& name) {
  if (wide(name)) return {};
  return "the name is not valid Unicode (a lone UTF-16 surrogate)";
}

namespace {

int errnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: return EPIPE;
    case ERROR_NO_UNICODE_TRANSLATION: return EILSEQ;
    default: return EIO;
  }
}

HANDLE handleOf(std::FILE* stream) {
  const int descriptor = stream != nullptr ? _fileno(stream) : -1;
  if (descriptor < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

// A stream over an open handle, which it then owns; null with errno set.
std::FILE* streamOver(HANDLE handle, int flags, const char* mode) {
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
  if (descriptor < 0) {
    const int error = errno;
    CloseHandle(handle);
    errno = error;
    return nullptr;
  }
  std::FILE* const stream = _fdopen(descriptor, mode);
  if (stream == nullptr) {
    const int error = errno;
    _close(descriptor);
    errno = error;
  }
  return stream;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens a file by name; INVALID_HANDLE_VALUE with the error set on failure.
HANDLE openHandle(const std::string& name, DWORD access, DWORD disposition, DWORD flags) {
  const std::optional<std::wstring> path = systemName(name);
  if (!path) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(path->c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
}

FileIdentity::Kind kindOf(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileIdentity::Kind::Directory
                                                      : FileIdentity::Kind::Regular;
}

// A disk file of which GetFileInformationByHandle tells nothing: under Wine,
// a handle that a shell's redirection gave, which has no name and so no
// volume. Its index and its attributes are still told.
FileIdentity identityOfUnnamed(HANDLE handle) {
  FileIdentity identity;
  FILE_BASIC_INFO basic{};
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) != 0)
    identity.kind = kindOf(basic.FileAttributes);
  FILE_ID_INFO id{};
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id) == 0) return identity;
  // The 128-bit identifier holds the 64-bit index that
  // GetFileInformationByHandle tells (NTFS, and Wine's inode); a longer one
  // (ReFS) is not comparable with it.
  std::uint64_t low = 0, high = 0;
  std::memcpy(&low, id.FileId.Identifier, sizeof low);
  std::memcpy(&high, id.FileId.Identifier + sizeof low, sizeof high);
  if (high != 0) return identity;
  identity.known = FileIdentity::Known::Index;
  identity.index = low;
  return identity;
}

std::optional<FileIdentity> identityOfHandle(HANDLE handle) {
  FileIdentity identity;
  switch (GetFileType(handle)) {
    case FILE_TYPE_DISK: break;
    case FILE_TYPE_CHAR: identity.kind = FileIdentity::Kind::Device; return identity;
    case FILE_TYPE_PIPE: identity.kind = FileIdentity::Kind::Pipe; return identity;
    default: return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (GetFileInformationByHandle(handle, &information) == 0) return identityOfUnnamed(handle);
  identity.kind = kindOf(information.dwFileAttributes);
  identity.known = FileIdentity::Known::VolumeAndIndex;
  identity.volume = information.dwVolumeSerialNumber;
  identity.index = std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
  return identity;
}

}  // namespace

std::optional<FileIdentity> identityOf(std::FILE* file) {
  const HANDLE handle = handleOf(file);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  return identityOfHandle(handle);
}

std::optional<FileIdentity> identityOfName(const std::string& name) {
  // No access asked for: only the file's information is read. Folders open
  // with backup semantics alone.
  const HANDLE handle = openHandle(name, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileIdentity> identity = identityOfHandle(handle);
  CloseHandle(handle);
  return identity;
}

bool nothingNamed(const std::string& name) {
  const std::optional<std::wstring> path = systemName(name);
  if (!path) return false;
  // A device (\\.\pipe\..., \\.\COM1) is only looked up by opening it.
  if (absoluteName(*path).starts_with(LR"(\\.\)")) return false;
  if (GetFileAttributesW(path->c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::FILE* openForReading(const std::string& name) {
  const HANDLE handle = openHandle(name, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = errnoOf(GetLastError());
    return nullptr;
  }
  return streamOver(handle, _O_RDONLY | _O_BINARY, "rb");
}

std::FILE* openForWriting(const std::string& name) {
  // OPEN_ALWAYS: made when missing, and not emptied.
  const HANDLE handle = openHandle(name, GENERIC_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = errnoOf(GetLastError());
    return nullptr;
  }
  return streamOver(handle, _O_WRONLY | _O_BINARY, "wb");
}

bool emptyFile(std::FILE* file) {
  const HANDLE handle = handleOf(file);
  if (SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN) != 0 &&
      SetEndOfFile(handle) != 0)
    return true;
  errno = errnoOf(GetLastError());
  return false;
}

void setLineEnds(std::FILE* stream, LineEnds lineEnds) {
  const int descriptor = _fileno(stream);
  if (descriptor >= 0) _setmode(descriptor, lineEnds == LineEnds::Text ? _O_TEXT : _O_BINARY);
}

bool isTerminal(std::FILE* stream) {
  // A console answers GetConsoleMode; the null device, which the C
  // library's _isatty also counts as a terminal, does not.
  DWORD mode = 0;
  return GetConsoleMode(handleOf(stream), &mode) != 0;
}

namespace {

// The console whose mode a TerminalColours changed, and its mode before,
// for a Ctrl-C or Ctrl-Break that ends the process before the colours end.
std::atomic<HANDLE> colouredConsole{nullptr};
std::atomic<HANDLE> colouringThread{nullptr};  // the thread that writes to it
std::atomic<DWORD> colouredConsoleMode{0};
// Whether a StopRequests takes the console's requests: the run then ends
// as usual, and its TerminalColours with it.
std::atomic<bool> stopsTaken{false};

void restoreColouredConsole(bool endColour) {
  const HANDLE console = colouredConsole.exchange(nullptr);
  if (console == nullptr) return;
  if (endColour) {
    DWORD written = 0;
    WriteFile(console, kHueEnd.data(), static_cast<DWORD>(kHueEnd.size()), &written, nullptr);
  }
  SetConsoleMode(console, colouredConsoleMode.load());
}

// Called before the default handler, which ends the process: a colour that
// the run had started is ended and the console's mode put back first,
// unless the run takes the request itself.
BOOL WINAPI restoreOnStop(DWORD /*event*/) {
  if (stopsTaken.load()) return FALSE;
  // The handler has a thread of its own: the writing thread is stopped for
  // good, its write under way done (GetThreadContext waits for that).
  if (const HANDLE writing = colouringThread.exchange(nullptr); writing != nullptr) {
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    if (SuspendThread(writing) != static_cast<DWORD>(-1)) GetThreadContext(writing, &context);
  }
  restoreColouredConsole(true);
  return FALSE;
}

}  // namespace

TerminalColours::TerminalColours(std::FILE* stream) {
  const HANDLE handle = handleOf(stream);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode) == 0) return;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
      SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
    able_ = false;
    return;
  }
  console_ = handle;
  mode_ = mode;
  colouredConsoleMode = mode;
  colouredConsole = handle;
  colouringThread =
      OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, GetCurrentThreadId());
  SetConsoleCtrlHandler(restoreOnStop, TRUE);
}

TerminalColours::~TerminalColours() {
  if (console_ == nullptr) return;
  SetConsoleCtrlHandler(restoreOnStop, FALSE);
  if (const HANDLE thread = colouringThread.exchange(nullptr); thread != nullptr)
    CloseHandle(thread);
  restoreColouredConsole(false);
}

std::optional<std::size_t> terminalWidth(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(handleOf(stream), &info) == 0) return std::nullopt;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? std::optional<std::size_t>(static_cast<std::size_t>(columns)) : std::nullopt;
}

std::ptrdiff_t readAvailable(std::FILE* stream, std::span<std::uint8_t> into) {
  const HANDLE handle = handleOf(stream);
  // A read of an empty pipe waits for its writer, and no stop request ends
  // that wait: the pipe is looked at until something comes (or its writer
  // closes it, which the read then tells).
  DWORD waiting = 0;
  while (GetFileType(handle) == FILE_TYPE_PIPE &&
         PeekNamedPipe(handle, nullptr, 0, nullptr, &waiting, nullptr) != 0 && waiting == 0) {
    if (stopRequested) {
      errno = EINTR;
      return -1;
    }
    Sleep(kLookMilliseconds);
  }
  const auto count = static_cast<DWORD>(std::min<std::size_t>(into.size(), DWORD{1} << 30));
  DWORD got = 0;
  if (ReadFile(handle, into.data(), count, &got, nullptr) != 0) return got;
  const DWORD error = GetLastError();
  // A pipe whose writer closed it is at its end.
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
  errno = error == ERROR_OPERATION_ABORTED ? EINTR : errnoOf(error);
  return -1;
}

std::ptrdiff_t readAt(std::FILE* stream, std::uint64_t offset, std::span<std::uint8_t> into) {
  // A read at an offset moves the position of a handle opened for plain
  // reads: the position is put back after it.
  const HANDLE handle = handleOf(stream);
  LARGE_INTEGER position{};
  if (SetFilePointerEx(handle, LARGE_INTEGER{}, &position, FILE_CURRENT) == 0) return -1;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xffffffffu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const auto count = static_cast<DWORD>(std::min<std::size_t>(into.size(), DWORD{1} << 30));
  const bool read = ReadFile(handle, into.data(), count, &got, &at) != 0;
  const bool atEnd = !read && GetLastError() == ERROR_HANDLE_EOF;
  SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
  if (read) return got;
  return atEnd ? 0 : -1;
}

std::optional<std::uint64_t> sizeOf(std::FILE* stream) {
  LARGE_INTEGER size{};
  if (GetFileSizeEx(handleOf(stream), &size) == 0) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool readWouldWait(std::FILE* stream) {
  DWORD waiting = 0;
  if (PeekNamedPipe(handleOf(stream), nullptr, 0, nullptr, &waiting, nullptr) == 0) return true;
  return waiting == 0;
}

// ---- Stopping: Ctrl-C, Ctrl-Break, and the console's closing, the user's
// logoff and the system's shutdown ----

namespace {

// Set when a StopRequests ends: the run has written what it read. One for
// the process, never closed: a handler may still wait on it.
std::atomic<HANDLE> runEnded{nullptr};

BOOL WINAPI requestStop(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: stopRequested = true; return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process once this returns, or when the time it
      // gives a handler is up: the run writes what it read first.
      stopRequested = true;
      WaitForSingleObject(runEnded.load(), INFINITE);
      return TRUE;
    default: return FALSE;
  }
}

}  // namespace

struct StopRequests::Saved {};

StopRequests::StopRequests() : saved_(std::make_unique<Saved>()) {
  stopRequested = false;
  if (runEnded.load() == nullptr) {
    runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  } else {
    ResetEvent(runEnded.load());
  }
  SetConsoleCtrlHandler(requestStop, TRUE);
  stopsTaken = true;
}

StopRequests::~StopRequests() {
  // A waiting handler holds the console's lock, which the removal takes: it
  // is let go first.
  stopsTaken = false;
  SetEvent(runEnded.load());
  SetConsoleCtrlHandler(requestStop, FALSE);
}

bool StopRequests::requested() { return stopRequested; }

// ---- Waiting for a change: a look at the size every 100 ms ----

struct ChangeWatch::State {};

ChangeWatch::ChangeWatch() : state_(std::make_unique<State>()) {}

ChangeWatch::~ChangeWatch() = default;

void ChangeWatch::watch(const std::string& /*path*/) {}

void ChangeWatch::sleep() { Sleep(kLookMilliseconds); }

// ---- The command line ----

const char* const* commandLine(int& argc, char** argv) noexcept {
  static std::vector<std::string> arguments;
  static std::vector<const char*> pointers;
  int count = 0;
  wchar_t** words = nullptr;
  wchar_t** environment = nullptr;
  int newMode = 0;
  if (__wgetmainargs(&count, &words, &environment, 0, &newMode) != 0 || words == nullptr)
    return argv;
  try {
    for (int i = 0; i < count; ++i) arguments.push_back(narrow(words[i]));
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  argc = count;
  return pointers.data();
}

}  // namespace ovantrex::platform
