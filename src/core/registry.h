// The registry as a whole: every table of coded values (by its key) and
// every record field (record_fields.h), for the questions that name them
// (a selection of records, a comparison of traces) and for the tests that
// check each table against the others and against the schema.
#pragma once

#include <array>
#include <string_view>

#include "core/coded_value.h"
#include "core/device_codes.h"
#include "core/firmware_codes.h"
#include "core/record_codes.h"
#include "core/record_fields.h"
#include "core/session_codes.h"

namespace ovantrex {

inline constexpr auto kCodedTables =
    std::to_array({&kRecordTypeTable, &kDiagnosticTable, &kDecodeFailureTable, &kCommandKindTable,
                   &kCommandClassTable, &kSystemCommandTable, &kStatusBitTable, &kDecodedKindTable,
                   &kDeviceClassTable, &kReportKindTable, &kInventoryItemTable, &kUsageCounterTable,
                   &kInformationRecordTable, &kComponentRecordTable, &kFateTable,
                   &kRefusedKindTable, &kRetryTable, &kOutcomeTable});

// The table of a key ("status_bit"), or none.
constexpr const CodedTable* findCodedTable(std::string_view key) {
  for (const CodedTable* table : kCodedTables) {
    if (table->key == key) return table;
  }
  return nullptr;
}

}  // namespace ovantrex
