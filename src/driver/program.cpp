#include "driver/program.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "driver/command_line.h"
#include "driver/record_loop.h"
#include "driver/trace_reader.h"
#include "render/json_lines.h"
#include "render/session_summary.h"
#include "render/text_listing.h"

namespace ovantrex {

namespace {

constexpr int kCannotOpenInput = 2;
constexpr int kCannotOpenOutput = 3;
constexpr int kCannotWrite = 4;
constexpr int kCannotRead = 2;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void tell(Writer& err, std::string_view a, std::string_view b = {}, std::string_view c = {},
          std::string_view d = {}, std::string_view e = {}) {
  for (const std::string_view part : {a, b, c, d, e}) err.put(part);
  err.flush();
}

File openInput(const std::string& name) {
  // A directory opens on some systems but cannot be read as a trace.
  std::error_code ignored;
  if (std::filesystem::is_directory(name, ignored)) return nullptr;
  return File(std::fopen(name.c_str(), "rb"));
}

}  // namespace

int runProgram(int argc, const char* const* argv, Writer& out, Writer& err) {
  const CommandLine commandLine = parseCommandLine(argc, argv, err);
  if (commandLine.request == Request::Help) printHelp(out);
  if (commandLine.request == Request::Version) printVersion(out);
  if (commandLine.exitStatus) return *commandLine.exitStatus;
  tzset();
  const Settings& settings = commandLine.settings;

  File input = openInput(settings.inputName);
  if (!input) {
    tell(err, "Could not open '", settings.inputName, "' for reading\n");
    return kCannotOpenInput;
  }
  std::unique_ptr<Writer> outputFile;
  if (!settings.outputName.empty()) {
    std::FILE* stream = std::fopen(settings.outputName.c_str(), "w");
    if (stream == nullptr) {
      tell(err, "Could not open '", settings.outputName, "' for writing\n");
      return kCannotOpenOutput;
    }
    outputFile = std::make_unique<Writer>(stream);
  }
  Writer& listing = outputFile ? *outputFile : out;

  try {
    // A read error ends the loop after the records already listed; the
    // listing is still completed and closed before it is reported.
    std::string readFailure;
    try {
      TraceReader reader(input.get());
      std::unique_ptr<Printer> printer;
      if (settings.summary) {
        printer = std::make_unique<SessionSummary>(listing, err, settings, settings.json);
      } else if (settings.json) {
        printer = std::make_unique<JsonLines>(listing, err, settings);
      } else {
        printer = std::make_unique<TextListing>(listing, out, err, settings);
      }
      readTrace(reader, *printer);
      printer->finish();
    } catch (const ReadError& error) {
      readFailure = error.what();
    }
    if (outputFile) outputFile->close();
    out.flush();
    if (!readFailure.empty()) {
      tell(err, "Could not read '", settings.inputName, "': ", readFailure, "\n");
      return kCannotRead;
    }
  } catch (const WriteError& error) {
    tell(err, "Could not write the listing: ", error.what(), "\n");
    return kCannotWrite;
  }
  return 0;
}

}  // namespace ovantrex
