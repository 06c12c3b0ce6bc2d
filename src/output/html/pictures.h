// The pictures of an update on the report's page, as inline SVG, which the
// page's style sheet colours.
#pragma once

#include <cstddef>

#include "analysis/session_facts.h"
#include "analysis/update_timeline.h"
#include "output/common/writer.h"

namespace ovantrex {

// The UTC time of a timeline point, as the summary writes times.
void writeTimelineTime(Writer& out, const TimelinePoint& at);

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

}  // namespace ovantrex
