#include "app/batch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/session_analysis.h"
#include "app/exit_status.h"
#include "app/run_files.h"
#include "compare/comparison.h"
#include "decode/decoded_record.h"
#include "output/compare/compare_json.h"
#include "output/summary/session_summary.h"
#include "output/summary/summary_row.h"
#include "trace/record_loop.h"

namespace ovantrex {

namespace {

using platform::FileIdentity;

constexpr std::size_t kListBlock = std::size_t{1} << 16;
// The room of one trace's message: its name, twice at most, and the words.
constexpr std::size_t kMessageRoom = 2 * kMaxListedName + 512;

// The names of the list, one a line, read in blocks as they arrive (a pipe
// hands on what it holds without waiting for a whole block).
class NameList {
 public:
  explicit NameList(std::FILE* stream)
      : stream_(stream), block_(std::make_unique<std::uint8_t[]>(kListBlock)) {}

  // Reads the next name into name, at most kMaxListedName bytes of it (cut:
  // whether the line held more); false at the end of the list. Throws
  // ReadError.
  bool next(std::string& name, bool& cut);
  // The line of the last name read, from 1.
  std::uint64_t line() const { return line_; }
  // Each block read is also written to copy (a file of this run's own).
  void copyTo(std::FILE* copy) { copy_ = copy; }
  // Reads the list again from the start of stream.
  void restart(std::FILE* stream) { *this = NameList(stream, std::move(block_)); }

 private:
  NameList(std::FILE* stream, std::unique_ptr<std::uint8_t[]> block)
      : stream_(stream), block_(std::move(block)) {}
  // Reads the next block; false at the end of the list.
  bool fill();

  std::FILE* stream_;
  std::FILE* copy_ = nullptr;
  std::unique_ptr<std::uint8_t[]> block_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool atEnd_ = false;
  std::uint64_t lines_ = 0;  // lines begun
  std::uint64_t line_ = 0;
};

bool NameList::fill() {
  while (!atEnd_) {
    errno = 0;
    const std::ptrdiff_t got = platform::readAvailable(stream_, {block_.get(), kListBlock});
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw ReadError(errno != 0 ? errno : EIO);
    if (got == 0) {
      atEnd_ = true;
      break;
    }
    begin_ = 0;
    end_ = static_cast<std::size_t>(got);
    if (copy_ != nullptr && std::fwrite(block_.get(), 1, end_, copy_) != end_)
      throw ReadError(errno != 0 ? errno : EIO);
    return true;
  }
  return false;
}

bool NameList::next(std::string& name, bool& cut) {
  name.clear();
  cut = false;
  for (;;) {
    if (begin_ == end_ && !fill()) {
      // The last line, without its line end.
      if (name.empty()) return false;
      line_ = ++lines_;
      return true;
    }
    const auto* start = reinterpret_cast<const char*>(block_.get()) + begin_;
    const std::size_t left = end_ - begin_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', left));
    const std::size_t length =
        newline != nullptr ? static_cast<std::size_t>(newline - start) : left;
    const std::size_t room = kMaxListedName - name.size();
    name.append(start, length < room ? length : room);
    cut = cut || length > room;
    begin_ += length;
    if (newline == nullptr) continue;
    ++begin_;
    ++lines_;
    if (!name.empty()) {
      line_ = lines_;
      return true;
    }
  }
}

// Hands the analysis every record, decoded, and every diagnostic, and with
// --compare the steps too; the summary is written from the analysis alone.
class AnalysisSink final : public RecordSink {
 public:
  AnalysisSink(SessionAnalysis& analysis, TraceSteps* steps) : analysis_(analysis), steps_(steps) {}
  void record(const Record& record) override {
    const DecodedRecord decoded = decodeRecord(record);
    const RecordFacts& facts = analysis_.record(record, decoded);
    if (steps_ != nullptr) steps_->record(record, decoded, facts);
  }
  void diagnostic(const Diagnostic& diagnostic) override { analysis_.diagnostic(diagnostic); }

 private:
  SessionAnalysis& analysis_;
  TraceSteps* steps_;
};

// The reference trace of --compare, read once before the first row, and
// the room of each listed trace's steps.
struct Reference {
  explicit Reference(std::string_view goodName)
      : name(goodName), analysis({.traceName = goodName}) {}

  std::string_view name;
  SessionAnalysis analysis;
  TraceSteps steps;
  TraceSteps traceSteps;
};

// The memory of a batch, taken once: the reader's buffers, the analysis
// and the summary's printer, the room of a name and of a message.
class Batch {
 public:
  Batch(const Outputs& outputs, Writer& rows, TraceReader::Buffers buffers)
      : outputs_(outputs),
        buffers_(std::move(buffers)),
        analysis_(SessionAnalysis::Options{}),
        summary_(rows, true, analysis_),
        rows_(rows),
        message_(kMessageRoom) {
    name.reserve(kMaxListedName);
  }

  // Writes the row of the trace named (cut: a name longer than the list
  // allows, of which name holds the first bytes).
  void summarize(bool cut);
  // Whether the rows are bytes rather than text: their printer's to say.
  bool writesBytes() const { return summary_.writesBytes(); }
  // Reads GOOD, the reference trace that every row is compared with
  // (--compare); returns the exit status (the message is written), or none.
  std::optional<ExitStatus> readReference(const std::string& good, Writer& err);

  std::string name;  // the name that the list reads into

 private:
  // The row of a trace without a summary: status and the message that a
  // run on it alone would end with.
  void headOnly(ExitStatus status);
  // The message without its line end.
  std::string_view messageText();
  // Reads the trace open in reader_ into the analysis (and steps); returns
  // how a read failed part way, or none.
  std::optional<ReadFailure> readInto(SessionAnalysis& analysis, TraceSteps* steps);
  // The row of a summarized trace, with its comparison when there is one.
  void finishRow(const SummaryRowHead& head);

  const Outputs& outputs_;
  TraceReader::Buffers buffers_;  // until the reader takes them
  std::optional<TraceReader> reader_;
  SessionAnalysis analysis_;
  SessionSummary summary_;
  Writer& rows_;
  Writer message_;
  std::unique_ptr<Reference> reference_;  // with --compare
};

std::optional<ReadFailure> Batch::readInto(SessionAnalysis& analysis, TraceSteps* steps) {
  AnalysisSink sink(analysis, steps);
  std::optional<ReadFailure> failure;
  try {
    readTrace(*reader_, sink);
  } catch (const ReadError& error) {
    failure = ReadFailure{error.offset(), error.what()};
    analysis.readFailed(*failure);
  }
  analysis.finish(reader_->bytesRead());
  return failure;
}

std::optional<ExitStatus> Batch::readReference(const std::string& good, Writer& err) {
  Input input;
  if (const auto status = openInput(good, input, err)) return status;
  if (const std::string refusal = outputThatIsTheTrace(outputs_, input.identity);
      !refusal.empty()) {
    tell(err, {refusal});
    return ExitStatus::CannotOpenOutput;
  }
  reader_.emplace(input.file.get(), std::move(buffers_));
  reference_ = std::make_unique<Reference>(good);
  // A reference read part way would part from every trace where it ends.
  if (const auto failure = readInto(reference_->analysis, &reference_->steps)) {
    tellReadFailure(err, good, failure->reason);
    return ExitStatus::CannotReadInput;
  }
  return std::nullopt;
}

void Batch::finishRow(const SummaryRowHead& head) {
  if (!reference_) return summary_.finishRow(head);
  summary_.finishRow(head, [this](Writer& out) {
    out.put("\"comparison\":");
    writeRowComparison(
        out, compareTraces({reference_->name, &reference_->analysis.facts(), &reference_->steps},
                           {name, &analysis_.facts(), &reference_->traceSteps}));
  });
}

std::string_view Batch::messageText() {
  std::string_view text = message_.text();
  while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  return text;
}

void Batch::headOnly(ExitStatus status) {
  writeHeadOnlyRow(
      rows_, {.name = name, .bytes = std::nullopt, .status = code(status), .error = messageText()});
}

void Batch::summarize(bool cut) {
  message_.clear();
  if (cut || name.find('\0') != std::string::npos) {
    static_assert(kMaxListedName == 4096);
    tell(message_, {"Could not open '", name, "' for reading",
                    cut ? ": the name is longer than 4096 bytes" : ""});
    return headOnly(ExitStatus::CannotReadInput);
  }
  try {
    Input input;
    if (const auto status = openInput(name, input, message_)) return headOnly(*status);
    if (const std::string refusal = outputThatIsTheTrace(outputs_, input.identity);
        !refusal.empty()) {
      message_.put(refusal);
      return headOnly(ExitStatus::CannotOpenOutput);
    }
    if (reader_) {
      reader_->restart(input.file.get());
    } else {
      reader_.emplace(input.file.get(), std::move(buffers_));
    }
    analysis_.reset(name);
    if (reference_) reference_->traceSteps.clear();
    const std::optional<ReadFailure> failure =
        readInto(analysis_, reference_ ? &reference_->traceSteps : nullptr);
    if (failure) tellReadFailure(message_, name, failure->reason);
    finishRow({.name = name,
               .bytes = reader_->bytesRead(),
               .status = code(failure ? ExitStatus::CannotReadInput : ExitStatus::Done),
               .error = failure ? std::optional(messageText()) : std::nullopt});
  } catch (const std::bad_alloc&) {
    message_.clear();
    message_.put(kNoMemoryMessage);
    headOnly(ExitStatus::NoMemory);
  }
}

// Whether writing output would destroy what it holds (a regular file).
bool holdsStoredBytes(const std::optional<FileIdentity>& output) {
  return output && output->kind == FileIdentity::Kind::Regular;
}

// Refuses, before anything is written, an output that the list or a name
// in it stands for; returns the exit status (the message is written), or
// none. The names are checked only when an output holds stored bytes; each
// trace is checked again when it is opened.
std::optional<ExitStatus> refuseInputsAsOutputs(NameList& list, const FileIdentity& listFile,
                                                const Outputs& outputs, std::string& name,
                                                Writer& err) {
  const std::optional<FileIdentity>& output = outputs.file ? outputs.file : outputs.standard;
  const auto refuse = [&](std::initializer_list<std::string_view> why) {
    err.put("Could not open ");
    if (outputs.file) {
      tell(err, {"'", outputs.name, "' for writing: "});
    } else {
      err.put("standard output for writing: ");
    }
    tell(err, why);
    return ExitStatus::CannotOpenOutput;
  };
  using platform::SameFile;
  if (output) {
    switch (platform::sameStoredFile(*output, listFile)) {
      case SameFile::No: break;
      case SameFile::Yes: return refuse({"it is the list being read\n"});
      case SameFile::CannotTell:
        return refuse({"the system does not tell whether it is the list being read\n"});
    }
  }
  if (!holdsStoredBytes(output)) return std::nullopt;
  bool cut = false;
  while (list.next(name, cut)) {
    const std::optional<FileIdentity> trace = platform::identityOfName(name);
    if (cut || !trace) continue;
    const SameFile same = platform::sameStoredFile(*output, *trace);
    if (same == SameFile::No) continue;
    const std::string line = std::to_string(list.line());
    return refuse({same == SameFile::Yes ? "line " : "the system does not tell whether line ", line,
                   " of the list names it\n"});
  }
  return std::nullopt;
}

// The list, open for reading: standard input for "-".
struct List {
  File owned;
  std::FILE* stream = nullptr;
  FileIdentity identity;
};

// Opens the list; returns the exit status (the message is written), or none.
std::optional<ExitStatus> openList(const std::string& name, List& list, Writer& err) {
  if (name != "-") {
    Input input;
    if (auto status = openInput(name, input, err)) return status;
    list.identity = input.identity;
    list.owned = std::move(input.file);
    list.stream = list.owned.get();
    return std::nullopt;
  }
  list.stream = stdin;
  if (const auto identity = platform::identityOf(stdin)) list.identity = *identity;
  return std::nullopt;
}

// Opens the -w file, or takes standard output; returns the exit status (the
// message is written), or none.
std::optional<ExitStatus> openRows(const Settings& settings, Reserved<Writer>& room, Writer& out,
                                   Writer& err, const platform::MissingStreams& missing,
                                   Outputs& outputs, bool& emptied) {
  if (settings.outputName.empty()) {
    if (missing.output) {
      tell(err, {"Could not write the rows: ", std::strerror(EBADF), "\n"});
      return ExitStatus::CannotWrite;
    }
    outputs.standard = identityOf(out);
    return std::nullopt;
  }
  if (auto status = openOutput(settings.outputName, nullptr, room, emptied, err)) return status;
  outputs.name = settings.outputName;
  outputs.file = identityOf(*room.get());
  // Nothing but the rows is written, and they go to the file.
  out.setOnFailure(Writer::OnFailure::Drop);
  return std::nullopt;
}

// Writes the rows of every name of the list; returns the exit status.
ExitStatus writeRows(const Settings& settings, NameList& list, Batch& batch, Writer& rows,
                     Writer& err) {
  try {
    try {
      bool cut = false;
      while (list.next(batch.name, cut)) {
        batch.summarize(cut);
        rows.flush();
      }
    } catch (const ReadError& error) {
      rows.flush();
      if (!settings.outputName.empty()) rows.close();
      tellReadFailure(err, settings.listName, error.what());
      return ExitStatus::CannotReadInput;
    }
    if (!settings.outputName.empty()) rows.close();
    rows.flush();
  } catch (const WriteError& error) {
    tell(err, {"Could not write the rows: ", error.what(), "\n"});
    return ExitStatus::CannotWrite;
  }
  return ExitStatus::Done;
}

}  // namespace

ExitStatus summarizeList(const Settings& settings, TraceReader::Buffers readerBuffers,
                         Reserved<Writer>& outputRoom, Writer& out, Writer& err,
                         const platform::MissingStreams& missing) {
  List listFile;
  if (const auto status = openList(settings.listName, listFile, err)) return *status;
  Outputs outputs;
  bool emptied = false;
  if (const auto status = openRows(settings, outputRoom, out, err, missing, outputs, emptied))
    return *status;
  Writer& rows = outputs.file ? *outputRoom.get() : out;
  // All the memory comes before an older file of rows is emptied.
  auto batch = std::make_unique<Batch>(outputs, rows, std::move(readerBuffers));
  if (rows.stream() != nullptr)
    platform::setLineEnds(
        rows.stream(), batch->writesBytes() ? platform::LineEnds::Bytes : platform::LineEnds::Text);
  NameList list(listFile.stream);
  // A list that cannot be read twice is copied as the names are checked.
  File copy;
  const bool check = holdsStoredBytes(outputs.file ? outputs.file : outputs.standard);
  const bool rereadable = listFile.identity.kind == FileIdentity::Kind::Regular;
  if (check && !rereadable) {
    copy.reset(std::tmpfile());
    if (!copy) {
      tellReadFailure(err, settings.listName, std::strerror(errno != 0 ? errno : EIO));
      return ExitStatus::CannotReadInput;
    }
    list.copyTo(copy.get());
  }
  try {
    if (const auto status =
            refuseInputsAsOutputs(list, listFile.identity, outputs, batch->name, err))
      return *status;
  } catch (const ReadError& error) {
    tellReadFailure(err, settings.listName, error.what());
    return ExitStatus::CannotReadInput;
  }
  if (check) {
    std::FILE* again = copy ? copy.get() : listFile.stream;
    if (std::fseek(again, 0, SEEK_SET) != 0) {
      tellReadFailure(err, settings.listName, std::strerror(errno));
      return ExitStatus::CannotReadInput;
    }
    list.restart(again);
  }
  if (!settings.compareName.empty()) {
    if (const auto status = batch->readReference(settings.compareName, err)) return *status;
  }
  if (const auto status = emptyOutput(settings.outputName, outputRoom, emptied, err))
    return *status;
  return writeRows(settings, list, *batch, rows, err);
}

}  // namespace ovantrex
