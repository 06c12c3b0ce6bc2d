#include "output/compare/compare_words.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

void quoted(Writer& out, const TraceSteps& steps, std::uint64_t i) {
  out.put('"');
  writeStepWords(out, steps, steps.step(i));
  out.put('"');
}

// Where one trace has steps that the other has not: the other stops there
// (it has no step after), or it has not this step.
void writeOneSided(Writer& out, const ComparedTrace& has, std::uint64_t step,
                   const ComparedTrace& hasNot, std::uint64_t at) {
  if (at == hasNot.steps->size()) {
    writeOnOneLine(out, hasNot.name);
    out.put(" stops where ");
    writeOnOneLine(out, has.name);
    out.put(" has ");
    quoted(out, *has.steps, step);
    return;
  }
  writeOnOneLine(out, has.name);
  out.put(" has ");
  quoted(out, *has.steps, step);
  out.put(", which ");
  writeOnOneLine(out, hasNot.name);
  out.put(" has not");
}

void writeAlike(Writer& out, const Comparison& c) {
  const TraceSteps& a = *c.good.steps;
  const TraceSteps& b = *c.trace.steps;
  if (a.leftOut() == 0 && b.leftOut() == 0) {
    out.put("the traces' steps are alike");
    return;
  }
  out.put("the traces' first ");
  writeGrouped(out, a.size() < b.size() ? a.size() : b.size());
  out.put(" steps are alike; past them ");
  writeGrouped(out, a.leftOut());
  out.put(" of ");
  writeOnOneLine(out, c.good.name);
  out.put("'s and ");
  writeGrouped(out, b.leftOut());
  out.put(" of ");
  writeOnOneLine(out, c.trace.name);
  out.put("'s were left out");
}

}  // namespace

void writeComparisonVerdict(Writer& out, const Comparison& c) {
  const std::optional<Divergence>& first = c.alignment.first;
  if (!first) {
    writeAlike(out, c);
    return;
  }
  const TraceSteps& a = *c.good.steps;
  const TraceSteps& b = *c.trace.steps;
  out.put(first->part == 0 ? "the traces part " : "the traces part at ");
  writePartName(out, first->part);
  if (first->aHasPart && first->bHasPart) {
    out.put(", step ");
    writeGrouped(out, first->stepInPart + 1);
  }
  out.put(": ");
  if (!first->aHasPart || !first->bHasPart) {
    writeOnOneLine(out, first->aHasPart ? c.trace.name : c.good.name);
    out.put(" has no ");
    if (first->part == 0) {
      out.put("steps ");
    }
    writePartName(out, first->part);
    return;
  }
  if (first->otherBytes) {
    quoted(out, a, *first->a);
    out.put(" carries other bytes in ");
    writeOnOneLine(out, c.trace.name);
    return;
  }
  if (first->a && first->b && a.step(*first->a).isReply() && b.step(*first->b).isReply() &&
      first->before && a.step(*first->before).kind() == StepKind::Command) {
    writeOnOneLine(out, c.good.name);
    out.put("'s device answered ");
    quoted(out, a, *first->a);
    out.put(" to ");
    quoted(out, a, *first->before);
    out.put("; ");
    writeOnOneLine(out, c.trace.name);
    out.put("'s answered ");
    quoted(out, b, *first->b);
    return;
  }
  if (first->a && first->b) {
    writeOnOneLine(out, c.good.name);
    out.put(" has ");
    quoted(out, a, *first->a);
    out.put(" where ");
    writeOnOneLine(out, c.trace.name);
    out.put(" has ");
    quoted(out, b, *first->b);
  } else if (first->a) {
    writeOneSided(out, c.good, *first->a, c.trace, first->atB);
  } else if (first->b) {
    writeOneSided(out, c.trace, *first->b, c.good, first->atA);
  }
}

void writeImagesDiffer(Writer& out, const Alignment& alignment) {
  out.put("the firmware images differ: ");
  writeGrouped(out, alignment.otherBytes);
  out.put(" of ");
  writeGrouped(out, alignment.flashWrites);
  out.put(alignment.flashWrites == 1 ? " flash write" : " flash writes");
  out.put(alignment.otherBytes == 1 ? " carries other bytes" : " carry other bytes");
}

}  // namespace ovantrex
