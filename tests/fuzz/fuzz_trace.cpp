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
//   rest    the trace file
//
// Every trace is listed twice: once from memory and once through a stream
// in small blocks; both listings must be identical to the byte. With an
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
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/record_loop.h"
#include "driver/trace_reader.h"
#include "render/writer.h"

namespace {

using ovantrex::LoopStreams;
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

enum class Ending { normal, readError, writeError };

// One run of the record loop over reader; the writers go to out's sinks.
Ending list(TraceReader& reader, const Settings& settings, bool separateConsole, Output& out) {
  const File listingFile(openSink(out.listing));
  const File consoleFile(openSink(out.console));
  const File errorsFile(openSink(out.errors));
  if (!listingFile || !consoleFile || !errorsFile) std::abort();
  auto listing = std::make_unique<Writer>(listingFile.get());
  auto console = std::make_unique<Writer>(consoleFile.get());
  auto errors = std::make_unique<Writer>(errorsFile.get());
  Ending ending = Ending::normal;
  try {
    ovantrex::runRecordLoop(
        reader, LoopStreams{*listing, separateConsole ? *console : *listing, *errors}, settings);
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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return -1;
  const std::uint8_t options = data[0];
  const std::uint8_t io = data[1];
  const std::span<const std::uint8_t> trace(data + 2, size - 2);
  const Settings settings = settingsFor(options);
  const bool separateConsole = (io & 0x20) != 0;
  const bool readFails = (io & 0x40) != 0;
  const bool writeFails = (io & 0x80) != 0;

  Output fromMemory;
  {
    TraceReader reader(trace);
    if (list(reader, settings, separateConsole, fromMemory) != Ending::normal) std::abort();
  }

  Source source{trace};
  source.chunk = kChunks[(io >> 3) & 3];
  if (readFails) source.failAt = trace.size() / 2;
  const File input(openSource(source));
  if (!input) std::abort();
  Output fromStream;
  if (writeFails) fromStream.listing.failAfter = fromMemory.listing.total / 2;
  TraceReader reader(input.get(), kBlockSizes[io & 7]);
  const Ending ending = list(reader, settings, separateConsole, fromStream);

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
