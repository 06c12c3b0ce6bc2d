// The pictures of an update on the report's page, as inline SVG, which the
// page's style sheet colours.
#pragma once

#include <cstddef>
#include <string_view>

#include "analysis/session_facts.h"
#include "analysis/update_timeline.h"
#include "output/common/writer.h"
#include "output/html/svg_shapes.h"

namespace ovantrex {

// The UTC time of a timeline point, as the summary writes times.
void writeTimelineTime(Writer& out, const TimelinePoint& at);

// Where a point of an update stands across its pictures: seconds since the
// update's start, or its record number where the update has records
// without times; and the scale across, from the span of every point drawn,
// a little wider.
double across(const UpdateTimeline& timeline, const TimelinePoint& at);
svg::Scale acrossScale(const UpdateTimeline& timeline);
// The time grid and its labels, under a plot from top to bottom.
void timeAxis(Writer& out, const UpdateTimeline& timeline, const svg::Scale& x, double top,
              double bottom);
// A plot of a picture: from top to bottom, in a picture height high, its
// values named up the left side, and a strip above it whose row at stripY
// is named at the left.
struct PlotFrame {
  double top;
  double bottom;
  double height;
  double stripY;
  std::string_view upName;     // "flash address"
  std::string_view stripName;  // "error replies"
};
// The axes' lines of a plot and their names: the time axis at the foot,
// the values up the side, and the strip.
void axisNames(Writer& out, const UpdateTimeline& timeline, const PlotFrame& frame);

// Calls each(point) for every point that the update's timeline draws.
template <typename Each>
void forEachPoint(const UpdateTimeline& timeline, Each each) {
  each(timeline.start);
  each(timeline.end);
  for (const WriteMark& mark : timeline.marks) each(mark.at);
  for (const WriteMark& mark : timeline.refused) each(mark.at);
  for (const auto* events : {&timeline.errors, &timeline.checksums, &timeline.resets})
    for (const EventMark& event : *events) each(event.at);
}

// The timeline of an update: time (or record number) across, flash address
// up, one mark per flash write kept; error replies, refused writes,
// checksum writes and resets marked. Every mark carries its record's notes
// as its title. scratch: a memory writer for the notes before they are
// escaped.
void writeTimelineSvg(Writer& out, Writer& scratch, const UpdateTimeline& timeline);
// The legend of the timeline's marks.
void writeTimelineLegend(Writer& out);

// The flash written by an update: the span from its lowest to its highest
// address, the written ranges as bars over it, rewritten bytes hatched,
// gaps and refused writes marked. update: the update's ranges.
void writeFlashMapSvg(Writer& out, const UpdateTimeline& timeline, const UpdateFacts& update);
void writeFlashMapLegend(Writer& out, std::size_t number);

// The response times of an update: time (or record number) across, as on
// its timeline, the response time up on a log scale; refused commands
// crossed, unanswered ones marked in a strip above. Each mark carries its
// exchange as its title. False, and nothing written, when the update has
// no exchange to draw.
bool writeResponseSvg(Writer& out, const UpdateTimeline& timeline);
void writeResponseLegend(Writer& out);

}  // namespace ovantrex
