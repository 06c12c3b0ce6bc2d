// The coded values of the trace's records, one row each (see
// coded_value.h): the record types, what the record loop skips, and why a
// record cannot be decoded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/coded_value.h"
#include "core/protocol.h"

namespace ovantrex {

// ---- Record types: a data record's minor code ----

// ROW(Name, minor code, words, key), in the order in which the outputs
// list them; a minor code that no other row lists is Unknown.
#define OVANTREX_RECORD_TYPES(ROW)                 \
  ROW(Text, 42, "Text", "Text")                    \
  ROW(Hex, 404, "Hex", "Hex")                      \
  ROW(HidWrite, 405, "HIDWrite", "HIDWrite")       \
  ROW(HidRead, 406, "HIDRead", "HIDRead")          \
  ROW(HidGetFeat, 407, "HIDGetFeat", "HIDGetFeat") \
  ROW(HidSetFeat, 408, "HIDSetFeat", "HIDSetFeat") \
  ROW(Unknown, 0, "Unknown", "Unknown")

enum class RecordType : MinorCode { OVANTREX_RECORD_TYPES(OVANTREX_CODED_ENUMERATOR) };

inline constexpr auto kRecordTypeRows = std::to_array({OVANTREX_RECORD_TYPES(OVANTREX_CODED_ROW)});
inline constexpr std::size_t kRecordTypes = kRecordTypeRows.size();
inline constexpr CodedTable kRecordTypeTable{"record_type", kRecordTypeRows,
                                             kRecordTypeRows.back()};

// The type's row in the order of the outputs.
constexpr std::size_t indexOf(RecordType type) {
  std::size_t i = 0;
  while (i + 1 < kRecordTypes && kRecordTypeRows[i].value != code(type)) ++i;
  return i;
}
constexpr const CodedValue& coded(RecordType type) { return kRecordTypeRows[indexOf(type)]; }

// ---- What the record loop skips, and why ----

// Whether standard error carries a diagnostic's message.
enum class ToStandardError : std::uint8_t { Never, WithOverlongReports, Always };

// ROW(Name, words, key, standard error, cuts): the words in the summary,
// the key in JSON, whether standard error carries the message (the listing
// writes the invalid minor code on standard output; an over-long length
// only with -x), and whether the trace ends inside the record.
#define OVANTREX_DIAGNOSTICS(ROW)                                                \
  /* minor code 0 or above 501: the 16 header bytes are skipped */               \
  ROW(InvalidMinor, "invalid minor code", "invalid_minor", Never, false)         \
  /* length above the limit: the 16 header bytes are skipped */                  \
  ROW(Overlong, "over-long length", "overlong", WithOverlongReports, false)      \
  /* the trace ends inside the second header */                                  \
  ROW(ShortExtHeader, "short extended header", "short_ext_header", Always, true) \
  /* the trace ends inside the payload */                                        \
  ROW(ShortPayload, "short payload", "short_payload", Always, true)

enum class DiagnosticKind : std::uint8_t { OVANTREX_DIAGNOSTICS(OVANTREX_ENUMERATOR) };

inline constexpr auto kDiagnosticRows = numbered(std::array{OVANTREX_DIAGNOSTICS(OVANTREX_ROW)});
inline constexpr std::size_t kDiagnosticKinds = kDiagnosticRows.size();
inline constexpr CodedTable kDiagnosticTable{"diagnostic", kDiagnosticRows, {}};
constexpr const CodedValue& coded(DiagnosticKind kind) { return kDiagnosticRows[code(kind)]; }

struct DiagnosticRule {
  ToStandardError toStandardError;
  bool cutsTheTrace;
};
#define OVANTREX_DIAGNOSTIC_RULE(name, words, key, toStandardError, cuts) \
  DiagnosticRule{ToStandardError::toStandardError, cuts},
inline constexpr auto kDiagnosticRules =
    std::to_array({OVANTREX_DIAGNOSTICS(OVANTREX_DIAGNOSTIC_RULE)});
#undef OVANTREX_DIAGNOSTIC_RULE
constexpr const DiagnosticRule& ruleOf(DiagnosticKind kind) { return kDiagnosticRules[code(kind)]; }

// The key of the diagnostic that ends JSON Lines when a read of the trace fails.
inline constexpr std::string_view kReadErrorDiagnostic = "read_error";

// ---- Why a record cannot be decoded: the listing then shows it raw ----

// ROW(Name, words, key).
#define OVANTREX_DECODE_FAILURES(ROW)                                                   \
  ROW(None, "decoded", "none")                                                          \
  /* a HID transfer shorter than its 8-byte header */                                   \
  ROW(ShortTransferHeader, "transfer shorter than its header", "short_transfer_header") \
  /* a component report that ends before its count byte */                              \
  ROW(ShortComponentReport, "component report shorter than its counts", "short_component_report")

enum class DecodeFailure : std::uint8_t { OVANTREX_DECODE_FAILURES(OVANTREX_ENUMERATOR) };

inline constexpr auto kDecodeFailureRows =
    numbered(std::array{OVANTREX_DECODE_FAILURES(OVANTREX_ROW)});
inline constexpr CodedTable kDecodeFailureTable{"decode_failure", kDecodeFailureRows, {}};
constexpr const CodedValue& coded(DecodeFailure failure) {
  return kDecodeFailureRows[code(failure)];
}

}  // namespace ovantrex
