#include "output/compare/compare_words.h"

#include "output/common/control_escaper.h"
#include "output/common/notes.h"
#include "output/summary/summary_words.h"

namespace ovantrex {

namespace {

void writeCommandWords(NoteSink& notes, Writer& out, const Step& step) {
  const auto kind = static_cast<CommandKind>(step.code());
  const auto address = step.detail & 0xFFFFFF;
  const auto count = static_cast<std::uint8_t>(step.detail >> 24);
  switch (kind) {
    case CommandKind::System:
      writeSystemCommandNotes(notes, static_cast<std::uint8_t>(step.detail));
      return;
    case CommandKind::FlashWrite:
      // A length field that disagrees with the count is in the step's key:
      // the words are those of a write whose fields agree.
      writeFlashWriteNotes(notes,
                           FlashWrite{count, address, static_cast<std::uint16_t>(count + 6)});
      return;
    case CommandKind::ChecksumWrite:
      writeChecksumNotes(notes, static_cast<std::uint16_t>(step.detail));
      return;
    default: break;
  }
  FirmwareCommand command;
  command.kind = kind;
  writeCommandNotes(notes, command);
  if (kind == CommandKind::SerialNumber) {
    out.put(" of ");
    out.decimal(step.detail);
    out.put(" characters");
  } else if (kind == CommandKind::ReadOneRecord || kind == CommandKind::ReadAllRecords) {
    out.put(" of ");
    out.decimal(count);
    out.put(" bytes");
  }
}

void writeReplyWords(Writer& out, const Step& step) {
  if (step.kind() == StepKind::OtherReply) {
    static constexpr std::array<std::string_view, 3> kWords{
        "Version list", "Systems management report", "Feature read"};
    out.put(kWords[step.code() < kWords.size() ? step.code() : 2]);
    out.put(" of ");
    out.decimal(step.detail);
    out.put(" bytes");
    return;
  }
  StatusReply reply;
  reply.status = step.code();
  if (reply.has(StatusBit::EcInformation)) {
    reply.ecCurrent = {static_cast<std::uint8_t>(step.detail >> 24),
                       static_cast<std::uint8_t>(step.detail >> 16)};
    reply.ecPrevious = {static_cast<std::uint8_t>(step.detail >> 8),
                        static_cast<std::uint8_t>(step.detail)};
  } else if (step.detail >> 24 != 0) {
    reply.flashRead = true;
    reply.flashLength = static_cast<std::uint8_t>(step.detail >> 24);
    reply.flashAddress = {static_cast<std::uint8_t>(step.detail >> 16),
                          static_cast<std::uint8_t>(step.detail >> 8),
                          static_cast<std::uint8_t>(step.detail)};
  }
  JoinedNotes joined(out);
  writeStatusNotes(joined, reply);
  std::uint32_t noted = 0;
  for (const CodedValue& bit : kStatusBitRows) noted |= bit.value;
  if ((reply.status & noted) == 0 && !reply.flashRead) {
    out.put("Status 0x");
    out.hexByte(reply.status);
  }
}

}  // namespace

std::string_view stepKindKey(StepKind kind) {
  switch (kind) {
    case StepKind::Command: return "command";
    case StepKind::StatusReply: return "status_reply";
    case StepKind::OtherReply: return "reply";
    case StepKind::Text: return "text";
  }
  return "text";
}

std::string_view stepKindWord(StepKind kind) {
  switch (kind) {
    case StepKind::Command: return "command";
    case StepKind::StatusReply:
    case StepKind::OtherReply: return "reply";
    case StepKind::Text: return "text";
  }
  return "text";
}

void writeStepWords(Writer& out, const TraceSteps& steps, const Step& step) {
  JoinedNotes notes(out);
  switch (step.kind()) {
    case StepKind::Command: writeCommandWords(notes, out, step); return;
    case StepKind::StatusReply:
    case StepKind::OtherReply: writeReplyWords(out, step); return;
    case StepKind::Text: break;
  }
  if (step.detail == kNoText) {
    out.put("text message of ");
    out.decimal(step.extra);
    out.put(" bytes");
    return;
  }
  writeOnOneLine(out, steps.text(step));
  if (step.extra > TraceSteps::kKeptText) out.put("...");
}

void writePartName(Writer& out, std::size_t part) {
  if (part == 0) {
    out.put("before the first update");
    return;
  }
  out.put("update ");
  out.decimal(static_cast<std::int64_t>(part));
}

void writeRanges(Writer& out, std::span<const AddressRange> ranges, std::uint64_t leftOut) {
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    if (i != 0) out.put(", ");
    out.put("0x");
    out.hexPadded(ranges[i].first, 6);
    out.put("-0x");
    out.hexPadded(ranges[i].last, 6);
  }
  writeListEnd(out, ranges.empty(), leftOut, kCompareWords);
}

void writeEcLevels(Writer& out, const StepPart* part) {
  if (part == nullptr || !part->hasEcLevels) {
    out.put("none");
    return;
  }
  out.put("current ");
  out.hexByte(part->ecLevels[0]);
  out.put('.');
  out.hexByte(part->ecLevels[1]);
  out.put(", previous ");
  out.hexByte(part->ecLevels[2]);
  out.put('.');
  out.hexByte(part->ecLevels[3]);
}

}  // namespace ovantrex
