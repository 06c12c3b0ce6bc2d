#include "output/json/json_lines.h"

#include "output/common/diagnostic_message.h"
#include "output/common/json_values.h"
#include "output/common/notes.h"
#include "output/json/json_decoded.h"
#include "output/json/json_keys.h"

namespace ovantrex {

namespace {

// The notes as a JSON array of strings: each note's words are collected,
// then written escaped.
class JsonNotes final : public NoteSink {
 public:
  JsonNotes(Writer& out, Writer& scratch) : out_(out), scratch_(scratch) {}
  Writer& startNote() override {
    scratch_.clear();
    return scratch_;
  }
  void endNote() override {
    if (!first_) out_.put(',');
    first_ = false;
    writeJsonString(out_, scratch_.text());
  }

 private:
  Writer& out_;
  Writer& scratch_;
  bool first_ = true;
};

void writeTransfer(Writer& out, const HidTransfer& transfer) {
  writeJsonHex(member(out, RecordKey::Header), transfer.header.bytes);
  member(out, RecordKey::Report).decimal(transfer.reportId());
  writeJsonHex(member(out, RecordKey::Data), transfer.data.bytes);
}

}  // namespace

JsonLines::JsonLines(Writer& out) : out_(out) {}

void JsonLines::record(const Record& record, const DecodedRecord& decoded,
                       const RecordFacts& facts) {
  write(record, decoded, facts, false);
}

void JsonLines::context(const Record& record, const DecodedRecord& decoded,
                        const RecordFacts& facts) {
  write(record, decoded, facts, true);
}

void JsonLines::group(bool /*apart*/, std::uint64_t leftOut) { leftOut_ = leftOut; }

void JsonLines::write(const Record& record, const DecodedRecord& decoded, const RecordFacts& facts,
                      bool context) {
  writeHeaders(record, decoded);
  writeBody(record, decoded);
  if (facts.role == PairRole::Reply) {
    // The command that the reply answers; null for an unsolicited reply.
    Writer& replyTo = member(out_, RecordKey::ReplyTo);
    if (const PairedCommand* command = facts.answers()) {
      replyTo.decimal(static_cast<std::int64_t>(command->offset));
      writeJsonNumber(member(out_, RecordKey::ResponseMs), facts.responseMs);
    } else {
      replyTo.put("null");
      member(out_, RecordKey::ResponseMs).put("null");
    }
  }
  if (leftOut_ > 0) {
    member(out_, RecordKey::LeftOut).decimal(static_cast<std::int64_t>(leftOut_));
    leftOut_ = 0;
  }
  if (context) member(out_, RecordKey::Context).put("true");
  out_.put("}\n");
}

void JsonLines::pass(const Record& record) { previousStamp_ = record.header.timeStamp; }

void JsonLines::writeHeaders(const Record& record, const DecodedRecord& decoded) {
  Writer& out = out_;
  const TraceRecordHeader& header = record.header;
  out.put('{');
  out.put(memberKey(RecordKey::Offset).first());
  out.decimal(static_cast<std::int64_t>(record.offset));
  member(out, RecordKey::Version).decimal(record.formatVersion);
  member(out, RecordKey::Minor).decimal(header.minorCode);
  writeJsonString(member(out, RecordKey::Type), coded(decoded.type).words);
  member(out, RecordKey::Length).decimal(header.length);
  writeJsonNumber(member(out, RecordKey::Stamp), header.timeStamp);
  // Seconds since the previous data record, hidden ones included.
  writeJsonNumber(member(out, RecordKey::Elapsed), (header.timeStamp - previousStamp_) / 1000);
  previousStamp_ = header.timeStamp;
  if (record.formatVersion >= 2) member(out, RecordKey::Component).decimal(record.ext.component);
  if (record.formatVersion == 3) {
    member(out, RecordKey::Pid).decimal(record.ext.processId);
    member(out, RecordKey::Tid).decimal(record.ext.threadId);
    times_.write(member(out, RecordKey::Time), record.ext.seconds, record.ext.milliseconds);
  }
  writeJsonBool(member(out, RecordKey::Hidden), decoded.hidden);
  const bool failed = decoded.failure != DecodeFailure::None;
  writeJsonBool(member(out, RecordKey::Failed), failed);
  if (failed) writeJsonString(member(out, RecordKey::Reason), coded(decoded.failure).words);
}

void JsonLines::writeBody(const Record& record, const DecodedRecord& decoded) {
  Writer& out = out_;
  const bool failed = decoded.failure != DecodeFailure::None;
  if (decoded.type == RecordType::Text) {
    writeJsonString(member(out, RecordKey::Text), decoded.text.bytes);
  } else if (failed || !isHidTransfer(decoded.type)) {
    // Hex and Unknown records, and records that cannot be decoded: the
    // payload as it is.
    writeJsonHex(member(out, RecordKey::Data), record.payload);
  } else {
    writeTransfer(out, decoded.transfer);
  }
  if (decoded.firmware && !failed) {
    member(out, RecordKey::Notes).put('[');
    JsonNotes notes(out, scratch_);
    writeRecordNotes(notes, decoded);
    out.put(']');
    if (hasDecodedJson(decoded.body))
      writeDecodedJson(member(out, RecordKey::Decoded), decoded.body);
  }
}

void JsonLines::readFailed(const ReadFailure& failure) {
  out_.put('{');
  out_.put(memberKey(DiagnosticKey::Diagnostic).first());
  writeJsonString(out_, kReadErrorDiagnostic);
  member(out_, DiagnosticKey::Offset).decimal(static_cast<std::int64_t>(failure.offset));
  scratch_.clear();
  scratch_.put("Could not read the trace: ");
  scratch_.put(failure.reason);
  writeJsonString(member(out_, DiagnosticKey::Message), scratch_.text());
  out_.put("}\n");
}

void JsonLines::diagnostic(const Diagnostic& diagnostic) {
  out_.put('{');
  out_.put(memberKey(DiagnosticKey::Diagnostic).first());
  writeJsonString(out_, coded(diagnostic.kind).key);
  member(out_, DiagnosticKey::Offset).decimal(static_cast<std::int64_t>(diagnostic.offset));
  member(out_, DiagnosticKey::Minor).decimal(diagnostic.header.minorCode);
  member(out_, DiagnosticKey::Length).decimal(diagnostic.header.length);
  if (diagnostic.kind == DiagnosticKind::ShortPayload)
    member(out_, DiagnosticKey::Actual).decimal(static_cast<std::int64_t>(diagnostic.bytesRead));
  scratch_.clear();
  writeDiagnosticMessage(scratch_, diagnostic);
  writeJsonString(member(out_, DiagnosticKey::Message), scratch_.text());
  out_.put("}\n");
}

}  // namespace ovantrex
