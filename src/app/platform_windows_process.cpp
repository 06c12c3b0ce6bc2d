// The platform layer on Windows, the process: its standard streams, a
// reader that goes away, and the C library's local time (localtime_s,
// which follows TZ when it is set and the PC's time zone otherwise).

// windows.h first: the system's other headers need what it declares.
// clang-format off
#include <windows.h>
#include <io.h>
// clang-format on

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "app/platform.h"

namespace ovantrex::platform {

void say(std::string_view message) {
  if (_write(2, message.data(), static_cast<unsigned>(message.size())) < 0) {
    // Nothing more can be done.
  }
}

std::optional<ExitStatus> fillMissingStandardStreams(MissingStreams& missing) {
  std::FILE* const streams[] = {stdin, stdout, stderr};
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    // No handle: none was given (-1, or null), or the C library found none
    // at its start (-2).
    const intptr_t handle = _get_osfhandle(descriptor);
    if (handle != -1 && handle != -2 && handle != 0) continue;
    if (descriptor == 1) missing.output = true;
    const bool input = descriptor == 0;
    if (std::freopen("NUL", input ? "rb" : "w", streams[descriptor]) != nullptr) continue;
    say(input ? "Could not open 'NUL' for reading\n" : "Could not open 'NUL' for writing\n");
    return input ? ExitStatus::CannotReadInput : ExitStatus::CannotOpenOutput;
  }
  return std::nullopt;
}

void keepRunningWhenAReaderGoesAway() {
  // Windows has no signal for it: the write fails, and that is all.
}

void readTimeZone() { _tzset(); }

bool localTime(std::int64_t seconds, std::tm& local) {
  const auto when = static_cast<std::time_t>(seconds);
  return localtime_s(&local, &when) == 0;
}

}  // namespace ovantrex::platform
