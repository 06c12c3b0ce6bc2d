#include "render/control_escaper.h"

#include "render/writer.h"

namespace ovantrex {

namespace {

// Printable ASCII, tab and line feed.
bool passesAsIs(std::uint8_t byte) {
  return (byte >= 0x20 && byte <= 0x7e) || byte == '\t' || byte == '\n';
}

char* escape(std::uint8_t byte, char* out) {
  out[0] = '\\';
  out[1] = 'x';
  out[2] = kHexPairs.text[2 * byte];
  out[3] = kHexPairs.text[2 * byte + 1];
  return out + 4;
}

}  // namespace

char* ControlEscaper::escapeHeld(char* out) {
  for (std::uint8_t i = 0; i < held_; ++i) out = escape(sequence_[i], out);
  held_ = 0;
  needed_ = 0;
  return out;
}

char* ControlEscaper::continueSequence(std::uint8_t byte, char* out) {
  sequence_[held_++] = byte;
  low_ = 0x80;
  high_ = 0xbf;
  if (--needed_ > 0) return out;
  // The sequence is complete: two bytes from c2 80 to c2 9f encode a C1
  // control, anything else is a character to show.
  if (sequence_[0] == 0xc2 && sequence_[1] <= 0x9f) return escapeHeld(out);
  for (std::uint8_t i = 0; i < held_; ++i) *out++ = static_cast<char>(sequence_[i]);
  held_ = 0;
  return out;
}

char* ControlEscaper::step(std::uint8_t byte, char* out) {
  if (needed_ > 0) {
    if (byte >= low_ && byte <= high_) return continueSequence(byte, out);
    // The sequence breaks off here; this byte may start something new.
    out = escapeHeld(out);
  }
  if (passesAsIs(byte)) {
    *out++ = static_cast<char>(byte);
    return out;
  }
  // Lead bytes of well-formed sequences, with the range that the second
  // byte must fall in to rule out overlong forms, surrogates and values
  // above U+10FFFF.
  if (byte >= 0xc2 && byte <= 0xf4) {
    sequence_[0] = byte;
    held_ = 1;
    needed_ = byte < 0xe0 ? 1 : byte < 0xf0 ? 2 : 3;
    low_ = byte == 0xe0 ? 0xa0 : byte == 0xf0 ? 0x90 : 0x80;
    high_ = byte == 0xed ? 0x9f : byte == 0xf4 ? 0x8f : 0xbf;
    return out;
  }
  return escape(byte, out);
}

char* ControlEscaper::finish(char* out) { return escapeHeld(out); }

}  // namespace ovantrex
