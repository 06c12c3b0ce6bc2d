// The HTML report (--report): the page is read back with a strict HTML5
// parser (tests/check_report.py, html5lib), which also checks that every
// id is unique, every link lands on an id of the page, nothing is loaded
// from outside it and the content security policy names the digests of the
// page's own style sheet and script. Hand-made traces with known marks;
// the escaping of trace text; the thinning, the cut of long entries and the
// rule for the whole listing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "firmware_traffic.h"
#include "output/html/html_text.h"
#include "output/html/listing_excerpts.h"
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
  const std::string command =
      OVANTREX_PYTHON " " OVANTREX_SOURCE_DIR "/tests/check_report.py '" + pagePath + "'";
  Checked checked;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return checked;
  std::string out;
  char block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) out.append(block, n);
  const int status = pclose(pipe);
  checked.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // The checker's status 2: no html5lib for the interpreter that the
  // configure found (it was there then).
  if (checked.status == 2) ADD_FAILURE() << "install python3-html5lib for " OVANTREX_PYTHON;
  checked.facts = json::parse(out, nullptr, false);
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

TEST(ReportPage, SampleIsValidHtmlWithEveryErrorRowLinkedToItsEntry) {
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
TEST(ReportPage, ListingIsTheTextListingWithTheSameOptions) {
  TempDir dir;
  const std::string page = dir.file("sample.html");
  ASSERT_EQ(run({"--report", "-t", "-p", "-H", "-f", kSample, "-w", page}).status, 0);
  const Checked checked = check(page);
  ASSERT_EQ(checked.status, 0);
  const RunResult listing = run({"-t", "-p", "-H", "-f", kSample});
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
  EXPECT_TRUE(has(checked.facts["sections"]["excerpts"], "ovantrex -t -p -H -f "));
}

// ---- Escaping ----

TEST(ReportPage, TraceTextAndNamesComeOutInert) {
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
  EXPECT_TRUE(has(facts["sections"]["listing"], "a<b>&'\\''\".trc'"));
}

TEST(HtmlText, EscapesMarkupControlsReorderingCharactersBrokenUtf8AndNoncharacters) {
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

// An update whose second write is refused and retried, then a checksum
// and a reset.
TraceBuilder refusedAndRetried() {
  TraceBuilder t;
  t.marker(kMarkerV3);
  t.text(0.0, "Updating\n", at(0));                             // record 1, offset 16
  t.hidWrite(5.0, kFirmware, startFlash(), at(5));              // 2
  t.hidRead(9.0, kFirmware, status(0x03), at(9));               // 3
  t.hidWrite(12.0, kFirmware, flashWrite(0x1000, 16), at(12));  // 4
  t.hidRead(14.0, kFirmware, status(0x03), at(14));             // 5
  t.hidWrite(16.0, kFirmware, flashWrite(0x1010, 16), at(16));  // 6
  t.hidRead(18.0, kFirmware, status(0x41), at(18));             // 7
  t.text(19.0, "Retrying\n", at(19));                           // 8
  t.hidWrite(20.0, kFirmware, flashWrite(0x1010, 16), at(20));  // 9
  t.hidRead(22.0, kFirmware, status(0x03), at(22));             // 10
  t.hidWrite(30.0, kFirmware, checksum(0xbeef), at(30));        // 11
  t.hidRead(32.0, kFirmware, status(0x01), at(32));             // 12
  t.hidWrite(40.0, kFirmware, reset(), at(40));                 // 13
  return t;
}

TEST(ReportPage, MarksTheRefusedWriteTheErrorTheChecksumAndTheReset) {
  const Report report = reportOf(refusedAndRetried());
  ASSERT_EQ(report.status, 0);
  ASSERT_CHECKED(report);
  const json& timeline = report.checked.facts["timelines"][0];
  EXPECT_EQ(timeline["writes"], json::parse(R"j([
      "Flash write 16 bytes to address=0x001000 (offset 147, record 4, 2001-09-09T01:46:40.012Z)",
      "Flash write 16 bytes to address=0x001010 (offset 257, record 6, 2001-09-09T01:46:40.016Z)",
      "Flash write 16 bytes to address=0x001010 (offset 408, record 9, 2001-09-09T01:46:40.020Z)"])j"));
  EXPECT_EQ(timeline["refused"], json::parse(R"j([
      "Refused: Flash write 16 bytes to address=0x001010 (offset 257, record 6, 2001-09-09T01:46:40.016Z)"])j"));
  EXPECT_EQ(timeline["errors"], json::parse(R"j([
      "Error reply: Command complete; Operation in Error (offset 321, record 7, 2001-09-09T01:46:40.018Z)"])j"));
  EXPECT_EQ(timeline["checksums"], json::parse(R"j([
      "Checksum: Write checksum 0xbeef to flash memory (offset 518, record 11, 2001-09-09T01:46:40.030Z)"])j"));
  EXPECT_EQ(timeline["resets"], json::parse(R"j([
      "Reset: Reset USB device and reenumerate (offset 612, record 13, 2001-09-09T01:46:40.040Z)"])j"));
  EXPECT_TRUE(
      has(timeline["text"], "seconds since the start of the update (2001-09-09T01:46:40.005Z)"));

  const json& map = report.checked.facts["flash_maps"][0];
  EXPECT_EQ(map["written"], json::parse(R"j(["written 0x001000–0x00101f: 32 bytes"])j"));
  EXPECT_EQ(map["rewritten"],
            json::parse(R"j(["written more than once 0x001010–0x00101f: 16 bytes"])j"));
  EXPECT_EQ(map["gaps"], json::array());
  EXPECT_EQ(map["refused"],
            json::parse(R"j(["refused write 0x001010–0x00101f: 16 bytes (offset 257)"])j"));
}

TEST(ReportPage, GapsAndOverlapsShowAndATraceWithoutTimesGoesByRecordNumber) {
  TraceBuilder t;
  t.marker(kMarkerV2);
  t.hidWrite(0.0, kFirmware, startFlash());
  t.hidWrite(1.0, kFirmware, flashWrite(0x2000, 8));
  t.hidWrite(2.0, kFirmware, flashWrite(0x2010, 8));
  t.hidWrite(3.0, kFirmware, flashWrite(0x2014, 8));  // half over the one before
  t.hidWrite(4.0, kFirmware, flashWrite(0x201d, 1));
  const Report report = reportOf(t);
  ASSERT_EQ(report.status, 0);
  ASSERT_CHECKED(report);
  const json& map = report.checked.facts["flash_maps"][0];
  EXPECT_EQ(map["written"], json::parse(R"j(["written 0x002000–0x002007: 8 bytes",
      "written 0x002010–0x00201b: 12 bytes", "written 0x00201d–0x00201d: 1 byte"])j"));
  EXPECT_EQ(map["rewritten"],
            json::parse(R"j(["written more than once 0x002014–0x002017: 4 bytes"])j"));
  EXPECT_EQ(map["gaps"], json::parse(R"j(["gap, not written 0x002008–0x00200f: 8 bytes",
                                          "gap, not written 0x00201c–0x00201c: 1 byte"])j"));
  const json& timeline = report.checked.facts["timelines"][0];
  EXPECT_TRUE(has(timeline["text"], "record number"));
  EXPECT_EQ(timeline["writes"][0], "Flash write 8 bytes to address=0x002000 (offset 60, record 2)");
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

TEST(ReportPage, ThinsTheMarksOfALongUpdateAndSaysSo) {
  // 3,000 marks are drawn as they are; one more write halves them.
  const Report whole = reportOf(manyWrites(3000, 2999));
  ASSERT_CHECKED(whole);
  EXPECT_EQ(whole.checked.facts["timelines"][0]["writes"].size(), 3000u);
  EXPECT_FALSE(has(whole.checked.facts["sections"]["update-1"], "draws every"));

  const Report halved = reportOf(manyWrites(3001, 2999));
  ASSERT_EQ(halved.checked.status, 0);
  EXPECT_EQ(halved.checked.facts["timelines"][0]["writes"].size(), 1501u);
  EXPECT_TRUE(has(halved.checked.facts["sections"]["update-1"],
                  "The update has 3,001 flash writes; the timeline draws every 2nd of them "
                  "(1,501 marks), and every refused write and error reply."));

  // 10,000 writes: every 4th is drawn, and the refused one (an odd one) too.
  const Report thinned = reportOf(manyWrites(10000, 4999));
  ASSERT_EQ(thinned.checked.status, 0);
  const json& timeline = thinned.checked.facts["timelines"][0];
  EXPECT_EQ(timeline["writes"].size(), 2500u);
  ASSERT_EQ(timeline["refused"].size(), 1u);
  EXPECT_TRUE(has(timeline["refused"][0], "address=0x004e1c"));
  EXPECT_TRUE(
      has(thinned.checked.facts["sections"]["update-1"], "every 4th of them (2,500 marks)"));
}

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

// The drawn updates share one room of marks (24,000, with 500 kept back for
// each update still to be drawn) and one of each kind of event (4,000 error
// replies and as many refused writes, 100 kept back). By hand: updates 1
// to 5 keep their 3,000 writes; update 6 finds room for 2,000 marks, so
// draws every 2nd write (1,500 marks), update 7 for 1,000 (every 4th, 750
// marks). Updates 1 and 2 draw 1,000 of their 1,500 refused writes and
// error replies, update 3 the 300 left.
TEST(ReportPage, TheDrawnUpdatesShareTheRoomOfMarksAndEvents) {
  TraceBuilder t;
  for (int update = 1; update <= 7; ++update) {
    t.hidWrite(0.0, kFirmware, startFlash());
    for (std::uint32_t i = 0; i < 3000; ++i) {
      t.hidWrite(0.0, kFirmware, flashWrite(i * 4, 4));
      if (update <= 3 && i < 1500) t.hidRead(0.0, kFirmware, status(0x41));
    }
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

// ---- Entries and the listing ----

TEST(ListingExcerpts, CutsALongEntryAtALineEndAndCountsTheRest) {
  std::string lines;
  for (int i = 0; i < 100; ++i) lines += "line " + std::to_string(i) + "\n";
  const std::string buffer = lines + "guard\n";
  ListingEntry entry;
  ListingExcerpts::cut(std::string_view(buffer).substr(0, lines.size()), entry);
  EXPECT_EQ(entry.text, lines.substr(0, lines.find("line 40\n")));
  EXPECT_EQ(entry.linesCut, 60u);
  EXPECT_EQ(entry.bytesCut, lines.size() - entry.text.size());

  // One line longer than the limit is cut before the character that
  // straddles it.
  const std::string line = std::string(3998, 'x') + "\xe2\x82\xac" + std::string(5000, 'y') + "\n";
  ListingExcerpts::cut(line, entry);
  EXPECT_EQ(entry.text, std::string(3998, 'x'));
  EXPECT_EQ(entry.bytesCut, line.size() - 3998);
  EXPECT_EQ(entry.linesCut, 1u);

  ListingExcerpts::cut(std::string_view(buffer).substr(0, 14), entry);
  EXPECT_EQ(entry.text, "line 0\nline 1\n");
  EXPECT_EQ(entry.bytesCut, 0u);
}

TEST(ReportPage, SaysWhatItCutOfALongEntry) {
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

// The excerpts share one room of text (3 MiB, 8 KiB kept back for each
// excerpt to come): when long entries have filled it, the entries of later
// excerpts are cut shorter, at a line end, and each still says how much of
// it was cut.
TEST(ReportPage, LaterExcerptsCutTheirEntriesShorterWhenTheRoomRunsOut) {
  // Hex records of 1,200 bytes (64 lines, 4,932 bytes in the listing)
  // between error replies: excerpts of 30 entries, 15 of them long.
  TraceBuilder t;
  t.hex(0.0, sequence(1200));
  const std::string hexEntry = runTrace(t).out;
  ASSERT_EQ(hexEntry.size(), 4932u);
  for (int i = 0; i < 1600; ++i) {
    t.hidRead(0.0, kFirmware, status(0x80));
    t.hex(0.0, sequence(1200));
  }
  const Report report = reportOf(t, {}, false);
  ASSERT_EQ(report.status, 0);
  const std::string& html = report.html;
  ASSERT_TRUE(has(html, "The page keeps 100 excerpts;"));

  // Every Hex entry of the excerpts: the start of the listing's entry, and
  // the number of bytes and lines cut.
  std::vector<std::size_t> keptLines;
  std::size_t keptBytes = 0;
  const std::string_view start = "<span class=\"entry\" id=\"e";
  for (std::size_t at = html.find(start); at != std::string::npos; at = html.find(start, at + 1)) {
    const std::size_t text = html.find("\">", at) + 2;
    if (html.compare(text, 3, "Hex") != 0 && html.compare(text, 18, "<span class=\"cut\">") != 0)
      continue;
    const std::size_t cut = html.find("<span class=\"cut\">[", text);
    ASSERT_NE(cut, std::string::npos);
    const std::string kept = html.substr(text, cut - text);
    ASSERT_EQ(hexEntry.compare(0, kept.size(), kept), 0) << "not the start of the entry";
    std::string bytes(16, '\0'), lines(16, '\0');
    ASSERT_EQ(std::sscanf(html.c_str() + cut + 19, "%15[0-9,] more bytes (%15[0-9] lines",
                          bytes.data(), lines.data()),
              2);
    std::erase(bytes, ',');
    EXPECT_EQ(kept.size() + std::stoul(bytes), hexEntry.size());
    const auto linesKept = static_cast<std::size_t>(std::count(kept.begin(), kept.end(), '\n'));
    EXPECT_EQ(linesKept + std::stoul(lines), 64u);
    keptLines.push_back(linesKept);
    keptBytes += kept.size();
  }
  ASSERT_GT(keptLines.size(), 1000u);
  EXPECT_EQ(keptLines.front(), ListingExcerpts::kEntryLines);
  EXPECT_LT(keptLines.back(), ListingExcerpts::kEntryLines);
  EXPECT_LE(keptBytes, ListingExcerpts::kExcerptTextRoom);
}

TEST(ReportPage, HoldsTheWholeListingOfUpTo20000Records) {
  const auto texts = [](std::uint32_t count) {
    TraceBuilder t;
    for (std::uint32_t i = 0; i < count; ++i) t.text(0.0, "message " + std::to_string(i) + "\n");
    return t;
  };
  const auto entries = [](const std::string& html) {
    std::size_t count = 0;
    for (std::size_t at = html.find("id=\"r"); at != std::string::npos;
         at = html.find("id=\"r", at + 1))
      ++count;
    return count;
  };
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
  EXPECT_LT(heavy.html.size(), std::size_t{200000});
}

// ---- The command line ----

TEST(ReportCommandLine, TakesNeitherJsonNorSummary) {
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
TEST(ReportPage, GlanceCountsWritesAndErrorsOutsideUpdatesPastTheKeptErrors) {
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
  // The verdict first: the update starts at 1,200 x 36 + 1,100 x 30 bytes.
  EXPECT_TRUE(has(one.html,
                  "<ul class=\"glance\">\n<li class=\"bad\"><strong>update 1 failed: 5 error "
                  "replies, first at offset 76,228</strong></li>\n<li class=\"warn\">" +
                      writes + "</li>\n"));
  EXPECT_TRUE(has(one.html, errors + "1,105 error replies</a> in the trace, 1,100 of them before "
                                     "the first update.</li>\n</ul>"));
  for (const Report* report : {&none, &one}) {
    EXPECT_TRUE(
        has(report->html,
            "<tr><th scope=\"row\">outside any update</th><td>1,200 flash writes</td></tr>"));
  }
}

// A completed update and an unfinished one: each update's line on the
// glance and its row of the table say its outcome.
TEST(ReportPage, EachUpdateShowsItsOutcome) {
  TraceBuilder t;
  t.hidWrite(0.0, kFirmware, startFlash()).hidWrite(0.0, kFirmware, checksum(0x1234));
  t.hidWrite(0.0, kFirmware, reset()).hidWrite(0.0, kFirmware, startFlash());
  const std::string html = reportOf(t, {}, false).html;
  EXPECT_TRUE(has(html,
                  "reset. Outcome: <span class=\"verdict\">completed</span>.</li>\n"
                  "<li class=\"warn\"><strong><a href=\"#update-2\">Update 2</a>"));
  EXPECT_TRUE(has(html, "<th>error replies</th><th>outcome</th></tr>"));
  EXPECT_TRUE(has(html, "<td>completed</td></tr>\n<tr><td>"));
  EXPECT_TRUE(has(html, "<td>unfinished</td></tr>\n</tbody>"));
}

// ---- Memory ----

// A hostile trace of half a million refused flash writes in one update, all
// to addresses of their own: every list of the page is at its cap, and the
// page and the memory stay small.
TEST(ReportPage, AHostileMillionRecordsStayBounded) {
  TempDir dir;
  const std::string trace = dir.file("hostile.trc");
  const std::string page = dir.file("report.html");
  {
    // Built and let go before the child is forked, which would count it.
    TraceBuilder t;
    t.hidWrite(0.0, kFirmware, startFlash());
    for (std::uint32_t i = 0; i < 500000; ++i) {
      t.hidWrite(0.0, kFirmware, flashWrite(i * 16, 1));
      t.hidRead(0.0, kFirmware, status(0x41));
    }
    t.writeTo(trace);
  }
  const ChildResult result = runChild(dir, {.args = {"--report", "-f", trace, "-w", page}});
  ASSERT_EQ(result.status, 0) << result.err;
#if !defined(__SANITIZE_ADDRESS__)
  // Two flash maps (2 MiB each), the whole listing until the 20,001st
  // record, the excerpts and the marks.
  EXPECT_LT(result.peakKiB, 48 * 1024) << "peak KiB";
#endif
  const std::string html = readFile(page);
  EXPECT_LT(html.size(), std::size_t{4} << 20);
  EXPECT_TRUE(has(html, "The table holds the first 1,000; 499,000 more are counted."));
  EXPECT_TRUE(has(html, "the timeline draws every 256th of them (1,954 marks)"));
  // An excerpt holds 30 entries: the first one the start, the first write
  // and 14 error replies, each later one 15 error replies and 15 writes.
  EXPECT_TRUE(has(html, "The page keeps 100 excerpts; 498,501 later error replies have none."));
}

}  // namespace
}  // namespace ovantrex::test
