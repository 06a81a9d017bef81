// Failures of the system under the calls: a full disk, a failed open, a
// vanished directory. The layer's C library calls are made to fail on
// purpose, so these hold only there.
#include "PlatformTestSupport.h"

#include <cerrno>

using namespace PlatformTest;
using ZEBPlatform::Call;
using ZEBPlatform::FailNext;

struct ClearFaults {
  ~ClearFaults() { ZEBPlatform::ClearFaults(); }
};

TEST(Faults, FailuresGiveTheMappedErrorAndLeaveNothingBehind) {
  ONLY_ON_POSIX_LAYER("faults are injected into the layer's C library calls");
  Sandbox box;
  ClearFaults clear;
  HANDLE file = Open(box["full.bin"], GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_TRUE(ZEBPlatform::LimitWrites(10, ENOSPC));
  char data[100] = {};
  DWORD written = 0;
  EXPECT_TRUE(Fails(!WriteFile(file, data, sizeof(data), &written, nullptr) && written == 10, ERROR_DISK_FULL));
  EXPECT_FALSE(WriteFile(file, data, 1, &written, nullptr) || written);
  ZEBPlatform::ClearFaults();
  for (auto [error, win32] : {std::pair<int, DWORD>{EIO, ERROR_IO_DEVICE}, {EFBIG, ERROR_FILE_TOO_LARGE},
                               {EROFS, ERROR_WRITE_PROTECT}}) {
    ASSERT_TRUE(FailNext(Call::Write, error));
    EXPECT_TRUE(Fails(!WriteFile(file, "x", 1, &written, nullptr), win32)) << error;
  }
  EXPECT_TRUE(WriteFile(file, data, 5, &written, nullptr)) << "a fault fires once";
  // A mapping or a size that cannot get its space leaves the file as it was.
  ASSERT_TRUE(FailNext(Call::Fallocate, ENOSPC));
  EXPECT_TRUE(Fails(CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 65536, nullptr) == nullptr, ERROR_DISK_FULL));
  ASSERT_TRUE(FailNext(Call::Fallocate, ENOSPC));
  EXPECT_EQ(100u, SetFilePointer(file, 100, nullptr, FILE_BEGIN));
  EXPECT_TRUE(Fails(!SetEndOfFile(file), ERROR_DISK_FULL));
  EXPECT_TRUE(GetFileSize(file, nullptr) == 15 && Close(file));
  // Opens, copies and listings that fail.
  ASSERT_TRUE(FailNext(Call::Open, EMFILE));
  EXPECT_TRUE(Fails(!WriteText(box["never.bin"], "x"), ERROR_TOO_MANY_OPEN_FILES));
  EXPECT_FALSE(Exists(box["never.bin"]));
  ASSERT_TRUE(WriteText(box["source.bin"], std::string(200000, 's')));
  ASSERT_TRUE(FailNext(Call::Write, ENOSPC, 1));
  EXPECT_TRUE(Fails(!CopyFileA(box["source.bin"].c_str(), box["target.bin"].c_str(), TRUE), ERROR_DISK_FULL));
  EXPECT_FALSE(Exists(box["target.bin"]));
  ASSERT_EQ(0, _mkdir(box["dir"].c_str()));
  ASSERT_TRUE(FailNext(Call::OpenDir, ENOENT));
  DWORD error = 0;
  EXPECT_TRUE(FindNames(box["dir\\*"], &error).empty());
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, error) << "a vanished directory";
  ASSERT_TRUE(FailNext(Call::Mkdir, EACCES));
  errno = 0;
  EXPECT_TRUE(Fails(_mkdir(box["dir\\sub"].c_str()) == -1 && errno == EACCES, ERROR_ACCESS_DENIED));
}
