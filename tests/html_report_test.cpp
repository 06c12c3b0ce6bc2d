// The HTML report (--report): the page is read back with a strict HTML5
// parser (tests/check_report.py, html5lib), which also checks that every
// id is unique, every link lands on an id of the page, nothing is loaded
// from outside it and the content security policy names the digests of the
// page's own style sheet and script. Hand-made traces with known marks;
// the escaping of trace text; the thinning, the cut of long entries and the
// rule for the whole listing.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "decode/decoded_record.h"
#include "expected_text.h"
#include "firmware_traffic.h"
#include "output/html/html_text.h"
#include "output/html/listing_excerpts.h"
#include "output/html/page.h"
#include "output/html/svg_shapes.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

using nlohmann::json;
using namespace std::string_view_literals;

const std::string kSample = OVANTREX_SOURCE_DIR "/examples/sample.trc";

// What the checker made of a page.
struct Checked {
  int status = -1;
  json facts;
};

Checked check(const std::string& pagePath) {
  const CommandResult result = runCommand(
      OVANTREX_PYTHON " " OVANTREX_SOURCE_DIR "/tests/check_report.py '" + pagePath + "'");
  Checked checked;
  checked.status = result.status;
  // The checker's status 2: no html5lib for the interpreter that the
  // configure found (it was there then).
  if (checked.status == 2) ADD_FAILURE() << "install python3-html5lib for " OVANTREX_PYTHON;
  checked.facts = json::parse(result.out, nullptr, false);
  return checked;
}

struct Report {
  int status = -1;
  std::string err;
  std::string html;
  Checked checked;
};

// Runs "ovantrex --report" on the trace (written under traceName) and reads
// the page back; parse: run the checker too.
Report reportOf(const TraceBuilder& trace, std::vector<std::string> options = {}, bool parse = true,
                const std::string& traceName = "trace.trc") {
  TempDir dir;
  const std::string tracePath = dir.file(traceName);
  const std::string pagePath = dir.file("report.html");
  trace.writeTo(tracePath);
  options.insert(options.begin(), {"--report", "-f", tracePath, "-w", pagePath});
  const RunResult result = run(options);
  Report report;
  report.status = result.status;
  report.err = result.err;
  report.html = readFile(pagePath);
  if (parse) report.checked = check(pagePath);
  return report;
}

#define ASSERT_CHECKED(report) \
  ASSERT_EQ((report).checked.status, 0) << (report).checked.facts.dump(1)

std::string textOf(const json& entries) {
  std::string text;
  for (const json& entry : entries) text += entry["text"].get<std::string>();
  return text;
}

// 78045 as "78,045".
std::string grouped(std::size_t value) {
  const std::string digits = std::to_string(value);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

bool has(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

// ---- The sample ----

TEST(HtmlReportPage, SampleIsValidHtmlWithEveryErrorRowLinkedToItsEntry) {
  TempDir dir;
  const std::string page = dir.file("sample.html");
  ASSERT_EQ(run({"--report", "-f", kSample, "-w", page}).status, 0);
  const Checked checked = check(page);
  ASSERT_EQ(checked.status, 0) << checked.facts.dump(1);
  const json& facts = checked.facts;
  EXPECT_EQ(facts["tags"]["script"], 1);
  EXPECT_EQ(facts["timelines"].size(), 1u);
  EXPECT_EQ(facts["flash_maps"].size(), 1u);

  // The four error replies of the sample, each linked to its own entry,
  // which the listing marks as an error reply.
  const std::vector<std::string> offsets{"1262", "1893", "2271", "2365"};
  ASSERT_EQ(facts["error_rows"].size(), offsets.size());
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    const json& row = facts["error_rows"][i];
    SCOPED_TRACE(row.dump());
    const std::string target = row["links"][0];
    EXPECT_EQ(target, "#e" + offsets[i]);
    const json& classes = facts["classes_of"][target.substr(1)];
    EXPECT_NE(std::find(classes.begin(), classes.end(), "err"), classes.end());
  }
  // The reply refused the write before it, whose entry is linked too.
  EXPECT_EQ(facts["error_rows"][1]["links"], json::parse(R"j(["#e1893","#update-1","#e1837"])j"));
}

// The entries of the page are those of the text listing with the same
// options, byte for byte.
TEST(HtmlReportPage, ListingIsTheTextListingWithTheSameOptions) {
  TempDir dir;
  const std::string page = dir.file("sample.html");
  ASSERT_EQ(
      run({"--report", "-t", "-h", "2", "-m", "-c", "-p", "-H", "-x", "-f", kSample, "-w", page})
          .status,
      0);
  const Checked checked = check(page);
  ASSERT_EQ(checked.status, 0);
  const RunResult listing = run({"-t", "-h", "2", "-m", "-c", "-p", "-H", "-x", "-f", kSample});
  EXPECT_EQ(textOf(checked.facts["listing_entries"]), listing.out);
  // The excerpt around the first error: three entries before it, three
  // after, as they stand in the listing.
  const json& excerpt = checked.facts["excerpt_entries"];
  ASSERT_GE(excerpt.size(), 7u);
  std::string around;
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(excerpt[i]["error"], i == 3) << i;
    around += excerpt[i]["text"].get<std::string>();
  }
  EXPECT_EQ(excerpt[3]["id"], "e1262");
  EXPECT_TRUE(has(listing.out, around));
  EXPECT_TRUE(has(checked.facts["sections"]["excerpts"],
                  "ovantrex -t -h 2 -m -c -p -H -x -f " + kSample + " prints them"));
}

// ---- Escaping ----

TEST(HtmlReportPage, TraceTextAndNamesComeOutInert) {
  TraceBuilder t;
  t.marker(kMarkerV3);
  t.text(0.0, "<script>alert(1)</script>\n", at(0));
  t.text(1.0, "\"><img src=x onerror=alert(2)>\n", at(1));
  t.text(2.0, "bytes \xff\xfe, \x1b[31m, \xc2\x85, \xef\xbf\xbe, caf\xc3\xa9\n", at(2));
  t.hidWrite(3.0, kFirmware, startFlash(), at(3));
  t.hidWrite(4.0, kFirmware, serialNumber("<b>&'"), at(4));
  t.hidRead(5.0, kFirmware, status(0x21), at(5));
  const Report report = reportOf(t, {}, true, "a<b>&'\".trc");
  ASSERT_EQ(report.status, 0);
  EXPECT_FALSE(has(report.html, "<img")) << "markup from the trace";
  EXPECT_FALSE(has(report.html, "<script>alert"));
  EXPECT_FALSE(has(report.html, "<b>"));
  ASSERT_CHECKED(report);
  const json& facts = report.checked.facts;
  EXPECT_EQ(facts["tags"]["script"], 1);
  EXPECT_FALSE(facts["tags"].contains("img"));
  EXPECT_FALSE(facts["tags"].contains("b"));
  // The same characters stand in the page as text.
  const std::string listing = textOf(facts["listing_entries"]);
  EXPECT_TRUE(has(listing, "<script>alert(1)</script>\n"));
  EXPECT_TRUE(has(listing, "\"><img src=x onerror=alert(2)>\n"));
  EXPECT_TRUE(
      has(listing, "bytes \\xff\\xfe, \\x1b[31m, \\xc2\\x85, \\xef\\xbf\\xbe, caf\xc3\xa9\n"));
  EXPECT_TRUE(has(facts["error_rows"][0]["text"], "Write serial number (S/N: <b>&')"));
  EXPECT_TRUE(has(facts["title"], "a<b>&'\".trc"));
  EXPECT_TRUE(has(facts["sections"]["listing"], "a<b>&'\\''\".trc' prints it"));
}

TEST(HtmlReportText, EscapesMarkupControlsReorderingCharactersBrokenUtf8AndNoncharacters) {
  const struct {
    std::string_view bytes;
    std::string_view html;
  } cases[] = {
      {"a&b<c>\"d'e", "a&amp;b&lt;c&gt;&quot;d&#39;e"},
      {"tab\tline\n", "tab\tline\n"},
      {"\r\x00\x7f"sv, "\\x0d\\x00\\x7f"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"\xc2\x85", "\\xc2\\x85"},  // C1 control as UTF-8
      {"\x85\xff", "\\x85\\xff"},  // not UTF-8
      {"\xe2<", "\\xe2&lt;"},      // a sequence broken by markup
      {"\xe2\x82", "\\xe2\\x82"},  // cut short at the end
      {"\xef\xbf\xbe\xef\xb7\x90", "\\xef\\xbf\\xbe\\xef\\xb7\\x90"},  // U+FFFE, U+FDD0
      {"\xf0\x9f\xbf\xbf", "\\xf0\\x9f\\xbf\\xbf"},                    // U+1FFFF
      {"\xef\xb7\xb0", "\xef\xb7\xb0"},                                // U+FDF0 is a character
      // A right-to-left override and a pop, a right-to-left isolate, a
      // right-to-left mark and a paragraph separator: each would reorder
      // or break what the page shows around it.
      {"a\xe2\x80\xae<b>\xe2\x80\xac\xe2\x81\xa7\xe2\x80\x8f\xe2\x80\xa9",
       "a\\xe2\\x80\\xae&lt;b&gt;\\xe2\\x80\\xac\\xe2\\x81\\xa7\\xe2\\x80\\x8f\\xe2\\x80\\xa9"},
  };
  for (const auto& [bytes, html] : cases) {
    SCOPED_TRACE(std::string(html));
    // A view into a larger buffer: what follows must not be read.
    const std::string buffer = std::string(bytes) + "<\xe2";
    Writer out;
    writeHtmlText(out, std::string_view(buffer).substr(0, bytes.size()));
    EXPECT_EQ(out.text(), html);
  }
}

// ---- Marks ----

// The part of the page about one update, from its heading on.
std::string updateSection(const std::string& html, int number) {
  const std::size_t start = html.find("id=\"update-" + std::to_string(number) + "\"");
  if (start == std::string::npos) return {};
  return html.substr(start, html.find("</section>", start) - start);
}

std::size_t occurrences(const std::string& text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// The non-empty groups of every match of pattern in text: those of one
// match joined by blanks, the matches by " | ".
std::string matches(const std::string& text, const std::string& pattern) {
  std::string joined;
  const std::regex expression(pattern);
  for (auto match = std::sregex_iterator(text.begin(), text.end(), expression);
       match != std::sregex_iterator(); ++match) {
    std::string groups;
    for (std::size_t group = 1; group < match->size(); ++group) {
      if ((*match)[group].length() == 0) continue;
      if (!groups.empty()) groups += ' ';
      groups.append((*match)[group].first, (*match)[group].second);
    }
    if (!joined.empty()) joined += " | ";
    joined += groups;
  }
  return joined;
}

// Four updates; times in ms after 2001-09-09T01:46:40Z. A record takes
// 32 bytes of headers and its payload: a start 12 bytes, a write 16 and
// its data, an error reply 14, a checksum 16, a reset 12.
TraceBuilder fourUpdates() {
  TraceBuilder t;
  t.marker(kMarkerV3);
  t.text(0.0, "Updating\n", at(0));                // record 1, offset 16
  t.hidRead(0.0, kFirmware, status(0x41), at(0));  // 2, 57: before any update
  // Update 1, 0 to 1 s: 0x1000-0x101f (0x1010-0x101f twice, the first time
  // refused by the reply after it, which the second reply follows, and
  // written by the retry, which no reply answers), a gap of 16,
  // 0x1030-0x1050, a gap of 687, 0x1300-0x1359: 858 bytes from the lowest
  // to the highest. No reply answers the other commands: the update fails.
  t.hidWrite(0.0, kFirmware, startFlash(), at(0));              // 3, 103
  t.hidWrite(0.0, kFirmware, flashWrite(0x1000, 16), at(100));  // 4, 147
  t.hidWrite(0.0, kFirmware, flashWrite(0x1010, 16), at(200));  // 5, 211
  t.hidRead(0.0, kFirmware, status(0x41), at(240));             // 6, 275
  t.hidRead(0.0, kFirmware, status(0x41), at(260));             // 7, 321
  t.hidWrite(0.0, kFirmware, flashWrite(0x1010, 16), at(300));  // 8, 367
  t.hidWrite(0.0, kFirmware, flashWrite(0x1030, 32), at(400));  // 9, 431
  t.hidWrite(0.0, kFirmware, flashWrite(0x1300, 90), at(500));  // 10, 511
  t.hidWrite(0.0, kFirmware, flashWrite(0x1050, 1), at(600));   // 11, 649
  t.hidWrite(0.0, kFirmware, checksum(0xbeef), at(900));        // 12, 698
  t.hidWrite(0.0, kFirmware, reset(), at(0, 1));                // 13, 746
  // Update 2, 2 to 4.5 s: 0xff8-0x1007 across the page that update 1
  // wrote, with 0x1000-0x1003 twice; a reply last.
  t.hidWrite(0.0, kFirmware, startFlash(), at(0, 2));             // 14, 790
  t.hidWrite(0.0, kFirmware, flashWrite(0xff8, 16), at(0, 3));    // 15, 834
  t.hidWrite(0.0, kFirmware, flashWrite(0x1000, 4), at(500, 3));  // 16, 898
  t.hidRead(0.0, kFirmware, status(0x01), at(500, 4));            // 17, 950
  // Update 3, 5 to 5.05 s, at the top of the address space:
  // 0xffffdf-0xffffef and, refused, 0xfffff1-0xffffff.
  t.hidWrite(0.0, kFirmware, startFlash(), at(0, 5));                // 18, 996
  t.hidWrite(0.0, kFirmware, flashWrite(0xffffdf, 17), at(10, 5));   // 19, 1040
  t.hidWrite(0.0, kFirmware, flashWrite(0xfffff1, 15), at(50, 5));   // 20, 1105
  for (int i = 0; i < 3; ++i) t.text(0.0, "Checking\n", at(50, 5));  // 21 to 23, 1168 to 1250
  t.hidRead(0.0, kFirmware, status(0x41), at(50, 5));                // 24, 1291: refuses 20
  // Update 4, at 6 s: no writes.
  t.hidWrite(0.0, kFirmware, startFlash(), at(0, 6));  // 25, 1337
  return t;
}

TEST(HtmlReportPage, TitlesEachMarkAndLinksEachErrorReplyBothWays) {
  // A name of characters that a shell takes as they are.
  const Report report = reportOf(fourUpdates(), {}, true, "AZaz09.+-,:@%=.trc");
  ASSERT_EQ(report.status, 0);
  ASSERT_CHECKED(report);
  EXPECT_TRUE(has(report.checked.facts["sections"]["listing"], "/AZaz09.+-,:@%=.trc prints it"));
  const json& timeline = report.checked.facts["timelines"][0];
  EXPECT_EQ(timeline["writes"], json::parse(R"j([
      "Flash write 16 bytes to address=0x001000 (offset 147, record 4, 2001-09-09T01:46:40.100Z)",
      "Flash write 16 bytes to address=0x001010 (offset 211, record 5, 2001-09-09T01:46:40.200Z)",
      "Flash write 16 bytes to address=0x001010 (offset 367, record 8, 2001-09-09T01:46:40.300Z)",
      "Flash write 32 bytes to address=0x001030 (offset 431, record 9, 2001-09-09T01:46:40.400Z)",
      "Flash write 90 bytes to address=0x001300 (offset 511, record 10, 2001-09-09T01:46:40.500Z)",
      "Flash write 1 bytes to address=0x001050 (offset 649, record 11, 2001-09-09T01:46:40.600Z)"])j"));
  EXPECT_EQ(timeline["refused"], json::parse(R"j([
      "Refused: Flash write 16 bytes to address=0x001010 (offset 211, record 5, 2001-09-09T01:46:40.200Z)"])j"));
  EXPECT_EQ(timeline["errors"], json::parse(R"j([
      "Error reply: Command complete; Operation in Error (offset 275, record 6, 2001-09-09T01:46:40.240Z)",
      "Error reply: Command complete; Operation in Error (offset 321, record 7, 2001-09-09T01:46:40.260Z)"])j"));
  EXPECT_EQ(timeline["checksums"], json::parse(R"j([
      "Checksum: Write checksum 0xbeef to flash memory (offset 698, record 12, 2001-09-09T01:46:40.900Z)"])j"));
  EXPECT_EQ(timeline["resets"], json::parse(R"j([
      "Reset: Reset USB device and reenumerate (offset 746, record 13, 2001-09-09T01:46:41.000Z)"])j"));

  // The refused write wrote nothing: no byte is written more than once.
  EXPECT_EQ(report.checked.facts["flash_maps"][0]["rewritten"], json::array());

  // An error reply's row links its entry, its update and the command before
  // it: in an excerpt, or (four records back) in the whole listing.
  const json& rows = report.checked.facts["error_rows"];
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0]["links"], json::parse(R"j(["#e57"])j"));
  EXPECT_EQ(rows[1]["links"], json::parse(R"j(["#e275", "#update-1", "#e211"])j"));
  EXPECT_EQ(rows[3]["links"], json::parse(R"j(["#e1291", "#update-3", "#r1105"])j"));
  // Its cells: number, offset, time, update, reply, the command before it.
  EXPECT_EQ(rows[0]["text"],
            "1572001-09-09T01:46:40.000Zbefore anyCommand complete; Operation in "
            "Errornone before it");
  EXPECT_EQ(rows[3]["text"],
            "41,2912001-09-09T01:46:45.050Z3Command complete; Operation in "
            "Erroroffset 1,105: Flash write 15 bytes to address=0xfffff1");
  // The excerpts' headings link back to the rows.
  EXPECT_TRUE(has(report.html, "<h3>Error reply at offset <a href=\"#error-1\">57</a></h3>"));
  EXPECT_TRUE(has(report.html,
                  "<h3>Error replies at offsets <a href=\"#error-2\">275</a>, "
                  "<a href=\"#error-3\">321</a></h3>"));
  EXPECT_TRUE(has(report.html, "<h3>Error reply at offset <a href=\"#error-4\">1,291</a></h3>"));
}

TEST(HtmlReportPage, TheSummaryTablesCountTheRepliesAndEachUpdate) {
  const Report report = reportOf(fourUpdates(), {}, false);
  ASSERT_EQ(report.status, 0);
  EXPECT_TRUE(has(report.html, "<h3>Devices</h3>\n<p>None reported.</p>"));
  // Each update's own section opens with its start's offset.
  for (const char* heading : {"<h3>Update 1 at offset 103, ", "<h3>Update 2 at offset 790, ",
                              "<h3>Update 3 at offset 996, ", "<h3>Update 4 at offset 1,337, "})
    EXPECT_TRUE(has(report.html, heading)) << heading;
  // The error table's filter, which the script shows.
  EXPECT_TRUE(has(report.html,
                  "<p id=\"error-filter\" hidden><label>Show the rows that contain <input "
                  "type=\"search\" placeholder=\"for instance 0x018010\"></label></p>"));
  // Five replies, four of them error replies. The counts and the EC
  // levels stay on one line ("nw"); a label past 30 characters may wrap.
  EXPECT_TRUE(has(report.html, R"(<h3>Replies</h3>
<table class="facts">
<tr><th scope="row">Command complete</th><td class="nw">5</td></tr>
<tr><th scope="row">Flash load in progress</th><td class="nw">0</td></tr>
<tr><th scope="row">EC information available</th><td class="nw">0</td></tr>
<tr><th scope="row" class="long">Serial Number can only be written once for this device</th><td class="nw">0</td></tr>
<tr><th scope="row">Operation in Error</th><td class="nw">4</td></tr>
<tr><th scope="row">Command reject</th><td class="nw">0</td></tr>
<tr><th scope="row">flash reads</th><td class="nw">0</td></tr>
<tr><th scope="row">last EC levels</th><td class="nw">none</td></tr>
</table>)"));
  // The summary's section of updates: its count, the rule of the outcomes,
  // the writes outside any, then a row of each update: offset, time, writes
  // and their bytes, ranges, rewritten bytes, the writes they count, length
  // mismatches, checksums, serial numbers, reset, error replies, refused
  // and recovered, unanswered commands, other error replies, response
  // times (the stamps are all 0), outcome.
  EXPECT_TRUE(has(report.html,
                  "<h3>Updates (4)</h3>\n<table class=\"facts\">\n<tr><th scope=\"row\">outcome "
                  "rule</th><td>" +
                      std::string(kOutcomeRuleWords) +
                      "</td></tr>\n<tr><th scope=\"row\">outside any update</th><td "
                      "class=\"nw\">0 flash writes</td></tr>\n</table>\n<table class=\"updates\">\n"
                      "<thead><tr><th>update</th><th class=\"n\">offset</th><th>time (UTC)</th>"));
  EXPECT_TRUE(
      has(report.html,
          "<tr class=\"bad\"><td><a href=\"#update-1\">1</a></td><td class=\"n\">103</td>"
          "<td><time>2001-09-09T01:46:40.000Z</time></td><td class=\"n\">6, 171 bytes</td>"
          "<td>0x001000&#8211;0x00101f, 0x001030&#8211;0x001050, 0x001300&#8211;0x001359</td>"
          "<td class=\"n\">0 bytes</td><td>0 accepted and 5 unanswered flash writes; 1 refused "
          "left out</td><td class=\"n\">0</td><td>0xbeef</td><td>none</td><td>yes</td>"
          "<td class=\"n\">2</td><td class=\"n\">1, 0 recovered</td><td class=\"n\">8 "
          "commands</td><td class=\"n\">1</td><td>median 0 ms, slowest 0 ms</td><td>failed</td>"
          "</tr>"));
  EXPECT_TRUE(has(report.html,
                  "<tr><td><a href=\"#update-4\">4</a></td><td class=\"n\">1,337</td>"
                  "<td><time>2001-09-09T01:46:46.000Z</time></td><td class=\"n\">0, 0 bytes</td>"
                  "<td>none</td><td class=\"n\">0 bytes</td><td>0 accepted and 0 unanswered "
                  "flash writes</td><td class=\"n\">0</td><td>none</td><td>none</td><td>no</td>"
                  "<td class=\"n\">0</td><td class=\"n\">0, 0 recovered</td><td class=\"n\">1 "
                  "command</td><td class=\"n\">0</td><td>none</td><td>unfinished</td></tr>"));
}

// The page says which zone its times show: UTC (ISO 8601, "Z") in the
// summary, the tables (whose heads say it) and the pictures, and local time
// in the listing's time column, with its distance from UTC (at the first
// and the last record when they differ) and -h. Each ISO time stands in an
// element that the style keeps on one line, as it keeps counts and EC
// levels; a long label may wrap instead.
TEST(HtmlReportPage, SaysWhichZoneEachTimeShowsAndKeepsEachTimeOnOneLine) {
  const std::string utc =
      "<p class=\"meta\">Times are in UTC (ISO 8601, the &#8220;Z&#8221;) in the summary, the "
      "tables and the pictures.";
  const std::string local = " The listing&#8217;s time column (<code>-t</code>) shows local time, ";
  const std::string layout = ", as month/day-hour:minute:second.milliseconds without the year.</p>";
  // Across the end of summer time: 2001-10-27 and 2001-10-28, 12:00 UTC.
  TraceBuilder autumn;
  autumn.marker(kMarkerV3)
      .text(0.0, "before\n", {.seconds = 1004184000})
      .text(0.0, "after\n", {.seconds = 1004270400});
  const struct {
    const char* what;
    const TraceBuilder trace;
    std::vector<std::string> options;
    std::string basis;
  } cases[] = {
      {"without -t", fourUpdates(), {}, utc + "</p>"},
      {"with -t", fourUpdates(), {"-t"}, utc + local + "UTC+02:00" + layout},
      {"with -t -h -3",
       fourUpdates(),
       {"-t", "-h", "-3"},
       utc + local + "UTC+02:00, moved by <code>-h -3</code> hours" + layout},
      {"across a change of zone",
       autumn,
       {"-t"},
       utc + local + "UTC+02:00 at the first record and UTC+01:00 at the last" + layout},
      {"without times", TraceBuilder().text(0.0, "x\n"), {"-t"}, ""},
  };
  setEnvironment("TZ", kCentralEuropeanZone);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Report report = reportOf(c.trace, c.options, false);
    ASSERT_EQ(report.status, 0);
    if (c.basis.empty()) {
      EXPECT_FALSE(has(report.html, "Times are in UTC"));
    } else {
      EXPECT_TRUE(has(report.html, "</p>\n" + c.basis + "\n<nav>")) << report.html.substr(0, 4000);
    }
  }
  setEnvironment("TZ", "UTC");

  const Report report = reportOf(fourUpdates(), {}, false);
  EXPECT_EQ(occurrences(report.html, "<th>time (UTC)</th>"), 2u)
      << "the updates' and the errors' tables";
  // Every ISO time outside the pictures stands in a <time>.
  const std::regex pictures("<svg[\\s\\S]*?</svg>");
  const std::string text = std::regex_replace(report.html, pictures, "");
  const std::regex iso("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z");
  const auto times =
      std::distance(std::sregex_iterator(text.begin(), text.end(), iso), std::sregex_iterator());
  EXPECT_GT(times, 10);
  EXPECT_EQ(static_cast<std::size_t>(times), occurrences(text, "Z</time>"));
  const std::string style(kReportStyle);
  EXPECT_TRUE(has(style, "\ntime,td.n,td.nw{white-space:nowrap}\n"));
  EXPECT_TRUE(has(style, "\ntable.facts th.long{white-space:normal;"));
}

// Every offset on the page is written one way, grouped as its counts are:
// in the verdict, the tables, the headings and the pictures' titles.
TEST(HtmlReportPage, WritesEveryOffsetOneWay) {
  const Report report = reportOf(fourUpdates(), {}, false);
  ASSERT_EQ(report.status, 0);
  const std::string offsets =
      matches(report.html,
              "(?:offsets?|<td class=\"n\">)(?: |<a [^>]*>)*([0-9][0-9,]*)(?:</a>)?(?:, (?:<a "
              "[^>]*>)?([0-9][0-9,]*))?");
  EXPECT_TRUE(has(offsets, "1,105")) << offsets;
  EXPECT_TRUE(has(offsets, "1,291")) << offsets;
  EXPECT_TRUE(has(offsets, "1,337")) << offsets;
  EXPECT_FALSE(std::regex_search(offsets, std::regex("[0-9]{4}"))) << offsets;
}

// The pictures of the four updates, in the units of the view box: 960
// wide, the plot from 84 to 942 (858 across), the timeline's plot from
// y 282 up to 40 (242), its tick labels at y 298; the flash map's bar at
// y 34, its address labels at y 102, refused writes marked at y 24 and
// gaps at 72.
//
// Across, an update's span of time (1 s, 2.5 s, 0.05 s) with 2% more on
// each side: a time t of a span s at 84 + 858 (t + 0.02 s) / 1.04 s =
// 100.5 + 825 t / s; ticks every 0.1 s, 0.5 s and 0.005 s (the 1, 2 or 5
// times a power of ten nearest a seventh of the width), written with the
// decimals of the step. A write's mark is 3 wide around its time, from
// the bottom of its first address to the top of its last, and at least 2
// tall: update 1 (858 bytes over 242) 0.282 a byte, update 2 (16) 15.125,
// update 3 (33) 7.333. A cross is 10 wide, around the middle of the
// refused write.
//
// The flash map: the bytes from the lowest to the highest over 858, 1,
// 53.625 and 26 a byte; addresses labelled at the lowest and at the
// multiples of the power of two that cuts the span into five or fewer
// (256, 4, 8) but one eighth of it or more past the lowest.
TEST(HtmlReportPage, TheAxesBarsGapsAndCountsOfEachUpdateAreItsFigures) {
  const Report report = reportOf(fourUpdates(), {}, false);
  ASSERT_EQ(report.status, 0);
  const struct {
    int update;
    const char* started;
    const char* ticks;  // x and label
    const char* marks;  // x, y and height
    // Lines of resets, checksums and error replies: x, top, bottom; the
    // error replies' triangles, a tip 8 below the strip and 10 tall, 12
    // wide; the crosses of refused writes.
    const char* events;
    const char* bars;  // class, x and width
    const char* addresses;
    const char* ranges;  // first, last, bytes, gap before
    const char* onBar;   // gaps and refused writes: the left of the mark, its title
    const char* note;
    const char* glance;  // the update's line, from its class on
  } updates[] = {
      {1, "2001-09-09T01:46:40.000Z",
       "100.5 0.0 | 183.0 0.1 | 265.5 0.2 | 348.0 0.3 | 430.5 0.4 | 513.0 0.5 | 595.5 0.6 | "
       "678.0 0.7 | 760.5 0.8 | 843.0 0.9 | 925.5 1.0",
       "181.5 277.5 4.5 | 264.0 273.0 4.5 | 346.5 273.0 4.5 | 429.0 259.4 9.0 | 511.5 40.0 25.4 | "
       "594.0 258.3 2.0",
       "rs 925.5 34.0 282.0 | ck 843.0 34.0 282.0 | erl 298.5 14.0 282.0 | "
       "er M298.5 22.0L292.5 12.0H304.5Z | erl 315.0 14.0 282.0 | er M315.0 22.0L309.0 12.0H321.0Z "
       "| "
       "rf M260.5 270.2L270.5 280.2M260.5 280.2L270.5 270.2",
       "fm-bg 84.0 858.0 | fm-w 84.0 32.0 | fm-w 132.0 33.0 | fm-w 852.0 90.0",
       "84.0 0x001000 | 340.0 0x001100 | 596.0 0x001200 | 852.0 0x001300",
       "0x001000 0x00101f 32 | 0x001030 0x001050 33 16 | 0x001300 0x001359 90 687",
       "fm-gap 124.0 gap, not written 0x001020–0x00102f: 16 bytes | "
       "fm-gap 508.5 gap, not written 0x001051–0x0012ff: 687 bytes | "
       "rf 103.0 refused write 0x001010–0x00101f: 16 bytes (offset 211)",
       "From 0x001000 to 0x001359: 3 ranges written, 2 gaps, 0 bytes written more than once, "
       "1 refused write. The ranges and the bytes written more than once count 0 accepted and 5 "
       "unanswered flash writes; 1 refused left out.",
       "bad\"><strong><a href=\"#update-1\">Update 1</a></strong>, "
       "<time>2001-09-09T01:46:40.000Z</time>: 6 "
       "flash writes (171 bytes) to 0x001000&#8211;0x00101f, 0x001030&#8211;0x001050, "
       "0x001300&#8211;0x001359; <span class=\"verdict\">2 error replies</span> (1 refusing a "
       "flash write, checksum write or reset, 0 of them recovered); checksum 0xbeef written; "
       "then the device was reset. Outcome: <span class=\"verdict\">failed</span>."},
      {2, "2001-09-09T01:46:42.000Z",
       "100.5 0.0 | 265.5 0.5 | 430.5 1.0 | 595.5 1.5 | 760.5 2.0 | 925.5 2.5",
       "429.0 40.0 242.0 | 594.0 100.5 60.5", "",
       "fm-bg 84.0 858.0 | fm-w 84.0 858.0 | fm-rw 513.0 214.5",
       "84.0 0x000ff8 | 298.5 0x000ffc | 513.0 0x001000 | 727.5 0x001004 | 942.0 0x001008",
       "0x000ff8 0x001007 16", "",
       "From 0x000ff8 to 0x001007: 1 range written, 0 gaps, 4 bytes written more than once, "
       "0 refused writes. The ranges and the bytes written more than once count 1 accepted and 1 "
       "unanswered flash write.",
       "warn\"><strong><a href=\"#update-2\">Update 2</a></strong>, "
       "<time>2001-09-09T01:46:42.000Z</time>: 2 "
       "flash writes (20 bytes) to 0x000ff8&#8211;0x001007; no error replies; 4 bytes rewritten; "
       "no checksum written; the device was not reset. Outcome: <span "
       "class=\"verdict\">unfinished</span>."},
      {3, "2001-09-09T01:46:45.000Z",
       "100.5 0.000 | 183.0 0.005 | 265.5 0.010 | 348.0 0.015 | 430.5 0.020 | 513.0 0.025 | "
       "595.5 0.030 | 678.0 0.035 | 760.5 0.040 | 843.0 0.045 | 925.5 0.050",
       "264.0 157.3 124.7 | 924.0 40.0 110.0",
       "erl 925.5 14.0 282.0 | er M925.5 22.0L919.5 12.0H931.5Z | rf M920.5 90.0L930.5 100.0M920.5 "
       "100.0L930.5 90.0",
       "fm-bg 84.0 858.0 | fm-w 84.0 442.0",
       "84.0 0xffffdf | 110.0 0xffffe0 | 318.0 0xffffe8 | 526.0 0xfffff0 | 734.0 0xfffff8 | "
       "942.0 0x1000000",
       "0xffffdf 0xffffef 17", "rf 742.0 refused write 0xfffff1–0xffffff: 15 bytes (offset 1,105)",
       "From 0xffffdf to 0xffffff: 1 range written, 0 gaps, 0 bytes written more than once, "
       "1 refused write. The ranges and the bytes written more than once count 0 accepted and 1 "
       "unanswered flash write; 1 refused left out.",
       "bad\"><strong><a href=\"#update-3\">Update 3</a></strong>, "
       "<time>2001-09-09T01:46:45.000Z</time>: 2 "
       "flash writes (32 bytes) to 0xffffdf&#8211;0xffffef; <span class=\"verdict\">1 error "
       "reply</span> (1 refusing a flash write, checksum write or reset, 0 of them recovered); no "
       "checksum written; the device was not reset. Outcome: <span "
       "class=\"verdict\">failed</span>."},
  };
  for (const auto& u : updates) {
    SCOPED_TRACE("update " + std::to_string(u.update));
    const std::string section = updateSection(report.html, u.update);
    const std::size_t map = section.find("<svg class=\"flash-map\"");
    ASSERT_NE(map, std::string::npos);
    const std::string timeline = section.substr(0, section.find("</svg>"));
    const std::string flash = section.substr(map, section.find("</svg>", map) - map);
    const std::string number = std::to_string(u.update);
    EXPECT_TRUE(has(timeline,
                    "<svg class=\"timeline\" viewBox=\"0 0 960.0 330.0\" role=\"img\" "
                    "aria-label=\"Timeline of update " +
                        number + ": flash writes"));
    EXPECT_TRUE(has(flash,
                    "<svg class=\"flash-map\" viewBox=\"0 0 960.0 118.0\" role=\"img\" "
                    "aria-label=\"Flash written by update " +
                        number + "\">"));
    EXPECT_TRUE(has(timeline, std::string(">seconds since the start of the update (") + u.started +
                                  ")</text>"));
    EXPECT_EQ(
        matches(timeline, R"re(<text x="([0-9.]+)" y="298\.0" text-anchor="middle">([^<]*)<)re"),
        u.ticks);
    EXPECT_EQ(
        matches(timeline,
                R"re(<rect class="w" x="([0-9.]+)" y="([0-9.]+)" width="3" height="([0-9.]+)")re"),
        u.marks);
    EXPECT_EQ(
        matches(
            timeline,
            R"re(<(?:line|path) class="(rs|ck|erl|er|rf)" (?:x1="([0-9.]+)" x2="[0-9.]+" y1="([0-9.]+)" y2="([0-9.]+)|d="([^"]+))")re"),
        u.events);
    EXPECT_EQ(matches(flash,
                      R"re(<rect class="(fm-[a-z]+)" x="([0-9.]+)" y="34\.0" width="([0-9.]+)")re"),
              u.bars);
    EXPECT_EQ(matches(flash, R"re(<text x="([0-9.]+)" y="102\.0" text-anchor="[a-z]+">([^<]*)<)re"),
              u.addresses);
    EXPECT_EQ(matches(section,
                      "<tr><td>(0x[0-9a-f]+)</td><td>(0x[0-9a-f]+)</td><td class=\"n\">"
                      "([0-9,]+)</td><td class=\"n\">([0-9,]*)</td></tr>"),
              u.ranges);
    EXPECT_EQ(
        matches(flash, R"re(<path class="(fm-gap|rf)" d="M([0-9.]+) [^>]*><title>([^<]*)<)re"),
        u.onBar);
    EXPECT_EQ(matches(section, "<p class=\"note\">(From [^<]*)</p>"), u.note);
    EXPECT_TRUE(has(report.html, std::string("<li class=\"") + u.glance + "</li>\n"));
  }
  EXPECT_TRUE(has(report.html,
                  "<li class=\"bad\"><a href=\"#errors\">4 error replies</a> in the "
                  "trace, 1 of them before the first update.</li>"));
  // Update 4 writes nothing.
  EXPECT_TRUE(has(report.html,
                  "<li class=\"warn\"><strong><a href=\"#update-4\">Update "
                  "4</a></strong>, <time>2001-09-09T01:46:46.000Z</time>: 0 flash writes (0 "
                  "bytes); no error replies; no checksum written; the device was not "
                  "reset. Outcome: <span class=\"verdict\">unfinished</span>.</li>"));
  const std::string empty = updateSection(report.html, 4);
  EXPECT_TRUE(has(empty, ">no flash writes in this update</text>"));
  EXPECT_TRUE(has(empty, "<h4>Flash written</h4>\n<p>No flash writes.</p>"));
  // The key of each flash map names its three kinds of bars.
  const std::string first = updateSection(report.html, 1);
  for (const char* key : {"</svg> written</span>", "</svg> written more than once</span>",
                          "</svg> not written</span>"})
    EXPECT_TRUE(has(first, key)) << key;
}

// The response times of a small update, in the units of the view box (250
// high, the plot from y 202 up to 34, the strip of unanswered commands
// above). Across as on the timeline: the update spans 1 s, so a command at
// t s stands at 100.5 + 825 t. Up, the decades of 1 ms to 100 ms (the
// fastest and the slowest) over 168: v ms at 202 - 84 log10 v. The start
// is answered after 10 ms, the first write after 1 ms, the second refused
// after 100 ms; the checksum and the reset have no reply. Records of
// format version 3 at offsets 16, 60, 106, 155, 201, 250, 296, 344.
TEST(HtmlReportPage, TheResponseTimesOfAnUpdateAreItsFigures) {
  TraceBuilder t;
  t.marker(kMarkerV3);
  t.hidWrite(0.0, kFirmware, startFlash(), at(0));
  t.hidRead(10.0, kFirmware, status(0x01), at(10));
  t.hidWrite(100.0, kFirmware, flashWrite(0x1000, 1), at(100));
  t.hidRead(101.0, kFirmware, status(0x01), at(101));
  t.hidWrite(500.0, kFirmware, flashWrite(0x1001, 1), at(500));
  t.hidRead(600.0, kFirmware, status(0x41), at(600));
  t.hidWrite(1000.0, kFirmware, checksum(0x1234), at(0, 1));
  t.hidWrite(1000.0, kFirmware, reset(), at(0, 1));
  const Report report = reportOf(t, {}, false);
  ASSERT_EQ(report.status, 0);
  const std::string section = updateSection(report.html, 1);
  const std::size_t start = section.find("<svg class=\"responses\"");
  ASSERT_NE(start, std::string::npos);
  const std::string plot = section.substr(start, section.find("</svg>", start) - start);
  EXPECT_TRUE(has(plot,
                  "<svg class=\"responses\" viewBox=\"0 0 960.0 250.0\" role=\"img\" "
                  "aria-label=\"Response times of update 1: each command's reply by "
                  "time\">"));
  EXPECT_EQ(matches(plot, R"re(<text x="78.0" y="([0-9.]+)" text-anchor="end">([^<]*)<)re"),
            "206.0 1 ms | 122.0 10 ms | 38.0 100 ms | 12.0 no reply");
  EXPECT_EQ(
      matches(plot,
              R"re(<circle class="rt" cx="([0-9.]+)" cy="([0-9.]+)" r="2.5"><title>([^<]*)<)re"),
      "100.5 118.0 start flash update at offset 16: reply at offset 60 after 10 ms "
      "(2001-09-09T01:46:40.000Z) | 183.0 202.0 flash write at offset 106: reply at offset "
      "155 after 1 ms (2001-09-09T01:46:40.100Z)");
  EXPECT_EQ(
      matches(plot, R"re(<path class="(rf|un)" d="([^"]+)"><title>([^<]*)<)re"),
      "rf M508.0 29.0L518.0 39.0M508.0 39.0L518.0 29.0 Refused command: flash write at offset "
      "201: reply at offset 250 after 100 ms (2001-09-09T01:46:40.500Z) | un M925.5 "
      "22.0L919.5 12.0H931.5Z Unanswered command: checksum write at offset 296: no reply "
      "(2001-09-09T01:46:41.000Z) | un M925.5 22.0L919.5 12.0H931.5Z Unanswered command: "
      "system command at offset 344: no reply (2001-09-09T01:46:41.000Z)");
  EXPECT_TRUE(has(section, "Responses: median 10 ms, slowest 100 ms.</p>"));
  // An update without exchanges draws none.
  TraceBuilder lone;
  lone.hidWrite(0.0, kFirmware, flashWrite(0x1000, 1));
  EXPECT_FALSE(has(reportOf(lone, {}, false).html, "<svg class=\"responses\""));
}

// A trace too long for the whole listing: 10,001 checksum writes (32 bytes
// in format version 1), each answered (30 bytes) after i % 7 ms, the one at
// 5,000 after 500 ms. The page keeps the entries of the slowest exchanges,
// the slowest first and of equal ones the earliest, and the summary's
// table links to them.
TEST(HtmlReportPage, KeepsTheEntriesOfTheSlowestExchangesAndLinksThem) {
  TraceBuilder t;
  for (int i = 0; i <= 10000; ++i) {
    t.hidWrite(10.0 * i, kFirmware, checksum(0x1234));
    t.hidRead(10.0 * i + (i == 5000 ? 500 : i % 7), kFirmware, status(0x01));
  }
  const Report report = reportOf(t);
  ASSERT_EQ(report.status, 0);
  ASSERT_CHECKED(report);  // every link lands on an entry of the page
  EXPECT_EQ(occurrences(report.html,
                        "<h3>500 ms from offset 310,000 to 310,032</h3>\n"
                        "<pre class=\"listing\"><span class=\"entry\" id=\"s310000\">"),
            1u);
  // The first nine of 6 ms, i = 6, 13, ..., 62: the summary's too.
  EXPECT_TRUE(has(report.html, "<h3>6 ms from offset 372 to 404</h3>"));
  EXPECT_TRUE(has(report.html, "<h3>6 ms from offset 3,844 to 3,876</h3>"));
  EXPECT_TRUE(has(report.html, "<a href=\"#s3844\">3,844</a>"));
  EXPECT_EQ(occurrences(report.html, " ms from offset "), 10u);
  EXPECT_TRUE(has(report.html,
                  "<tr><td class=\"n\">500 ms</td><td>checksum write</td><td class=\"n\"><a "
                  "href=\"#s310000\">310,000</a></td><td class=\"n\"><a "
                  "href=\"#s310032\">310,032</a></td></tr>"));
  // A small trace's whole listing holds them: no section of their own.
  EXPECT_FALSE(has(reportOf(fourUpdates(), {}, false).html, "id=\"slowest\""));
}

// An update of writes writes to the next address each; a reply after the
// write numbered refusedAfter (from 0) refuses it.
TraceBuilder manyWrites(std::uint32_t writes, std::uint32_t refusedAfter) {
  TraceBuilder t;
  t.marker(kMarkerV3);
  t.hidWrite(0.0, kFirmware, startFlash(), at(0));
  for (std::uint32_t i = 0; i < writes; ++i) {
    const ExtHeader when =
        at(static_cast<std::uint16_t>(i % 1000), static_cast<std::int32_t>(i / 1000));
    t.hidWrite(1.0, kFirmware, flashWrite(i * 4, 4), when);
    if (i == refusedAfter) t.hidRead(1.0, kFirmware, status(0x41), when);
  }
  return t;
}

// The note on a thinned timeline (the edges of the thinning are the
// timelines' own tests).
TEST(HtmlReportPage, ThinsTheMarksOfALongUpdateAndSaysSo) {
  const struct {
    std::uint32_t writes, refusedAfter;
    std::size_t marks;
    const char* refused;  // 4 times refusedAfter
    const char* note;
  } cases[] = {
      {3001, 2999, 1501, "0x002edc",
       "The update has 3,001 flash writes; the timeline draws every 2nd of them (1,501 marks), "
       "and every refused write and error reply.</p>"},
      // Every 4th, and the refused one (an odd one) too.
      {10000, 4999, 2500, "0x004e1c",
       "The update has 10,000 flash writes; the timeline draws every 4th of them (2,500 marks), "
       "and every refused write and error reply.</p>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.writes) + " writes");
    const std::string section =
        updateSection(reportOf(manyWrites(c.writes, c.refusedAfter), {}, false).html, 1);
    EXPECT_EQ(occurrences(section, "<title>Flash write "), c.marks);
    EXPECT_EQ(occurrences(section, "<title>Refused: "), 1u);
    EXPECT_TRUE(has(
        section, std::string("<title>Refused: Flash write 4 bytes to address=") + c.refused + " "));
    EXPECT_TRUE(has(section, std::string("notes. ") + c.note));
  }
}

// The drawn updates share one room of marks (24,000, with 500 kept back for
// each update still to be drawn) and one of each kind of event (4,000 error
// replies and as many refused writes, 100 kept back). By hand: updates 1
// to 5 keep their 3,000 writes; update 6 finds room for 2,000 marks, so
// draws every 2nd write (1,500 marks), update 7 for 1,000 (every 4th, 750
// marks). Updates 1 and 2 draw 1,000 of their 1,500 refused writes and
// error replies, update 3 the 300 left. Update 4 draws 600 of its 1,001
// resets: 1,000 less 25 kept back for each of the 16 updates to come.
TEST(HtmlReportPage, TheDrawnUpdatesShareTheRoomOfMarksAndEvents) {
  TraceBuilder t;
  for (int update = 1; update <= 7; ++update) {
    t.hidWrite(0.0, kFirmware, startFlash());
    for (std::uint32_t i = 0; i < 3000; ++i) {
      t.hidWrite(0.0, kFirmware, flashWrite(i * 4, 4));
      if (update <= 3 && i < 1500) t.hidRead(0.0, kFirmware, status(0x41));
    }
    for (int i = 0; update == 4 && i < 1001; ++i) t.hidWrite(0.0, kFirmware, reset());
  }
  const Report report = reportOf(t, {}, false);
  ASSERT_EQ(report.status, 0);
  struct Drawn {
    int update;
    std::size_t marks, refused, errors;
    std::string_view note;
  };
  const Drawn drawn[] = {
      {1, 3000, 1000, 1000, "The timeline leaves out 500 refused writes and 500 error replies."},
      {2, 3000, 1000, 1000, "The timeline leaves out 500 refused writes and 500 error replies."},
      {3, 3000, 300, 300, "The timeline leaves out 1,200 refused writes and 1,200 error replies."},
      {4, 3000, 0, 0, "The timeline leaves out 401 resets.</p>"},
      {5, 3000, 0, 0, "Hover over a mark for its record's notes.</p>"},
      {6, 1500, 0, 0,
       "The update has 3,000 flash writes; the timeline draws every 2nd of them (1,500 marks), "
       "and every refused write and error reply.</p>"},
      {7, 750, 0, 0, "the timeline draws every 4th of them (750 marks)"},
  };
  for (const Drawn& d : drawn) {
    SCOPED_TRACE("update " + std::to_string(d.update));
    const std::string section = updateSection(report.html, d.update);
    EXPECT_EQ(occurrences(section, "<title>Flash write "), d.marks);
    EXPECT_EQ(occurrences(section, "<title>Refused: "), d.refused);
    EXPECT_EQ(occurrences(section, "<g class=\"error\">"), d.errors);
    EXPECT_TRUE(has(section, d.note)) << section.substr(0, 2000);
  }
}

// 1,001 updates, update k writing 4 bytes at k * 0x10000 twice: the page
// draws the first 20, each with its own writes, and lists 1,000. Only the
// first start has a time (format version 3, then 2): update 1 goes by
// record number, records 1 to 3 with 2% more on each side (n at 100.5 +
// 412.5 (n - 1)).
TEST(HtmlReportPage, DrawsTheFirstTwentyUpdatesListsAThousandAndCountsTheRest) {
  TraceBuilder t;
  t.marker(kMarkerV3);
  for (std::uint32_t k = 1; k <= 1001; ++k) {
    t.hidWrite(0.0, kFirmware, startFlash(), at(0));  // update 1: record 1, offset 16
    if (k == 1) t.marker(kMarkerV2);
    t.hidWrite(0.0, kFirmware, flashWrite(k << 16, 4));  // update 1: 2, 76
    t.hidWrite(0.0, kFirmware, flashWrite(k << 16, 4));
  }
  const Report report = reportOf(t, {}, false);
  ASSERT_EQ(report.status, 0);
  for (const auto& [k, first, last] : {std::tuple{1, "0x010000", "0x010003"},
                                       {19, "0x130000", "0x130003"},
                                       {20, "0x140000", "0x140003"}}) {
    SCOPED_TRACE(k);
    const std::string section = updateSection(report.html, k);
    EXPECT_TRUE(has(section, std::string("<p class=\"note\">From ") + first + " to " + last +
                                 ": 1 range written, 0 gaps, 4 bytes written more than once, 0 "
                                 "refused writes. The ranges and the bytes written more than once "
                                 "count 0 accepted and 2 unanswered flash writes.</p>"));
    EXPECT_TRUE(has(section, std::string("<title>written more than once ") + first + "–" + last +
                                 ": 4 bytes</title>"));
  }
  EXPECT_EQ(updateSection(report.html, 21), "");
  EXPECT_TRUE(has(report.html,
                  "<p class=\"note\">The page draws the first 20 updates; 981 more are "
                  "in the summary.</p>\n</section>"));
  // The glance lists as many; the summary's table 1,000, linking the drawn ones.
  EXPECT_TRUE(has(report.html, "<li class=\"warn\">981 more updates (see the summary).</li>"));
  EXPECT_TRUE(has(report.html, "<tr><td><a href=\"#update-20\">20</a></td>"));
  EXPECT_TRUE(has(report.html, "<tr><td>21</td>"));
  EXPECT_TRUE(has(report.html, "<tr><td>1000</td>"));
  EXPECT_FALSE(has(report.html, "<tr><td>1001</td>"));
  EXPECT_TRUE(has(report.html, "<p class=\"note\">1 more update is counted but not listed.</p>"));

  const std::string first = updateSection(report.html, 1);
  EXPECT_TRUE(has(first, ">record number (the trace has no times here)</text>"));
  EXPECT_EQ(matches(first, R"re(<text x="([0-9.]+)" y="298\.0" text-anchor="middle">([^<]*)<)re"),
            "100.5 1 | 513.0 2 | 925.5 3");
  EXPECT_TRUE(has(first, "<title>Flash write 4 bytes to address=0x010000 (offset 76, record 2)"));
}

// The words and numbers that the page and its pictures share.
TEST(HtmlReportPageWords, OrdinalsTakeTheEndingOfTheirLastTwoDigits) {
  for (const std::string_view words :
       {"1st", "2nd", "3rd", "4th", "11th", "12th", "13th", "21st", "22nd", "23rd", "101st",
        "111th", "112th", "113th", "512th", "1,001st", "1,024th", "4,096th", "1,000,012th"}) {
    std::string digits(words.substr(0, words.size() - 2));
    std::erase(digits, ',');
    Writer out;
    writeOrdinal(out, std::stoull(digits));
    EXPECT_EQ(out.text(), words);
  }
}

TEST(HtmlReportSvgShapes, FixedPointNumbersThatRoundToZeroHaveNoSign) {
  const struct {
    double value;
    int decimals;
    std::string_view text;
  } cases[] = {
      {0.0, 2, "0.00"},      {-0.0, 2, "0.00"},  {-0.004, 2, "0.00"},          {-0.006, 2, "-0.01"},
      {-0.04, 1, "0.0"},     {-0.06, 1, "-0.1"}, {-1e-12, 3, "0.000"},         {-0.4, 0, "0"},
      {-0.6, 0, "-1"},       {0.04, 1, "0.0"},   {214.5, 1, "214.5"},          {942.0, 1, "942.0"},
      {1.0 / 3, 3, "0.333"}, {-2.26, 1, "-2.3"}, {123456.789, 2, "123456.79"},
  };
  for (const auto& [value, decimals, text] : cases) {
    Writer out;
    writeFixed(out, value, decimals);
    EXPECT_EQ(out.text(), text) << value;
  }
}

// ---- Entries and the listing ----

// Entries of up to 40 lines and 4,000 bytes are kept whole; longer ones
// are cut at a line end, or within a longer first line before the
// character that straddles the limit.
TEST(HtmlReportListingExcerpts, CutsALongEntryAtALineEndAndCountsTheRest) {
  const auto lines = [](int count, std::size_t length) {
    std::string text;
    for (int i = 0; i < count; ++i) text += std::string(length - 1, 'x') + "\n";
    return text;
  };
  std::string numbered;  // "line 0\n" to "line 99\n": 10 lines of 7 bytes, 90 of 8
  for (int i = 0; i < 100; ++i) numbered += "line " + std::to_string(i) + "\n";
  const struct {
    const char* name;
    std::string text;
    std::size_t kept;
    std::uint64_t bytesCut, linesCut;
  } cases[] = {
      {"OneLineOf4000Bytes", lines(1, 4000), 4000, 0, 0},
      {"OneLineOf4001Bytes", lines(1, 4001), 4000, 1, 1},
      {"FortyLines", lines(40, 3), 120, 0, 0},
      {"FortyOneLines", lines(41, 3), 120, 3, 1},
      {"FortyLinesOf4000Bytes", lines(40, 100), 4000, 0, 0},
      {"FortyLinesOf4001Bytes", lines(39, 100) + lines(1, 101), 3900, 101, 1},
      {"AHundredLines", numbered, 70 + 30 * 8, 60 * 8, 60},
      {"TwoLines", numbered.substr(0, 14), 14, 0, 0},
      // 3,998 bytes and a euro sign across the limit.
      {"ACharacterAcrossTheLimit",
       std::string(3998, 'x') + "\xe2\x82\xac" + std::string(5000, 'y') + "\n", 3998, 5004, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A view into a larger buffer: what follows must not be read.
    const std::string buffer = c.text + "guard\n";
    ListingEntry entry;
    ListingExcerpts::cut(std::string_view(buffer).substr(0, c.text.size()), entry);
    EXPECT_EQ(entry.text, c.text.substr(0, c.kept));
    EXPECT_EQ(entry.bytesCut, c.bytesCut);
    EXPECT_EQ(entry.linesCut, c.linesCut);
  }
}

// Text records of format version 1 handed to the excerpts, each record's
// bytes a view into a larger buffer.
class TextFeed {
 public:
  explicit TextFeed(ListingExcerpts& listing) : listing_(listing) {}
  void operator()(std::string_view text, bool errorReply) {
    const std::string buffer = std::string(text) + "guard";
    Record record;
    record.offset = offset_;
    offset_ += 16 + text.size();
    record.header.minorCode = kText;
    record.header.length = static_cast<std::int32_t>(text.size());
    record.payload = Bytes(reinterpret_cast<const std::uint8_t*>(buffer.data()), text.size());
    RecordFacts facts;
    facts.errorReply = errorReply;
    listing_.record(record, decodeRecord(record), facts);
  }
  // One record per letter; a capital letter is an error reply.
  void letters(std::string_view letters) {
    for (const char letter : letters) (*this)(std::string_view(&letter, 1), letter < 'a');
  }

 private:
  ListingExcerpts& listing_;
  std::uint64_t offset_ = 0;
};

// Each excerpt, as the letters of its entries.
std::vector<std::string> lettersOf(const ListingExcerpts& listing) {
  std::vector<std::string> excerpts;
  for (const Excerpt& excerpt : listing.excerpts()) {
    std::string letters;
    for (const ListingEntry& entry : excerpt.entries) letters += entry.text.end()[-2];
    excerpts.push_back(letters);
  }
  return excerpts;
}

// Three entries before an error reply and three after; an error reply
// among the three after extends the excerpt; an excerpt holds 30 entries,
// and an entry is in one excerpt only; 100 excerpts are kept, and the
// error replies after them counted.
TEST(HtmlReportListingExcerpts, KeepsThreeEntriesBeforeAndAfterEachErrorReplyAndThirtyInAll) {
  const std::string errors(30, 'E');
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += "abcdEfgh";
  const struct {
    const char* name;
    std::string letters;
    std::vector<std::string> excerpts;
    std::uint64_t withoutExcerpt = 0;
  } cases[] = {
      {"ThreeAndThree", "abcdEfghij", {"bcdEfgh"}},
      {"FewerAtTheEnds", "aEbc", {"aEbc"}},
      {"AnErrorAmongTheThreeAfter", "abcEdeFghij", {"abcEdeFghi"}},
      {"AnErrorRightAfterTheThree", "aEbcdFgh", {"aEbcd", "Fgh"}},
      {"OneEntryBetween", "aEbcdeFgh", {"aEbcd", "eFgh"}},
      {"ThirtyAtMost", "abc" + errors + "defgh", {"abc" + errors.substr(0, 27), "EEEdef"}},
      {"AHundredExcerpts", hundred, std::vector<std::string>(100, "bcdEfgh")},
      {"NoneForTheNextError", hundred + "abcdEfgh", std::vector<std::string>(100, "bcdEfgh"), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ListingOptions options;
    ListingExcerpts listing(options);
    TextFeed(listing).letters(c.letters);
    EXPECT_EQ(lettersOf(listing), c.excerpts);
    EXPECT_EQ(listing.errorsWithoutExcerpt(), c.withoutExcerpt);
  }
}

// The excerpts share one room of text, 3 MiB, with 8 KiB kept back for
// each excerpt to come. Error replies only, in entries of 4,000 bytes and
// 40 lines of 100: excerpts of 30 (120,000 bytes). Entry j of excerpt n
// finds 3,145,728 - 120,000 (n - 1) - 4,000 j - 8,192 (100 - n) bytes:
// excerpts 1 to 20 whole; 21 has 98,560 - 4,000 j, so keeps 24 entries
// whole, 25 lines of the next (2,500 of 2,560 bytes), 60 bytes of the
// first line of the next, then nothing; each later excerpt has the 8,192
// that its start frees: 2 entries, a line, 92 bytes.
TEST(HtmlReportListingExcerpts, LaterExcerptsCutTheirEntriesShorterWhenTheRoomRunsOut) {
  const ListingOptions options;
  ListingExcerpts listing(options);
  TextFeed feed(listing);
  std::string text(65, 'a');
  for (int line = 1; line < 40; ++line) text += "\n" + std::string(99, 'b');
  for (int i = 0; i < 22 * 30; ++i) feed(text, true);
  // The bytes kept of each entry of an excerpt: "count x size" runs.
  const auto kept = [&listing](std::size_t excerpt) {
    std::string runs;
    std::size_t run = 0;
    const auto entries = listing.excerpts()[excerpt - 1].entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].text.size() + entries[i].bytesCut, 4000u);
      ++run;
      if (i + 1 < entries.size() && entries[i + 1].text.size() == entries[i].text.size()) continue;
      if (!runs.empty()) runs += ' ';
      runs += std::to_string(run) + "x" + std::to_string(entries[i].text.size());
      run = 0;
    }
    return runs;
  };
  EXPECT_EQ(kept(20), "30x4000");
  EXPECT_EQ(kept(21), "24x4000 1x2500 1x60 4x0");
  EXPECT_EQ(kept(22), "2x4000 1x100 1x92 26x0");
  EXPECT_EQ(listing.excerpts()[20].entries[24].linesCut, 15u);
}

// 4,096 Text entries of 2,048 bytes (34 bytes of columns, the text and a
// line end) are 8 MiB, which the page holds; one byte more it does not.
TEST(HtmlReportListingExcerpts, KeepsAWholeListingOfUpTo8MiB) {
  for (const auto& [last, whole, entries] : {std::tuple{2013u, ListingExcerpts::Whole::Kept, 4096u},
                                             {2014u, ListingExcerpts::Whole::TooLarge, 0u}}) {
    SCOPED_TRACE(last);
    const ListingOptions options;
    ListingExcerpts listing(options);
    TextFeed feed(listing);
    for (int i = 0; i < 4095; ++i) feed(std::string(2013, 'x'), false);
    feed(std::string(last, 'x'), false);
    EXPECT_EQ(listing.whole(), whole);
    EXPECT_EQ(listing.wholeEntries().size(), entries);
  }
}

TEST(HtmlReportPage, SaysWhatItCutOfALongEntry) {
  TraceBuilder t;
  t.hex(0.0, sequence(20000));
  const Report report = reportOf(t);
  ASSERT_EQ(report.status, 0);
  ASSERT_CHECKED(report);
  // The first 40 lines of the text listing's entry stay, and the rest is
  // counted.
  const std::string listing = runTrace(t).out;
  std::size_t kept = 0;
  for (int line = 0; line < 40; ++line) kept = listing.find('\n', kept) + 1;
  const std::string entry = report.checked.facts["listing_entries"][0]["text"];
  const std::string rest = listing.substr(kept);
  EXPECT_EQ(entry.substr(0, kept), listing.substr(0, kept));
  std::ostringstream note;
  note << "\n[" << grouped(rest.size()) << " more bytes ("
       << grouped(static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\n')))
       << " lines) of this entry cut here; the text listing has them]\n";
  EXPECT_EQ(entry.substr(kept - 1), note.str());
}

// The excerpts say what they hold; an entry cut inside a line (one line of
// 5,000 characters) ends that line before the note of the cut.
TEST(HtmlReportPage, ExcerptsSayWhatTheyHoldAndACutInsideALineEndsTheLine) {
  TraceBuilder t = fourUpdates();
  t.text(0.0, std::string(5000, 'x') + "\n");
  const Report report = reportOf(t, {}, false);
  ASSERT_EQ(report.status, 0);
  EXPECT_TRUE(has(report.html,
                  " prints them, from 3 records before each error reply to 3 after it; error "
                  "replies are marked. Entries longer than 40 lines or 4,000 bytes are cut.</p>"));
  EXPECT_TRUE(has(report.html, "xxxxxxxx\n<span class=\"cut\">["));
}

TEST(HtmlReportPage, HoldsTheWholeListingOfUpTo20000Records) {
  const auto texts = [](std::uint32_t count) {
    TraceBuilder t;
    for (std::uint32_t i = 0; i < count; ++i) t.text(0.0, "message " + std::to_string(i) + "\n");
    return t;
  };
  const auto entries = [](const std::string& html) { return occurrences(html, "id=\"r"); };
  const Report small = reportOf(texts(20000), {}, false);
  ASSERT_EQ(small.status, 0);
  EXPECT_EQ(entries(small.html), 20000u);
  EXPECT_TRUE(has(small.html, "message 19999\n"));

  const Report large = reportOf(texts(20001), {}, false);
  ASSERT_EQ(large.status, 0);
  EXPECT_EQ(entries(large.html), 0u);
  EXPECT_TRUE(has(large.html,
                  "The trace has 20,001 records; the page holds the whole listing of a trace of "
                  "up to 20,000. The text listing has it all: <code>ovantrex -f "));

  // Fewer records, but more listing than the page keeps.
  TraceBuilder hex;
  for (int i = 0; i < 6000; ++i) hex.hex(0.0, sequence(1500));
  const Report heavy = reportOf(hex, {}, false);
  ASSERT_EQ(heavy.status, 0);
  EXPECT_EQ(entries(heavy.html), 0u);
  EXPECT_TRUE(
      has(heavy.html, "The listing of this trace runs to more than 8 MiB, too much for the page."));
  // The sentence ends the listing's section, after the command.
  const std::size_t said = heavy.html.find("The listing of this trace runs");
  const std::size_t end = heavy.html.find("</section>", said);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(heavy.html.substr(end - 12, 12), "</code></p>\n");
  EXPECT_LT(heavy.html.size(), std::size_t{200000});
}

// ---- The command line ----

TEST(HtmlReportCommandLine, TakesNeitherJsonNorSummary) {
  for (const std::string other : {"--json", "--summary"}) {
    const RunResult result = run({"--report", other, "-f", kSample});
    EXPECT_EQ(result.status, 1) << other;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "ovantrex: --report is a page of its own; it takes neither --json nor --summary\n");
  }
}

// ---- At a glance ----

// 1,200 flash writes and 1,100 error replies before any start (the error
// list keeps 1,000), with no update or then one with 5 error replies.
TEST(HtmlReportPage, GlanceCountsWritesAndErrorsOutsideUpdatesPastTheKeptErrors) {
  TraceBuilder outside;
  for (std::uint32_t i = 0; i < 1200; ++i) outside.hidWrite(0.0, kFirmware, flashWrite(i * 4, 4));
  for (int i = 0; i < 1100; ++i) outside.hidRead(0.0, kFirmware, status(0x41));
  TraceBuilder thenAnUpdate = outside;
  thenAnUpdate.hidWrite(0.0, kFirmware, startFlash());
  for (int i = 0; i < 5; ++i) thenAnUpdate.hidRead(0.0, kFirmware, status(0x41));

  const std::string writes =
      "1,200 flash writes fall outside any update (no \"Start flash update\" before them).";
  const std::string errors = "<li class=\"bad\"><a href=\"#errors\">";
  const Report none = reportOf(outside, {}, false);
  const Report one = reportOf(thenAnUpdate, {}, false);
  // The glance, then the summary's section of updates.
  EXPECT_TRUE(has(none.html, "<li class=\"warn\">No flash update in this trace: " + writes +
                                 "</li>\n" + errors +
                                 "1,100 error replies</a> in the trace, all of them outside any "
                                 "update.</li>\n</ul>"));
  // The verdict first, as its update ended: the first error reply refuses
  // the start, which fails nothing, and the others answer no command.
  EXPECT_TRUE(has(one.html,
                  "<ul class=\"glance\">\n<li class=\"warn\"><strong>update 1 unfinished: no "
                  "checksum written and no reset; 5 other error replies</strong></li>\n<li "
                  "class=\"warn\">" +
                      writes + "</li>\n"));
  EXPECT_TRUE(has(one.html, errors + "1,105 error replies</a> in the trace, 1,100 of them before "
                                     "the first update.</li>\n</ul>"));
  for (const Report* report : {&none, &one}) {
    EXPECT_TRUE(has(report->html,
                    "<tr><th scope=\"row\">outside any update</th><td class=\"nw\">1,200 flash "
                    "writes</td></tr>"));
  }
  // The error table's heading counts them all too.
  EXPECT_TRUE(has(none.html, "<h3>Error replies (1,100)</h3>"));
}

// A completed update and an unfinished one: each update's line on the
// glance and its row of the table say its outcome, and the verdict takes
// the colour of the last.
TEST(HtmlReportPage, EachUpdateShowsItsOutcome) {
  TraceBuilder t;
  t.hidWrite(0.0, kFirmware, startFlash()).hidRead(0.0, kFirmware, status(0x01));
  t.hidWrite(0.0, kFirmware, checksum(0x1234)).hidRead(0.0, kFirmware, status(0x01));
  t.hidWrite(0.0, kFirmware, reset()).hidWrite(0.0, kFirmware, startFlash());
  const std::string html = reportOf(t, {}, false).html;
  EXPECT_TRUE(has(html,
                  "reset. Outcome: <span class=\"verdict\">completed</span>.</li>\n"
                  "<li class=\"warn\"><strong><a href=\"#update-2\">Update 2</a>"));
  EXPECT_TRUE(has(html, "<th>responses</th><th>outcome</th></tr>"));
  EXPECT_TRUE(has(html, "<td>completed</td></tr>\n<tr><td>"));
  EXPECT_TRUE(has(html, "<td>unfinished</td></tr>\n</tbody>"));
  // A failed update, then a completed one: the verdict is not red.
  TraceBuilder failedThenCompleted;
  failedThenCompleted.hidWrite(0.0, kFirmware, startFlash())
      .hidWrite(0.0, kFirmware, flashWrite(0x1000, 1))
      .hidRead(0.0, kFirmware, status(0x80));
  failedThenCompleted.hidWrite(0.0, kFirmware, startFlash())
      .hidWrite(0.0, kFirmware, checksum(0x1234))
      .hidRead(0.0, kFirmware, status(0x01))
      .hidWrite(0.0, kFirmware, reset());
  EXPECT_TRUE(has(reportOf(failedThenCompleted, {}, false).html,
                  "<ul class=\"glance\">\n<li><strong>2 updates: 1 completed, 1 failed; update 2 "
                  "(the last) completed: checksum written and device reset</strong></li>\n"));
}

}  // namespace
}  // namespace ovantrex::test
