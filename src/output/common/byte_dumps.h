// The four byte dumps: dotted hex and characters, each plain or wrapping.
// A dump writes nothing before its first byte and nothing after its last,
// except the character dump's break after every 80th character.
#pragma once

#include <cstddef>

#include "core/bytes.h"
#include "output/common/writer.h"

namespace ovantrex {

// Two hex digits per byte joined by "."; after every 25th byte (but the last)
// the "." is followed by a line break.
void dumpHex(Writer& out, Bytes bytes);
// As dumpHex; each continuation line starts with wrapIndent blanks.
void dumpHexWrapped(Writer& out, Bytes bytes, std::size_t wrapIndent);
// One character per byte, "." for anything outside 0x20..0x7e; a line break
// after every 80th character, the last one included.
void dumpChars(Writer& out, Bytes bytes);
// As dumpChars; each break is followed by wrapIndent blanks and " |".
void dumpCharsWrapped(Writer& out, Bytes bytes, std::size_t wrapIndent);

}  // namespace ovantrex
