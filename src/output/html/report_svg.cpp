// The pictures of the HTML report, as inline SVG. Coordinates are in the
// units of a 960-wide view box; the page scales the pictures to its width.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "output/common/json_values.h"
#include "output/common/notes.h"
#include "output/html/html_text.h"
#include "output/html/report_parts.h"

namespace ovantrex {

namespace {

constexpr double kWidth = 960;
constexpr double kLeft = 84;
constexpr double kRight = 18;

// Timeline: the error strip above the plot, the axes below and left of it.
constexpr double kTimelineHeight = 330;
constexpr double kStripY = 14;  // the tip row of the error triangles
constexpr double kPlotTop = 40;
constexpr double kPlotBottom = kTimelineHeight - 48;

// Flash map: one bar.
constexpr double kMapHeight = 118;
constexpr double kBarTop = 34;
constexpr double kBarBottom = 70;

// Maps [lo, hi] onto [from, to].
struct Scale {
  double lo;
  double hi;
  double from;
  double to;
  double operator()(double value) const { return from + (value - lo) / (hi - lo) * (to - from); }
};

void coordinate(Writer& out, double value) { writeFixed(out, value, 1); }

void viewBox(Writer& out, double height) {
  out.put(" viewBox=\"0 0 ");
  coordinate(out, kWidth);
  out.put(' ');
  coordinate(out, height);
  out.put('"');
}

// name="value" with a coordinate value, after a blank.
void attribute(Writer& out, std::string_view name, double value) {
  out.put(' ');
  out.put(name);
  out.put("=\"");
  coordinate(out, value);
  out.put('"');
}

// Where a point stands across: seconds since the update's start, or its
// record number where the update has records without times.
double across(const UpdateTimeline& timeline, const TimelinePoint& at) {
  if (timeline.allTimed)
    return static_cast<double>(at.milliseconds - timeline.start.milliseconds) / 1000.0;
  return static_cast<double>(at.record);
}

// " (offset N, record R, time)" behind a mark's notes.
void whereAbouts(Writer& out, std::uint64_t offset, const TimelinePoint& at) {
  out.put(" (offset ");
  out.decimal(static_cast<std::int64_t>(offset));
  out.put(", record ");
  out.decimal(static_cast<std::int64_t>(at.record));
  if (at.timed) {
    out.put(", ");
    writeTimelineTime(out, at);
  }
  out.put(')');
}

void writeTitle(Writer& out, Writer& scratch, std::string_view prefix, const WriteMark& mark) {
  scratch.clear();
  JoinedNotes notes(scratch);
  writeFlashWriteNotes(notes, mark.write);
  out.put("<title>");
  out.put(prefix);
  writeHtmlText(out, scratch.text());
  whereAbouts(out, mark.offset, mark.at);
  out.put("</title>");
}

// The notes of the records of events, as the listing writes them.
void errorNotes(NoteSink& notes, const EventMark& error) { writeStatusNotes(notes, error.reply); }
void checksumNotes(NoteSink& notes, const EventMark& checksum) {
  writeChecksumNotes(notes, checksum.checksum);
}
void resetNotes(NoteSink& notes, const EventMark& /*reset*/) {
  writeSystemCommandNotes(notes, kSubReset);
}

void writeTitle(Writer& out, Writer& scratch, std::string_view prefix, const EventMark& event,
                void (*writeNotes)(NoteSink&, const EventMark&)) {
  scratch.clear();
  JoinedNotes notes(scratch);
  writeNotes(notes, event);
  out.put("<title>");
  out.put(prefix);
  writeHtmlText(out, scratch.text());
  whereAbouts(out, event.offset, event.at);
  out.put("</title>");
}

// A step of 1, 2 or 5 times a power of ten that cuts range into about
// count parts; at least minimum.
double niceStep(double range, double count, double minimum) {
  const double raw = range / count;
  if (!(raw > minimum)) return minimum;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  const double factor = norm < 1.5 ? 1 : norm < 3.5 ? 2 : norm < 7.5 ? 5 : 10;
  return factor * magnitude;
}

// Decimals that show a multiple of step exactly.
int decimalsOf(double step) {
  int decimals = 0;
  for (double scaled = step; decimals < 6 && std::fabs(scaled - std::round(scaled)) > 1e-9;
       scaled *= 10)
    ++decimals;
  return decimals;
}

// A power-of-two step that cuts span addresses into about five parts.
std::uint64_t addressStep(std::uint64_t span) {
  std::uint64_t step = 1;
  while (step * 5 < span) step *= 2;
  return step;
}

// Calls each(address) for the lowest address, and for the addresses at
// multiples of the step within [lo, hi] that stand far enough from it.
template <typename Each>
void forEachAddressTick(std::uint64_t lo, std::uint64_t hi, Each each) {
  const std::uint64_t step = addressStep(hi - lo);
  each(lo);
  for (std::uint64_t at = (lo + step - 1) / step * step; at <= hi; at += step) {
    if ((at - lo) * 8 >= step) each(at);
  }
}

template <typename Each>
void forEachPoint(const UpdateTimeline& timeline, Each each) {
  each(timeline.start);
  each(timeline.end);
  for (const WriteMark& mark : timeline.marks) each(mark.at);
  for (const WriteMark& mark : timeline.refused) each(mark.at);
  for (const auto* events : {&timeline.errors, &timeline.checksums, &timeline.resets})
    for (const EventMark& event : *events) each(event.at);
}

// A point of a path: "x y".
void point(Writer& out, double x, double y) {
  coordinate(out, x);
  out.put(' ');
  coordinate(out, y);
}

// A cross centred on (x, y).
void cross(Writer& out, double x, double y, double size) {
  out.put(" d=\"M");
  point(out, x - size, y - size);
  out.put('L');
  point(out, x + size, y + size);
  out.put('M');
  point(out, x - size, y + size);
  out.put('L');
  point(out, x + size, y - size);
  out.put('"');
}

// A triangle with its tip at (x, y), pointing down (height above) or up.
void triangle(Writer& out, double x, double y, double height) {
  out.put(" d=\"M");
  point(out, x, y);
  out.put('L');
  point(out, x - height * 0.6, y - height);
  out.put('H');
  coordinate(out, x + height * 0.6);
  out.put("Z\"");
}

void verticalLine(Writer& out, std::string_view cssClass, double x, double top, double bottom) {
  out.put("<line class=\"");
  out.put(cssClass);
  out.put('"');
  attribute(out, "x1", x);
  attribute(out, "x2", x);
  attribute(out, "y1", top);
  attribute(out, "y2", bottom);
  out.put("/>");
}

void text(Writer& out, double x, double y, std::string_view anchor) {
  out.put("<text");
  attribute(out, "x", x);
  attribute(out, "y", y);
  out.put(" text-anchor=\"");
  out.put(anchor);
  out.put("\">");
}

}  // namespace

void writeFixed(Writer& out, double value, int decimals) {
  char digits[64];
  // Adding zero turns -0 into 0.
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value + 0.0,
                                          std::chars_format::fixed, decimals);
  if (error != std::errc()) {
    out.put('0');
    return;
  }
  std::string_view written(digits, static_cast<std::size_t>(end - digits));
  // A value that rounds to zero is written without its sign.
  if (written.front() == '-' && written.find_first_not_of("-0.") == std::string_view::npos)
    written.remove_prefix(1);
  out.put(written);
}

void writeHexAddress(Writer& out, std::uint32_t address) {
  out.put("0x");
  out.hexPadded(address, 6);
}

void writeTimelineTime(Writer& out, const TimelinePoint& at) {
  std::int64_t seconds = at.milliseconds / 1000;
  std::int64_t millis = at.milliseconds % 1000;
  if (millis < 0) {
    millis += 1000;
    --seconds;
  }
  writeUtcTime(out, seconds, static_cast<std::uint32_t>(millis));
}

void writeTimelineSvg(Writer& out, Writer& scratch, const UpdateTimeline& timeline) {
  // Across: the span of every point drawn, a little wider.
  double lo = across(timeline, timeline.start);
  double hi = lo;
  forEachPoint(timeline, [&](const TimelinePoint& at) {
    const double value = across(timeline, at);
    lo = std::min(lo, value);
    hi = std::max(hi, value);
  });
  const double unit = timeline.allTimed ? 0.001 : 1.0;
  if (hi - lo < unit) {
    lo -= unit;
    hi += unit;
  }
  const double margin = (hi - lo) * 0.02;
  const Scale x{lo - margin, hi + margin, kLeft, kWidth - kRight};
  // Up: the addresses written, from the lowest to one past the highest.
  const double low = timeline.anyWrite ? timeline.lowest : 0;
  const double high = timeline.anyWrite ? double(timeline.highest) + 1 : 1;
  const Scale y{low, high, kPlotBottom, kPlotTop};

  out.put("<svg class=\"timeline\"");
  viewBox(out, kTimelineHeight);
  out.put(" role=\"img\" aria-label=\"Timeline of update ");
  out.decimal(static_cast<std::int64_t>(timeline.number));
  out.put(": flash writes by time and address\">\n");

  // Grid and axes.
  if (timeline.anyWrite) {
    forEachAddressTick(timeline.lowest, timeline.highest + std::uint64_t{1},
                       [&out, &y](std::uint64_t tick) {
                         const double at = y(static_cast<double>(tick));
                         out.put("<line class=\"grid-line\"");
                         attribute(out, "x1", kLeft);
                         attribute(out, "x2", kWidth - kRight);
                         attribute(out, "y1", at);
                         attribute(out, "y2", at);
                         out.put("/>");
                         text(out, kLeft - 6, at + 4, "end");
                         writeHexAddress(out, static_cast<std::uint32_t>(tick));
                         out.put("</text>\n");
                       });
  }
  const double step = niceStep(x.hi - x.lo, 7, timeline.allTimed ? 0.001 : 1.0);
  const int decimals = timeline.allTimed ? decimalsOf(step) : 0;
  for (double i = std::ceil(x.lo / step); i * step <= x.hi; ++i) {
    const double tick = i * step;
    const double at = x(tick);
    verticalLine(out, "grid-line", at, kPlotTop, kPlotBottom);
    text(out, at, kPlotBottom + 16, "middle");
    writeFixed(out, tick, decimals);
    out.put("</text>\n");
  }
  out.put("<path class=\"axis\" d=\"M");
  point(out, kLeft, kPlotTop);
  out.put('V');
  coordinate(out, kPlotBottom);
  out.put('H');
  coordinate(out, kWidth - kRight);
  out.put("\"/>\n");
  text(out, (kLeft + kWidth - kRight) / 2, kTimelineHeight - 10, "middle");
  if (timeline.allTimed) {
    out.put("seconds since the start of the update (");
    writeTimelineTime(out, timeline.start);
    out.put(')');
  } else {
    out.put("record number (the trace has no times here)");
  }
  out.put("</text>\n");
  out.put("<text x=\"16\"");
  attribute(out, "y", (kPlotTop + kPlotBottom) / 2);
  out.put(" text-anchor=\"middle\" transform=\"rotate(-90 16 ");
  coordinate(out, (kPlotTop + kPlotBottom) / 2);
  out.put(")\">flash address</text>\n");
  text(out, kLeft - 6, kStripY - 2, "end");
  out.put("error replies</text>\n");
  if (!timeline.anyWrite) {
    text(out, (kLeft + kWidth - kRight) / 2, (kPlotTop + kPlotBottom) / 2, "middle");
    out.put("no flash writes in this update</text>\n");
  }

  // Resets and checksum writes: lines across the plot, labelled.
  for (const EventMark& reset : timeline.resets) {
    const double at = x(across(timeline, reset.at));
    out.put("<g class=\"reset\">");
    verticalLine(out, "rs", at, kPlotTop - 6, kPlotBottom);
    text(out, at + 3, kPlotTop + 6, "start");
    out.put("reset</text>");
    writeTitle(out, scratch, "Reset: ", reset, resetNotes);
    out.put("</g>\n");
  }
  for (const EventMark& checksum : timeline.checksums) {
    const double at = x(across(timeline, checksum.at));
    out.put("<g class=\"checksum\">");
    verticalLine(out, "ck", at, kPlotTop - 6, kPlotBottom);
    text(out, at - 3, kPlotTop + 6, "end");
    out.put("checksum</text>");
    writeTitle(out, scratch, "Checksum: ", checksum, checksumNotes);
    out.put("</g>\n");
  }

  // Flash writes.
  for (const WriteMark& mark : timeline.marks) {
    const double top = y(double(mark.write.address) + mark.write.count);
    const double bottom = y(mark.write.address);
    const double height = std::max(2.0, bottom - top);
    out.put("<rect class=\"w\"");
    attribute(out, "x", x(across(timeline, mark.at)) - 1.5);
    attribute(out, "y", (top + bottom - height) / 2);
    out.put(" width=\"3\"");
    attribute(out, "height", height);
    out.put('>');
    writeTitle(out, scratch, "", mark);
    out.put("</rect>\n");
  }

  // Error replies: a triangle in the strip above and a dashed line down.
  for (const EventMark& error : timeline.errors) {
    const double at = x(across(timeline, error.at));
    out.put("<g class=\"error\">");
    verticalLine(out, "erl", at, kStripY, kPlotBottom);
    out.put("<path class=\"er\"");
    triangle(out, at, kStripY + 8, 10);
    out.put("/>");
    writeTitle(out, scratch, "Error reply: ", error, errorNotes);
    out.put("</g>\n");
  }
  // The writes they refused: a cross over the write.
  for (const WriteMark& mark : timeline.refused) {
    out.put("<path class=\"rf\"");
    cross(out, x(across(timeline, mark.at)), y(double(mark.write.address) + mark.write.count / 2.0),
          5);
    out.put('>');
    writeTitle(out, scratch, "Refused: ", mark);
    out.put("</path>\n");
  }
  out.put("</svg>\n");
}

void writeTimelineLegend(Writer& out) {
  out.put(
      "<p class=\"legend\">"
      "<span><svg width=\"14\" height=\"16\" viewBox=\"0 0 14 16\" aria-hidden=\"true\">"
      "<rect class=\"w\" x=\"5.5\" y=\"2\" width=\"3\" height=\"12\"/></svg> flash write "
      "(height: its addresses)</span>"
      "<span><svg width=\"14\" height=\"16\" viewBox=\"0 0 14 16\" aria-hidden=\"true\">"
      "<path class=\"rf\" d=\"M2 3L12 13M2 13L12 3\"/></svg> write refused by the next reply</span>"
      "<span><svg width=\"14\" height=\"16\" viewBox=\"0 0 14 16\" aria-hidden=\"true\">"
      "<path class=\"er\" d=\"M7 14L1 3H13Z\"/></svg> error reply</span>"
      "<span><svg width=\"14\" height=\"16\" viewBox=\"0 0 14 16\" aria-hidden=\"true\">"
      "<line class=\"ck\" x1=\"7\" x2=\"7\" y1=\"0\" y2=\"16\"/></svg> checksum write</span>"
      "<span><svg width=\"14\" height=\"16\" viewBox=\"0 0 14 16\" aria-hidden=\"true\">"
      "<line class=\"rs\" x1=\"7\" x2=\"7\" y1=\"0\" y2=\"16\"/></svg> reset</span>"
      "</p>\n");
}

namespace {

void hatchPattern(Writer& out, std::size_t number, std::string_view suffix) {
  out.put("<defs><pattern id=\"hatch-");
  out.decimal(static_cast<std::int64_t>(number));
  out.put(suffix);
  out.put(
      "\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
      "patternTransform=\"rotate(45)\"><rect class=\"hatch-ground\" width=\"6\" height=\"6\"/>"
      "<line class=\"hatch-line\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\"/></pattern></defs>");
}

void hatchFill(Writer& out, std::size_t number, std::string_view suffix) {
  out.put(" fill=\"url(#hatch-");
  out.decimal(static_cast<std::int64_t>(number));
  out.put(suffix);
  out.put(")\"");
}

void bar(Writer& out, std::string_view cssClass, double left, double width) {
  out.put("<rect class=\"");
  out.put(cssClass);
  out.put('"');
  attribute(out, "x", left);
  attribute(out, "y", kBarTop);
  attribute(out, "width", width);
  attribute(out, "height", kBarBottom - kBarTop);
}

// "0x018000-0x018017" and its byte count.
void rangeWords(Writer& out, std::uint32_t first, std::uint32_t last) {
  writeHexAddress(out, first);
  out.put("\xe2\x80\x93");  // an en dash
  writeHexAddress(out, last);
  out.put(": ");
  writeGrouped(out, std::uint64_t{last} - first + 1);
  out.put(std::uint64_t{last} == first ? " byte" : " bytes");
}

}  // namespace

void writeFlashMapSvg(Writer& out, const UpdateTimeline& timeline, const UpdateFacts& summary) {
  const double low = timeline.lowest;
  const double high = double(timeline.highest) + 1;
  const Scale x{low, high, kLeft, kWidth - kRight};
  const auto left = [&x](std::uint32_t address) { return x(address); };
  const auto width = [&x](std::uint32_t first, std::uint32_t last, double least) {
    return std::max(least, x(double(last) + 1) - x(first));
  };

  out.put("<svg class=\"flash-map\"");
  viewBox(out, kMapHeight);
  out.put(" role=\"img\" aria-label=\"Flash written by update ");
  out.decimal(static_cast<std::int64_t>(timeline.number));
  out.put("\">\n");
  hatchPattern(out, timeline.number, "");
  out.put('\n');
  text(out, kLeft - 6, (kBarTop + kBarBottom) / 2 + 4, "end");
  out.put("flash</text>\n");
  bar(out, "fm-bg", kLeft, kWidth - kRight - kLeft);
  out.put(
      "><title>the span from the lowest to the highest address written; grey: not "
      "written</title></rect>\n");
  for (const AddressRange& range : summary.ranges) {
    bar(out, "fm-w", left(range.first), width(range.first, range.last, 1));
    out.put("><title>written ");
    rangeWords(out, range.first, range.last);
    out.put("</title></rect>\n");
  }
  for (const AddressRange& range : summary.rewrittenRanges) {
    bar(out, "fm-rw", left(range.first), width(range.first, range.last, 2));
    hatchFill(out, timeline.number, "");
    out.put("><title>written more than once ");
    rangeWords(out, range.first, range.last);
    out.put("</title></rect>\n");
  }
  // Gaps: a triangle under the bar, so that a gap of one byte shows too.
  for (std::size_t i = 1; i < summary.ranges.size(); ++i) {
    const std::uint32_t first = summary.ranges[i - 1].last + 1;
    const std::uint32_t last = summary.ranges[i].first - 1;
    out.put("<path class=\"fm-gap\"");
    triangle(out, (left(first) + x(double(last) + 1)) / 2, kBarBottom + 2, -9);
    out.put("><title>gap, not written ");
    rangeWords(out, first, last);
    out.put("</title></path>\n");
  }
  // Refused writes: a cross above the bar.
  for (const WriteMark& mark : timeline.refused) {
    out.put("<path class=\"rf\"");
    cross(out, x(double(mark.write.address) + mark.write.count / 2.0), kBarTop - 10, 5);
    out.put("><title>refused write ");
    rangeWords(out, mark.write.address, mark.write.last());
    out.put(" (offset ");
    out.decimal(static_cast<std::int64_t>(mark.offset));
    out.put(")</title></path>\n");
  }
  // Addresses along the bar.
  forEachAddressTick(timeline.lowest, timeline.highest + std::uint64_t{1},
                     [&out, &x](std::uint64_t tick) {
                       const double at = x(static_cast<double>(tick));
                       verticalLine(out, "axis", at, kBarBottom + 12, kBarBottom + 18);
                       // Labels at the ends stay inside the picture.
                       text(out, at, kBarBottom + 32,
                            at < kLeft + 30             ? "start"
                            : at > kWidth - kRight - 30 ? "end"
                                                        : "middle");
                       writeHexAddress(out, static_cast<std::uint32_t>(tick));
                       out.put("</text>\n");
                     });
  out.put("</svg>\n");
}

void writeFlashMapLegend(Writer& out, std::size_t number) {
  out.put(
      "<p class=\"legend\">"
      "<span><svg width=\"18\" height=\"14\" viewBox=\"0 0 18 14\" aria-hidden=\"true\">"
      "<rect class=\"fm-w\" x=\"1\" y=\"1\" width=\"16\" height=\"12\"/></svg> written</span>"
      "<span><svg width=\"18\" height=\"14\" viewBox=\"0 0 18 14\" aria-hidden=\"true\">");
  hatchPattern(out, number, "-key");
  out.put("<rect class=\"fm-rw\" x=\"1\" y=\"1\" width=\"16\" height=\"12\"");
  hatchFill(out, number, "-key");
  out.put(
      "/></svg> written more than once</span>"
      "<span><svg width=\"18\" height=\"14\" viewBox=\"0 0 18 14\" aria-hidden=\"true\">"
      "<rect class=\"fm-bg\" x=\"1\" y=\"1\" width=\"16\" height=\"12\"/></svg> not written</span>"
      "<span><svg width=\"18\" height=\"14\" viewBox=\"0 0 18 14\" aria-hidden=\"true\">"
      "<path class=\"fm-gap\" d=\"M9 2L15 12H3Z\"/></svg> gap</span>"
      "<span><svg width=\"18\" height=\"14\" viewBox=\"0 0 18 14\" aria-hidden=\"true\">"
      "<path class=\"rf\" d=\"M4 2L14 12M4 12L14 2\"/></svg> refused write</span>"
      "</p>\n");
}

}  // namespace ovantrex
