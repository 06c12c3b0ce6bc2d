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

  // A stretch to align, or alike steps to emit once the stretches before
  // them are aligned (length >= 0).
  struct Work {
    Index a0, a1, b0, b1;
    Index alike = -1;
  };

  // Aligns the stretch: its common first and last steps, and the rest split
  // at its middle snake, stretch after stretch (a stack of work in place of
  // recursion; its depth is that of the splits).
  void diff(Index a0, Index a1, Index b0, Index b1) {
    std::vector<Work> work{{a0, a1, b0, b1}};
    while (!work.empty()) {
      Work w = work.back();
      work.pop_back();
      if (w.alike >= 0) {
        emit(EditOp::Same, w.a0, w.b0, w.alike);
        continue;
      }
      const Index start = w.a0;
      while (w.a0 < w.a1 && w.b0 < w.b1 && same(w.a0, w.b0)) ++w.a0, ++w.b0;
      emit(EditOp::Same, start, w.b0 - (w.a0 - start), w.a0 - start);
      Index tail = 0;
      while (w.a0 < w.a1 - tail && w.b0 < w.b1 - tail && same(w.a1 - tail - 1, w.b1 - tail - 1))
        ++tail;
      w.a1 -= tail;
      w.b1 -= tail;
      work.push_back({w.a1, w.a1, w.b1, w.b1, tail});
      if (w.a0 == w.a1) {
        emit(EditOp::Insert, w.a0, w.b0, w.b1 - w.b0);
      } else if (w.b0 == w.b1) {
        emit(EditOp::Delete, w.a0, w.b0, w.a1 - w.a0);
      } else {
        const auto [x, y] = bisect(w.a0, w.a1, w.b0, w.b1);
        work.push_back({x, w.a1, y, w.b1});
        work.push_back({w.a0, x, w.b0, y});
      }
    }
  }

  // The search for the middle snake of a stretch: from its start (forward)
  // and from its end (backward) at once, d differences at a time.
  struct Search {
    Index a0, a1, b0, b1;
    Index n, m, delta, offset, length;
    bool front;
    Index k1start = 0, k1end = 0, k2start = 0, k2end = 0;
  };
  Index& v1(Index k) { return forward_[static_cast<std::size_t>(k)]; }
  Index& v2(Index k) { return backward_[static_cast<std::size_t>(k)]; }

  // The forward paths of d differences; the split where one meets a
  // backward path.
  std::optional<std::pair<Index, Index>> forward(Search& s, Index d) {
    for (Index k1 = -d + s.k1start; k1 <= d - s.k1end; k1 += 2) {
      const Index k1o = s.offset + k1;
      Index x1 =
          (k1 == -d || (k1 != d && v1(k1o - 1) < v1(k1o + 1))) ? v1(k1o + 1) : v1(k1o - 1) + 1;
      Index y1 = x1 - k1;
      while (x1 < s.n && y1 < s.m && same(s.a0 + x1, s.b0 + y1)) ++x1, ++y1;
      v1(k1o) = x1;
      if (x1 > s.n) {
        s.k1end += 2;
      } else if (y1 > s.m) {
        s.k1start += 2;
      } else if (s.front) {
        const Index k2o = s.offset + s.delta - k1;
        if (k2o >= 0 && k2o < s.length && v2(k2o) != -1 && x1 >= s.n - v2(k2o))
          return std::pair{s.a0 + x1, s.b0 + y1};
      }
    }
    return std::nullopt;
  }

  // The backward paths of d differences; the split where one meets a
  // forward path.
  std::optional<std::pair<Index, Index>> backward(Search& s, Index d) {
    for (Index k2 = -d + s.k2start; k2 <= d - s.k2end; k2 += 2) {
      const Index k2o = s.offset + k2;
      Index x2 =
          (k2 == -d || (k2 != d && v2(k2o - 1) < v2(k2o + 1))) ? v2(k2o + 1) : v2(k2o - 1) + 1;
      Index y2 = x2 - k2;
      while (x2 < s.n && y2 < s.m && same(s.a1 - x2 - 1, s.b1 - y2 - 1)) ++x2, ++y2;
      v2(k2o) = x2;
      if (x2 > s.n) {
        s.k2end += 2;
      } else if (y2 > s.m) {
        s.k2start += 2;
      } else if (!s.front) {
        const Index k1o = s.offset + s.delta - k2;
        if (k1o >= 0 && k1o < s.length && v1(k1o) != -1 && v1(k1o) >= s.n - x2)
          return std::pair{s.a0 + v1(k1o), s.b0 + s.offset + v1(k1o) - k1o};
      }
    }
    return std::nullopt;
  }

  // The middle snake: where the shortest edit script of the stretch (from
  // both ends at once) crosses itself. Throws past the cap.
  std::pair<Index, Index> bisect(Index a0, Index a1, Index b0, Index b1) {
    const Index n = a1 - a0;
    const Index m = b1 - b0;
    const Index natural = (n + m + 1) / 2;
    const Index maxD = std::min(natural, maxD_);
    Search s{a0, a1, b0, b1, n, m, n - m, maxD, 2 * maxD + 2, ((n - m) % 2) != 0};
    std::fill_n(forward_.begin(), s.length, -1);
    std::fill_n(backward_.begin(), s.length, -1);
    v1(s.offset + 1) = 0;
    v2(s.offset + 1) = 0;
    for (Index d = 0; d < maxD; ++d) {
      if (const auto split = forward(s, d)) return *split;
      if (const auto split = backward(s, d)) return *split;
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
