// The words of every note that the listing writes under a record of the
// firmware report, in order. The text listing puts each on a line of its
// own behind the note indent; other printers take the words as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/decoded_record.h"
#include "output/common/writer.h"

namespace ovantrex {

// Where notes go: startNote() gives the writer for one note's words, and
// endNote() follows them. startSubNote() starts a note that belongs to the
// note before it (an entry of a systems-management request): the text
// listing indents it further, other sinks take it as any note.
class NoteSink {
 public:
  virtual Writer& startNote() = 0;
  virtual Writer& startSubNote() { return startNote(); }
  virtual void endNote() {}

 protected:
  NoteSink() = default;
  NoteSink(const NoteSink&) = default;
  NoteSink& operator=(const NoteSink&) = default;
  ~NoteSink() = default;
};

// The text listing's notes: a line break and the note indent before the
// words, and four blanks more before a sub-note; a note never ends its own
// line.
class IndentedNotes final : public NoteSink {
 public:
  static constexpr std::size_t kSubNoteIndent = 4;

  IndentedNotes(Writer& out, std::size_t indent) : out_(out), indent_(indent) {}
  Writer& startNote() override {
    out_.put('\n');
    out_.blanks(indent_);
    return out_;
  }
  Writer& startSubNote() override {
    startNote().blanks(kSubNoteIndent);
    return out_;
  }

 private:
  Writer& out_;
  std::size_t indent_;
};

// Notes on one line: "; " between them.
class JoinedNotes final : public NoteSink {
 public:
  explicit JoinedNotes(Writer& out) : out_(out) {}
  Writer& startNote() override {
    if (!first_) out_.put("; ");
    first_ = false;
    return out_;
  }

 private:
  Writer& out_;
  bool first_ = true;
};

// The first notes, handed on one at a time as each is written (put(words)),
// and a count of the rest: a list of notes cut to its first items.
template <typename Put>
class FirstNotes final : public NoteSink {
 public:
  // scratch: a memory writer for one note's words.
  FirstNotes(Writer& scratch, std::size_t most, Put put)
      : scratch_(scratch), most_(most), put_(put) {}
  Writer& startNote() override {
    scratch_.clear();
    return scratch_;
  }
  void endNote() override {
    if (taken_ == most_) {
      ++leftOut_;
      return;
    }
    ++taken_;
    put_(std::string_view(scratch_.text()));
  }
  std::size_t taken() const { return taken_; }
  std::uint64_t leftOut() const { return leftOut_; }

 private:
  Writer& scratch_;
  std::size_t most_;
  Put put_;
  std::size_t taken_ = 0;
  std::uint64_t leftOut_ = 0;
};

void writeCommandNotes(NoteSink& notes, const FirmwareCommand& command);
// The notes of one kind of command, from the fields that they show.
void writeSystemCommandNotes(NoteSink& notes, std::uint8_t code);  // code: systemCommandCode()
void writeFlashWriteNotes(NoteSink& notes, const FlashWrite& write);
void writeChecksumNotes(NoteSink& notes, std::uint16_t checksum);
// The entries of a systems-management request, one sub-note each: the
// report kind's name, " for " and the device class's name (either name may
// be empty).
void writeSmRequestEntryNotes(NoteSink& notes, const SmRequest& request);
// The status bits' notes and, for a flash read, its heading.
void writeStatusNotes(NoteSink& notes, const StatusReply& reply);
void writeSmReportNotes(NoteSink& notes, const SmReport& report);
// Every note of a decoded record, whatever its kind (none for most).
void writeRecordNotes(NoteSink& notes, const DecodedRecord& record);

}  // namespace ovantrex
