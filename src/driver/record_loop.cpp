#include "driver/record_loop.h"

#include <array>
#include <new>

#include "render/dispatcher.h"
#include "render/record_failure.h"

namespace ovantrex {

namespace {

constexpr int kShortReadsBeforeEnd = 5;
constexpr std::uint8_t kComponentShownAsZero = 0x65;

void message(Writer& errors, std::string_view text) {
  errors.put(text);
  errors.flush();
}

// "Comp=%d, Minor=%d(%x), Length=%d, data='", the raw payload, "'\n".
void writeFallbackEntry(Writer& out, std::uint8_t component, std::uint32_t minorCode,
                        Bytes payload) {
  out.put("Comp=");
  out.decimal(component);
  out.put(", Minor=");
  out.decimal(minorCode);
  out.put('(');
  out.hex(minorCode);
  out.put("), Length=");
  out.decimal(static_cast<std::int64_t>(payload.size()));
  out.put(", data='");
  out.flush();
  dumpChars(out, payload);
  out.put("'\n");
  out.flush();
}

// Builds the prefix, applies the component test and renders the record;
// a record that cannot be rendered gets the fallback entry.
void showRecord(const LoopStreams& streams, const Settings& settings, LoopState& state,
                const TraceRecordHeader& header, TraceExtHeader& ext, Bytes payload) {
  try {
    const PrefixStrings prefix =
        buildLinePrefix(state.prefix, settings, header, ext, state.formatVersion);
    if (state.formatVersion == 3) {
      if (ext.component == kComponentShownAsZero) ext.component = 0;
      if (ext.component != 0) return;
    }
    const LinePrefix& kept = state.prefix.kept;
    const EntryLayout layout{settings.hideType, kept.widths, widthsOf(kept.strings())};
    renderRecord(streams.listing, layout, static_cast<std::int32_t>(header.minorCode), payload,
                 prefix);
  } catch (const RecordFailure&) {
    writeFallbackEntry(streams.listing, ext.component, header.minorCode, payload);
  } catch (const std::bad_alloc&) {
    writeFallbackEntry(streams.listing, ext.component, header.minorCode, payload);
  }
}

}  // namespace

// Cognitive complexity 29, above the limit of 25 (.clang-tidy): the checks
// of a header are to move into a function of their own.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
void runRecordLoop(TraceReader& input, const LoopStreams& streams, const Settings& settings) {
  LoopState state;
  std::array<std::uint8_t, kHeaderSize> bytes{};
  for (;;) {
    if (input.read(bytes) < kHeaderSize) {
      // The bytes of a short read are dropped; the sixth one ends the loop.
      if (state.shortReads >= kShortReadsBeforeEnd) return;
      ++state.shortReads;
      continue;
    }
    const TraceRecordHeader header = parseRecordHeader(bytes);
    const auto length = static_cast<std::uint32_t>(header.length);
    if (length > kMaxRecordLength) {
      if (settings.reportOverlong) {
        streams.errors.put("Length to read is too big (length=");
        streams.errors.decimal(header.length);
        streams.errors.put("/0x");
        streams.errors.hex(length);
        message(streams.errors, "), skipping\n");
      }
      continue;
    }
    if (header.minorCode == kMinorFormat2 || header.minorCode == kMinorFormat3) {
      state.formatVersion = header.minorCode == kMinorFormat2 ? 2 : 3;
      input.skip(length);
      continue;
    }
    if (header.minorCode == 0 || header.minorCode > kMinorFormat3) {
      Writer& console = streams.console;
      console.put("Minor code ");
      console.hex(header.minorCode);
      console.put('(');
      console.decimal(static_cast<std::int32_t>(header.minorCode));
      console.put(") not valid, skipping\n");
      console.flush();
      continue;
    }

    TraceExtHeader ext;
    if (state.formatVersion != 1) {
      const std::size_t got = input.read(bytes);
      if (got < kHeaderSize) {
        message(streams.errors, "could not read version 2+ data\n");
        continue;
      }
      ext = parseExtHeader(bytes);
    }

    Bytes payload;
    try {
      payload = input.take(length);
    } catch (const std::bad_alloc&) {
      streams.errors.put("Could not allocate ");
      streams.errors.decimal(header.length);
      message(streams.errors, " bytes for dataLine\n");
      continue;
    }
    if (payload.size() < length) {
      streams.errors.put("Could not read data bytes expected=");
      streams.errors.decimal(header.length);
      streams.errors.put(" actual=");
      streams.errors.decimal(static_cast<std::int64_t>(payload.size()));
      message(streams.errors, "\n");
      continue;
    }
    showRecord(streams, settings, state, header, ext, payload);
  }
}

}  // namespace ovantrex
