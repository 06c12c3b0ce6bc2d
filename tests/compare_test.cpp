// The comparison of two traces (--compare GOOD -f TRACE): pairs of lanes
// whose divergence is worked out by hand, the alignment against the
// lengths of the longest common subsequences, its cap, the exit statuses
// and the JSON object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "compare/step_alignment.h"
#include "firmware_traffic.h"
#include "output/compare/compare_words.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

using json = nlohmann::json;

// One record of a lane: a command, a reply of a status byte, or a text.
struct Line {
  enum Kind { Command, Reply, Text } kind;
  Payload data;
  double stamp = 0;
};

// The good lane, format version 1: a start, four flash writes of 8 bytes
// at 0x018000 and on, a checksum and a reset; each command at 20 ms steps,
// each reply 2 ms after it. The offsets: a start and a reset take 28
// bytes, a write 40, a reply 30, a checksum 32: steps 1 to 13 stand at 0,
// 28, 58, 98, 128, 168, 198, 238, 268, 308, 338, 370 and 400.
std::vector<Line> goodLane() {
  std::vector<Line> lines{{Line::Command, startFlash(), 0}, {Line::Reply, status(0x01), 2}};
  for (std::uint32_t i = 0; i < 4; ++i) {
    const double at = 20.0 * (i + 1);
    lines.push_back({Line::Command, flashWrite(0x018000 + 8 * i, 8), at});
    lines.push_back({Line::Reply, status(0x01), at + 2});
  }
  lines.push_back({Line::Command, checksum(0xabcd), 100});
  lines.push_back({Line::Reply, status(0x01), 102});
  lines.push_back({Line::Command, reset(), 120});
  return lines;
}

TraceBuilder traceOf(const std::vector<Line>& lines) {
  TraceBuilder t;
  for (const Line& line : lines) {
    switch (line.kind) {
      case Line::Command: t.hidWrite(line.stamp, kFirmware, line.data); break;
      case Line::Reply: t.hidRead(line.stamp, kFirmware, line.data); break;
      case Line::Text: t.text(line.stamp, line.data); break;
    }
  }
  return t;
}

// Two lanes' traces, good.trc and failed.trc in a folder of their own,
// compared there under those names.
struct Pair {
  TempDir dir;
  std::string good = "good.trc";
  std::string trace = "failed.trc";
  Pair(const std::vector<Line>& a, const std::vector<Line>& b) {
    traceOf(a).writeTo(dir.file(good));
    traceOf(b).writeTo(dir.file(trace));
  }
  RunResult compare(std::vector<std::string> options = {}) const {
    options.insert(options.begin(), {"--compare", good, "-f", trace});
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.file(""));
    RunResult result = run(std::move(options));
    std::filesystem::current_path(before);
    return result;
  }
};

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// The lane with one change made to it.
std::vector<Line> changed(const std::function<void(std::vector<Line>&)>& change) {
  std::vector<Line> lines = goodLane();
  change(lines);
  return lines;
}

TEST(Compare, ReplyThatDiffersIsTheVerdictTheTableAndTheSteps) {
  // The reply to the write at 0x018010 (step 8) is an error, 5 ms later.
  const Pair pair(goodLane(), changed([](auto& l) { l[7] = {Line::Reply, status(0x40), 67}; }));
  const RunResult result = pair.compare();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "the traces part at update 1, step 8: good.trc's device answered \"Command "
            "complete\" to \"Flash write 8 bytes to address=0x018010\"; failed.trc's answered "
            "\"Operation in Error\"\n"
            "\n"
            "                  good.trc                   failed.trc\n"
            "  update 1\n"
            "! outcome         completed                  failed\n"
            "  flash writes    4, 32 bytes                4, 32 bytes\n"
            "! addresses       0x018000-0x01801f          0x018000-0x01800f, 0x018018-0x01801f\n"
            "  checksums       0xabcd                     0xabcd\n"
            "  serial numbers  none                       none\n"
            "  reset           yes                        yes\n"
            "  EC levels       none                       none\n"
            "! error replies   0                          1\n"
            "  duration        0.120 s                    0.120 s\n"
            "! responses       median 2 ms, slowest 2 ms  median 2 ms, slowest 7 ms\n"
            "\n"
            "steps: 13 of good.trc, 13 of failed.trc; 2 in one trace only\n"
            "\n"
            "--- good.trc\n"
            "+++ failed.trc\n"
            "\xe2\x80\xa6 4 steps alike \xe2\x80\xa6\n"
            "@@ update 1: -5,7 +5,7 @@\n"
            "  128 128  command Flash write 8 bytes to address=0x018008\n"
            "  168 168  reply   Command complete (2 ms, 2 ms)\n"
            "  198 198  command Flash write 8 bytes to address=0x018010\n"
            "- 238      reply   Command complete (2 ms)\n"
            "+     238  reply   Operation in Error (7 ms)\n"
            "  268 268  command Flash write 8 bytes to address=0x018018\n"
            "  308 308  reply   Command complete (2 ms, 2 ms)\n"
            "  338 338  command Write checksum 0xabcd to flash memory\n"
            "\xe2\x80\xa6 2 steps alike \xe2\x80\xa6\n");
}

TEST(Compare, ContextSetsTheAlikeStepsAroundADifference) {
  const Pair pair(goodLane(), changed([](auto& l) { l[7] = {Line::Reply, status(0x40), 67}; }));
  const RunResult result = pair.compare({"--context", "0"});
  EXPECT_EQ(result.status, 1);
  const std::string steps = result.out.substr(result.out.find("--- good.trc"));
  EXPECT_EQ(steps,
            "--- good.trc\n"
            "+++ failed.trc\n"
            "\xe2\x80\xa6 7 steps alike \xe2\x80\xa6\n"
            "@@ update 1: -8,1 +8,1 @@\n"
            "- 238      reply   Command complete (2 ms)\n"
            "+     238  reply   Operation in Error (7 ms)\n"
            "\xe2\x80\xa6 5 steps alike \xe2\x80\xa6\n");
}

// A pair of lanes, the verdict that it gets, its exit status and a line
// that its output holds.
struct PairCase {
  const char* name;
  std::vector<Line> good;
  std::vector<Line> trace;
  std::string verdict;
  int status;
  std::string holds;
};

std::vector<Line> twice(std::vector<Line> lines) {
  const std::size_t n = lines.size();
  for (std::size_t i = 0; i < n; ++i) {
    Line again = lines[i];
    again.stamp += 200;
    lines.push_back(again);
  }
  return lines;
}

std::vector<PairCase> pairCases() {
  const auto later = changed([](auto& l) {
    for (Line& line : l) line.stamp += 1000;
  });
  const auto otherBytes = changed([](auto& l) {
    std::vector<std::uint8_t> bytes = l[4].data.bytes();
    bytes.at(15) = 0x11;  // the last of the eight bytes written
    l[4].data = Payload(bytes);
  });
  return {
      {"AlikeWithOtherTimes", goodLane(), later, "the traces' steps are alike", 0,
       "steps: 13 of good.trc, 13 of failed.trc; 0 in one trace only\n"},
      {"StepMissing", goodLane(), changed([](auto& l) { l.erase(l.begin() + 9); }),
       "the traces part at update 1, step 10: good.trc has \"Command complete\", which "
       "failed.trc has not",
       1, "- 308      reply   Command complete (2 ms)\n"},
      {"StepAdded", goodLane(), changed([](auto& l) {
         l.insert(l.begin() + 6, {Line::Text, "retrying\n", 50});
       }),
       "the traces part at update 1, step 7: failed.trc has \"retrying\", which good.trc has not",
       1, "+     198  text    retrying\n"},
      {"OtherFlashImage", goodLane(), otherBytes,
       "the traces part at update 1, step 5: \"Flash write 8 bytes to address=0x018008\" "
       "carries other bytes in failed.trc",
       1, "the firmware images differ: 1 of 4 flash writes carries other bytes\n"},
      {"TraceStopsEarly", goodLane(), changed([](auto& l) { l.resize(7); }),
       "the traces part at update 1, step 8: failed.trc stops where good.trc has \"Command "
       "complete\"",
       1, "! outcome         completed                  unfinished\n"},
      {"GoodHasAnUpdateMore", twice(goodLane()), goodLane(),
       "the traces part at update 2: failed.trc has no update 2", 1,
       "  update 2\n! outcome         completed                  -\n"},
      {"TraceHasAnUpdateMore", goodLane(), twice(goodLane()),
       "the traces part at update 2: good.trc has no update 2", 1,
       "! outcome         -                          completed\n"},
      {"StepBeforeTheFirstUpdate", goodLane(), changed([](auto& l) {
         l.insert(l.begin(), {Line::Text, "utility 4.2\n", 0});
       }),
       "the traces part before the first update, step 1: failed.trc has \"utility 4.2\", "
       "which good.trc has not",
       1, "@@ before the first update: -1,0 +1,1 @@\n"},
      {"EcLevelsDiffer", changed([](auto& l) { l[1].data = {0x05, 0x02, 0x03, 0x02, 0x01, 0x00}; }),
       changed([](auto& l) { l[1].data = {0x05, 0x02, 0x04, 0x02, 0x03, 0x00}; }),
       "the traces part at update 1, step 2: good.trc's device answered \"Command complete; EC "
       "information available (current=02.03, previous=02.01)\" to \"Start flash update\"; "
       "failed.trc's answered \"Command complete; EC information available (current=02.04, "
       "previous=02.03)\"",
       1, "! EC levels       current 02.03, previous 02.01  current 02.04, previous 02.03\n"},
      {"BothEmpty", {}, {}, "the traces' steps are alike", 0, "neither trace holds an update\n"},
      {"TraceEmpty",
       goodLane(),
       {},
       "the traces part at update 1: failed.trc has no update 1",
       1,
       "steps: 13 of good.trc, 0 of failed.trc; 13 in one trace only\n"},
      {"EscapedOnOneLine", goodLane(), changed([](auto& l) {
         l.insert(l.begin() + 2, {Line::Text, "\x1b]0;x\x07\n", 3});
       }),
       "the traces part at update 1, step 3: failed.trc has \"\\x1b]0;x\\x07\", which good.trc "
       "has not",
       1, "+      58  text    \\x1b]0;x\\x07\n"},
  };
}

void PrintTo(const PairCase& c, std::ostream* os) { *os << c.name; }

class ComparePairs : public testing::TestWithParam<PairCase> {};

TEST_P(ComparePairs, VerdictStatusAndLine) {
  const PairCase& c = GetParam();
  const Pair pair(c.good, c.trace);
  const RunResult result = pair.compare();
  EXPECT_EQ(firstLine(result.out), c.verdict);
  EXPECT_EQ(result.status, c.status);
  EXPECT_NE(result.out.find(c.holds), std::string::npos) << result.out;
  EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(Lanes, ComparePairs, testing::ValuesIn(pairCases()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(Compare, SameFileTwiceIsAlike) {
  const Pair pair(goodLane(), {});
  const RunResult result =
      run({"--compare", pair.dir.file("good.trc"), "-f", pair.dir.file("good.trc")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(firstLine(result.out), "the traces' steps are alike");
}

TEST(Compare, ExitStatusesOfTracesThatCannotBeReadAndOfBadOptions) {
  const Pair pair(goodLane(), goodLane());
  const std::string missing = pair.dir.file("missing.trc");
  const std::string good = pair.dir.file("good.trc");
  struct Bad {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Bad> cases{
      {{"--compare", missing, "-f", good}, 2, "Could not open '" + missing + "' for reading\n"},
      {{"--compare", good, "-f", missing}, 2, "Could not open '" + missing + "' for reading\n"},
      {{"--compare", good, "-f", good, "--context", "3x"},
       1,
       "ovantrex: --context takes a number of steps\n"},
      {{"--compare", good, "-f", good, "--summary"},
       1,
       "ovantrex: --compare takes -f, -w, --json, --context and --color alone, not --summary\n"},
      {{"--compare", good, "-f", good, "-w", good},
       3,
       "Could not open '" + good + "' for writing: it is the trace being read\n"},
  };
  for (const Bad& bad : cases) {
    const RunResult result = run(bad.args);
    EXPECT_EQ(result.status, bad.status) << bad.err;
    EXPECT_EQ(result.err, bad.err);
    EXPECT_EQ(result.out, "");
  }
}

// ---- The alignment ----

// The steps of text messages of one letter each, all before the first
// update, the record of step i at offset i * spacing.
TraceSteps stepsOf(const std::string& letters, std::uint64_t spacing = 1) {
  TraceSteps steps;
  for (std::size_t i = 0; i < letters.size(); ++i) {
    Record record;
    record.offset = i * spacing;
    DecodedRecord decoded;
    decoded.type = RecordType::Text;
    decoded.text =
        ByteView{Bytes(reinterpret_cast<const std::uint8_t*>(letters.data()) + i, std::size_t{1})};
    steps.record(record, decoded, RecordFacts{});
  }
  return steps;
}

std::size_t longestCommon(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> l(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      l[i][j] = a[i - 1] == b[j - 1] ? l[i - 1][j - 1] + 1 : std::max(l[i - 1][j], l[i][j - 1]);
    }
  }
  return l[a.size()][b.size()];
}

TEST(CompareStepAlignment, IsAShortestEditOfBothSequences) {
  std::mt19937 random(32);
  for (int round = 0; round < 300; ++round) {
    std::string a, b;
    const auto n = random() % 40, m = random() % 40;
    for (unsigned i = 0; i < n; ++i) a += static_cast<char>('a' + random() % 3);
    for (unsigned i = 0; i < m; ++i) b += static_cast<char>('a' + random() % 3);
    const TraceSteps x = stepsOf(a), y = stepsOf(b);
    const Alignment alignment = alignSteps(x, y);
    ASSERT_TRUE(alignment.complete);
    EXPECT_EQ(alignment.differing, a.size() + b.size() - 2 * longestCommon(a, b)) << a << " " << b;
    // The runs take both sequences in order, alike runs alike.
    std::string fromA, fromB;
    for (const Edit& edit : alignment.edits) {
      if (edit.op != EditOp::Insert) fromA += a.substr(edit.a, edit.length);
      if (edit.op != EditOp::Delete) fromB += b.substr(edit.b, edit.length);
      if (edit.op == EditOp::Same) {
        EXPECT_EQ(a.substr(edit.a, edit.length), b.substr(edit.b, edit.length));
      }
    }
    EXPECT_EQ(fromA, a);
    EXPECT_EQ(fromB, b);
    EXPECT_EQ(alignment.alike(), a == b);
  }
}

TEST(CompareStepAlignment, CapOfDifferingStepsAtItsEdge) {
  // Eight steps differ: aligned within a cap of 8, only up to the first
  // divergence (step 2, after the alike "x") within 7.
  const TraceSteps a = stepsOf("xaaaa"), b = stepsOf("xbbbb");
  const Alignment within = alignSteps(a, b, 8);
  EXPECT_TRUE(within.complete);
  EXPECT_EQ(within.differing, 8u);
  const Alignment past = alignSteps(a, b, 7);
  EXPECT_FALSE(past.complete);
  EXPECT_TRUE(past.edits.empty());
  ASSERT_TRUE(past.first);
  EXPECT_EQ(past.first->stepInPart, 1u);
  EXPECT_EQ(past.first->a, 1u);
  EXPECT_EQ(past.first->b, 1u);
  EXPECT_EQ(past.first->before, 0u);
}

TEST(CompareTraceSteps, KeepOffsetsFarPastTheirBlocksFirstStep) {
  // Steps 3 GiB apart: the third and the fourth lie 4 GiB and more past
  // the first step of their block.
  constexpr std::uint64_t kSpacing = std::uint64_t{3} << 30;
  const TraceSteps steps = stepsOf("abcd", kSpacing);
  for (std::uint64_t i = 0; i < 4; ++i) EXPECT_EQ(steps.offset(i), i * kSpacing) << i;
}

TEST(CompareTraceSteps, CapOfStepsAtItsEdge) {
  const TraceSteps full = stepsOf(std::string(TraceSteps::kMaxSteps, 'a'));
  EXPECT_EQ(full.size(), TraceSteps::kMaxSteps);
  EXPECT_EQ(full.leftOut(), 0u);
  const TraceSteps past = stepsOf(std::string(TraceSteps::kMaxSteps + 2, 'a'));
  EXPECT_EQ(past.size(), TraceSteps::kMaxSteps);
  EXPECT_EQ(past.leftOut(), 2u);
  EXPECT_EQ(past.part(0).count, TraceSteps::kMaxSteps);
  // The texts of one byte each fill the room of their first bytes; the
  // rest are steps without their words.
  EXPECT_EQ(past.text(past.step(TraceSteps::kTextRoom - 1)), "a");
  EXPECT_EQ(past.text(past.step(TraceSteps::kTextRoom)), "");
  EXPECT_EQ(past.textsNotKept(), TraceSteps::kMaxSteps - TraceSteps::kTextRoom);
}

TEST(CompareVerdict, StepsPastTheCapAreCountedAndSaidLeftOut) {
  // Alike as far as they are kept: 5 and 7 steps past the cap, left out.
  const TraceSteps a = stepsOf(std::string(TraceSteps::kMaxSteps + 5, 'a'));
  const TraceSteps b = stepsOf(std::string(TraceSteps::kMaxSteps + 7, 'a'));
  const SessionFacts facts;
  const Comparison c = compareTraces({"good.trc", &facts, &a}, {"failed.trc", &facts, &b});
  EXPECT_TRUE(c.alignment.alike());
  EXPECT_FALSE(c.alike());
  Writer out;
  writeComparisonVerdict(out, c);
  EXPECT_EQ(out.text(),
            "the traces' first 1,310,720 steps are alike; past them 5 of good.trc's and 7 of "
            "failed.trc's were left out");
}

// ---- JSON ----

TEST(CompareJson, OneObjectWithTheDivergenceTheUpdatesAndTheRuns) {
  const Pair pair(goodLane(), changed([](auto& l) { l[7] = {Line::Reply, status(0x40), 67}; }));
  const RunResult result = pair.compare({"--json"});
  EXPECT_EQ(result.status, 1);
  ASSERT_EQ(result.out.back(), '\n');
  ASSERT_EQ(result.out.find('\n'), result.out.size() - 1);  // one line
  const json c = json::parse(result.out);
  EXPECT_EQ(c["alike"], false);
  EXPECT_EQ(c["good"]["trace"], "good.trc");
  EXPECT_EQ(c["trace"]["steps"], 13);
  EXPECT_EQ(c["differing_steps"], 2);
  EXPECT_EQ(c["first_divergence"]["update"], 1);
  EXPECT_EQ(c["first_divergence"]["step"], 8);
  EXPECT_EQ(c["first_divergence"]["before"]["words"], "Flash write 8 bytes to address=0x018010");
  EXPECT_EQ(c["first_divergence"]["good"]["response_ms"], 2);
  EXPECT_EQ(c["first_divergence"]["trace"]["words"], "Operation in Error");
  EXPECT_EQ(c["first_divergence"]["trace"]["offset"], 238);
  EXPECT_EQ(c["updates"][0]["differs"],
            json::parse(R"(["outcome","ranges","errors","responses"])"));
  EXPECT_EQ(c["updates"][0]["trace"]["outcome"], "failed");
  // The runs: 7 alike, one step of each, 5 alike.
  std::vector<std::pair<std::string, int>> runs;
  for (const json& r : c["runs"]) runs.emplace_back(r["run"], r["length"]);
  const std::vector<std::pair<std::string, int>> expected{
      {"alike", 7}, {"good_only", 1}, {"trace_only", 1}, {"alike", 5}};
  EXPECT_EQ(runs, expected);
}

TEST(CompareJson, OutputValidatesAgainstTheSchema) {
  ASSERT_EQ(std::system(OVANTREX_PYTHON " -c 'import jsonschema' 2>/dev/null"), 0)
      << "install python3-jsonschema for " OVANTREX_PYTHON;
  const std::string source = OVANTREX_SOURCE_DIR;
  // Alike, differing, and past the cap of differing steps.
  std::vector<Line> many;
  for (int i = 0; i < 4200; ++i) {
    std::string text = std::to_string(i);
    text += '\n';
    many.push_back({Line::Text, text, 0});
  }
  const std::vector<std::pair<std::vector<Line>, std::vector<Line>>> pairs{
      {goodLane(), goodLane()},
      {goodLane(), changed([](auto& l) { l.resize(7); })},
      {many, goodLane()}};
  for (const auto& [good, trace] : pairs) {
    const Pair pair(good, trace);
    pair.compare({"--json", "-w", "comparison.json"});
    const std::string command = OVANTREX_PYTHON " " + source + "/tests/validate_json.py --whole " +
                                source + "/docs/ovantrex.schema.json '" +
                                pair.dir.file("comparison.json") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
}

}  // namespace
}  // namespace ovantrex::test
