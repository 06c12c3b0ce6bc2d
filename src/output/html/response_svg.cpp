// The response times of an update, as inline SVG: the command's time (or
// record number) across, as on the update's timeline, the response time up
// on a log scale, one decade per grid line; refused commands crossed, and
// the commands that no reply answered marked in a strip above the plot.
// A time at or below the lowest decade (0 ms among them) stands on it.
#include <algorithm>
#include <cmath>

#include "decode/firmware_command.h"
#include "output/html/pictures.h"
#include "output/html/svg_shapes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

using namespace svg;

constexpr double kResponseHeight = 250;
constexpr double kStripY = 14;  // the tip row of the unanswered marks
constexpr double kPlotTop = 34;
constexpr double kPlotBottom = kResponseHeight - 48;
// The lowest decade drawn: 1 microsecond.
constexpr int kLowestDecade = -3;

template <typename Each>
void forEachTimed(const UpdateTimeline& timeline, Each each) {
  for (const ExchangeMark& mark : timeline.accepted) each(mark);
  for (const ExchangeMark& mark : timeline.refusedCommands) each(mark);
}

// The decades up: from that of the fastest time above 0 to that of the
// slowest, at least one.
Scale decadesOf(const UpdateTimeline& timeline) {
  double fastest = 0;
  double slowest = 0;
  forEachTimed(timeline, [&](const ExchangeMark& mark) {
    if (mark.milliseconds > 0 && (fastest == 0 || mark.milliseconds < fastest))
      fastest = mark.milliseconds;
    slowest = std::max(slowest, mark.milliseconds);
  });
  const double low =
      fastest > 0 ? std::max<double>(std::floor(std::log10(fastest)), kLowestDecade) : 0;
  double high = slowest > 0 ? std::ceil(std::log10(slowest)) : low + 1;
  if (high <= low) high = low + 1;
  return {low, high, kPlotBottom, kPlotTop};
}

double upOf(const Scale& y, double milliseconds) {
  return y(std::max(std::log10(std::max(milliseconds, 1e-300)), y.lo));
}

// "10 ms", "0.1 ms", "1 s" is written "1000 ms".
void decadeAxis(Writer& out, const Scale& y) {
  const auto lowest = static_cast<int>(y.lo);
  const auto highest = static_cast<int>(y.hi);
  for (int decade = lowest; decade <= highest; ++decade) {
    gridLineAcross(out, y(decade));
    writeMilliseconds(out, std::pow(10.0, decade));
    out.put("</text>\n");
  }
}

void exchangeTitle(Writer& out, std::string_view prefix, const ExchangeMark& mark) {
  out.put("<title>");
  out.put(prefix);
  out.put(coded(mark.kind).words);
  out.put(" at offset ");
  writeOffset(out, mark.command);
  if (mark.fate == Fate::Unanswered) {
    out.put(": no reply");
  } else {
    out.put(": reply at offset ");
    writeOffset(out, mark.reply);
    out.put(" after ");
    writeMilliseconds(out, mark.milliseconds);
  }
  if (mark.at.timed) {
    out.put(" (");
    writeTimelineTime(out, mark.at);
    out.put(')');
  }
  out.put("</title>");
}

void marks(Writer& out, const UpdateTimeline& timeline, const Scale& x, const Scale& y) {
  for (const ExchangeMark& mark : timeline.accepted) {
    out.put("<circle class=\"rt\"");
    attribute(out, "cx", x(across(timeline, mark.at)));
    attribute(out, "cy", upOf(y, mark.milliseconds));
    out.put(" r=\"2.5\">");
    exchangeTitle(out, "", mark);
    out.put("</circle>\n");
  }
  for (const ExchangeMark& mark : timeline.refusedCommands) {
    out.put("<path class=\"rf\"");
    cross(out, x(across(timeline, mark.at)), upOf(y, mark.milliseconds), 5);
    out.put('>');
    exchangeTitle(out, "Refused command: ", mark);
    out.put("</path>\n");
  }
  for (const ExchangeMark& mark : timeline.unanswered) {
    out.put("<path class=\"un\"");
    triangle(out, x(across(timeline, mark.at)), kStripY + 8, 10);
    out.put('>');
    exchangeTitle(out, "Unanswered command: ", mark);
    out.put("</path>\n");
  }
}

}  // namespace

bool writeResponseSvg(Writer& out, const UpdateTimeline& timeline) {
  if (timeline.accepted.empty() && timeline.refusedCommands.empty() && timeline.unanswered.empty())
    return false;
  const Scale x = acrossScale(timeline);
  const Scale y = decadesOf(timeline);
  out.put("<svg class=\"responses\"");
  viewBox(out, kResponseHeight);
  out.put(" role=\"img\" aria-label=\"Response times of update ");
  out.decimal(static_cast<std::int64_t>(timeline.number));
  out.put(": each command's reply by time\">\n");
  decadeAxis(out, y);
  timeAxis(out, timeline, x, kPlotTop, kPlotBottom);
  axisNames(
      out, timeline,
      {kPlotTop, kPlotBottom, kResponseHeight, kStripY, "response time (log scale)", "no reply"});
  marks(out, timeline, x, y);
  out.put("</svg>\n");
  return true;
}

void writeResponseLegend(Writer& out) {
  out.put(
      "<p class=\"legend\">"
      "<span><svg width=\"14\" height=\"16\" viewBox=\"0 0 14 16\" aria-hidden=\"true\">"
      "<circle class=\"rt\" cx=\"7\" cy=\"8\" r=\"2.5\"/></svg> accepted command (height: "
      "its response time)</span>"
      "<span><svg width=\"14\" height=\"16\" viewBox=\"0 0 14 16\" aria-hidden=\"true\">"
      "<path class=\"rf\" d=\"M2 3L12 13M2 13L12 3\"/></svg> refused command</span>"
      "<span><svg width=\"14\" height=\"16\" viewBox=\"0 0 14 16\" aria-hidden=\"true\">"
      "<path class=\"un\" d=\"M7 14L1 3H13Z\"/></svg> unanswered command</span>"
      "</p>\n");
}

}  // namespace ovantrex
