#include "render/status_reply.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ovantrex {

namespace {

constexpr std::size_t kTransferHeaderBytes = 8;
// Transfer data bytes 0 to 5 are the status byte and its two readings (EC
// levels or a flash read); the flash contents follow from payload byte 14.
constexpr std::size_t kReplyFields = 6;
constexpr std::size_t kFlashContentsStart = kTransferHeaderBytes + kReplyFields;

constexpr std::uint8_t kEcInformation = 0x04;

// The notes of the status bits, in the order in which they are reported.
// Bits 3 and 4 have no note. The EC note carries the levels after its words.
struct StatusNote {
  std::uint8_t mask;
  std::string_view words;
};
constexpr std::array<StatusNote, 6> kStatusNotes{{
    {0x01, "Command complete"},
    {0x02, "Flash load in progress"},
    {kEcInformation, "EC information available"},
    {0x20, "Serial Number can only be written once for this device"},
    {0x40, "Operation in Error"},
    {0x80, "Command reject"},
}};

}  // namespace

void decodeStatusReply(const EntryOut& entry, Bytes payload) {
  // A short reply reads as zeros where its bytes are missing.
  std::array<std::uint8_t, kReplyFields> reply{};
  for (std::size_t k = 0; k < kReplyFields; ++k) {
    if (kTransferHeaderBytes + k < payload.size()) reply[k] = payload[kTransferHeaderBytes + k];
  }
  const std::uint8_t status = reply[0];

  for (const StatusNote& bit : kStatusNotes) {
    if ((status & bit.mask) == 0) continue;
    Writer& out = entry.startNote();
    out.put(bit.words);
    if (bit.mask == kEcInformation) {
      // Levels and addresses are dotted hex, as in the entry's dump.
      out.put(" (current=");
      dumpHex(out, Bytes(reply).subspan(1, 2));
      out.put(", previous=");
      dumpHex(out, Bytes(reply).subspan(3, 2));
      out.put(')');
    }
  }

  // With EC levels the reply carries no flash read; a length of 0 means none.
  if ((status & kEcInformation) != 0 || reply[2] == 0) return;

  Writer& out = entry.startNote();
  out.put("Flash Read (length=");
  out.decimal(reply[2]);
  out.put(", address=");
  dumpHex(out, Bytes(reply).subspan(3, 3));
  out.put(")\n");
  out.blanks(entry.indent.dump);
  // The length byte is only shown: every byte after the fields is dumped.
  if (payload.size() > kFlashContentsStart) dumpChars(out, payload.subspan(kFlashContentsStart));
}

}  // namespace ovantrex
