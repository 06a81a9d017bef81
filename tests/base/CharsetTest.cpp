// Code-page conversion: the built-in sets byte for byte, the platform's code
// pages through the same interface, and the counting contract every
// conversion function keeps (exact counts, no write past the capacity, no
// character split).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ZEBCharset/Conv.h"
#include "ZEBPlatform/Config.h"
#include "ZEBPlatform/Win32.h"

using ZEB::CHARSET;
using ZEBCharset::Conv;
using ZEBCharset::ConversionFunction;

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values)
    out += static_cast<char>(v);
  return out;
}

// Wide text as the bytes of a set: little- or big-endian 16-bit units.
std::string Utf16(std::u16string const& text, bool bigEndian) {
  std::string out;
  for (char16_t unit : text) {
    char hi = static_cast<char>(unit >> 8);
    char lo = static_cast<char>(unit & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

std::string NativeBytes(std::u16string const& text) {
  return std::string(reinterpret_cast<char const*>(text.data()), text.size() * 2);
}

std::u16string FromNativeBytes(std::string const& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(&out[0], bytes.data(), out.size() * 2);
  return out;
}

struct Result {
  bool ok;
  uint32_t used;
  std::string out;
};

// One call with a guard zone behind the capacity that must stay untouched.
template <class Function>
Result Call(Function const& convert, std::string const& source, uint32_t capacity, bool endOfInput = false,
            bool strict = false) {
  constexpr unsigned char kGuard = 0xA5;
  std::vector<unsigned char> destination(capacity + 64, kGuard);
  uint32_t used = 12345, written = 54321;
  bool ok = convert(reinterpret_cast<unsigned char const*>(source.data()), static_cast<uint32_t>(source.size()),
                    used, destination.data(), capacity, written, endOfInput, strict);
  EXPECT_LE(used, source.size());
  EXPECT_LE(written, capacity);
  for (std::size_t i = capacity; i < destination.size(); ++i)
    if (destination[i] != kGuard) {
      ADD_FAILURE() << "byte " << i << " written past the capacity " << capacity;
      break;
    }
  return {ok, used, std::string(reinterpret_cast<char const*>(destination.data()), written)};
}

std::string Hex(std::string const& bytes) {
  static char const digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out;
}

} // namespace

// ------------------------------------------------------------ Windows-1252

TEST(Charset1252, HighHalfFollowsTheCodePageTable) {
  struct Row {
    int byte;
    char16_t unit;
  } rows[] = {{0x80, 0x20AC}, {0x82, 0x201A}, {0x8A, 0x0160}, {0x99, 0x2122}, {0x9F, 0x0178},
              {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}, {0x41, u'A'},   {0x00, 0}};
  for (auto const& row : rows) {
    SCOPED_TRACE(row.byte);
    EXPECT_EQ(ZEBCharset::ToWide(ZEB::CHARSET_WINDOWS_1252, Bytes({row.byte})), std::u16string(1, row.unit));
    EXPECT_EQ(ZEBCharset::FromWide(ZEB::CHARSET_WINDOWS_1252, std::u16string(1, row.unit)), Bytes({row.byte}));
  }
}

TEST(Charset1252, UndefinedBytesMapToTheSameCodePointAndBack) {
  for (int byte : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    SCOPED_TRACE(byte);
    EXPECT_EQ(ZEBCharset::ToWide(ZEB::CHARSET_WINDOWS_1252, Bytes({byte})), std::u16string(1, char16_t(byte)));
    EXPECT_EQ(ZEBCharset::FromWide(ZEB::CHARSET_WINDOWS_1252, std::u16string(1, char16_t(byte))), Bytes({byte}));
  }
}

TEST(Charset1252, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b)
    all += static_cast<char>(b);
  std::u16string wide = ZEBCharset::ToWide(ZEB::CHARSET_WINDOWS_1252, all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(ZEBCharset::FromWide(ZEB::CHARSET_WINDOWS_1252, wide), all);
}

TEST(Charset1252, CharacterOutsideTheSetIsQuestionMarkOrStrictStop) {
  ConversionFunction toSet = Conv::WcToMbConversionFunction(ZEB::CHARSET_WINDOWS_1252);
  std::string source = NativeBytes(u"a\u0410b\U0001F600c");
  Result lenient = Call(toSet, source, 16, true);
  EXPECT_TRUE(lenient.ok);
  EXPECT_EQ(lenient.out, "a?b?c");
  EXPECT_EQ(lenient.used, source.size());

  Result strict = Call(toSet, source, 16, true, true);
  EXPECT_FALSE(strict.ok);
  EXPECT_EQ(strict.out, "a");
  EXPECT_EQ(strict.used, 2u); // stops before the character it cannot write
}

// ------------------------------------------------------------------ UTF-8

TEST(CharsetUtf8, DecodesValidAndReplacesInvalidSequences) {
  struct Row {
    char const* what;
    std::string bytes;
    std::u16string wide;
  } rows[] = {
      {"ascii", "plain", u"plain"},
      {"two to four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u00E9\u20AC\U0001F600"},
      {"largest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"overlong two bytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"overlong four bytes", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"never a lead byte", "a\xF5\xFF" "b", u"a\uFFFD\uFFFDb"},
      {"lone continuation", "\x80" "x", u"\uFFFDx"},
      {"cut sequence is one replacement", "\xE2\x82" "A", u"\uFFFDA"},
      {"cut four-byte sequence", "\xF0\x9F\x98" "A", u"\uFFFDA"},
      {"truncated at the end", "abc\xE2\x82", u"abc\uFFFD"},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(ZEBCharset::ToWide(ZEB::CHARSET_UTF8, row.bytes), row.wide);
  }
}

TEST(CharsetUtf8, IncompleteEndWaitsForMoreInputUnlessTheInputEnds) {
  ConversionFunction toWide = Conv::MbToWcConversionFunction(ZEB::CHARSET_UTF8);
  std::string source = "a\xF0\x9F\x98";
  Result waiting = Call(toWide, source, 64);
  EXPECT_TRUE(waiting.ok);
  EXPECT_EQ(waiting.used, 1u);
  EXPECT_EQ(FromNativeBytes(waiting.out), u"a");

  Result ended = Call(toWide, source, 64, true);
  EXPECT_EQ(ended.used, 4u);
  EXPECT_EQ(FromNativeBytes(ended.out), u"a\uFFFD");

  Result strict = Call(toWide, source, 64, true, true);
  EXPECT_FALSE(strict.ok);
  EXPECT_EQ(strict.used, 1u);
}

TEST(CharsetUtf8, StrictStopsBeforeTheInvalidSequence) {
  ConversionFunction toWide = Conv::MbToWcConversionFunction(ZEB::CHARSET_UTF8);
  Result strict = Call(toWide, "ab\xC0\x80" "cd", 64, true, true);
  EXPECT_FALSE(strict.ok);
  EXPECT_EQ(strict.used, 2u);
  EXPECT_EQ(FromNativeBytes(strict.out), u"ab");

  // A lone surrogate on the wide side has no UTF-8 form.
  ConversionFunction toUtf8 = Conv::WcToMbConversionFunction(ZEB::CHARSET_UTF8);
  std::string wide = NativeBytes(std::u16string(u"x") + char16_t(0xDC00) + u"y");
  Result lone = Call(toUtf8, wide, 64, true, true);
  EXPECT_FALSE(lone.ok);
  EXPECT_EQ(lone.used, 2u);
  EXPECT_EQ(lone.out, "x");
  EXPECT_EQ(Call(toUtf8, wide, 64, true).out, "x\xEF\xBF\xBDy");
}

TEST(CharsetUtf8, CapacityNeverCutsACharacter) {
  ConversionFunction toWide = Conv::MbToWcConversionFunction(ZEB::CHARSET_UTF8);
  // "a" then U+1F600, a surrogate pair of 4 bytes: 5 bytes of room hold only "a".
  Result pair = Call(toWide, "a\xF0\x9F\x98\x80", 5, true);
  EXPECT_TRUE(pair.ok);
  EXPECT_EQ(pair.used, 1u);
  EXPECT_EQ(pair.out.size(), 2u);

  ConversionFunction toUtf8 = Conv::WcToMbConversionFunction(ZEB::CHARSET_UTF8);
  std::string wide = NativeBytes(u"\u00E9\u20AC\U0001F600");
  struct Row {
    uint32_t capacity;
    uint32_t used;
    std::string out;
  } rows[] = {{0, 0, ""},
              {1, 0, ""},
              {2, 2, "\xC3\xA9"},
              {4, 2, "\xC3\xA9"},
              {5, 4, "\xC3\xA9\xE2\x82\xAC"},
              {8, 4, "\xC3\xA9\xE2\x82\xAC"},
              {9, 8, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"}};
  for (auto const& row : rows) {
    SCOPED_TRACE(row.capacity);
    Result r = Call(toUtf8, wide, row.capacity, true);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.used, row.used);
    EXPECT_EQ(Hex(r.out), Hex(row.out));
  }
}

// Feeding a text in two pieces, keeping what the first call left, gives what
// one call gives: the consumed counts are exact at every cut.
TEST(CharsetUtf8, PiecewiseConversionMatchesWholeAtEveryCut) {
  std::string text = "z\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80q\xE2\x82" "A\xFF";
  ConversionFunction toWide = Conv::MbToWcConversionFunction(ZEB::CHARSET_UTF8);
  std::string whole = Call(toWide, text, 256, true).out;
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    SCOPED_TRACE(cut);
    Result first = Call(toWide, text.substr(0, cut), 256);
    Result second = Call(toWide, text.substr(first.used), 256, true);
    EXPECT_EQ(first.out + second.out, whole);
  }
}

// ----------------------------------------------------------------- UTF-16

TEST(CharsetUtf16, BothByteOrdersConvertAndRoundTrip) {
  std::u16string text = u"A\u0410\u20AC\U0001F600";
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "1201" : "1200");
    CHARSET set = bigEndian ? ZEB::CHARSET_UTF16BE : ZEB::CHARSET_UTF16LE;
    std::string bytes = Utf16(text, bigEndian);
    EXPECT_EQ(ZEBCharset::ToWide(set, bytes), text);
    EXPECT_EQ(ZEBCharset::FromWide(set, text), bytes);
    EXPECT_EQ(ZEBCharset::Convert(set, ZEB::CHARSET_UTF8, bytes), "A\xD0\x90\xE2\x82\xAC\xF0\x9F\x98\x80");
  }
  EXPECT_EQ(ZEBCharset::Convert(ZEB::CHARSET_UTF16LE, ZEB::CHARSET_UTF16BE, Utf16(text, false)), Utf16(text, true));
}

TEST(CharsetUtf16, OddByteAndCutPairWaitForMoreInput) {
  ConversionFunction be = Conv::MbToWcConversionFunction(ZEB::CHARSET_UTF16BE);
  std::string pair = Utf16(u"A\U0001F600", true);
  for (std::size_t cut : {3u, 4u, 5u}) { // inside the second unit, after the high surrogate, inside the low one
    SCOPED_TRACE(cut);
    Result r = Call(be, pair.substr(0, cut), 64);
    EXPECT_EQ(r.used, 2u);
    EXPECT_EQ(FromNativeBytes(r.out), u"A");
  }
  Result odd = Call(be, Bytes({0, 'A', 0}), 64, true);
  EXPECT_EQ(odd.used, 3u);
  EXPECT_EQ(FromNativeBytes(odd.out), u"A\uFFFD");
}

TEST(CharsetUtf16, LoneSurrogatesAreInvalid) {
  std::string bytes = Utf16(std::u16string(u"a") + char16_t(0xDC01) + u"b" + char16_t(0xD801) + u"c", false);
  EXPECT_EQ(ZEBCharset::ToWide(ZEB::CHARSET_UTF16LE, bytes), u"a\uFFFDb\uFFFDc");
  Result strict = Call(Conv::MbToWcConversionFunction(ZEB::CHARSET_UTF16LE), bytes, 64, true, true);
  EXPECT_FALSE(strict.ok);
  EXPECT_EQ(strict.used, 2u);
}

// ------------------------------------------------ the platform's code pages

TEST(CharsetSystem, CyrillicIn1251BothWays) {
  std::string bytes = Bytes({0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, ',', ' ', 0xA8, 0xB8, 0xB9});
  std::u16string text = u"\u041F\u0440\u0438\u0432\u0435\u0442, \u0401\u0451\u2116"; // Привет, Ёё№
  EXPECT_EQ(ZEBCharset::ToWide(ZEB::CHARSET_WINDOWS_1251, bytes), text);
  EXPECT_EQ(ZEBCharset::FromWide(ZEB::CHARSET_WINDOWS_1251, text), bytes);
  EXPECT_EQ(ZEBCharset::FromWide(ZEB::CHARSET_WINDOWS_1251, u"\u00E9"), "?");
  // To UTF-16BE through wide text, as property sets are read.
  EXPECT_EQ(ZEBCharset::Convert(ZEB::CHARSET_WINDOWS_1251, ZEB::CHARSET_UTF16BE, bytes), Utf16(text, true));
}

TEST(CharsetSystem, ShiftJisBothWays) {
  // 日本語, half-width katakana ｱ, ASCII.
  std::string bytes = Bytes({0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0xB1, 'a', 'b'});
  std::u16string text = u"\u65E5\u672C\u8A9E\uFF71ab";
  EXPECT_EQ(ZEBCharset::ToWide(ZEB::CHARSET_SHIFT_JIS, bytes), text);
  EXPECT_EQ(ZEBCharset::FromWide(ZEB::CHARSET_SHIFT_JIS, text), bytes);
  EXPECT_EQ(ZEBCharset::Convert(ZEB::CHARSET_SHIFT_JIS, ZEB::CHARSET_UTF8, bytes),
            "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xEF\xBD\xB1" "ab");
  EXPECT_EQ(ZEBCharset::Convert(ZEB::CHARSET_UTF8, ZEB::CHARSET_SHIFT_JIS, "\xE6\x97\xA5" "x"),
            Bytes({0x93, 0xFA, 'x'}));
}

TEST(CharsetSystem, DoubleByteCharacterIsNeverSplit) {
  ConversionFunction toWide = Conv::MbToWcConversionFunction(ZEB::CHARSET_SHIFT_JIS);
  std::string bytes = Bytes({'a', 0x93, 0xFA, 0x96, 0x7B});
  // The source ends after a lead byte: it waits for its second byte.
  Result cut = Call(toWide, bytes.substr(0, 4), 64);
  EXPECT_TRUE(cut.ok);
  EXPECT_EQ(cut.used, 3u);
  EXPECT_EQ(FromNativeBytes(cut.out), u"a\u65E5");
  // Room for two units: 'a' and one double-byte character.
  Result room = Call(toWide, bytes, 5);
  EXPECT_EQ(room.used, 3u);
  EXPECT_EQ(room.out.size(), 4u);

  ConversionFunction toSet = Conv::WcToMbConversionFunction(ZEB::CHARSET_SHIFT_JIS);
  Result narrow = Call(toSet, NativeBytes(u"a\u65E5\u672C"), 4);
  EXPECT_EQ(narrow.used, 4u); // 'a' and one kanji: the second would need 2 more bytes
  EXPECT_EQ(narrow.out, Bytes({'a', 0x93, 0xFA}));
}

TEST(CharsetSystem, StrictStopsAtAnInvalidDoubleByteSequence) {
  ConversionFunction toWide = Conv::MbToWcConversionFunction(ZEB::CHARSET_SHIFT_JIS);
  std::string bytes = Bytes({'a', 'b', 0x93, 0xFA, 0x81, 0x7F, 'c'});
  Result strict = Call(toWide, bytes, 64, true, true);
  EXPECT_FALSE(strict.ok);
  EXPECT_EQ(strict.used, 4u);
  EXPECT_EQ(FromNativeBytes(strict.out), u"ab\u65E5");
  Result lenient = Call(toWide, bytes, 64, true);
  EXPECT_TRUE(lenient.ok);
  EXPECT_EQ(lenient.used, bytes.size());

  ConversionFunction toSet = Conv::WcToMbConversionFunction(ZEB::CHARSET_WINDOWS_1251);
  Result unmappable = Call(toSet, NativeBytes(u"\u0416\u00E9\u0416"), 64, true, true);
  EXPECT_FALSE(unmappable.ok);
  EXPECT_EQ(unmappable.used, 2u);
  EXPECT_EQ(unmappable.out, Bytes({0xC6}));
}

// A conversion through wide text reports the source bytes behind exactly the
// part the destination took: converting with a tiny block in a loop gives
// the one-call result.
TEST(CharsetSystem, ConversionClassCountsExactlyWithSmallBlocks) {
  struct Row {
    CHARSET from;
    CHARSET to;
    std::string text;
  } rows[] = {
      {ZEB::CHARSET_WINDOWS_1251, ZEB::CHARSET_UTF8, Bytes({0xCF, 0xF0, 'x', 0xE8, 0xE2, 0xB9})},
      {ZEB::CHARSET_SHIFT_JIS, ZEB::CHARSET_UTF16BE, Bytes({0x93, 0xFA, 'q', 0x96, 0x7B, 0xB1, 0x8C, 0xEA})},
      {ZEB::CHARSET_UTF8, ZEB::CHARSET_SHIFT_JIS, "\xE6\x97\xA5z\xE6\x9C\xAC\xEF\xBD\xB1"},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(std::to_string(row.from) + " to " + std::to_string(row.to));
    Conv::ConversionClass convert(row.from, row.to);
    ASSERT_TRUE(convert.IsValid());
    std::string whole = Call(convert, row.text, 1024, true).out;
    ASSERT_FALSE(whole.empty());
    for (uint32_t block : {3u, 4u, 7u}) { // the longest character here takes 3 bytes
      SCOPED_TRACE(block);
      std::string pieces;
      for (std::size_t used = 0; used < row.text.size();) {
        Result r = Call(convert, row.text.substr(used), block, true);
        ASSERT_GT(r.used, 0u);
        used += r.used;
        pieces += r.out;
      }
      EXPECT_EQ(Hex(pieces), Hex(whole));
    }
  }
}

// ------------------------------------------------------- what is offered

TEST(CharsetConv, ImplementedExactlyForCodePagesThatConvert) {
  for (int set : {1252, 1200, 1201, 65001, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950,
                  437, 850, 866, 10000, 28591, 20866}) {
    SCOPED_TRACE(set);
    EXPECT_TRUE(Conv::IsImplemented(static_cast<CHARSET>(set)));
    EXPECT_NE(Conv::MbToWcConversionFunction(static_cast<CHARSET>(set)), nullptr);
    EXPECT_NE(Conv::WcToMbConversionFunction(static_cast<CHARSET>(set)), nullptr);
    if (!Conv::IsWCCS(static_cast<CHARSET>(set))) {
      EXPECT_EQ(ZEBCharset::ToWide(static_cast<CHARSET>(set), "Az"), u"Az");
    }
  }
  // Not code pages, pseudo code pages, and pages of characters longer than
  // two bytes (GB18030, UTF-7, EUC-JP, ISO-2022-JP).
  for (int set : {0, 1, 2, 3, 42, 999, 12345, 54936, 65000, 20932, 50220, 70000}) {
    SCOPED_TRACE(set);
    EXPECT_FALSE(Conv::IsImplemented(static_cast<CHARSET>(set)));
    EXPECT_EQ(Conv::MbToWcConversionFunction(static_cast<CHARSET>(set)), nullptr);
    EXPECT_EQ(Conv::WcToMbConversionFunction(static_cast<CHARSET>(set)), nullptr);
    EXPECT_FALSE(Conv::ConversionClass(static_cast<CHARSET>(set), ZEB::CHARSET_UTF8).IsValid());
    EXPECT_EQ(ZEBCharset::ToWide(static_cast<CHARSET>(set), "abc"), u"");
    EXPECT_EQ(ZEBCharset::Convert(ZEB::CHARSET_UTF8, static_cast<CHARSET>(set), "abc"), "");
  }
}

TEST(CharsetConv, WideSetsAndDirectConversions) {
  EXPECT_TRUE(Conv::IsWCCS(ZEB::CHARSET_UTF16LE));
  EXPECT_TRUE(Conv::IsWCCS(ZEB::CHARSET_UTF16BE));
  EXPECT_FALSE(Conv::IsWCCS(ZEB::CHARSET_UTF8));
  EXPECT_FALSE(Conv::IsWCCS(ZEB::CHARSET_SHIFT_JIS));

  ConversionFunction direct = Conv::FastConversionFunction(ZEB::CHARSET_WINDOWS_1252, ZEB::CHARSET_UTF16BE);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(Call(direct, Bytes({'A', 0x80}), 16, true).out, Bytes({0, 'A', 0x20, 0xAC}));
  EXPECT_EQ(Conv::FastConversionFunction(ZEB::CHARSET_WINDOWS_1251, ZEB::CHARSET_UTF16BE), nullptr);
}

TEST(CharsetConv, SystemCharsetConverts) {
  CHARSET system = ZEBCharset::SystemCharset();
  EXPECT_TRUE(Conv::IsImplemented(system));
  EXPECT_EQ(ZEBCharset::FromWide(system, ZEBCharset::ToWide(system, "path\\name.txt")), "path\\name.txt");
}

TEST(CharsetConv, LongTextCrossesTheBlockSize) {
  std::string text;
  for (int i = 0; i < 3000; ++i)
    text += "\xE2\x82\xAC\xC3\xA9" "a";
  std::u16string wide = ZEBCharset::ToWide(ZEB::CHARSET_UTF8, text);
  ASSERT_EQ(wide.size(), 9000u);
  EXPECT_EQ(wide.substr(8997), u"\u20AC\u00E9a");
  EXPECT_EQ(ZEBCharset::FromWide(ZEB::CHARSET_UTF8, wide), text);
  std::string jis = ZEBCharset::FromWide(ZEB::CHARSET_SHIFT_JIS, std::u16string(5000, u'\u65E5'));
  EXPECT_EQ(jis.size(), 10000u);
  EXPECT_EQ(ZEBCharset::ToWide(ZEB::CHARSET_SHIFT_JIS, jis), std::u16string(5000, u'\u65E5'));
}

// ------------------------------------------- the platform's Win32 contract

TEST(CodePageApi, SizesBuffersAndErrors) {
  char const* text = "\xCF\xF0\xE8"; // При
  EXPECT_EQ(MultiByteToWideChar(1251, 0, text, 3, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(1251, 0, text, -1, nullptr, 0), 4); // with the terminator
  WCHAR wide[8] = {};
  EXPECT_EQ(MultiByteToWideChar(1251, 0, text, -1, wide, 8), 4);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t const*>(wide)), u"\u041F\u0440\u0438");

  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(1251, 0, text, 3, wide, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xC0\x80", 3, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

  WCHAR const source[] = {0x0416, 0x00E9, 0};
  char narrow[8] = {};
  BOOL usedDefault = FALSE;
  // Without WC_NO_BEST_FIT_CHARS Windows would give the best fit 'e'; the
  // POSIX layer has no best-fit mapping.
  EXPECT_EQ(WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, source, 2, narrow, 8, nullptr, &usedDefault), 2);
  EXPECT_EQ(std::string(narrow, 2), Bytes({0xC6, '?'}));
  EXPECT_TRUE(usedDefault);

  // Wine only: it converts instead of rejecting the used-default flag for UTF-8.
  if (ZEBPlatform::LiveSystem() != ZEBPlatform::System::Wine) {
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, source, 2, narrow, 8, nullptr, &usedDefault), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST(CodePageApi, CodePageInformation) {
  CPINFO info{};
  ASSERT_TRUE(GetCPInfo(932, &info));
  EXPECT_EQ(info.MaxCharSize, 2u);
  auto isLead = [&](int byte) {
    for (int i = 0; i + 1 < MAX_LEADBYTES && (info.LeadByte[i] || info.LeadByte[i + 1]); i += 2)
      if (byte >= info.LeadByte[i] && byte <= info.LeadByte[i + 1])
        return true;
    return false;
  };
  EXPECT_TRUE(isLead(0x81));
  EXPECT_TRUE(isLead(0x9F));
  EXPECT_TRUE(isLead(0xE0));
  EXPECT_FALSE(isLead(0x41));
  EXPECT_FALSE(isLead(0xB1)); // half-width katakana are single bytes

  ASSERT_TRUE(GetCPInfo(1251, &info));
  EXPECT_EQ(info.MaxCharSize, 1u);
  EXPECT_TRUE(IsValidCodePage(1251));
  EXPECT_TRUE(IsValidCodePage(932));
  EXPECT_FALSE(IsValidCodePage(12345));
}

// Random bytes, as a damaged property set would hand them over: every set
// to every target, in blocks of random size, gives the one-call result and
// always makes progress.
TEST(CharsetConv, RandomBytesConvertTheSameInAnyBlockSize) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  CHARSET const sources[] = {ZEB::CHARSET_WINDOWS_1252, ZEB::CHARSET_UTF8, ZEB::CHARSET_UTF16LE,
                             ZEB::CHARSET_UTF16BE, ZEB::CHARSET_WINDOWS_1251, ZEB::CHARSET_SHIFT_JIS};
  CHARSET const targets[] = {ZEB::CHARSET_UTF8, ZEB::CHARSET_UTF16BE, ZEB::CHARSET_SHIFT_JIS};
  for (int round = 0; round < 150; ++round) {
    std::string bytes;
    for (unsigned n = next() % 40; n > 0; --n) {
      unsigned r = next();
      // Mostly high bytes and the bytes that start or end sequences.
      static int const interesting[] = {0x00, 0x41, 0x80, 0x81, 0x9F, 0xBF, 0xC2, 0xD8, 0xDC, 0xE0, 0xED, 0xF0, 0xF4, 0xFF};
      bytes += static_cast<char>(r % 3 ? interesting[(r >> 2) % 14] : (r >> 4) & 0xFF);
    }
    for (CHARSET from : sources)
      for (CHARSET to : targets) {
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(from) + " to " + std::to_string(to) +
                     ": " + Hex(bytes));
        ConversionFunction direct = Conv::FastConversionFunction(from, to);
        Conv::ConversionClass through(from, to);
        auto convert = [&](unsigned char const* s, uint32_t n, uint32_t& used, unsigned char* d, uint32_t cap,
                           uint32_t& written, bool end, bool strict) {
          return direct ? direct(s, n, used, d, cap, written, end, strict)
                        : through(s, n, used, d, cap, written, end, strict);
        };
        std::string whole = Call(convert, bytes, 1024, true).out;
        std::string pieces;
        for (std::size_t used = 0; used < bytes.size();) {
          Result r = Call(convert, bytes.substr(used), 4 + next() % 6, true);
          ASSERT_GT(r.used, 0u);
          used += r.used;
          pieces += r.out;
        }
        EXPECT_EQ(Hex(pieces), Hex(whole));
      }
  }
}
