// The flash written by an update, as inline SVG: the span from its lowest
// to its highest address, the written ranges as bars over it, rewritten
// bytes hatched, gaps and refused writes marked.
#include <algorithm>

#include "output/html/pictures.h"
#include "output/html/svg_shapes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

using namespace svg;

// One bar.
constexpr double kMapHeight = 118;
constexpr double kBarTop = 34;
constexpr double kBarBottom = 70;

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
  openElement(out, "rect", cssClass);
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

// The bars: the span, the written ranges over it, and the rewritten ranges
// hatched over those; a range is at least one unit wide (two for a
// rewritten one), so that one byte shows.
void bars(Writer& out, const UpdateTimeline& timeline, const UpdateFacts& update, const Scale& x) {
  const auto width = [&x](std::uint32_t first, std::uint32_t last, double least) {
    return std::max(least, x(double(last) + 1) - x(first));
  };
  bar(out, "fm-bg", kLeft, kWidth - kRight - kLeft);
  out.put(
      "><title>the span from the lowest to the highest address written; grey: not "
      "written</title></rect>\n");
  for (const AddressRange& range : update.ranges) {
    bar(out, "fm-w", x(range.first), width(range.first, range.last, 1));
    out.put("><title>written ");
    rangeWords(out, range.first, range.last);
    out.put("</title></rect>\n");
  }
  for (const AddressRange& range : update.rewrittenRanges) {
    bar(out, "fm-rw", x(range.first), width(range.first, range.last, 2));
    hatchFill(out, timeline.number, "");
    out.put("><title>written more than once ");
    rangeWords(out, range.first, range.last);
    out.put("</title></rect>\n");
  }
}

// Gaps: a triangle under the bar, so that a gap of one byte shows too;
// refused writes: a cross above it.
void marks(Writer& out, const UpdateTimeline& timeline, const UpdateFacts& update, const Scale& x) {
  for (std::size_t i = 1; i < update.ranges.size(); ++i) {
    const std::uint32_t first = update.ranges[i - 1].last + 1;
    const std::uint32_t last = update.ranges[i].first - 1;
    out.put("<path class=\"fm-gap\"");
    triangle(out, (x(first) + x(double(last) + 1)) / 2, kBarBottom + 2, -9);
    out.put("><title>gap, not written ");
    rangeWords(out, first, last);
    out.put("</title></path>\n");
  }
  for (const WriteMark& mark : timeline.refused) {
    out.put("<path class=\"rf\"");
    cross(out, x(double(mark.write.address) + mark.write.count / 2.0), kBarTop - 10, 5);
    out.put("><title>refused write ");
    rangeWords(out, mark.write.address, mark.write.last());
    out.put(" (offset ");
    writeOffset(out, mark.offset);
    out.put(")</title></path>\n");
  }
}

// Addresses along the bar; labels at the ends stay inside the picture.
void addressAxis(Writer& out, const UpdateTimeline& timeline, const Scale& x) {
  forEachAddressTick(timeline.lowest, timeline.highest + std::uint64_t{1},
                     [&out, &x](std::uint64_t tick) {
                       const double at = x(static_cast<double>(tick));
                       verticalLine(out, "axis", at, kBarBottom + 12, kBarBottom + 18);
                       text(out, at, kBarBottom + 32,
                            at < kLeft + 30             ? "start"
                            : at > kWidth - kRight - 30 ? "end"
                                                        : "middle");
                       writeHexAddress(out, static_cast<std::uint32_t>(tick));
                       out.put("</text>\n");
                     });
}

}  // namespace

void writeFlashMapSvg(Writer& out, const UpdateTimeline& timeline, const UpdateFacts& update) {
  const Scale x{double(timeline.lowest), double(timeline.highest) + 1, kLeft, kWidth - kRight};
  out.put("<svg class=\"flash-map\"");
  viewBox(out, kMapHeight);
  out.put(" role=\"img\" aria-label=\"Flash written by update ");
  out.decimal(static_cast<std::int64_t>(timeline.number));
  out.put("\">\n");
  hatchPattern(out, timeline.number, "");
  out.put('\n');
  text(out, kLeft - 6, (kBarTop + kBarBottom) / 2 + 4, "end");
  out.put("flash</text>\n");
  bars(out, timeline, update, x);
  marks(out, timeline, update, x);
  addressAxis(out, timeline, x);
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
