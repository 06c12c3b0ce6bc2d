// The record type of a data record, chosen by its minor code (its row in
// core/record_codes.h gives its label).
#pragma once

#include "core/protocol.h"
#include "core/record_codes.h"

namespace ovantrex {

inline RecordType recordTypeOf(MinorCode minorCode) {
  return kRecordTypeTable.knows(minorCode) ? static_cast<RecordType>(minorCode)
                                           : RecordType::Unknown;
}

inline bool isHidTransfer(RecordType type) {
  return type == RecordType::HidWrite || type == RecordType::HidRead ||
         type == RecordType::HidGetFeat || type == RecordType::HidSetFeat;
}

}  // namespace ovantrex
