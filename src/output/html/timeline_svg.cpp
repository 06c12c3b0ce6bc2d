// The timeline of an update, as inline SVG: time (or record number) across,
// flash address up, one mark per flash write kept; error replies, refused
// writes, checksum writes and resets marked. Every mark carries its
// record's notes as its title.
#include <algorithm>
#include <cmath>

#include "core/protocol.h"
#include "output/common/json_values.h"
#include "output/common/notes.h"
#include "output/html/html_text.h"
#include "output/html/pictures.h"
#include "output/html/svg_shapes.h"

namespace ovantrex {

namespace {

using namespace svg;

// The error strip above the plot, the axes below and left of it.
constexpr double kTimelineHeight = 330;
constexpr double kStripY = 14;  // the tip row of the error triangles
constexpr double kPlotTop = 40;
constexpr double kPlotBottom = kTimelineHeight - 48;

// " (offset N, record R, time)" behind a mark's notes.
void whereAbouts(Writer& out, std::uint64_t offset, const TimelinePoint& at) {
  out.put(" (offset ");
  writeOffset(out, offset);
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
  writeSystemCommandNotes(notes, code(SystemCommand::Reset));
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

// The scales of a timeline: across, the span of every point drawn, a
// little wider; up, the addresses written, from the lowest to one past the
// highest.
struct Frame {
  Scale x;
  Scale y;
};

Frame frameOf(const UpdateTimeline& timeline) {
  const double low = timeline.anyWrite ? timeline.lowest : 0;
  const double high = timeline.anyWrite ? double(timeline.highest) + 1 : 1;
  return {acrossScale(timeline), {low, high, kPlotBottom, kPlotTop}};
}

// The address grid and its labels, left.
void addressAxis(Writer& out, const UpdateTimeline& timeline, const Scale& y) {
  if (!timeline.anyWrite) return;
  forEachAddressTick(timeline.lowest, timeline.highest + std::uint64_t{1},
                     [&out, &y](std::uint64_t tick) {
                       gridLineAcross(out, y(static_cast<double>(tick)));
                       writeHexAddress(out, static_cast<std::uint32_t>(tick));
                       out.put("</text>\n");
                     });
}

// The axes' lines and their names.
void plotNames(Writer& out, const UpdateTimeline& timeline) {
  axisNames(out, timeline,
            {kPlotTop, kPlotBottom, kTimelineHeight, kStripY, "flash address", "error replies"});
  if (!timeline.anyWrite) {
    text(out, (kLeft + kWidth - kRight) / 2, (kPlotTop + kPlotBottom) / 2, "middle");
    out.put("no flash writes in this update</text>\n");
  }
}

// Resets and checksum writes: lines across the plot, labelled.
void eventLines(Writer& out, Writer& scratch, const UpdateTimeline& timeline, const Scale& x) {
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
}

// Flash writes: a bar as high as their addresses, at least 2 units.
void writeMarks(Writer& out, Writer& scratch, const UpdateTimeline& timeline, const Frame& frame) {
  for (const WriteMark& mark : timeline.marks) {
    const double top = frame.y(double(mark.write.address) + mark.write.count);
    const double bottom = frame.y(mark.write.address);
    const double height = std::max(2.0, bottom - top);
    out.put("<rect class=\"w\"");
    attribute(out, "x", frame.x(across(timeline, mark.at)) - 1.5);
    attribute(out, "y", (top + bottom - height) / 2);
    out.put(" width=\"3\"");
    attribute(out, "height", height);
    out.put('>');
    writeTitle(out, scratch, "", mark);
    out.put("</rect>\n");
  }
}

// Error replies: a triangle in the strip above and a dashed line down; the
// writes they refused: a cross over the write.
void errorMarks(Writer& out, Writer& scratch, const UpdateTimeline& timeline, const Frame& frame) {
  for (const EventMark& error : timeline.errors) {
    const double at = frame.x(across(timeline, error.at));
    out.put("<g class=\"error\">");
    verticalLine(out, "erl", at, kStripY, kPlotBottom);
    out.put("<path class=\"er\"");
    triangle(out, at, kStripY + 8, 10);
    out.put("/>");
    writeTitle(out, scratch, "Error reply: ", error, errorNotes);
    out.put("</g>\n");
  }
  for (const WriteMark& mark : timeline.refused) {
    out.put("<path class=\"rf\"");
    cross(out, frame.x(across(timeline, mark.at)),
          frame.y(double(mark.write.address) + mark.write.count / 2.0), 5);
    out.put('>');
    writeTitle(out, scratch, "Refused: ", mark);
    out.put("</path>\n");
  }
}

}  // namespace

double across(const UpdateTimeline& timeline, const TimelinePoint& at) {
  if (timeline.allTimed)
    return static_cast<double>(at.milliseconds - timeline.start.milliseconds) / 1000.0;
  return static_cast<double>(at.record);
}

svg::Scale acrossScale(const UpdateTimeline& timeline) {
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
  return {lo - margin, hi + margin, kLeft, kWidth - kRight};
}

void timeAxis(Writer& out, const UpdateTimeline& timeline, const svg::Scale& x, double top,
              double bottom) {
  const double step = niceStep(x.hi - x.lo, 7, timeline.allTimed ? 0.001 : 1.0);
  const int decimals = timeline.allTimed ? decimalsOf(step) : 0;
  for (double i = std::ceil(x.lo / step); i * step <= x.hi; ++i) {
    const double tick = i * step;
    const double at = x(tick);
    verticalLine(out, "grid-line", at, top, bottom);
    text(out, at, bottom + 16, "middle");
    writeFixed(out, tick, decimals);
    out.put("</text>\n");
  }
}

void axisNames(Writer& out, const UpdateTimeline& timeline, const PlotFrame& frame) {
  out.put("<path class=\"axis\" d=\"M");
  point(out, kLeft, frame.top);
  out.put('V');
  coordinate(out, frame.bottom);
  out.put('H');
  coordinate(out, kWidth - kRight);
  out.put("\"/>\n");
  text(out, (kLeft + kWidth - kRight) / 2, frame.height - 10, "middle");
  if (timeline.allTimed) {
    out.put("seconds since the start of the update (");
    writeTimelineTime(out, timeline.start);
    out.put(')');
  } else {
    out.put("record number (the trace has no times here)");
  }
  out.put("</text>\n");
  const double middle = (frame.top + frame.bottom) / 2;
  out.put("<text x=\"16\"");
  attribute(out, "y", middle);
  out.put(" text-anchor=\"middle\" transform=\"rotate(-90 16 ");
  coordinate(out, middle);
  out.put(")\">");
  out.put(frame.upName);
  out.put("</text>\n");
  text(out, kLeft - 6, frame.stripY - 2, "end");
  out.put(frame.stripName);
  out.put("</text>\n");
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
  const Frame frame = frameOf(timeline);
  out.put("<svg class=\"timeline\"");
  viewBox(out, kTimelineHeight);
  out.put(" role=\"img\" aria-label=\"Timeline of update ");
  out.decimal(static_cast<std::int64_t>(timeline.number));
  out.put(": flash writes by time and address\">\n");
  addressAxis(out, timeline, frame.y);
  timeAxis(out, timeline, frame.x, kPlotTop, kPlotBottom);
  plotNames(out, timeline);
  eventLines(out, scratch, timeline, frame.x);
  writeMarks(out, scratch, timeline, frame);
  errorMarks(out, scratch, timeline, frame);
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

}  // namespace ovantrex
