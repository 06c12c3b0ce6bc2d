// libFuzzer target: the bytes of a trace, read through the record loop into
// a listing held in memory.
//
// Input layout:
//   byte 0  options: bit 0 -c, 1 -m, 2 -t, 3 -p, 4 -H, 5 -x,
//           bits 6-7 the hour offset (none, 2, -1, one that wraps)
//   byte 1  reading and writing: bits 0-2 the reader's block size, bits 3-4
//           how many bytes the input hands out per read (like a pipe),
//           bit 5 standard output apart from the listing (as with -w),
//           bit 6 the input fails half way, bit 7 the output fails
//   byte 2  bit 0 the streams are terminals: controls are escaped, and no
//           byte that a terminal takes as a control may reach them;
//           bit 1 the rest is also an expression of --where: it parses,
//           or its message has a caret line; bits 2-7 unused
//   rest    the trace file
//
// Every trace is listed twice: once from memory and once through a stream
// in small blocks; both listings must be identical to the byte. Every
// record is decoded a second time, and both values must be equal.
//
// The same trace is also written as JSON Lines: every line must parse,
// there must be one record object for every data record and one diagnostic
// object for every diagnostic, and the notes of each firmware-report record
// must be those that the text listing writes under its entry. The session
// summary of the trace must count what the JSON Lines hold. Its HTML
// report must be text that a page may hold (well-formed UTF-8, no controls
// but tab and line feed), and no markup from the trace may reach it: the
// page has its one script and no other. With an
// injected read or write failure the run must end in ReadError or
// WriteError (or normally), never anything else.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/session.h"
#include "core/firmware_codes.h"
#include "decode/decoded_record.h"
#include "output/common/control_escaper.h"
#include "output/common/diagnostic_message.h"
#include "output/common/writer.h"
#include "output/json/json_lines.h"
#include "output/text/text_listing.h"
#include "select/expression.h"
#include "trace/record_loop.h"
#include "trace/trace_reader.h"

namespace {

using ovantrex::ReadError;
using ovantrex::Settings;
using ovantrex::TraceReader;
using ovantrex::WriteError;
using ovantrex::Writer;

// Output kept for comparison; beyond it only the count and a hash.
constexpr std::size_t kKeptOutput = std::size_t{1} << 20;

struct Sink {
  std::string head;
  std::size_t total = 0;
  std::uint64_t hash = 14695981039346656037u;  // FNV-1a over everything
  std::size_t failAfter = SIZE_MAX;

  bool operator==(const Sink& other) const {
    return total == other.total && hash == other.hash && head == other.head;
  }
};

ssize_t sinkWrite(void* cookie, const char* data, std::size_t size) {
  auto& sink = *static_cast<Sink*>(cookie);
  if (sink.total + size > sink.failAfter) {
    errno = ENOSPC;
    return -1;
  }
  if (sink.head.size() < kKeptOutput)
    sink.head.append(data, std::min(size, kKeptOutput - sink.head.size()));
  for (std::size_t i = 0; i < size; ++i)
    sink.hash = (sink.hash ^ static_cast<unsigned char>(data[i])) * 1099511628211u;
  sink.total += size;
  return static_cast<ssize_t>(size);
}

std::FILE* openSink(Sink& sink) {
  cookie_io_functions_t io{};
  io.write = sinkWrite;
  return fopencookie(&sink, "w", io);
}

// The trace as a stream that hands out at most chunk bytes per read and,
// if failAt is set, fails there.
struct Source {
  std::span<const std::uint8_t> bytes;
  std::size_t pos = 0;
  std::size_t chunk = SIZE_MAX;
  std::size_t failAt = SIZE_MAX;
};

ssize_t sourceRead(void* cookie, char* data, std::size_t size) {
  auto& source = *static_cast<Source*>(cookie);
  if (source.pos >= source.failAt) {
    errno = EIO;
    return -1;
  }
  std::size_t n = std::min({size, source.chunk, source.bytes.size() - source.pos});
  n = std::min(n, source.failAt - source.pos);
  std::memcpy(data, source.bytes.data() + source.pos, n);
  source.pos += n;
  return static_cast<ssize_t>(n);
}

std::FILE* openSource(Source& source) {
  cookie_io_functions_t io{};
  io.read = sourceRead;
  return fopencookie(&source, "r", io);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The settings as the command line makes them from the option byte.
Settings settingsFor(std::uint8_t options) {
  std::string cluster = "-";
  const char letters[] = {'c', 'm', 't', 'p', 'H', 'x'};
  for (int bit = 0; bit < 6; ++bit)
    if ((options >> bit) & 1) cluster += letters[bit];
  std::vector<std::string> args{"ovantrex", "-f", "fuzz.trc"};
  if (cluster.size() > 1) args.push_back(cluster);
  switch (options >> 6) {
    case 1: args.insert(args.end(), {"-h", "2"}); break;
    case 2: args.push_back("-h-1"); break;
    case 3: args.insert(args.end(), {"-h", " +596524x"}); break;  // wraps past 2^31 s
    default: break;
  }
  std::vector<const char*> argv;
  for (const auto& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  Writer err;
  const auto commandLine =
      ovantrex::parseCommandLine(static_cast<int>(args.size()), argv.data(), err);
  if (commandLine.exitStatus) std::abort();  // the command line above is always valid
  return commandLine.settings;
}

struct Output {
  Sink listing, console, errors;
};

// Hands each record of the record loop, decoded, and each diagnostic to a
// printer, as the program's session does for an output without analysis.
class Feed final : public ovantrex::RecordSink {
 public:
  // errors: where the diagnostics' messages go, as the session writes them
  // on standard error; none: nowhere.
  explicit Feed(ovantrex::Printer& printer, Writer* errors = nullptr, bool reportOverlong = false)
      : printer_(printer), errors_(errors), reportOverlong_(reportOverlong) {}
  void record(const ovantrex::Record& record) override {
    printer_.record(record, ovantrex::decodeRecord(record), ovantrex::RecordFacts{});
  }
  void diagnostic(const ovantrex::Diagnostic& diagnostic) override {
    printer_.diagnostic(diagnostic);
    if (errors_ != nullptr) ovantrex::reportOnStandardError(*errors_, reportOverlong_, diagnostic);
  }

 private:
  ovantrex::Printer& printer_;
  Writer* errors_;
  bool reportOverlong_;
};

// Decodes every record once more before the listing prints it: decoding is
// a pure function of the record's bytes.
class DecodeTwice final : public ovantrex::Printer {
 public:
  explicit DecodeTwice(ovantrex::Printer& next) : next_(next) {}
  void record(const ovantrex::Record& record, const ovantrex::DecodedRecord& decoded,
              const ovantrex::RecordFacts& facts) override {
    if (!(ovantrex::decodeRecord(record) == decoded)) {
      std::fprintf(stderr, "decoding a record twice gave different values\n");
      std::abort();
    }
    next_.record(record, decoded, facts);
  }
  void diagnostic(const ovantrex::Diagnostic& diagnostic) override { next_.diagnostic(diagnostic); }

 private:
  ovantrex::Printer& next_;
};
// Whether text (whole) holds only what a terminal shows as text: tab, line
// feed, printable ASCII, and well-formed UTF-8 of characters from U+00A0 on.
bool showsAsText(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      if ((lead < 0x20 && lead != '\t' && lead != '\n') || lead == 0x7f) return false;
      ++i;
      continue;
    }
    const std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 0;
    if (length == 0 || length > text.size() - i) return false;
    std::uint32_t code = lead & (0x7fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0) != 0x80) return false;
      code = code << 6 | (next & 0x3fu);
    }
    const std::uint32_t least[] = {0, 0, 0xa0, 0x800, 0x10000};
    if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
    i += length;
  }
  return true;
}

void checkShowsAsText(const Sink& sink) {
  if (sink.total == sink.head.size() && !showsAsText(sink.head)) {
    std::fprintf(stderr, "a terminal control reached the terminal\n");
    std::abort();
  }
}

enum class Ending { normal, readError, writeError };

// One run of the record loop over reader; the writers go to out's sinks.
Ending list(TraceReader& reader, const Settings& settings, bool separateConsole, bool terminal,
            Output& out) {
  const File listingFile(openSink(out.listing));
  const File consoleFile(openSink(out.console));
  const File errorsFile(openSink(out.errors));
  if (!listingFile || !consoleFile || !errorsFile) std::abort();
  auto listing = std::make_unique<Writer>(listingFile.get());
  auto console = std::make_unique<Writer>(consoleFile.get());
  auto errors = std::make_unique<Writer>(errorsFile.get());
  for (Writer* writer : {listing.get(), console.get(), errors.get()})
    writer->escapeControls(terminal);
  Ending ending = Ending::normal;
  try {
    ovantrex::TextListing text(*listing, separateConsole ? *console : *listing, settings);
    DecodeTwice checked(text);
    Feed feed(checked, errors.get(), settings.reportOverlong);
    ovantrex::readTrace(reader, feed);
    listing->flush();
    console->flush();
    errors->flush();
  } catch (const ReadError&) {
    ending = Ending::readError;
  } catch (const WriteError&) {
    ending = Ending::writeError;
  }
  return ending;
}

// ---- JSON Lines against the text listing ----

// Keeps each record's text entry and counts the diagnostics.
class EntryCapture final : public ovantrex::Printer {
 public:
  EntryCapture(ovantrex::Printer& next, Writer& listing) : next_(next), listing_(listing) {}
  void record(const ovantrex::Record& record, const ovantrex::DecodedRecord& decoded,
              const ovantrex::RecordFacts& facts) override {
    const std::size_t before = listing_.text().size();
    next_.record(record, decoded, facts);
    entries.push_back(listing_.text().substr(before));
  }
  void diagnostic(const ovantrex::Diagnostic& diagnostic) override {
    ++diagnostics;
    next_.diagnostic(diagnostic);
  }
  std::vector<std::string> entries;
  std::size_t diagnostics = 0;

 private:
  ovantrex::Printer& next_;
  Writer& listing_;
};

// The plain character dump: a dot for every byte outside 0x20..0x7e, a
// line break after every 80th character.
std::string plainChars(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += b >= 0x20 && b <= 0x7e ? static_cast<char>(b) : '.';
    if ((i + 1) % 80 == 0) out += '\n';
  }
  return out;
}

std::string fromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// A JSON string as the bytes it stands for: each character is one byte.
std::string bytesOf(const nlohmann::json& text) {
  std::string bytes;
  const std::string utf8 = text.get<std::string>();
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else {
      // U+0080 to U+00FF: two bytes in UTF-8.
      bytes +=
          static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3f));
    }
  }
  return bytes;
}

[[noreturn]] void mismatch(const char* what, const std::string& detail) {
  std::fprintf(stderr, "JSON Lines and listing disagree: %s\n%s\n", what, detail.c_str());
  std::abort();
}

// Without the type and elapsed columns every prefix string is empty: the
// note indent is 31 blanks and a flash read's dump indent 22.
void checkJsonAgainstListing(std::span<const std::uint8_t> trace, const Settings& drawn) {
  Settings text;
  text.hideType = true;
  text.elapsedColumn = false;
  text.reportOverlong = drawn.reportOverlong;
  Writer listing;
  Writer console;
  ovantrex::TextListing textListing(listing, console, text);
  EntryCapture capture(textListing, listing);
  {
    TraceReader reader(trace);
    Feed feed(capture);
    ovantrex::readTrace(reader, feed);
  }
  Writer json;
  ovantrex::JsonLines jsonLines(json);
  {
    TraceReader reader(trace);
    Feed feed(jsonLines);
    ovantrex::readTrace(reader, feed);
  }

  std::vector<nlohmann::json> records;
  std::size_t diagnostics = 0;
  std::istringstream lines(json.text());
  for (std::string line; std::getline(lines, line);) {
    nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) mismatch("a line is not a JSON object", line);
    if (object.contains("diagnostic")) {
      ++diagnostics;
    } else {
      records.push_back(std::move(object));
    }
  }
  if (records.size() != capture.entries.size())
    mismatch("record count", std::to_string(records.size()) + " objects, " +
                                 std::to_string(capture.entries.size()) + " records");
  if (diagnostics != capture.diagnostics) mismatch("diagnostic count", "");

  const std::string noteIndent(31, ' ');
  for (std::size_t i = 0; i < records.size(); ++i) {
    const nlohmann::json& object = records[i];
    const std::string& entry = capture.entries[i];
    if (object["hidden"].get<bool>() || object["failed"].get<bool>() || !object.contains("notes"))
      continue;
    // The listing indents a systems-management request's entries, after its
    // first note, four blanks deeper; the JSON notes have no indent.
    const auto* flash = object.contains("decoded") ? &object["decoded"] : nullptr;
    const bool request = flash != nullptr && (*flash)["kind"] == "systems management request";
    std::string notes;
    for (const auto& note : object["notes"]) {
      notes += "\n" + noteIndent + (request && !notes.empty() ? "    " : "") + bytesOf(note);
    }
    std::string tail = notes;
    if (flash != nullptr && flash->contains("flash_read"))
      tail += "\n" + std::string(22, ' ') +
              plainChars(fromHex((*flash)["flash_read"]["contents"]["hex"].get<std::string>()));
    tail += "\n";
    if (entry.size() < tail.size() ||
        entry.compare(entry.size() - tail.size(), tail.size(), tail) != 0)
      mismatch("notes", object.dump() + "\n" + entry);
    // No note stands before them in the entry.
    const std::string head = entry.substr(0, entry.size() - tail.size());
    const std::string marker = "\n" + noteIndent;
    for (std::size_t at = head.find(marker); at != std::string::npos;
         at = head.find(marker, at + 1)) {
      if (at + marker.size() < head.size() && head[at + marker.size()] != ' ')
        mismatch("a note that JSON does not have", object.dump() + "\n" + entry);
    }
  }
}

// The summary's counts against those of the JSON Lines of the same trace.
void checkSummaryAgainstJson(std::span<const std::uint8_t> trace, const Settings& drawn) {
  Writer json;
  Writer errors;
  ovantrex::JsonLines jsonLines(json);
  {
    TraceReader reader(trace);
    Feed feed(jsonLines);
    ovantrex::readTrace(reader, feed);
  }
  Writer report;
  {
    Settings summarized = drawn;
    summarized.output = ovantrex::Output::SummaryJson;
    ovantrex::Session session(summarized, report, report, errors);
    TraceReader reader(trace);
    ovantrex::readTrace(reader, session);
    session.finish(reader.bytesRead());
  }
  const nlohmann::json counted = nlohmann::json::parse(report.text(), nullptr, false);
  if (counted.is_discarded()) mismatch("the summary is no JSON", report.text());

  std::map<std::string, std::uint64_t> byType, diagnostics, kinds, notes;
  std::uint64_t total = 0, hidden = 0, failed = 0, errorReplies = 0;
  std::istringstream lines(json.text());
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json object = nlohmann::json::parse(line);
    if (object.contains("diagnostic")) {
      ++diagnostics[object["diagnostic"].get<std::string>()];
      continue;
    }
    ++total;
    ++byType[object["type"].get<std::string>()];
    if (object["hidden"].get<bool>()) {
      ++hidden;
      continue;
    }
    if (object["failed"].get<bool>()) ++failed;
    if (!object.contains("decoded")) continue;
    const nlohmann::json& decoded = object["decoded"];
    if (decoded["kind"] == "status reply") {
      bool error = false;
      for (const auto& bit : decoded["status"]["bits"]) {
        const std::string name = bit.get<std::string>();
        ++notes[name];
        error = error || name == "Operation in Error" || name == "Command reject" ||
                name == "Serial Number can only be written once for this device";
      }
      if (error) ++errorReplies;
    } else if (decoded.contains("command")) {
      ++kinds[decoded["kind"].get<std::string>()];
    }
  }
  const auto expect = [](bool same, const char* what) {
    if (!same) mismatch(what, "summary and JSON Lines count differently");
  };
  expect(counted["records"]["total"] == total, "records");
  expect(counted["records"]["hidden"] == hidden, "hidden records");
  expect(counted["records"]["failed"] == failed, "failed records");
  for (const auto& [type, count] : counted["records"]["by_type"].items())
    expect(count == byType[type], "records by type");
  for (const auto& [name, count] : counted["diagnostics"].items())
    expect(count == diagnostics[name], "diagnostics");
  // The summary names each kind of command and each status note by its
  // key in the registry; JSON Lines by its words.
  const auto byKeys = [](const ovantrex::CodedTable& table,
                         const std::map<std::string, std::uint64_t>& byWords) {
    std::map<std::string, std::uint64_t> keyed;
    for (const auto& [words, count] : byWords) {
      const ovantrex::CodedValue* row = table.byWords(words);
      if (row == nullptr) mismatch("words that the registry does not have", words);
      keyed[std::string(row->key)] = count;
    }
    return keyed;
  };
  std::map<std::string, std::uint64_t> kindKeys = byKeys(ovantrex::kCommandKindTable, kinds);
  std::map<std::string, std::uint64_t> noteKeys = byKeys(ovantrex::kStatusBitTable, notes);
  for (const auto& [kind, count] : counted["commands"].items()) {
    if (kind != "system_commands") expect(count == kindKeys[kind], "commands");
  }
  for (const auto& [note, count] : counted["replies"].items()) {
    if (count.is_number()) expect(note == "flash_reads" || count == noteKeys[note], "status notes");
  }
  expect(counted["errors"].size() + counted["errors_left_out"].get<std::uint64_t>() == errorReplies,
         "error replies");
  expect(counted["updates"].size() + counted["updates_left_out"].get<std::uint64_t>() ==
             kinds["start flash update"],
         "updates");
  std::uint64_t outcomes = 0;
  for (const auto& [outcome, count] : counted["outcomes"].items())
    outcomes += count.get<std::uint64_t>();
  expect(outcomes == kinds["start flash update"], "updates by outcome");
  expect(counted["trace"]["bytes"] == trace.size(), "bytes read");
}

// The HTML report of the trace: text that a page may hold, with only its
// own markup.
void checkReport(std::span<const std::uint8_t> trace, const Settings& drawn) {
  Writer page;
  Writer errors;
  {
    Settings reported = drawn;
    reported.output = ovantrex::Output::Page;
    reported.inputName = "fuzz <trace>.trc";
    ovantrex::Session session(reported, page, page, errors);
    TraceReader reader(trace);
    ovantrex::readTrace(reader, session);
    session.finish(reader.bytesRead());
  }
  const std::string& html = page.text();
  ovantrex::ControlEscaper escaper;
  char settled[ovantrex::ControlEscaper::kMostPerStep];
  std::string shown;
  for (const char c : html) {
    char* end = escaper.step(static_cast<std::uint8_t>(c), settled);
    shown.append(settled, static_cast<std::size_t>(end - settled));
  }
  char* end = escaper.finish(settled);
  shown.append(settled, static_cast<std::size_t>(end - settled));
  const auto fault = [](const char* what) {
    std::fprintf(stderr, "HTML report: %s\n", what);
    std::abort();
  };
  if (shown != html) fault("the page holds controls or broken UTF-8");
  std::size_t scripts = 0;
  for (std::size_t at = html.find("<script"); at != std::string::npos;
       at = html.find("<script", at + 1))
    ++scripts;
  if (scripts != 1 || html.find("<img") != std::string::npos ||
      html.find("<trace") != std::string::npos)
    fault("markup on the page that the program did not write");
}

constexpr std::array<std::size_t, 8> kBlockSizes = {1,  2,    15,    16,
                                                    17, 4096, 65536, TraceReader::kDefaultBlock};
constexpr std::array<std::size_t, 4> kChunks = {SIZE_MAX, 1, 7, 4096};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A zone with daylight saving time, given by rule so that no zone files
  // are needed.
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  return 0;
}

namespace {

// The bytes as an expression of --where: it parses, or its message ends in
// a caret line.
void checkExpression(std::span<const std::uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const auto parsed = ovantrex::parseExpression(text);
  if (const auto* error = std::get_if<ovantrex::ExpressionError>(&parsed)) {
    if (error->position > text.size()) std::abort();
    if (!ovantrex::describeError(text, *error).ends_with("^\n")) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return -1;
  const std::uint8_t options = data[0];
  const std::uint8_t io = data[1];
  const bool terminal = (data[2] & 1) != 0;
  const std::span<const std::uint8_t> trace(data + 3, size - 3);
  const Settings settings = settingsFor(options);
  if ((data[2] & 2) != 0) checkExpression(trace);
  const bool separateConsole = (io & 0x20) != 0;
  const bool readFails = (io & 0x40) != 0;
  const bool writeFails = (io & 0x80) != 0;

  Output fromMemory;
  {
    TraceReader reader(trace);
    if (list(reader, settings, separateConsole, terminal, fromMemory) != Ending::normal)
      std::abort();
    if (terminal) {
      for (const Sink* sink : {&fromMemory.listing, &fromMemory.console, &fromMemory.errors})
        checkShowsAsText(*sink);
    }
  }
  checkJsonAgainstListing(trace, settings);
  checkSummaryAgainstJson(trace, settings);
  checkReport(trace, settings);

  Source source{trace};
  source.chunk = kChunks[(io >> 3) & 3];
  if (readFails) source.failAt = trace.size() / 2;
  const File input(openSource(source));
  if (!input) std::abort();
  Output fromStream;
  if (writeFails) fromStream.listing.failAfter = fromMemory.listing.total / 2;
  TraceReader reader(input.get(), kBlockSizes[io & 7]);
  const Ending ending = list(reader, settings, separateConsole, terminal, fromStream);

  if (!readFails && !writeFails) {
    if (ending != Ending::normal) std::abort();
    if (!(fromStream.listing == fromMemory.listing) ||
        !(fromStream.console == fromMemory.console) || !(fromStream.errors == fromMemory.errors)) {
      std::fprintf(stderr, "listings differ between memory and stream reading\n");
      std::abort();
    }
  }
  if (ending == Ending::writeError && !writeFails) std::abort();
  if (ending == Ending::readError && !readFails) std::abort();
  return 0;
}
