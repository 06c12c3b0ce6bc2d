// The program run as a hostile user and a hostile environment would run it:
// the trace named again as the output, a trace that writes terminal
// controls, too little memory, closed standard descriptors, and a standard
// output that cannot be written beside a healthy -w listing. Each runs the
// real program in a child process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "expected_text.h"
#include "firmware_traffic.h"
#include "trace_builder.h"

#if defined(__SANITIZE_ADDRESS__)
#define OVANTREX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OVANTREX_ADDRESS_SANITIZER 1
#endif
#endif

namespace ovantrex {
namespace {

using test::blanks;
using test::ChildResult;
using test::ChildSetup;
using test::kText;
using test::readFile;
using test::runChild;
using test::runShell;
using test::TempDir;
using test::textEntry;
using test::TraceBuilder;
using test::utf8;

// ---- The output must never be the trace ----

TEST(HostileSameFile, TraceNamedAgainAsTheOutputIsRefusedAndKept) {
  TempDir dir;
  TraceBuilder trace;
  trace.text(1000.0, "evidence\n").text(2000.0, "more evidence\n");
  const std::string path = dir.file("t.trc");
  trace.writeTo(path);
  std::filesystem::create_symlink("t.trc", dir.file("link.trc"));
  std::filesystem::create_hard_link(path, dir.file("hard.trc"));

  struct Case {
    const char* what;
    std::string args;
    std::string outputName;  // empty: standard output
  };
  const Case cases[] = {
      {"the same name", "-f t.trc -w t.trc", "t.trc"},
      {"a ./ name", "-f t.trc -w ./t.trc", "./t.trc"},
      {"the absolute path", "-f t.trc -w '" + path + "'", path},
      {"a symbolic link", "-f t.trc -w link.trc", "link.trc"},
      {"a hard link", "-f t.trc -w hard.trc", "hard.trc"},
      {"the trace through the link", "-f link.trc -w t.trc", "t.trc"},
      {"an inherited descriptor", "-f t.trc -w /proc/self/fd/3 3<t.trc", "/proc/self/fd/3"},
      {"the trace by its descriptor", "-f /proc/self/fd/3 -w hard.trc 3<t.trc", "hard.trc"},
      {"standard output appending to it", "-f t.trc >> t.trc", ""},
      {"JSON Lines appending to it", "--json -f t.trc >> t.trc", ""},
      {"a summary appending to a link of it", "--summary -f t.trc >> hard.trc", ""},
      {"standard output beside a listing file", "-f t.trc -w listing.txt 1<>t.trc", ""},
  };
  const std::string inDir = "cd '" + dir.path().string() + "' && \"$OVANTREX\" ";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ChildResult r = runShell(dir, inDir + c.args);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    const std::string output = c.outputName.empty() ? "standard output" : "'" + c.outputName + "'";
    EXPECT_EQ(r.err, "Could not open " + output + " for writing: it is the trace being read\n");
    EXPECT_EQ(readFile(path), trace.str()) << "the trace was changed";
  }

  // A copy of the trace is another file: it is listed over.
  std::filesystem::copy_file(path, dir.file("copy.trc"));
  const std::string listing = textEntry("1.000", "evidence") + textEntry("1.000", "more evidence");
  ChildResult r = runShell(dir, inDir + "-f t.trc -w copy.trc");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readFile(dir.file("copy.trc")), listing);

  // A character device holds nothing that writing could destroy: /dev/null
  // may be both, and lists an empty trace.
  r = runShell(dir, "\"$OVANTREX\" -f /dev/null -w /dev/null");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

// ---- A trace must not drive the terminal ----

// A Text record and a serial number holding a window title (OSC 0), a
// screen clear, a clipboard write (OSC 52), a carriage return and a
// backspace that would overwrite the line, a terminal reset, C1 controls
// raw and UTF-8 encoded, well-formed printable UTF-8, a right-to-left
// override and a line separator that would reorder and break the line
// unseen, and a tab.
TraceBuilder terminalTrace() {
  TraceBuilder t;
  t.text(1000.0,
         "\x1b]0;owned\x07\x1b[2J\x1b]52;c;aGk=\x07ok\rfake\bX\x9b"
         "31m\xc2\x9b\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xe2\x80\xae\xe2\x80\xa8\t|\n");
  t.hidWrite(2000.0, {0x00, 0x00, 0xa0, 0x00},
             {0x0c, 0x00, 0x10, 0x00, 0x04, 0x00, 0x00, 0x00, 0x1b, 0x00, 'c', 0x00, 0x9d, 0x00,
              0x07, 0x00});
  return t;
}

// The listing of terminalTrace(), with the Text and the serial number given.
std::string terminalListing(std::string_view text, std::string_view serial) {
  return textEntry("1.000", text) + "HIDWrite" + blanks(6) + "1.000" + blanks(5) +
         " 0   0000 a000 r0   0c.00.10.00.04.00.00.00.1b.00.63.00.9d.00.07.00\n" + blanks(45) +
         "Write serial number (S/N: " + std::string(serial) + ")\n";
}

const std::string kRawListing = terminalListing(
    "\x1b]0;owned\x07\x1b[2J\x1b]52;c;aGk=\x07ok\rfake\bX\x9b"
    "31m\xc2\x9b\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xe2\x80\xae\xe2\x80\xa8\t|",
    "\x1b"
    "c\x9d\x07");
const std::string kEscapedListing = terminalListing(
    "\\x1b]0;owned\\x07\\x1b[2J\\x1b]52;c;aGk=\\x07ok\\x0dfake\\x08X\\x9b"
    "31m\\xc2\\x9b\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\\xe2\\x80\\xae\\xe2\\x80\\xa8\t|",
    "\\x1bc\\x9d\\x07");

// Everything that can be read from descriptor now, up to its end (or, if
// it does not block, up to what has arrived).
std::string readAll(int descriptor) {
  std::string bytes;
  char chunk[4096];
  for (ssize_t got; (got = read(descriptor, chunk, sizeof chunk)) > 0;)
    bytes.append(chunk, static_cast<std::size_t>(got));
  return bytes;
}

// A pseudo-terminal in raw mode, so that its bytes arrive as written.
struct Terminal {
  int controller = -1;
  int device = -1;
  std::string name;

  Terminal() {
    if (openpty(&controller, &device, nullptr, nullptr, nullptr) != 0) return;
    termios mode{};
    tcgetattr(device, &mode);
    cfmakeraw(&mode);
    tcsetattr(device, TCSANOW, &mode);
    name = ttyname(device);
  }
  ~Terminal() {
    if (controller >= 0) close(controller);
    if (device >= 0) close(device);
  }
  bool open() const { return controller >= 0; }

  // What has arrived on the terminal (the listings here fit its buffer).
  std::string screen() const {
    fcntl(controller, F_SETFL, fcntl(controller, F_GETFL) | O_NONBLOCK);
    return readAll(controller);
  }
};

TEST(HostileTerminalControls, AreEscapedOnATerminalAndKeptInAPipe) {
  TempDir dir;
  const std::string trace = dir.file("controls.trc");
  terminalTrace().writeTo(trace);

  {  // Standard output on a terminal, in colour: the trace's bytes are still
     // escaped, and the colours are the program's alone.
    const Terminal terminal;
    ASSERT_TRUE(terminal.open()) << "no pseudo-terminal";
    ChildSetup setup{.args = {"--color=always", "-f", trace}};
    setup.descriptors[1] = terminal.device;
    const ChildResult r = runChild(dir, setup);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string coloured(kEscapedListing);
    coloured.replace(coloured.find("HIDWrite"), 8, "\x1b[32mHIDWrite\x1b[0m");
    coloured.replace(0, 4, "\x1b[1mText\x1b[0m");
    EXPECT_EQ(terminal.screen(), coloured);
  }
  {  // A terminal named with -w.
    const Terminal terminal;
    ASSERT_TRUE(terminal.open()) << "no pseudo-terminal";
    const ChildResult r =
        runChild(dir, {.args = {"--color=never", "-f", trace, "-w", terminal.name}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(terminal.screen(), kEscapedListing);
  }
  {  // A pipe gets every byte as it is.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ChildSetup setup{.args = {"-f", trace}};
    setup.descriptors[1] = ends[1];
    const ChildResult r = runChild(dir, setup);
    close(ends[1]);
    const std::string piped = readAll(ends[0]);
    close(ends[0]);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(piped == kRawListing) << "the piped listing differs";
  }
}

TEST(HostileTerminalControls, SummaryOnATerminalEscapesASerialNumberThatWouldReorderItsLine) {
  TempDir dir;
  const std::string trace = dir.file("serial.trc");
  // An update, and the serial number "A", U+202E (right-to-left override), "B".
  TraceBuilder t;
  t.hidWrite(1000.0, {0x00, 0x00, 0xa0, 0x00}, {0x02, 0x00, 0x01, 0x00});
  t.hidWrite(2000.0, {0x00, 0x00, 0xa0, 0x00},
             {0x0e, 0x00, 0x10, 0x00, 0x05, 0x00, 0x00, 0x00, 'A', 0x00, 0xe2, 0x00, 0x80, 0x00,
              0xae, 0x00, 'B', 0x00});
  t.writeTo(trace);

  const Terminal terminal;
  ASSERT_TRUE(terminal.open()) << "no pseudo-terminal";
  ChildSetup setup{.args = {"--summary", "-f", trace}};
  setup.descriptors[1] = terminal.device;
  const ChildResult r = runChild(dir, setup);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::string screen = terminal.screen();
  EXPECT_NE(screen.find("\n    serial numbers            A\\xe2\\x80\\xaeB\n"), std::string::npos)
      << screen;
  EXPECT_EQ(screen.find(utf8({0x202e})), std::string::npos) << "the override reached the terminal";
}

// A trace's name is one value on one line of the text summary: its line
// ends, tab and other controls are escaped on a terminal and in a file
// alike, so that the name cannot forge a verdict or a count.
TEST(HostileTerminalControls, SummaryKeepsTheTraceNameOnItsLineWhereverItIsWritten) {
  TempDir dir;
  const std::string trace = dir.file("x\nVERDICT: all 7 updates completed\nrecords  0\t\x1b[2J");
  // A serial number of the trace's own bytes, on its line too. The trace:
  // two records of 16 header bytes and 8 transfer header bytes, with 4 bytes
  // of command and 8 + 2 * 19 of serial number: 98 bytes.
  TraceBuilder()
      .hidWrite(0.0, test::kFirmware, test::startFlash())
      .hidWrite(1.0, test::kFirmware, test::serialNumber("S1\nVERDICT: forged\r"))
      .writeTo(trace);
  const std::string line = "\n  file" + blanks(24) + dir.file("x") +
                           "\\x0aVERDICT: all 7 updates completed\\x0arecords  0\\x09\\x1b[2J, "
                           "98 bytes\n";
  const std::string serial = "\n    serial numbers" + blanks(12) + "S1\\x0aVERDICT: forged\\x0d\n";
  const auto expectOneLine = [&line, &serial](const std::string& summary) {
    EXPECT_NE(summary.find(line), std::string::npos) << summary;
    EXPECT_NE(summary.find(serial), std::string::npos) << summary;
    EXPECT_EQ(summary.find("\nVERDICT"), std::string::npos) << "a forged line";
  };

  {
    SCOPED_TRACE("standard output on a terminal");
    const Terminal terminal;
    ASSERT_TRUE(terminal.open()) << "no pseudo-terminal";
    ChildSetup setup{.args = {"--summary", "-f", trace}};
    setup.descriptors[1] = terminal.device;
    EXPECT_EQ(runChild(dir, setup).status, 0);
    expectOneLine(terminal.screen());
  }
  SCOPED_TRACE("standard output to a file");
  const ChildResult r = runChild(dir, {.args = {"--summary", "-f", trace}});
  EXPECT_EQ(r.status, 0);
  expectOneLine(r.out);
}

// The page of --report is markup: with a terminal as standard output and no
// -w it is refused before the trace is opened (status 1, a message that
// names -w); a -w file takes it.
TEST(HostileTerminalControls, ReportIsNotPouredOntoATerminal) {
  TempDir dir;
  const std::string trace = dir.file("t.trc");
  TraceBuilder().text(1000.0, "one\n").writeTo(trace);
  const std::string refusal =
      "ovantrex: --report writes an HTML page, not for a terminal; name its file with -w, or "
      "redirect standard output\n";
  const struct {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string err;
  } onATerminal[] = {
      {"standard output", {"--report", "-f", trace}, 1, refusal},
      {"standard output, no trace", {"--report", "-f", dir.file("none.trc")}, 1, refusal},
      {"standard output beside -w", {"--report", "-f", trace, "-w", dir.file("page.html")}, 0, ""},
  };
  for (const auto& c : onATerminal) {
    SCOPED_TRACE(c.what);
    const Terminal terminal;
    ASSERT_TRUE(terminal.open()) << "no pseudo-terminal";
    ChildSetup setup{.args = c.args};
    setup.descriptors[1] = terminal.device;
    const ChildResult r = runChild(dir, setup);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(terminal.screen(), "");
  }
  EXPECT_TRUE(readFile(dir.file("page.html")).starts_with("<!DOCTYPE html>"));
  // (A file or a pipe as standard output takes the page: the page's tests.)
}

// ---- No record may vanish because memory is short ----

// Whether a run ended in the dynamic loader, before the program's own code:
// it could not map the program's libraries under the limit.
bool endedInTheLoader(const ChildResult& r) {
  return (r.status == 127 && r.out.empty() &&
          (r.err.find("error while loading shared libraries") != std::string::npos ||
           r.err.find("cannot allocate TLS data structures") != std::string::npos ||
           r.err == "out of memory\n")) ||
         r.status == test::kCouldNotStart;
}

TEST(HostileShortMemory, EachRunListsEveryRecordOrStopsAtTheStart) {
#ifdef OVANTREX_ADDRESS_SANITIZER
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit here allows";
#endif
  TempDir dir;
  // Eight records of 250,000 bytes: some lie whole in the reader's block,
  // some straddle two blocks.
  TraceBuilder trace;
  std::string listing;
  for (int i = 0; i < 8; ++i) {
    const std::string text(249999, static_cast<char>('a' + i));
    trace.text(1000.0 * (i + 1), text + "\n");
    listing += textEntry("1.000", text);
  }
  const std::string path = dir.file("large.trc");
  trace.writeTo(path);
  const std::string output = dir.file("listing.txt");
  const std::string older = "an older listing\n";
  const std::string noMemory = "Not enough memory to list the trace\n";

  int inLoader = 0, stopped = 0, complete = 0;
  // The lowest limit under which the program's own code has run (it ended
  // with status 0 or 5). Below it, a limit that leaves room for the
  // program's image but not for the loader and the stack makes the kernel
  // end the exec with SIGSEGV, before any code of the program runs.
  rlim_t lowestRun = std::numeric_limits<rlim_t>::max();
  // One run under a limit of kib KiB, its listing on standard output or,
  // with toFile, in a -w file that held an older listing; with summary, the
  // session summary in place of the listing.
  const auto runUnder = [&](rlim_t kib, bool toFile, bool summary = false) {
    SCOPED_TRACE(std::to_string(kib) + " KiB" + (toFile ? " with -w" : "") +
                 (summary ? " --summary" : ""));
    std::ofstream(output, std::ios::trunc) << older;
    ChildSetup setup{.args = {"-f", path}, .addressSpace = kib * 1024};
    if (toFile) setup.args.insert(setup.args.end(), {"-w", output});
    if (summary) setup.args.push_back("--summary");
    const ChildResult r = runChild(dir, setup);
    const std::string listed = toFile ? readFile(output) : r.out;
    const bool endedInTheExec = r.signal == SIGSEGV && kib < lowestRun && r.out.empty() &&
                                r.err.empty() && readFile(output) == older;
    if (endedInTheLoader(r) || endedInTheExec) {
      ++inLoader;
      EXPECT_EQ(readFile(output), older);
      return r.status;
    }
    if (r.signal != 0 || (r.status != 0 && r.status != 5)) {
      ADD_FAILURE() << "status " << r.status << ", signal " << r.signal << ": " << r.err;
      return -1;
    }
    lowestRun = std::min(lowestRun, kib);
    if (r.status == 5) {
      ++stopped;
      EXPECT_EQ(r.err, noMemory);
      EXPECT_EQ(r.out, "");
      if (toFile) {
        EXPECT_EQ(listed, older) << "the older listing was changed";
      }
    } else {
      ++complete;
      EXPECT_EQ(r.err, "");
      if (summary) {
        EXPECT_NE(listed.find("records                     8: Text 8\n"), std::string::npos)
            << listed;
      } else {
        EXPECT_TRUE(listed == listing) << "the listing is not complete";
      }
    }
    return r.status;
  };

  // Coarse steps up to the first complete listing, then every 16 KiB from
  // well below the loader's limit to above it: where memory ran out
  // half-way, in the runtime's own start or in the first records.
  rlim_t firstComplete = 0;
  for (rlim_t kib = 1024; kib <= 256 * 1024 && firstComplete == 0; kib += 512)
    if (runUnder(kib, true) == 0) firstComplete = kib;
  ASSERT_NE(firstComplete, 0u) << "no limit gave a complete listing";
  for (rlim_t kib = firstComplete > 2048 ? firstComplete - 2048 : 0; kib <= firstComplete + 256;
       kib += 16)
    runUnder(kib, (kib / 16) % 2 == 0);

  // The summary takes its flash map and device tables before an older
  // listing is emptied.
  for (rlim_t kib = firstComplete; kib <= firstComplete + 8192; kib += 128)
    if (runUnder(kib, true, true) == 0) break;

  // The sweep met both endings, or it proved nothing.
  EXPECT_GT(stopped, 0);
  EXPECT_GT(complete, 0);
  RecordProperty("runs_in_loader", inLoader);
}

// ---- Closed standard descriptors ----

TEST(HostileClosedDescriptors, DoNotBecomeTheTraceOrTheListing) {
  TempDir dir;
  // An invalid minor code (a message on standard output) between two
  // records, and a payload cut short (a message on standard error).
  TraceBuilder trace;
  trace.text(1000.0, "one\n").header(0, 502).text(2000.0, "two\n");
  trace.header(5, kText, 3000.0).bytes("ab");
  const std::string path = dir.file("t.trc");
  trace.writeTo(path);
  const std::string output = dir.file("listing.txt");
  const std::string listing = textEntry("1.000", "one") + textEntry("1.000", "two");

  const char* const closings[] = {"<&-",      ">&-",      "2>&-",        "<&- >&-",
                                  "<&- 2>&-", ">&- 2>&-", "<&- >&- 2>&-"};
  for (const char* closing : closings) {
    SCOPED_TRACE(closing);
    const ChildResult r =
        runShell(dir, "\"$OVANTREX\" -f '" + path + "' -w '" + output + "' " + closing);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(output), listing);
  }

  // Without -w and with standard input closed, the listing and the
  // messages still go where they belong.
  const ChildResult r = runShell(dir, "\"$OVANTREX\" -f '" + path + "' <&-");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, textEntry("1.000", "one") + "Minor code 1f6(502) not valid, skipping\n" +
                       textEntry("1.000", "two"));
  EXPECT_EQ(r.err, "Could not read data bytes expected=5 actual=2\n");

  // Without -w and without standard output, every output would go nowhere:
  // the run stops before it reads the trace.
  for (const char* mode : {"", "--json", "--summary", "--report"}) {
    SCOPED_TRACE(mode);
    const ChildResult closed =
        runShell(dir, "\"$OVANTREX\" " + std::string(mode) + " -f '" + path + "' >&-");
    EXPECT_EQ(closed.status, 4);
    EXPECT_EQ(closed.err, "Could not write the listing: Bad file descriptor\n");
  }
}

// ---- A failing standard output must not end a healthy -w listing ----

TEST(HostileStandardOutputBesideAListingFile, IsWrittenBestEffort) {
  TempDir dir;
  TraceBuilder trace;
  trace.text(1000.0, "one\n").header(0, 502).text(2000.0, "two\n");
  trace.header(0, 503).text(3000.0, "three\n");
  const std::string path = dir.file("t.trc");
  trace.writeTo(path);
  const std::string output = dir.file("listing.txt");
  const std::string listing =
      textEntry("1.000", "one") + textEntry("1.000", "two") + textEntry("1.000", "three");

  if (std::filesystem::exists("/dev/full")) {
    const ChildResult r =
        runShell(dir, "\"$OVANTREX\" -f '" + path + "' -w '" + output + "' >/dev/full");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(output), listing);
  }

  // A pipe whose reader has gone: neither SIGPIPE nor the failed write ends
  // the run.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  ChildSetup setup{.args = {"-f", path, "-w", output}};
  setup.descriptors[1] = ends[1];
  const ChildResult r = runChild(dir, setup);
  close(ends[1]);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readFile(output), listing);
}

}  // namespace
}  // namespace ovantrex
