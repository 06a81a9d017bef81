// File mapping: the allocation granularity, growth of writable mappings,
// views by offset and what a mapping forbids while it lives.
#include "PlatformTestSupport.h"

#include <cstring>

using namespace PlatformTest;

DWORD const GRANULARITY = 65536, RW = GENERIC_READ | GENERIC_WRITE;

TEST(Mapping, WritableMappingsGrowTheFileReadOnlyOnesNeverAndViewsStartAtTheGranularity) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_TRUE(info.dwAllocationGranularity == GRANULARITY && GRANULARITY % info.dwPageSize == 0);
  Sandbox box;
  std::string path = box["grow.bin"];
  HANDLE file = Open(path, RW, 0, CREATE_NEW);
  EXPECT_TRUE(Fails(CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr) == nullptr, ERROR_FILE_INVALID))
      << "an empty file has nothing to map";
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 2 * GRANULARITY, nullptr);
  ASSERT_NE(nullptr, mapping) << GetLastError();
  EXPECT_EQ(2 * GRANULARITY, GetFileSize(file, nullptr));
  EXPECT_TRUE(Fails(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 4096, 100) == nullptr, ERROR_MAPPED_ALIGNMENT));
  EXPECT_TRUE(Fails(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, GRANULARITY, GRANULARITY + 1) == nullptr,
                    ERROR_ACCESS_DENIED));
  char* second = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, GRANULARITY, 0));
  char* first = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 100));
  ASSERT_TRUE(first && second);
  std::memcpy(second, "second", 6);
  std::memcpy(first + 10, "first", 5);
  EXPECT_TRUE(FlushViewOfFile(first, 0));
  EXPECT_TRUE(UnmapViewOfFile(first + 50)) << "any address in a view names it";
  EXPECT_TRUE(Fails(!UnmapViewOfFile(first), ERROR_INVALID_ADDRESS));
  // The file cannot be cut below the mapping while it lives.
  EXPECT_EQ(GRANULARITY + 6, SetFilePointer(file, GRANULARITY + 6, nullptr, FILE_BEGIN));
  EXPECT_TRUE(Fails(!SetEndOfFile(file), ERROR_USER_MAPPED_FILE));
  EXPECT_TRUE(UnmapViewOfFile(second) && CloseHandle(mapping));
  EXPECT_TRUE(SetEndOfFile(file) && CloseHandle(file));
  std::string content = ReadText(path);
  ASSERT_EQ(GRANULARITY + 6, content.size());
  EXPECT_EQ("first", content.substr(10, 5));
  EXPECT_EQ("second", content.substr(GRANULARITY, 6));
  // A read-only mapping stays within the file and outlives its handle.
  ASSERT_TRUE(WriteText(path, "small"));
  file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_TRUE(Fails(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, GRANULARITY, nullptr) == nullptr,
                    ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(Fails(CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr) == nullptr, ERROR_ACCESS_DENIED))
      << "a read-write mapping needs a handle with write access";
  mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  EXPECT_TRUE(mapping && GetFileSize(file, nullptr) == 5 && CloseHandle(file));
  EXPECT_TRUE(Fails(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0) == nullptr, ERROR_ACCESS_DENIED));
  char const* view = static_cast<char const*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(nullptr, view);
  EXPECT_EQ(0, std::memcmp(view, "small", 5));
  EXPECT_TRUE(UnmapViewOfFile(view) && CloseHandle(mapping));
  EXPECT_TRUE(Fails(!CloseHandle(mapping), ERROR_INVALID_HANDLE));
  EXPECT_TRUE(Close(Open(path, RW, 0, OPEN_EXISTING))) << "the mapping has let go";
}
