#include "compare/step_alignment.h"

#include <algorithm>
#include <utility>

namespace ovantrex {

namespace {

using Index = std::int64_t;

// A stretch that failed to align within the cap.
struct TooManyDiffering {};

class Aligner {
 public:
  Aligner(const TraceSteps& a, const TraceSteps& b, std::uint64_t maxDiffering, Alignment& out)
      : a_(a),
        b_(b),
        maxDiffering_(maxDiffering),
        maxD_(static_cast<Index>(maxDiffering / 2 + 1)),
        forward_(static_cast<std::size_t>(2 * maxD_ + 2)),
        backward_(static_cast<std::size_t>(2 * maxD_ + 2)),
        out_(out) {}

  void part(std::size_t part, Index a0, Index a1, Index b0, Index b1) {
    part_ = part;
    diff(a0, a1, b0, b1);
  }

 private:
  bool same(Index i, Index j) const {
    return a_.step(static_cast<std::uint64_t>(i)).key() ==
           b_.step(static_cast<std::uint64_t>(j)).key();
  }

  void emit(EditOp op, Index a, Index b, Index length) {
    if (length == 0) return;
    const auto n = static_cast<std::uint64_t>(length);
    if (op != EditOp::Same) {
      out_.differing += n;
      if (out_.differing > maxDiffering_) throw TooManyDiffering{};
    }
    if (!out_.edits.empty()) {
      Edit& last = out_.edits.back();
      if (last.op == op && last.part == part_ &&
          last.a + (op == EditOp::Insert ? 0 : last.length) == static_cast<std::uint64_t>(a) &&
          last.b + (op == EditOp::Delete ? 0 : last.length) == static_cast<std::uint64_t>(b)) {
        last.length += n;
        return;
      }
    }
    out_.edits.push_back(
        Edit{op, part_, static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b), n});
  }

  void diff(Index a0, Index a1, Index b0, Index b1) {
    const Index start = a0;
    while (a0 < a1 && b0 < b1 && same(a0, b0)) ++a0, ++b0;
    emit(EditOp::Same, start, b0 - (a0 - start), a0 - start);
    Index tail = 0;
    while (a0 < a1 - tail && b0 < b1 - tail && same(a1 - tail - 1, b1 - tail - 1)) ++tail;
    a1 -= tail;
    b1 -= tail;
    if (a0 == a1) {
      emit(EditOp::Insert, a0, b0, b1 - b0);
    } else if (b0 == b1) {
      emit(EditOp::Delete, a0, b0, a1 - a0);
    } else {
      const auto [x, y] = bisect(a0, a1, b0, b1);
      diff(a0, x, b0, y);
      diff(x, a1, y, b1);
    }
    emit(EditOp::Same, a1, b1, tail);
  }

  // The middle snake: where the shortest edit script of the stretch (from
  // both ends at once) crosses itself. Throws past the cap.
  std::pair<Index, Index> bisect(Index a0, Index a1, Index b0, Index b1) {
    const Index n = a1 - a0;
    const Index m = b1 - b0;
    const Index natural = (n + m + 1) / 2;
    const Index maxD = std::min(natural, maxD_);
    const Index offset = maxD;
    const Index length = 2 * maxD + 2;
    std::fill_n(forward_.begin(), length, -1);
    std::fill_n(backward_.begin(), length, -1);
    forward_[static_cast<std::size_t>(offset + 1)] = 0;
    backward_[static_cast<std::size_t>(offset + 1)] = 0;
    const Index delta = n - m;
    const bool front = (delta % 2) != 0;
    Index k1start = 0, k1end = 0, k2start = 0, k2end = 0;
    auto v1 = [&](Index k) -> Index& { return forward_[static_cast<std::size_t>(k)]; };
    auto v2 = [&](Index k) -> Index& { return backward_[static_cast<std::size_t>(k)]; };
    for (Index d = 0; d < maxD; ++d) {
      for (Index k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
        const Index k1o = offset + k1;
        Index x1 =
            (k1 == -d || (k1 != d && v1(k1o - 1) < v1(k1o + 1))) ? v1(k1o + 1) : v1(k1o - 1) + 1;
        Index y1 = x1 - k1;
        while (x1 < n && y1 < m && same(a0 + x1, b0 + y1)) ++x1, ++y1;
        v1(k1o) = x1;
        if (x1 > n) {
          k1end += 2;
        } else if (y1 > m) {
          k1start += 2;
        } else if (front) {
          const Index k2o = offset + delta - k1;
          if (k2o >= 0 && k2o < length && v2(k2o) != -1 && x1 >= n - v2(k2o))
            return {a0 + x1, b0 + y1};
        }
      }
      for (Index k2 = -d + k2start; k2 <= d - k2end; k2 += 2) {
        const Index k2o = offset + k2;
        Index x2 =
            (k2 == -d || (k2 != d && v2(k2o - 1) < v2(k2o + 1))) ? v2(k2o + 1) : v2(k2o - 1) + 1;
        Index y2 = x2 - k2;
        while (x2 < n && y2 < m && same(a1 - x2 - 1, b1 - y2 - 1)) ++x2, ++y2;
        v2(k2o) = x2;
        if (x2 > n) {
          k2end += 2;
        } else if (y2 > m) {
          k2start += 2;
        } else if (!front) {
          const Index k1o = offset + delta - k2;
          if (k1o >= 0 && k1o < length && v1(k1o) != -1) {
            const Index x1 = v1(k1o);
            const Index y1 = offset + x1 - k1o;
            if (x1 >= n - x2) return {a0 + x1, b0 + y1};
          }
        }
      }
    }
    // Without a middle snake within (n + m + 1) / 2 the stretches have no
    // step in common: all of the one, then all of the other.
    if (natural <= maxD_) return {a1, b0};
    throw TooManyDiffering{};
  }

  const TraceSteps& a_;
  const TraceSteps& b_;
  std::uint64_t maxDiffering_;
  Index maxD_;
  std::vector<Index> forward_;
  std::vector<Index> backward_;
  Alignment& out_;
  std::size_t part_ = 0;
};

// The steps of part p of a trace: [first, end); a missing part stands
// empty at the end of the steps.
std::pair<std::uint64_t, std::uint64_t> stretch(const TraceSteps& steps, std::size_t p) {
  if (p >= steps.parts()) return {steps.size(), steps.size()};
  const StepPart& part = steps.part(p);
  return {part.first, part.first + part.count};
}

// Where the first non-Same run parts the traces.
Divergence divergenceAt(const Alignment& alignment, std::size_t i, const TraceSteps& a,
                        const TraceSteps& b) {
  const Edit& edit = alignment.edits[i];
  Divergence at;
  at.part = edit.part;
  at.aHasPart = edit.part < a.parts();
  at.bHasPart = edit.part < b.parts();
  at.stepInPart = edit.a - stretch(a, edit.part).first;
  at.atA = edit.a;
  at.atB = edit.b;
  const Edit* next = i + 1 < alignment.edits.size() ? &alignment.edits[i + 1] : nullptr;
  const bool paired = next != nullptr && next->part == edit.part && next->op != EditOp::Same;
  if (edit.op == EditOp::Delete || (paired && next->op == EditOp::Delete)) {
    at.a = edit.op == EditOp::Delete ? edit.a : next->a;
  }
  if (edit.op == EditOp::Insert || (paired && next->op == EditOp::Insert)) {
    at.b = edit.op == EditOp::Insert ? edit.b : next->b;
  }
  if (i > 0 && alignment.edits[i - 1].op == EditOp::Same &&
      alignment.edits[i - 1].part == edit.part)
    at.before = edit.a - 1;
  return at;
}

// The first alike flash write with other bytes in a run, if any; counts them all.
void countFlashBytes(const Edit& run, const TraceSteps& a, const TraceSteps& b,
                     Alignment& alignment, std::optional<Divergence>& first) {
  for (std::uint64_t k = 0; k < run.length; ++k) {
    const Step& x = a.step(run.a + k);
    if (!x.isFlashWrite()) continue;
    ++alignment.flashWrites;
    if (x.extra == b.step(run.b + k).extra) continue;
    ++alignment.otherBytes;
    if (first) continue;
    first = Divergence{.part = run.part,
                       .stepInPart = run.a + k - stretch(a, run.part).first,
                       .a = run.a + k,
                       .b = run.b + k,
                       .before = std::nullopt,
                       .atA = run.a + k,
                       .atB = run.b + k,
                       .otherBytes = true};
    if (run.a + k > stretch(a, run.part).first) first->before = run.a + k - 1;
  }
}

// Past the cap: the first step where the parts' steps stop being alike.
Divergence firstMismatch(const TraceSteps& a, const TraceSteps& b, std::size_t parts) {
  for (std::size_t p = 0; p < parts; ++p) {
    auto [a0, a1] = stretch(a, p);
    auto [b0, b1] = stretch(b, p);
    std::uint64_t k = 0;
    while (a0 + k < a1 && b0 + k < b1 && a.step(a0 + k).key() == b.step(b0 + k).key()) ++k;
    if (a0 + k == a1 && b0 + k == b1) continue;
    Divergence at{.part = p,
                  .stepInPart = k,
                  .a = std::nullopt,
                  .b = std::nullopt,
                  .before = std::nullopt,
                  .atA = a0 + k,
                  .atB = b0 + k,
                  .aHasPart = p < a.parts(),
                  .bHasPart = p < b.parts()};
    if (a0 + k < a1) at.a = a0 + k;
    if (b0 + k < b1) at.b = b0 + k;
    if (k > 0) at.before = a0 + k - 1;
    return at;
  }
  return Divergence{};
}

// Each stretch of differing runs between two alike ones as one run of the
// first trace's steps, then one of the second's, as a diff shows them.
void deletionsFirst(std::vector<Edit>& edits) {
  std::vector<Edit> merged;
  merged.reserve(edits.size());
  for (std::size_t i = 0; i < edits.size();) {
    if (edits[i].op == EditOp::Same) {
      merged.push_back(edits[i++]);
      continue;
    }
    Edit deleted{EditOp::Delete, edits[i].part, edits[i].a, edits[i].b, 0};
    Edit inserted = deleted;
    inserted.op = EditOp::Insert;
    for (; i < edits.size() && edits[i].op != EditOp::Same && edits[i].part == deleted.part; ++i)
      (edits[i].op == EditOp::Delete ? deleted : inserted).length += edits[i].length;
    inserted.a += deleted.length;
    if (deleted.length != 0) merged.push_back(deleted);
    if (inserted.length != 0) merged.push_back(inserted);
  }
  edits = std::move(merged);
}

}  // namespace

Alignment alignSteps(const TraceSteps& a, const TraceSteps& b, std::uint64_t maxDiffering) {
  Alignment alignment;
  const std::size_t parts = std::max(a.parts(), b.parts());
  Aligner aligner(a, b, maxDiffering, alignment);
  try {
    for (std::size_t p = 0; p < parts; ++p) {
      const auto [a0, a1] = stretch(a, p);
      const auto [b0, b1] = stretch(b, p);
      aligner.part(p, static_cast<Index>(a0), static_cast<Index>(a1), static_cast<Index>(b0),
                   static_cast<Index>(b1));
    }
  } catch (const TooManyDiffering&) {
    alignment.edits.clear();
    alignment.complete = false;
    alignment.first = firstMismatch(a, b, parts);
    return alignment;
  }
  deletionsFirst(alignment.edits);
  std::optional<Divergence> bytes;
  std::optional<Divergence> steps;
  for (std::size_t i = 0; i < alignment.edits.size(); ++i) {
    const Edit& edit = alignment.edits[i];
    if (edit.op == EditOp::Same) {
      countFlashBytes(edit, a, b, alignment, bytes);
    } else if (!steps) {
      steps = divergenceAt(alignment, i, a, b);
    }
  }
  alignment.first = steps;
  if (bytes && (!steps || bytes->part < steps->part ||
                (bytes->part == steps->part && bytes->stepInPart < steps->stepInPart)))
    alignment.first = bytes;
  return alignment;
}

}  // namespace ovantrex
