#include "ZEB/NoCase.h"

#include <algorithm>

namespace ZEB {

namespace {
unsigned char LowerAscii(unsigned char c) noexcept { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }
} // namespace

bool NoCase::operator()(std::string const& a, std::string const& b) const noexcept {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return LowerAscii(static_cast<unsigned char>(x)) < LowerAscii(static_cast<unsigned char>(y));
  });
}

bool NoCase::IsEqual(std::string const& a, std::string const& b) noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(static_cast<unsigned char>(x)) == LowerAscii(static_cast<unsigned char>(y));
         });
}

// Simple folding of the alphabets met in document names: ASCII, Latin-1,
// Latin Extended-A (pairs), Greek and Cyrillic.
char16_t WNoCase::Fold(char16_t c) noexcept {
  if (c < 0x80)
    return LowerAscii(static_cast<unsigned char>(c));
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return char16_t(c + 0x20);
  if (c >= 0x400 && c <= 0x40F)
    return char16_t(c + 0x50);
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    bool evenIsUpper = (c < 0x138) || (c > 0x148 && c < 0x178);
    if (evenIsUpper ? c % 2 == 0 : c % 2 == 1)
      return char16_t(c + 1);
  }
  return c;
}

bool WNoCase::IsEqual(WString const& a, WString const& b) noexcept {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

std::string ToLower(std::string const& text) {
  std::string lower(text);
  for (char& c : lower)
    c = static_cast<char>(LowerAscii(static_cast<unsigned char>(c)));
  return lower;
}

} // namespace ZEB
