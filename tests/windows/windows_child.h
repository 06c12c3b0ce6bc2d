// ovantrex.exe in a child process, started as a shell starts it: from a
// command line in UTF-16 (which may hold a lone surrogate), in the test's
// folder, standard input from NUL, standard output and error in files.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "trace_builder.h"

namespace ovantrex::test {

class WindowsChild {
 public:
  static constexpr DWORD kDeadlineMilliseconds = 20000;  // Wine on a loaded machine

  WindowsChild(const TempDir& dir, const std::wstring& arguments)
      : out_(dir.path() / "child-stdout"), err_(dir.path() / "child-stderr") {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const auto open = [&](const std::filesystem::path& name, DWORD access, DWORD disposition) {
      return CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = open(L"NUL", GENERIC_READ, OPEN_EXISTING);
    start.hStdOutput = open(out_, GENERIC_WRITE, CREATE_ALWAYS);
    start.hStdError = open(err_, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring line =
        L"\"" + std::filesystem::absolute(OVANTREX_BINARY).wstring() + L"\" " + arguments;
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        dir.path().c_str(), &start, &process_);
    for (HANDLE handle : {start.hStdInput, start.hStdOutput, start.hStdError}) CloseHandle(handle);
    if (started == 0) throw std::runtime_error("cannot start " OVANTREX_BINARY);
    CloseHandle(process_.hThread);
  }
  ~WindowsChild() {
    TerminateProcess(process_.hProcess, 1);  // when it still runs
    WaitForSingleObject(process_.hProcess, INFINITE);
    CloseHandle(process_.hProcess);
  }
  WindowsChild(const WindowsChild&) = delete;
  WindowsChild& operator=(const WindowsChild&) = delete;

  // Waits until standard error holds what; false at the deadline.
  bool waitForErr(const std::string& what) const {
    for (DWORD waited = 0; waited < kDeadlineMilliseconds; waited += 20) {
      if (err().find(what) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // Delivers a console control event as the system does: a thread of the
  // child's runs its handlers (kernelbase's CtrlRoutine, at the same
  // address in every process).
  bool send(DWORD event) const {
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    HANDLE thread = routine == nullptr
                        ? nullptr
                        : CreateRemoteThread(process_.hProcess, nullptr, 0, routine,
                                             reinterpret_cast<void*>(ULONG_PTR{event}), 0, nullptr);
    return thread != nullptr && CloseHandle(thread) != 0;
  }

  // Waits for the end: the exit status, or -1 at the deadline.
  int end() const {
    DWORD status = 0;
    if (WaitForSingleObject(process_.hProcess, kDeadlineMilliseconds) != WAIT_OBJECT_0 ||
        GetExitCodeProcess(process_.hProcess, &status) == 0)
      return -1;
    return static_cast<int>(status);
  }

  std::string out() const { return readFile(out_); }
  std::string err() const { return readFile(err_); }

 private:
  std::filesystem::path out_, err_;
  PROCESS_INFORMATION process_{};
};

}  // namespace ovantrex::test
