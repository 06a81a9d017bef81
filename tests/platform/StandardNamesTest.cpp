// Including the platform header leaves every standard name as the standard
// library declares it: this compiles, and the calls do what they should.
#include "ZEBPlatform/Win32.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/TempDir.h"

TEST(StandardNames, KeepTheirStandardMeaningAfterThePlatformHeader) {
  ZEBTest::TempDir dir("names");
  std::ofstream(dir.Child("a.txt")) << "a";
  std::filesystem::rename(dir.Child("a.txt"), dir.Child("b.txt"));
  EXPECT_TRUE(dir.Exists("b.txt") && !dir.Exists("a.txt"));
  EXPECT_EQ(std::getenv("ZEB_PLATFORM_SURELY_UNSET"), nullptr);
  std::time_t day = 86400;
  EXPECT_EQ(std::localtime(&day)->tm_year, 70);
}
