#pragma once

#include <cstdint>
#include <string>

namespace ZEB {

// Strings of 16-bit UTF-16 units, on every platform.
using WString = std::u16string;

static_assert(sizeof(unsigned) == 4, "buffer positions and counts are 32-bit");

} // namespace ZEB
