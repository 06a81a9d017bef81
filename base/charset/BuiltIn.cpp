// The converters built into the library: Windows-1252, UTF-16LE, UTF-16BE
// and UTF-8. Each conversion is a decoder (bytes to one code point) and an
// encoder (one code point to bytes) run by one loop, so every pair of sets
// converts directly and the counting rules live in one place.
#include "Converters.h"

#include <cstring>

namespace ZEBCharset::Detail {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kHostBigEndian = true;
#else
constexpr bool kHostBigEndian = false;
#endif

enum class Status { Ok, Invalid, Incomplete };

// One decoded character: its code point and the bytes it took. An invalid
// sequence takes the bytes of its longest valid beginning (at least one).
struct Decoded {
  Status status;
  uint32_t length;
  char32_t cp;
};

constexpr Decoded Ok(uint32_t length, char32_t cp) { return {Status::Ok, length, cp}; }
constexpr Decoded Invalid(uint32_t length) { return {Status::Invalid, length, kReplacement}; }
constexpr Decoded Incomplete() { return {Status::Incomplete, 0, 0}; }

// ------------------------------------------------------------ Windows-1252

// 0x80-0x9F. The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 control of the same value, as the
// system's converter maps them, so that every byte converts and round-trips.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct Windows1252 {
  static constexpr char32_t kDefault = '?';
  static constexpr bool kAsciiBytes = true;
  static constexpr uint32_t kAsciiLength = 1;
  static void PutAscii(unsigned char c, unsigned char* out) { out[0] = c; }

  static Decoded Decode(unsigned char const* s, uint32_t, bool) {
    unsigned char b = s[0];
    return Ok(1, b >= 0x80 && b < 0xA0 ? k1252High[b - 0x80] : b);
  }

  // The byte count written to `out`, 0 when the set has no such character.
  static uint32_t Encode(char32_t cp, unsigned char* out) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out[0] = static_cast<unsigned char>(cp);
      return 1;
    }
    for (unsigned i = 0; i < 32; ++i)
      if (k1252High[i] == cp) {
        out[0] = static_cast<unsigned char>(0x80 + i);
        return 1;
      }
    return 0;
  }
};

// ------------------------------------------------------------------ UTF-8

// Shortest forms only: overlong forms, surrogates and code points above
// U+10FFFF are invalid.
struct Utf8 {
  static constexpr char32_t kDefault = kReplacement;
  static constexpr bool kAsciiBytes = true;
  static constexpr uint32_t kAsciiLength = 1;
  static void PutAscii(unsigned char c, unsigned char* out) { out[0] = c; }

  static Decoded Decode(unsigned char const* s, uint32_t n, bool endOfInput) {
    unsigned b0 = s[0];
    if (b0 < 0x80)
      return Ok(1, b0);
    if (b0 < 0xC2 || b0 > 0xF4)
      return Invalid(1);
    uint32_t need = b0 < 0xE0 ? 1 : b0 < 0xF0 ? 2 : 3;
    // The second byte's range excludes overlong forms (E0, F0), surrogates
    // (ED) and code points past U+10FFFF (F4).
    unsigned lo = b0 == 0xE0 ? 0xA0 : b0 == 0xF0 ? 0x90 : 0x80;
    unsigned hi = b0 == 0xED ? 0x9F : b0 == 0xF4 ? 0x8F : 0xBF;
    char32_t cp = b0 & (0x3Fu >> need);
    for (uint32_t i = 1; i <= need; ++i) {
      if (i >= n)
        return endOfInput ? Invalid(i) : Incomplete();
      if (s[i] < lo || s[i] > hi)
        return Invalid(i);
      cp = (cp << 6) | (s[i] & 0x3F);
      lo = 0x80;
      hi = 0xBF;
    }
    return Ok(need + 1, cp);
  }

  static uint32_t Encode(char32_t cp, unsigned char* out) {
    if (cp < 0x80) {
      out[0] = static_cast<unsigned char>(cp);
      return 1;
    }
    if (cp < 0x800) {
      out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
      out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      return 2;
    }
    if (cp < 0x10000) {
      out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
      out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 4;
  }
};

// ----------------------------------------------------------------- UTF-16

// Surrogate pairs decode to one code point; a lone surrogate is invalid and
// so is an odd byte at the end of the input.
template <bool BigEndian> struct Utf16 {
  static constexpr char32_t kDefault = kReplacement;
  static constexpr bool kAsciiBytes = false;
  static constexpr uint32_t kAsciiLength = 2;
  static void PutAscii(unsigned char c, unsigned char* out) { Store(c, out); }

  static char32_t Unit(unsigned char const* s) {
    return BigEndian ? static_cast<char32_t>(s[0] << 8 | s[1]) : static_cast<char32_t>(s[1] << 8 | s[0]);
  }
  static void Store(char32_t unit, unsigned char* out) {
    out[BigEndian ? 0 : 1] = static_cast<unsigned char>(unit >> 8);
    out[BigEndian ? 1 : 0] = static_cast<unsigned char>(unit & 0xFF);
  }

  static Decoded Decode(unsigned char const* s, uint32_t n, bool endOfInput) {
    if (n < 2)
      return endOfInput ? Invalid(n) : Incomplete();
    char32_t unit = Unit(s);
    if (unit < 0xD800 || unit > 0xDFFF)
      return Ok(2, unit);
    if (unit >= 0xDC00)
      return Invalid(2);
    if (n < 4)
      return endOfInput ? Invalid(2) : Incomplete();
    char32_t low = Unit(s + 2);
    if (low < 0xDC00 || low > 0xDFFF)
      return Invalid(2);
    return Ok(4, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
  }

  static uint32_t Encode(char32_t cp, unsigned char* out) {
    if (cp < 0x10000) {
      Store(cp, out);
      return 2;
    }
    cp -= 0x10000;
    Store(0xD800 + (cp >> 10), out);
    Store(0xDC00 + (cp & 0x3FF), out + 2);
    return 4;
  }
};

using Utf16LE = Utf16<false>;
using Utf16BE = Utf16<true>;
using Native = Utf16<kHostBigEndian>;

// The conversion loop: one character at a time, never past the capacity,
// never part of a character; a strict stop leaves the invalid sequence
// unconsumed and answers false.
template <class From, class To>
bool Run(unsigned char const* source, uint32_t count, uint32_t& sourceUsed, unsigned char* destination,
         uint32_t capacity, uint32_t& written, bool endOfInput, bool strict) {
  uint32_t used = 0;
  uint32_t out = 0;
  bool ok = true;
  while (used < count) {
    if constexpr (From::kAsciiBytes) {
      // Runs of ASCII, the bulk of most texts, skip the general path.
      uint32_t run = count - used;
      uint32_t room = (capacity - out) / To::kAsciiLength;
      uint32_t most = run < room ? run : room;
      uint32_t i = 0;
      for (; i < most && source[used + i] < 0x80; ++i)
        To::PutAscii(source[used + i], destination + out + i * To::kAsciiLength);
      used += i;
      out += i * To::kAsciiLength;
      if (used == count)
        break;
    }
    Decoded d = From::Decode(source + used, count - used, endOfInput);
    if (d.status == Status::Incomplete)
      break;
    if (d.status == Status::Invalid && strict) {
      ok = false;
      break;
    }
    // With room for the longest character the encoder writes in place;
    // near the end of the room it writes aside and only what fits is kept.
    unsigned char aside[4];
    bool roomy = capacity - out >= sizeof aside;
    unsigned char* target = roomy ? destination + out : aside;
    uint32_t length = To::Encode(d.cp, target);
    if (length == 0) {
      if (strict) {
        ok = false;
        break;
      }
      length = To::Encode(To::kDefault, target);
    }
    if (!roomy) {
      if (length > capacity - out)
        break;
      std::memcpy(destination + out, aside, length);
    }
    out += length;
    used += d.length;
  }
  sourceUsed = used;
  written = out;
  return ok;
}

// The built-in sets, in the order of the tables below.
int Index(ZEB::CHARSET set) {
  switch (set) {
  case ZEB::CHARSET_WINDOWS_1252:
    return 0;
  case ZEB::CHARSET_UTF8:
    return 1;
  case ZEB::CHARSET_UTF16LE:
    return 2;
  case ZEB::CHARSET_UTF16BE:
    return 3;
  default:
    return -1;
  }
}

template <class From> constexpr ConversionFunction kRow[4] = {
    &Run<From, Windows1252>, &Run<From, Utf8>, &Run<From, Utf16LE>, &Run<From, Utf16BE>};

constexpr ConversionFunction const* kDirect[4] = {kRow<Windows1252>, kRow<Utf8>, kRow<Utf16LE>, kRow<Utf16BE>};
constexpr ConversionFunction kToWide[4] = {&Run<Windows1252, Native>, &Run<Utf8, Native>, &Run<Utf16LE, Native>,
                                           &Run<Utf16BE, Native>};
constexpr ConversionFunction kFromWide[4] = {&Run<Native, Windows1252>, &Run<Native, Utf8>,
                                             &Run<Native, Utf16LE>, &Run<Native, Utf16BE>};

} // namespace

ConversionFunction BuiltInToWide(ZEB::CHARSET set) {
  int i = Index(set);
  return i < 0 ? nullptr : kToWide[i];
}

ConversionFunction BuiltInFromWide(ZEB::CHARSET set) {
  int i = Index(set);
  return i < 0 ? nullptr : kFromWide[i];
}

ConversionFunction BuiltInDirect(ZEB::CHARSET from, ZEB::CHARSET to) {
  int i = Index(from);
  int j = Index(to);
  return i < 0 || j < 0 ? nullptr : kDirect[i][j];
}

} // namespace ZEBCharset::Detail
