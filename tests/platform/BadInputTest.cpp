// Bad input: paths that would leave a drive, random path text. Nothing
// crashes and nothing is written outside the place a path names.
#include "PlatformTestSupport.h"

#include <random>

using namespace PlatformTest;

TEST(BadInput, PathsNeverLeaveTheirDriveOrShare) {
  ONLY_ON_POSIX_LAYER("the sandbox is a drive root only where a drive is mapped to it");
  Sandbox box;
  ASSERT_EQ(0, _mkdir(box["inner"].c_str()));
  ASSERT_TRUE(WriteText(box.Root() + "..\\..\\..\\escape.txt", "kept"));
  EXPECT_EQ("kept", ReadText(box["inner\\..\\..\\escape.txt"]));
  ASSERT_TRUE(ZEBPlatform::MapShare("srv", "shr", ZEBPlatform::HostPath(box["inner"].c_str())));
  EXPECT_TRUE(WriteText("\\\\srv\\shr\\..\\..\\up.txt", "share"));
  ZEBPlatform::UnmapShare("srv", "shr");
  EXPECT_EQ("share", ReadText(box["inner\\up.txt"]));
  std::string host = ZEBPlatform::HostPath(box.Root().c_str());
  std::mt19937 random(20261206);
  char const alphabet[] = "ab.\\/ :*?<>|\"\x01\xff";
  for (int round = 0; round < 5000; ++round) {
    std::string path = box.Root();
    for (size_t i = random() % 40; i > 0; --i)
      path += alphabet[random() % (sizeof(alphabet) - 1)];
    std::string mapped = ZEBPlatform::HostPath(path.c_str());
    ASSERT_TRUE(mapped.empty() || mapped == host || mapped.compare(0, host.size() + 1, host + "/") == 0)
        << "'" << path << "' maps to '" << mapped << "'";
    GetFileAttributesA(path.c_str());
  }
}
