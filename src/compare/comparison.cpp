#include "compare/comparison.h"

#include <algorithm>
#include <cmath>
#include <ranges>

namespace ovantrex {

namespace {

bool sameRanges(std::span<const AddressRange> a, std::span<const AddressRange> b) {
  return std::ranges::equal(a, b, [](const AddressRange& x, const AddressRange& y) {
    return x.first == y.first && x.last == y.last;
  });
}

bool sameSerials(const UpdateFacts& a, const UpdateFacts& b) {
  return std::ranges::equal(a.serialNumbers, b.serialNumbers) &&
         a.serialNumbersLeftOut == b.serialNumbersLeftOut;
}

bool sameEcLevels(const StepPart* a, const StepPart* b) {
  const bool aHas = a != nullptr && a->hasEcLevels;
  const bool bHas = b != nullptr && b->hasEcLevels;
  return aHas == bHas && (!aHas || a->ecLevels == b->ecLevels);
}

std::array<bool, kUpdateRows> rowsThatDiffer(const Comparison& c, std::size_t n) {
  std::array<bool, kUpdateRows> rows{};
  const UpdateFacts* a = c.good.update(n);
  const UpdateFacts* b = c.trace.update(n);
  if (a == nullptr || b == nullptr) {
    rows.fill(true);
    return rows;
  }
  auto set = [&rows](UpdateRow row, bool differs) {
    rows[static_cast<std::size_t>(row)] = differs;
  };
  set(UpdateRow::Outcome, a->outcome != b->outcome);
  set(UpdateRow::FlashWrites, a->writes != b->writes || a->bytes != b->bytes);
  set(UpdateRow::Ranges, !sameRanges(a->ranges, b->ranges) || a->rangesLeftOut != b->rangesLeftOut);
  set(UpdateRow::Checksums, !std::ranges::equal(a->checksums, b->checksums) ||
                                a->checksumsLeftOut != b->checksumsLeftOut);
  set(UpdateRow::SerialNumbers, !sameSerials(*a, *b));
  set(UpdateRow::Reset, a->reset != b->reset);
  set(UpdateRow::EcLevels, !sameEcLevels(c.good.part(n), c.trace.part(n)));
  set(UpdateRow::ErrorReplies, a->errors != b->errors);
  set(UpdateRow::Duration, c.good.durationMs(n) != c.trace.durationMs(n));
  set(UpdateRow::Responses, (a->responses.count == 0) != (b->responses.count == 0) ||
                                a->responses.median != b->responses.median ||
                                a->responses.slowest != b->responses.slowest);
  return rows;
}

}  // namespace

std::optional<std::int64_t> ComparedTrace::durationMs(std::size_t n) const {
  const StepPart* p = part(n);
  if (p == nullptr || !p->stamped) return std::nullopt;
  const double ms = p->lastStamp - p->firstStamp;
  if (!(std::fabs(ms) < 1e15)) return std::nullopt;
  return static_cast<std::int64_t>(std::llround(ms));
}

Comparison compareTraces(ComparedTrace good, ComparedTrace trace) {
  Comparison c{.good = good,
               .trace = trace,
               .alignment = alignSteps(*good.steps, *trace.steps),
               .updates = 0,
               .differs = {}};
  c.updates = std::max(good.facts->updates.size(), trace.facts->updates.size());
  c.differs.resize(c.updates + 1);
  for (std::size_t n = 1; n <= c.updates; ++n) c.differs[n] = rowsThatDiffer(c, n);
  return c;
}

}  // namespace ovantrex
