// Values: Variant types and conversions, DateTime, file times, the progress
// sink.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "ZEB/DateTime.h"
#include "ZEB/LogEntry.h"
#include "ZEB/Variant.h"

using ZEB::DateTime;
using ZEB::Variant;
using ZEB::WString;

namespace {

std::string Narrow(WString const& text) { return std::string(text.begin(), text.end()); }

ZEB::FILETIME Ticks(uint64_t ticks) {
  return ZEB::FILETIME{static_cast<uint32_t>(ticks & 0xFFFFFFFFu), static_cast<uint32_t>(ticks >> 32)};
}

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kUnixEpoch = 116444736000000000ULL; // 1970-01-01 in file-time ticks
constexpr uint64_t kOldest = (11644473600ULL - 2147483648ULL) * kTicksPerSecond;   // Unix time -2^31
constexpr uint64_t kNewest = (11644473600ULL + 2147483647ULL) * kTicksPerSecond;   // Unix time 2^31 - 1

} // namespace

// ----------------------------------------------------------------- Variant

TEST(Variant, EachConstructorTellsItsType) {
  struct Row {
    Variant value;
    ZEB::VariantTraits const* traits;
    char const* text;
  } rows[] = {
      {Variant(true), &ZEB::g_VariantTraitsBoolType, "true"},
      {Variant(static_cast<unsigned char>(200)), &ZEB::g_VariantTraitsUCharType, "200"},
      {Variant(static_cast<short>(-32768)), &ZEB::g_VariantTraitsShortType, "-32768"},
      {Variant(static_cast<unsigned short>(65535)), &ZEB::g_VariantTraitsUShortType, "65535"},
      {Variant(-7), &ZEB::g_VariantTraitsIntType, "-7"},
      {Variant(4000000000u), &ZEB::g_VariantTraitsUIntType, "4000000000"},
      {Variant(0.1f), &ZEB::g_VariantTraitsFloatType, "0.1"},
      {Variant(1e20), &ZEB::g_VariantTraitsDoubleType, "1e+20"},
      {Variant(-2.5), &ZEB::g_VariantTraitsDoubleType, "-2.5"},
      {Variant(DateTime(981173106)), &ZEB::g_VariantTraitsDateTimeType, "2001-02-03T04:05:06Z"},
      {Variant(WString(u"\u00E9t\u00E9"), 0), &ZEB::g_VariantTraitsWStringType, "\xE9t\xE9"},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(row.value.Traits(), row.traits);
    EXPECT_EQ(Narrow(row.value.AsWString()), row.text);
  }
}

TEST(Variant, NumbersConvertWithinRange) {
  EXPECT_EQ(Variant(255).AsUChar(), 255);
  EXPECT_EQ(Variant(-32768).AsShort(), -32768);
  EXPECT_EQ(Variant(static_cast<unsigned short>(65535)).AsInt(), 65535);
  EXPECT_EQ(Variant(2147483647u).AsInt(), 2147483647);
  EXPECT_EQ(Variant(static_cast<short>(-1)).AsDouble(), -1.0);
  EXPECT_EQ(Variant(true).AsUInt(), 1u);
  EXPECT_EQ(Variant(2.9).AsInt(), 2);     // the fraction is dropped toward zero
  EXPECT_EQ(Variant(-2.9f).AsShort(), -2);
  EXPECT_EQ(Variant(4294967295.0).AsUInt(), 4294967295u);
  EXPECT_FLOAT_EQ(Variant(0.25).AsFloat(), 0.25f);
  EXPECT_TRUE(std::isinf(Variant(std::numeric_limits<double>::infinity()).AsFloat()));
  EXPECT_FALSE(Variant(0).AsBool());
  EXPECT_TRUE(Variant(static_cast<unsigned char>(3)).AsBool());
  EXPECT_TRUE(Variant(-0.5).AsBool());
}

TEST(Variant, OutOfRangeAndImpossibleConversionsThrow) {
  double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    char const* what;
    void (*convert)();
  } rows[] = {
      {"256 to uchar", [] { Variant(256).AsUChar(); }},
      {"-1 to uchar", [] { Variant(-1).AsUChar(); }},
      {"40000 to short", [] { Variant(40000).AsShort(); }},
      {"-1 to ushort", [] { Variant(static_cast<short>(-1)).AsUShort(); }},
      {"2^31 to int", [] { Variant(2147483648u).AsInt(); }},
      {"-1 to uint", [] { Variant(-1).AsUInt(); }},
      {"4294967296.0 to uint", [] { Variant(4294967296.0).AsUInt(); }},
      {"-1e10 to int", [] { Variant(-1e10).AsInt(); }},
      {"infinity to int", [] { Variant(std::numeric_limits<float>::infinity()).AsInt(); }},
      {"1e39 to float", [] { Variant(1e39).AsFloat(); }},
      {"date to double", [] { Variant(DateTime(5)).AsDouble(); }},
      {"date to bool", [] { Variant(DateTime(5)).AsBool(); }},
      {"bool to date", [] { Variant(true).AsDateTime(); }},
      {"real to date", [] { Variant(1.0).AsDateTime(); }},
      {"3000000000 to date", [] { Variant(3000000000u).AsDateTime(); }},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_THROW(row.convert(), Variant::VariantException);
  }
  EXPECT_THROW(Variant(nan).AsBool(), Variant::VariantException);
  EXPECT_THROW(Variant(nan).AsUShort(), Variant::VariantException);
}

TEST(Variant, StringsConvertWhenTheWholeTextIsAValue) {
  EXPECT_EQ(Variant(WString(u"42"), 0).AsInt(), 42);
  EXPECT_EQ(Variant(WString(u"-42"), 0).AsShort(), -42);
  EXPECT_EQ(Variant(WString(u"1e3"), 0).AsDouble(), 1000.0);
  EXPECT_EQ(Variant(WString(u"0.5"), 0).AsFloat(), 0.5f);
  EXPECT_TRUE(Variant(WString(u"TRUE"), 0).AsBool());
  EXPECT_FALSE(Variant(WString(u"0"), 0).AsBool());
  EXPECT_EQ(Variant(WString(u"1970-01-02T00:00:01Z"), 0).AsDateTime().UnixTime(), 86401);
  for (char16_t const* text : {u"", u" 42", u"42 ", u"4x", u"\uFF14\uFF12", u"99999999999"}) {
    SCOPED_TRACE(Narrow(text));
    EXPECT_THROW(Variant(WString(text), 0).AsInt(), Variant::VariantException);
  }
  EXPECT_THROW(Variant(WString(u"300"), 0).AsUChar(), Variant::VariantException);
  EXPECT_THROW(Variant(WString(u"yes"), 0).AsBool(), Variant::VariantException);
  EXPECT_THROW(Variant(WString(u"1e40"), 0).AsFloat(), Variant::VariantException);
  EXPECT_THROW(Variant(WString(u"2001-02-30T00:00:00Z"), 0).AsDateTime(), Variant::VariantException);
}

TEST(Variant, EmptyValueConvertsToNothing) {
  Variant empty;
  EXPECT_EQ(empty.Traits(), nullptr);
  EXPECT_THROW(empty.AsWString(), Variant::VariantException);
  EXPECT_THROW(empty.AsInt(), Variant::VariantException);
  EXPECT_THROW(empty.AsBool(), Variant::VariantException);
  EXPECT_THROW(empty.AsDouble(), Variant::VariantException);
  EXPECT_THROW(empty.AsDateTime(), Variant::VariantException);
}

TEST(Variant, CopiesAndAssignmentsAreIndependent) {
  Variant text(WString(u"first"), 0);
  Variant copy(text);
  text = Variant(12);
  EXPECT_EQ(copy.AsWString(), u"first");
  EXPECT_EQ(text.Traits(), &ZEB::g_VariantTraitsIntType);
  copy = copy;
  EXPECT_EQ(copy.AsWString(), u"first");
  Variant moved(std::move(copy));
  EXPECT_EQ(moved.AsWString(), u"first");
  EXPECT_TRUE(moved == Variant(WString(u"first"), 0));
  EXPECT_FALSE(Variant(1) == Variant(1u)); // same number, different type
  EXPECT_TRUE(Variant(DateTime(9)) == Variant(DateTime(9)));
}

TEST(Variant, ExceptionCarriesItsTextAndClassThroughCopyAndThrow) {
  try {
    Variant(256).AsUChar();
    FAIL() << "no exception";
  } catch (ZEB::Exception const& caught) {
    EXPECT_NE(Narrow(caught.What()).find("256"), std::string::npos);
    std::unique_ptr<ZEB::BaseException> copy(caught.Copy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->What(), caught.What());
    EXPECT_THROW(copy->Throw(), Variant::VariantException);
  }
}

// ---------------------------------------------------------------- DateTime

TEST(DateTime, TextIsIso8601Utc) {
  struct Row {
    long long unixTime;
    char const* text;
  } rows[] = {{0, "1970-01-01T00:00:00Z"},           {-1, "1969-12-31T23:59:59Z"},
              {951782400, "2000-02-29T00:00:00Z"},   {-2147483647LL - 1, "1901-12-13T20:45:52Z"},
              {2147483647, "2038-01-19T03:14:07Z"},  {1234567890, "2009-02-13T23:31:30Z"}};
  for (auto const& row : rows) {
    SCOPED_TRACE(row.text);
    DateTime date(row.unixTime);
    EXPECT_EQ(date.ToString(), row.text);
    EXPECT_EQ(DateTime::FromWString(date.ToWString()), date);
  }
}

TEST(DateTime, RangeAndMalformedTextThrow) {
  EXPECT_THROW(DateTime(2147483648LL), ZEB::DateTimeInvalidException);
  EXPECT_THROW(DateTime(-2147483649LL), ZEB::DateTimeInvalidException);
  for (char16_t const* text : {u"2038-01-19T03:14:08Z", u"1901-12-13T20:45:51Z", u"1900-02-29T00:00:00Z",
                               u"2001-13-01T00:00:00Z", u"2001-01-01 00:00:00Z", u"2001-01-01T24:00:00Z",
                               u"2001-01-01T00:00:00", u""}) {
    SCOPED_TRACE(Narrow(text));
    EXPECT_THROW(DateTime::FromWString(text), ZEB::DateTimeInvalidException);
  }
  EXPECT_LT(DateTime(-5), DateTime(3));
  EXPECT_EQ(DateTime().UnixTime(), 0);
}

TEST(DateTime, ExceptionsKeepTheirClass) {
  try {
    DateTime(1LL << 40);
    FAIL() << "no exception";
  } catch (ZEB::DateTimeException const& caught) {
    std::unique_ptr<ZEB::BaseException> copy(caught.Copy());
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(copy->What().empty());
    EXPECT_THROW(copy->Throw(), ZEB::DateTimeInvalidException);
  }
}

TEST(FileTime, ConvertsAtBothLimitsAndNotBeyond) {
  struct Row {
    char const* what;
    uint64_t ticks;
    long long unixTime;
  } rows[] = {
      {"epoch", kUnixEpoch, 0},
      {"epoch plus 0.9999999 s", kUnixEpoch + kTicksPerSecond - 1, 0},
      {"epoch minus 100 ns", kUnixEpoch - 1, -1},
      {"epoch minus 1 s", kUnixEpoch - kTicksPerSecond, -1},
      {"oldest second", kOldest, -2147483648LL},
      {"oldest second, last tick", kOldest + kTicksPerSecond - 1, -2147483648LL},
      {"newest second", kNewest, 2147483647},
      {"newest second, last tick", kNewest + kTicksPerSecond - 1, 2147483647},
      {"2009-02-13T23:31:30.5Z", kUnixEpoch + 1234567890ULL * kTicksPerSecond + 5000000, 1234567890},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    long unixTime = 77;
    ZEB::FileTimeToUnixTime(Ticks(row.ticks), &unixTime);
    EXPECT_EQ(unixTime, row.unixTime);
  }
  for (uint64_t ticks : {kOldest - 1, kNewest + kTicksPerSecond, uint64_t(0), ~uint64_t(0)}) {
    SCOPED_TRACE(ticks);
    long unixTime = 77;
    EXPECT_THROW(ZEB::FileTimeToUnixTime(Ticks(ticks), &unixTime), ZEB::DateTimeInvalidException);
    EXPECT_EQ(unixTime, 77); // untouched
  }
}

TEST(FileTime, UnixTimeToFileTimeIsTheStartOfTheSecond) {
  for (long long unixTime : {-2147483648LL, -1LL, 0LL, 1234567890LL, 2147483647LL}) {
    SCOPED_TRACE(unixTime);
    ZEB::FILETIME fileTime = ZEB::UnixTimeToFileTime(unixTime);
    uint64_t ticks = uint64_t(fileTime.dwHighDateTime) << 32 | fileTime.dwLowDateTime;
    EXPECT_EQ(ticks % kTicksPerSecond, 0u);
    long back = 0;
    ZEB::FileTimeToUnixTime(fileTime, &back);
    EXPECT_EQ(back, unixTime);
  }
  EXPECT_EQ(ZEB::UnixTimeToFileTime(0).dwHighDateTime, uint32_t(kUnixEpoch >> 32));
  EXPECT_THROW(ZEB::UnixTimeToFileTime(2147483648LL), ZEB::DateTimeInvalidException);
}

// ---------------------------------------------------------- progress sink

namespace {

class RecordingSink : public ZEB::LogEntryCallInterface {
public:
  RecordingSink(std::vector<double>& reports, bool& deleted) : m_Reports(reports), m_Deleted(deleted) {}
  ~RecordingSink() override { m_Deleted = true; }
  void ReportProgress(double fractionDone) override { m_Reports.push_back(fractionDone); }

private:
  std::vector<double>& m_Reports;
  bool& m_Deleted;
};

} // namespace

TEST(LogEntryCallInterface, SharedSinkReceivesReportsAndGoesWithTheLastHolder) {
  std::vector<double> reports;
  bool deleted = false;
  {
    ZEB::SmartPtr<ZEB::LogEntryCallInterface> sink(new RecordingSink(reports, deleted));
    ZEB::SmartPtr<ZEB::LogEntryCallInterface> second(sink);
    sink->ReportProgress(0.25);
    second->ReportProgress(1.0);
    sink = nullptr;
    EXPECT_FALSE(deleted);
  }
  EXPECT_TRUE(deleted);
  EXPECT_EQ(reports, (std::vector<double>{0.25, 1.0}));
}
