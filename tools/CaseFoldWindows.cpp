#include "CaseFold.h"

#include <windows.h>

namespace zebfile {

// The system's own upper-case mapping, the one its file systems compare names
// with; unpaired surrogates pass unchanged.
ZEB::WString FoldCase(ZEB::WString const& text) {
  if (text.empty()) {
    return text;
  }
  std::wstring wide(text.begin(), text.end());
  int count = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), int(wide.size()), nullptr, 0,
                            nullptr, nullptr, 0);
  std::wstring upper(size_t(count > 0 ? count : 0), L'\0');
  if (count <= 0 || LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), int(wide.size()),
                                  upper.data(), count, nullptr, nullptr, 0) != count) {
    return text;
  }
  return ZEB::WString(upper.begin(), upper.end());
}

} // namespace zebfile
