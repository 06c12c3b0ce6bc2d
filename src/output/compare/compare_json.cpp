#include "output/compare/compare_json.h"

#include "output/common/json_values.h"
#include "output/compare/compare_words.h"
#include "output/json/json_decoded.h"

namespace ovantrex {

namespace {

std::int64_t n64(std::uint64_t value) { return static_cast<std::int64_t>(value); }

void writeSide(Writer& out, const ComparedTrace& side) {
  JsonObject object(out);
  writeJsonString(object.key("trace"), side.name);
  object.number("bytes_read", n64(side.facts->bytesRead));
  if (side.facts->readFailure) {
    JsonObject failure(object.key("read_failure"));
    failure.number("offset", n64(side.facts->readFailure->offset));
    failure.string("reason", side.facts->readFailure->reason);
  } else {
    object.key("read_failure").put("null");
  }
  object.number("steps", n64(side.steps->size()));
  object.number("steps_left_out", n64(side.steps->leftOut()));
  object.number("updates", n64(side.facts->updates.size() + side.facts->updatesLeftOut));
}

// A step: its kind, words, place in its part and offset; a reply's response time.
void writeStep(Writer& out, const ComparedTrace& side, std::uint64_t index, std::size_t part) {
  const Step& step = side.steps->step(index);
  JsonObject object(out);
  object.string("kind", stepKindKey(step.kind()));
  Writer& words = object.key("words");
  Writer scratch;
  writeStepWords(scratch, *side.steps, step);
  writeJsonString(words, std::string_view(scratch.text()));
  object.number("step", n64(index - side.part(part)->first + 1));
  object.number("offset", n64(side.steps->offset(index)));
  if (step.isReply()) {
    const std::optional<double> ms = step.responseMs();
    if (ms) {
      writeJsonNumber(object.key("response_ms"), *ms);
    } else {
      object.key("response_ms").put("null");
    }
  }
}

void stepOrNull(JsonObject& object, std::string_view key, const ComparedTrace& side,
                std::optional<std::uint64_t> index, std::size_t part) {
  if (index) {
    writeStep(object.key(key), side, *index, part);
  } else {
    object.key(key).put("null");
  }
}

void writeDivergence(Writer& out, const Comparison& c) {
  const std::optional<Divergence>& at = c.alignment.first;
  if (!at) {
    out.put("null");
    return;
  }
  JsonObject object(out);
  object.number("update", n64(at->part));
  object.number("step", n64(at->stepInPart + 1));
  object.boolean("in_both", at->aHasPart && at->bHasPart);
  object.boolean("other_bytes", at->otherBytes);
  stepOrNull(object, "before", c.good, at->before, at->part);
  stepOrNull(object, "good", c.good, at->a, at->part);
  stepOrNull(object, "trace", c.trace, at->b, at->part);
}

void writeUpdateSide(Writer& out, const ComparedTrace& side, std::size_t n) {
  const UpdateFacts* u = side.update(n);
  if (u == nullptr) {
    out.put("null");
    return;
  }
  JsonObject object(out);
  object.string("outcome", coded(u->outcome).key);
  object.number("writes", n64(u->writes));
  object.number("bytes", n64(u->bytes));
  {
    JsonArray ranges(object.key("ranges"));
    for (const AddressRange& range : u->ranges) {
      JsonObject item(ranges.next());
      item.number("first", range.first);
      item.number("last", range.last);
    }
  }
  object.number("ranges_left_out", n64(u->rangesLeftOut));
  {
    JsonArray checksums(object.key("checksums"));
    for (const std::uint16_t checksum : u->checksums) checksums.next().decimal(checksum);
  }
  object.number("checksums_left_out", n64(u->checksumsLeftOut));
  {
    JsonArray serials(object.key("serial_numbers"));
    for (const std::string_view serial : u->serialNumbers) writeJsonString(serials.next(), serial);
  }
  object.number("serial_numbers_left_out", n64(u->serialNumbersLeftOut));
  object.boolean("reset", u->reset);
  const StepPart* part = side.part(n);
  if (part != nullptr && part->hasEcLevels) {
    JsonObject levels(object.key("ec_levels"));
    writeEcLevelJson(levels.key("current"), {part->ecLevels[0], part->ecLevels[1]});
    writeEcLevelJson(levels.key("previous"), {part->ecLevels[2], part->ecLevels[3]});
  } else {
    object.key("ec_levels").put("null");
  }
  object.number("errors", n64(u->errors));
  if (const auto ms = side.durationMs(n)) {
    object.number("duration_ms", *ms);
  } else {
    object.key("duration_ms").put("null");
  }
  JsonObject responses(object.key("responses"));
  for (const auto& [key, value] : {std::pair{"median_ms", u->responses.median},
                                   std::pair{"slowest_ms", u->responses.slowest}}) {
    if (u->responses.count == 0) {
      responses.key(key).put("null");
    } else {
      writeJsonNumber(responses.key(key), value);
    }
  }
  responses.boolean("exact", u->responses.exact);
}

void writeUpdates(JsonObject& top, const Comparison& c) {
  JsonArray updates(top.key("updates"));
  for (std::size_t n = 1; n <= c.updates; ++n) {
    JsonObject object(updates.next());
    object.number("number", n64(n));
    {
      JsonArray differs(object.key("differs"));
      for (std::size_t row = 0; row < kUpdateRows; ++row) {
        if (c.rowDiffers(n, static_cast<UpdateRow>(row)))
          writeJsonString(differs.next(), kUpdateRowFields[row].key);
      }
    }
    writeUpdateSide(object.key("good"), c.good, n);
    writeUpdateSide(object.key("trace"), c.trace, n);
  }
}

void writeRuns(JsonObject& top, const Comparison& c) {
  JsonArray runs(top.key("runs"));
  for (const Edit& edit : c.alignment.edits) {
    JsonObject object(runs.next());
    object.number("update", n64(edit.part));
    static constexpr std::array<std::string_view, 3> kOps{"alike", "good_only", "trace_only"};
    object.string("run", kOps[static_cast<std::size_t>(edit.op)]);
    object.number("length", n64(edit.length));
    if (edit.op == EditOp::Same) continue;
    const ComparedTrace& side = edit.op == EditOp::Delete ? c.good : c.trace;
    const std::uint64_t first = edit.op == EditOp::Delete ? edit.a : edit.b;
    JsonArray steps(object.key("steps"));
    for (std::uint64_t k = 0; k < edit.length; ++k)
      writeStep(steps.next(), side, first + k, edit.part);
  }
}

}  // namespace

void writeComparisonJson(Writer& out, const Comparison& c) {
  {
    JsonObject top(out);
    writeSide(top.key("good"), c.good);
    writeSide(top.key("trace"), c.trace);
    top.boolean("alike", c.alike());
    Writer verdict;
    writeComparisonVerdict(verdict, c);
    writeJsonString(top.key("verdict"), std::string_view(verdict.text()));
    writeDivergence(top.key("first_divergence"), c);
    top.boolean("aligned", c.alignment.complete);
    top.number("max_differing_steps", n64(kMaxDifferingSteps));
    if (c.alignment.complete) {
      top.number("differing_steps", n64(c.alignment.differing));
    } else {
      top.key("differing_steps").put("null");
    }
    top.number("flash_writes", n64(c.alignment.flashWrites));
    top.number("other_bytes", n64(c.alignment.otherBytes));
    writeUpdates(top, c);
    top.number("updates_left_out",
               n64(std::max(c.good.facts->updatesLeftOut, c.trace.facts->updatesLeftOut)));
    writeRuns(top, c);
  }
  out.put('\n');
}

void writeRowComparison(Writer& out, const Comparison& c) {
  JsonObject object(out);
  writeJsonString(object.key("good"), c.good.name);
  object.boolean("alike", c.alike());
  Writer verdict;
  writeComparisonVerdict(verdict, c);
  writeJsonString(object.key("verdict"), std::string_view(verdict.text()));
  writeDivergence(object.key("first_divergence"), c);
}

}  // namespace ovantrex
