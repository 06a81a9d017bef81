// Code-page conversion: the built-in sets and the platform's code pages, and
// the contract of every conversion function (exact counts, no write past the
// capacity, no character split).
#include <gtest/gtest.h>

#include <string>

#include "ZEBCharset/Conv.h"

using ZEB::CHARSET;
using ZEBCharset::Conv;
using ZEBCharset::ConversionFunction;
using ZEBCharset::FromWide;
using ZEBCharset::ToWide;

namespace {

std::string Bytes(std::initializer_list<int> values) { return std::string(values.begin(), values.end()); }

// Wide text as the bytes of a set: little- or big-endian 16-bit units.
std::string Utf16(std::u16string const& text, bool bigEndian) {
  std::string out;
  for (char16_t unit : text)
    out += bigEndian ? Bytes({unit >> 8, unit & 0xFF}) : Bytes({unit & 0xFF, unit >> 8});
  return out;
}

std::string Native(std::u16string const& text) {
  return std::string(reinterpret_cast<char const*>(text.data()), text.size() * 2);
}

struct Result {
  bool ok;
  uint32_t used;
  std::string out;
};

// One call with a guard zone behind the capacity that must stay untouched.
Result Call(ConversionFunction convert, std::string const& source, uint32_t capacity, bool endOfInput = true,
            bool strict = false) {
  std::string destination(capacity + 64, '\xA5');
  uint32_t used = 12345, written = 54321;
  bool ok = convert(reinterpret_cast<unsigned char const*>(source.data()), static_cast<uint32_t>(source.size()),
                    used, reinterpret_cast<unsigned char*>(&destination[0]), capacity, written, endOfInput, strict);
  EXPECT_LE(used, source.size());
  EXPECT_LE(written, capacity);
  EXPECT_EQ(destination.substr(capacity), std::string(64, '\xA5')) << "written past the capacity " << capacity;
  return {ok, used, destination.substr(0, written)};
}

ConversionFunction ToWideOf(CHARSET set) { return Conv::MbToWcConversionFunction(set); }
ConversionFunction FromWideOf(CHARSET set) { return Conv::WcToMbConversionFunction(set); }

} // namespace

// Text of each set both ways, in texts longer than the conversion blocks too;
// the undefined bytes of windows-1252 stand for the same code points.
TEST(Charset, TextConvertsBothWays) {
  std::string all, longUtf8;
  for (int b = 0; b < 256; ++b)
    all += static_cast<char>(b);
  std::u16string wide = ToWide(ZEB::CHARSET_WINDOWS_1252, all), longWide;
  ASSERT_EQ(wide.size(), 256u);
  for (auto [byte, unit] : {std::pair{0x80, 0x20AC}, {0x81, 0x81}, {0x8A, 0x0160}, {0x8D, 0x8D}, {0x99, 0x2122},
                            {0x9D, 0x9D}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xFF, 0x00FF}})
    EXPECT_EQ(wide[byte], unit) << byte;
  for (int i = 0; i < 3000; ++i)
    longUtf8 += "\xE2\x82\xAC\xC3\xA9" "a", longWide += u"\u20AC\u00E9a";
  std::u16string const text = u"A\u0410\u20AC\U0001F600";
  struct Row {
    CHARSET set;
    std::string bytes;
    std::u16string wide;
  } const rows[] = {
      {ZEB::CHARSET_WINDOWS_1252, all, wide},
      {ZEB::CHARSET_UTF8, "A\xD0\x90\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", text + u"\U0010FFFF"},
      {ZEB::CHARSET_UTF8, longUtf8, longWide},
      {ZEB::CHARSET_UTF16LE, Utf16(text, false), text},
      {ZEB::CHARSET_UTF16BE, Utf16(text, true), text},
      {ZEB::CHARSET_WINDOWS_1251, Bytes({0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, ',', ' ', 0xA8, 0xB8, 0xB9}),
       u"\u041F\u0440\u0438\u0432\u0435\u0442, \u0401\u0451\u2116"},
      {ZEB::CHARSET_SHIFT_JIS, Bytes({0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0xB1, 'a', 'b'}), // 日本語, half-width ｱ
       u"\u65E5\u672C\u8A9E\uFF71ab"},
      {ZEB::CHARSET_SHIFT_JIS, FromWide(ZEB::CHARSET_SHIFT_JIS, std::u16string(5000, u'\u65E5')),
       std::u16string(5000, u'\u65E5')},
      {CHARSET(874), Bytes({0x81, 0xA1}), u"\u0081\u0E01"}, // undefined bytes pass as C1 controls
  };
  for (Row const& row : rows) {
    SCOPED_TRACE(std::to_string(row.set) + ": " + testing::PrintToString(row.bytes.substr(0, 12)));
    EXPECT_EQ(ToWide(row.set, row.bytes), row.wide);
    EXPECT_EQ(FromWide(row.set, row.wide), row.bytes);
    EXPECT_EQ(ZEBCharset::Convert(row.set, ZEB::CHARSET_UTF16BE, row.bytes), Utf16(row.wide, true));
  }
  EXPECT_EQ(ZEBCharset::Convert(ZEB::CHARSET_UTF8, ZEB::CHARSET_SHIFT_JIS, "\xE6\x97\xA5x"), Bytes({0x93, 0xFA, 'x'}));
}

TEST(Charset, InvalidSequencesAreReplacedOrStopStrictConversions) {
  struct Row {
    char const* what;
    CHARSET set;
    std::string bytes;
    std::u16string wide;
    uint32_t strictUsed; // where a strict conversion stops
  } const rows[] = {
      {"overlong two bytes", ZEB::CHARSET_UTF8, "ab\xC0\xAF", u"ab\uFFFD\uFFFD", 2},
      {"overlong three bytes", ZEB::CHARSET_UTF8, "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", 0},
      {"overlong four bytes", ZEB::CHARSET_UTF8, "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD", 0},
      {"encoded surrogate", ZEB::CHARSET_UTF8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", 0},
      {"above U+10FFFF", ZEB::CHARSET_UTF8, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", 0},
      {"never a lead byte", ZEB::CHARSET_UTF8, "a\xF5\xFF" "b", u"a\uFFFD\uFFFDb", 1},
      {"lone continuation", ZEB::CHARSET_UTF8, "\x80" "x", u"\uFFFDx", 0},
      {"cut sequence", ZEB::CHARSET_UTF8, "\xF0\x9F\x98" "A", u"\uFFFDA", 0},
      {"cut at the end", ZEB::CHARSET_UTF8, "abc\xE2\x82", u"abc\uFFFD", 3},
      {"lone surrogates", ZEB::CHARSET_UTF16LE, Utf16(u"a\xDC01" u"b\xD801" u"c", false), u"a\uFFFDb\uFFFDc", 2},
      {"odd last byte", ZEB::CHARSET_UTF16BE, Bytes({0, 'A', 0}), u"A\uFFFD", 2},
      {"bad trail byte", ZEB::CHARSET_SHIFT_JIS, Bytes({'a', 'b', 0x93, 0xFA, 0x81, 0x7F, 'c'}), u"", 4},
  };
  for (Row const& row : rows) {
    SCOPED_TRACE(row.what);
    if (!row.wide.empty()) {
      EXPECT_EQ(ToWide(row.set, row.bytes), row.wide);
    }
    Result strict = Call(ToWideOf(row.set), row.bytes, 64, true, true);
    EXPECT_TRUE(!strict.ok && strict.used == row.strictUsed) << strict.used;
  }
  // Characters a set cannot hold: '?' (1252, 1251) or U+FFFD (UTF-8), or a strict stop before them.
  struct Out {
    CHARSET set;
    std::u16string wide;
    std::string lenient;
    uint32_t strictUsed;
  } const outs[] = {{ZEB::CHARSET_WINDOWS_1252, u"a\u0410b\U0001F600c", "a?b?c", 2},
                    {ZEB::CHARSET_UTF8, u"x\xDC00y", "x\xEF\xBF\xBDy", 2},
                    {ZEB::CHARSET_WINDOWS_1251, u"\u0416\u00E9\u0416", Bytes({0xC6, '?', 0xC6}), 2}};
  for (Out const& out : outs) {
    SCOPED_TRACE(out.set);
    EXPECT_EQ(Call(FromWideOf(out.set), Native(out.wide), 64).out, out.lenient);
    Result strict = Call(FromWideOf(out.set), Native(out.wide), 64, true, true);
    EXPECT_TRUE(!strict.ok && strict.used == out.strictUsed) << strict.used;
  }
}

// No character is split by the capacity: UTF-8 of characters of 2, 3 and 4
// bytes (2, 2 and 4 source bytes) at every capacity, Shift-JIS into an odd one.
TEST(Charset, CountsAreExactAndCharactersNeverSplit) {
  std::string const utf8 = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  for (uint32_t capacity = 0; capacity <= 10; ++capacity) {
    uint32_t fits = capacity >= 9 ? 9 : capacity >= 5 ? 5 : capacity >= 2 ? 2 : 0;
    Result r = Call(FromWideOf(ZEB::CHARSET_UTF8), Native(u"\u00E9\u20AC\U0001F600"), capacity);
    EXPECT_EQ(r.used, fits == 9 ? 8u : fits == 5 ? 4u : fits) << capacity;
    EXPECT_EQ(r.out, utf8.substr(0, fits)) << capacity;
  }
  Result r = Call(FromWideOf(ZEB::CHARSET_SHIFT_JIS), Native(u"a\u65E5\u672C"), 4);
  EXPECT_EQ(r.used, 4u);
  EXPECT_EQ(r.out, Bytes({'a', 0x93, 0xFA}));
}

TEST(Charset, ImplementedExactlyForCodePagesThatConvert) {
  for (int set : {1252, 1200, 1201, 65001, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950,
                  437, 850, 866, 10000, 28591, 20866}) {
    EXPECT_TRUE(Conv::IsImplemented(CHARSET(set)) && FromWideOf(CHARSET(set))) << set;
    EXPECT_EQ(Conv::IsWCCS(CHARSET(set)), set == 1200 || set == 1201) << set;
    EXPECT_TRUE(set == 1200 || set == 1201 || ToWide(CHARSET(set), "Az") == u"Az") << set;
  }
  // Not code pages, pseudo code pages, and pages of characters longer than
  // two bytes (GB18030, UTF-7, EUC-JP, ISO-2022-JP).
  for (int set : {0, 1, 2, 3, 42, 999, 12345, 54936, 65000, 20932, 50220, 70000}) {
    EXPECT_FALSE(Conv::IsImplemented(CHARSET(set)) || FromWideOf(CHARSET(set))) << set;
    EXPECT_FALSE(Conv::ConversionClass(CHARSET(set), ZEB::CHARSET_UTF8).IsValid()) << set;
    EXPECT_EQ(ZEBCharset::Convert(ZEB::CHARSET_UTF8, CHARSET(set), "abc"), "") << set;
  }
  auto direct = Conv::FastConversionFunction(ZEB::CHARSET_WINDOWS_1252, ZEB::CHARSET_UTF16BE);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(Call(direct, Bytes({'A', 0x80}), 16).out, Bytes({0, 'A', 0x20, 0xAC}));
  EXPECT_EQ(Conv::FastConversionFunction(ZEB::CHARSET_WINDOWS_1251, ZEB::CHARSET_UTF16BE), nullptr);
}
