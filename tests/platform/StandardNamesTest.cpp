// Including the platform header leaves every standard name as the standard
// library declares it: code of the library can use std::filesystem::rename,
// std::getenv and std::localtime beside the layer's own calls.
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
  EXPECT_TRUE(dir.Exists("b.txt"));
  EXPECT_FALSE(dir.Exists("a.txt"));
  EXPECT_EQ(std::getenv("ZEB_PLATFORM_SURELY_UNSET"), nullptr);
  std::time_t day = 86400;
  ASSERT_NE(std::localtime(&day), nullptr);
  EXPECT_EQ(std::localtime(&day)->tm_year, 70);
}
