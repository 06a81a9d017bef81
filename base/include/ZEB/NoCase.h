// Letter-case-insensitive comparison of names.
#pragma once

#include <string>

#include "ZEB/Types.h"
#include "ZEB/ZEBBaseExport.h"

namespace ZEB {

// Narrow names compare ignoring ASCII letter case (bytes above 127 are taken
// as they are: their meaning depends on the code page).
struct ZEBBASE_API NoCase {
  // Case-insensitive less-than: the order of name-keyed maps.
  bool operator()(std::string const& a, std::string const& b) const noexcept;
  static bool IsEqual(std::string const& a, std::string const& b) noexcept;
};

// Wide names compare with simple one-to-one case folding.
struct ZEBBASE_API WNoCase {
  static bool IsEqual(WString const& a, WString const& b) noexcept;
  static char16_t Fold(char16_t c) noexcept;
};

ZEBBASE_API std::string ToLower(std::string const& text);

} // namespace ZEB
