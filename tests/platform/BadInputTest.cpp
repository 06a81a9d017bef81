// Bad input: paths that would leave a drive, null pointers, random path
// text. Nothing crashes and nothing is written outside the place a path
// names. These hold on the POSIX layer: Windows may fault on null pointers.
#include "PlatformTestSupport.h"

#include <cstdlib>
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

TEST(BadInput, NullPointersFailWithoutCrashing) {
  ONLY_ON_POSIX_LAYER("Windows may fault on null pointers");
  EXPECT_TRUE(Fails(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE,
                    ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(GetFileAttributesA(nullptr) == INVALID_FILE_ATTRIBUTES && !ZEBPlatformLocalTime(nullptr) &&
              FindFirstFileA(nullptr, nullptr) == INVALID_HANDLE_VALUE && !GetFullPathNameA(nullptr, 0, nullptr, 0));
  EXPECT_FALSE(MoveFileA(nullptr, nullptr) || CopyFileA(nullptr, nullptr, FALSE) || UnmapViewOfFile(nullptr) ||
               FlushViewOfFile(nullptr, 0) || GetComputerNameA(nullptr, nullptr) ||
               MapViewOfFile(nullptr, FILE_MAP_READ, 0, 0, 0));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), WNetGetUniversalNameA(nullptr, UNIVERSAL_NAME_INFO_LEVEL, nullptr, 0));
  char drive[_MAX_DRIVE] = "x";
  _splitpath(nullptr, drive, nullptr, nullptr, nullptr);
  EXPECT_STREQ("", drive);
  DWORD read = 7;
  EXPECT_TRUE(Fails(!ReadFile(INVALID_HANDLE_VALUE, nullptr, 1, &read, nullptr) && !read, ERROR_INVALID_HANDLE));
}

TEST(BadInput, AProcessEndingWithOpenDeleteOnCloseFilesRemovesThem) {
  ONLY_ON_POSIX_LAYER("the child process is made by fork");
  Sandbox box;
  std::string path = box["left-open.tmp"];
  auto leaveOpen = [](void* path) { // ends the child without closing the file
    if (Open(*static_cast<std::string*>(path), GENERIC_WRITE, 0, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE) ==
            INVALID_HANDLE_VALUE || !Exists(*static_cast<std::string*>(path)))
      return 2;
    std::exit(0);
  };
  EXPECT_EQ(0, ZEBPlatform::RunInChildProcess(leaveOpen, &path));
  EXPECT_FALSE(Exists(path));
}
