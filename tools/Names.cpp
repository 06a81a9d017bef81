#include "Names.h"

#include <cstdio>
#include <cctype>
#include <cstring>

#include "CaseFold.h"
#include "ZEBCharset/Conv.h"

namespace zebfile {
namespace {

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Characters a terminal shows as nothing or as a box: format characters,
// surrogates, non-characters, the soft hyphen.
bool IsInvisible(char32_t c) {
  return c == 0xAD || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB) ||
         (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE ||
         (c >= 0xE0000 && c <= 0xE007F);
}

void AppendHex(std::string& out, char const* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  out += text;
}

// Calls `each(codePoint, units, count)` for every character; an unpaired
// surrogate is a character of its own.
template <class Each> void ForEachCharacter(ZEB::WString const& text, Each&& each) {
  for (size_t i = 0; i < text.size();) {
    char32_t c = text[i];
    size_t count = 1;
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      count = 2;
    }
    each(c, text.data() + i, count);
    i += count;
  }
}

enum class Escape { NAME, VALUE, PATH };

// NAME escapes what a terminal would not show and the separators, VALUE what a
// terminal would not show, PATH only the separators and unpaired surrogates.
std::string Show(ZEB::WString const& text, Escape escape) {
  std::string out;
  bool const name = escape != Escape::VALUE, shown = escape != Escape::PATH;
  ForEachCharacter(text, [&](char32_t c, char16_t const* units, size_t count) {
    if ((shown && IsControl(c)) || (name && c == '/')) {
      AppendHex(out, "\\x%02X", unsigned(c));
    } else if ((shown && IsInvisible(c)) || (c >= 0xD800 && c <= 0xDFFF)) {
      for (size_t k = 0; k < count; ++k) {
        AppendHex(out, "\\u%04X", units[k]);
      }
    } else if (name && c == '\\') {
      out += "\\\\";
    } else {
      out += Utf8(ZEB::WString(units, count));
    }
  });
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
    return (c | 0x20) - 'a' + 10;
  }
  return -1;
}

// The value of `digits` hex digits at text[at], or -1.
long HexAt(std::string const& text, size_t at, size_t digits) {
  if (at + digits > text.size()) {
    return -1;
  }
  long value = 0;
  for (size_t k = 0; k < digits; ++k) {
    int d = HexDigit(text[at + k]);
    if (d < 0) {
      return -1;
    }
    value = value * 16 + d;
  }
  return value;
}

// The name ends in ~N, N a number from 2 written without leading zeros: the
// suffix SafeNames gives a repeated name.
bool HasRepeatSuffix(std::string const& name) {
  size_t tilde = name.rfind('~');
  if (tilde == std::string::npos || tilde + 1 == name.size()) {
    return false;
  }
  std::string number = name.substr(tilde + 1);
  return number[0] != '0' && number != "1" && number.find_first_not_of("0123456789") == std::string::npos;
}

bool IsReservedDeviceName(std::string const& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') {
    base.pop_back();
  }
  for (auto& c : base) {
    c = char(std::toupper(static_cast<unsigned char>(c)));
  }
  static char const* const reserved[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (char const* r : reserved) {
    if (base == r) {
      return true;
    }
  }
  // COM and LPT with a digit 0-9 or a superscript one, two or three (UTF-8).
  if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0) {
    return false;
  }
  std::string digit = base.substr(3);
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2" ||
         digit == "\xC2\xB3";
}

} // namespace

std::string Utf8(ZEB::WString const& text) { return ZEBCharset::FromWide(ZEB::CHARSET_UTF8, text); }

std::string SystemToUtf8(std::string const& text) {
  return ZEBCharset::Convert(ZEBCharset::SystemCharset(), ZEB::CHARSET_UTF8, text);
}

std::string ShowName(ZEB::WString const& name) { return Show(name, Escape::NAME); }
std::string ShowValue(ZEB::WString const& value) { return Show(value, Escape::VALUE); }
std::string PathName(ZEB::WString const& name) { return Show(name, Escape::PATH); }

std::string ShowFileName(std::string const& systemName) {
  return ShowValue(ZEBCharset::ToWide(ZEBCharset::SystemCharset(), systemName));
}

// East Asian wide characters take two columns.
size_t Columns(std::string const& utf8) {
  ZEB::WString wide = ZEBCharset::ToWide(ZEB::CHARSET_UTF8, utf8);
  size_t columns = 0;
  ForEachCharacter(wide, [&](char32_t c, char16_t const*, size_t) {
    bool doubleWidth = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                       (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                       (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    columns += doubleWidth ? 2 : 1;
  });
  return columns;
}

std::vector<ZEB::WString> ParsePath(std::string const& text) {
  std::vector<ZEB::WString> names;
  ZEB::WString name;
  std::string pending; // UTF-8 bytes not yet converted
  auto flushPending = [&] {
    name += ZEBCharset::ToWide(ZEB::CHARSET_UTF8, pending);
    pending.clear();
  };
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '/') {
      flushPending();
      if (!name.empty()) {
        names.push_back(name);
      }
      name.clear();
      continue;
    }
    if (text[i] == '\\') {
      long unit = -1;
      size_t length = 0;
      if (i + 1 < text.size() && text[i + 1] == '\\') {
        unit = '\\';
        length = 2;
      } else if (i + 1 < text.size() && text[i + 1] == 'x') {
        unit = HexAt(text, i + 2, 2);
        length = 4;
      } else if (i + 1 < text.size() && text[i + 1] == 'u') {
        unit = HexAt(text, i + 2, 4);
        length = 6;
      }
      if (unit >= 0) {
        flushPending();
        name += char16_t(unit);
        i += length - 1;
        continue;
      }
    }
    pending += text[i];
  }
  return names;
}

std::string SafeNames::Make(ZEB::WString const& name) {
  std::string out;
  ForEachCharacter(name, [&](char32_t c, char16_t const* units, size_t count) {
    if (c < 0x80 && (IsControl(c) || std::strchr("/\\:*?\"<>|%", int(c)) != nullptr)) {
      AppendHex(out, "%%%02X", unsigned(c));
    } else if (IsControl(c) || IsInvisible(c)) {
      for (size_t k = 0; k < count; ++k) {
        AppendHex(out, "%%u%04X", units[k]);
      }
    } else {
      out += Utf8(ZEB::WString(units, count));
    }
  });
  // Windows drops a trailing dot or space, which would also let "." and ".."
  // through.
  if (!out.empty() && (out.back() == '.' || out.back() == ' ')) {
    char last = out.back();
    out.pop_back();
    AppendHex(out, "%%%02X", unsigned(last));
  }
  // A name that ends like the suffix of a repeated name keeps its '~'
  // escaped, so that DecodeSafeName gives it back whole.
  if (HasRepeatSuffix(out)) {
    size_t tilde = out.rfind('~');
    out.replace(tilde, 1, "%7E");
  }
  if (out.empty()) {
    out = "%";
  }
  if (IsReservedDeviceName(out)) {
    char first = out[0];
    out.erase(0, 1);
    std::string prefix;
    AppendHex(prefix, "%%%02X", unsigned(static_cast<unsigned char>(first)));
    out.insert(0, prefix);
  }
  auto key = [](std::string const& candidate) { return FoldCase(ZEBCharset::ToWide(ZEB::CHARSET_UTF8, candidate)); };
  std::string unique = out;
  for (unsigned n = 2; !m_Used.insert(key(unique)).second; ++n) {
    unique = out + "~" + std::to_string(n);
  }
  return unique;
}

std::string UniqueKey(std::string const& name, std::set<std::string>& used) {
  std::string key = name;
  for (unsigned n = 2; !used.insert(key).second; ++n) {
    key = name + " (" + std::to_string(n) + ")";
  }
  return key;
}

ZEB::WString DecodeSafeName(std::string const& fileName) {
  std::string text = fileName;
  if (HasRepeatSuffix(text)) {
    text.erase(text.rfind('~'));
  }
  ZEB::WString name;
  std::string pending; // UTF-8 bytes not yet converted
  for (size_t i = 0; i < text.size(); ++i) {
    long unit = -1;
    size_t length = 0;
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'u') {
      unit = HexAt(text, i + 2, 4);
      length = 6;
    }
    if (text[i] == '%' && unit < 0) {
      unit = HexAt(text, i + 1, 2);
      length = 3;
    }
    if (unit < 0) {
      pending += text[i];
      continue;
    }
    name += ZEBCharset::ToWide(ZEB::CHARSET_UTF8, pending);
    pending.clear();
    name += char16_t(unit);
    i += length - 1;
  }
  name += ZEBCharset::ToWide(ZEB::CHARSET_UTF8, pending);
  return text == "%" ? ZEB::WString() : name;
}

} // namespace zebfile
