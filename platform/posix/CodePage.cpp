// MultiByteToWideChar, WideCharToMultiByte and the code-page queries on
// POSIX: UTF-8 here, single-byte pages through tables made from iconv,
// double-byte pages through iconv itself.
#include "ZEBPlatform/Win32.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr char const* kWideName = "UTF-16BE";
#else
constexpr char const* kWideName = "UTF-16LE";
#endif

struct PageName {
  UINT codePage;
  char const* iconvName;
};

// Windows code pages whose characters are one or two bytes, under the names
// the C library's iconv knows them by.
constexpr PageName kPageNames[] = {
    {37, "IBM037"},        {437, "IBM437"},       {500, "IBM500"},       {737, "CP737"},
    {775, "IBM775"},       {850, "IBM850"},       {852, "IBM852"},       {855, "IBM855"},
    {857, "IBM857"},       {858, "IBM858"},       {860, "IBM860"},       {861, "IBM861"},
    {862, "IBM862"},       {863, "IBM863"},       {864, "IBM864"},       {865, "IBM865"},
    {866, "IBM866"},       {869, "IBM869"},       {870, "IBM870"},       {874, "CP874"},
    {875, "IBM875"},       {932, "CP932"},        {936, "CP936"},        {949, "CP949"},
    {950, "CP950"},        {1026, "IBM1026"},     {1047, "IBM1047"},     {1140, "IBM1140"},
    {1141, "IBM1141"},     {1142, "IBM1142"},     {1143, "IBM1143"},     {1144, "IBM1144"},
    {1145, "IBM1145"},     {1146, "IBM1146"},     {1147, "IBM1147"},     {1148, "IBM1148"},
    {1149, "IBM1149"},     {1250, "CP1250"},      {1251, "CP1251"},      {1252, "CP1252"},
    {1253, "CP1253"},      {1254, "CP1254"},      {1255, "CP1255"},      {1256, "CP1256"},
    {1257, "CP1257"},      {1258, "CP1258"},      {1361, "JOHAB"},       {10000, "MACINTOSH"},
    {10007, "MAC-CYRILLIC"}, {10017, "MACUKRAINIAN"}, {10029, "MAC-CENTRALEUROPE"}, {10079, "MAC-IS"},
    {20127, "ASCII"},      {20273, "IBM273"},     {20277, "IBM277"},     {20278, "IBM278"},
    {20280, "IBM280"},     {20284, "IBM284"},     {20285, "IBM285"},     {20290, "IBM290"},
    {20297, "IBM297"},     {20420, "IBM420"},     {20423, "IBM423"},     {20424, "IBM424"},
    {20866, "KOI8-R"},     {20871, "IBM871"},     {20880, "IBM880"},     {20905, "IBM905"},
    {21025, "IBM1025"},    {21866, "KOI8-U"},     {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"}, {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"}, {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"},
    {28605, "ISO-8859-15"}, {38598, "ISO-8859-8"}, {51936, "EUC-CN"},     {51949, "EUC-KR"},
};

char const* IconvName(UINT codePage) {
  for (auto const& page : kPageNames)
    if (page.codePage == codePage)
      return page.iconvName;
  return nullptr;
}

UINT ResolveCodePage(UINT codePage) {
  switch (codePage) {
  case CP_ACP:
  case CP_OEMCP:
  case CP_THREAD_ACP:
    return GetACP();
  case CP_MACCP:
    return 10000;
  default:
    return codePage;
  }
}

// Windows maps the bytes its 125x and 874 tables leave undefined to the C1
// control of the same value.
bool UndefinedMapsToC1(UINT codePage, unsigned byte) {
  return byte >= 0x80 && byte <= 0x9F && (codePage == 874 || (codePage >= 1250 && codePage <= 1258));
}

// What the layer knows of a page, made once from iconv.
struct Page {
  bool doubleByte = false;
  bool lead[256] = {};
  bool defined[256] = {};
  char16_t toWide[256] = {};
  std::vector<std::pair<char16_t, unsigned char>> fromWide; // single-byte pages, sorted
  CPINFO info{};
};

class Iconv {
public:
  Iconv(char const* to, char const* from) : m_Cd(iconv_open(to, from)) {}
  ~Iconv() {
    if (Valid())
      iconv_close(m_Cd);
  }
  Iconv(Iconv const&) = delete;
  Iconv& operator=(Iconv const&) = delete;

  bool Valid() const { return m_Cd != reinterpret_cast<iconv_t>(-1); }
  void Reset() { iconv(m_Cd, nullptr, nullptr, nullptr, nullptr); }
  // One step: returns 0 on success, else errno.
  int Step(char const*& in, size_t& inLeft, char*& out, size_t& outLeft) {
    char* source = const_cast<char*>(in);
    size_t r = iconv(m_Cd, &source, &inLeft, &out, &outLeft);
    in = source;
    return r == static_cast<size_t>(-1) ? errno : 0;
  }
  void Flush(char*& out, size_t& outLeft) { iconv(m_Cd, nullptr, nullptr, &out, &outLeft); }

private:
  iconv_t m_Cd;
};

// One byte through iconv: the unit it gives, or whether it starts a longer
// character.
enum class ByteKind { Single, Lead, Undefined };

ByteKind ProbeByte(Iconv& cd, unsigned char byte, char16_t& unit) {
  cd.Reset();
  char const* in = reinterpret_cast<char const*>(&byte);
  size_t inLeft = 1;
  char buffer[16];
  char* out = buffer;
  size_t outLeft = sizeof buffer;
  int error = cd.Step(in, inLeft, out, outLeft);
  if (error == EINVAL)
    return ByteKind::Lead;
  if (error)
    return ByteKind::Undefined;
  cd.Flush(out, outLeft);
  if (out - buffer != 2)
    return ByteKind::Undefined;
  std::memcpy(&unit, buffer, 2);
  return ByteKind::Single;
}

void FillLeadRanges(Page& page) {
  int slot = 0;
  for (unsigned b = 0; b < 256 && slot + 2 < MAX_LEADBYTES;) {
    if (!page.lead[b]) {
      ++b;
      continue;
    }
    unsigned first = b;
    while (b < 256 && page.lead[b])
      ++b;
    page.info.LeadByte[slot++] = static_cast<BYTE>(first);
    page.info.LeadByte[slot++] = static_cast<BYTE>(b - 1);
  }
}

std::unique_ptr<Page> MakePage(UINT codePage) {
  char const* name = IconvName(codePage);
  if (!name)
    return nullptr;
  Iconv cd(kWideName, name);
  if (!cd.Valid())
    return nullptr;
  auto page = std::make_unique<Page>();
  for (unsigned b = 0; b < 256; ++b) {
    char16_t unit = 0;
    switch (ProbeByte(cd, static_cast<unsigned char>(b), unit)) {
    case ByteKind::Lead:
      page->lead[b] = page->doubleByte = true;
      break;
    case ByteKind::Single:
      page->defined[b] = true;
      page->toWide[b] = unit;
      break;
    case ByteKind::Undefined:
      if (UndefinedMapsToC1(codePage, b)) {
        page->defined[b] = true;
        page->toWide[b] = static_cast<char16_t>(b);
      }
      break;
    }
  }
  page->info.MaxCharSize = page->doubleByte ? 2 : 1;
  page->info.DefaultChar[0] = '?';
  if (page->doubleByte) {
    FillLeadRanges(*page);
  } else {
    for (unsigned b = 0; b < 256; ++b)
      if (page->defined[b])
        page->fromWide.emplace_back(page->toWide[b], static_cast<unsigned char>(b));
    // Stable: where two bytes give one unit, the lower byte is the one written.
    std::stable_sort(page->fromWide.begin(), page->fromWide.end(),
                     [](auto const& a, auto const& b) { return a.first < b.first; });
  }
  return page;
}

// The page of a code page number, or null when iconv cannot convert it.
Page const* FindPage(UINT codePage) {
  static std::mutex lock;
  static std::map<UINT, std::unique_ptr<Page>> pages;
  std::lock_guard<std::mutex> guard(lock);
  auto found = pages.find(codePage);
  if (found == pages.end())
    found = pages.emplace(codePage, MakePage(codePage)).first;
  return found->second.get();
}

// Descriptors of the double-byte pages, one set per thread (a descriptor is
// not shared between threads).
Iconv* ThreadIconv(UINT codePage, bool toWide) {
  thread_local std::map<std::pair<UINT, bool>, std::unique_ptr<Iconv>> descriptors;
  auto& slot = descriptors[{codePage, toWide}];
  if (!slot) {
    char const* name = IconvName(codePage);
    slot = std::make_unique<Iconv>(toWide ? kWideName : name, toWide ? name : kWideName);
  }
  if (!slot->Valid())
    return nullptr;
  slot->Reset();
  return slot.get();
}

// Output of a call: counts every element, stores those that fit when there
// is a destination.
template <class T> class Output {
public:
  Output(T* destination, int capacity) : m_Destination(capacity > 0 ? destination : nullptr), m_Capacity(capacity) {}
  void Put(T value) {
    if (m_Destination && m_Count < m_Capacity)
      m_Destination[m_Count] = value;
    ++m_Count;
  }
  void Put(T const* values, int count) {
    for (int i = 0; i < count; ++i)
      Put(values[i]);
  }
  int Count() const { return m_Count; }
  bool Overflowed() const { return m_Destination && m_Count > m_Capacity; }

private:
  T* m_Destination;
  int m_Capacity;
  int m_Count = 0;
};

// Ends a call: the element count, or 0 with the last error set.
template <class T> int Finish(Output<T> const& out) {
  if (out.Overflowed()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return out.Count();
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

// ---------------------------------------------------------------- UTF-8

// Length of the valid UTF-8 sequence at `s` (and its code point), or, when
// it is invalid, minus the length of its maximal valid prefix (at least 1).
int DecodeUtf8(unsigned char const* s, size_t n, char32_t& cp) {
  unsigned b0 = s[0];
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  if (b0 < 0xC2 || b0 > 0xF4)
    return -1;
  int need = b0 < 0xE0 ? 1 : b0 < 0xF0 ? 2 : 3;
  unsigned lo = b0 == 0xE0 ? 0xA0 : b0 == 0xF0 ? 0x90 : 0x80;
  unsigned hi = b0 == 0xED ? 0x9F : b0 == 0xF4 ? 0x8F : 0xBF;
  cp = b0 & (0x3Fu >> need);
  for (int i = 1; i <= need; ++i) {
    if (static_cast<size_t>(i) >= n || s[i] < lo || s[i] > hi)
      return -i;
    cp = (cp << 6) | (s[i] & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  return need + 1;
}

void PutCodePoint(Output<WCHAR>& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.Put(static_cast<WCHAR>(0xD800 + (cp >> 10)));
    out.Put(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.Put(static_cast<WCHAR>(cp));
  }
}

int Utf8ToWide(DWORD flags, unsigned char const* s, size_t n, Output<WCHAR>& out) {
  for (size_t i = 0; i < n;) {
    char32_t cp = 0;
    int length = DecodeUtf8(s + i, n - i, cp);
    if (length < 0) {
      if (flags & MB_ERR_INVALID_CHARS)
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
      cp = kReplacement;
      length = -length;
    }
    PutCodePoint(out, cp);
    i += static_cast<size_t>(length);
  }
  return Finish(out);
}

// The character at `s`: its code point and unit count; a lone surrogate is
// invalid (false) and counts one unit.
bool NextCodePoint(WCHAR const* s, size_t n, char32_t& cp, size_t& units) {
  cp = s[0];
  units = 1;
  if (cp >= 0xDC00 && cp <= 0xDFFF)
    return false;
  if (cp >= 0xD800 && cp <= 0xDBFF) {
    if (n < 2 || s[1] < 0xDC00 || s[1] > 0xDFFF)
      return false;
    cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00);
    units = 2;
  }
  return true;
}

int WideToUtf8(DWORD flags, WCHAR const* s, size_t n, Output<char>& out) {
  for (size_t i = 0; i < n;) {
    char32_t cp = 0;
    size_t units = 1;
    if (!NextCodePoint(s + i, n - i, cp, units)) {
      if (flags & WC_ERR_INVALID_CHARS)
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
      cp = kReplacement;
    }
    i += units;
    if (cp < 0x80) {
      out.Put(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.Put(static_cast<char>(0xC0 | (cp >> 6)));
      out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.Put(static_cast<char>(0xE0 | (cp >> 12)));
      out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.Put(static_cast<char>(0xF0 | (cp >> 18)));
      out.Put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return Finish(out);
}

// ---------------------------------------------------------- single byte

int SingleToWide(Page const& page, DWORD flags, unsigned char const* s, size_t n, Output<WCHAR>& out) {
  for (size_t i = 0; i < n; ++i) {
    if (page.defined[s[i]]) {
      out.Put(page.toWide[s[i]]);
    } else {
      if (flags & MB_ERR_INVALID_CHARS)
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
      out.Put(kReplacement);
    }
  }
  return Finish(out);
}

// The default character: the first character of `defaultChar`, else the
// page's.
std::string DefaultChar(Page const& page, char const* defaultChar) {
  if (!defaultChar || !*defaultChar)
    return std::string(1, static_cast<char>(page.info.DefaultChar[0]));
  size_t length = page.doubleByte && page.lead[static_cast<unsigned char>(defaultChar[0])] && defaultChar[1] ? 2 : 1;
  return std::string(defaultChar, length);
}

void PutDefault(Output<char>& out, std::string const& defaultChar, BOOL* usedDefault) {
  out.Put(defaultChar.data(), static_cast<int>(defaultChar.size()));
  if (usedDefault)
    *usedDefault = TRUE;
}

int WideToSingle(Page const& page, WCHAR const* s, size_t n, Output<char>& out, std::string const& defaultChar,
                 BOOL* usedDefault) {
  auto less = [](std::pair<char16_t, unsigned char> const& entry, char16_t unit) { return entry.first < unit; };
  for (size_t i = 0; i < n;) {
    char32_t cp = 0;
    size_t units = 1;
    bool valid = NextCodePoint(s + i, n - i, cp, units);
    i += units;
    auto found = std::lower_bound(page.fromWide.begin(), page.fromWide.end(), static_cast<char16_t>(cp), less);
    if (valid && cp < 0x10000 && found != page.fromWide.end() && found->first == cp)
      out.Put(static_cast<char>(found->second));
    else
      PutDefault(out, defaultChar, usedDefault);
  }
  return Finish(out);
}

// ---------------------------------------------------------- double byte

int DoubleToWide(Page const& page, UINT codePage, DWORD flags, unsigned char const* s, size_t n,
                 Output<WCHAR>& out) {
  Iconv* cd = ThreadIconv(codePage, true);
  if (!cd)
    return Fail(ERROR_INVALID_PARAMETER);
  char const* in = reinterpret_cast<char const*>(s);
  size_t inLeft = n;
  while (inLeft > 0) {
    WCHAR buffer[256];
    char* outBytes = reinterpret_cast<char*>(buffer);
    size_t outLeft = sizeof buffer;
    int error = cd->Step(in, inLeft, outBytes, outLeft);
    out.Put(buffer, static_cast<int>((sizeof buffer - outLeft) / sizeof(WCHAR)));
    if (!error || error == E2BIG)
      continue;
    // Invalid or cut short: one replacement for the character, a lead byte
    // taking the byte after it along.
    if (flags & MB_ERR_INVALID_CHARS)
      return Fail(ERROR_NO_UNICODE_TRANSLATION);
    out.Put(kReplacement);
    size_t skip = page.lead[static_cast<unsigned char>(*in)] && inLeft >= 2 ? 2 : 1;
    in += skip;
    inLeft -= skip;
    cd->Reset();
  }
  return Finish(out);
}

int WideToDouble(UINT codePage, WCHAR const* s, size_t n, Output<char>& out, std::string const& defaultChar,
                 BOOL* usedDefault) {
  Iconv* cd = ThreadIconv(codePage, false);
  if (!cd)
    return Fail(ERROR_INVALID_PARAMETER);
  char const* in = reinterpret_cast<char const*>(s);
  size_t inLeft = n * sizeof(WCHAR);
  while (inLeft > 0) {
    char buffer[512];
    char* outBytes = buffer;
    size_t outLeft = sizeof buffer;
    int error = cd->Step(in, inLeft, outBytes, outLeft);
    out.Put(buffer, static_cast<int>(sizeof buffer - outLeft));
    if (!error || error == E2BIG)
      continue;
    // A character without a mapping, or a lone surrogate.
    PutDefault(out, defaultChar, usedDefault);
    WCHAR units[2] = {};
    std::memcpy(units, in, std::min(inLeft, sizeof units));
    char32_t cp = 0;
    size_t count = 1;
    NextCodePoint(units, inLeft / sizeof(WCHAR), cp, count);
    size_t skip = std::min(inLeft, count * sizeof(WCHAR));
    in += skip;
    inLeft -= skip;
    cd->Reset();
  }
  return Finish(out);
}

} // namespace

UINT GetACP() { return CP_UTF8; }

BOOL IsValidCodePage(UINT codePage) { return codePage == CP_UTF8 || FindPage(codePage) != nullptr; }

BOOL GetCPInfo(UINT codePage, LPCPINFO info) {
  codePage = ResolveCodePage(codePage);
  if (!info)
    return Fail(ERROR_INVALID_PARAMETER);
  if (codePage == CP_UTF8) {
    *info = CPINFO{};
    info->MaxCharSize = 4;
    info->DefaultChar[0] = '?';
    return TRUE;
  }
  Page const* page = FindPage(codePage);
  if (!page)
    return Fail(ERROR_INVALID_PARAMETER);
  *info = page->info;
  return TRUE;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, char const* source, int sourceCount, WCHAR* destination,
                        int destinationCount) {
  codePage = ResolveCodePage(codePage);
  if (!source || sourceCount == 0 || sourceCount < -1 || destinationCount < 0 ||
      (destinationCount > 0 && !destination))
    return Fail(ERROR_INVALID_PARAMETER);
  size_t n = sourceCount == -1 ? std::strlen(source) + 1 : static_cast<size_t>(sourceCount);
  auto const* s = reinterpret_cast<unsigned char const*>(source);
  Output<WCHAR> out(destination, destinationCount);
  if (codePage == CP_UTF8) {
    if (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS))
      return Fail(ERROR_INVALID_FLAGS);
    return Utf8ToWide(flags, s, n, out);
  }
  Page const* page = FindPage(codePage);
  if (!page)
    return Fail(ERROR_INVALID_PARAMETER);
  return page->doubleByte ? DoubleToWide(*page, codePage, flags, s, n, out) : SingleToWide(*page, flags, s, n, out);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, WCHAR const* source, int sourceCount, char* destination,
                        int destinationCount, char const* defaultChar, BOOL* usedDefaultChar) {
  codePage = ResolveCodePage(codePage);
  if (!source || sourceCount == 0 || sourceCount < -1 || destinationCount < 0 ||
      (destinationCount > 0 && !destination))
    return Fail(ERROR_INVALID_PARAMETER);
  size_t n = sourceCount == -1 ? std::char_traits<WCHAR>::length(source) + 1 : static_cast<size_t>(sourceCount);
  Output<char> out(destination, destinationCount);
  if (codePage == CP_UTF8) {
    if (defaultChar || usedDefaultChar)
      return Fail(ERROR_INVALID_PARAMETER);
    if (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS))
      return Fail(ERROR_INVALID_FLAGS);
    return WideToUtf8(flags, source, n, out);
  }
  if (flags & WC_ERR_INVALID_CHARS)
    return Fail(ERROR_INVALID_FLAGS);
  Page const* page = FindPage(codePage);
  if (!page)
    return Fail(ERROR_INVALID_PARAMETER);
  if (usedDefaultChar)
    *usedDefaultChar = FALSE;
  std::string fallback = DefaultChar(*page, defaultChar);
  return page->doubleByte ? WideToDouble(codePage, source, n, out, fallback, usedDefaultChar)
                          : WideToSingle(*page, source, n, out, fallback, usedDefaultChar);
}
