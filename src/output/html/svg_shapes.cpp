#include "output/html/svg_shapes.h"

#include <charconv>
#include <cmath>

#include "output/summary/summary_words.h"

namespace ovantrex {

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

void writeOffset(Writer& out, std::uint64_t offset) { writeGrouped(out, offset); }

namespace svg {

void coordinate(Writer& out, double value) { writeFixed(out, value, 1); }

void viewBox(Writer& out, double height) {
  out.put(" viewBox=\"0 0 ");
  coordinate(out, kWidth);
  out.put(' ');
  coordinate(out, height);
  out.put('"');
}

// name="value" with a coordinate value, after a blank.
void openElement(Writer& out, std::string_view element, std::string_view cssClass) {
  out.put('<');
  out.put(element);
  out.put(" class=\"");
  out.put(cssClass);
  out.put('"');
}

void attribute(Writer& out, std::string_view name, double value) {
  out.put(' ');
  out.put(name);
  out.put("=\"");
  coordinate(out, value);
  out.put('"');
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
  openElement(out, "line", cssClass);
  attribute(out, "x1", x);
  attribute(out, "x2", x);
  attribute(out, "y1", top);
  attribute(out, "y2", bottom);
  out.put("/>");
}

void gridLineAcross(Writer& out, double y) {
  openElement(out, "line", "grid-line");
  attribute(out, "x1", kLeft);
  attribute(out, "x2", kWidth - kRight);
  attribute(out, "y1", y);
  attribute(out, "y2", y);
  out.put("/>");
  text(out, kLeft - 6, y + 4, "end");
}

void text(Writer& out, double x, double y, std::string_view anchor) {
  out.put("<text");
  attribute(out, "x", x);
  attribute(out, "y", y);
  out.put(" text-anchor=\"");
  out.put(anchor);
  out.put("\">");
}

}  // namespace svg
}  // namespace ovantrex
