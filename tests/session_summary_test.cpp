// The session summary (--summary): hand-made traces with known answers,
// read back with a real JSON parser, and the text form byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "core/firmware_codes.h"
#include "expected_text.h"
#include "firmware_traffic.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

using nlohmann::json;

json summaryOf(const TraceBuilder& trace) {
  const RunResult result = runTrace(trace, {"--summary", "--json"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << "one object on one line";
  json parsed = json::parse(result.out, nullptr, false);
  EXPECT_FALSE(parsed.is_discarded()) << result.out;
  return parsed;
}

// A label of the text summary, after its indent, padded to the column of 30
// characters where the values stand, or to the column of its list.
std::string label(std::string_view indent, std::string_view name, std::size_t column = 30) {
  return std::string(indent) + std::string(name) + blanks(column - indent.size() - name.size());
}

// The column of the replies' counts: two blanks past "Serial Number can
// only be written once for this device" (54 characters) at the indent of 2.
constexpr std::size_t kRepliesColumn = 58;
std::string replyLabel(std::string_view name) { return label("  ", name, kRepliesColumn); }

// A completed update: start, three consecutive writes, checksum, reset.
TraceBuilder completedUpdate() {
  TraceBuilder t;
  t.marker(kMarkerV3);
  t.text(0.0, "Updating\n", at(0));                             // offset 16
  t.hidWrite(5.0, kFirmware, startFlash(), at(5));              // 57
  t.hidRead(9.0, kFirmware, status(0x03), at(9));               // 101
  t.hidWrite(12.0, kFirmware, flashWrite(0x1000, 16), at(12));  // 147
  t.hidRead(14.0, kFirmware, status(0x03), at(14));
  t.hidWrite(16.0, kFirmware, flashWrite(0x1010, 16), at(16));
  t.hidRead(18.0, kFirmware, status(0x03), at(18));
  t.hidWrite(20.0, kFirmware, flashWrite(0x1020, 16), at(20));
  t.hidRead(22.0, kFirmware, status(0x03), at(22));
  t.hidWrite(30.0, kFirmware, checksum(0xbeef), at(30));
  t.hidRead(32.0, kFirmware, status(0x01), at(32));
  t.hidWrite(40.0, kFirmware, reset(), at(40));
  t.text(1250.0, "Done\n", at(250, 1));
  return t;
}

TEST(SessionSummary, ACompletedUpdate) {
  const json summary = summaryOf(completedUpdate());
  EXPECT_EQ(summary["records"], json::parse(R"j({"total":13,"by_type":{"Text":2,"Hex":0,
      "HIDWrite":6,"HIDRead":5,"HIDGetFeat":0,"HIDSetFeat":0,"Unknown":0},"hidden":0,"failed":0})j"));
  EXPECT_EQ(summary["versions"], json::parse("[3]"));
  EXPECT_EQ(summary["time"], json::parse(R"j({"first":"2001-09-09T01:46:40.000Z",
      "last":"2001-09-09T01:46:41.250Z","seconds":1.25,"in_order":true})j"));
  EXPECT_EQ(summary["commands"]["start_flash_update"], 1);
  EXPECT_EQ(summary["commands"]["flash_write"], 3);
  EXPECT_EQ(summary["commands"]["checksum_write"], 1);
  EXPECT_EQ(summary["commands"]["system_command"], 1);
  EXPECT_EQ(summary["commands"]["system_commands"], json::parse(R"j({"reset_usb_device":1})j"));
  ASSERT_EQ(summary["updates"].size(), 1u);
  // Every command is answered 2 ms after it, the start 4 ms after; the
  // reset (which needs none) has no reply.
  EXPECT_EQ(summary["updates"][0], json::parse(R"j({"offset":57,"time":"2001-09-09T01:46:40.005Z",
      "writes":3,"bytes":48,"ranges":[{"first":4096,"last":4143}],"ranges_left_out":0,
      "rewritten_bytes":0,"unanswered_writes":0,"refused_writes":0,"length_mismatches":0,
      "checksums":[48879],"checksums_left_out":0,"serial_numbers":[],"serial_numbers_left_out":0,
      "serial_number_writes":0,"reset":true,"errors":0,"refused":0,"recovered":0,"unanswered":1,
      "other_errors":0,"responses":{"median_ms":2,"slowest_ms":4,"exact":true},
      "outcome":"completed"})j"));
  EXPECT_EQ(summary["replies"]["command_complete"], 5);
  EXPECT_EQ(summary["replies"]["flash_load_in_progress"], 4);
  EXPECT_EQ(summary["replies"]["operation_in_error"], 0);
  EXPECT_TRUE(summary["replies"]["ec"].is_null());
  EXPECT_EQ(summary["errors"], json::array());
}

TEST(SessionSummary, ACompletedUpdateAsText) {
  TempDir dir;
  const std::string trace = dir.file("lane 7.trc");
  completedUpdate().writeTo(trace);
  const RunResult result = run({"--summary", "-f", trace});
  EXPECT_EQ(result.status, 0);
  // The marker, the texts and each record as their comments place them:
  // 16 + 41 + 44 + 46 + 3 x (64 + 46) + 48 + 46 + 44 + 37 bytes.
  const std::string expected =
      "update 1 completed: checksum written and device reset\n\nTrace\n" + label("  ", "file") +
      trace + ", 652 bytes\n" + label("  ", "records") + "13: Text 2, HIDWrite 6, HIDRead 5\n" +
      label("  ", "hidden by component") + "0\n" + label("  ", "fallback entries") + "0\n" +
      label("  ", "skipped") +
      "invalid minor code 0, over-long length 0, short extended header 0, short payload 0\n" +
      label("  ", "format versions") + "3\n" + label("  ", "time") +
      "2001-09-09T01:46:40.000Z to 2001-09-09T01:46:41.250Z, 1.25 s\n" + "\nFirmware commands\n" +
      label("  ", "system command") + "1: Reset USB device and reenumerate 1\n" +
      label("  ", "start flash update") + "1\n" + label("  ", "flash write") + "3\n" +
      label("  ", "checksum write") + "1\n" + label("  ", "serial number") + "0\n" +
      label("  ", "read one record") + "0\n" + label("  ", "read all records") + "0\n" +
      label("  ", "systems management request") + "0\n" + label("  ", "invalid command") + "0\n" +
      "\n" + label("", "Updates") + "1\n" + label("  ", "outcome rule") +
      std::string(kOutcomeRuleWords) + "\n" + label("  ", "outside any update") +
      "0 flash writes\n" + "  update 1 at offset 57, 2001-09-09T01:46:40.005Z\n" +
      label("    ", "flash writes") + "3, 48 bytes\n" + label("    ", "addresses") +
      "0x001000-0x00102f\n" + label("    ", "rewritten") + "0 bytes\n" +
      label("    ", "written by") + "3 accepted and 0 unanswered flash writes\n" +
      label("    ", "length mismatches") + "0\n" + label("    ", "checksums") + "0xbeef\n" +
      label("    ", "serial numbers") + "none\n" + label("    ", "reset") + "yes\n" +
      label("    ", "error replies") + "0\n" + label("    ", "refused") + "0, 0 recovered\n" +
      label("    ", "unanswered") + "1 command\n" + label("    ", "other error replies") + "0\n" +
      label("    ", "responses") + "median 2 ms, slowest 4 ms\n" + label("    ", "outcome") +
      "completed\n" + "\nReplies\n" + replyLabel("Command complete") + "5\n" +
      replyLabel("Flash load in progress") + "4\n" + replyLabel("EC information available") +
      "0\n" + replyLabel("Serial Number can only be written once for this device") + "0\n" +
      replyLabel("Operation in Error") + "0\n" + replyLabel("Command reject") + "0\n" +
      replyLabel("flash reads") + "0\n" + replyLabel("last EC levels") + "none\n" +
      "\nExchanges\n" + label("  ", "pairing rule") + std::string(kPairingRuleWords) + "\n" +
      label("  ", "percentiles") + std::string(kPercentileWords) + "\n" +
      label("  ", "system command") +
      "1 command, 0 answered, 1 unanswered, 0 refused; no response times\n" +
      label("  ", "start flash update") +
      "1 command, 1 answered, 0 unanswered, 0 refused; fastest 4 ms, median 4 ms, 95th "
      "percentile 4 ms, slowest 4 ms (exact)\n" +
      label("  ", "flash write") +
      "3 commands, 3 answered, 0 unanswered, 0 refused; fastest 2 ms, median 2 ms, 95th "
      "percentile 2 ms, slowest 2 ms (exact)\n" +
      label("  ", "checksum write") +
      "1 command, 1 answered, 0 unanswered, 0 refused; fastest 2 ms, median 2 ms, 95th "
      "percentile 2 ms, slowest 2 ms (exact)\n" +
      label("  ", "unanswered commands") + "1, at offsets 571\n" +
      label("  ", "unsolicited replies") + "0\n" + label("  ", "without a response time") + "0\n" +
      label("  ", "slowest exchanges") + "5\n" + label("    ", "4 ms") +
      "start flash update at offset 57, reply at offset 101\n" + label("    ", "2 ms") +
      "flash write at offset 147, reply at offset 211\n" + label("    ", "2 ms") +
      "flash write at offset 257, reply at offset 321\n" + label("    ", "2 ms") +
      "flash write at offset 367, reply at offset 431\n" + label("    ", "2 ms") +
      "checksum write at offset 477, reply at offset 525\n" + "\n" + label("", "Error replies") +
      "0\n" + "\nDevices\n" + "  none reported\n" +
      "\nTo list a record by its offset N with the 5 records before it: ovantrex -f '" + trace +
      "' --where 'offset == N' --before 5\n";
  EXPECT_EQ(result.out, expected);
}

TEST(SessionSummary, ClosingLineNamesTheTraceAsAShellTakesIt) {
  TempDir dir;
  const std::string plain = dir.file("lane-7.trc");
  if (plain.find_first_not_of(
          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./") !=
      std::string::npos)
    GTEST_SKIP() << "the temporary folder's name needs quotes in a shell: " << plain;
  const std::string blank = dir.file("lane 7.trc");
  const std::string quote = dir.file("lane's.trc");
  for (const auto& [name, word] : {std::pair{plain, plain},
                                   {blank, "'" + blank + "'"},
                                   {quote, "'" + dir.file("lane") + "'\\''s.trc'"}}) {
    completedUpdate().writeTo(name);
    const RunResult result = run({"--summary", "-f", name});
    EXPECT_EQ(result.out.substr(result.out.rfind("\n\n") + 2),
              "To list a record by its offset N with the 5 records before it: ovantrex -f " + word +
                  " --where 'offset == N' --before 5\n")
        << name;
  }
}

TEST(SessionSummary, AnUpdateRefusedMidwayAndRetried) {
  TraceBuilder t;
  t.marker(kMarkerV3);
  t.hidWrite(0.0, kFirmware, startFlash(), at(0));                // offset 16
  t.hidWrite(2.0, kFirmware, flashWrite(0x2000, 16), at(2));      // 60
  t.hidRead(3.0, kFirmware, status(0x03), at(3));                 // 124
  t.hidWrite(4.0, kFirmware, flashWrite(0x2010, 16, 23), at(4));  // 170
  t.hidRead(5.0, kFirmware, status(0x41), at(5));                 // 234
  t.text(6.0, "retrying\n", at(6));                               // 280
  t.hidWrite(7.0, kFirmware, flashWrite(0x2010, 16), at(7));
  t.hidRead(8.0, kFirmware, status(0x03), at(8));
  const json summary = summaryOf(t);
  ASSERT_EQ(summary["updates"].size(), 1u);
  const json& update = summary["updates"][0];
  EXPECT_EQ(update["writes"], 3);
  EXPECT_EQ(update["bytes"], 48);
  // The refused write is not counted as written: its retry writes its
  // addresses once.
  EXPECT_EQ(update["ranges"], json::parse(R"j([{"first":8192,"last":8223}])j"));
  EXPECT_EQ(update["rewritten_bytes"], 0);
  EXPECT_EQ(update["refused_writes"], 1);
  EXPECT_EQ(update["length_mismatches"], 1);
  EXPECT_EQ(update["reset"], false);
  EXPECT_EQ(update["errors"], 1);
  EXPECT_EQ(update["refused"], 1);
  EXPECT_EQ(update["recovered"], 1);
  EXPECT_EQ(update["other_errors"], 0);
  EXPECT_EQ(update["outcome"], "unfinished");
  EXPECT_EQ(summary["replies"]["operation_in_error"], 1);
  EXPECT_EQ(summary["errors"], json::parse(R"j([{"offset":234,"time":"2001-09-09T01:46:40.005Z",
      "notes":["Command complete","Operation in Error"],"notes_left_out":0,"update":1,
      "decoded":{"kind":"status reply","status":{"value":65,
                 "bits":["Command complete","Operation in Error"]},"truncated":false},
      "command":{"offset":170,"notes":["Flash write 16 bytes to address=0x002010",
                                       "Invalid command, data_count=16 + 6 note equal to 23"],
                 "notes_left_out":0,
                 "decoded":{"kind":"flash write","command":{"value":2,"name":"flash write"},
                            "data_count":16,"address":8208,"length_field":23,
                            "length_agrees":false,"truncated":false}}}])j"));
}

// The outcome of each update and the verdict on all of them, on traces
// written one letter per record in format version 1: S a start (28 bytes),
// W a flash write of 0x5a to 0x1000 (33), X the same with a length field
// that disagrees, V a flash write of other bytes to 0x1000, C a checksum
// (32), R a reset (28), N a serial number (38), k a reply "Command
// complete" (30), e a reply "Command reject", q a reply with the
// serial-number bit. The counts: the last update's refused, recovered and
// unanswered commands and its other error replies.
TEST(SessionSummary, EachUpdateEndsAsTheOutcomeRuleSays) {
  const struct {
    const char* steps;
    std::vector<std::string> outcomes;  // of each update, in JSON and in text
    std::array<int, 4> counts;
    const char* verdict;  // the first line of the text
  } cases[] = {
      {"SWeCkRk",
       {"failed"},
       {1, 0, 1, 0},
       "update 1 failed: the device refused 'Flash write 1 bytes to address=0x001000' once, not "
       "retried; checksum written, device reset"},
      {"SWkCkRk",
       {"completed"},
       {0, 0, 1, 0},
       "update 1 completed: checksum written and device reset"},
      {"SWkRkCk",
       {"completed"},
       {0, 0, 1, 0},
       "update 1 completed: checksum written and device reset"},
      // No reply accepted the checksum; a reset needs none.
      {"SWCR",
       {"unfinished"},
       {0, 0, 4, 0},
       "update 1 unfinished: device reset but checksum write not answered; 1 unanswered flash "
       "write counted as written"},
      {"SWk",
       {"unfinished"},
       {0, 0, 1, 0},
       "update 1 unfinished: no checksum written and no reset"},
      {"SWkCk", {"unfinished"}, {0, 0, 1, 0}, "update 1 unfinished: checksum written but no reset"},
      {"SWkRk",
       {"unfinished"},
       {0, 0, 1, 0},
       "update 1 unfinished: device reset but no checksum written"},
      // The last command, at 91, went unanswered.
      {"SWkW",
       {"unfinished"},
       {0, 0, 2, 0},
       "update 1 unfinished: no reply to 'Flash write 1 bytes to address=0x001000' at offset 91; "
       "no checksum written and no reset; 1 unanswered flash write counted as written"},
      // The error reply before the first update answers no command and fails none.
      {"eSWkCkRk",
       {"completed"},
       {0, 0, 1, 0},
       "update 1 completed: checksum written and device reset"},
      // A malformed write refused, then sent again with the same bytes and taken.
      {"SXeWkCkRk",
       {"completed"},
       {1, 1, 1, 0},
       "update 1 completed: checksum written and device reset; 1 refused flash write retried"},
      {"SWeVkCkRk",
       {"failed"},
       {1, 0, 1, 0},
       "update 1 failed: the device refused 'Flash write 1 bytes to address=0x001000' once, "
       "retried with other bytes; checksum written, device reset"},
      {"SWeWeWeWe",
       {"failed"},
       {4, 0, 1, 0},
       "update 1 failed: the device refused 'Flash write 1 bytes to address=0x001000' 4 times; "
       "no checksum, no reset"},
      {"SWeW",
       {"failed"},
       {1, 0, 2, 0},
       "update 1 failed: the device refused 'Flash write 1 bytes to address=0x001000' once, "
       "retried without a reply; no checksum, no reset; 1 unanswered flash write counted as "
       "written"},
      {"SWkCeCkRk",
       {"completed"},
       {1, 1, 1, 0},
       "update 1 completed: checksum written and device reset; 1 refused checksum write retried"},
      {"SWkCkReRk",
       {"completed"},
       {1, 1, 1, 0},
       "update 1 completed: checksum written and device reset; 1 refused reset retried"},
      // A serial number the device already has fails nothing.
      {"SWkNqCkRk",
       {"completed"},
       {0, 0, 1, 1},
       "update 1 completed: checksum written and device reset; 1 other error reply"},
      // Update 2 starts at 211; its write at 239 is refused, and another
      // error reply at 332 answers no command.
      {"SWkCkRkSWeke",
       {"completed", "failed"},
       {1, 0, 1, 1},
       "2 updates: 1 completed, 1 failed; update 2 (the last) failed: the device refused 'Flash "
       "write 1 bytes to address=0x001000' once, not retried; no checksum, no reset; 1 other "
       "error reply"},
      // A refused start fails nothing; update 3 starts at 146.
      {"SeSCRS",
       {"unfinished", "unfinished", "unfinished"},
       {0, 0, 1, 0},
       "3 updates: 3 unfinished; update 3 (the last) unfinished: no reply to 'Start flash "
       "update' at offset 146; no checksum written and no reset"},
      {"Wke", {}, {}, "no update: the trace holds no \"Start flash update\" command"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.steps);
    TraceBuilder t;
    for (const char step : std::string_view(c.steps)) {
      if (step == 'S') t.hidWrite(0.0, kFirmware, startFlash());
      if (step == 'W') t.hidWrite(0.0, kFirmware, flashWrite(0x1000, 1));
      if (step == 'X') t.hidWrite(0.0, kFirmware, flashWrite(0x1000, 1, 9));
      if (step == 'V')
        t.hidWrite(0.0, kFirmware, {0x07, 0x00, 0x02, 0x00, 0x01, 0x00, 0x10, 0x00, 0x01});
      if (step == 'C') t.hidWrite(0.0, kFirmware, checksum(0x1234));
      if (step == 'R') t.hidWrite(0.0, kFirmware, reset());
      if (step == 'N') t.hidWrite(0.0, kFirmware, serialNumber("S1"));
      if (step == 'k' || step == 'e' || step == 'q')
        t.hidRead(0.0, kFirmware, status(step == 'k' ? 0x01 : step == 'e' ? 0x80 : 0x21));
    }
    const json summary = summaryOf(t);
    std::vector<std::string> inJson;
    for (const json& update : summary["updates"]) inJson.push_back(update["outcome"]);
    EXPECT_EQ(inJson, c.outcomes);
    for (const char* outcome : {"completed", "failed", "unfinished"}) {
      EXPECT_EQ(summary["outcomes"][outcome], std::ranges::count(c.outcomes, outcome)) << outcome;
    }
    const json& last = summary["last_update"];
    EXPECT_EQ(last.is_null(), c.outcomes.empty());
    if (!last.is_null()) {
      EXPECT_EQ((std::array<int, 4>{last["refused"], last["recovered"], last["unanswered"],
                                    last["other_errors"]}),
                c.counts);
    }
    EXPECT_EQ(summary["verdict"], c.verdict);

    const std::string text = runTrace(t, {"--summary"}).out;
    EXPECT_TRUE(text.starts_with(std::string(c.verdict) + "\n\nTrace\n")) << text;
    std::vector<std::string> inText;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with(label("    ", "outcome"))) inText.push_back(line.substr(30));
    }
    EXPECT_EQ(inText, c.outcomes);
  }
}

// One rewritten byte is "1 byte", in the text summary and on the page.
TEST(SessionSummary, OneRewrittenByteIsCountedInTheSingular) {
  TraceBuilder t;
  t.hidWrite(1.0, kFirmware, startFlash());
  t.hidWrite(2.0, kFirmware, flashWrite(0x0100, 8));
  t.hidWrite(3.0, kFirmware, flashWrite(0x0107, 8));  // its first byte is the last one before
  EXPECT_NE(runTrace(t, {"--summary"}).out.find(label("    ", "rewritten") + "1 byte\n"),
            std::string::npos);
  TempDir dir;
  t.writeTo(dir.file("trace.trc"));
  ASSERT_EQ(run({"--report", "-f", dir.file("trace.trc"), "-w", dir.file("page.html")}).status, 0);
  EXPECT_NE(readFile(dir.file("page.html")).find("<td class=\"n\">1 byte</td>"), std::string::npos);
}

TEST(SessionSummary, GapsOverlapsAndWritesBeforeAnyStart) {
  TraceBuilder t;
  t.hidWrite(0.0, kFirmware, flashWrite(0x0500, 8));  // before any start: counted only
  t.hidWrite(1.0, kFirmware, startFlash());
  t.hidWrite(2.0, kFirmware, flashWrite(0x0100, 16));
  t.hidWrite(3.0, kFirmware, flashWrite(0x0120, 16));    // a gap of 16
  t.hidWrite(4.0, kFirmware, flashWrite(0x0128, 16));    // 8 bytes over the last
  t.hidWrite(5.0, kFirmware, flashWrite(0x0110, 16));    // fills the gap
  t.hidWrite(6.0, kFirmware, flashWrite(0xfffff8, 16));  // reaches past the 24-bit space
  t.marker(kMarkerV2).text(7.0, "two\n");
  const json summary = summaryOf(t);
  EXPECT_EQ(summary["commands"]["flash_write"], 6);
  EXPECT_EQ(summary["writes_outside_updates"], 1);
  ASSERT_EQ(summary["updates"].size(), 1u);
  const json& update = summary["updates"][0];
  EXPECT_EQ(update["writes"], 5);
  EXPECT_EQ(update["rewritten_bytes"], 8);
  EXPECT_EQ(update["ranges"], json::parse(R"j([{"first":256,"last":311},
      {"first":16777208,"last":16777223}])j"));
  // No times in format versions 1 and 2.
  EXPECT_TRUE(update["time"].is_null());
  EXPECT_EQ(summary["versions"], json::parse("[1,2]"));
  EXPECT_EQ(summary["time"],
            json::parse(R"j({"first":null,"last":null,"seconds":null,"in_order":null})j"));
  const std::string text = runTrace(t, {"--summary"}).out;
  for (const std::string& line :
       {label("  ", "format versions") + "1, 2\n" + label("  ", "time") +
            "none (no records of format version 3)\n",
        label("  ", "outside any update") + "1 flash write\n",
        label("    ", "addresses") + "0x000100-0x000137, 0xfffff8-0x1000007\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(SessionSummary, TwoUpdatesKeepTheirOwnAddressesAndErrors) {
  TraceBuilder t;
  t.marker(kMarkerV2);
  t.hidWrite(0.0, kFirmware, serialNumber("SN1"));
  t.hidRead(1.0, kFirmware, status(0x21));  // before any update
  t.hidWrite(2.0, kFirmware, startFlash());
  t.hidWrite(3.0, kFirmware, flashWrite(0x3000, 4));
  t.hidWrite(4.0, kFirmware, serialNumber("AB\x1b"));
  t.hidWrite(5.0, kFirmware, reset());
  t.hidWrite(6.0, kFirmware, startFlash());
  t.hidWrite(7.0, kFirmware, flashWrite(0x3000, 4));           // again, but in a new update
  t.hidWrite(7.5, kFirmware, {0x03, 0x00, 0x00, 0x00, 0x01});  // a system command, no reset
  t.hidRead(8.0, kFirmware, status(0x80));
  const json summary = summaryOf(t);
  EXPECT_EQ(summary["versions"], json::parse("[2]"));
  ASSERT_EQ(summary["updates"].size(), 2u);
  EXPECT_EQ(summary["updates"][0]["rewritten_bytes"], 0);
  EXPECT_EQ(summary["updates"][0]["serial_numbers"], json::parse(R"j(["AB\u001b"])j"));
  EXPECT_EQ(summary["updates"][0]["reset"], true);
  EXPECT_EQ(summary["updates"][0]["errors"], 0);
  EXPECT_EQ(summary["updates"][1]["rewritten_bytes"], 0);
  EXPECT_EQ(summary["updates"][1]["ranges"], json::parse(R"j([{"first":12288,"last":12291}])j"));
  EXPECT_EQ(summary["updates"][1]["reset"], false);
  EXPECT_EQ(summary["updates"][1]["errors"], 1);
  ASSERT_EQ(summary["errors"].size(), 2u);
  EXPECT_TRUE(summary["errors"][0]["update"].is_null());
  EXPECT_EQ(
      summary["errors"][0]["notes"],
      json::parse(
          R"j(["Command complete","Serial Number can only be written once for this device"])j"));
  EXPECT_EQ(summary["errors"][0]["command"]["notes"],
            json::parse(R"j(["Write serial number (S/N: SN1)"])j"));
  EXPECT_EQ(summary["errors"][1]["update"], 2);
  EXPECT_EQ(summary["errors_outside_updates"], 1);
  EXPECT_EQ(summary["writes_outside_updates"], 0);
}

TEST(SessionSummary, ErrorCommandNotesNameRequestEntriesWithoutTheListingIndent) {
  // A systems-management request of two entries, the second with neither
  // a report kind nor a device class that has a name; then a refusal.
  TraceBuilder t;
  t.hidWrite(0.0, kFirmware, {0x0c, 0x00, 0x40, 0, 0, 0, 0, 0, 0x41, 0x04, 0x60, 0x10, 0x00, 0x99});
  t.hidRead(1.0, kFirmware, status(0x41));
  const json summary = summaryOf(t);
  ASSERT_EQ(summary["errors"].size(), 1u);
  EXPECT_EQ(
      summary["errors"][0]["command"]["notes"],
      json::parse(R"j(["Systems Management Request:","Inventory Report for Keyboard"," for "])j"));

  const RunResult text = runTrace(t, {"--summary"});
  EXPECT_NE(text.out.find("\n    after the command at offset 0: Systems Management Request:; "
                          "Inventory Report for Keyboard;  for \n"),
            std::string::npos)
      << text.out;
}

TEST(SessionSummary, TimesOutOfOrderGiveTheEarliestAndTheLatest) {
  const auto ext = [](std::int32_t seconds, std::uint16_t millis) {
    return ExtHeader{.thread = 1, .process = 2, .seconds = seconds, .millis = millis};
  };
  const struct {
    const char* what;
    std::vector<ExtHeader> times;
    const char* expected;
  } cases[] = {
      {"backwards across the whole range",
       {ext(2147483647, 999), ext(-2147483648, 0)},
       R"j({"first":"1901-12-13T20:45:52.000Z","last":"2038-01-19T03:14:07.999Z",
            "seconds":4294967295.999,"in_order":false})j"},
      {"the earliest in the middle",
       {ext(1000000000, 500), ext(1000000000, 100), ext(1000000001, 0)},
       R"j({"first":"2001-09-09T01:46:40.100Z","last":"2001-09-09T01:46:41.000Z",
            "seconds":0.9,"in_order":false})j"},
      {"milliseconds past a second count as later seconds",
       {ext(1000000000, 1500), ext(1000000001, 200)},
       R"j({"first":"2001-09-09T01:46:41.200Z","last":"2001-09-09T01:46:41.500Z",
            "seconds":0.3,"in_order":false})j"},
      {"equal times are in order",
       {ext(1000000000, 5), ext(1000000000, 5)},
       R"j({"first":"2001-09-09T01:46:40.005Z","last":"2001-09-09T01:46:40.005Z",
            "seconds":0,"in_order":true})j"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TraceBuilder t;
    t.marker(kMarkerV3);
    for (const ExtHeader& time : c.times) t.text(0.0, "tick\n", time);
    EXPECT_EQ(summaryOf(t)["time"], json::parse(c.expected));
  }
  // A record without a time (format version 2) between two timed ones
  // changes neither the span nor the order: the step back across it counts.
  TraceBuilder mixed;
  mixed.marker(kMarkerV3).text(0.0, "late\n", ext(1000000001, 0));
  mixed.marker(kMarkerV2).text(0.0, "untimed\n");
  mixed.marker(kMarkerV3).text(0.0, "early\n", ext(1000000000, 0));
  EXPECT_EQ(summaryOf(mixed)["time"],
            json::parse(R"j({"first":"2001-09-09T01:46:40.000Z","last":"2001-09-09T01:46:41.000Z",
                             "seconds":1,"in_order":false})j"));

  // The text summary and the top of the page say it in words.
  TraceBuilder backwards;
  backwards.marker(kMarkerV3);
  backwards.text(0.0, "late\n", ext(2147483647, 999)).text(0.0, "early\n", ext(-2147483648, 0));
  const std::string span =
      "1901-12-13T20:45:52.000Z to 2038-01-19T03:14:07.999Z, 4294967295.999 s (earliest to "
      "latest: times not in order)\n";
  const RunResult text = runTrace(backwards, {"--summary"});
  EXPECT_NE(text.out.find("\n  time                        " + span), std::string::npos)
      << text.out;
  const RunResult page = runTrace(backwards, {"--report"});
  EXPECT_NE(page.out.find(": 2 records from <time>1901-12-13T20:45:52.000Z</time> to "
                          "<time>2038-01-19T03:14:07.999Z</time> (earliest to latest: times not in "
                          "order).</p>"),
            std::string::npos);
}

// A serial number written again in the same update is listed once, in the
// order of its first write; every write is counted, and said behind the
// list when some were repeats.
TEST(SessionSummary, EachSerialNumberIsListedOnceInItsUpdate) {
  std::vector<std::string> hundred;
  std::string hundredListed;
  for (int i = 100; i < 200; ++i) {
    hundred.emplace_back("S").append(std::to_string(i));
    if (i != 100) hundredListed += ", ";
    hundredListed += hundred.back();
  }
  const auto plus = [](std::vector<std::string> serials, std::vector<std::string> more) {
    serials.insert(serials.end(), more.begin(), more.end());
    return serials;
  };
  struct Case {
    const char* what;
    std::vector<std::string> written;
    std::vector<std::string> listed;
    int leftOut;
    std::string text;  // behind the label
  };
  const Case cases[] = {
      {"one written three times", {"A", "A", "A"}, {"A"}, 0, "A (3 writes)"},
      {"repeats among others, in the order first written",
       {"A", "B", "A", "C", "B"},
       {"A", "B", "C"},
       0,
       "A, B, C (5 writes)"},
      {"the same characters, one fewer", {"AB", "A", "AB"}, {"AB", "A"}, 0, "AB, A (3 writes)"},
      {"past the hundredth a new one is left out, a repeat is not",
       plus(hundred, {"X", "S100", "X"}), hundred, 2, hundredListed + " and 2 more (103 writes)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TraceBuilder t;
    t.hidWrite(0.0, kFirmware, startFlash());
    for (const std::string& serial : c.written) t.hidWrite(0.0, kFirmware, serialNumber(serial));
    // The next update lists its own.
    t.hidWrite(0.0, kFirmware, startFlash());
    t.hidWrite(0.0, kFirmware, serialNumber(c.written.front()));
    const json summary = summaryOf(t);
    const json& update = summary["updates"][0];
    EXPECT_EQ(update["serial_numbers"], json(c.listed));
    EXPECT_EQ(update["serial_numbers_left_out"], c.leftOut);
    EXPECT_EQ(update["serial_number_writes"], c.written.size());
    EXPECT_EQ(summary["updates"][1]["serial_numbers"], json({c.written.front()}));
    EXPECT_EQ(summary["updates"][1]["serial_number_writes"], 1);
    const std::string text = runTrace(t, {"--summary"}).out;
    EXPECT_NE(text.find("    serial numbers            " + c.text + "\n"), std::string::npos)
        << text;
  }
}

// Error replies after systems-management requests of 127 entries: of the
// command's 128 notes (the request's heading and an entry each) the first
// 16 are listed under every error reply, and the other 112 counted.
TEST(SessionSummary, AnErrorReplyListsTheFirstNotesOfItsCommandAndCountsTheRest) {
  Payload request{0x00, 0x01, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x41, 254};
  for (int i = 0; i < 127; ++i) request += Payload{0x60, 0x10};  // inventory of the keyboard
  TraceBuilder t;
  t.hidWrite(0.0, kFirmware, startFlash());
  std::vector<std::size_t> commandOffsets;
  for (int i = 0; i < 1500; ++i) {
    commandOffsets.push_back(t.size());
    t.hidWrite(0.0, kFirmware, request);
    t.hidRead(0.0, kFirmware, status(0x80));
  }
  const json summary = summaryOf(t);
  ASSERT_EQ(summary["errors"].size(), 1000u);
  EXPECT_EQ(summary["errors_left_out"], 500);
  const std::string entry = "Inventory Report for Keyboard";
  for (const json& error : summary["errors"]) {
    ASSERT_EQ(error["notes"], json::parse(R"j(["Command reject"])j"));
    ASSERT_EQ(error["notes_left_out"], 0);
    const json& notes = error["command"]["notes"];
    ASSERT_EQ(notes.size() + error["command"]["notes_left_out"].get<std::size_t>(), 128u);
    ASSERT_GE(notes.size(), 3u);  // each list keeps its share
  }
  EXPECT_EQ(summary["errors"][0]["command"]["notes"].size(), 16u);
  EXPECT_EQ(summary["errors"][999]["command"]["notes"].size(), 16u);
  EXPECT_EQ(summary["errors"][999]["command"]["notes_left_out"], 112);

  const std::string text = runTrace(t, {"--summary"}).out;
  std::string first = "Systems Management Request:";
  for (int i = 0; i < 15; ++i) first += "; " + entry;
  EXPECT_NE(text.find("    after the command at offset " + std::to_string(commandOffsets[0]) +
                      ": " + first + " and 112 more notes\n"),
            std::string::npos);
  const std::string html = runTrace(t, {"--report"}).out;
  EXPECT_NE(html.find("Inventory Report for Keyboard and 112 more notes</td>"), std::string::npos);
}

// A figure of the JSON summary: where it stands (a JSON pointer) and its
// value; a pointer that ends in "#" stands for the length of its array.
using Figure = std::pair<std::string, json>;

void expectFigures(const json& summary, const std::vector<Figure>& figures) {
  for (const auto& [where, value] : figures) {
    const bool length = where.ends_with('#');
    const json::json_pointer pointer(length ? where.substr(0, where.size() - 1) : where);
    if (!summary.contains(pointer)) {
      ADD_FAILURE() << where << " is missing";
      continue;
    }
    EXPECT_EQ(length ? json(summary.at(pointer).size()) : summary.at(pointer), value) << where;
  }
}

// Every list that a trace can grow, at its cap and one past it, and the
// rooms that the updates share: the last item kept, the first left out, and
// the counts, which stay exact. Offsets by hand from the record sizes of
// updatesOf(): a start 28 bytes, a write 33, a checksum 32, a serial number
// 40, a reply 30.
TEST(SessionSummary, EachCapKeepsItsLastItemAndCountsTheRest) {
  // Updates of a write and two error replies each: 121 bytes, update n at
  // 121 (n - 1): update 1000 at 120879. Error reply 1000 is the second of
  // update 500, at 60379 + 28 + 33 + 30 = 60470, after its write at 60407.
  // The first error reply refuses the write, which no retry recovers (and
  // which therefore writes nothing); the second answers no command. All
  // the stamps are 0.
  const std::string update1000 =
      "  update 1000 at offset 120879\n" + label("    ", "flash writes") + "1, 1 bytes\n" +
      label("    ", "addresses") + "none\n" + label("    ", "rewritten") + "0 bytes\n" +
      label("    ", "written by") +
      "0 accepted and 0 unanswered flash writes; 1 refused left out\n" +
      label("    ", "length mismatches") + "0\n" + label("    ", "checksums") + "none\n" +
      label("    ", "serial numbers") + "none\n" + label("    ", "reset") + "no\n" +
      label("    ", "error replies") + "2\n" + label("    ", "refused") + "1, 0 recovered\n" +
      label("    ", "unanswered") + "1 command\n" + label("    ", "other error replies") + "1\n" +
      label("    ", "responses") + "median 0 ms, slowest 0 ms\n" + label("    ", "outcome") +
      "failed\n";
  const json update1000Json = json::parse(R"j({"offset":120879,"time":null,"writes":1,"bytes":1,
      "ranges":[],"ranges_left_out":0,"rewritten_bytes":0,"unanswered_writes":0,
      "refused_writes":1,"length_mismatches":0,"checksums":[],"checksums_left_out":0,
      "serial_numbers":[],"serial_numbers_left_out":0,"serial_number_writes":0,"reset":false,
      "errors":2,"refused":1,"recovered":0,"unanswered":1,"other_errors":1,
      "responses":{"median_ms":0,"slowest_ms":0,"exact":true},"outcome":"failed"})j");
  const std::string verdict1001 =
      "1001 updates: 1001 failed; update 1001 (the last) failed: the device refused 'Flash write "
      "1 bytes to address=0x000000' once, not retried; no checksum, no reset; 1 other error reply";
  const std::string error1000 =
      "  offset 60470, update 500: Command reject\n"
      "    after the command at offset 60407: Flash write 1 bytes to address=0x000000\n";
  const json error1000Json = json::parse(R"j({"offset":60470,"time":null,
      "notes":["Command reject"],"notes_left_out":0,"update":500,
      "decoded":{"kind":"status reply","status":{"value":128,"bits":["Command reject"]},
                 "truncated":false},
      "command":{"offset":60407,"notes":["Flash write 1 bytes to address=0x000000"],
                 "notes_left_out":0,
                 "decoded":{"kind":"flash write","command":{"value":2,"name":"flash write"},
                            "data_count":1,"address":0,"length_field":7,"length_agrees":true,
                            "truncated":false}}})j");
  // One update with its lists at their caps: its replies start at 28 +
  // 1000 x 33 + 100 x 32 + 100 x 40 = 40228, reply 1000 at 40228 + 999 x 30
  // = 70198, after serial number S099 at 40228 - 40 = 40188. One past the
  // caps: the replies start at 28 + 1001 x 33 + 101 x 32 + 101 x 40 = 40333,
  // reply 1000 at 70303, after S100 at 40293. Range 1000 is the write at
  // 2 x 999 = 1998 (0x7ce), checksum 100 is 99 (0x63).
  const auto lastReply = [](int offset, int serialNumber, std::string_view serial) {
    return "  offset " + std::to_string(offset) + ", update 1: Command reject\n" +
           "    after the command at offset " + std::to_string(serialNumber) +
           ": Write serial number (S/N: " + std::string(serial) + ")\n";
  };
  //
  // Checksums share 4,096 places, 2 kept back for each update to come
  // (1000 - n after update n): updates 1 to 21 find 100 of them, update 22
  // finds 4096 - 2100 - 2 x 978 = 40, each later update its 2. Serial
  // numbers share 2,048, 1 kept back: updates 1 to 10 find 100, update 11
  // finds 2048 - 1000 - 989 = 59, each later update its 1.
  struct CapCase {
    const char* what;
    TraceBuilder trace;
    std::vector<Figure> figures;
    std::vector<std::string> text;  // pieces of the text summary
  };
  const CapCase cases[] = {
      {"1,000 updates, each listed",
       updatesOf(1000, {.writes = 1, .errors = 2}),
       {{"/updates#", 1000},
        {"/updates/999", update1000Json},
        {"/updates_left_out", 0},
        {"/errors#", 1000},
        {"/errors/999", error1000Json},
        {"/errors_left_out", 1000}},
       {label("", "Updates") + "1000\n", update1000 + "\nReplies\n",
        label("", "Error replies") + "2000\n", error1000 + "  and 1000 more\n\nDevices\n"}},
      {"1,001 updates, the last counted alone",
       updatesOf(1001, {.writes = 1, .errors = 2}),
       {{"/updates#", 1000},
        {"/updates/999", update1000Json},
        {"/updates_left_out", 1},
        {"/commands/start_flash_update", 1001},
        {"/commands/flash_write", 1001},
        {"/replies/command_reject", 2002},
        {"/errors#", 1000},
        {"/errors/999", error1000Json},
        {"/errors_left_out", 1002},
        {"/errors_outside_updates", 0},
        {"/writes_outside_updates", 0},
        // Update 1001, at 121000, counts in the verdict: its first error
        // reply is at 121000 + 28 + 33.
        {"/outcomes", json::parse(R"j({"completed":0,"failed":1001,"unfinished":0})j")},
        {"/last_update", json::parse(R"j({"number":1001,"outcome":"failed","errors":2,
            "first_error_offset":121061,"checksum_written":false,"reset":false,"refused":1,
            "recovered":0,"unrecovered":1,"unanswered":1,"other_errors":1})j")}},
       {verdict1001 + "\n\nTrace\n", label("", "Updates") + "1001\n",
        update1000 + "  and 1 more\n\nReplies\n", label("", "Error replies") + "2002\n",
        error1000 + "  and 1002 more\n\nDevices\n"}},
      {"one update with its lists at their caps, each item listed",
       updatesOf(1, {.writes = 1000, .checksums = 100, .serialNumbers = 100, .errors = 1000}),
       {{"/updates/0/ranges#", 1000},
        {"/updates/0/ranges/999", json::parse(R"j({"first":1998,"last":1998})j")},
        {"/updates/0/ranges_left_out", 0},
        {"/updates/0/checksums#", 100},
        {"/updates/0/checksums/99", 99},
        {"/updates/0/checksums_left_out", 0},
        {"/updates/0/serial_numbers#", 100},
        {"/updates/0/serial_numbers/99", "S099"},
        {"/updates/0/serial_numbers_left_out", 0},
        {"/updates/0/errors", 1000},
        {"/errors#", 1000},
        {"/errors/999/offset", 70198},
        {"/errors/999/command/offset", 40188},
        {"/errors_left_out", 0}},
       {"0x0007cc-0x0007cc, 0x0007ce-0x0007ce\n", "0x0062, 0x0063\n", ", S098, S099\n",
        label("    ", "error replies") + "1000\n", label("", "Error replies") + "1000\n",
        lastReply(70198, 40188, "S099") + "\nDevices\n"}},
      {"one update one past each cap, the last item counted alone",
       updatesOf(1, {.writes = 1001, .checksums = 101, .serialNumbers = 101, .errors = 1001}),
       {{"/updates/0/ranges#", 1000},
        {"/updates/0/ranges_left_out", 1},
        {"/updates/0/checksums#", 100},
        {"/updates/0/checksums_left_out", 1},
        {"/updates/0/serial_numbers#", 100},
        {"/updates/0/serial_numbers_left_out", 1},
        {"/updates/0/serial_number_writes", 101},
        {"/updates/0/errors", 1001},
        {"/errors#", 1000},
        {"/errors/999/offset", 70303},
        {"/errors/999/command/offset", 40293},
        {"/errors_left_out", 1}},
       {label("    ", "flash writes") + "1001, 1001 bytes\n", "0x0007ce-0x0007ce and 1 more\n",
        "0x0063 and 1 more\n", ", S099 and 1 more\n", label("    ", "error replies") + "1001\n",
        label("", "Error replies") + "1001\n",
        lastReply(70303, 40293, "S100") + "  and 1 more\n\nDevices\n"}},
      {"25 updates share the rooms of checksums and serial numbers",
       updatesOf(25, {.checksums = 101, .serialNumbers = 100}),
       {{"/updates/20/checksums#", 100},
        {"/updates/21/checksums#", 40},
        {"/updates/21/checksums/39", 39},
        {"/updates/21/checksums_left_out", 61},
        {"/updates/24/checksums", json::parse("[0,1]")},
        {"/updates/24/checksums_left_out", 99},
        {"/updates/9/serial_numbers#", 100},
        {"/updates/10/serial_numbers#", 59},
        {"/updates/10/serial_numbers/58", "S058"},
        {"/updates/10/serial_numbers_left_out", 41},
        {"/updates/24/serial_numbers", json::parse(R"j(["S000"])j")},
        {"/updates/24/serial_numbers_left_out", 99},
        {"/updates/24/serial_number_writes", 100}},
       {"0x0026, 0x0027 and 61 more\n", ", S057, S058 and 41 more\n",
        "  update 25 at offset " + std::to_string(24 * (28 + 101 * 32 + 100 * 40)) + "\n" +
            label("    ", "flash writes") + "0, 0 bytes\n" + label("    ", "addresses") + "none\n" +
            label("    ", "rewritten") + "0 bytes\n" + label("    ", "written by") +
            "0 accepted and 0 unanswered flash writes\n" + label("    ", "length mismatches") +
            "0\n" + label("    ", "checksums") + "0x0000, 0x0001 and 99 more\n" +
            label("    ", "serial numbers") + "S000 and 99 more\n"}},
  };
  for (const CapCase& c : cases) {
    SCOPED_TRACE(c.what);
    expectFigures(summaryOf(c.trace), c.figures);
    const RunResult text = runTrace(c.trace, {"--summary"});
    for (const std::string& piece : c.text)
      EXPECT_NE(text.out.find(piece), std::string::npos) << piece;
  }
}

// The verdict on bytes that hold no data record, and on a trace that ends
// inside a record (format version 1 unless a marker says otherwise).
TEST(SessionSummary, TheVerdictSaysWhenNoDataRecordIsFoundAndWhereTheTraceIsCut) {
  TraceBuilder zeros;
  zeros.bytes(repeated(4096, 0));
  TraceBuilder cutPayload;  // a completed update, then 3 of 10 bytes at 148
  cutPayload.hidWrite(0.0, kFirmware, startFlash()).hidRead(0.0, kFirmware, status(0x01));
  cutPayload.hidWrite(0.0, kFirmware, checksum(0x1234)).hidRead(0.0, kFirmware, status(0x01));
  cutPayload.hidWrite(0.0, kFirmware, reset()).header(10, 42).bytes({1, 2, 3});
  TraceBuilder cutHeader;  // the second header of the record at 16 cut after 2 bytes
  cutHeader.marker(kMarkerV2).header(0, 42).bytes({0, 0});
  const struct {
    const char* name;
    const TraceBuilder& trace;
    const char* verdict;
  } cases[] = {
      {"FourKibibytesOfZeros", zeros,
       "no update: no data record found in 4096 bytes (256 records skipped)"},
      {"AnEmptyFile", TraceBuilder(),
       "no update: no data record found in 0 bytes (0 records skipped)"},
      {"CutInsideAPayload", cutPayload,
       "update 1 completed: checksum written and device reset; the trace ends inside a record at "
       "offset 148"},
      {"CutInsideTheSecondHeader", cutHeader,
       "no update: no data record found in 34 bytes (1 record skipped); the trace ends inside a "
       "record at offset 16"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(json::parse(runTrace(c.trace, {"--summary", "--json"}).out)["verdict"], c.verdict);
    EXPECT_TRUE(runTrace(c.trace, {"--summary"}).out.starts_with(std::string(c.verdict) + "\n"));
  }
}

TEST(SessionSummary, ATraceWithoutFirmwareRecords) {
  TraceBuilder t;
  t.text(0.0, "hello\n").hex(1.0, {1, 2, 3}).hidWrite(2.0, {0, 0, 0x21, 0}, {1, 2});
  const json summary = summaryOf(t);
  EXPECT_EQ(summary["records"]["total"], 3);
  for (const auto& [name, count] : summary["commands"].items()) {
    if (name != "system_commands") {
      EXPECT_EQ(count, 0) << name;
    }
  }
  EXPECT_EQ(summary["updates"], json::array());
  EXPECT_EQ(summary["errors"], json::array());
  EXPECT_EQ(summary["devices"], json::parse(R"j({"version_list":null,"classes":[]})j"));
}

TEST(SessionSummary, DiagnosticsHiddenAndFailedRecordsAreCounted) {
  TraceBuilder t;
  t.header(0, 502);         // invalid minor code
  t.header(300000, kText);  // over-long
  t.marker(kMarkerV3);
  t.hidWrite(0.0, kFirmware, startFlash(), {.component = 3});  // hidden: no update
  t.record(kHidRead, 1.0, Payload{0x01}, {});                  // failed
  t.header(10, kText).extHeader({}).bytes("abc");              // short payload
  const RunResult result = runTrace(t, {"--summary", "--json", "-x"});
  EXPECT_EQ(result.status, 0);
  // Standard error keeps the messages of the listing; the invalid minor
  // code is only counted.
  EXPECT_EQ(result.err,
            "Length to read is too big (length=300000/0x493e0), skipping\n"
            "Could not read data bytes expected=10 actual=3\n");
  const json summary = json::parse(result.out);
  EXPECT_EQ(summary["diagnostics"], json::parse(R"j({"invalid_minor":1,"overlong":1,
      "short_ext_header":0,"short_payload":1})j"));
  EXPECT_EQ(summary["records"]["total"], 2);
  EXPECT_EQ(summary["records"]["hidden"], 1);
  EXPECT_EQ(summary["records"]["failed"], 1);
  EXPECT_EQ(summary["commands"]["start_flash_update"], 0);
  EXPECT_EQ(summary["updates"], json::array());
}

TEST(SessionSummary, DevicesFromTheLastListAndReportOfEachClass) {
  TraceBuilder t;
  const HidHeader feature{0, 0, 0xa0, 3};
  t.hidGetFeat(0.0, feature, {0x01, 0xff, 0x05, 0xff, 0x00, 0x02, 1, 2, 3, 4, 5});
  t.hidGetFeat(1.0, feature, {0x01, 0xff, 0x05, 0xff, 0x00, 0x02, 6, 7, 8, 9, 10});
  // Keyboard inventory, and usage under Keyboard and MSR.
  t.hidGetFeat(2.0, feature,
               {0x60, 0x07, 0x40, 0x01, 0x10, 0x83, 0x02, 0x12, 0x05, 0x61, 0x0f, 0x40, 0x01,
                0x10, 0x80, 0x01, 0x07, 0x40, 0x01, 0x40, 0x81, 0x01, 0x2a, 0x83, 0x01, 0x05});
  // A later report replaces the Keyboard counters only.
  t.hidGetFeat(3.0, feature, {0x61, 0x06, 0x40, 0x01, 0x10, 0x80, 0x01, 0x09});

  // The text: the manufacture date as its hex digits, and each class's
  // values in a column two blanks past its widest name.
  const std::string text = runTrace(t, {"--summary"}).out;
  EXPECT_EQ(text.substr(std::min(text.find("\nDevices\n"), text.size())),
            "\nDevices\n" + label("  ", "extended version list") +
                "ff.00.02, data count 5\n     i rr gg ff bb\n    06 07 08 09 0a\n  Keyboard\n" +
                label("    ", "ManufactureDate") + "1205\n" + label("    ", "KeyPressedCount") +
                "9\n  MSR\n" + label("    ", "FailedReadCount", 37) + "42\n" +
                label("    ", "MissingStartSentinelTrack1Count", 37) + "5\n");

  // JSON: the date's digits beside its number, as the text shows them.
  const json summary = summaryOf(t);
  EXPECT_EQ(summary["devices"]["version_list"], json::parse(R"j({
      "record_id":{"value":16711682,"name":"ff.00.02 Information,Device Extended Version List"},
      "data_count":5,"rows":[{"i":6,"rr":7,"gg":8,"ff":9,"bb":10}]})j"));
  EXPECT_EQ(summary["devices"]["classes"], json::parse(R"j([
      {"device_class":{"value":16,"name":"Keyboard"},
       "inventory":[{"tag":{"value":64,"name":"device class"},"value":16},
                    {"tag":{"value":131,"name":"ManufactureDate"},"value":4613,"date":"1205"}],
       "counters":[{"tag":{"value":128,"name":"KeyPressedCount"},"value":9}]},
      {"device_class":{"value":64,"name":"MSR"},"inventory":[],
       "counters":[{"tag":{"value":129,"name":"FailedReadCount"},"value":42},
                   {"tag":{"value":131,"name":"MissingStartSentinelTrack1Count"},"value":5}]}])j"));
}

// The counts of the summary of the sample agree with its JSON Lines.
TEST(SessionSummary, CountsAgreeWithTheJsonLines) {
  const std::string sample = OVANTREX_SOURCE_DIR "/examples/sample.trc";
  const RunResult lines = run({"--json", "-f", sample});
  const json summary = json::parse(run({"--summary", "--json", "-f", sample}).out);
  // The summary's keys of the kinds of command and of the status bits that
  // the JSON Lines name by their words, from the registry.
  const auto keyOf = [](const CodedTable& table, const std::string& words) {
    const CodedValue* row = table.byWords(words);
    return row != nullptr ? std::string(row->key) : "(no row of " + words + ")";
  };
  std::map<std::string, int> byType, kinds, notes;
  int total = 0, errors = 0, starts = 0;
  std::istringstream in(lines.out);
  for (std::string line; std::getline(in, line);) {
    const json object = json::parse(line);
    if (object.contains("diagnostic")) continue;
    ++total;
    ++byType[object["type"]];
    if (!object.contains("decoded")) continue;
    const json& decoded = object["decoded"];
    const std::string kind = decoded["kind"];
    if (kind == "status reply") {
      for (const std::string bit : decoded["status"]["bits"]) {
        ++notes[bit];
        if (bit == "Operation in Error" || bit == "Command reject" ||
            bit == "Serial Number can only be written once for this device")
          ++errors;
      }
    } else if (decoded.contains("command")) {
      ++kinds[kind];
      if (kind == "start flash update") ++starts;
    }
  }
  EXPECT_EQ(summary["records"]["total"], total);
  for (const auto& [type, count] : byType)
    EXPECT_EQ(summary["records"]["by_type"][type], count) << type;
  for (const auto& [kind, count] : kinds)
    EXPECT_EQ(summary["commands"].at(keyOf(kCommandKindTable, kind)), count) << kind;
  for (const auto& [note, count] : notes)
    EXPECT_EQ(summary["replies"].at(keyOf(kStatusBitTable, note)), count) << note;
  EXPECT_EQ(summary["updates"].size(), static_cast<std::size_t>(starts));
  EXPECT_EQ(summary["errors"].size(), 4u);  // one reply carries two error bits
  // The last EC levels, as the README shows them in the summary of the sample.
  EXPECT_EQ(summary["replies"]["ec"], json::parse(R"j({"current":"02.03","previous":"02.01"})j"));
}

TEST(SessionSummary, OutputValidatesAgainstTheSchema) {
  ASSERT_EQ(std::system(OVANTREX_PYTHON " -c 'import jsonschema' 2>/dev/null"), 0)
      << "install python3-jsonschema for " OVANTREX_PYTHON;
  TempDir dir;
  const std::string out = dir.file("summary.json");
  const std::string source = OVANTREX_SOURCE_DIR;
  ASSERT_EQ(run({"--summary", "--json", "-f", source + "/examples/sample.trc", "-w", out}).status,
            0);
  const std::string command = OVANTREX_PYTHON " " + source + "/tests/validate_json.py --whole " +
                              source + "/docs/ovantrex.schema.json '" + out + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

}  // namespace
}  // namespace ovantrex::test
