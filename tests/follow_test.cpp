// --follow: the program runs in a child process on a trace that the test
// writes piece by piece, and its output is read back as it comes, with a
// deadline instead of fixed sleeps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "expected_text.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

using Clock = std::chrono::steady_clock;
// Long enough for a loaded machine; the program answers within 200 ms.
constexpr auto kDeadline = std::chrono::seconds(5);

// The program started with the given arguments, its standard output and
// standard error read through pipes; standard input from the given
// descriptor (or /dev/null).
class FollowingChild {
 public:
  explicit FollowingChild(std::vector<std::string> args, int input = -1) {
    args.insert(args.begin(), OVANTREX_BINARY);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int toOut[2], toErr[2];
    if (pipe(toOut) != 0 || pipe(toErr) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      const int in = input >= 0 ? input : open("/dev/null", O_RDONLY);
      dup2(in, 0);
      dup2(toOut[1], 1);
      dup2(toErr[1], 2);
      // Nothing else of the test's, above all not the writing end of a pipe
      // that the child reads.
      for (int fd = 3; fd < 1024; ++fd) close(fd);
      signal(SIGPIPE, SIG_DFL);
      execv(OVANTREX_BINARY, argv.data());
      _exit(126);
    }
    close(toOut[1]);
    close(toErr[1]);
    out_ = toOut[0];
    err_ = toErr[0];
  }
  ~FollowingChild() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
  }

  // Waits, reading nothing, until the program waits in a write to the pipe
  // of its standard output (the kernel names where it sleeps). False at the
  // deadline.
  bool waitUntilBlockedInAWrite() const {
    const std::string where = "/proc/" + std::to_string(pid_) + "/wchan";
    const auto deadline = Clock::now() + kDeadline;
    while (Clock::now() < deadline) {
      std::ifstream wchan(where);
      std::string name;
      if (std::getline(wchan, name) && name.find("pipe_write") != std::string::npos) return true;
      pollfd none{};
      poll(&none, 0, 5);
    }
    return false;
  }

  // Reads until standard output (or error) holds what, or the deadline.
  bool waitForOut(const std::string& what) { return waitFor(out_, out, what); }
  bool waitForErr(const std::string& what) { return waitFor(err_, err, what); }

  // Sends the signal and waits for the end; returns the exit status, or -1
  // when a signal ended the child, or -2 at the deadline.
  int stop(int signal) {
    send(signal);
    return end();
  }
  void send(int signal) const { kill(pid_, signal); }
  int end() {
    const auto deadline = Clock::now() + kDeadline;
    while (Clock::now() < deadline) {
      int raw = 0;
      if (waitpid(pid_, &raw, WNOHANG) == pid_) {
        pid_ = -1;
        drain(out_, out);
        drain(err_, err);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      }
      drainFor(20);
    }
    return -2;
  }

  std::string out;
  std::string err;

 private:
  static void drain(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, 0) <= 0) return;
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got <= 0) return;
      into.append(buffer, static_cast<std::size_t>(got));
    }
  }
  void drainFor(int milliseconds) {
    pollfd ready[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    poll(ready, 2, milliseconds);
    drain(out_, out);
    drain(err_, err);
  }
  bool waitFor(int /*fd*/, const std::string& text, const std::string& what) {
    const auto deadline = Clock::now() + kDeadline;
    while (text.find(what) == std::string::npos) {
      if (Clock::now() >= deadline) return false;
      drainFor(20);
    }
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

void append(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::app);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Gives the program the time to read up to a cut end before the rest comes:
// nothing in its output tells that it is waiting there.
void letItMeetTheEnd() {
  pollfd none{};
  poll(&none, 0, 100);
}

// The bytes of one record of format version 1.
std::string textRecord(double stamp, std::string_view text) {
  TraceBuilder record;
  record.text(stamp, Payload(text));
  return record.str();
}

TEST(Follow, RecordsAreListedAsTheyArriveEvenWhenWrittenInPieces) {
  TempDir dir;
  const std::string trace = dir.file("growing.trc");
  append(trace, textRecord(1000.0, "first\n"));
  FollowingChild child({"--follow", "-f", trace});
  const std::string first = textEntry("1.000", "first");
  ASSERT_TRUE(child.waitForOut(first)) << child.out;

  // One record in three pieces: inside the header, inside the payload, the rest.
  const std::string second = textRecord(2500.0, "second\n");
  append(trace, second.substr(0, 10));
  letItMeetTheEnd();
  append(trace, second.substr(10, 10));
  letItMeetTheEnd();
  append(trace, second.substr(20));
  const std::string both = first + textEntry("1.500", "second");
  ASSERT_TRUE(child.waitForOut(both)) << child.out;

  // Two records at once.
  append(trace, textRecord(3000.0, "third\n") + textRecord(3100.0, "fourth\n"));
  ASSERT_TRUE(child.waitForOut(both + textEntry("0.500", "third") + textEntry("0.100", "fourth")))
      << child.out;
  EXPECT_EQ(child.stop(SIGINT), 0);
  // A record cut at the end of the file is waited for, not reported short.
  EXPECT_EQ(child.err, "");
}

TEST(Follow, WhereWritesTheSelectedRecordsAsTheyArriveWithTheRecordBefore) {
  TempDir dir;
  const std::string trace = dir.file("growing.trc");
  append(trace, textRecord(1000.0, "skip\n"));
  FollowingChild child(
      {"--follow", "--where", "text contains \"keep\"", "--before", "1", "-f", trace});
  // Each entry's elapsed time counts from the record before it in the trace.
  const std::string first = textEntry("1.000", "skip") + textEntry("1.500", "keep one");
  append(trace, textRecord(2500.0, "keep one\n"));
  ASSERT_TRUE(child.waitForOut(first)) << child.out;
  append(trace, textRecord(3000.0, "skip\n") + textRecord(3050.0, "skip\n") +
                    textRecord(3100.0, "keep two\n"));
  const std::string both =
      first + "--\n" + textEntry("0.050", "skip") + textEntry("0.050", "keep two");
  ASSERT_TRUE(child.waitForOut(both)) << child.out;
  EXPECT_EQ(child.stop(SIGINT), 0);
  EXPECT_EQ(child.out, both);
  EXPECT_EQ(child.err, "");
}

TEST(Follow, ATruncatedOrReplacedTraceIsListedAgainFromItsStartWithAFreshState) {
  TempDir dir;
  const std::string trace = dir.file("rotating.trc");
  TraceBuilder v3;
  v3.marker(kMarkerV3).text(1000.0, "three\n");
  append(trace, v3.str());
  FollowingChild child({"--follow", "-f", trace});
  // Format version 3: the elapsed column has its trailing blank.
  const std::string first = "Text          1.000                three\n";
  ASSERT_TRUE(child.waitForOut(first)) << child.out;

  // Truncated and written anew: format version 1 again, elapsed from 0.
  std::ofstream(trace, std::ios::binary | std::ios::trunc) << textRecord(400.0, "one\n");
  ASSERT_TRUE(child.waitForErr("ovantrex: '" + trace +
                               "' was truncated; listing it again from its start\n"))
      << child.err;
  ASSERT_TRUE(child.waitForOut(first + textEntry("0.400", "one"))) << child.out;

  // Replaced by a new file of the same name, as log rotation does.
  const std::string fresh = dir.file("fresh.trc");
  std::ofstream(fresh, std::ios::binary) << textRecord(200.0, "new\n");
  std::filesystem::rename(fresh, trace);
  ASSERT_TRUE(child.waitForErr("' was replaced; listing it again from its start\n")) << child.err;
  ASSERT_TRUE(child.waitForOut(textEntry("0.200", "new"))) << child.out;
  append(trace, textRecord(700.0, "more\n"));
  ASSERT_TRUE(child.waitForOut(textEntry("0.200", "new") + textEntry("0.500", "more")))
      << child.out;

  // Shorter by a single byte: truncated too; the record now cut short is
  // waited for.
  std::filesystem::resize_file(trace, std::filesystem::file_size(trace) - 1);
  ASSERT_TRUE(child.waitForErr("' was replaced; listing it again from its start\novantrex: '" +
                               trace + "' was truncated; listing it again from its start\n"))
      << child.err;
  ASSERT_TRUE(child.waitForOut(textEntry("0.500", "more") + textEntry("0.200", "new")))
      << child.out;
  EXPECT_EQ(child.stop(SIGTERM), 0);
  EXPECT_TRUE(child.out.ends_with(textEntry("0.500", "more") + textEntry("0.200", "new")));
}

TEST(Follow, ATraceWrittenAnewPastItsOldEndIsListedAgainFromItsStart) {
  // Between two looks the trace is truncated and written again, longer
  // than before: its size never shows the truncation, its bytes do, at its
  // start or at the end of what was read. A record of 97 bytes holds
  // either end: the bytes kept of each (64) see no change there.
  const std::string alike(80, 'x');
  struct Case {
    const char* what;
    std::string old, fresh;
    std::string oldListing, freshListing;
  };
  const Case cases[] = {
      {"the start alike, the end written anew",
       textRecord(1000.0, alike + "\n") + textRecord(2000.0, "old two\n"),
       textRecord(1000.0, alike + "\n") + textRecord(2000.0, "new two\n") +
           textRecord(2500.0, "new three\n"),
       textEntry("1.000", alike) + textEntry("1.000", "old two"),
       textEntry("1.000", alike) + textEntry("1.000", "new two") + textEntry("0.500", "new three")},
      {"the start written anew, the end alike",
       textRecord(1000.0, "old one\n") + textRecord(2000.0, alike + "\n"),
       textRecord(1000.0, "new one\n") + textRecord(2000.0, alike + "\n") +
           textRecord(2500.0, "new three\n"),
       textEntry("1.000", "old one") + textEntry("1.000", alike),
       textEntry("1.000", "new one") + textEntry("1.000", alike) + textEntry("0.500", "new three")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string trace = dir.file("t.trc");
    append(trace, c.old);
    FollowingChild child({"--follow", "-f", trace});
    ASSERT_TRUE(child.waitForOut(c.oldListing)) << child.out;
    const int fd = open(trace.c_str(), O_WRONLY);
    ASSERT_EQ(pwrite(fd, c.fresh.data(), c.fresh.size(), 0), static_cast<ssize_t>(c.fresh.size()));
    close(fd);
    ASSERT_TRUE(child.waitForErr("ovantrex: '" + trace +
                                 "' was rewritten; listing it again from its start\n"))
        << child.err;
    ASSERT_TRUE(child.waitForOut(c.oldListing + c.freshListing)) << child.out;
    EXPECT_EQ(child.stop(SIGINT), 0);
    EXPECT_EQ(child.out, c.oldListing + c.freshListing);
  }
}

TEST(Follow, AnOutputThatTakesTheTracesNameIsRefusedAndNotReadBack) {
  // The output file put in the trace's place, by a hard link or a rename:
  // reading it again would feed the run its own output without end.
  for (const bool rename : {false, true}) {
    SCOPED_TRACE(rename ? "renamed" : "hard link");
    TempDir dir;
    const std::string trace = dir.file("t.trc");
    const std::string output = dir.file("out.jsonl");
    append(trace, textRecord(1000.0, "evidence\n"));
    FollowingChild child({"--follow", "--json", "-f", trace, "-w", output});
    const auto deadline = Clock::now() + kDeadline;
    while ((!std::filesystem::exists(output) ||
            readFile(output).find("evidence") == std::string::npos) &&
           Clock::now() < deadline) {
      pollfd none{};
      poll(&none, 0, 20);
    }
    const std::string written = readFile(output);
    ASSERT_NE(written.find("\"text\":\"evidence\""), std::string::npos) << written;
    if (rename) {
      std::filesystem::rename(output, trace);
    } else {
      std::filesystem::remove(trace);
      std::filesystem::create_hard_link(output, trace);
    }
    EXPECT_EQ(child.end(), 3);
    EXPECT_EQ(child.err,
              "Could not open '" + output + "' for writing: it is the trace being read\n");
    EXPECT_EQ(readFile(trace), written) << "the output grew after it became the trace";
  }
}

TEST(Follow, HangUpEndsTheRunLikeTerminateWithItsSummary) {
  TempDir dir;
  const std::string trace = dir.file("t.trc");
  append(trace, textRecord(1000.0, "one\n"));
  FollowingChild child({"--follow", "--summary", "--json", "-x", "-f", trace});
  TraceBuilder marker;
  marker.header(300000, kText);
  append(trace, marker.str());
  ASSERT_TRUE(child.waitForErr("Length to read is too big")) << child.err;
  ASSERT_EQ(child.stop(SIGHUP), 0);
  EXPECT_EQ(nlohmann::json::parse(child.out)["records"]["total"], 1);
}

// The open of a FIFO waits for the other end: a trace's for its writer, an
// output's for its reader. A stop request during that wait ends the run
// with nothing written, whichever it is.
TEST(Follow, AnInterruptWhileWaitingForAFifoEndsTheRunQuietly) {
  TempDir dir;
  const std::string fifo = dir.file("a.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string trace = dir.file("t.trc");
  append(trace, textRecord(1000.0, "one\n"));
  const std::vector<std::vector<std::string>> cases = {
      {"--follow", "-f", fifo},
      {"--follow", "-f", trace, "-w", fifo},
      {"--follow", "--summary", "-f", trace, "-w", fifo},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[args.size() - 2] == "-w" ? "an output FIFO" : "a trace FIFO");
    FollowingChild child(args);
    letItMeetTheEnd();  // the open waits for an end that never comes
    EXPECT_EQ(child.stop(SIGINT), 0);
    EXPECT_EQ(child.out, "");
    EXPECT_EQ(child.err, "");
  }
}

// A trace that the utility has yet to make is waited for (on a terminal the
// wait is told: see terminal_test.py); a stop request during the wait ends
// the run with nothing written, an old -w file untouched.
TEST(Follow, ATraceNotThereYetIsWaitedForAndListedOnceItAppears) {
  TempDir dir;
  const std::string trace = dir.file("late.trc");
  FollowingChild child({"--follow", "-f", trace});
  letItMeetTheEnd();
  append(trace, textRecord(1000.0, "first\n"));
  const std::string first = textEntry("1.000", "first");
  ASSERT_TRUE(child.waitForOut(first)) << child.out << child.err;
  append(trace, textRecord(2000.0, "second\n"));
  ASSERT_TRUE(child.waitForOut(first + textEntry("1.000", "second"))) << child.out;
  EXPECT_EQ(child.stop(SIGINT), 0);
  EXPECT_EQ(child.err, "") << "the wait is told on a terminal only";
}

TEST(Follow, AStopWhileWaitingForTheTraceEndsTheRunWithNothingWritten) {
  TempDir dir;
  const std::string output = dir.file("old.txt");
  append(output, "an old listing\n");
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    FollowingChild child({"--follow", "--summary", "-f", dir.file("sub/never.trc"), "-w", output});
    letItMeetTheEnd();
    EXPECT_EQ(child.stop(signal), 0);
    EXPECT_EQ(child.out, "");
    EXPECT_EQ(child.err, "");
    EXPECT_EQ(readFile(output), "an old listing\n");
  }
}

TEST(Follow, AnInterruptDuringAWriteToASlowReaderFinishesTheListing) {
  // More listing than a pipe holds: the program waits in a write for the
  // test to read while the signal comes.
  TempDir dir;
  const std::string trace = dir.file("t.trc");
  TraceBuilder t;
  std::string listing;
  for (int i = 1; i <= 3000; ++i) {
    const std::string text = "line " + std::to_string(i) + " of a listing longer than a pipe";
    t.text(1000.0 * i, Payload(text + "\n"));
    listing += textEntry("1.000", text);
  }
  append(trace, t.str());
  FollowingChild child({"--follow", "-f", trace});
  ASSERT_TRUE(child.waitUntilBlockedInAWrite());
  // The signal is taken while the write still waits: reading at once could
  // let the write go on before it.
  child.send(SIGINT);
  letItMeetTheEnd();
  EXPECT_EQ(child.end(), 0);
  EXPECT_EQ(child.err, "");
  EXPECT_EQ(child.out, listing);
}

TEST(Follow, AnInterruptWritesTheSummaryOfWhatWasRead) {
  TempDir dir;
  const std::string trace = dir.file("update.trc");
  TraceBuilder t;
  t.hidWrite(0.0, {0, 0, 0xa0, 0}, {0x02, 0x00, 0x01, 0x00});
  t.hidWrite(1.0, {0, 0, 0xa0, 0}, {0x0a, 0x00, 0x02, 0x00, 0x04, 0x00, 0x10, 0x00, 1, 2, 3, 4});
  append(trace, t.str());
  FollowingChild child({"--follow", "--summary", "--json", "-x", "-f", trace});
  // An over-long header is reported on standard error at once: once it is
  // there, every record before it has been read.
  TraceBuilder marker;
  marker.header(300000, kText);
  append(trace, marker.str());
  ASSERT_TRUE(child.waitForErr("Length to read is too big")) << child.err;
  EXPECT_EQ(child.out, "") << "the summary waits for the end";
  ASSERT_EQ(child.stop(SIGINT), 0);
  const nlohmann::json summary = nlohmann::json::parse(child.out);
  EXPECT_EQ(summary["records"]["total"], 2);
  ASSERT_EQ(summary["updates"].size(), 1u);
  EXPECT_EQ(summary["updates"][0]["bytes"], 4);
  EXPECT_EQ(summary["diagnostics"]["overlong"], 1);
}

TEST(Follow, AnInterruptWritesThePageOfWhatWasRead) {
  TempDir dir;
  const std::string trace = dir.file("update.trc");
  append(trace, textRecord(1000.0, "at the start\n"));
  FollowingChild child({"--follow", "--report", "-x", "-f", trace});
  // A record appended while the program follows, then an over-long header:
  // once that is reported, both records have been read.
  TraceBuilder marker;
  marker.header(300000, kText);
  append(trace, textRecord(2000.0, "appended\n") + marker.str());
  ASSERT_TRUE(child.waitForErr("Length to read is too big")) << child.err;
  EXPECT_EQ(child.out, "") << "the page waits for the end";
  ASSERT_EQ(child.stop(SIGINT), 0);
  EXPECT_EQ(child.out.rfind("<!DOCTYPE html>\n", 0), 0u);
  EXPECT_TRUE(child.out.ends_with("</html>\n"));
  EXPECT_NE(child.out.find("</code>: 2 records.</p>"), std::string::npos);
  // The whole listing, each entry as the text listing prints it.
  for (const std::string& entry :
       {textEntry("1.000", "at the start"), textEntry("1.000", "appended")}) {
    EXPECT_NE(child.out.find(entry), std::string::npos) << entry;
  }
}

TEST(Follow, APipeIsFollowedUntilItsWriterClosesItOrASignalEndsTheWait) {
  // The signal comes while the read of the pipe waits for more: the read
  // is interrupted, and the run ends with what was read.
  for (const bool interrupted : {false, true}) {
    SCOPED_TRACE(interrupted ? "interrupted" : "closed");
    int feed[2];
    ASSERT_EQ(pipe(feed), 0);
    FollowingChild child({"--follow", "-f", "/dev/stdin"}, feed[0]);
    close(feed[0]);
    const std::string record = textRecord(1000.0, "piped\n");
    ASSERT_EQ(write(feed[1], record.data(), 7), 7);
    letItMeetTheEnd();
    ASSERT_EQ(write(feed[1], record.data() + 7, record.size() - 7),
              static_cast<ssize_t>(record.size() - 7));
    ASSERT_TRUE(child.waitForOut(textEntry("1.000", "piped"))) << child.out;
    if (interrupted) {
      letItMeetTheEnd();
      child.send(SIGINT);
    } else {
      close(feed[1]);
    }
    EXPECT_EQ(child.end(), 0);
    if (interrupted) close(feed[1]);
    EXPECT_EQ(child.err, "");
    EXPECT_EQ(child.out, textEntry("1.000", "piped"));
  }
}

TEST(Follow, AListingFileIsFlushedAsRecordsArrive) {
  TempDir dir;
  const std::string trace = dir.file("t.trc");
  const std::string listing = dir.file("listing.txt");
  append(trace, textRecord(1000.0, "to the file\n"));
  FollowingChild child({"--follow", "--json", "-f", trace, "-w", listing});
  const auto deadline = Clock::now() + kDeadline;
  std::string written;
  while (written.find("\"to the file\"") == std::string::npos && Clock::now() < deadline) {
    pollfd none{};
    poll(&none, 0, 20);
    // The run makes the file once it has opened the trace.
    if (std::filesystem::exists(listing)) written = readFile(listing);
  }
  EXPECT_NE(written.find("\"text\":\"to the file\""), std::string::npos) << written;
  EXPECT_EQ(child.stop(SIGINT), 0);
}

}  // namespace
}  // namespace ovantrex::test
