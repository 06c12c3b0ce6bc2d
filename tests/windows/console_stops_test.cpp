// Stops of a followed run on Windows: Ctrl-C, the console's closing, the
// user's logoff and the system's shutdown end the run with the summary or
// the page of what was read, from a trace file or a quiet pipe.
#include <gtest/gtest.h>
#include <windows.h>

#include <nlohmann/json.hpp>
#include <string>

#include "trace_builder.h"
#include "windows_child.h"

namespace ovantrex::test {
namespace {

// Two records, then an over-long header: once the program has reported
// that, it has read both records and waits for more.
TraceBuilder followedTrace() {
  TraceBuilder t;
  t.text(1000.0, "at the start\n").text(2000.0, "appended\n").header(300000, kText);
  return t;
}

// The write end of a named pipe that the program follows.
struct TracePipe {
  std::wstring name = L"\\\\.\\pipe\\ovantrex-test-" + std::to_wstring(GetCurrentProcessId()) +
                      L"-" + std::to_wstring(GetTickCount64());
  HANDLE handle = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT,
                                   1, 65536, 65536, 0, nullptr);
  ~TracePipe() { CloseHandle(handle); }

  // Waits for the program to open the pipe, and writes what fits in it.
  bool write(const std::string& bytes) const {
    for (DWORD waited = 0; ConnectNamedPipe(handle, nullptr) == 0; waited += 20) {
      if (GetLastError() == ERROR_PIPE_CONNECTED) break;
      if (waited >= WindowsChild::kDeadlineMilliseconds) return false;
      Sleep(20);
    }
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) !=
               0 &&
           written == bytes.size();
  }
};

struct StopCase {
  const char* label;
  DWORD event;
  bool fromAPipe;
  bool page;  // --report -w page.html, or --summary --json on standard output
};

class ConsoleStops : public ::testing::TestWithParam<StopCase> {};

TEST_P(ConsoleStops, EndsTheRunWithWhatWasRead) {
  const StopCase& c = GetParam();
  TempDir dir;
  const TracePipe pipe;
  if (!c.fromAPipe) followedTrace().writeTo(dir.path() / "update.trc");
  const std::wstring trace = c.fromAPipe ? pipe.name : L"update.trc";
  const WindowsChild child(dir, L"--follow -x -f " + trace +
                                    (c.page ? L" --report -w page.html" : L" --summary --json"));
  if (c.fromAPipe) {
    ASSERT_TRUE(pipe.write(followedTrace().str()));
  }
  ASSERT_TRUE(child.waitForErr("Length to read is too big")) << child.err();

  ASSERT_TRUE(child.send(c.event));
  EXPECT_EQ(child.end(), 0) << child.err();
  if (c.page) {
    const std::string page = readFile(dir.path() / "page.html");
    EXPECT_EQ(page.rfind("<!DOCTYPE html>\n", 0), 0u) << page.size() << " bytes";
    EXPECT_TRUE(page.ends_with("</html>\n"));
    EXPECT_NE(page.find("</code>: 2 records.</p>"), std::string::npos);
  } else {
    const nlohmann::json summary = nlohmann::json::parse(child.out(), nullptr, false);
    ASSERT_FALSE(summary.is_discarded()) << child.out();
    EXPECT_EQ(summary["records"]["total"], 2);
    EXPECT_EQ(summary["diagnostics"]["overlong"], 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Events, ConsoleStops,
    ::testing::Values(StopCase{"ClosingTheConsoleWritesThePage", CTRL_CLOSE_EVENT, false, true},
                      StopCase{"LogoffWritesTheSummary", CTRL_LOGOFF_EVENT, false, false},
                      StopCase{"ShutdownWritesThePage", CTRL_SHUTDOWN_EVENT, false, true},
                      // A read of a quiet pipe waits; the stop ends the wait.
                      StopCase{"CtrlCWhileAPipeIsQuietWritesTheSummary", CTRL_C_EVENT, true, false},
                      StopCase{"ClosingWhileAPipeIsQuietWritesThePage", CTRL_CLOSE_EVENT, true,
                               true}),
    [](const ::testing::TestParamInfo<StopCase>& param) { return param.param.label; });

}  // namespace
}  // namespace ovantrex::test
