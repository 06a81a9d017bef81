// The C run-time calls: _splitpath, localtime, getenv and _getpid; the
// standard names keep their meaning beside them.
#include "PlatformTestSupport.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

TEST(Runtime, SplitPathLocalTimeEnvironmentAndProcess) {
  std::pair<char const*, char const*> const rows[] = { // path, "drive|directory|name|extension"
      {"C:\\a\\b.txt", "C:|\\a\\|b|.txt"}, {"c:b.txt", "c:||b|.txt"}, {"a.b.c", "||a.b|.c"}, {"C:", "C:|||"},
      {"\\\\server\\share\\x.y", "|\\\\server\\share\\|x|.y"}, {"dir.d\\file", "|dir.d\\|file|"},
      {"/unix/style.txt", "|/unix/|style|.txt"}, {".profile", "|||.profile"},
  };
  for (auto [path, parts] : rows) {
    char drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
    _splitpath(path, drive, dir, name, ext);
    EXPECT_EQ(parts, std::string(drive) + "|" + dir + "|" + name + "|" + ext) << path;
  }
  char name[_MAX_FNAME];
  _splitpath("C:\\only\\the.name", nullptr, nullptr, name, nullptr);
  EXPECT_STREQ("the", name);
  // Local time, the environment and the process.
  time_t epoch = 0, before = -1, lastSecond = static_cast<time_t>(32535215999LL - 14 * 3600);
  EXPECT_TRUE(ZEBPlatformLocalTime(&epoch) && !ZEBPlatformLocalTime(&before));
  struct tm* last = ZEBPlatformLocalTime(&lastSecond);
  EXPECT_TRUE(last && last->tm_year == 3000 - 1900);
  EXPECT_TRUE(ZEBPlatformGetEnv("TEMP") || ZEBPlatformGetEnv("TMP")) << "the temporary directory is always named";
  EXPECT_EQ(nullptr, ZEBPlatformGetEnv("ZEB_PLATFORM_SURELY_UNSET"));
  EXPECT_EQ(static_cast<DWORD>(_getpid()), GetCurrentProcessId());
  // What the platform header declares leaves the standard library's names alone.
  ZEBTest::TempDir dir("names");
  std::ofstream(dir.Child("a.txt")) << "a";
  std::filesystem::rename(dir.Child("a.txt"), dir.Child("b.txt"));
  EXPECT_TRUE(dir.Exists("b.txt") && !dir.Exists("a.txt"));
  EXPECT_EQ(std::getenv("ZEB_PLATFORM_SURELY_UNSET"), nullptr);
  std::time_t day = 86400;
  EXPECT_EQ(std::localtime(&day)->tm_year, 70);
  NOT_UNDER_WINE("localtime converts times after the year 3000");
  time_t after = static_cast<time_t>(32535215999LL + 1);
  EXPECT_EQ(nullptr, ZEBPlatformLocalTime(&after));
}
