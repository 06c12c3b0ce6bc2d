// The "decoded" member of a firmware-report record in JSON: the decoded
// values, numbers as numbers, every coded field as its raw value and its
// name, flag bytes as the value and the names of the bits set.
#pragma once

#include "decode/decoded_record.h"
#include "render/writer.h"

namespace ovantrex {

// Writes the object; the record must carry a firmware value.
void writeDecodedJson(Writer& out, const FirmwareBody& body);
// True when the body holds a value that writeDecodedJson can write.
bool hasDecodedJson(const FirmwareBody& body);

}  // namespace ovantrex
