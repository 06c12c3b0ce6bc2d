// JSON values written straight into a Writer: strings, hex strings, numbers
// and times. Every string is valid JSON and valid UTF-8: printable ASCII
// stands as it is, '"' and '\' are escaped with a backslash, and every other
// byte b is written as \u00hh, the character whose code is b.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

#include "core/bytes.h"
#include "output/common/writer.h"

namespace ovantrex {

// A quoted string of the bytes, escaped as above.
void writeJsonString(Writer& out, Bytes bytes);
void writeJsonString(Writer& out, std::string_view text);
// A quoted string of two lowercase hex digits per byte, no separators.
void writeJsonHex(Writer& out, Bytes bytes);
// The shortest decimal that reads back as the same double; null when the
// value is not finite.
void writeJsonNumber(Writer& out, double value);
void writeJsonBool(Writer& out, bool value);

// The members of one JSON object, comma-separated; keys are plain ASCII.
// The object closes when it goes; not while an exception (a failed write)
// passes, which then ends the output anyway.
class JsonObject {
 public:
  explicit JsonObject(Writer& out) : out_(out) { out_.put('{'); }
  JsonObject(const JsonObject&) = delete;
  JsonObject& operator=(const JsonObject&) = delete;
  ~JsonObject() noexcept(false) {
    if (std::uncaught_exceptions() == exceptions_) out_.put('}');
  }

  // Writes the key; the caller writes the value.
  Writer& key(std::string_view name) {
    out_.put(first_ ? "\"" : ",\"");
    first_ = false;
    out_.put(name);
    out_.put("\":");
    return out_;
  }
  void number(std::string_view name, std::int64_t value) { key(name).decimal(value); }
  void string(std::string_view name, std::string_view value) { writeJsonString(key(name), value); }
  void boolean(std::string_view name, bool value) { writeJsonBool(key(name), value); }

 private:
  Writer& out_;
  bool first_ = true;
  int exceptions_ = std::uncaught_exceptions();
};

// The elements of one JSON array, comma-separated; it closes as an object does.
class JsonArray {
 public:
  explicit JsonArray(Writer& out) : out_(out) { out_.put('['); }
  JsonArray(const JsonArray&) = delete;
  JsonArray& operator=(const JsonArray&) = delete;
  ~JsonArray() noexcept(false) {
    if (std::uncaught_exceptions() == exceptions_) out_.put(']');
  }

  // Starts the next element; the caller writes it.
  Writer& next() {
    if (!first_) out_.put(',');
    first_ = false;
    return out_;
  }

 private:
  Writer& out_;
  bool first_ = true;
  int exceptions_ = std::uncaught_exceptions();
};

// "YYYY-MM-DDThh:mm:ss.mmmZ": the UTC time of seconds since 1970-01-01
// 00:00:00 plus milliseconds (a milliseconds count of 1000 or more carries
// into the seconds), quoted.
void writeJsonUtcTime(Writer& out, std::int64_t seconds, std::uint32_t milliseconds);
// The same without the quotes.
void writeUtcTime(Writer& out, std::int64_t seconds, std::uint32_t milliseconds);

// The same, for a run of times: the date and clock of the last second are
// kept, as records come many to a second.
class UtcTimes {
 public:
  void write(Writer& out, std::int64_t seconds, std::uint32_t milliseconds, bool quoted = true);

 private:
  bool cached_ = false;
  std::int64_t second_ = 0;
  char clock_[32] = {};  // "YYYY-MM-DDThh:mm:ss" of second_
  std::size_t length_ = 0;
};

}  // namespace ovantrex
