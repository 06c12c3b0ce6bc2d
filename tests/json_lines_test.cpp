// JSON Lines (--json): one object per data record and per diagnostic, read
// back with a real JSON parser. Expected values are written out by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "firmware_traffic.h"
#include "guarded_bytes.h"
#include "output/common/json_values.h"
#include "system.h"
#include "trace_builder.h"

namespace ovantrex::test {
namespace {

using nlohmann::json;

// Every line of the output, parsed; a line that is not JSON fails the test.
std::vector<json> parseLines(const std::string& text) {
  std::vector<json> objects;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    json parsed = json::parse(line, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << line;
    objects.push_back(std::move(parsed));
  }
  EXPECT_TRUE(text.empty() || text.back() == '\n');
  return objects;
}

std::vector<json> jsonOf(const TraceBuilder& trace, std::vector<std::string> options = {}) {
  options.push_back("--json");
  const RunResult result = runTrace(trace, options);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  return parseLines(result.out);
}

// 2001-09-09T01:46:40Z.
constexpr std::int32_t kSeconds = 1000000000;
const ExtHeader kExt{.thread = 0x2b0, .process = 0x1a4, .seconds = kSeconds, .millis = 15};

TEST(JsonLines, RecordKeysOfEachFormatVersion) {
  TraceBuilder trace;
  trace.text(1500.0, "one\n");                        // offset 0, version 1
  trace.marker(kMarkerV2);                            // 20 + 16
  trace.hex(2000.0, {0x01, 0xab}, {.component = 7});  // offset 36, version 2
  trace.marker(kMarkerV3);                            // 36 + 34, then 16
  trace.text(2500.5, "three", kExt);                  // offset 86
  trace.text(-250.5, "back", kExt);  // a stamp below zero and below the one before it
  const std::vector<json> lines = jsonOf(trace);
  ASSERT_EQ(lines.size(), 4u);

  EXPECT_EQ(lines[0], json::parse(R"j({"offset":0,"version":1,"minor":42,"type":"Text","length":4,
      "stamp":1500,"elapsed":1.5,"hidden":false,"failed":false,"text":"one"})j"));
  EXPECT_EQ(lines[1], json::parse(R"j({"offset":36,"version":2,"minor":404,"type":"Hex","length":2,
      "stamp":2000,"elapsed":0.5,"component":7,"hidden":false,"failed":false,"data":"01ab"})j"));
  EXPECT_EQ(lines[2], json::parse(R"j({"offset":86,"version":3,"minor":42,"type":"Text","length":5,
      "stamp":2500.5,"elapsed":0.5005,"component":0,"pid":420,"tid":688,
      "time":"2001-09-09T01:46:40.015Z","hidden":false,"failed":false,"text":"three"})j"));
  EXPECT_EQ(lines[3]["stamp"], -250.5);
  EXPECT_EQ(lines[3]["elapsed"], -2.751);
}

TEST(JsonLines, TimeIsUtcWhateverTheZoneAndTheHourOffset) {
  TraceBuilder trace;
  trace.marker(kMarkerV3).text(0.0, "x", {.seconds = -1, .millis = 1999});
  trace.text(0.0, "y", {.seconds = 951782400});  // 2000-02-29T00:00:00Z
  trace.text(0.0, "z", {.seconds = 951782400, .millis = 1000});
  setEnvironment("TZ", kCentralEuropeanZone);
  const std::vector<json> lines = jsonOf(trace, {"-t", "-h", "5"});
  setEnvironment("TZ", "UTC");
  ASSERT_EQ(lines.size(), 3u);
  // A millisecond count of 1000 or more carries into the seconds, also
  // after a record of the same second count.
  EXPECT_EQ(lines[0]["time"], "1970-01-01T00:00:00.999Z");
  EXPECT_EQ(lines[1]["time"], "2000-02-29T00:00:00.000Z");
  EXPECT_EQ(lines[2]["time"], "2000-02-29T00:00:01.000Z");
}

TEST(JsonLines, ListingOptionsChangeNothing) {
  TraceBuilder trace;
  trace.marker(kMarkerV3)
      .text(100.0, "a", kExt)
      .hidWrite(300.0, {0, 0, 0xa0, 0}, {0x02, 0x00, 0x01}, kExt);
  const RunResult plain = runTrace(trace, {"--json"});
  const RunResult optioned = runTrace(trace, {"-t", "-p", "-H", "-m", "-c", "-h", "3", "--json"});
  EXPECT_EQ(optioned.out, plain.out);
  EXPECT_EQ(parseLines(plain.out).size(), 2u);
}

// A JSON string at the edges of each class of byte: the controls 0x00 to
// 0x1f, printable ASCII 0x20 to 0x7e but for '"' and '\', and 0x7f to 0xff.
// Printable ASCII stands as it is, '"' and '\' behind a backslash, every
// other byte b as \u00hh, the character whose code is b.
struct JsonStringCase {
  const char* what;
  std::string bytes;
  std::string written;  // between the quotes
};
const JsonStringCase kJsonStrings[] = {
    {"NUL escaped", std::string(1, '\0'), R"(\u0000)"},
    {"the last control escaped", "\x1f", R"(\u001f)"},
    {"blank as it is", " ", " "},
    {"exclamation mark as it is", "!", "!"},
    {"quote behind a backslash", "\"", R"(\")"},
    {"backslash behind a backslash", "\\", R"(\\)"},
    {"tilde as it is", "~", "~"},
    {"DEL escaped", "\x7f", R"(\u007f)"},
    {"the first high byte escaped", "\x80", R"(\u0080)"},
    {"the last high byte escaped", "\xff", R"(\u00ff)"},
    {"runs of plain bytes between escapes", "a\"bc\\\x01\tz\xc3\xa9",
     R"(a\"bc\\\u0001\u0009z\u00c3\u00a9)"},
    // The bytes are escaped 1,024 at a time: a run of plain bytes and a run
    // of escapes across the first boundary.
    {"runs across the blocks of escaping",
     std::string(1023, 'a') + "\x1f\x1f" + std::string(1023, 'b'),
     std::string(1023, 'a') + R"(\u001f\u001f)" + std::string(1023, 'b')},
};

TEST(JsonLinesString, IsWrittenFromAViewIntoALargerBuffer) {
  for (const JsonStringCase& c : kJsonStrings) {
    SCOPED_TRACE(c.what);
    const GuardedBytes guarded(
        {reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()});
    Writer fromBytes;
    writeJsonString(fromBytes, guarded.view());
    EXPECT_EQ(fromBytes.text(), "\"" + c.written + "\"");
    const std::string text = "\xa5" + c.bytes + "\xa5";
    Writer fromText;
    writeJsonString(fromText, std::string_view(text).substr(1, c.bytes.size()));
    EXPECT_EQ(fromText.text(), "\"" + c.written + "\"");
  }
}

// In JSON Lines: the text of a Text record (which ends at its first zero
// byte) and the characters of a serial number (up to 255), in its note too.
TEST(JsonLinesString, StandsTheSameInJsonLines) {
  for (const JsonStringCase& c : kJsonStrings) {
    SCOPED_TRACE(c.what);
    TraceBuilder trace;
    const bool inText = c.bytes.find('\0') == std::string::npos;
    const bool inSerial = c.bytes.size() <= 255;
    if (inText) trace.text(0.0, Payload(c.bytes));
    if (inSerial) trace.hidWrite(0.0, kFirmware, serialNumber(c.bytes));
    std::istringstream lines(runTrace(trace, {"--json"}).out);
    std::string line;
    if (inText) {
      ASSERT_TRUE(std::getline(lines, line));
      EXPECT_TRUE(line.ends_with(",\"text\":\"" + c.written + "\"}")) << line;
    }
    if (inSerial) {
      ASSERT_TRUE(std::getline(lines, line));
      EXPECT_NE(line.find("(S/N: " + c.written + ")\"]"), std::string::npos) << line;
      EXPECT_NE(line.find(",\"text\":\"" + c.written + "\"},"), std::string::npos) << line;
    }
    EXPECT_FALSE(std::getline(lines, line)) << "more lines than records";
  }
}

TEST(JsonLines, TransfersCarryHeaderReportAndData) {
  TraceBuilder trace;
  trace.hidSetFeat(0.0, {1, 2, 0xa0, 4, 5, 6, 7, 8}, {0xff});
  trace.hidWrite(0.0, {0, 0, 0x21, 0}, Payload("ping"));
  trace.hex(0.0, repeated(1024, 0x11) + sequence(6));  // past the 1,024 bytes written at a time
  const std::vector<json> lines = jsonOf(trace);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["header"], "0102a00405060708");
  EXPECT_EQ(lines[0]["report"], 0xa0);
  EXPECT_EQ(lines[0]["data"], "ff");
  // A feature write is never decoded, whatever its report.
  EXPECT_FALSE(lines[0].contains("notes"));
  EXPECT_FALSE(lines[0].contains("decoded"));
  EXPECT_EQ(lines[1]["report"], 0x21);
  EXPECT_EQ(lines[1]["data"], "70696e67");
  EXPECT_FALSE(lines[1].contains("notes"));
  EXPECT_EQ(lines[2]["data"], std::string(2048, '1') + "000102030405");
}

// The notes and the decoded value of one firmware-report record.
struct Firmware {
  json notes;
  json decoded;
};
Firmware firmwareOf(const TraceBuilder& trace) {
  const std::vector<json> lines = jsonOf(trace);
  EXPECT_EQ(lines.size(), 1u);
  if (lines.size() != 1) return {};
  return {lines[0].value("notes", json()), lines[0].value("decoded", json())};
}

Firmware command(const Payload& data) {
  TraceBuilder trace;
  trace.hidWrite(0.0, {0, 0, 0xa0, 0}, data);
  return firmwareOf(trace);
}

TEST(JsonLines, CommandsDecoded) {
  Firmware write = command({0x0f, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00});
  EXPECT_EQ(write.notes, json::parse(R"j(["Flash write 8 bytes to address=0x018000",
      "Invalid command, data_count=8 + 6 note equal to 15"])j"));
  EXPECT_EQ(write.decoded, json::parse(R"j({"kind":"flash write",
      "command":{"value":2,"name":"flash write"},"data_count":8,"address":98304,
      "length_field":15,"length_agrees":false,"truncated":false})j"));

  EXPECT_EQ(command({0x07, 0x00, 0x02, 0x00, 0x00, 0xab, 0xcd, 0x00}).decoded,
            json::parse(R"j({"kind":"checksum write","command":{"value":2,"name":"flash write"},
                "checksum":43981,"truncated":false})j"));

  Firmware serial = command({0x0c, 0x00, 0x10, 0x00, 0x03, 0, 0, 0, 'A', 0, 0x1b, 0, 'C', 0});
  EXPECT_EQ(serial.notes, json::parse("[\"Write serial number (S/N: A\\u001bC)\"]"));
  EXPECT_EQ(serial.decoded, json::parse(R"j({"kind":"serial number",
      "command":{"value":16,"name":"write serial number"},"data_count":3,
      "serial":{"hex":"411b43","text":"A\u001bC"},"truncated":false})j"));

  EXPECT_EQ(
      command({0x06, 0x00, 0x20, 0x00, 0x40, 0xf3, 0x00, 0x01}).decoded,
      json::parse(R"j({"kind":"read one record","command":{"value":32,"name":"read one record"},
                "data_count":64,"address":15925249,
                "record_id":{"value":15925249,"name":"f3.00.01 Information,Component=3 Version"},
                "truncated":false})j"));

  Firmware request = command({0x0a, 0x00, 0x40, 0, 0, 0, 0, 0, 0x41, 0x03, 0x61, 0x40, 0x62});
  // The entry's words alone: the text listing's deeper indent is not part
  // of them.
  EXPECT_EQ(request.notes,
            json::parse(R"j(["Systems Management Request:","Usage Report for MSR"])j"));
  EXPECT_EQ(request.decoded, json::parse(R"j({"kind":"systems management request",
      "command":{"value":64,"name":"systems management request"},"marked":true,"entry_bytes":3,
      "entries":[{"report":{"value":97,"name":"Usage Report"},
                  "device_class":{"value":64,"name":"MSR"}}],"truncated":true})j"));

  Firmware info = command({0x03, 0x00, 0x00, 0x00, 0x01});
  EXPECT_EQ(info.notes, json::parse(R"j(["Request device information","Test command"])j"));
  EXPECT_EQ(info.decoded, json::parse(R"j({"kind":"system command",
      "command":{"value":0,"name":"system command"},
      "sub_command":{"value":0,"name":"Request device information"},"data_count":1,
      "device_information":true,"truncated":false})j"));

  EXPECT_EQ(command({0x02, 0x00, 0x01, 0x00}).decoded, json::parse(R"j({"kind":"start flash update",
                "command":{"value":1,"name":"start flash update"},"truncated":false})j"));
  Firmware invalid = command({0x02, 0x00, 0x99});
  EXPECT_EQ(invalid.notes, json::parse(R"j(["Invalid flash command"])j"));
  EXPECT_EQ(invalid.decoded, json::parse(R"j({"kind":"invalid command",
      "command":{"value":153,"name":"invalid"},"truncated":false})j"));
}

TEST(JsonLines, StatusRepliesDecoded) {
  TraceBuilder ec;
  ec.hidRead(0.0, {0, 0, 0xa0, 0}, {0x45, 0x02, 0x03, 0x02, 0x01, 0x00});
  const Firmware levels = firmwareOf(ec);
  EXPECT_EQ(levels.notes, json::parse(R"j(["Command complete",
      "EC information available (current=02.03, previous=02.01)","Operation in Error"])j"));
  EXPECT_EQ(levels.decoded, json::parse(R"j({"kind":"status reply",
      "status":{"value":69,"bits":["Command complete","EC information available","Operation in Error"]},
      "ec":{"current":"02.03","previous":"02.01"},"truncated":false})j"));

  TraceBuilder flash;
  flash.hidRead(0.0, {0, 0, 0xa0, 0},
                Payload{0x01, 0x00, 0x04, 0x01, 0x02, 0x03} + Payload("AB\x01"));
  const Firmware read = firmwareOf(flash);
  EXPECT_EQ(read.notes,
            json::parse(R"j(["Command complete","Flash Read (length=4, address=01.02.03)"])j"));
  EXPECT_EQ(read.decoded, json::parse(R"j({"kind":"status reply",
      "status":{"value":1,"bits":["Command complete"]},
      "flash_read":{"length":4,"address":66051,"contents":{"hex":"414201","text":"AB\u0001"}},
      "truncated":false})j"));
}

TEST(JsonLines, ComponentReportsDecoded) {
  TraceBuilder list;
  list.hidGetFeat(0.0, {0, 0, 0xa0, 3}, {0x01, 0xff, 0x05, 0xff, 0x00, 0x02, 1, 2, 3, 4, 5});
  const Firmware versions = firmwareOf(list);
  // The table is no note.
  EXPECT_EQ(versions.notes, json::array());
  EXPECT_EQ(versions.decoded, json::parse(R"j({"kind":"extended version list","listed":true,
      "record_id":{"value":16711682,"name":"ff.00.02 Information,Device Extended Version List"},
      "data_count":5,"rows":[{"i":1,"rr":2,"gg":3,"ff":4,"bb":5}],"truncated":false})j"));

  TraceBuilder report;
  report.hidGetFeat(
      0.0, {0, 0, 0xa0, 3},
      {0x60, 0x04, 0x83, 0x02, 0x12, 0x05, 0x61, 0x06, 0x40, 0x01, 0x40, 0x81, 0x01, 0x2a});
  const Firmware sm = firmwareOf(report);
  EXPECT_EQ(sm.notes, json::parse(R"j(["ManufactureDate: 1205","FailedReadCount: 0x2a(42)"])j"));
  EXPECT_EQ(sm.decoded, json::parse(R"j({"kind":"systems management report",
      "inventory_section":true,"usage_section":true,
      "inventory":[{"tag":{"value":131,"name":"ManufactureDate"},"value":4613,"date":"1205"}],
      "counters":[{"device_class":{"value":64,"name":"MSR"},
                   "tag":{"value":129,"name":"FailedReadCount"},"value":42}],
      "truncated":false})j"));

  // Another feature read of the firmware report: notes, nothing decoded.
  TraceBuilder other;
  other.hidGetFeat(0.0, {0, 0, 0xa0, 1}, {1, 2, 3, 4, 5});
  const Firmware plain = firmwareOf(other);
  EXPECT_EQ(plain.notes, json::array());
  EXPECT_TRUE(plain.decoded.is_null());
}

TEST(JsonLines, HiddenAndFailedRecords) {
  TraceBuilder trace;
  trace.marker(kMarkerV3);
  trace.hidWrite(1000.0, {0, 0, 0xa0, 0}, {0x02, 0x00, 0x01}, {.component = 2});
  trace.record(kHidRead, 3000.0, Payload{0x00, 0x00, 0xa0}, {});
  const std::vector<json> lines = jsonOf(trace);
  ASSERT_EQ(lines.size(), 2u);
  // Hidden from the listing, yet decoded, and the next record's elapsed
  // time is measured from it.
  EXPECT_EQ(lines[0]["hidden"], true);
  EXPECT_EQ(lines[0]["notes"], json::parse(R"j(["Start flash update"])j"));
  EXPECT_EQ(lines[1]["elapsed"], 2.0);
  EXPECT_EQ(lines[1]["failed"], true);
  EXPECT_EQ(lines[1]["reason"], "transfer shorter than its header");
  EXPECT_EQ(lines[1]["data"], "0000a0");
  EXPECT_FALSE(lines[1].contains("header"));
  EXPECT_FALSE(lines[1].contains("notes"));
}

TEST(JsonLines, DiagnosticsAreObjectsInTraceOrder) {
  TraceBuilder trace;
  trace.header(4, 502);                  // offset 0: invalid minor code
  trace.header(256001, kText, 0.0);      // offset 16: over-long
  trace.text(0.0, "ok");                 // offset 32
  trace.header(10, kText).bytes("abc");  // offset 50: the payload is cut
  TempDir dir;
  const std::string out = dir.file("out.jsonl");
  // With -w the JSON goes to the file; standard output stays empty, and
  // standard error keeps the messages that the listing writes there.
  const RunResult result = runTrace(trace, {"--json", "-w", out});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Could not read data bytes expected=10 actual=3\n");
  const std::vector<json> lines = parseLines(readFile(out));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], json::parse(R"j({"diagnostic":"invalid_minor","offset":0,"minor":502,
      "length":4,"message":"Minor code 1f6(502) not valid, skipping"})j"));
  EXPECT_EQ(lines[1], json::parse(R"j({"diagnostic":"overlong","offset":16,"minor":42,
      "length":256001,"message":"Length to read is too big (length=256001/0x3e801), skipping"})j"));
  EXPECT_EQ(lines[2]["offset"], 32);
  EXPECT_EQ(lines[3], json::parse(R"j({"diagnostic":"short_payload","offset":50,"minor":42,
      "length":10,"actual":3,"message":"Could not read data bytes expected=10 actual=3"})j"));

  // -x adds the over-long message on standard error, as in the listing.
  TraceBuilder overlong;
  overlong.header(-1, kText);
  const RunResult withX = runTrace(overlong, {"--json", "-x"});
  EXPECT_EQ(withX.err, "Length to read is too big (length=-1/0xffffffff), skipping\n");
  EXPECT_EQ(parseLines(withX.out).at(0)["diagnostic"], "overlong");

  TraceBuilder shortExt;
  shortExt.marker(kMarkerV2).header(0, kText).bytes("12345678");
  const RunResult cut = runTrace(shortExt, {"--json"});
  EXPECT_EQ(cut.err, "could not read version 2+ data\n");
  EXPECT_EQ(parseLines(cut.out).at(0)["diagnostic"], "short_ext_header");
}

TEST(JsonLines, OutputValidatesAgainstTheSchema) {
  ASSERT_EQ(std::system(OVANTREX_PYTHON " -c 'import jsonschema' 2>/dev/null"), 0)
      << "install python3-jsonschema for " OVANTREX_PYTHON;
  TempDir dir;
  const std::string out = dir.file("sample.jsonl");
  const std::string source = OVANTREX_SOURCE_DIR;
  const RunResult result = run({"--json", "-f", source + "/examples/sample.trc", "-w", out});
  ASSERT_EQ(result.status, 0);
  const std::string command = OVANTREX_PYTHON " " + source + "/tests/validate_json.py " + source +
                              "/docs/ovantrex.schema.json '" + out + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(JsonLinesLongOptions, HelpAndVersion) {
  const RunResult help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  // Its lines, of every option of the table and every exit status, are
  // OptionTable.HelpListsEveryOptionInItsSectionAndEveryExitStatus's.
  EXPECT_TRUE(help.out.starts_with("Usage: ovantrex -f TRACE [OPTIONS]\n")) << help.out;
  EXPECT_EQ(run({"-f", "x", "--help"}).out, help.out);

  const RunResult version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "ovantrex 1.2\n");
  EXPECT_EQ(run({"-t", "--version"}).out, version.out);
}

TEST(JsonLinesLongOptions, OnlyExactNamesAreLongOptions) {
  // A single argument other than --help and --version is the trace's name.
  const RunResult single = run({"--json"});
  EXPECT_EQ(single.status, 2);
  EXPECT_EQ(single.err, "Could not open '--json' for reading\n");
  // Any other argument that begins with "--" is the illegal option "-".
  const RunResult near = run({"-f", "x", "--jsonl"});
  EXPECT_EQ(near.status, 1);
  EXPECT_EQ(near.err, "ovantrex: illegal option -- -\n");
  // "--" still ends the options: what follows is ignored.
  TraceBuilder trace;
  trace.text(0.0, "a");
  EXPECT_EQ(runTrace(trace, {"--", "--json"}).out, "Text          0.000               a\n");
}

}  // namespace
}  // namespace ovantrex::test
