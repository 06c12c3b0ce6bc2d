// Names of the three-byte RecordID of a device's information area.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace ovantrex {

std::string nameRecordId(std::span<const std::uint8_t, 3> id);

}  // namespace ovantrex
