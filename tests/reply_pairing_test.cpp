// Each firmware command and the device's reply, as JSON Lines and the
// summary show them: traces written one letter per record, the pairs and
// the response times worked out by hand from the record sizes and stamps.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "firmware_traffic.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

using nlohmann::json;

// One record: a letter and its stamp in milliseconds. S a start (28 bytes
// in format version 1), C a checksum (32), k a reply "Command complete"
// (30), e a reply "Command reject", v a feature read of a version list
// (32), s a read shorter than its header (19), h a start that the
// component test hides (in format version 3, as all records of a trace
// with one).
struct Step {
  char what;
  double stamp;
};

TraceBuilder traceOf(const std::vector<Step>& steps) {
  bool hiding = false;
  for (const Step& step : steps) hiding = hiding || step.what == 'h';
  TraceBuilder t;
  if (hiding) t.marker(kMarkerV3);
  const ExtHeader shown;
  ExtHeader hidden;
  hidden.component = 2;
  for (const Step& step : steps) {
    const double stamp = step.stamp;
    switch (step.what) {
      case 'S': t.hidWrite(stamp, kFirmware, startFlash(), shown); break;
      case 'h': t.hidWrite(stamp, kFirmware, startFlash(), hidden); break;
      case 'C': t.hidWrite(stamp, kFirmware, checksum(0x1234), shown); break;
      case 'k': t.hidRead(stamp, kFirmware, status(0x01), shown); break;
      case 'e': t.hidRead(stamp, kFirmware, status(0x80), shown); break;
      case 's': t.record(406, stamp, Payload{0x00, 0x00, 0xa0}, shown); break;
      case 'v':
        t.hidGetFeat(stamp, {0, 0, 0xa0, 3, 0, 0, 0, 0},
                     {0x01, 0xff, 0x00, 0xff, 0x00, 0x02, 0x00, 0x00}, shown);
        break;
      default: ADD_FAILURE() << step.what;
    }
  }
  return t;
}

// "offset:reply_to:response_ms" of every record that carries reply_to.
std::vector<std::string> pairsOf(const TraceBuilder& trace) {
  const RunResult result = runTrace(trace, {"--json"});
  EXPECT_EQ(result.status, 0) << result.err;
  std::vector<std::string> pairs;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    const json record = json::parse(line);
    if (!record.contains("reply_to")) continue;
    pairs.push_back(std::to_string(record["offset"].get<int>()) + ":" + record["reply_to"].dump() +
                    ":" + record["response_ms"].dump());
  }
  return pairs;
}

TEST(ReplyPairing, EachReplyAnswersTheCommandBeforeItSinceTheLastReply) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> pairs;
    int unanswered, unsolicited, untimed;  // as the summary counts them
  } cases[] = {
      {"AnsweredAtOnce", {{'S', 10}, {'k', 10}}, {"28:0:0"}, 0, 0, 0},
      {"AnsweredLate", {{'C', 10}, {'k', 250.5}}, {"32:0:240.5"}, 0, 0, 0},
      {"ToTheMicrosecond", {{'S', 1.0000004}, {'k', 3.1234567}}, {"28:0:2.123"}, 0, 0, 0},
      {"NotAtAll", {{'S', 0}}, {}, 1, 0, 0},
      // The first command is left unanswered by the second.
      {"TwoCommandsBeforeAReply", {{'S', 0}, {'C', 5}, {'k', 7}}, {"60:28:2"}, 1, 0, 0},
      {"AReplyBeforeAnyCommand",
       {{'k', 0}, {'S', 1}, {'k', 2}},
       {"0:null:null", "58:30:1"},
       0,
       1,
       0},
      // The second reply answers nothing, though it follows the command.
      {"TwoRepliesToOneCommand",
       {{'S', 1}, {'k', 2}, {'e', 3}},
       {"28:0:1", "58:null:null"},
       0,
       1,
       0},
      {"AFeatureReadAnswers", {{'S', 0}, {'v', 4}, {'k', 5}}, {"28:0:4", "60:null:null"}, 0, 1, 0},
      {"TimesThatGoBackwards", {{'S', 10}, {'k', 4}}, {"28:0:-6"}, 0, 0, 1},
      {"AStampThatIsNotFinite", {{'S', nan}, {'k', 4}}, {"28:0:null"}, 0, 0, 1},
      // A record that cannot be decoded, or that the component test hides,
      // takes no part: the reply after it answers the command before it.
      {"AShortReplyBetween", {{'S', 0}, {'s', 1}, {'k', 3}}, {"47:0:3"}, 0, 0, 0},
      {"AHiddenCommandBetween", {{'S', 0}, {'h', 1}, {'k', 3}}, {"104:16:3"}, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TraceBuilder trace = traceOf(c.steps);
    EXPECT_EQ(pairsOf(trace), c.pairs);
    const RunResult result = runTrace(trace, {"--summary", "--json"});
    const json exchanges = json::parse(result.out)["exchanges"];
    EXPECT_EQ(exchanges["unanswered"], c.unanswered);
    EXPECT_EQ(exchanges["unsolicited"], c.unsolicited);
    EXPECT_EQ(exchanges["untimed"], c.untimed);
  }
}

// The summary's exchanges by kind, the unanswered commands and the slowest
// exchanges: starts answered after 1 to 12 ms (start n at 58 (n - 1), its
// reply 28 after), then checksums from 696 on, 32 bytes each, never
// answered but for the last, which is refused after 2.5 ms.
TEST(ReplyPairing, TheSummaryCountsTheExchangesByKind) {
  TraceBuilder t;
  for (int n = 1; n <= 12; ++n) {
    t.hidWrite(100.0 * n, kFirmware, startFlash());
    t.hidRead(100.0 * n + n, kFirmware, status(0x01));
  }
  for (int n = 0; n < 11; ++n) t.hidWrite(2000.0, kFirmware, checksum(0x1234));
  t.hidWrite(2000.0, kFirmware, checksum(0x1234)).hidRead(2002.5, kFirmware, status(0x80));
  const json exchanges = json::parse(runTrace(t, {"--summary", "--json"}).out)["exchanges"];
  // Of 1 to 12, the median is the 6th, the 95th percentile the 12th.
  EXPECT_EQ(exchanges["by_kind"]["start_flash_update"], json::parse(R"j({"commands":12,
      "answered":12,"unanswered":0,"refused":0,"timed":12,"fastest_ms":1,"median_ms":6,
      "p95_ms":12,"slowest_ms":12,"exact":true})j"));
  EXPECT_EQ(exchanges["by_kind"]["checksum_write"], json::parse(R"j({"commands":12,
      "answered":1,"unanswered":11,"refused":1,"timed":1,"fastest_ms":2.5,"median_ms":2.5,
      "p95_ms":2.5,"slowest_ms":2.5,"exact":true})j"));
  EXPECT_EQ(exchanges["by_kind"]["flash_write"]["median_ms"], nullptr);
  EXPECT_EQ(exchanges["unanswered"], 11);
  ASSERT_EQ(exchanges["first_unanswered"].size(), 10u);
  EXPECT_EQ(exchanges["first_unanswered"][9],
            json::parse(R"j({"offset":984,"kind":"checksum_write"})j"));
  ASSERT_EQ(exchanges["slowest"].size(), 10u);
  EXPECT_EQ(exchanges["slowest"][0], json::parse(R"j({"command":638,"reply":666,
      "kind":"start_flash_update","response_ms":12})j"));
  // Ten of the starts are slower than the refused checksum.
  EXPECT_EQ(exchanges["slowest"][9], json::parse(R"j({"command":116,"reply":144,
      "kind":"start_flash_update","response_ms":3})j"));
}

}  // namespace
}  // namespace ovantrex::test
