// A console program of the colour test of the Windows build: it runs a
// command as a child on its own console and writes the console's output
// mode before and after, so that the test sees whether the child left the
// console as it found it, also when a Ctrl-C ended it.
//
//   console_mode_probe [--vt on|off] [--ctrl-c-after MS] PROGRAM [ARGUMENT...]
//
// --vt turns the console's virtual-terminal processing on or off first;
// --ctrl-c-after sends the child a Ctrl-C MS milliseconds after its
// start. The last line written is "console mode before 0x... after 0x...".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Delivers a Ctrl-C as the system does: a thread of the child's runs its
// handlers (kernelbase's CtrlRoutine, at the same address in every
// process).
void ctrlC(HANDLE process) {
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
  if (routine == nullptr) return;
  const HANDLE thread = CreateRemoteThread(
      process, nullptr, 0, routine, reinterpret_cast<void*>(ULONG_PTR{CTRL_C_EVENT}), 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);
}

}  // namespace

int main(int argc, char** argv) {
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD before = 0;
  if (GetConsoleMode(console, &before) == 0) {
    std::fprintf(stderr, "console_mode_probe: standard output is not a console\n");
    return 2;
  }
  int at = 1;
  long ctrlCAfter = -1;
  for (; at < argc && argv[at][0] == '-'; ++at) {
    if (std::strcmp(argv[at], "--vt") == 0 && at + 1 < argc) {
      constexpr DWORD kVt = ENABLE_VIRTUAL_TERMINAL_PROCESSING;
      before = std::strcmp(argv[++at], "on") == 0 ? before | kVt : before & ~kVt;
      SetConsoleMode(console, before);
    } else if (std::strcmp(argv[at], "--ctrl-c-after") == 0 && at + 1 < argc) {
      ctrlCAfter = std::strtol(argv[++at], nullptr, 10);
    } else {
      break;
    }
  }
  if (at == argc) {
    std::fprintf(stderr,
                 "usage: console_mode_probe [--vt on|off] [--ctrl-c-after MS] PROGRAM ...\n");
    return 2;
  }
  std::string command;
  for (int i = at; i < argc; ++i) command += std::string(i == at ? "\"" : " \"") + argv[i] + "\"";
  STARTUPINFOA start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION child{};
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                     &child) == 0) {
    std::fprintf(stderr, "console_mode_probe: cannot start %s\n", argv[at]);
    return 2;
  }
  if (ctrlCAfter >= 0 &&
      WaitForSingleObject(child.hProcess, static_cast<DWORD>(ctrlCAfter)) == WAIT_TIMEOUT)
    ctrlC(child.hProcess);
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(child.hProcess, &status);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  DWORD after = 0;
  GetConsoleMode(console, &after);
  std::printf("\nconsole mode before 0x%lx after 0x%lx, status %lu\n", before, after, status);
  return 0;
}
