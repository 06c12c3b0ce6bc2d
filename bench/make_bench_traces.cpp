// Writes the benchmark traces (format version 3):
//
//   make_bench_traces hex OUT [MEGABYTES]       Hex records of 4096 random bytes
//   make_bench_traces firmware OUT [RECORDS]    a firmware update session
//   make_bench_traces firmware-error OUT [RECORDS]  the same, one reply in the middle an error
//   make_bench_traces disjoint OUT [RECORDS]    one update of one-byte writes that never merge
//   make_bench_traces hostile OUT [UPDATES]     updates whose lists would multiply
//
// The Hex trace holds about MEGABYTES (default 100) of records. The firmware
// session trace holds RECORDS records (default 1000000) in the mix of a real
// update: 60% flash writes (HIDWrite of the firmware report, 8-byte transfer
// header and 64 bytes of transfer data), 30% status replies (HIDRead of the
// firmware report, 64 bytes) and 10% text messages of about 60 characters.
// The records are written in batches, so the generator's memory stays small
// whatever the size of the trace. The same arguments give the same bytes.
// Prints "records=N bytes=M" (data records, file size) for the script.
#define OVANTREX_TRACE_BUILDER_NO_RUN
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <string_view>

#include "trace_builder.h"

namespace {

using ovantrex::test::ExtHeader;
using ovantrex::test::HidHeader;
using ovantrex::test::kMarkerV3;
using ovantrex::test::Payload;
using ovantrex::test::TraceBuilder;

constexpr std::size_t kBatchBytes = std::size_t{4} << 20;
constexpr std::uint8_t kFirmwareReport = 0xa0;
constexpr std::int32_t kSessionStart = 1700000000;  // seconds since 1970

// Writes the batches of one trace and keeps the clock of the session: every
// record is a little later than the one before.
class Session {
 public:
  explicit Session(const std::string& path) : file_(path, std::ios::binary | std::ios::trunc) {
    if (!file_) throw std::runtime_error("cannot write " + path);
    batch_.marker(kMarkerV3);
  }

  TraceBuilder& batch() { return batch_; }

  // The time stamp of the next record, in milliseconds, and its headers.
  double next(std::uint32_t stepMicros) {
    micros_ += stepMicros;
    return static_cast<double>(micros_) / 1000.0;
  }
  ExtHeader ext() const {
    const std::uint64_t millis = micros_ / 1000;
    ExtHeader ext;
    ext.thread = 0x1a2c;
    ext.process = 0x0f30;
    ext.seconds = kSessionStart + static_cast<std::int32_t>(millis / 1000);
    ext.millis = static_cast<std::uint16_t>(millis % 1000);
    return ext;
  }

  // Hands a full batch to the file and starts the next one.
  void spill(bool force = false) {
    if (!force && batch_.size() < kBatchBytes) return;
    file_.write(batch_.str().data(), static_cast<std::streamsize>(batch_.size()));
    written_ += batch_.size();
    batch_ = TraceBuilder();
    batch_.assumeVersion(3);
  }
  std::uint64_t size() const { return written_ + batch_.size(); }
  std::uint64_t records() const { return records_; }
  void counted() { ++records_; }

  void finish() {
    spill(true);
    file_.close();
    if (!file_) throw std::runtime_error("write failed");
    std::cout << "records=" << records_ << " bytes=" << written_ << '\n';
  }

 private:
  std::ofstream file_;
  TraceBuilder batch_;
  std::uint64_t micros_ = 0;
  std::uint64_t written_ = 0;
  std::uint64_t records_ = 0;
};

void writeHexTrace(const std::string& path, std::uint64_t megabytes) {
  Session session(path);
  std::mt19937_64 random(404);
  std::vector<std::uint8_t> bytes(4096);
  const std::uint64_t target = megabytes * 1000 * 1000;
  while (session.size() < target) {
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
      std::uint64_t word = random();
      for (std::size_t k = 0; k < 8; ++k, word >>= 8)
        bytes[i + k] = static_cast<std::uint8_t>(word);
    }
    const double stamp = session.next(2750);
    session.batch().hex(stamp, Payload(bytes), session.ext());
    session.counted();
    session.spill();
  }
  session.finish();
}

// A flash write of 56 data bytes to the next address: length (little-endian,
// the six bytes from the command class on plus the data), class 0x02,
// sub-command, data count, address (three bytes, most significant first),
// then the data.
Payload flashWrite(std::uint32_t address, std::mt19937_64& random) {
  constexpr std::uint8_t kCount = 56;
  std::vector<std::uint8_t> data(64);
  data[0] = kCount + 6;
  data[1] = 0;
  data[2] = 0x02;
  data[3] = 0x00;
  data[4] = kCount;
  data[5] = static_cast<std::uint8_t>(address >> 16);
  data[6] = static_cast<std::uint8_t>(address >> 8);
  data[7] = static_cast<std::uint8_t>(address);
  for (std::size_t i = 8; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(random());
  return Payload(std::move(data));
}

// "Command complete" with no flash read; the rest of the report is padding.
Payload statusReply(std::uint64_t n) {
  std::vector<std::uint8_t> data(64, 0);
  data[0] = 0x01;
  data[1] = static_cast<std::uint8_t>(n);
  return Payload(std::move(data));
}

std::string message(std::uint64_t n, std::uint32_t address) {
  char text[128];
  std::snprintf(text, sizeof text, "Flash block %06llu written at 0x%06x, verify pending (ok)\n",
                static_cast<unsigned long long>(n), address);
  return text;
}

// errorInTheMiddle: the first reply past the middle of the trace is an
// error reply ("Operation in Error"); every other byte is the same.
void writeFirmwareTrace(const std::string& path, std::uint64_t records,
                        bool errorInTheMiddle = false) {
  Session session(path);
  bool errorWritten = !errorInTheMiddle;
  std::mt19937_64 random(405);
  const HidHeader writeHeader{0x00, 0x00, kFirmwareReport, 0x00, 0x40, 0x00, 0x00, 0x00};
  const HidHeader readHeader{0x00, 0x00, kFirmwareReport, 0x00, 0x40, 0x00, 0x00, 0x00};
  std::uint32_t address = 0x018000;
  for (std::uint64_t n = 0; n < records; ++n) {
    // Ten records in a row: six writes, three replies, one message, mixed.
    const std::uint64_t slot = n % 10;
    const double stamp = session.next(static_cast<std::uint32_t>(800 + random() % 900));
    if (n == 0) {
      // The session is one flash update.
      session.batch().hidWrite(stamp, writeHeader, Payload({0x02, 0x00, 0x01, 0x00}),
                               session.ext());
    } else if (slot == 1 || slot == 4 || slot == 8) {
      Payload reply = statusReply(n);
      if (!errorWritten && n >= records / 2) {
        std::vector<std::uint8_t> bytes = reply.bytes();
        bytes[0] = 0x40;
        reply = Payload(std::move(bytes));
        errorWritten = true;
      }
      session.batch().hidRead(stamp, readHeader, reply, session.ext());
    } else if (slot == 6) {
      session.batch().text(stamp, message(n, address), session.ext());
    } else {
      session.batch().hidWrite(stamp, writeHeader, flashWrite(address, random), session.ext());
      address = (address + 56) & 0xffffff;
    }
    session.counted();
    session.spill();
  }
  session.finish();
}

// The transfer data of a flash write of one byte (0x5a) to address.
Payload oneByteWrite(std::uint32_t address) {
  return Payload({0x07, 0x00, 0x02, 0x00, 0x01, static_cast<std::uint8_t>(address >> 16),
                  static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
                  0x5a});
}

// A hostile trace for the session summary: one update of one-byte flash
// writes, each to an address of its own with a gap before the next, so that
// no two ranges merge.
void writeDisjointTrace(const std::string& path, std::uint64_t records) {
  Session session(path);
  const HidHeader writeHeader{0x00, 0x00, kFirmwareReport, 0x00, 0x40, 0x00, 0x00, 0x00};
  session.batch().hidWrite(session.next(1000), writeHeader, Payload({0x02, 0x00, 0x01, 0x00}),
                           session.ext());
  session.counted();
  for (std::uint64_t n = 1; n < records; ++n) {
    const auto address = static_cast<std::uint32_t>((n * 2) & 0xffffff);
    session.batch().hidWrite(session.next(1000), writeHeader, oneByteWrite(address), session.ext());
    session.counted();
    session.spill();
  }
  session.finish();
}

// A hostile trace for the summary's and the report's one memory budget:
// UPDATES updates (default 1000), each of 1,001 one-byte flash writes two
// addresses apart (1,001 ranges) and 100 serial numbers of 255 characters,
// no two alike within the update.
void writeHostileTrace(const std::string& path, std::uint64_t updates) {
  Session session(path);
  const HidHeader writeHeader{0x00, 0x00, kFirmwareReport, 0x00, 0x40, 0x00, 0x00, 0x00};
  // The length field (two bytes), class 0x10, the character count, then
  // each character in two bytes.
  std::vector<std::uint8_t> serial{0x04, 0x02, 0x10, 0x00, 0xff, 0x00, 0x00, 0x00};
  serial.resize(8 + 2 * 255, 0x00);
  for (std::size_t i = 0; i < 255; ++i) serial[8 + 2 * i] = 'S';
  for (std::uint64_t u = 0; u < updates; ++u) {
    session.batch().hidWrite(session.next(1000), writeHeader, Payload({0x02, 0x00, 0x01, 0x00}),
                             session.ext());
    session.counted();
    for (std::uint32_t i = 0; i < 1001; ++i) {
      session.batch().hidWrite(session.next(1000), writeHeader, oneByteWrite(2 * i), session.ext());
      session.counted();
    }
    for (int n = 0; n < 100; ++n) {
      // "100SSS...", "101SSS...", ...
      const std::string digits = std::to_string(100 + n);
      for (std::size_t i = 0; i < digits.size(); ++i)
        serial[8 + 2 * i] = static_cast<std::uint8_t>(digits[i]);
      session.batch().hidWrite(session.next(1000), writeHeader, Payload(serial), session.ext());
      session.counted();
    }
    session.spill();
  }
  session.finish();
}

std::uint64_t number(const char* text) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || value == 0) throw std::runtime_error("bad number");
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 || argc == 4) {
      const std::string_view kind = argv[1];
      if (kind == "hex") {
        writeHexTrace(argv[2], argc == 4 ? number(argv[3]) : 100);
        return 0;
      }
      if (kind == "firmware" || kind == "firmware-error") {
        writeFirmwareTrace(argv[2], argc == 4 ? number(argv[3]) : 1000000,
                           kind == "firmware-error");
        return 0;
      }
      if (kind == "disjoint") {
        writeDisjointTrace(argv[2], argc == 4 ? number(argv[3]) : 1000000);
        return 0;
      }
      if (kind == "hostile") {
        writeHostileTrace(argv[2], argc == 4 ? number(argv[3]) : 1000);
        return 0;
      }
    }
    std::cerr << "usage: make_bench_traces hex OUT [MEGABYTES]\n"
                 "       make_bench_traces firmware OUT [RECORDS]\n"
                 "       make_bench_traces firmware-error OUT [RECORDS]\n"
                 "       make_bench_traces disjoint OUT [RECORDS]\n"
                 "       make_bench_traces hostile OUT [UPDATES]\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << "make_bench_traces: " << error.what() << '\n';
    return 1;
  }
}
