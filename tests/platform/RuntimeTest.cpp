// The C run-time calls: _splitpath, localtime, getenv and _getpid.
#include "PlatformTestSupport.h"

#include <cstdlib>
#include <ctime>

namespace {

struct SplitCase {
  char const* path;
  char const* drive;
  char const* dir;
  char const* name;
  char const* ext;
};

SplitCase const SPLITS[] = {
    {"C:\\a\\b.txt", "C:", "\\a\\", "b", ".txt"},
    {"c:b.txt", "c:", "", "b", ".txt"},
    {"\\\\server\\share\\x.y", "", "\\\\server\\share\\", "x", ".y"},
    {"name", "", "", "name", ""},
    {"a.b.c", "", "", "a.b", ".c"},
    {"dir.d\\file", "", "dir.d\\", "file", ""},
    {"C:", "C:", "", "", ""},
    {"C:\\", "C:", "\\", "", ""},
    {"/unix/style.txt", "", "/unix/", "style", ".txt"},
    {".profile", "", "", "", ".profile"},
    {"", "", "", "", ""},
};

} // namespace

TEST(Runtime, SplitPathGivesDriveDirectoryNameAndExtension) {
  for (SplitCase const& row : SPLITS) {
    SCOPED_TRACE(row.path);
    char drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
    _splitpath(row.path, drive, dir, name, ext);
    EXPECT_STREQ(row.drive, drive);
    EXPECT_STREQ(row.dir, dir);
    EXPECT_STREQ(row.name, name);
    EXPECT_STREQ(row.ext, ext);
  }
  char name[_MAX_FNAME];
  _splitpath("C:\\only\\the.name", nullptr, nullptr, name, nullptr);
  EXPECT_STREQ("the", name);
}

TEST(Runtime, LocalTimeConvertsFrom1970To3000Only) {
  time_t epoch = 0;
  EXPECT_NE(nullptr, ZEBPlatformLocalTime(&epoch));
  time_t before = -1;
  EXPECT_EQ(nullptr, ZEBPlatformLocalTime(&before));
  time_t lastSecond = static_cast<time_t>(32535215999LL - 14 * 3600);
  struct tm* last = ZEBPlatformLocalTime(&lastSecond);
  ASSERT_NE(nullptr, last);
  EXPECT_EQ(3000 - 1900, last->tm_year);
}

TEST(Runtime, LocalTimeStopsAfter3000) {
  NOT_UNDER_WINE("localtime converts times after the year 3000");
  time_t after = static_cast<time_t>(32535215999LL + 1);
  EXPECT_EQ(nullptr, ZEBPlatformLocalTime(&after));
}

TEST(Runtime, TheTemporaryDirectoryIsAlwaysNamed) {
  char const* temp = ZEBPlatformGetEnv("TEMP");
  char const* tmp = ZEBPlatformGetEnv("TMP");
  EXPECT_TRUE(temp != nullptr || tmp != nullptr);
  EXPECT_EQ(nullptr, ZEBPlatformGetEnv("ZEB_PLATFORM_SURELY_UNSET"));
}

TEST(Runtime, ProcessIdsAgree) {
  EXPECT_EQ(static_cast<DWORD>(_getpid()), GetCurrentProcessId());
  EXPECT_NE(0, _getpid());
}
