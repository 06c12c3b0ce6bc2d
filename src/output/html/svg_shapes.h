// The shapes of the report's pictures, as inline SVG. Coordinates are in
// the units of a 960-wide view box; the page scales the pictures to its
// width. Coordinates are written with one decimal.
#pragma once

#include <cstdint>
#include <string_view>

#include "output/common/figures.h"
#include "output/common/writer.h"

namespace ovantrex {

// value with the given number of decimals (no "-0").
void writeFixed(Writer& out, double value, int decimals);
// An offset in the trace as the whole page writes it, grouped as its other
// numbers are: "28,662" in the verdict, the tables, the headings and the
// pictures' titles alike.
void writeOffset(Writer& out, std::uint64_t offset);

namespace svg {

// The view box, and the margins that leave room for the axes' labels.
inline constexpr double kWidth = 960;
inline constexpr double kLeft = 84;
inline constexpr double kRight = 18;

// Maps [lo, hi] onto [from, to].
struct Scale {
  double lo;
  double hi;
  double from;
  double to;
  double operator()(double value) const { return from + (value - lo) / (hi - lo) * (to - from); }
};

void coordinate(Writer& out, double value);
// " viewBox=\"0 0 960 height\"".
void viewBox(Writer& out, double height);
// name="value" with a coordinate value, after a blank.
void attribute(Writer& out, std::string_view name, double value);
// The opening of an element of a class: <rect class="write", its
// attributes to follow.
void openElement(Writer& out, std::string_view element, std::string_view cssClass);
// A point of a path: "x y".
void point(Writer& out, double x, double y);
// The path data of a cross centred on (x, y).
void cross(Writer& out, double x, double y, double size);
// The path data of a triangle with its tip at (x, y), pointing down
// (height above) or up.
void triangle(Writer& out, double x, double y, double height);
void verticalLine(Writer& out, std::string_view cssClass, double x, double top, double bottom);
// A grid line across the plot at height y, and the opening tag of its label
// left of the plot; the caller writes the label and "</text>".
void gridLineAcross(Writer& out, double y);
// The opening tag of a text at (x, y); the caller writes the words and
// "</text>".
void text(Writer& out, double x, double y, std::string_view anchor);

// A step of 1, 2 or 5 times a power of ten that cuts range into about
// count parts; at least minimum.
double niceStep(double range, double count, double minimum);
// Decimals that show a multiple of step exactly.
int decimalsOf(double step);
// A power-of-two step that cuts span addresses into about five parts.
std::uint64_t addressStep(std::uint64_t span);

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

}  // namespace svg
}  // namespace ovantrex
