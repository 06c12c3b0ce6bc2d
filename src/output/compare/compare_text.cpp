#include "output/compare/compare_text.h"

#include <algorithm>
#include <string>

#include "output/common/colours.h"
#include "output/compare/compare_words.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

constexpr std::size_t kLabelWidth = 16;
constexpr std::size_t kMostCellWidth = 48;
constexpr std::size_t kKindWidth = 8;

void writeDuration(Writer& out, std::optional<std::int64_t> ms) {
  if (!ms) {
    out.put("unknown");
    return;
  }
  const std::int64_t whole = *ms / 1000;
  const std::int64_t part = (*ms < 0 ? -*ms : *ms) % 1000;
  if (*ms < 0 && whole == 0) out.put('-');
  out.decimal(whole);
  out.put('.');
  if (part < 100) out.put('0');
  if (part < 10) out.put('0');
  out.decimal(part);
  out.put(" s");
}

// "a, b and 3 more", "none".
template <typename Item>
void writeList(Writer& out, std::span<const Item> items, std::uint64_t leftOut,
               void (*write)(Writer&, Item)) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out.put(", ");
    write(out, items[i]);
  }
  writeListEnd(out, items.empty(), leftOut, kCompareWords);
}

void writeCell(Writer& out, const ComparedTrace& side, std::size_t n, UpdateRow row) {
  const UpdateFacts* u = side.update(n);
  if (u == nullptr) {
    out.put('-');
    return;
  }
  switch (row) {
    case UpdateRow::Outcome: out.put(coded(u->outcome).words); break;
    case UpdateRow::FlashWrites:
      writeCountAndPart(out, u->writes, u->bytes, "bytes", kCompareWords);
      break;
    case UpdateRow::Ranges: writeRanges(out, u->ranges, u->rangesLeftOut); break;
    case UpdateRow::Checksums:
      writeList(out, u->checksums, u->checksumsLeftOut, writeChecksum);
      break;
    case UpdateRow::SerialNumbers:
      writeList(out, u->serialNumbers, u->serialNumbersLeftOut, writeOnOneLine);
      break;
    case UpdateRow::Reset: out.put(u->reset ? "yes" : "no"); break;
    case UpdateRow::EcLevels: writeEcLevels(out, side.part(n)); break;
    case UpdateRow::ErrorReplies: writeGrouped(out, u->errors); break;
    case UpdateRow::Duration: writeDuration(out, side.durationMs(n)); break;
    case UpdateRow::Responses: writeUpdateResponses(out, u->responses); break;
  }
}

// The width of the first trace's column: its widest cell, up to kMostCellWidth.
std::size_t goodColumnWidth(const Comparison& c) {
  Writer cell;
  writeOnOneLine(cell, c.good.name);
  std::size_t width = cell.text().size();
  for (std::size_t n = 1; n <= c.updates; ++n) {
    for (std::size_t row = 0; row < kUpdateRows; ++row) {
      cell.clear();
      writeCell(cell, c.good, n, static_cast<UpdateRow>(row));
      width = std::max(width, cell.text().size());
    }
  }
  return std::min(width, kMostCellWidth);
}

void writeTable(Writer& out, const Comparison& c) {
  if (c.updates == 0) {
    out.put("neither trace holds an update\n");
    return;
  }
  const std::size_t width = goodColumnWidth(c);
  Writer cell;
  out.blanks(2 + kLabelWidth);
  writeOnOneLine(cell, c.good.name);
  out.put(cell.text());
  out.blanks(width + 2 - std::min(width, cell.text().size()));
  writeOnOneLine(out, c.trace.name);
  out.put('\n');
  for (std::size_t n = 1; n <= c.updates; ++n) {
    out.put("  update ");
    out.decimal(static_cast<std::int64_t>(n));
    out.put('\n');
    for (std::size_t row = 0; row < kUpdateRows; ++row) {
      const auto r = static_cast<UpdateRow>(row);
      out.put(c.rowDiffers(n, r) ? "! " : "  ");
      const std::string_view label = kUpdateRowFields[row].label;
      out.put(label);
      out.blanks(kLabelWidth - label.size());
      cell.clear();
      writeCell(cell, c.good, n, r);
      out.put(cell.text());
      out.blanks(width + 2 - std::min(width, cell.text().size()));
      writeCell(out, c.trace, n, r);
      out.put('\n');
    }
  }
  const std::uint64_t leftOut =
      std::max(c.good.facts->updatesLeftOut, c.trace.facts->updatesLeftOut);
  if (leftOut != 0) {
    out.put("  and ");
    writeGrouped(out, leftOut);
    out.put(" more updates, not listed\n");
  }
}

void writeStepCounts(Writer& out, const Comparison& c) {
  out.put("steps: ");
  writeGrouped(out, c.good.steps->size());
  out.put(" of ");
  writeOnOneLine(out, c.good.name);
  out.put(", ");
  writeGrouped(out, c.trace.steps->size());
  out.put(" of ");
  writeOnOneLine(out, c.trace.name);
  if (c.alignment.complete) {
    out.put("; ");
    writeGrouped(out, c.alignment.differing);
    out.put(" in one trace only");
  }
  out.put('\n');
  for (const ComparedTrace* side : {&c.good, &c.trace}) {
    const TraceSteps& steps = *side->steps;
    if (steps.leftOut() == 0 && steps.textsNotKept() == 0) continue;
    writeOnOneLine(out, side->name);
    out.put(": ");
    writeGrouped(out, steps.leftOut());
    out.put(" steps past the first ");
    writeGrouped(out, TraceSteps::kMaxSteps);
    out.put(" or the listed updates left out; the words of ");
    writeGrouped(out, steps.textsNotKept());
    out.put(" text messages not kept\n");
  }
}

// ---- The differing steps ----

struct StepLines {
  Writer& out;
  const Comparison& c;
  std::size_t offsetWidth;

  void offset(std::optional<std::uint64_t> index, const TraceSteps& steps) {
    if (!index) {
      out.blanks(offsetWidth);
      return;
    }
    const std::string digits = std::to_string(steps.offset(*index));
    out.blanks(offsetWidth - std::min(offsetWidth, digits.size()));
    out.put(digits);
  }
  void response(const Step& step) {
    const std::optional<double> ms = step.responseMs();
    if (ms) {
      writeMilliseconds(out, *ms);
    } else {
      out.put("none");
    }
  }
  // One step: in both traces (a and b), or in one of them.
  void line(char op, std::optional<std::uint64_t> a, std::optional<std::uint64_t> b) {
    const Hue hue = op == '-' ? Hue::ReferenceOnly : (op == '+' ? Hue::TraceOnly : Hue::None);
    painted(out, hue, [&] { words(op, a, b); });
    out.put('\n');
  }
  void words(char op, std::optional<std::uint64_t> a, std::optional<std::uint64_t> b) {
    out.put(op);
    out.put(' ');
    offset(a, *c.good.steps);
    out.put(' ');
    offset(b, *c.trace.steps);
    out.put("  ");
    const TraceSteps& steps = a ? *c.good.steps : *c.trace.steps;
    const Step& step = steps.step(a ? *a : *b);
    const std::string_view kind = stepKindWord(step.kind());
    out.put(kind);
    out.blanks(kKindWidth - kind.size());
    writeStepWords(out, steps, step);
    if (step.isReply()) {
      out.put(" (");
      if (a) response(step);
      if (a && b) out.put(", ");
      if (b) response(c.trace.steps->step(*b));
      out.put(')');
    }
  }
  void run(const Edit& edit, std::uint64_t from, std::uint64_t count) {
    for (std::uint64_t k = from; k < from + count; ++k) {
      switch (edit.op) {
        case EditOp::Same: line(' ', edit.a + k, edit.b + k); break;
        case EditOp::Delete: line('-', edit.a + k, std::nullopt); break;
        case EditOp::Insert: line('+', std::nullopt, edit.b + k); break;
      }
    }
  }
  void elided(std::uint64_t count) {
    out.put("\xe2\x80\xa6 ");
    writeGrouped(out, count);
    out.put(count == 1 ? " step alike \xe2\x80\xa6\n" : " steps alike \xe2\x80\xa6\n");
  }
};

// A piece of a part's differing steps: a hunk's heading, steps of a run, or
// an elided stretch of alike steps.
struct Piece {
  enum class Kind : std::uint8_t { Hunk, Steps, Elided } kind;
  std::size_t edit = 0;
  std::uint64_t from = 0;
  std::uint64_t count = 0;
  // A hunk: where it starts in each part (from 0) and its steps in each.
  std::uint64_t aStart = 0, aCount = 0, bStart = 0, bCount = 0;
};

class PartPieces {
 public:
  PartPieces(const Comparison& c, std::size_t part, std::uint64_t context)
      : c_(c),
        context_(context),
        aFirst_(firstOf(*c.good.steps, part)),
        bFirst_(firstOf(*c.trace.steps, part)) {}

  // The pieces of the part's runs [i0, i1), one of which differs.
  const std::vector<Piece>& of(std::size_t i0, std::size_t i1) {
    for (std::size_t i = i0; i < i1; ++i) {
      const Edit& e = c_.alignment.edits[i];
      if (e.op != EditOp::Same) {
        if (open_ == kClosed) openHunk(e.a, e.b);
        steps(e, i, 0, e.length);
        continue;
      }
      const bool first = i == i0;
      const bool last = i + 1 == i1;
      if (!first && !last && e.length <= 2 * context_) {
        steps(e, i, 0, e.length);
        continue;
      }
      const std::uint64_t lead = first ? 0 : std::min(context_, e.length);
      if (lead != 0) steps(e, i, 0, lead);
      open_ = kClosed;
      const std::uint64_t trail = last ? 0 : std::min(context_, e.length - lead);
      if (e.length - lead - trail != 0)
        pieces_.push_back(Piece{.kind = Piece::Kind::Elided, .count = e.length - lead - trail});
      if (trail == 0) continue;
      openHunk(e.a + e.length - trail, e.b + e.length - trail);
      steps(e, i, e.length - trail, trail);
    }
    return pieces_;
  }

 private:
  static std::uint64_t firstOf(const TraceSteps& steps, std::size_t part) {
    return part < steps.parts() ? steps.part(part).first : steps.size();
  }
  void openHunk(std::uint64_t a, std::uint64_t b) {
    pieces_.push_back(
        Piece{.kind = Piece::Kind::Hunk, .aStart = a - aFirst_, .bStart = b - bFirst_});
    open_ = pieces_.size() - 1;
  }
  void steps(const Edit& e, std::size_t i, std::uint64_t from, std::uint64_t count) {
    pieces_.push_back(Piece{.kind = Piece::Kind::Steps, .edit = i, .from = from, .count = count});
    Piece& hunk = pieces_[open_];
    if (e.op != EditOp::Insert) hunk.aCount += count;
    if (e.op != EditOp::Delete) hunk.bCount += count;
  }

  const Comparison& c_;
  std::uint64_t context_;
  std::uint64_t aFirst_;
  std::uint64_t bFirst_;
  std::vector<Piece> pieces_;
  static constexpr std::size_t kClosed = static_cast<std::size_t>(-1);
  std::size_t open_ = kClosed;  // the open hunk's piece
};

void writeHunkWords(Writer& out, std::size_t part, const Piece& hunk) {
  out.put("@@ ");
  writePartName(out, part);
  out.put(": -");
  out.decimal(static_cast<std::int64_t>(hunk.aStart + 1));
  out.put(',');
  out.decimal(static_cast<std::int64_t>(hunk.aCount));
  out.put(" +");
  out.decimal(static_cast<std::int64_t>(hunk.bStart + 1));
  out.put(',');
  out.decimal(static_cast<std::int64_t>(hunk.bCount));
  out.put(" @@");
}

void writeHunkHeading(Writer& out, std::size_t part, const Piece& hunk) {
  painted(out, Hue::Hunk, [&] { writeHunkWords(out, part, hunk); });
  out.put('\n');
}

void writeDiffHeadings(Writer& out, const Comparison& c) {
  out.put("\n--- ");
  writeOnOneLine(out, c.good.name);
  out.put("\n+++ ");
  writeOnOneLine(out, c.trace.name);
  out.put('\n');
}

void writeDifferingSteps(Writer& out, const Comparison& c, StepLines& lines,
                         std::uint64_t context) {
  const std::vector<Edit>& edits = c.alignment.edits;
  writeDiffHeadings(out, c);
  for (std::size_t i0 = 0; i0 < edits.size();) {
    std::size_t i1 = i0;
    bool differs = false;
    while (i1 < edits.size() && edits[i1].part == edits[i0].part) {
      differs = differs || edits[i1].op != EditOp::Same;
      ++i1;
    }
    if (differs) {
      PartPieces part(c, edits[i0].part, context);
      for (const Piece& piece : part.of(i0, i1)) {
        switch (piece.kind) {
          case Piece::Kind::Hunk: writeHunkHeading(out, edits[i0].part, piece); break;
          case Piece::Kind::Steps: lines.run(edits[piece.edit], piece.from, piece.count); break;
          case Piece::Kind::Elided: lines.elided(piece.count); break;
        }
      }
    }
    i0 = i1;
  }
}

// Past the cap: the first divergence alone, with the alike steps before it.
void writeFirstDivergence(Writer& out, const Comparison& c, StepLines& lines,
                          std::uint64_t context) {
  out.put("more than ");
  writeGrouped(out, kMaxDifferingSteps);
  out.put(" steps differ: the steps are aligned up to the first divergence only\n");
  const Divergence& at = *c.alignment.first;
  writeDiffHeadings(out, c);
  const std::uint64_t before = std::min(context, at.stepInPart);
  Piece hunk{.kind = Piece::Kind::Hunk,
             .aStart = at.stepInPart - before,
             .aCount = before + (at.a ? 1 : 0),
             .bStart = at.stepInPart - before,
             .bCount = before + (at.b ? 1 : 0)};
  if (at.stepInPart > before) lines.elided(at.stepInPart - before);
  writeHunkHeading(out, at.part, hunk);
  for (std::uint64_t k = before; k > 0; --k) lines.line(' ', at.atA - k, at.atB - k);
  if (at.a) lines.line('-', at.a, std::nullopt);
  if (at.b) lines.line('+', std::nullopt, at.b);
}

std::size_t digitsOf(std::uint64_t value) { return std::to_string(value).size(); }

}  // namespace

void writeComparisonText(Writer& out, const Comparison& c, std::size_t context) {
  writeComparisonVerdict(out, c);
  out.put("\n\n");
  writeTable(out, c);
  out.put('\n');
  if (c.alignment.otherBytes != 0) {
    writeImagesDiffer(out, c.alignment);
    out.put('\n');
  }
  writeStepCounts(out, c);
  StepLines lines{out, c, digitsOf(std::max(c.good.facts->bytesRead, c.trace.facts->bytesRead))};
  if (!c.alignment.complete) {
    writeFirstDivergence(out, c, lines, context);
  } else if (c.alignment.differing != 0) {
    writeDifferingSteps(out, c, lines, context);
  }
}

}  // namespace ovantrex
