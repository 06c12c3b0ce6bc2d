// The alignment of the steps of two traces, part by part (the records
// before the first update, then the updates by their order), by Myers'
// O(ND) difference algorithm in linear space: the common first and last
// steps of each stretch are taken off, then the middle snake of the rest
// splits it in two, each aligned in turn. Runs of alike steps stay
// together, and the work and the memory are bounded by the cap on the
// differing steps: past it the alignment stops at the first divergence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "compare/trace_steps.h"

namespace ovantrex {

enum class EditOp : std::uint8_t { Same, Delete, Insert };

// A run of steps: alike in both traces (Same), in the first trace only
// (Delete) or in the second only (Insert). Indexes are those of the steps
// in each trace; a run in one trace gives the other's index where it stands.
struct Edit {
  EditOp op = EditOp::Same;
  std::size_t part = 0;
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  std::uint64_t length = 0;
};

// Where the traces first part: the part, the step of each trace there
// (none where its part ends, or is missing), and the alike step before.
struct Divergence {
  std::size_t part = 0;
  std::uint64_t stepInPart = 0;  // from 0, in the first trace's part
  std::optional<std::uint64_t> a;
  std::optional<std::uint64_t> b;
  std::optional<std::uint64_t> before;  // the alike step before it, in the first trace
  // Where it stands in each trace: the index of the step there, or of the
  // step after the end of the part.
  std::uint64_t atA = 0;
  std::uint64_t atB = 0;
  bool otherBytes = false;  // an alike flash write that carries other bytes
  bool aHasPart = true;
  bool bHasPart = true;
};

struct Alignment {
  // The runs in order, part after part; with complete false, up to the
  // first divergence only.
  std::vector<Edit> edits;
  bool complete = true;
  std::uint64_t differing = 0;  // steps in one trace only (when complete)
  // Aligned flash writes, and those of them whose bytes differ.
  std::uint64_t flashWrites = 0;
  std::uint64_t otherBytes = 0;
  std::optional<Divergence> first;

  bool alike() const { return complete && differing == 0 && otherBytes == 0 && !first; }
};

// The most differing steps that are aligned ("a few thousand").
inline constexpr std::uint64_t kMaxDifferingSteps = 4096;

Alignment alignSteps(const TraceSteps& a, const TraceSteps& b,
                     std::uint64_t maxDiffering = kMaxDifferingSteps);

}  // namespace ovantrex
