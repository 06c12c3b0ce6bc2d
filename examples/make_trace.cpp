// make_trace: turns a readable description of a trace into a trace file.
//
//   make_trace description.txt trace.trc
//
// One record a line; "#" starts a comment. Lines:
//   version 1|2|3             a version marker (3 is minor code 501)
//   ids PROCESS THREAD        process and thread id (hex) of later records
//   component BYTE            component byte (hex) of later records
//   clock SECONDS             calendar time (seconds since 1970, UTC) of time 0
//   KIND +MS BYTES...         a data record MS milliseconds after the previous
//                             one; KIND is text, hex, write, read, getfeat,
//                             setfeat or a minor code in decimal
// BYTES are hex pairs (a0), quoted text with \n \r \t \0 \\ \" escapes, and
// COUNT*XX for COUNT bytes of value XX. In HID transfers (write, read,
// getfeat, setfeat) the bytes before "|" are the 8-byte transfer header
// (missing bytes are 0) and those after it the transfer data.
#define OVANTREX_TRACE_BUILDER_NO_RUN
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "trace_builder.h"

namespace {

using ovantrex::test::ExtHeader;
using ovantrex::test::Payload;
using ovantrex::test::TraceBuilder;

struct DescriptionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::uint8_t hexByte(const std::string& token) {
  std::size_t used = 0;
  const unsigned long value = std::stoul(token, &used, 16);
  if (used != token.size() || value > 0xff) throw DescriptionError("not a byte: " + token);
  return static_cast<std::uint8_t>(value);
}

// Reads a quoted text whose opening quote has been taken.
void readQuoted(std::istream& in, std::vector<std::uint8_t>& out) {
  for (char c; in.get(c);) {
    if (c == '"') return;
    if (c == '\\' && in.get(c)) {
      switch (c) {
        case 'n': c = '\n'; break;
        case 'r': c = '\r'; break;
        case 't': c = '\t'; break;
        case '0': c = '\0'; break;
        case '\\':
        case '"': break;
        default:
          throw DescriptionError(std::string("unknown escape \"\\") + c +
                                 "\" in text (known: \\n \\r \\t \\0 \\\\ \\\")");
      }
    }
    out.push_back(static_cast<std::uint8_t>(c));
  }
  throw DescriptionError("unterminated text");
}

// The bytes of the rest of a line; split at "|" when header is given.
Payload readBytes(std::istream& in, Payload* header) {
  std::vector<std::uint8_t> bytes;
  for (;;) {
    in >> std::ws;
    const int next = in.peek();
    if (next == EOF) break;
    if (next == '"') {
      in.get();
      readQuoted(in, bytes);
      continue;
    }
    std::string token;
    in >> token;
    if (token == "|" && header != nullptr) {
      if (bytes.size() > 8) throw DescriptionError("transfer header longer than 8 bytes");
      bytes.resize(8, 0);
      *header = Payload(std::move(bytes));
      bytes.clear();
      header = nullptr;
    } else if (const auto star = token.find('*'); star != std::string::npos) {
      bytes.insert(bytes.end(), std::stoul(token.substr(0, star)), hexByte(token.substr(star + 1)));
    } else {
      bytes.push_back(hexByte(token));
    }
  }
  if (header != nullptr) throw DescriptionError("transfer without \"|\" after its header");
  return Payload(std::move(bytes));
}

// What the lines read so far have set.
struct Description {
  TraceBuilder trace;
  ExtHeader ext;
  std::int64_t clock = 0;
  std::int64_t now = 0;  // milliseconds since time 0
};

// A data record: KIND +MS BYTES...
void addRecord(Description& d, const std::string& kind, std::istream& in) {
  static const std::map<std::string, std::uint32_t> kinds = {{"text", 42},     {"hex", 404},
                                                             {"write", 405},   {"read", 406},
                                                             {"getfeat", 407}, {"setfeat", 408}};
  const auto known = kinds.find(kind);
  const std::uint32_t minor =
      known != kinds.end() ? known->second : static_cast<std::uint32_t>(std::stoul(kind));
  std::string delta;
  in >> delta;
  if (delta.empty() || delta[0] != '+') throw DescriptionError("expected +MS after " + kind);
  d.now += std::stoll(delta.substr(1));
  d.ext.seconds = static_cast<std::int32_t>(d.clock + d.now / 1000);
  d.ext.millis = static_cast<std::uint16_t>(d.now % 1000);
  const bool transfer = minor >= 405 && minor <= 408;
  Payload header;
  Payload bytes = readBytes(in, transfer ? &header : nullptr);
  d.trace.record(minor, static_cast<double>(d.now), transfer ? header + bytes : bytes, d.ext);
}

// One line of the description.
void addLine(Description& d, std::string line) {
  if (const auto hash = line.find('#'); hash != std::string::npos && line.find('"') > hash)
    line.erase(hash);
  std::istringstream in(line);
  std::string kind;
  if (!(in >> kind)) return;
  if (kind == "version") {
    int version = 0;
    in >> version;
    if (version == 1) throw DescriptionError("no marker announces version 1");
    d.trace.marker(version == 2 ? 500u : 501u);
  } else if (kind == "ids") {
    in >> std::hex >> d.ext.process >> d.ext.thread >> std::dec;
  } else if (kind == "component") {
    std::string byte;
    in >> byte;
    d.ext.component = hexByte(byte);
  } else if (kind == "clock") {
    in >> d.clock;
  } else {
    addRecord(d, kind, in);
  }
}

TraceBuilder build(std::istream& description) {
  Description d;
  std::string line;
  for (int number = 1; std::getline(description, line); ++number) {
    try {
      addLine(d, line);
    } catch (const std::exception& error) {
      throw DescriptionError("line " + std::to_string(number) + ": " + error.what());
    }
  }
  return d.trace;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_trace description.txt trace.trc\n";
    return 1;
  }
  std::ifstream description(argv[1]);
  if (!description) {
    std::cerr << "make_trace: cannot read " << argv[1] << "\n";
    return 1;
  }
  try {
    build(description).writeTo(argv[2]);
  } catch (const std::exception& error) {
    std::cerr << "make_trace: " << argv[1] << ": " << error.what() << "\n";
    return 1;
  }
  return 0;
}
