// make_seeds: writes the seed corpus of the fuzz target into a directory.
//
//   make_seeds DIR [TRACE...]
//
// Every seed is three option bytes (see fuzz_trace.cpp) followed by a trace:
// the traces below, which are those the tests build, and any trace files
// named on the command line. Each trace is written with a few option bytes.
#define OVANTREX_TRACE_BUILDER_NO_RUN
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "trace_builder.h"

namespace {

using namespace ovantrex::test;

// The firmware report's transfer header.
constexpr HidHeader kFirmware = {0x00, 0x00, 0xa0, 0x00};
constexpr HidHeader kComponent = {0x00, 0x00, 0xa0, 0x03};

std::vector<TraceBuilder> traces() {
  std::vector<TraceBuilder> all;
  const ExtHeader ids{.thread = 0x2b0, .process = 0x1a4, .seconds = 1765190400, .millis = 5};

  {  // Format version 1: every plain kind of record.
    TraceBuilder t;
    t.text(1500.0, "hello\n")
        .text(1600.0, Payload("ab") + Payload{0x00} + Payload("cd"))
        .text(1700.0, "abc\r\n")
        .hex(1800.0, sequence(26, 0x41))
        .record(255, 1900.0, "unknown")
        .record(1, 2000.0, {})
        .hidSetFeat(2100.0, {0, 0, 0xa0, 0x0a, 200, 0x12, 0x34}, {0x01, 0x02})
        .hidWrite(2200.0, {0, 0, 0x21}, sequence(81, 0x20))
        .hidRead(2300.0, {0, 0, 0x21}, "pong");
    all.push_back(t);
  }
  {  // Markers back and forth; hidden components in format version 3.
    TraceBuilder t;
    t.marker(kMarkerV2)
        .text(1000.0, "two\n", ExtHeader{.component = 1})
        .marker(kMarkerV3)
        .text(2500.0, "three\n", ids)
        .text(2600.0, "hidden\n", ExtHeader{.component = 1})
        .text(2700.0, "shown\n", ExtHeader{.component = 0x65})
        .marker(kMarkerV2)
        .hex(2800.0, "after", ids);
    all.push_back(t);
  }
  {  // The firmware report: commands and replies.
    TraceBuilder t;
    t.marker(kMarkerV3);
    const std::vector<std::pair<Payload, Payload>> exchanges = {
        {{0x04, 0x00, 0x00, 0x20, 0, 0, 0, 0}, {0x01, 0, 0, 0, 0, 0}},
        {{0x04, 0x00, 0x00, 0x80, 0, 0, 0, 0}, {0x05, 0x02, 0x03, 0x02, 0x01, 0x00}},
        {{0x06, 0x00, 0x20, 0x00, 0x40, 0xf3, 0x00, 0x01},
         Payload{0x01, 0x00, 0x10, 0xf3, 0x00, 0x01} + Payload("KBD 02.03 r4711 ")},
        {{0x04, 0x00, 0x01, 0, 0, 0, 0, 0}, {0x03, 0, 0, 0, 0, 0}},
        {{0x0e, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x00, 0x4d, 0x5a, 0x90, 0x00, 0x03, 0, 0, 0},
         {0x41, 0, 0, 0, 0, 0}},
        {{0x0f, 0x00, 0x02, 0x00, 0x08, 0x01, 0x80, 0x10, 0xb8, 0, 0, 0, 0, 0, 0, 0},
         {0x03, 0, 0, 0, 0, 0}},
        {{0x06, 0x00, 0x02, 0x00, 0x00, 0xab, 0xcd, 0x00}, {0x21, 0, 0, 0, 0, 0}},
        {Payload{0x0e, 0x00, 0x10, 0x00, 0x06, 0x00, 0x00, 0x00} +
             Payload{'S', 0, 'N', 0, '4', 0, '2', 0},
         {0x80, 0, 0, 0, 0, 0}},
        {{0x0a, 0x00, 0x40, 0x00, 0, 0, 0, 0, 0x41, 0x04, 0x60, 0x00, 0x61, 0x10},
         {0xff, 0xff, 0xff, 0xff, 0xff, 0xff}},
        {{0x04, 0x00, 0x33, 0, 0, 0, 0, 0}, {}},
    };
    double stamp = 1000.0;
    for (const auto& [command, reply] : exchanges) {
      t.hidWrite(stamp += 3, kFirmware, command, ids);
      t.hidRead(stamp += 2, kFirmware, reply, ids);
    }
    all.push_back(t);
  }
  {  // Component reports: the extended version list and the systems-management report.
    TraceBuilder t;
    t.marker(kMarkerV3)
        .hidGetFeat(10.0, kComponent,
                    {0x01, 0xff, 0x0f, 0xff, 0x00, 0x02, 0x00, 0x02, 0x03, 0x01, 0x00,
                     0x01, 0x02, 0x01, 0x00, 0x04, 0x02, 0x01, 0x03, 0x00, 0x01},
                    ids)
        .hidGetFeat(20.0, kComponent, {0x60, 0x07, 0x40, 0x01, 0x10, 0x83, 0x02, 0x12, 0x05,
                                       0x61, 0x12, 0x40, 0x01, 0x10, 0x80, 0x04, 0x00, 0x01,
                                       0x86, 0xa0, 0x40, 0x01, 0x40, 0x81, 0x02, 0x00, 0x2a},
                    ids)
        .hidGetFeat(30.0, kComponent,
                    {0x61, 0x0e, 0x42, 0x02, 0x9c, 0x40, 0x43, 0x01, 0x31, 0x40, 0x01, 0x11, 0x80,
                     0x02, 0x01, 0xf4},
                    ids)
        .hidGetFeat(40.0, {0, 0, 0xa0, 0x01}, {0, 0, 0, 0, 0x10, 0x20, 0x30, 0x40}, ids)
        .hidGetFeat(50.0, kComponent, {0x01, 0xff, 0xff}, ids)
        .hidGetFeat(60.0, kComponent, {0x01}, ids);
    all.push_back(t);
  }
  {  // What the reader skips or reports.
    TraceBuilder t;
    t.header(300000, kMarkerV3)
        .header(-1, kText)
        .header(5, 502)
        .header(0, 0)
        .text(1.0, "kept\n")
        .record(kHidWrite, 2.0, {0x00, 0x00, 0xa0})
        .marker(kMarkerV3)
        .text(3.0, "negative time", ExtHeader{.seconds = -5})
        .text(4.0, "cut payload\n")
        .dropLast(4);
    all.push_back(t);
  }
  {  // Terminal controls in a Text record and a serial number: escape
     // sequences, C1 controls raw and UTF-8 encoded, broken UTF-8.
    TraceBuilder t;
    t.text(1.0,
           "\x1b]0;title\x07\x1b[2J\r\b\x7f\x9b\xc2\x9b\xc2\xa0\xc0\xaf\xed\xa0\x80"
           "\xf4\x90\x80\x80\xe2\x82\xac\xf0\x9f\x98\x80\xe2\x82\n")
        .hidWrite(2.0, kFirmware,
                  {0x0c, 0x00, 0x10, 0x00, 0x04, 0, 0, 0, 0x1b, 0, 0xc2, 0, 0x85, 0, 0x07, 0});
    all.push_back(t);
  }
  {  // A trace that ends inside an extension header.
    TraceBuilder t;
    t.marker(kMarkerV2).text(1.0, "x").dropLast(12);
    all.push_back(t);
  }
  return all;
}

// Option bytes each trace is written with: plain; everything on; time and
// process columns with an hour offset through a pipe-like input, on a
// terminal; cumulative with the type column hidden, read in one-byte blocks,
// on a terminal.
constexpr std::uint8_t kVariants[][3] = {
    {0x00, 0x07, 0x00}, {0x3f, 0x0b, 0x00}, {0x4c, 0x31, 0x01}, {0x91, 0x00, 0x01}};

void writeSeed(const std::filesystem::path& dir, int& count, const std::string& trace) {
  for (const auto& variant : kVariants) {
    const auto path = dir / ("seed-" + std::to_string(count++));
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (const std::uint8_t option : variant) file.put(static_cast<char>(option));
    file.write(trace.data(), static_cast<std::streamsize>(trace.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_seeds DIR [TRACE...]\n");
    return 1;
  }
  try {
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    int count = 0;
    for (const auto& trace : traces()) writeSeed(dir, count, trace.str());
    for (int i = 2; i < argc; ++i) writeSeed(dir, count, readFile(argv[i]));
    std::printf("%d seeds in %s\n", count, dir.c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_seeds: %s\n", error.what());
    return 1;
  }
  return 0;
}
