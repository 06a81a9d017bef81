// SHA-256 of a byte string, as lower-case hex: enough to compare streams with
// digests recorded by other readers.
#pragma once

#include <string>

namespace ZEBTest {

std::string Sha256Hex(std::string const& bytes);

} // namespace ZEBTest
