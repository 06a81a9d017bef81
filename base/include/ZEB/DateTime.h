// A point in time as a signed 32-bit Unix time (seconds since
// 1970-01-01T00:00:00Z, from 1901-12-13T20:45:52Z to 2038-01-19T03:14:07Z),
// and the conversion from Windows file times.
#pragma once

#include <cstdint>

#include "ZEB/Exception.h"
#include "ZEB/Types.h"
#include "ZEB/ZEBExport.h"

namespace ZEB {

// A date or time that cannot be represented or read.
class ZEB_API DateTimeException : public Exception {
public:
  DateTimeException();
  explicit DateTimeException(WString const& text);
  explicit DateTimeException(SmartPtr<MessageInfo> const& info);
  DateTimeException(DateTimeException const& other);
  ~DateTimeException() override;
  BaseException* Copy() const override;
  void Throw() const override;
};

// A time outside the signed 32-bit Unix range, or a text that is no date.
class ZEB_API DateTimeInvalidException : public DateTimeException {
public:
  DateTimeInvalidException();
  explicit DateTimeInvalidException(WString const& text);
  explicit DateTimeInvalidException(SmartPtr<MessageInfo> const& info);
  DateTimeInvalidException(DateTimeInvalidException const& other);
  ~DateTimeInvalidException() override;
  BaseException* Copy() const override;
  void Throw() const override;
};

class ZEB_API DateTime {
public:
  // 1970-01-01T00:00:00Z.
  DateTime() noexcept = default;
  // Throws DateTimeInvalidException outside the signed 32-bit range.
  explicit DateTime(long long unixTime);

  int32_t UnixTime() const noexcept { return m_UnixTime; }

  // ISO 8601 in UTC: "2001-02-03T04:05:06Z".
  WString ToWString() const;
  std::string ToString() const;
  // Reads the form ToWString writes; throws DateTimeInvalidException for
  // anything else or a time outside the range.
  static DateTime FromWString(WString const& text);

  friend bool operator==(DateTime a, DateTime b) noexcept { return a.m_UnixTime == b.m_UnixTime; }
  friend bool operator!=(DateTime a, DateTime b) noexcept { return a.m_UnixTime != b.m_UnixTime; }
  friend bool operator<(DateTime a, DateTime b) noexcept { return a.m_UnixTime < b.m_UnixTime; }
  friend bool operator<=(DateTime a, DateTime b) noexcept { return a.m_UnixTime <= b.m_UnixTime; }
  friend bool operator>(DateTime a, DateTime b) noexcept { return a.m_UnixTime > b.m_UnixTime; }
  friend bool operator>=(DateTime a, DateTime b) noexcept { return a.m_UnixTime >= b.m_UnixTime; }

private:
  int32_t m_UnixTime = 0;
};

static_assert(sizeof(DateTime) == 4, "a DateTime is a 4-byte value");

// A Windows file time: 100-nanosecond units since 1601-01-01T00:00:00Z, in
// two 32-bit halves.
struct FILETIME {
  uint32_t dwLowDateTime;
  uint32_t dwHighDateTime;
};

// The Unix time of a file time, stored in *unixTime when it is not null.
// Parts of a second are dropped: the result is the second the instant falls
// in (rounded toward the earlier second, before 1970 as after). Throws
// DateTimeInvalidException when that second lies outside the signed 32-bit
// range, whatever the width of `long`.
ZEB_API void FileTimeToUnixTime(FILETIME const& fileTime, long* unixTime);
// The file time of the start of a Unix second; throws
// DateTimeInvalidException outside the signed 32-bit range.
ZEB_API FILETIME UnixTimeToFileTime(long long unixTime);

} // namespace ZEB
