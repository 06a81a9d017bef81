#include "CaseFold.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace zebfile {

ZEB::WString FoldCase(ZEB::WString const& text) {
  ZEB::WString folded;
  folded.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    UChar32 c;
    U16_NEXT(text.data(), i, text.size(), c);
    c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    if (U_IS_BMP(c)) {
      folded += char16_t(c);
    } else {
      folded += char16_t(U16_LEAD(c));
      folded += char16_t(U16_TRAIL(c));
    }
  }
  return folded;
}

} // namespace zebfile
