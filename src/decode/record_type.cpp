#include "decode/record_type.h"

#include "core/value_names.h"

namespace ovantrex {

namespace {

constexpr auto kRecordTypes = makeNameTable<MinorCode>(
    {
        {kMinorText, "Text"},
        {kMinorHex, "Hex"},
        {kMinorHidWrite, "HIDWrite"},
        {kMinorHidRead, "HIDRead"},
        {kMinorHidGetFeat, "HIDGetFeat"},
        {kMinorHidSetFeat, "HIDSetFeat"},
    },
    "Unknown");

}  // namespace

RecordType recordTypeOf(MinorCode minorCode) {
  return kRecordTypes.knows(minorCode) ? static_cast<RecordType>(minorCode) : RecordType::Unknown;
}

std::string_view recordTypeLabel(RecordType type) {
  return kRecordTypes.name(static_cast<MinorCode>(type));
}

}  // namespace ovantrex
