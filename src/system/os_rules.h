// The decisions clsOS makes on a version record, on plain values.
#pragma once

#include <cstdint>

#include "narwick/frame/types.h"
#include "narwick/system/os.h"

namespace narwick::os {

// The system a record names, from its major version and then its minor version or product
// type. Major 4 with minor 0 is always WINDOWS95, never WINDOWSNT400: the platform id, which
// could tell them apart, is not consulted, so hosts see what they always saw.
OPERATING_SYSTEM NameFor(std::uint32_t major, std::uint32_t minor, std::uint8_t product_type);

// The service-pack text of the record's 128 characters: the characters before the first NUL
// with leading and trailing spaces removed; "" when there is no NUL.
String ServicePackText(StringView text);

}  // namespace narwick::os
