// Values: Variant types and conversions, DateTime and file times.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "ZEB/DateTime.h"
#include "ZEB/Variant.h"

using ZEB::DateTime;
using ZEB::Variant;
using ZEB::WString;

namespace {

std::string Narrow(WString const& text) { return std::string(text.begin(), text.end()); }
Variant Text(char16_t const* text) { return Variant(WString(text), 0); }

constexpr uint64_t SECOND = 10000000;                   // file-time ticks
constexpr uint64_t EPOCH = 116444736000000000ULL;       // 1970-01-01 in file-time ticks
constexpr uint64_t OLDEST = EPOCH - 2147483648ULL * SECOND; // Unix time -2^31
constexpr uint64_t NEWEST = EPOCH + 2147483647ULL * SECOND; // Unix time 2^31 - 1

ZEB::FILETIME Ticks(uint64_t ticks) { return ZEB::FILETIME{uint32_t(ticks & 0xFFFFFFFFu), uint32_t(ticks >> 32)}; }

} // namespace

TEST(Variant, EachTypeHasItsTextAndCopiesCompareEqual) {
  struct Row {
    Variant value;
    char const* text;
  } const rows[] = {
      {Variant(true), "true"},
      {Variant(static_cast<short>(-32768)), "-32768"},
      {Variant(-7), "-7"},
      {Variant(4000000000u), "4000000000"},
      {Variant(0.1f), "0.1"},
      {Variant(1e20), "1e+20"},
      {Variant(DateTime(981173106)), "2001-02-03T04:05:06Z"},
      {Text(u"\u00E9t\u00E9"), "\xE9t\xE9"},
  };
  for (auto const& row : rows) {
    EXPECT_EQ(Narrow(row.value.AsWString()), row.text);
    Variant assigned = Text(u"before");
    assigned = row.value;
    EXPECT_TRUE(Variant(row.value) == row.value && assigned == row.value) << row.text;
  }
  EXPECT_FALSE(Variant(1) == Variant(1u)) << "same number, different type";
}

TEST(Variant, ConversionsWithinRangeOrThrow) {
  EXPECT_EQ(Variant(255).AsUChar(), 255);
  EXPECT_EQ(Variant(-32768).AsShort(), -32768);
  EXPECT_EQ(Variant(2147483647u).AsInt(), 2147483647);
  EXPECT_EQ(Variant(2.9).AsInt(), 2); // the fraction is dropped toward zero
  EXPECT_EQ(Variant(4294967295.0).AsUInt(), 4294967295u);
  EXPECT_TRUE(std::isinf(Variant(std::numeric_limits<double>::infinity()).AsFloat()));
  EXPECT_TRUE(Variant(-0.5).AsBool() && !Variant(0).AsBool());
  EXPECT_EQ(Text(u"-42").AsShort(), -42);
  EXPECT_EQ(Text(u"1e3").AsDouble(), 1000.0);
  EXPECT_TRUE(Text(u"TRUE").AsBool() && !Text(u"0").AsBool());
  EXPECT_EQ(Text(u"1970-01-02T00:00:01Z").AsDateTime().UnixTime(), 86401);
  struct Row {
    char const* what;
    void (*convert)();
  } const rows[] = {
      {"256 to uchar", [] { Variant(256).AsUChar(); }},
      {"40000 to short", [] { Variant(40000).AsShort(); }},
      {"2^31 to int", [] { Variant(2147483648u).AsInt(); }},
      {"-1 to uint", [] { Variant(-1).AsUInt(); }},
      {"4294967296.0 to uint", [] { Variant(4294967296.0).AsUInt(); }},
      {"infinity to int", [] { Variant(std::numeric_limits<float>::infinity()).AsInt(); }},
      {"1e39 to float", [] { Variant(1e39).AsFloat(); }},
      {"date to double", [] { Variant(DateTime(5)).AsDouble(); }},
      {"3000000000 to date", [] { Variant(3000000000u).AsDateTime(); }},
      {"nan to bool", [] { Variant(std::numeric_limits<double>::quiet_NaN()).AsBool(); }},
      {"empty to text", [] { Variant().AsWString(); }},
      {"'4x' to int", [] { Text(u"4x").AsInt(); }},
      {"'' to int", [] { Text(u"").AsInt(); }},
      {"'99999999999' to int", [] { Text(u"99999999999").AsInt(); }},
      {"'yes' to bool", [] { Text(u"yes").AsBool(); }},
      {"Feb 30 to date", [] { Text(u"2001-02-30T00:00:00Z").AsDateTime(); }},
  };
  for (auto const& row : rows)
    EXPECT_THROW(row.convert(), Variant::VariantException) << row.what;
}

// Unix times, their text (ISO 8601, UTC) and a file time within their
// second, up to both ends of the 32-bit range and not beyond.
TEST(DateTime, TextAndFileTimesWithinThe32BitRange) {
  struct Row {
    long long unixTime;
    char const* text;
    uint64_t ticks;
  } const rows[] = {
      {0, "1970-01-01T00:00:00Z", EPOCH},
      {0, "1970-01-01T00:00:00Z", EPOCH + SECOND - 1},
      {-1, "1969-12-31T23:59:59Z", EPOCH - 1},
      {951782400, "2000-02-29T00:00:00Z", EPOCH + 951782400ULL * SECOND},
      {1234567890, "2009-02-13T23:31:30Z", EPOCH + 1234567890ULL * SECOND + SECOND / 2},
      {-2147483648LL, "1901-12-13T20:45:52Z", OLDEST},
      {2147483647, "2038-01-19T03:14:07Z", NEWEST + SECOND - 1},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.text);
    DateTime date(row.unixTime);
    EXPECT_EQ(date.ToString(), row.text);
    EXPECT_EQ(DateTime::FromWString(date.ToWString()), date);
    long unixTime = 77;
    ZEB::FileTimeToUnixTime(Ticks(row.ticks), &unixTime);
    EXPECT_EQ(unixTime, row.unixTime);
  }
  ZEB::FILETIME oldest = ZEB::UnixTimeToFileTime(-2147483648LL);
  EXPECT_EQ(uint64_t(oldest.dwHighDateTime) << 32 | oldest.dwLowDateTime, OLDEST);
  EXPECT_LT(DateTime(-5), DateTime(3));
  EXPECT_THROW(DateTime(2147483648LL), ZEB::DateTimeInvalidException);
  EXPECT_THROW(DateTime(-2147483649LL), ZEB::DateTimeInvalidException);
  EXPECT_THROW(ZEB::UnixTimeToFileTime(2147483648LL), ZEB::DateTimeInvalidException);
  for (char16_t const* text : {u"2038-01-19T03:14:08Z", u"1901-12-13T20:45:51Z", u"1900-02-29T00:00:00Z",
                               u"2001-13-01T00:00:00Z", u"2001-01-01 00:00:00Z", u"2001-01-01T24:00:00Z",
                               u"2001-01-01T00:00:00", u""})
    EXPECT_THROW(DateTime::FromWString(text), ZEB::DateTimeInvalidException) << Narrow(text);
  for (uint64_t ticks : {OLDEST - 1, NEWEST + SECOND, uint64_t(0), ~uint64_t(0)}) {
    long unixTime = 77;
    EXPECT_THROW(ZEB::FileTimeToUnixTime(Ticks(ticks), &unixTime), ZEB::DateTimeInvalidException) << ticks;
    EXPECT_EQ(unixTime, 77) << "untouched";
  }
}
