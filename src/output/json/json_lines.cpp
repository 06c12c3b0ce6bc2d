#include "output/json/json_lines.h"

#include "output/common/diagnostic_message.h"
#include "output/common/json_values.h"
#include "output/common/notes.h"
#include "output/json/json_decoded.h"

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
  out.put(",\"header\":");
  writeJsonHex(out, transfer.header.bytes);
  out.put(",\"report\":");
  out.decimal(transfer.reportId());
  out.put(",\"data\":");
  writeJsonHex(out, transfer.data.bytes);
}

}  // namespace

JsonLines::JsonLines(Writer& out, Writer& errors, const ListingOptions& options)
    : out_(out), errors_(errors), options_(options) {}

void JsonLines::record(const Record& record, const DecodedRecord& decoded,
                       const RecordFacts& facts) {
  writeHeaders(record, decoded);
  writeBody(record, decoded);
  if (facts.role == PairRole::Reply) {
    // The command that the reply answers; null for an unsolicited reply.
    out_.put(",\"reply_to\":");
    if (const PairedCommand* command = facts.answers()) {
      out_.decimal(static_cast<std::int64_t>(command->offset));
      out_.put(",\"response_ms\":");
      writeJsonNumber(out_, facts.responseMs);
    } else {
      out_.put("null,\"response_ms\":null");
    }
  }
  out_.put("}\n");
}

void JsonLines::writeHeaders(const Record& record, const DecodedRecord& decoded) {
  Writer& out = out_;
  const TraceRecordHeader& header = record.header;
  out.put("{\"offset\":");
  out.decimal(static_cast<std::int64_t>(record.offset));
  out.put(",\"version\":");
  out.decimal(record.formatVersion);
  out.put(",\"minor\":");
  out.decimal(header.minorCode);
  out.put(",\"type\":\"");
  out.put(coded(decoded.type).words);
  out.put("\",\"length\":");
  out.decimal(header.length);
  out.put(",\"stamp\":");
  writeJsonNumber(out, header.timeStamp);
  // Seconds since the previous data record, hidden ones included.
  out.put(",\"elapsed\":");
  writeJsonNumber(out, (header.timeStamp - previousStamp_) / 1000);
  previousStamp_ = header.timeStamp;
  if (record.formatVersion >= 2) {
    out.put(",\"component\":");
    out.decimal(record.ext.component);
  }
  if (record.formatVersion == 3) {
    out.put(",\"pid\":");
    out.decimal(record.ext.processId);
    out.put(",\"tid\":");
    out.decimal(record.ext.threadId);
    out.put(",\"time\":");
    times_.write(out, record.ext.seconds, record.ext.milliseconds);
  }
  out.put(",\"hidden\":");
  writeJsonBool(out, decoded.hidden);
  const bool failed = decoded.failure != DecodeFailure::None;
  out.put(",\"failed\":");
  writeJsonBool(out, failed);
  if (failed) {
    out.put(",\"reason\":");
    writeJsonString(out, coded(decoded.failure).words);
  }
}

void JsonLines::writeBody(const Record& record, const DecodedRecord& decoded) {
  Writer& out = out_;
  const bool failed = decoded.failure != DecodeFailure::None;
  if (decoded.type == RecordType::Text) {
    out.put(",\"text\":");
    writeJsonString(out, decoded.text.bytes);
  } else if (failed || !isHidTransfer(decoded.type)) {
    // Hex and Unknown records, and records that cannot be decoded: the
    // payload as it is.
    out.put(",\"data\":");
    writeJsonHex(out, record.payload);
  } else {
    writeTransfer(out, decoded.transfer);
  }
  if (decoded.firmware && !failed) {
    out.put(",\"notes\":[");
    JsonNotes notes(out, scratch_);
    writeRecordNotes(notes, decoded);
    out.put(']');
    if (hasDecodedJson(decoded.body)) {
      out.put(",\"decoded\":");
      writeDecodedJson(out, decoded.body);
    }
  }
}

void JsonLines::readFailed(const ReadFailure& failure) {
  {
    JsonObject object(out_);
    object.string("diagnostic", kReadErrorDiagnostic);
    object.number("offset", static_cast<std::int64_t>(failure.offset));
    scratch_.clear();
    scratch_.put("Could not read the trace: ");
    scratch_.put(failure.reason);
    object.string("message", scratch_.text());
  }
  out_.put('\n');
}

void JsonLines::diagnostic(const Diagnostic& diagnostic) {
  {
    JsonObject object(out_);
    object.string("diagnostic", coded(diagnostic.kind).key);
    object.number("offset", static_cast<std::int64_t>(diagnostic.offset));
    object.number("minor", diagnostic.header.minorCode);
    object.number("length", diagnostic.header.length);
    if (diagnostic.kind == DiagnosticKind::ShortPayload)
      object.number("actual", static_cast<std::int64_t>(diagnostic.bytesRead));
    scratch_.clear();
    writeDiagnosticMessage(scratch_, diagnostic);
    object.string("message", scratch_.text());
  }
  out_.put('\n');
  // Standard error keeps what the listing writes there; the invalid minor
  // code is reported in the JSON stream alone.
  reportOnStandardError(errors_, options_, diagnostic);
}

}  // namespace ovantrex
