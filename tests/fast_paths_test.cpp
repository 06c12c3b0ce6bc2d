// The fast paths of the listing against the plain definitions they replace:
// the table-driven dumps against byte-by-byte printf formatting, the
// to_chars elapsed column against "%-10.3f", the per-second clock cache
// against a fresh local-time conversion, the buffered writer across its
// buffer's end, and the block reader with tiny blocks against reads of the
// whole file.
#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/settings.h"
#include "output/common/byte_dumps.h"
#include "output/common/writer.h"
#include "output/text/line_prefix.h"
#include "system.h"
#include "trace/record_loop.h"
#include "trace/trace_reader.h"
#include "trace_builder.h"

namespace ovantrex {
namespace {

using test::ExtHeader;
using test::TraceBuilder;

// ---- Plain definitions, written out the slow way ----

std::string plainHex(const std::vector<std::uint8_t>& bytes, bool wrap, std::size_t indent) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    out += pair;
    if (i + 1 < bytes.size()) {
      out += '.';
      if ((i + 1) % 25 == 0) {
        out += '\n';
        if (wrap) out.append(indent, ' ');
      }
    }
  }
  return out;
}

std::string plainChars(const std::vector<std::uint8_t>& bytes, bool wrap, std::size_t indent) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += std::isprint(bytes[i]) != 0 ? static_cast<char>(bytes[i]) : '.';
    if ((i + 1) % 80 == 0) {
      out += '\n';
      if (wrap) {
        out.append(indent, ' ');
        out += " |";
      }
    }
  }
  return out;
}

std::string plainSeconds(double value) {
  char text[512];
  std::snprintf(text, sizeof text, "%-10.3f", value);
  return text;
}

std::string fastSeconds(double value) {
  std::string out;
  appendSeconds(out, value);
  return out;
}

std::vector<std::uint8_t> randomBytes(std::size_t count, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<std::uint8_t> bytes(count);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// Every byte value, so that each table entry is looked at.
std::vector<std::uint8_t> allValues(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xff);
  return bytes;
}

enum class Dump { Hex, HexWrapped, Chars, CharsWrapped };

void runDump(Writer& out, Dump dump, const std::vector<std::uint8_t>& bytes, std::size_t indent) {
  switch (dump) {
    case Dump::Hex: dumpHex(out, bytes); break;
    case Dump::HexWrapped: dumpHexWrapped(out, bytes, indent); break;
    case Dump::Chars: dumpChars(out, bytes); break;
    case Dump::CharsWrapped: dumpCharsWrapped(out, bytes, indent); break;
  }
}

std::string plainDump(Dump dump, const std::vector<std::uint8_t>& bytes, std::size_t indent) {
  switch (dump) {
    case Dump::Hex: return plainHex(bytes, false, 0);
    case Dump::HexWrapped: return plainHex(bytes, true, indent);
    case Dump::Chars: return plainChars(bytes, false, 0);
    case Dump::CharsWrapped: return plainChars(bytes, true, indent);
  }
  return {};
}

constexpr Dump kDumps[] = {Dump::Hex, Dump::HexWrapped, Dump::Chars, Dump::CharsWrapped};

// ---- Dumps ----

TEST(FastPathsDumps, EveryLengthAndIndentMatchesThePlainDefinition) {
  // Lengths around every break of 25 and 80 and past a full Hex record;
  // indents of nothing, one blank, a usual width and one longer than a
  // line's own reservation.
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 330; ++n) lengths.push_back(n);
  for (std::size_t n : {399u, 400u, 401u, 1999u, 2000u, 2001u, 4095u, 4096u, 4097u})
    lengths.push_back(n);
  for (std::size_t length : lengths) {
    const auto random = randomBytes(length, length);
    const auto values = allValues(length);
    for (std::size_t indent : {0u, 1u, 45u, 513u, 700u}) {
      for (Dump dump : kDumps) {
        for (const auto* bytes : {&random, &values}) {
          Writer out;
          runDump(out, dump, *bytes, indent);
          ASSERT_EQ(out.text(), plainDump(dump, *bytes, indent))
              << "length " << length << " indent " << indent << " dump " << static_cast<int>(dump);
        }
      }
    }
  }
}

TEST(FastPathsDumps, EveryByteValueShowsAsThePrintableTestSays) {
  // Each byte value at each position of an 8-byte word.
  for (std::size_t shift = 0; shift < 8; ++shift) {
    std::vector<std::uint8_t> bytes(256 + shift, 0x41);
    for (std::size_t v = 0; v < 256; ++v) bytes[shift + v] = static_cast<std::uint8_t>(v);
    Writer out;
    dumpChars(out, bytes);
    EXPECT_EQ(out.text(), plainChars(bytes, false, 0)) << "shift " << shift;
  }
}

TEST(FastPathsDumps, BreaksStayInPlaceAcrossTheWritersBufferEnd) {
  // The dump starts at every offset shortly before the buffer is full, so
  // that lines, breaks and indents are cut by the buffer's end everywhere.
  const auto bytes = randomBytes(260, 99);
  for (Dump dump : kDumps) {
    const std::string expected = plainDump(dump, bytes, 45);
    for (std::size_t before = Writer::kCapacity - 700; before <= Writer::kCapacity + 3;
         before += (before < Writer::kCapacity - 400 ? 37 : 1)) {
      Writer out;
      out.repeat('-', before);
      runDump(out, dump, bytes, 45);
      out.put('|');
      const std::string& text = out.text();
      ASSERT_EQ(text.size(), before + expected.size() + 1);
      ASSERT_EQ(text.compare(0, before, std::string(before, '-')), 0);
      ASSERT_EQ(text.compare(before, expected.size(), expected), 0)
          << "dump " << static_cast<int>(dump) << " after " << before << " bytes";
      ASSERT_EQ(text.back(), '|');
    }
  }
}

// ---- Elapsed column ----

TEST(FastPathsSeconds, MatchesPrintfOnValuesWhoseThirdDecimalRounds) {
  // Milliseconds with a fraction: the fourth decimal decides, and halves
  // that are exact in binary (x.0625, x.1875) round to even as printf does.
  for (int k = -3000; k <= 3000; ++k) {
    for (double fraction : {0.5, 0.25, 0.75, 0.4999999, 0.5000001, 0.125, 0.0625}) {
      const double value = (k + fraction) / 1000;
      ASSERT_EQ(fastSeconds(value), plainSeconds(value)) << value;
    }
  }
  for (double value : {0.0625, 0.1875, 1.0625, 2.5e-3, 1.0005, 0.0005, 0.0015, 999999.9995, 9.9995,
                       99.9995, 0.9995, -0.0005, -0.0625, -1.0005}) {
    EXPECT_EQ(fastSeconds(value), plainSeconds(value)) << value;
  }
}

TEST(FastPathsSeconds, MatchesPrintfFromElapsedMillisecondStamps) {
  // The column's own arithmetic: (stamp - previous) / 1000.
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> stamps(0, 1e9);
  double previous = 0;
  for (int i = 0; i < 200000; ++i) {
    const double stamp = i % 3 == 0 ? std::round(stamps(random) * 8) / 8 : stamps(random);
    const double value = (stamp - previous) / 1000;
    ASSERT_EQ(fastSeconds(value), plainSeconds(value)) << stamp << " after " << previous;
    previous = stamp;
  }
}

TEST(FastPathsSeconds, MatchesPrintfOnSignsHugeTinyAndSpecialValues) {
  std::vector<double> values = {0.0,
                                -0.0,
                                -0.0004,
                                -1e-300,
                                1e-310,
                                123456.789,
                                1e6,
                                -1e6,
                                1e15 + 0.5,
                                9007199254740993.0,
                                1e22,
                                1e300,
                                -1e300,
                                std::numeric_limits<double>::max(),
                                -std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity()};
  std::mt19937_64 random(11);
  for (int i = 0; i < 20000; ++i) {
    // Any finite bit pattern: every exponent, both signs.
    const std::uint64_t bits = random();
    const double value = std::bit_cast<double>(bits);
    if (std::isfinite(value)) values.push_back(value);
  }
  for (double value : values) ASSERT_EQ(fastSeconds(value), plainSeconds(value)) << value;
}

TEST(FastPathsSeconds, NotANumberShowsAsPrintfShowsIt) {
  // A time stamp read from the file can hold any bits.
  for (double value :
       {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(fastSeconds(value), plainSeconds(value));
  }
}

// ---- Time column: one conversion per distinct second ----

// Sets TZ for one test and puts the old value back.
class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
      old_ = old;
      hadOld_ = true;
    }
    test::useZone(zone);
  }
  ~ZoneGuard() {
    if (hadOld_) {
      test::useZone(old_);
    } else {
      test::unsetEnvironment("TZ");
      test::readZoneAgain();
    }
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

std::string plainTimeColumn(std::int32_t seconds, std::uint16_t millis) {
  const std::time_t when = seconds;
  std::tm local{};
  local = *std::localtime(&when);
  char text[64];
  std::snprintf(text, sizeof text, "%02d/%02d-%02d:%02d:%02d.%03hu ", local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis);
  return text;
}

TEST(FastPathsClock, CachedSecondsMatchAFreshConversion) {
  // A zone with summer time, so that the clock jumps within the run.
  ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
  Settings settings;
  settings.timeColumn = true;
  PrefixState state;
  // The spring change of 2023: 2023-03-26 01:00:00 UTC.
  constexpr std::int32_t kChange = 1679792400;
  std::vector<std::int32_t> seconds;
  for (std::int32_t s = kChange - 3; s <= kChange + 3; ++s) {
    seconds.push_back(s);
    seconds.push_back(s);  // the same second again comes from the cache
  }
  // Back to an earlier second, and a second that differs by a whole day.
  seconds.insert(seconds.end(), {kChange - 3, kChange + 86400, kChange - 3, 0, 0, 86399});
  std::uint16_t millis = 0;
  for (std::int32_t s : seconds) {
    TraceExtHeader ext;
    ext.seconds = s;
    ext.milliseconds = millis;
    millis = static_cast<std::uint16_t>((millis + 337) % 1000);
    const PrefixStrings prefix = *buildLinePrefix(state, settings, {}, ext, 3);
    ASSERT_EQ(prefix.time, plainTimeColumn(s, ext.milliseconds)) << s;
  }
}

TEST(FastPathsClock, HourOffsetIsAppliedBeforeTheCacheIsAsked) {
  ZoneGuard zone("UTC0");
  PrefixState state;
  Settings plain;
  plain.timeColumn = true;
  Settings shifted = plain;
  shifted.hourOffset = 2;
  TraceExtHeader ext;
  ext.seconds = 1000;
  EXPECT_EQ(buildLinePrefix(state, plain, {}, ext, 3)->time, "01/01-00:16:40.000 ");
  // Same seconds field, other instant: the cache must not answer.
  EXPECT_EQ(buildLinePrefix(state, shifted, {}, ext, 3)->time, "01/01-02:16:40.000 ");
  ext.seconds = 1000 + 7200;
  EXPECT_EQ(buildLinePrefix(state, plain, {}, ext, 3)->time, "01/01-02:16:40.000 ");
}

// ---- Writer ----

TEST(FastPathsWriter, EveryAppendIsWholeAcrossTheBufferEnd) {
  // Each kind of append, started at every offset around the buffer's end;
  // the plain result is the same pieces joined in a string.
  for (std::size_t before = Writer::kCapacity - 40; before <= Writer::kCapacity + 2; ++before) {
    Writer out;
    std::string expected(before, 'x');
    out.repeat('x', before);
    out.put(std::string_view("a longer piece of text"));
    expected += "a longer piece of text";
    out.blanks(30);
    expected.append(30, ' ');
    out.hexByte(0x0f);
    expected += "0f";
    out.hexPadded(0xabc, 6);
    expected += "000abc";
    out.hex(0xdeadbeefcafeull);
    expected += "deadbeefcafe";
    out.decimal(std::numeric_limits<std::int64_t>::min());
    expected += "-9223372036854775808";
    out.put('!');
    expected += '!';
    ASSERT_EQ(out.text(), expected) << "after " << before << " bytes";
  }
}

TEST(FastPathsWriter, PiecesLongerThanTheBufferArriveWhole) {
  Writer out;
  std::string piece(3 * Writer::kCapacity + 17, 'p');
  for (std::size_t i = 0; i < piece.size(); i += 101) piece[i] = static_cast<char>('a' + i % 26);
  out.put('<');
  out.put(piece);
  out.blanks(2 * Writer::kCapacity + 5);
  out.put('>');
  EXPECT_EQ(out.text(), "<" + piece + std::string(2 * Writer::kCapacity + 5, ' ') + ">");
}

TEST(FastPathsWriter, FileWriterWritesWhatAMemoryWriterCollects) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  Writer memory;
  {
    Writer stream(file);
    const auto bytes = randomBytes(4096, 5);
    for (int i = 0; i < 100; ++i) {
      for (Writer* w : {&stream, &memory}) {
        w->decimal(i);
        w->put(' ');
        dumpHexWrapped(*w, Bytes(bytes).first(static_cast<std::size_t>(i) * 37 % 4096), 45);
        w->put('\n');
      }
    }
    stream.flush();
  }
  std::rewind(file);
  std::string written;
  char chunk[8192];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    written.append(chunk, got);
  std::fclose(file);
  EXPECT_GT(written.size(), 2 * Writer::kCapacity);
  EXPECT_EQ(written, memory.text());
}

// ---- Block reader ----

std::FILE* fileWith(const std::string& bytes) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return nullptr;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return file;
}

TEST(FastPathsReader, TinyBlocksReadWhatTheWholeFileHolds) {
  // Random reads, skips and takes against plain offsets into the bytes.
  std::string bytes;
  std::mt19937_64 random(3);
  for (int i = 0; i < 5000; ++i) bytes += static_cast<char>(random());
  for (std::size_t block : {1u, 2u, 3u, 7u, 16u, 17u, 255u, 4096u, 10000u}) {
    std::FILE* file = fileWith(bytes);
    ASSERT_NE(file, nullptr);
    TraceReader reader(file, block);
    std::mt19937_64 ops(block);
    std::size_t at = 0;
    while (at <= bytes.size()) {
      const std::size_t count = ops() % 300;
      const std::size_t expectedCount = std::min(count, bytes.size() - at);
      const std::string expected = bytes.substr(at, expectedCount);
      switch (ops() % 3) {
        case 0: {
          std::vector<std::uint8_t> dest(count);
          ASSERT_EQ(reader.read(dest), expectedCount) << "block " << block;
          ASSERT_EQ(std::string(dest.begin(), dest.begin() + static_cast<long>(expectedCount)),
                    expected);
          break;
        }
        case 1: ASSERT_EQ(reader.skip(count), expectedCount) << "block " << block; break;
        default: {
          const auto view = reader.take(count);
          ASSERT_EQ(view.size(), expectedCount) << "block " << block;
          ASSERT_EQ(std::string(view.begin(), view.end()), expected);
          break;
        }
      }
      if (at == bytes.size()) break;
      at += expectedCount;
    }
    std::fclose(file);
  }
}

// A trace with records of many sizes, a format change, a skipped marker
// payload and an end inside a record.
TraceBuilder mixedTrace() {
  TraceBuilder t;
  t.text(1500.0, "first\n");
  t.hex(1600.25, test::sequence(30));
  t.marker(test::kMarkerV3, test::repeated(5, 0x55));
  const ExtHeader ext{.thread = 0x21, .process = 0x4f, .seconds = 1700000000, .millis = 12};
  for (std::size_t n = 0; n < 40; ++n) {
    const double stamp = 2000.0 + static_cast<double>(n) * 1.3;
    t.hidWrite(stamp, {0, 0, 0x11, 0}, test::sequence(n * 11 % 200, static_cast<std::uint8_t>(n)),
               ext);
    t.hidRead(stamp + 0.4, {0, 0, 0xa0, 0}, test::Payload{0x05, 0x01, 0x02, 0x03, 0x04, 0x00}, ext);
    t.hex(stamp + 0.7, test::sequence(n * 53 % 600), ext);
  }
  t.text(9000.0, "cut short", ext);
  t.dropLast(4);
  return t;
}

std::string listing(TraceReader& reader, const Settings& settings) {
  Writer out;
  Writer console;
  Writer errors;
  Session session(settings, out, console, errors);
  readTrace(reader, session);
  session.finish(reader.position());
  return out.take() + "\n--console--\n" + console.take() + "\n--errors--\n" + errors.take();
}

// The settings of the runs below: the whole listing, and selections whose
// records kept for --before hold views of the reader's bytes until these
// move (most records pass a ring of records all shown).
std::vector<Settings> tinyBlockRuns() {
  std::vector<Settings> runs(4);
  runs[0].processColumn = true;
  runs[1].where = "length > 580";
  runs[1].before = 20;
  runs[2].where = "length > 500";
  runs[2].before = 3;
  runs[2].after = 1;
  runs[3] = runs[2];
  runs[3].output = Output::JsonLines;
  return runs;
}

TEST(FastPathsReader, ListingWithTinyBlocksEqualsTheListingOfTheWholeFile) {
  const TraceBuilder trace = mixedTrace();
  const auto* data = reinterpret_cast<const std::uint8_t*>(trace.str().data());
  for (const Settings& settings : tinyBlockRuns()) {
    TraceReader whole(std::span<const std::uint8_t>(data, trace.size()));
    const std::string expected = listing(whole, settings);
    ASSERT_NE(expected.find("Could not read data bytes"), std::string::npos);
    ASSERT_GT(expected.size(), 2000u) << settings.where.value_or("whole");
    for (std::size_t block : {1u, 2u, 5u, 15u, 16u, 17u, 31u, 33u, 100u, 1000u, 1u << 20}) {
      std::FILE* file = fileWith(trace.str());
      ASSERT_NE(file, nullptr);
      TraceReader reader(file, block);
      EXPECT_EQ(listing(reader, settings), expected)
          << "block " << block << ", " << settings.where.value_or("whole");
      std::fclose(file);
    }
  }
}

}  // namespace
}  // namespace ovantrex
