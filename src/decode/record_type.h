// The record type of a data record, chosen by its minor code, and its label.
#pragma once

#include <string_view>

#include "core/protocol.h"

namespace ovantrex {

// Each known type has its minor code as its value.
enum class RecordType : MinorCode {
  Unknown = 0,
  Text = kMinorText,
  Hex = kMinorHex,
  HidWrite = kMinorHidWrite,
  HidRead = kMinorHidRead,
  HidGetFeat = kMinorHidGetFeat,
  HidSetFeat = kMinorHidSetFeat,
};

RecordType recordTypeOf(MinorCode minorCode);

// "Text", "Hex", "HIDWrite", "HIDRead", "HIDGetFeat", "HIDSetFeat", "Unknown".
std::string_view recordTypeLabel(RecordType type);

inline bool isHidTransfer(RecordType type) {
  return type == RecordType::HidWrite || type == RecordType::HidRead ||
         type == RecordType::HidGetFeat || type == RecordType::HidSetFeat;
}

}  // namespace ovantrex
