// What the program asks of the operating system, in one place. The rest of
// the program speaks only standard C++ and the C library's streams; these
// functions do what differs between systems. platform_posix.cpp implements
// them on Linux, platform_windows.cpp on Windows; CMake builds the one that
// fits the target.
//
// File names are UTF-8 throughout the program (on Windows the command line
// is read in UTF-16 and converted, and names are converted back to open
// files, so that any name that the system allows opens).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/exit_status.h"

namespace ovantrex::platform {

// ---- Files ----

// A file as the system knows it, whatever name it was opened by.
struct FileIdentity {
  enum class Kind { Regular, Directory, Device, Pipe, Other };
  Kind kind = Kind::Other;
  // How much the system tells of which file it is: the volume and the file
  // on it (device and inode; volume serial number and file index), which
  // tell two names of one file apart from two files; the file's index alone
  // (Windows, for a handle whose volume it does not name, as Wine hands over
  // a shell's redirection); or nothing (a pipe on Windows, or a file that
  // the system tells nothing of).
  enum class Known { Nothing, Index, VolumeAndIndex };
  Known known = Known::Nothing;
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
};

// Whether writing output would overwrite the trace: both are the same file,
// and output is not a device (a device such as the null device or a terminal
// holds no stored bytes, so it may be both). CannotTell: the system does not
// say enough of one of them to tell it from the other.
enum class SameFile { No, Yes, CannotTell };

inline SameFile sameStoredFile(const FileIdentity& output, const FileIdentity& trace) {
  using Kind = FileIdentity::Kind;
  using Known = FileIdentity::Known;
  if (output.kind == Kind::Device) return SameFile::No;
  if (output.known == Known::VolumeAndIndex && trace.known == Known::VolumeAndIndex)
    return output.volume == trace.volume && output.index == trace.index ? SameFile::Yes
                                                                        : SameFile::No;
  // Less is known of one of them (Windows). A pipe or a device holds no
  // stored bytes of a file, and two files of different indexes are two
  // files, whatever their volumes.
  if (output.kind == Kind::Pipe || trace.kind == Kind::Pipe || trace.kind == Kind::Device)
    return SameFile::No;
  if (output.known != Known::Nothing && trace.known != Known::Nothing &&
      output.index != trace.index)
    return SameFile::No;
  return SameFile::CannotTell;
}

std::optional<FileIdentity> identityOf(std::FILE* file);
// The identity of the file that name now stands for.
std::optional<FileIdentity> identityOfName(const std::string& name);
// Whether nothing stands under the name (it, or its folder, is missing),
// looked up without opening it: a pipe opened to look would be taken by
// the look. A name that cannot be looked up (not allowed, a device) is
// not missing: its open tells why.
bool nothingNamed(const std::string& name);

// Why no file opens by the name as it was given, or empty. On Windows an
// argument that is not valid UTF-16 (a lone surrogate) comes as the three
// bytes that UTF-8 would give the lone code unit: any conversion of it to a
// name of the system names another file. Empty on Linux, where a name is
// bytes.
std::string_view whyNoFileOpensBy(const std::string& name);

#ifdef _WIN32
// The name as the system's calls take it: UTF-16, and a name whose absolute
// form is long made absolute with the "\\?\" prefix, which lifts the limit
// of 260 characters. None when the name is not valid UTF-8.
std::optional<std::wstring> systemName(const std::string& name);
#endif

// Opens the trace for reading in binary mode (no translation of line ends),
// leaving the program that writes it free to go on writing, truncate it or
// rename it. Null on failure, with errno set (ENOMEM for want of memory;
// EINTR when a stop request ended the wait for a FIFO's writer).
std::FILE* openForReading(const std::string& name);

// How the line ends of a text output are written: as text files are
// written on the system (CRLF on Windows), or each "\n" as it is. On
// Windows, Text is the C runtime's text mode of the stream, which its Writer
// follows: it writes the CR LF itself (see output/common/writer.h).
enum class LineEnds { Text, Bytes };

// Opens a file for writing without emptying it (see emptyFile()), for
// bytes: setLineEnds() makes it text. Null on failure, with errno set
// (EINTR when a stop request ended the wait for a FIFO's reader).
std::FILE* openForWriting(const std::string& name);
// Empties a file opened by openForWriting(); false with errno set.
bool emptyFile(std::FILE* file);
// Sets the line ends of an open stream, before anything is written to it.
void setLineEnds(std::FILE* stream, LineEnds lineEnds);

// Whether the stream is a terminal (a Windows console), whose controls the
// listing escapes.
bool isTerminal(std::FILE* stream);
// The columns of the terminal (console window) that the stream writes to;
// none when it does not say.
std::optional<std::size_t> terminalWidth(std::FILE* stream);

// Makes the terminal that the stream writes to take colour sequences, for
// as long as it lives: a Windows console has its virtual-terminal
// processing turned on, and its mode put back at the end. able() is false
// for a console that cannot take them; a stream that is no console (a
// terminal on Linux, a pipe, a file) takes them as it is. A stop that ends
// the run part way (a stop signal that the run does not take, Ctrl-C on a
// console) ends any colour on the terminal or console first, so that what
// comes after is not left in it.
class TerminalColours {
 public:
  explicit TerminalColours(std::FILE* stream);
  // Puts back what it changed: the stop signals' actions, the console's mode.
  ~TerminalColours();  // NOLINT(performance-trivially-destructible)
  TerminalColours(const TerminalColours&) = delete;
  TerminalColours& operator=(const TerminalColours&) = delete;
  bool able() const { return able_; }

 private:
  bool able_ = true;
  // Windows alone reads these two.
  [[maybe_unused]] void* console_ = nullptr;  // the console whose mode is put back, or null
  [[maybe_unused]] unsigned long mode_ = 0;   // its mode before
};

// Reads what the stream holds now at its position, past any buffer of the
// stream, waiting on a pipe until something comes. Returns the count (0 at
// the end), or -1 with errno set (EINTR when a stop request cut the wait).
std::ptrdiff_t readAvailable(std::FILE* stream, std::span<std::uint8_t> into);
// Reads bytes at offset without moving the stream's position; the count
// read, or -1.
std::ptrdiff_t readAt(std::FILE* stream, std::uint64_t offset, std::span<std::uint8_t> into);
// The size of the file now.
std::optional<std::uint64_t> sizeOf(std::FILE* stream);
// Whether a read of the stream (a pipe) would wait for its writer.
bool readWouldWait(std::FILE* stream);

// ---- Stopping a followed run ----

// Turns the requests to stop (SIGINT, SIGTERM and SIGHUP on Linux; Ctrl-C,
// Ctrl-Break, the console's closing, the user's logoff and the system's
// shutdown on Windows) into a flag, for as long as it lives. Windows ends
// the process once it has taken one of the last three, which is held until
// this ends: it lives until the run has written what it read.
class StopRequests {
 public:
  StopRequests();
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

  static bool requested();

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;  // what was in place before
};

// Sleeps until a watched file or its folder may have changed, or a short
// while (at most a second) has passed.
class ChangeWatch {
 public:
  ChangeWatch();
  ~ChangeWatch();
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;

  // Watches the file at path (a regular file) and its folder.
  void watch(const std::string& path);
  void sleep();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// ---- The process ----

// The standard streams that the program was started without.
struct MissingStreams {
  bool output = false;
};

// Puts the null device in place of each standard stream that the program
// was started without, before any file is opened: otherwise the trace or
// the listing could take its place, and messages meant for standard output
// or error would land in the listing. Returns the exit status when the null
// device cannot be had (the message is written), or none.
std::optional<ExitStatus> fillMissingStandardStreams(MissingStreams& missing);

// Writes to standard error without a Writer (there may be none).
void say(std::string_view message);

// The command line as UTF-8 strings, the program's name first, followed by
// a null: argv itself on Linux; on Windows the wide-character command line,
// converted (argc is then set to its count). Null when memory is short.
const char* const* commandLine(int& argc, char** argv) noexcept;

// Writes to a reader that went away fail with an error (EPIPE) instead of
// ending the program.
void keepRunningWhenAReaderGoesAway();

// Reads the local time zone (TZ, or the system's zone) for localTime().
void readTimeZone();
// The local calendar time of seconds since 1970-01-01 00:00:00 UTC; false
// when the system cannot convert it.
bool localTime(std::int64_t seconds, std::tm& local);

}  // namespace ovantrex::platform
