#include "driver/line_prefix.h"

#include <charconv>

#include "render/record_failure.h"

namespace ovantrex {

namespace {

constexpr std::size_t kSecondsWidth = 10;

void appendPadded(std::string& out, std::uint64_t value, int base, std::size_t minDigits) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value, base);
  const auto length = static_cast<std::size_t>(end - digits);
  if (length < minDigits) out.append(minDigits - length, '0');
  out.append(digits, length);
}

// "P%05x/T%05x "
void appendProcessThread(std::string& out, const TraceExtHeader& ext) {
  out += 'P';
  appendPadded(out, ext.processId, 16, 5);
  out += "/T";
  appendPadded(out, ext.threadId, 16, 5);
  out += ' ';
}

// The elapsed value, moving the previous time stamp on unless cumulative.
double elapsedSeconds(PrefixState& state, const Settings& settings, double timeStamp) {
  const double value = (timeStamp - state.previousStamp) / 1000;
  if (!settings.cumulative) state.previousStamp = timeStamp;
  return value;
}

// "%02d/%02d-%02d:%02d:%02d" of the local time of t (t >= 0).
const std::string& localClock(PrefixState& state, std::int32_t t) {
  if (state.haveCachedSecond && state.cachedSecond == t) return state.cachedClock;
  const std::time_t when = t;
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) throw RecordFailure("local time conversion");
  std::string& clock = state.cachedClock;
  clock.clear();
  const auto two = [&clock](int value) {
    appendPadded(clock, static_cast<std::uint64_t>(value), 10, 2);
  };
  two(local.tm_mon + 1);
  clock += '/';
  two(local.tm_mday);
  clock += '-';
  two(local.tm_hour);
  clock += ':';
  two(local.tm_min);
  clock += ':';
  two(local.tm_sec);
  state.haveCachedSecond = true;
  state.cachedSecond = t;
  return clock;
}

// "%02d/%02d-%02d:%02d:%02d.%03hu " of the record's time with the hour offset.
void appendTimeColumn(std::string& out, PrefixState& state, const Settings& settings,
                      const TraceExtHeader& ext) {
  // Signed 32-bit arithmetic that wraps, done in unsigned.
  const auto t = static_cast<std::int32_t>(static_cast<std::uint32_t>(settings.hourOffset) * 3600u +
                                           static_cast<std::uint32_t>(ext.seconds));
  if (t < 0) throw RecordFailure("negative time");
  out += localClock(state, t);
  out += '.';
  appendPadded(out, ext.milliseconds, 10, 3);
  out += ' ';
}

}  // namespace

void appendSeconds(std::string& out, double value) {
  // Wide enough for the largest double in fixed notation with 3 decimals.
  char text[400];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
  const auto length = static_cast<std::size_t>(end - text);
  out.append(text, length);
  if (length < kSecondsWidth) out.append(kSecondsWidth - length, ' ');
}

PrefixStrings buildLinePrefix(PrefixState& state, const Settings& settings,
                              const TraceRecordHeader& header, const TraceExtHeader& ext,
                              int formatVersion) {
  if (formatVersion != 3) {
    std::string& prefix = state.shortPrefix;
    prefix.clear();
    if (settings.elapsedColumn) {
      appendSeconds(prefix, elapsedSeconds(state, settings, header.timeStamp));
      if (settings.processColumn) {
        prefix += "  ";
        appendProcessThread(prefix, ext);
      }
    }
    return {{}, prefix, {}};
  }

  LinePrefix& kept = state.kept;
  kept.time.clear();
  kept.elapsed.clear();
  kept.process.clear();
  if (settings.elapsedColumn) {
    appendSeconds(kept.elapsed, elapsedSeconds(state, settings, header.timeStamp));
    kept.elapsed += ' ';
  }
  // A failure here leaves the recorded widths as they were.
  if (settings.timeColumn) appendTimeColumn(kept.time, state, settings, ext);
  if (settings.processColumn) appendProcessThread(kept.process, ext);
  kept.widths = widthsOf(kept.strings());
  return kept.strings();
}

}  // namespace ovantrex
