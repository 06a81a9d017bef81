// File mapping: the allocation granularity, growth of writable mappings,
// views by offset and what a mapping forbids while it lives.
#include "PlatformTestSupport.h"

#include <cstring>

using namespace PlatformTest;

namespace {

DWORD const GRANULARITY = 65536;

HANDLE OpenReadWrite(std::string const& path, DWORD disposition) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

HANDLE OpenRead(std::string const& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TEST(Mapping, TheGranularityIs65536) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_EQ(GRANULARITY, info.dwAllocationGranularity);
  EXPECT_GT(info.dwPageSize, 0u);
  EXPECT_EQ(0u, info.dwAllocationGranularity % info.dwPageSize);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
}

TEST(Mapping, AWritableMappingLargerThanTheFileGrowsIt) {
  Sandbox box;
  std::string path = box["grow.bin"];
  HANDLE file = OpenReadWrite(path, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 2 * GRANULARITY, nullptr);
  ASSERT_NE(nullptr, mapping) << GetLastError();
  EXPECT_EQ(2 * GRANULARITY, GetFileSize(file, nullptr));

  char* second = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, GRANULARITY, 0));
  ASSERT_NE(nullptr, second);
  std::memcpy(second, "second", 6);
  char* first = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 100));
  ASSERT_NE(nullptr, first);
  std::memcpy(first + 10, "first", 5);
  EXPECT_TRUE(FlushViewOfFile(first, 0));
  EXPECT_TRUE(UnmapViewOfFile(first));
  EXPECT_TRUE(UnmapViewOfFile(second));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(CloseHandle(file));

  std::string content = ReadText(path);
  ASSERT_EQ(2 * GRANULARITY, content.size());
  EXPECT_EQ("first", content.substr(10, 5));
  EXPECT_EQ("second", content.substr(GRANULARITY, 6));
  EXPECT_EQ(0, _unlink(path.c_str())) << "nothing holds the file any more";
}

TEST(Mapping, AReadOnlyMappingCannotReachBeyondTheFile) {
  Sandbox box;
  std::string path = box["small.bin"];
  ASSERT_TRUE(WriteText(path, "small"));
  HANDLE file = OpenRead(path);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_EQ(nullptr, CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, GRANULARITY, nullptr));
  EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
  EXPECT_EQ(5u, GetFileSize(file, nullptr));
  EXPECT_EQ(nullptr, CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr))
      << "a read-write mapping needs a handle with write access";
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());

  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(nullptr, mapping);
  EXPECT_EQ(nullptr, MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  char const* view = static_cast<char const*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(nullptr, view);
  EXPECT_EQ(0, std::memcmp(view, "small", 5));
  EXPECT_TRUE(UnmapViewOfFile(view));
  CloseHandle(mapping);
  CloseHandle(file);
}

TEST(Mapping, AnEmptyFileHasNothingToMap) {
  Sandbox box;
  HANDLE file = OpenReadWrite(box["empty.bin"], CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_EQ(nullptr, CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr));
  EXPECT_EQ(ERROR_FILE_INVALID, GetLastError());
  CloseHandle(file);
}

TEST(Mapping, ViewsStartAtMultiplesOfTheGranularityWithinTheMapping) {
  Sandbox box;
  HANDLE file = OpenReadWrite(box["views.bin"], CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 2 * GRANULARITY, nullptr);
  ASSERT_NE(nullptr, mapping);
  EXPECT_EQ(nullptr, MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 4096, 100));
  EXPECT_EQ(ERROR_MAPPED_ALIGNMENT, GetLastError());
  EXPECT_EQ(nullptr, MapViewOfFile(mapping, FILE_MAP_WRITE, 0, GRANULARITY, GRANULARITY + 1));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  char* whole = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 2 * GRANULARITY));
  ASSERT_NE(nullptr, whole);
  EXPECT_TRUE(UnmapViewOfFile(whole + 100)) << "any address in a view names it";
  EXPECT_FALSE(UnmapViewOfFile(whole));
  EXPECT_EQ(ERROR_INVALID_ADDRESS, GetLastError());
  CloseHandle(mapping);
  CloseHandle(file);
}

TEST(Mapping, AMappedFileCannotBeCutShorterUntilTheMappingCloses) {
  Sandbox box;
  HANDLE file = OpenReadWrite(box["cut.bin"], CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, GRANULARITY, nullptr);
  ASSERT_NE(nullptr, mapping);
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  ASSERT_NE(nullptr, view);
  EXPECT_EQ(100u, SetFilePointer(file, 100, nullptr, FILE_BEGIN));
  EXPECT_FALSE(SetEndOfFile(file));
  EXPECT_EQ(ERROR_USER_MAPPED_FILE, GetLastError());
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(SetEndOfFile(file));
  EXPECT_EQ(100u, GetFileSize(file, nullptr));
  CloseHandle(file);
}

TEST(Mapping, TheMappingOutlivesItsFileHandle) {
  Sandbox box;
  std::string path = box["outlive.bin"];
  ASSERT_TRUE(WriteText(path, "mapped text"));
  HANDLE file = OpenRead(path);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(nullptr, mapping);
  EXPECT_TRUE(CloseHandle(file));
  char const* view = static_cast<char const*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(nullptr, view);
  EXPECT_EQ(0, std::memcmp(view, "mapped text", 11));
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_FALSE(CloseHandle(mapping));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  HANDLE exclusive = OpenReadWrite(path, OPEN_EXISTING);
  EXPECT_NE(INVALID_HANDLE_VALUE, exclusive) << "nothing holds the file once the mapping is gone";
  CloseHandle(exclusive);
}
