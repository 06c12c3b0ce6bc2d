#include "output/text/line_prefix.h"

#include <charconv>
#include <cmath>
#include <ctime>

namespace ovantrex {

namespace {

constexpr std::size_t kSecondsWidth = 10;
// The longest elapsed value (the largest double with three decimals) and the
// other columns fit in this room.
constexpr std::size_t kPrefixRoom = 400;

void appendPadded(std::string& out, std::uint64_t value, int base, std::size_t minDigits) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value, base);
  const auto length = static_cast<std::size_t>(end - digits);
  if (length < minDigits) out.append(minDigits - length, '0');
  out.append(digits, length);
}

// "P", the process id, "/T", the thread id, each in hex with at least five
// digits, and a blank.
void appendProcessThread(std::string& out, const TraceExtHeader& ext) {
  out += 'P';
  appendPadded(out, ext.processId, 16, 5);
  out += "/T";
  appendPadded(out, ext.threadId, 16, 5);
  out += ' ';
}

// The elapsed value, moving the previous time stamp on unless cumulative.
double elapsedSeconds(PrefixState& state, const ListingOptions& options, double timeStamp) {
  const double value = (timeStamp - state.previousStamp) / 1000;
  if (!options.cumulative) state.previousStamp = timeStamp;
  return value;
}

// Month/day-hour:minute:second of the local time of t (t >= 0), two digits
// each; the same second is converted once. Null when the conversion fails.
const std::string* localClock(PrefixState& state, const ListingOptions& options, std::int32_t t) {
  if (state.haveCachedSecond && state.cachedSecond == t) return &state.cachedClock;
  std::tm local{};
  if (options.localTime == nullptr || !options.localTime(t, local)) return nullptr;
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
  return &clock;
}

// The clock of the record's time moved by the hour offset, ".", the
// milliseconds with at least three digits, and a blank. False when the time
// is negative or cannot be converted.
bool appendTimeColumn(std::string& out, PrefixState& state, const ListingOptions& options,
                      const TraceExtHeader& ext) {
  // Signed 32-bit arithmetic that wraps, done in unsigned.
  const auto t = static_cast<std::int32_t>(static_cast<std::uint32_t>(options.hourOffset) * 3600u +
                                           static_cast<std::uint32_t>(ext.seconds));
  if (t < 0) return false;
  const std::string* clock = localClock(state, options, t);
  if (clock == nullptr) return false;
  out += *clock;
  out += '.';
  appendPadded(out, ext.milliseconds, 10, 3);
  out += ' ';
  return true;
}

}  // namespace

PrefixState::PrefixState() {
  for (std::string* room : {&kept.time, &kept.elapsed, &kept.process, &shortPrefix, &cachedClock})
    room->reserve(kPrefixRoom);
}

namespace {

// The value rounded to whole milliseconds, when that is what three decimals
// show: false for values so close to a half millisecond that the rounding
// of value * 1000 could tip them, and for values too large for the count.
bool roundedMilliseconds(double value, std::uint64_t& magnitude) {
  const double scaled = std::fabs(value) * 1000;
  if (!(scaled < 1e15)) return false;
  const double below = std::floor(scaled);
  const double fraction = scaled - below;
  // value * 1000 is off the exact product by at most half a unit in its
  // last place, far less than this margin.
  if (std::fabs(fraction - 0.5) <= scaled * 1e-15 + 1e-12) return false;
  magnitude = static_cast<std::uint64_t>(below) + (fraction > 0.5 ? 1 : 0);
  return true;
}

}  // namespace

void appendSeconds(std::string& out, double value) {
  std::size_t length = 0;
  std::uint64_t milliseconds = 0;
  if (roundedMilliseconds(value, milliseconds)) {
    // The sign stays on values that round to zero, as in "-0.000".
    const std::size_t start = out.size();
    if (std::signbit(value)) out += '-';
    appendPadded(out, milliseconds / 1000, 10, 1);
    out += '.';
    appendPadded(out, milliseconds % 1000, 10, 3);
    length = out.size() - start;
  } else {
    // Wide enough for the largest double in fixed notation with 3 decimals.
    char text[400];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
    length = static_cast<std::size_t>(end - text);
    out.append(text, length);
  }
  if (length < kSecondsWidth) out.append(kSecondsWidth - length, ' ');
}

namespace {

// The strings of a format-version-3 record into state.kept, from its
// elapsed value; false when its time cannot be shown (the widths stay).
// Inlined: it is the listing's path for every record of version 3.
[[gnu::always_inline]] inline bool buildKept(PrefixState& state, const ListingOptions& options,
                                             double elapsed, const TraceExtHeader& ext) {
  LinePrefix& kept = state.kept;
  kept.time.clear();
  kept.elapsed.clear();
  kept.process.clear();
  if (options.elapsedColumn) {
    appendSeconds(kept.elapsed, elapsed);
    kept.elapsed += ' ';
  }
  // A failure here leaves the recorded widths as they were.
  if (options.timeColumn && !appendTimeColumn(kept.time, state, options, ext)) return false;
  if (options.processColumn) appendProcessThread(kept.process, ext);
  kept.widths = widthsOf(kept.strings());
  return true;
}

}  // namespace

void passLinePrefix(PrefixState& state, const ListingOptions& options,
                    const TraceRecordHeader& header, const TraceExtHeader& ext, int formatVersion) {
  const double elapsed =
      options.elapsedColumn ? elapsedSeconds(state, options, header.timeStamp) : 0;
  if (formatVersion != 3) return;
  state.pending = true;
  state.pendingElapsed = elapsed;
  state.pendingExt = ext;
}

std::optional<PrefixStrings> buildLinePrefix(PrefixState& state, const ListingOptions& options,
                                             const TraceRecordHeader& header,
                                             const TraceExtHeader& ext, int formatVersion) {
  if (formatVersion != 3) {
    if (state.pending) buildKept(state, options, state.pendingElapsed, state.pendingExt);
    state.pending = false;
    std::string& prefix = state.shortPrefix;
    prefix.clear();
    if (options.elapsedColumn) {
      appendSeconds(prefix, elapsedSeconds(state, options, header.timeStamp));
      if (options.processColumn) {
        prefix += "  ";
        appendProcessThread(prefix, ext);
      }
    }
    return PrefixStrings{{}, prefix, {}};
  }

  state.pending = false;
  const double elapsed =
      options.elapsedColumn ? elapsedSeconds(state, options, header.timeStamp) : 0;
  if (!buildKept(state, options, elapsed, ext)) return std::nullopt;
  return state.kept.strings();
}

}  // namespace ovantrex
