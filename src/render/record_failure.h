// Raised when a record cannot be rendered; the record loop then writes the
// fallback entry with the raw payload and goes on with the next record.
#pragma once

#include <stdexcept>

namespace ovantrex {

class RecordFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace ovantrex
