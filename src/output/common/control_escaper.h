// Makes text safe to show on a terminal. Traces come from customers'
// machines and devices, and their Text records and serial numbers are
// listed as raw bytes: on a terminal such bytes could set the window title,
// clear the screen, write the clipboard or move the cursor.
//
// Every byte that a terminal could take as a control is written as "\x"
// and two lowercase hex digits ("\x1b" for ESC): the C0 controls other than
// tab and line feed, DEL, the C1 controls (raw bytes 0x80 to 0x9f, and the
// UTF-8 encodings of U+0080 to U+009F, both bytes of them), every byte of
// the UTF-8 encodings of the characters that reorder text or break its
// lines unseen (the bidirectional marks U+061C, U+200E and U+200F, the
// embeddings and overrides U+202A to U+202E, the isolates U+2066 to U+2069,
// and the line and paragraph separators U+2028 and U+2029: U+202E is shown
// as "\xe2\x80\xae"), and every byte that is not part of well-formed UTF-8
// (overlong forms, surrogates, values above U+10FFFF, stray continuation
// bytes, sequences cut short). Printable ASCII and well-formed UTF-8 of any
// other character pass unchanged.
//
// The escaper works one byte at a time and holds back the first bytes of a
// UTF-8 sequence until the byte that completes or breaks it arrives, so a
// character split between two blocks of output passes whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ovantrex {

class Writer;

class ControlEscaper {
 public:
  // The most that one step() or finish() writes: three held bytes and the
  // new one, each escaped.
  static constexpr std::size_t kMostPerStep = 16;

  // Takes one byte; writes whatever it settles at out (which has room for
  // kMostPerStep characters) and returns the end of what was written.
  char* step(std::uint8_t byte, char* out);
  // Settles a sequence that was cut short: its bytes are escaped.
  char* finish(char* out);
  bool holding() const { return held_ > 0; }

 private:
  // Takes a byte that a held sequence expects next.
  char* continueSequence(std::uint8_t byte, char* out);
  char* escapeHeld(char* out);

  std::uint8_t sequence_[4] = {};
  std::uint8_t held_ = 0;    // bytes of the sequence in sequence_
  std::uint8_t needed_ = 0;  // continuation bytes still to come
  std::uint8_t low_ = 0x80;  // the range of the next continuation byte
  std::uint8_t high_ = 0xbf;
};

// Writes text as one value on one line, whatever the output: every byte
// that the escaper escapes is escaped, and so are line feed and tab, so
// that a name that holds a line end cannot start a line of its own.
void writeOnOneLine(Writer& out, std::string_view text);

}  // namespace ovantrex
