// Code pages converted by the operating system (MultiByteToWideChar and
// WideCharToMultiByte). Those calls convert whole texts only, so the
// converters here cut the source at character boundaries (from the page's
// lead bytes, or the surrogate pairs on the wide side), convert a piece into
// a scratch block and keep it only when it fits, halving the piece when it
// does not. Only pages of one- and two-byte characters qualify: their
// boundaries are known from the lead bytes alone.
#include "Converters.h"

#include <array>
#include <atomic>
#include <cstring>
#include <utility>

#include "ZEBPlatform/Win32.h"

namespace ZEBCharset::Detail {

namespace {

// Windows code pages that may convert through the platform. 1252 and 65001
// are built in.
constexpr int kCodePages[] = {
    37,    437,   500,   737,   775,   850,   852,   855,   857,   858,   860,   861,   862,   863,
    864,   865,   866,   869,   870,   874,   875,   932,   936,   949,   950,   1026,  1047,  1140,
    1141,  1142,  1143,  1144,  1145,  1146,  1147,  1148,  1149,  1250,  1251,  1253,  1254,  1255,
    1256,  1257,  1258,  1361,  10000, 10007, 10017, 10029, 10079, 20127, 20273, 20277, 20278, 20280,
    20284, 20285, 20290, 20297, 20420, 20423, 20424, 20866, 20871, 20880, 20905, 21025, 21866, 28591,
    28592, 28593, 28594, 28595, 28596, 28597, 28598, 28599, 28603, 28605, 38598, 51936, 51949,
};
constexpr std::size_t kCount = sizeof kCodePages / sizeof kCodePages[0];

// Characters per piece handed to the platform; the scratch blocks hold the
// worst case of two units (or two bytes) per character.
constexpr uint32_t kPieceChars = 512;

int IndexOf(ZEB::CHARSET set) {
  for (std::size_t i = 0; i < kCount; ++i)
    if (kCodePages[i] == set)
      return static_cast<int>(i);
  return -1;
}

bool IsLeadByte(CPINFO const& info, unsigned char byte) {
  for (int i = 0; i + 1 < MAX_LEADBYTES && (info.LeadByte[i] || info.LeadByte[i + 1]); i += 2)
    if (byte >= info.LeadByte[i] && byte <= info.LeadByte[i + 1])
      return true;
  return false;
}

bool PageInfo(UINT codePage, CPINFO& info) { return GetCPInfo(codePage, &info) && info.MaxCharSize <= 2; }

// The end of `chars` characters of a page from `begin`; stops before a
// character cut by the end of the source unless the source ends there.
uint32_t MbCharsEnd(CPINFO const& info, unsigned char const* source, uint32_t begin, uint32_t count,
                    uint32_t chars, bool endOfInput) {
  uint32_t end = begin;
  for (; chars > 0 && end < count; --chars) {
    uint32_t length = IsLeadByte(info, source[end]) ? 2 : 1;
    if (length > count - end) {
      if (!endOfInput)
        break;
      length = count - end;
    }
    end += length;
  }
  return end;
}

// The units of `chars` characters of native wide text from the start of
// `units`; a high surrogate at the end of the block goes with the next block
// when more text follows, and waits for more input unless the source ends.
uint32_t WcCharsEnd(WCHAR const* units, uint32_t available, uint32_t chars, bool moreFollows, bool endOfInput) {
  uint32_t end = 0;
  for (; chars > 0 && end < available; --chars) {
    bool high = units[end] >= 0xD800 && units[end] <= 0xDBFF;
    if (high && end + 1 == available && (moreFollows || !endOfInput))
      break;
    end += high && end + 1 < available && units[end + 1] >= 0xDC00 && units[end + 1] <= 0xDFFF ? 2 : 1;
  }
  return end;
}

bool SystemToWideRun(UINT codePage, unsigned char const* source, uint32_t count, uint32_t& sourceUsed,
                     unsigned char* destination, uint32_t capacity, uint32_t& written, bool endOfInput,
                     bool strict) {
  sourceUsed = written = 0;
  CPINFO info;
  if (!PageInfo(codePage, info))
    return false;
  WCHAR scratch[2 * kPieceChars];
  while (sourceUsed < count) {
    uint32_t room = (capacity - written) / 2;
    uint32_t chars = room < kPieceChars ? room : kPieceChars;
    for (;;) {
      uint32_t end = MbCharsEnd(info, source, sourceUsed, count, chars, endOfInput);
      if (end == sourceUsed)
        return true;
      int units = MultiByteToWideChar(codePage, strict ? DWORD(MB_ERR_INVALID_CHARS) : DWORD(0),
                                      reinterpret_cast<char const*>(source + sourceUsed),
                                      static_cast<int>(end - sourceUsed), scratch, 2 * kPieceChars);
      if (units <= 0 && !(strict && GetLastError() == ERROR_NO_UNICODE_TRANSLATION))
        return false;
      // Invalid somewhere in the piece, or too long for the room left: the
      // first half of it, down to the one character that fails or overflows.
      if (units <= 0 || static_cast<uint32_t>(units) > room) {
        if (chars <= 1)
          return units > 0;
        chars /= 2;
        continue;
      }
      std::memcpy(destination + written, scratch, static_cast<std::size_t>(units) * sizeof(WCHAR));
      written += static_cast<uint32_t>(units) * sizeof(WCHAR);
      sourceUsed = end;
      break;
    }
  }
  return true;
}

bool SystemFromWideRun(UINT codePage, unsigned char const* source, uint32_t count, uint32_t& sourceUsed,
                       unsigned char* destination, uint32_t capacity, uint32_t& written, bool endOfInput,
                       bool strict) {
  sourceUsed = written = 0;
  CPINFO info;
  if (!PageInfo(codePage, info))
    return false;
  WCHAR units[kPieceChars];
  char scratch[2 * kPieceChars];
  while (sourceUsed < count) {
    uint32_t room = capacity - written;
    uint32_t left = (count - sourceUsed) / sizeof(WCHAR);
    if (left == 0) {
      // An odd byte at the very end: half a unit.
      if (!endOfInput)
        return true;
      if (strict)
        return false;
      if (room == 0)
        return true;
      destination[written++] = info.DefaultChar[0];
      ++sourceUsed;
      continue;
    }
    uint32_t available = left < kPieceChars ? left : kPieceChars;
    std::memcpy(units, source + sourceUsed, available * sizeof(WCHAR));
    uint32_t chars = room < kPieceChars ? room : kPieceChars;
    for (;;) {
      uint32_t end = WcCharsEnd(units, available, chars, left > available, endOfInput);
      if (end == 0)
        return true;
      BOOL usedDefault = FALSE;
      int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, static_cast<int>(end), scratch,
                                      static_cast<int>(sizeof scratch), nullptr, strict ? &usedDefault : nullptr);
      if (bytes <= 0)
        return false;
      // A character without a mapping (strict), or too long for the room
      // left: the first half of the piece, down to the one character.
      if (usedDefault || static_cast<uint32_t>(bytes) > room) {
        if (chars <= 1)
          return !usedDefault;
        chars /= 2;
        continue;
      }
      std::memcpy(destination + written, scratch, static_cast<std::size_t>(bytes));
      written += static_cast<uint32_t>(bytes);
      sourceUsed += end * sizeof(WCHAR);
      break;
    }
  }
  return true;
}

template <std::size_t I>
bool ToWideAt(unsigned char const* source, uint32_t count, uint32_t& sourceUsed, unsigned char* destination,
              uint32_t capacity, uint32_t& written, bool endOfInput, bool strict) {
  return SystemToWideRun(static_cast<UINT>(kCodePages[I]), source, count, sourceUsed, destination, capacity,
                         written, endOfInput, strict);
}

template <std::size_t I>
bool FromWideAt(unsigned char const* source, uint32_t count, uint32_t& sourceUsed, unsigned char* destination,
                uint32_t capacity, uint32_t& written, bool endOfInput, bool strict) {
  return SystemFromWideRun(static_cast<UINT>(kCodePages[I]), source, count, sourceUsed, destination, capacity,
                           written, endOfInput, strict);
}

template <std::size_t... I> constexpr std::array<ConversionFunction, kCount> ToWideTable(std::index_sequence<I...>) {
  return {{&ToWideAt<I>...}};
}
template <std::size_t... I>
constexpr std::array<ConversionFunction, kCount> FromWideTable(std::index_sequence<I...>) {
  return {{&FromWideAt<I>...}};
}

constexpr auto kToWide = ToWideTable(std::make_index_sequence<kCount>());
constexpr auto kFromWide = FromWideTable(std::make_index_sequence<kCount>());

// Whether the platform converts the page: it knows it, its characters are
// one or two bytes, and a space converts. Asked once per page.
bool Converts(std::size_t i) {
  static std::atomic<signed char> known[kCount];
  signed char state = known[i].load(std::memory_order_acquire);
  if (state == 0) {
    UINT codePage = static_cast<UINT>(kCodePages[i]);
    CPINFO info;
    WCHAR unit[2];
    bool converts = IsValidCodePage(codePage) && PageInfo(codePage, info) &&
                    MultiByteToWideChar(codePage, 0, " ", 1, unit, 2) == 1;
    state = converts ? 1 : -1;
    known[i].store(state, std::memory_order_release);
  }
  return state > 0;
}

} // namespace

ConversionFunction SystemToWide(ZEB::CHARSET set) {
  int i = IndexOf(set);
  return i >= 0 && Converts(static_cast<std::size_t>(i)) ? kToWide[static_cast<std::size_t>(i)] : nullptr;
}

ConversionFunction SystemFromWide(ZEB::CHARSET set) {
  int i = IndexOf(set);
  return i >= 0 && Converts(static_cast<std::size_t>(i)) ? kFromWide[static_cast<std::size_t>(i)] : nullptr;
}

} // namespace ZEBCharset::Detail
