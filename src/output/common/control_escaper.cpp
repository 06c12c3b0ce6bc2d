#include "output/common/control_escaper.h"

#include "output/common/writer.h"

namespace ovantrex {

namespace {

// Printable ASCII, tab and line feed.
bool passesAsIs(std::uint8_t byte) {
  return (byte >= 0x20 && byte <= 0x7e) || byte == '\t' || byte == '\n';
}

// A complete UTF-8 sequence that is shown escaped: a C1 control (c2 80 to
// c2 9f), or a character that reorders or breaks the text around it
// without being seen: the marks U+061C, U+200E and U+200F, the line and
// paragraph separators U+2028 and U+2029, the embeddings and overrides
// U+202A to U+202E and the isolates U+2066 to U+2069.
bool isHiddenControl(const std::uint8_t* sequence, std::uint8_t length) {
  if (length == 2) {
    return (sequence[0] == 0xc2 && sequence[1] <= 0x9f) ||
           (sequence[0] == 0xd8 && sequence[1] == 0x9c);
  }
  if (length != 3 || sequence[0] != 0xe2) return false;
  const std::uint8_t last = sequence[2];
  if (sequence[1] == 0x80) return last == 0x8e || last == 0x8f || (last >= 0xa8 && last <= 0xae);
  return sequence[1] == 0x81 && last >= 0xa6 && last <= 0xa9;
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
  // The sequence is complete: a character to show, unless it is a control.
  if (isHiddenControl(sequence_, held_)) return escapeHeld(out);
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

void writeOnOneLine(Writer& out, std::string_view text) {
  ControlEscaper escaper;
  // A line end or a tab settles what is held, then takes an escape of its own.
  constexpr std::size_t kMost = ControlEscaper::kMostPerStep + 4;
  for (const char c : text) {
    const auto byte = static_cast<std::uint8_t>(c);
    char* p = out.reserve(kMost);
    p = byte == '\n' || byte == '\t' ? escape(byte, escaper.finish(p)) : escaper.step(byte, p);
    out.commit(p);
  }
  out.commit(escaper.finish(out.reserve(kMost)));
}

}  // namespace ovantrex
