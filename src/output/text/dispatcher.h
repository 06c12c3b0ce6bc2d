// The record dispatcher of the text listing: writes the whole entry of one
// data record, its layout chosen by the record type.
#pragma once

#include <cstdint>

#include "core/trace_record.h"
#include "decode/decoded_record.h"
#include "output/common/writer.h"
#include "output/text/indents.h"

namespace ovantrex {

// What an entry's indents are measured on besides the record's own strings.
struct EntryLayout {
  bool hideType = false;        // -H
  PrefixWidths recordedWidths;  // the recorded widths of the kept prefix
  PrefixWidths keptStrings;     // the lengths of the kept prefix strings
};

// Writes the entry of a record that decoded without failure, ending with
// its final newline.
void renderRecord(Writer& out, const EntryLayout& layout, const Record& record,
                  const DecodedRecord& decoded, const PrefixStrings& prefix);

// "Minor=", the minor code in decimal and in hex, the payload's length and
// the payload as characters between apostrophes, then a newline; the output
// is flushed before and after the characters. The Unknown entry and the
// fallback entry end with it.
void writeRawData(Writer& out, MinorCode minorCode, Bytes payload);

}  // namespace ovantrex
