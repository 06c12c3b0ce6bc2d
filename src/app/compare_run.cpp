#include "app/compare_run.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "app/colour_choice.h"
#include "app/options.h"
#include "app/run_files.h"
#include "compare/comparison.h"
#include "output/compare/compare_json.h"
#include "output/compare/compare_text.h"
#include "trace/record_loop.h"

namespace ovantrex {

namespace {

class StepsSink final : public RecordSink {
 public:
  explicit StepsSink(TracedSteps& steps) : steps_(steps) {}
  void record(const Record& record) override { steps_.record(record); }
  void diagnostic(const Diagnostic& diagnostic) override { steps_.diagnostic(diagnostic); }

 private:
  TracedSteps& steps_;
};

// Reads one trace to its end into steps; false when a read failed part way
// (the message is written, and what was read is kept).
bool readSteps(TraceReader& reader, const std::string& name, TracedSteps& steps, Writer& err) {
  StepsSink sink(steps);
  bool read = true;
  try {
    readTrace(reader, sink);
  } catch (const ReadError& error) {
    steps.readFailed(ReadFailure{error.offset(), error.what()});
    tellReadFailure(err, name, error.what());
    read = false;
  }
  steps.finish(reader.bytesRead());
  return read;
}

// Opens the -w file, and refuses an output that is one of the traces.
std::optional<ExitStatus> openOutputFor(const Settings& settings,
                                        const std::array<Input, 2>& inputs, Reserved<Writer>& room,
                                        Writer& out, Writer& err,
                                        const platform::MissingStreams& missing, bool& emptied) {
  Outputs outputs;
  outputs.standard = identityOf(out);
  if (!settings.outputName.empty()) {
    if (const auto end = openOutput(settings.outputName, &inputs[0].identity, room, emptied, err))
      return end;
    outputs.name = settings.outputName;
    outputs.file = identityOf(*room.get());
    out.setOnFailure(Writer::OnFailure::Drop);
  } else if (missing.output) {
    tell(err, {"Could not write the listing: ", std::strerror(EBADF), "\n"});
    return ExitStatus::CannotWrite;
  }
  for (const Input& input : inputs) {
    if (std::string refusal = outputThatIsTheTrace(outputs, input.identity); !refusal.empty()) {
      tell(err, {refusal});
      return ExitStatus::CannotOpenOutput;
    }
  }
  return std::nullopt;
}

}  // namespace

ExitStatus runComparison(const Settings& settings, TraceReader::Buffers buffers,
                         Reserved<Writer>& outputRoom, Writer& out, Writer& err,
                         const platform::MissingStreams& missing) {
  if (settings.context == kBadContext) {
    tell(err, {"ovantrex: --context takes a number of steps\n"});
    return ExitStatus::CannotStart;
  }
  if (settings.compareName.empty() || settings.compareName == "-?") {
    tell(err, {"ovantrex: --compare names the reference trace\n"});
    return ExitStatus::CannotStart;
  }
  std::array<Input, 2> inputs;
  const std::array<const std::string*, 2> names{&settings.compareName, &settings.inputName};
  for (std::size_t i = 0; i < 2; ++i) {
    if (const auto end = openInput(*names[i], inputs[i], err)) return *end;
  }
  bool emptied = false;
  if (const auto end = openOutputFor(settings, inputs, outputRoom, out, err, missing, emptied))
    return *end;
  const auto good = std::make_unique<TracedSteps>(settings.compareName);
  const auto trace = std::make_unique<TracedSteps>(settings.inputName);
  if (const auto end = emptyOutput(settings.outputName, outputRoom, emptied, err)) return *end;
  TraceReader reader(inputs[0].file.get(), std::move(buffers));
  bool read = readSteps(reader, settings.compareName, *good, err);
  reader.restart(inputs[1].file.get());
  read = readSteps(reader, settings.inputName, *trace, err) && read;
  const Comparison comparison =
      compareTraces({settings.compareName, &good->facts(), &good->steps()},
                    {settings.inputName, &trace->facts(), &trace->steps()});
  Writer& output = settings.outputName.empty() ? out : *outputRoom.get();
  std::optional<platform::TerminalColours> colours;
  setColours(settings, output, colours);
  try {
    if (settings.output == Output::CompareJson) {
      writeComparisonJson(output, comparison);
    } else {
      writeComparisonText(output, comparison, settings.context.value_or(kCompareContext));
    }
    if (!settings.outputName.empty()) output.close();
    out.flush();
  } catch (const WriteError& error) {
    tell(err, {"Could not write the listing: ", error.what(), "\n"});
    return ExitStatus::CannotWrite;
  }
  if (!read) return ExitStatus::CannotReadInput;
  return comparison.alike() ? ExitStatus::Done : ExitStatus::Differ;
}

}  // namespace ovantrex
