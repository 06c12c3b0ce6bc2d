// --where: the records that an expression selects, the entries of a
// selected listing and JSON Lines equal to those of the whole output, and
// the messages of bad expressions with their carets. Offsets are worked out
// by hand from the trace below.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "firmware_traffic.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

// Format version 1: each record is its 16-byte header and its payload.
//   offset   0  Text "update begins"                 14 bytes
//   offset  30  HIDWrite start flash update           8 + 4
//   offset  58  HIDRead status 0x03                   8 + 6
//   offset  88  HIDWrite flash write 0x018000, 8      8 + 16
//   offset 128  HIDRead status 0x80 (an error reply)  8 + 6
//   offset 158  Text "retrying block"                 15
//   offset 189  Hex de.ad.be.ef                       4
//   offset 209  HIDWrite flash write 0x018010, 8      8 + 16
//   offset 249  HIDRead status 0x03                   8 + 6
TraceBuilder updateTrace() {
  TraceBuilder trace;
  trace.text(1000, "update begins\n");
  trace.hidWrite(1010, kFirmware, startFlash());
  trace.hidRead(1020, kFirmware, status(0x03));
  trace.hidWrite(1030, kFirmware, flashWrite(0x018000, 8));
  trace.hidRead(1040, kFirmware, status(0x80));
  trace.text(1300, "retrying block\n");
  trace.hex(1310, {0xde, 0xad, 0xbe, 0xef});
  trace.hidWrite(1320, kFirmware, flashWrite(0x018010, 8));
  trace.hidRead(1330, kFirmware, status(0x03));
  return trace;
}

std::vector<long> selectedOffsets(const TraceBuilder& trace, const std::string& expression) {
  const RunResult result = runTrace(trace, {"--json", "--where", expression});
  EXPECT_EQ(result.status, 0) << result.err;
  std::vector<long> offsets;
  for (std::size_t at = result.out.find("{\"offset\":"); at != std::string::npos;
       at = result.out.find("{\"offset\":", at + 1))
    offsets.push_back(std::stol(result.out.substr(at + 10)));
  return offsets;
}

std::vector<long> selectedOffsets(const std::string& expression) {
  return selectedOffsets(updateTrace(), expression);
}

struct Selected {
  const char* expression;
  std::vector<long> offsets;
};

class SelectionSelectsRecords : public ::testing::TestWithParam<Selected> {};

TEST_P(SelectionSelectsRecords, AsWorkedOutByHand) {
  EXPECT_EQ(selectedOffsets(GetParam().expression), GetParam().offsets);
}

INSTANTIATE_TEST_SUITE_P(
    Where, SelectionSelectsRecords,
    ::testing::Values(
        Selected{"type == \"Text\"", {0, 158}},
        Selected{"type != \"HIDRead\" and type != \"Text\"", {30, 88, 189, 209}},
        Selected{"offset >= 88 and offset < 189", {88, 128, 158}},
        Selected{"offset <= 0x1e or offset > 209", {0, 30, 249}},  // the first and last
        Selected{"length == 24", {88, 209}},
        Selected{"elapsed > 0.1", {0, 158}},  // the first from 0
        Selected{"text contains \"retry\"", {158}}, Selected{"data contains 0xadbe", {189}},
        Selected{"data contains 0x018010", {209}}, Selected{"data contains \"ZZZZ\"", {88, 209}},
        Selected{"decoded.kind == \"flash write\"", {88, 209}},
        Selected{"decoded.kind == \"start_flash_update\"", {30}},
        Selected{"decoded.address == 0x018010", {209}}, Selected{"decoded.command == 2", {88, 209}},
        Selected{"decoded.status.bits contains \"Command reject\"", {128}},
        Selected{"decoded.status.value", {58, 128, 249}}, Selected{"error", {128}},
        Selected{"not error and type == \"HIDRead\"", {58, 249}},
        Selected{"update == 1 and type == \"Text\"", {158}}, Selected{"not update", {0}},
        Selected{"reply_to == 88", {128}},
        Selected{"(type == \"Text\" or error) and not (offset < 100)", {128, 158}},
        Selected{"not not decoded.truncated", {}},
        Selected{"decoded.length_agrees == true", {88, 209}}));

// A version 1 record without a time, then format version 3: each record is
// its 16-byte header, its 16-byte extension header and one byte.
//   offset   0  (version 1)
//   offset  33  2025-12-08T10:40:05.000Z  (1765190405 s: 20430 days and 38405 s)
//   offset  66  2025-12-08T10:40:05.999Z
//   offset  99  2025-12-08T10:40:05 and 1000 ms: 10:40:06.000Z
//   offset 132  2025-12-08T00:00:00.000Z  (1765152000 s)
//   offset 165  2025-12-07T18:30:00.000Z  (midnight of the 8th at +05:30)
//   offset 198  1970-01-01T00:00:00.000Z
TraceBuilder timedTrace() {
  TraceBuilder trace;
  trace.text(0, "a").marker(kMarkerV3);
  trace.text(0, "b", {.seconds = 1765190405});
  trace.text(0, "c", {.seconds = 1765190405, .millis = 999});
  trace.text(0, "d", {.seconds = 1765190405, .millis = 1000});
  trace.text(0, "e", {.seconds = 1765152000});
  trace.text(0, "f", {.seconds = 1765152000 - 19800});
  trace.text(0, "g", {.seconds = 0});
  return trace;
}

struct TimeSelected {
  const char* zone;  // TZ: what a time without a zone is in
  const char* expression;
  std::vector<long> offsets;
};

class SelectionSelectsTimes : public ::testing::TestWithParam<TimeSelected> {};

TEST_P(SelectionSelectsTimes, AsWorkedOutByHand) {
  const char* old = std::getenv("TZ");
  const std::string kept = old != nullptr ? old : "";
  useZone(GetParam().zone);
  const std::vector<long> offsets = selectedOffsets(timedTrace(), GetParam().expression);
  if (old != nullptr) {
    useZone(kept);
  } else {
    unsetEnvironment("TZ");
    readZoneAgain();
  }
  EXPECT_EQ(offsets, GetParam().offsets);
}

// Five and a half hours east of UTC, without summer time.
constexpr const char* kIndia = "XST-5:30";

INSTANTIATE_TEST_SUITE_P(
    Where, SelectionSelectsTimes,
    ::testing::Values(
        TimeSelected{"UTC", "time", {33, 66, 99, 132, 165, 198}},  // at 1970 too
        TimeSelected{"UTC", "not time", {0}},
        TimeSelected{"UTC", "time == \"2025-12-08T10:40:05Z\"", {33}},
        TimeSelected{"UTC", "time == \"2025-12-08T10:40:06.000Z\"", {99}},  // carried
        TimeSelected{"UTC", "time != \"2025-12-08T10:40:05Z\"", {66, 99, 132, 165, 198}},
        TimeSelected{
            "UTC", "time > \"2025-12-08T10:40:05.998Z\" and time < \"2025-12-08T10:40:06Z\"", {66}},
        TimeSelected{"UTC", "time >= \"2025-12-08T10:40:05.9991Z\"", {99}},  // a part of a ms
        TimeSelected{"UTC",
                     "time <= \"2025-12-08T10:40:05.9991Z\" and time > \"2025-12-08T10:40:05.5Z\"",
                     {66}},
        TimeSelected{"UTC", "time == \"2025-12-08T10:40:05.999000Z\"", {66}},
        TimeSelected{"UTC", "time == \"2025-12-08T16:10:05+05:30\"", {33}},
        TimeSelected{"UTC", "time == \"2025-12-08T05:40:05.999-0500\"", {66}},
        TimeSelected{"UTC", "time == \"2025-12-08t15:40:05+05\"", {33}},
        TimeSelected{"UTC", "time == \"2025-12-08 10:40:05z\"", {33}},
        TimeSelected{
            "UTC", "time >= \"2025-12-08T10:40\" and time < \"2025-12-08T10:41\"", {33, 66, 99}},
        TimeSelected{"UTC", "time == \"2025-12-08\"", {132}},  // local midnight
        TimeSelected{"UTC", "time < \"1970-01-01T00:00:00.001Z\"", {198}},
        TimeSelected{kIndia, "time == \"2025-12-08\"", {165}},
        TimeSelected{kIndia, "time == \"2025-12-08T16:10:05\"", {33}},
        TimeSelected{kIndia, "time == \"2025-12-08T10:40:05Z\"", {33}},
        TimeSelected{
            kIndia, "time >= \"2025-12-08T05:30\" and time < \"2025-12-08T16:10:05\"", {132}}));

// The entries of a listing: each begins on a line that does not begin with
// a blank.
std::vector<std::string> entriesOf(const std::string& listing) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start < listing.size()) {
    std::size_t end = listing.find('\n', start);
    end = end == std::string::npos ? listing.size() : end + 1;
    if (listing[start] == ' ' && !entries.empty()) {
      entries.back() += listing.substr(start, end - start);
    } else {
      entries.push_back(listing.substr(start, end - start));
    }
    start = end;
  }
  return entries;
}

TEST(SelectionWhere, SelectedEntriesAreThoseOfTheWholeOutput) {
  // The elapsed column counts from the record before in the trace, which
  // the selection leaves out. Some expressions look at a command's values
  // or at the pairing's facts, which the listing then decodes and pairs.
  const struct {
    const char* expression;
    std::vector<std::size_t> entries;
  } cases[] = {{"offset == 58 or error or offset == 158", {2, 4, 5}},
               {"decoded.kind == \"flash write\"", {3, 7}},
               {"decoded and offset < 100", {1, 2, 3}},
               {"update == 1 and type == \"Text\"", {5}}};
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, {"-c"}, {"-p", "-t"}, {"--json"}}) {
    const std::vector<std::string> entries = entriesOf(runTrace(updateTrace(), options).out);
    ASSERT_EQ(entries.size(), 9u);
    for (const auto& c : cases) {
      std::vector<std::string> selected = options;
      selected.insert(selected.end(), {"--where", c.expression});
      const RunResult result = runTrace(updateTrace(), selected);
      ASSERT_EQ(result.status, 0) << result.err;
      std::string expected;
      for (const std::size_t i : c.entries) expected += entries[i];
      EXPECT_EQ(result.out, expected) << c.expression << ", " << options.size() << " options";
    }
  }
}

// --before, --after and --context: a case's records as "offset" for a
// selected record, "offset*" for one written around it, "--" where the
// listing sets a group apart, and "left N" where JSON Lines says that N
// records before a group were left out.
struct Around {
  const char* what;
  std::vector<std::string> options;
  const char* records;
};

class SelectionWritesContext : public ::testing::TestWithParam<Around> {};

constexpr long kUpdateOffsets[] = {0, 30, 58, 88, 128, 158, 189, 209, 249};

TEST_P(SelectionWritesContext, InTheListingAndInJsonLines) {
  std::vector<std::string> options = GetParam().options;
  const std::vector<std::string> whole = entriesOf(runTrace(updateTrace(), {}).out);
  ASSERT_EQ(whole.size(), std::size(kUpdateOffsets));
  const RunResult listing = runTrace(updateTrace(), options);
  ASSERT_EQ(listing.status, 0) << listing.err;
  // Each entry is the next one of the whole listing that it equals.
  std::string listed;
  auto next = whole.begin();
  for (const std::string& entry : entriesOf(listing.out)) {
    const auto at = std::find(next, whole.end(), entry);
    listed += at == whole.end() ? entry.substr(0, entry.size() - 1)
                                : std::to_string(kUpdateOffsets[at - whole.begin()]);
    listed += ' ';
    if (at != whole.end()) next = at + 1;
  }
  options.emplace_back("--json");
  const RunResult json = runTrace(updateTrace(), options);
  ASSERT_EQ(json.status, 0) << json.err;
  std::string lines;
  std::istringstream in(json.out);
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json record = nlohmann::json::parse(line);
    if (record.contains("left_out"))
      lines += "left " + std::to_string(record["left_out"].get<long>()) + ' ';
    lines += std::to_string(record["offset"].get<long>());
    if (record.value("context", false)) lines += '*';
    lines += ' ';
  }
  // The listing has no marks of context; JSON Lines no "--".
  std::string expectListed, expectLines;
  std::istringstream words(GetParam().records);
  for (std::string word; words >> word;) {
    if (word == "left") {
      words >> word;
      expectLines += "left " + word + ' ';
      continue;
    }
    if (word != "--") expectLines += word + ' ';
    if (word.back() == '*') word.pop_back();
    expectListed += word + ' ';
  }
  EXPECT_EQ(listed, expectListed);
  EXPECT_EQ(lines, expectLines);
}

INSTANTIATE_TEST_SUITE_P(
    Where, SelectionWritesContext,
    ::testing::Values(Around{"Before", {"--where", "error", "--before", "2"}, "58* 88* 128"},
                      Around{"After", {"--where", "error", "--after", "2"}, "128 158* 189*"},
                      Around{"Both", {"--where", "error", "--context", "1"}, "88* 128 158*"},
                      Around{"GroupsThatTouchAreNotSetApart",
                             {"--where", "offset == 58 or offset == 158", "--context", "1"},
                             "30* 58 88* 128* 158 189*"},
                      Around{"GroupsApartAreSetApart",
                             {"--where", "offset == 58 or offset == 189", "--context", "1"},
                             "30* 58 88* -- 158* 189 209*"},
                      Around{"OverlappingGroupsAreWrittenOnce",
                             {"--where", "offset == 58 or offset == 128", "--context", "2"},
                             "0* 30* 58 88* 128 158* 189*"},
                      Around{"TheFirstAndTheLastRecords",
                             {"--where", "offset == 0 or offset == 249", "--context", "2"},
                             "0 30* 58* -- 189* 209* 249"},
                      Around{
                          "BeforeAndAfterWinOverContext",
                          {"--where", "error", "--context", "5", "--before", "1", "--after", "0"},
                          "88* 128"},
                      Around{"NoneAround", {"--where", "error", "--context", "0"}, "128"}),
    [](const auto& param) { return std::string(param.param.what); });

TEST(SelectionWhere, ContextCountsTheRecordsThatTheOutputShows) {
  // Format version 3 at offset 0 (a marker of 16 bytes); each text record
  // of 2 characters is 16 + 16 + 2 = 34 bytes: A at 16, the hidden H at
  // 50, B at 84, C at 118. The listing hides H and counts A and B before
  // C; JSON Lines writes H, so that its two before C are H and B.
  TraceBuilder trace;
  trace.marker(kMarkerV3)
      .text(1000, "A\n")
      .text(1100, "H\n", ExtHeader{.component = 5})
      .text(1200, "B\n")
      .text(1300, "C\n");
  const std::vector<std::string> options{"--where", "text == \"C\"", "--before", "2"};
  const RunResult listing = runTrace(trace, options);
  EXPECT_EQ(listing.out,
            "Text          1.000                A\n"
            "Text          0.100                B\n"
            "Text          0.100                C\n");
  std::vector<std::string> json = options;
  json.emplace_back("--json");
  std::vector<std::string> written;
  std::istringstream in(runTrace(trace, json).out);
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json record = nlohmann::json::parse(line);
    written.push_back(std::to_string(record["offset"].get<long>()) +
                      (record.value("context", false) ? "*" : ""));
  }
  EXPECT_EQ(written, (std::vector<std::string>{"50*", "84*", "118"}));
}

TEST(SelectionWhere, BeforeKeepsAtMost32MiBOfRecordsAndSaysHowManyItLeftOut) {
  // 200 records of 200,000 bytes: the room of 33,554,432 bytes holds 167 of
  // them (and what each costs beside its bytes, less than 900 bytes), so of
  // the 199 asked for 32 are left out.
  TraceBuilder trace;
  const std::vector<std::uint8_t> zeros(200000, 0);
  for (int i = 0; i < 200; ++i) trace.text(1000 + i, zeros);
  trace.text(2000, "the one\n");
  const RunResult result =
      runTrace(trace, {"--json", "--where", "text == \"the one\"", "--before", "199"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::vector<nlohmann::json> records;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) records.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(records.size(), 168u);
  EXPECT_EQ(records.front()["left_out"], 32);
  EXPECT_EQ(records.front()["offset"], 33 * (16 + 200000));
  EXPECT_EQ(records.back()["text"], "the one");
  const RunResult listing = runTrace(trace, {"--where", "text == \"the one\"", "--before", "199"});
  EXPECT_EQ(listing.out.substr(0, listing.out.find('\n')),
            "-- 32 records before these left out: more than the room for --before holds");
}

TEST(SelectionWhere, ContextNumbersAreRefusedWithoutWhereOrWhenNotNumbers) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--before", "2"}, "--before writes the records around those of --where: give --where"},
      {{"--context", "2"}, "--context writes the records around those of --where: give --where"},
      {{"--where", "error", "--after", "-1"}, "--after takes a number of records, 0 or more"},
      {{"--where", "error", "--before", "2", "--summary"},
       "--where selects the records of the listing and of JSON Lines: not with --summary, "
       "--report, --compare or --list"},
      {{"--before", "2", "--report"},
       "--before and --after write records around those of --where, in the listing and JSON "
       "Lines: not with --summary, --report, --compare or --list"}};
  for (const auto& [options, message] : cases) {
    std::vector<std::string> args{"-f", "/nonexistent/trace.trc"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult result = run(args);
    EXPECT_EQ(result.status, 1) << message;
    EXPECT_EQ(result.err, "ovantrex: " + message + "\n");
  }
}

TEST(SelectionWhere, ARecordAfterUnselectedRecordsOfFormatVersion3TakesTheirIndents) {
  // A record of format version 2 takes its wrap indent from the last
  // record of version 3 before it, which the selection leaves out.
  TraceBuilder trace;
  trace.marker(kMarkerV3)
      .text(1000, "first\n", ExtHeader{.thread = 7, .process = 123456, .seconds = 1765190400})
      .text(1500, "second\n",
            ExtHeader{.thread = 1, .process = 2, .seconds = 1765190401, .millis = 5})
      .marker(kMarkerV2)
      .hidWrite(2250, kFirmware, flashWrite(0x018000, 8));
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, {"-t", "-p"}, {"-m"}}) {
    const RunResult whole = runTrace(trace, options);
    std::vector<std::string> selected = options;
    selected.insert(selected.end(), {"--where", "version == 2"});
    const RunResult result = runTrace(trace, selected);
    const std::vector<std::string> entries = entriesOf(whole.out);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(result.out, entries[2]) << options.size();
  }
}

TEST(SelectionWhere, InvalidMinorLineGoesToStandardError) {
  TraceBuilder trace = updateTrace();
  trace.header(1, 700, 1400).bytes("x");  // an invalid minor code
  const RunResult result = runTrace(trace, {"--where", "error"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(entriesOf(result.out).size(), 1u);
  EXPECT_NE(result.err.find("700"), std::string::npos) << result.err;
}

struct BadExpression {
  const char* expression;
  const char* message;
  std::size_t caret;  // the caret's column under the expression
};

class SelectionRefusesExpression : public ::testing::TestWithParam<BadExpression> {};

TEST_P(SelectionRefusesExpression, WithCaretBeforeReadingTheTrace) {
  const BadExpression& bad = GetParam();
  // The trace is not there: the expression is refused first.
  const RunResult result = run({"-f", "/nonexistent/trace.trc", "--where", bad.expression});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, std::string("ovantrex: --where: ") + bad.message + "\n  " + bad.expression +
                            "\n  " + std::string(bad.caret, ' ') + "^\n");
}

INSTANTIATE_TEST_SUITE_P(
    Where, SelectionRefusesExpression,
    ::testing::Values(
        BadExpression{"", "expected a field, 'not' or '('", 0},
        BadExpression{"ofset == 3",
                      "unknown field 'ofset'; the nearest known: offset (--fields lists them all)",
                      0},
        BadExpression{"error and address == 1",
                      "unknown field 'address'; the nearest known: decoded.address, "
                      "decoded.flash_read.address (--fields lists them all)",
                      10},
        BadExpression{"type == \"HIDWrit\"",
                      "'HIDWrit' is not a value of type; the nearest: \"HIDWrite\"", 8},
        BadExpression{"offset == \"x\"", "offset takes a number after == != < <= > >=", 10},
        BadExpression{"type < 3",
                      "type takes the \"words\" or key of one of its values after == or !=", 5},
        BadExpression{"error == 1", "error takes true or false after == or !=", 9},
        BadExpression{"decoded == 1",
                      "decoded takes nothing: it stands alone, true when the record has it", 8},
        BadExpression{"(offset == 1", "expected ')' to close the '(' at 1", 12},
        BadExpression{"offset == 1)", "expected 'and', 'or' or the end of the expression", 11},
        BadExpression{"offset = 1", "expected == != < <= > >= or contains", 7},
        BadExpression{"offset 3",
                      "expected == != < <= > >= contains, 'and', 'or', ')' or the end of the "
                      "expression",
                      7},
        BadExpression{"offset == 12ab", "expected a number", 10},
        BadExpression{"data contains 0xabc",
                      "expected an even number of hex digits, two for each byte", 14},
        BadExpression{"text == \"abc", "expected the '\"' that closes the text begun at 9", 12},
        BadExpression{"text == \"\xc3\xa9\" and xid == 1",  // a character of two bytes: one column
                      "unknown field 'xid'; the nearest known: pid, tid (--fields lists them all)",
                      16},
        BadExpression{"offset == 1 and", "expected a field, 'not' or '('", 15},
        BadExpression{"time == 1765190405000",
                      "time takes a \"YYYY-MM-DDThh:mm:ss[.mmm][Z|+hh:mm]\" time after == != < "
                      "<= > >=",
                      8},
        BadExpression{"time == \"08/12/2025\"",
                      "expected a time as YYYY-MM-DDThh:mm:ss[.mmm][Z|+hh:mm]", 11},
        BadExpression{"time == \"2025-13-08\"", "expected a month from 01 to 12", 14},
        BadExpression{"time == \"2025-02-29\"", "expected a day from 01 to 28", 17},
        BadExpression{"time < \"2025-12-08T24:00\"", "expected an hour from 00 to 23", 19},
        BadExpression{"time >= \"2025-12-08T10:00:61Z\"", "expected a second from 00 to 60", 26},
        BadExpression{"time == \"2025-12-08T10:40:05.Z\"",
                      "expected the digits of a fraction of a second", 29},
        BadExpression{"time == \"2025-12-08T10:40:05+05:30:00\"",
                      "expected a time as YYYY-MM-DDThh:mm:ss[.mmm][Z|+hh:mm]", 34}));

TEST(SelectionWhere, NestingTooDeepIsRefused) {
  const std::string expression = std::string(65, '(') + "error" + std::string(65, ')');
  const RunResult result = run({"-f", "/nonexistent", "--where", expression});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "ovantrex: --where: the expression is nested too deeply\n  " + expression +
                            "\n  " + std::string(64, ' ') + "^\n");
}

TEST(SelectionWhere, LongChainIsOneNodeDeep) {
  // 100000 operands: neither the parser nor the selection descends per operand.
  std::string expression = "offset == 128";
  for (int i = 0; i < 100000; ++i) expression += " or offset == 1";
  EXPECT_EQ(selectedOffsets(expression), std::vector<long>{128});
}

TEST(SelectionWhere, RefusedWithOutputsItDoesNotSelect) {
  const std::string message =
      "ovantrex: --where selects the records of the listing and of JSON Lines: not with "
      "--summary, --report, --compare or --list\n";
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--summary"},
                                                  {"--summary", "--json"},
                                                  {"--report"},
                                                  {"--compare", "good.trc"},
                                                  {"--summary", "--json", "--list", "list.txt"}}) {
    std::vector<std::string> args{"-f", "trace.trc", "--where", "error"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult result = run(args);
    EXPECT_EQ(result.status, 1) << options[0];
    EXPECT_EQ(result.err, message) << options[0];
  }
}

TEST(SelectionWhere, FieldsListsEveryKeyWithItsTypeAndMeaning) {
  const RunResult result = run({"--fields"});
  EXPECT_EQ(result.status, 0);
  std::vector<std::string> lines;
  for (const std::string& line : entriesOf(result.out)) lines.push_back(line);
  // Every record field of JSON Lines, and the two facts.
  EXPECT_EQ(lines.size(), 66u + 2u);
  EXPECT_EQ(lines.front().substr(0, 6), "offset");
  EXPECT_NE(lines.front().find(" number (byte)  where the record's header starts"),
            std::string::npos);
  EXPECT_EQ(lines.back().substr(0, 5), "error");
}

}  // namespace
}  // namespace ovantrex::test
