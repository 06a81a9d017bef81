#include "ZEB/DateTime.h"

#include <cstdio>
#include <limits>

#include "ZEBCharset/Conv.h"

namespace ZEB {

DateTimeException::DateTimeException() = default;
DateTimeException::DateTimeException(WString const& text) : Exception(text) {}
DateTimeException::DateTimeException(SmartPtr<MessageInfo> const& info) : Exception(info) {}
DateTimeException::DateTimeException(DateTimeException const& other) = default;
DateTimeException::~DateTimeException() = default;
BaseException* DateTimeException::Copy() const { return CopyException(*this); }
void DateTimeException::Throw() const { throw DateTimeException(*this); }

DateTimeInvalidException::DateTimeInvalidException() = default;
DateTimeInvalidException::DateTimeInvalidException(WString const& text) : DateTimeException(text) {}
DateTimeInvalidException::DateTimeInvalidException(SmartPtr<MessageInfo> const& info) : DateTimeException(info) {}
DateTimeInvalidException::DateTimeInvalidException(DateTimeInvalidException const& other) = default;
DateTimeInvalidException::~DateTimeInvalidException() = default;
BaseException* DateTimeInvalidException::Copy() const { return CopyException(*this); }
void DateTimeInvalidException::Throw() const { throw DateTimeInvalidException(*this); }

namespace {

constexpr long long kSecondsPerDay = 86400;
// File-time ticks per second, and the seconds from 1601-01-01 to 1970-01-01.
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr long long kEpochOffset = 11644473600LL;

[[noreturn]] void ThrowOutOfRange(long long unixTime) {
  throw DateTimeInvalidException(
      ZEBCharset::ToWide(ZEB::CHARSET_UTF8, "Unix time " + std::to_string(unixTime) +
                                                 " is outside the signed 32-bit range"));
}

int32_t Checked(long long unixTime) {
  if (unixTime < std::numeric_limits<int32_t>::min() || unixTime > std::numeric_limits<int32_t>::max())
    ThrowOutOfRange(unixTime);
  return static_cast<int32_t>(unixTime);
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (the
// era-based algorithms, exact over the whole range).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct Civil {
  long long year;
  unsigned month;
  unsigned day;
};

Civil CivilFromDays(long long z) {
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = static_cast<unsigned>(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  unsigned d = doy - (153 * mp + 2) / 5 + 1;
  unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<long long>(yoe) + era * 400 + (m <= 2), m, d};
}

long long FloorDiv(long long a, long long b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

bool IsLeap(long long y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

unsigned DaysInMonth(long long y, unsigned m) {
  static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Reads `width` decimal digits at `pos`; false for anything else.
bool Digits(WString const& text, std::size_t pos, int width, unsigned& value) {
  value = 0;
  for (int i = 0; i < width; ++i) {
    char16_t c = text[pos + static_cast<std::size_t>(i)];
    if (c < u'0' || c > u'9')
      return false;
    value = value * 10 + static_cast<unsigned>(c - u'0');
  }
  return true;
}

} // namespace

DateTime::DateTime(long long unixTime) : m_UnixTime(Checked(unixTime)) {}

std::string DateTime::ToString() const {
  long long days = FloorDiv(m_UnixTime, kSecondsPerDay);
  long long seconds = m_UnixTime - days * kSecondsPerDay;
  Civil date = CivilFromDays(days);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", date.year, date.month, date.day,
                seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

WString DateTime::ToWString() const { return ZEBCharset::ToWide(ZEB::CHARSET_UTF8, ToString()); }

DateTime DateTime::FromWString(WString const& text) {
  // YYYY-MM-DDTHH:MM:SSZ
  unsigned year, month, day, hour, minute, second;
  bool shaped = text.size() == 20 && text[4] == u'-' && text[7] == u'-' && text[10] == u'T' && text[13] == u':' &&
                text[16] == u':' && text[19] == u'Z' && Digits(text, 0, 4, year) && Digits(text, 5, 2, month) &&
                Digits(text, 8, 2, day) && Digits(text, 11, 2, hour) && Digits(text, 14, 2, minute) &&
                Digits(text, 17, 2, second);
  if (!shaped || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59)
    throw DateTimeInvalidException(u"Not a date and time of the form YYYY-MM-DDTHH:MM:SSZ: " + text);
  long long days = DaysFromCivil(year, month, day);
  return DateTime(days * kSecondsPerDay + hour * 3600LL + minute * 60LL + second);
}

void FileTimeToUnixTime(FILETIME const& fileTime, long* unixTime) {
  uint64_t ticks = static_cast<uint64_t>(fileTime.dwHighDateTime) << 32 | fileTime.dwLowDateTime;
  // Whole seconds since 1601 (the division drops the part of a second), then
  // moved to the Unix epoch.
  long long seconds = static_cast<long long>(ticks / kTicksPerSecond) - kEpochOffset;
  int32_t checked = Checked(seconds);
  if (unixTime)
    *unixTime = checked;
}

FILETIME UnixTimeToFileTime(long long unixTime) {
  uint64_t ticks = static_cast<uint64_t>(Checked(unixTime) + kEpochOffset) * kTicksPerSecond;
  return FILETIME{static_cast<uint32_t>(ticks & 0xFFFFFFFFu), static_cast<uint32_t>(ticks >> 32)};
}

} // namespace ZEB
