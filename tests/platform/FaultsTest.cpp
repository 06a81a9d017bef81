// Failures of the system under the calls: a full disk, a failed open, a
// vanished directory. The layer's C library calls are made to fail on
// purpose, so these hold only there.
#include "PlatformTestSupport.h"

#include <cerrno>

using namespace PlatformTest;
using ZEBPlatform::Call;

namespace {

struct FaultGuard {
  ~FaultGuard() { ZEBPlatform::ClearFaults(); }
};

HANDLE Create(std::string const& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

} // namespace

TEST(Faults, AFullDiskStopsAWriteWithTheBytesWritten) {
  ONLY_ON_POSIX_LAYER("faults are injected into the layer's C library calls");
  Sandbox box;
  FaultGuard guard;
  HANDLE file = Create(box["full.bin"]);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  ASSERT_TRUE(ZEBPlatform::LimitWrites(10, ENOSPC));
  char data[100] = {};
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(file, data, sizeof(data), &written, nullptr));
  EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
  EXPECT_EQ(10u, written);
  EXPECT_FALSE(WriteFile(file, data, 1, &written, nullptr));
  EXPECT_EQ(0u, written);
  ZEBPlatform::ClearFaults();
  EXPECT_TRUE(WriteFile(file, data, 5, &written, nullptr));
  EXPECT_EQ(15u, GetFileSize(file, nullptr));
  CloseHandle(file);
}

TEST(Faults, AFailedWriteReportsTheMappedError) {
  ONLY_ON_POSIX_LAYER("faults are injected into the layer's C library calls");
  Sandbox box;
  FaultGuard guard;
  HANDLE file = Create(box["io.bin"]);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  struct Row {
    int error;
    DWORD win32;
  } const rows[] = {
      {ENOSPC, ERROR_DISK_FULL}, {EIO, ERROR_IO_DEVICE}, {EFBIG, ERROR_FILE_TOO_LARGE}, {EROFS, ERROR_WRITE_PROTECT}};
  for (Row const& row : rows) {
    SCOPED_TRACE(row.error);
    ASSERT_TRUE(ZEBPlatform::FailNext(Call::Write, row.error));
    DWORD written = 1;
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(row.win32, GetLastError());
  }
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "x", 1, &written, nullptr)) << "a fault fires once";
  CloseHandle(file);
}

TEST(Faults, AFailedOpenLeavesNothingBehind) {
  ONLY_ON_POSIX_LAYER("faults are injected into the layer's C library calls");
  Sandbox box;
  FaultGuard guard;
  ASSERT_TRUE(ZEBPlatform::FailNext(Call::Open, EMFILE));
  EXPECT_EQ(INVALID_HANDLE_VALUE, Create(box["never.bin"]));
  EXPECT_EQ(ERROR_TOO_MANY_OPEN_FILES, GetLastError());
  EXPECT_FALSE(Exists(box["never.bin"]));
}

TEST(Faults, AFailedCopyRemovesItsPartialTarget) {
  ONLY_ON_POSIX_LAYER("faults are injected into the layer's C library calls");
  Sandbox box;
  FaultGuard guard;
  ASSERT_TRUE(WriteText(box["source.bin"], std::string(200000, 's')));
  ASSERT_TRUE(ZEBPlatform::FailNext(Call::Write, ENOSPC, 1));
  EXPECT_FALSE(CopyFileA(box["source.bin"].c_str(), box["target.bin"].c_str(), TRUE));
  EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
  EXPECT_FALSE(Exists(box["target.bin"]));
}

TEST(Faults, ANoSpaceMappingGrowthLeavesTheFileAsItWas) {
  ONLY_ON_POSIX_LAYER("faults are injected into the layer's C library calls");
  Sandbox box;
  FaultGuard guard;
  HANDLE file = Create(box["map.bin"]);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
  ASSERT_TRUE(ZEBPlatform::FailNext(Call::Fallocate, ENOSPC));
  EXPECT_EQ(nullptr, CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 65536, nullptr));
  EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
  EXPECT_EQ(3u, GetFileSize(file, nullptr));
  ASSERT_TRUE(ZEBPlatform::FailNext(Call::Fallocate, ENOSPC));
  EXPECT_EQ(100u, SetFilePointer(file, 100, nullptr, FILE_BEGIN));
  EXPECT_FALSE(SetEndOfFile(file));
  EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
  EXPECT_EQ(3u, GetFileSize(file, nullptr));
  CloseHandle(file);
}

TEST(Faults, AVanishedDirectoryIsAMissingPath) {
  ONLY_ON_POSIX_LAYER("faults are injected into the layer's C library calls");
  Sandbox box;
  FaultGuard guard;
  ASSERT_EQ(0, _mkdir(box["dir"].c_str()));
  ASSERT_TRUE(ZEBPlatform::FailNext(Call::OpenDir, ENOENT));
  DWORD error = 0;
  EXPECT_TRUE(FindNames(box["dir\\*"], &error).empty());
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, error);
  ASSERT_TRUE(ZEBPlatform::FailNext(Call::Mkdir, EACCES));
  errno = 0;
  EXPECT_EQ(-1, _mkdir(box["dir\\sub"].c_str()));
  EXPECT_EQ(EACCES, errno);
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
}
