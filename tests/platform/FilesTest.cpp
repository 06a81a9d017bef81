// Files: dispositions, access, sharing between handles and processes,
// delete on close, reading, writing and the file pointer; file mapping (the
// allocation granularity, growth, views by offset and what a mapping forbids).
#include "PlatformTestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

using namespace PlatformTest;

DWORD const R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SD = FILE_SHARE_DELETE;
DWORD const GRANULARITY = 65536;

TEST(Create, DispositionsAndArgumentsAreTakenAsWindowsTakesThem) {
  struct Row {
    bool exists; // a file holding "12345"
    DWORD disposition, error; // the last error after the open: ERROR_SUCCESS or ERROR_ALREADY_EXISTS when it opens
    char const* after;        // the content after it, "-" for no file
  } const rows[] = {
      {false, CREATE_NEW, ERROR_SUCCESS, ""},          {true, CREATE_NEW, ERROR_FILE_EXISTS, "12345"},
      {false, CREATE_ALWAYS, ERROR_SUCCESS, ""},       {true, CREATE_ALWAYS, ERROR_ALREADY_EXISTS, ""},
      {false, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, "-"}, {true, OPEN_EXISTING, ERROR_SUCCESS, "12345"},
      {false, OPEN_ALWAYS, ERROR_SUCCESS, ""},         {true, OPEN_ALWAYS, ERROR_ALREADY_EXISTS, "12345"},
      {false, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND, "-"}, {true, TRUNCATE_EXISTING, ERROR_SUCCESS, ""},
  };
  Sandbox box;
  std::string path = box["file.bin"];
  for (Row const& row : rows) {
    SCOPED_TRACE("disposition " + std::to_string(row.disposition) + (row.exists ? " on a file" : " on no file"));
    ASSERT_TRUE(!row.exists || WriteText(path, "12345"));
    SetLastError(12345);
    HANDLE file = Open(path, R | W, 0, row.disposition);
    EXPECT_EQ(row.error, GetLastError());
    EXPECT_EQ(row.error == ERROR_SUCCESS || row.error == ERROR_ALREADY_EXISTS, Close(file));
    EXPECT_EQ(row.after, Exists(path) ? ReadText(path) : "-");
    _unlink(path.c_str());
  }
  // Bad arguments, and new files take the attributes asked.
  for (DWORD disposition : {DWORD(0), DWORD(6)})
    EXPECT_TRUE(Fails(Open(box["x"], R, 0, disposition) == INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER));
  for (char const* name : {"a|b", "a<b", "a>b", "a*b", "a?b", "a\"b"})
    EXPECT_TRUE(Fails(Open(box[name], W, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE, ERROR_INVALID_NAME)) << name;
  ASSERT_EQ(0, _mkdir(box["dir"].c_str()));
  EXPECT_TRUE(Fails(Open(box["dir"], R, SR, OPEN_EXISTING) == INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Close(Open(box["dir"], R, SR | SW | SD, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS)))
      << "directories open with backup semantics";
  HANDLE file = Open(box["ro.txt"], R | W, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY | FILE_FLAG_SEQUENTIAL_SCAN);
  DWORD count = 0;
  EXPECT_TRUE(WriteFile(file, "made", 4, &count, nullptr) && Close(file)) << "the creator may write";
  EXPECT_TRUE(ReadText(box["ro.txt"]) == "made" && GetFileAttributesA(box["ro.txt"].c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST(Create, ReadOnlyAndHiddenFilesAreProtected) {
  NOT_UNDER_WINE("read-only is the POSIX write permission there, which root passes by");
  Sandbox box;
  std::string path = box["ro.txt"], hidden = box["hidden.txt"];
  ASSERT_TRUE(WriteText(path, "keep") && SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  for (auto [access, disposition, flags] : {std::tuple<DWORD, DWORD, DWORD>{W, OPEN_EXISTING, 0},
                                            {R, CREATE_ALWAYS, 0}, {R, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE}})
    EXPECT_TRUE(Fails(Open(path, access, 0, disposition, flags) == INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED));
  EXPECT_EQ("keep", ReadText(path));
  ASSERT_TRUE(WriteText(hidden, "data"));
  if (!SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN))
    GTEST_SKIP() << "the file system keeps no hidden attribute";
  EXPECT_TRUE(Fails(Open(hidden, W, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED))
      << "overwriting a hidden file must keep it hidden";
  EXPECT_TRUE(Close(Open(hidden, W, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN)));
  EXPECT_TRUE(GetFileAttributesA(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(ReadWrite, AccessDecidesWhatAHandleMayDoThePointerMovesAndCuts) {
  Sandbox box;
  std::string path = box["pointer.bin"];
  HANDLE file = Open(path, R | W, SR | SW, CREATE_NEW), reader = Open(path, R, SR | SW, OPEN_EXISTING);
  char buffer[16] = {};
  DWORD count = 99;
  EXPECT_TRUE(Fails(!WriteFile(reader, "x", 1, &count, nullptr) && count == 0, ERROR_ACCESS_DENIED));
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &count, nullptr));
  EXPECT_EQ(4u, SetFilePointer(file, -6, nullptr, FILE_END));
  EXPECT_EQ(6u, SetFilePointer(file, 2, nullptr, FILE_CURRENT));
  EXPECT_TRUE(Fails(SetFilePointer(file, -7, nullptr, FILE_CURRENT) == INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(0u, SetFilePointer(file, -6, nullptr, FILE_CURRENT)) << "a failed move leaves the pointer";
  LONG high = 0;
  SetLastError(ERROR_INVALID_FUNCTION);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -1, &high, FILE_BEGIN));
  EXPECT_EQ(ERROR_SUCCESS, GetLastError()) << "0xFFFFFFFF as a position is told from failure by the last error";
  EXPECT_EQ(10u, GetFileSize(file, nullptr)) << "moving the pointer does not grow the file";
  EXPECT_EQ(7u, SetFilePointer(reader, 7, nullptr, FILE_BEGIN));
  EXPECT_TRUE(ReadFile(reader, buffer, sizeof(buffer), &count, nullptr) && count == 3);
  EXPECT_TRUE(ReadFile(reader, buffer, sizeof(buffer), &count, nullptr) && count == 0) << "the end is no failure";
  // Writing beyond the end fills with zeros; SetEndOfFile cuts and grows.
  EXPECT_TRUE(SetFilePointer(file, 12, nullptr, FILE_BEGIN) == 12 && WriteFile(file, "ab", 2, &count, nullptr));
  EXPECT_TRUE(SetFilePointer(file, 3, nullptr, FILE_BEGIN) == 3 && SetEndOfFile(file));
  EXPECT_EQ(3u, GetFileSize(file, nullptr));
  EXPECT_TRUE(SetFilePointer(file, 14, nullptr, FILE_BEGIN) == 14 && SetEndOfFile(file) && CloseHandle(file));
  EXPECT_EQ(std::string("012") + std::string(11, '\0'), ReadText(path));
  EXPECT_TRUE(CloseHandle(reader) && Fails(!CloseHandle(reader), ERROR_INVALID_HANDLE));
  EXPECT_TRUE(Fails(!ReadFile(reader, buffer, 1, &count, nullptr), ERROR_INVALID_HANDLE));
}

// A second open against a first, and against a file to be deleted on close
// (which others must share deleting to open).
TEST(Sharing, ModesDecideWhetherASecondOpenSucceeds) {
  struct Row {
    char const* name;
    DWORD firstAccess, firstShare, secondAccess, secondShare, firstFlags;
    bool secondOpens;
  } const rows[] = {
      {"readers sharing reading", R, SR, R, SR, 0, true},
      {"a writer where the first does not share writing", R, SR, W, SR | SW, 0, false},
      {"a reader where the first shares nothing", R | W, 0, R, SR | SW, 0, false},
      {"a writer sharing with a reader that shares all", R, SR | SW, R | W, SR | SW, 0, true},
      {"a reader not sharing the first's writing", W, SR | SW, R, SR, 0, false},
      {"an attribute-only open beside an exclusive one", R | W, 0, FILE_READ_ATTRIBUTES, 0, 0, true},
      {"a deleter where the first does not share deleting", R, SR | SW, DELETE, SR | SW | SD, 0, false},
      {"a deleter where the first shares deleting", R, SR | SW | SD, DELETE, SR | SW | SD, 0, true},
      {"delete on close, without delete sharing", R | W, SR | SW | SD, R, SR | SW, FILE_FLAG_DELETE_ON_CLOSE, false},
      {"delete on close, with delete sharing", R | W, SR | SW | SD, R, SR | SW | SD, FILE_FLAG_DELETE_ON_CLOSE, true},
  };
  Sandbox box;
  std::string path = box["shared.txt"];
  for (Row const& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(WriteText(path, "x"));
    HANDLE first = Open(path, row.firstAccess, row.firstShare, OPEN_EXISTING, row.firstFlags);
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    HANDLE second = Open(path, row.secondAccess, row.secondShare, OPEN_EXISTING);
    EXPECT_TRUE(row.secondOpens ? Close(second) : Fails(second == INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(Exists(path)) << "a file to be deleted on close stays while a handle is open";
    CloseHandle(first);
    EXPECT_EQ(row.firstFlags == 0, Exists(path)) << "and goes with its last handle";
  }
  ASSERT_TRUE(WriteText(path, "x"));
  HANDLE exclusive = Open(path, R | W, 0, OPEN_EXISTING);
  EXPECT_TRUE(Fails(Open(path, R | W, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION));
  CloseHandle(exclusive);
  EXPECT_EQ("x", ReadText(path)) << "no truncation past a sharing conflict, and closing releases the file";
}

TEST(Sharing, OpenEntriesWithoutShareDeleteCannotBeDeletedOrMoved) {
  Sandbox box;
  std::string path = box["busy.txt"], held = box["held"];
  ASSERT_TRUE(WriteText(path, "busy") && _mkdir(held.c_str()) == 0);
  HANDLE open = Open(path, R, SR | SW, OPEN_EXISTING);
  HANDLE dir = Open(held, R, SR | SW, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_TRUE(open != INVALID_HANDLE_VALUE && dir != INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Fails(!DeleteFileA(path.c_str()), ERROR_SHARING_VIOLATION));
  errno = 0;
  EXPECT_TRUE(Fails(_unlink(path.c_str()) == -1, ERROR_SHARING_VIOLATION));
  EXPECT_EQ(EACCES, errno);
  EXPECT_TRUE(Fails(!MoveFileA(path.c_str(), box["moved.txt"].c_str()), ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(Fails(!RemoveDirectoryA(held.c_str()), ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(Fails(!MoveFileA(held.c_str(), box["moved"].c_str()), ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(CloseHandle(open) && CloseHandle(dir));
  EXPECT_TRUE(MoveFileA(path.c_str(), box["moved.txt"].c_str()) && DeleteFileA(box["moved.txt"].c_str()));
  EXPECT_TRUE(RemoveDirectoryA(held.c_str()));
}

TEST(Processes, SharingHoldsBetweenThemAndDeleteOnCloseOutlivesAnEndWithoutClose) {
  Sandbox box;
  std::string path = box["between.txt"], left = box["left-open.tmp"];
  ASSERT_TRUE(WriteText(path, "x"));
  // The child's exit status: 0 when its open met a sharing violation, 1 when it succeeded.
  auto openInChild = [](void* path) {
    HANDLE file = Open(*static_cast<std::string*>(path), R, SR | SW, OPEN_EXISTING);
    return Close(file) ? 1 : GetLastError() == ERROR_SHARING_VIOLATION ? 0 : 2;
  };
  auto leaveOpen = [](void* path) { // ends the child without closing its file
    if (Open(*static_cast<std::string*>(path), W, 0, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE) == INVALID_HANDLE_VALUE)
      return 2;
    std::exit(Exists(*static_cast<std::string*>(path)) ? 0 : 3);
  };
  HANDLE exclusive = Open(path, R | W, 0, OPEN_EXISTING);
  int status = ZEBPlatform::RunInChildProcess(openInChild, &path);
  CloseHandle(exclusive);
  if (status < 0)
    GTEST_SKIP() << "no child process can be made here";
  EXPECT_EQ(0, status) << "another process must meet the sharing violation";
  EXPECT_EQ(1, ZEBPlatform::RunInChildProcess(openInChild, &path)) << "closed in this process, free in another";
  EXPECT_EQ(0, ZEBPlatform::RunInChildProcess(leaveOpen, &left));
  EXPECT_FALSE(Exists(left)) << "the file went with the process";
}

TEST(Mapping, WritableMappingsGrowTheFileReadOnlyOnesNeverAndViewsStartAtTheGranularity) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_TRUE(info.dwAllocationGranularity == GRANULARITY && GRANULARITY % info.dwPageSize == 0);
  Sandbox box;
  std::string path = box["grow.bin"];
  HANDLE file = Open(path, R | W, 0, CREATE_NEW);
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
  file = Open(path, R, SR | SW, OPEN_EXISTING);
  EXPECT_TRUE(Fails(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, GRANULARITY, nullptr) == nullptr,
                    ERROR_NOT_ENOUGH_MEMORY));
  mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  EXPECT_TRUE(mapping && GetFileSize(file, nullptr) == 5 && CloseHandle(file));
  EXPECT_TRUE(Fails(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0) == nullptr, ERROR_ACCESS_DENIED));
  char const* view = static_cast<char const*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  EXPECT_TRUE(view && std::memcmp(view, "small", 5) == 0 && UnmapViewOfFile(view) && CloseHandle(mapping));
  EXPECT_TRUE(Fails(!CloseHandle(mapping), ERROR_INVALID_HANDLE));
  EXPECT_TRUE(Close(Open(path, R | W, 0, OPEN_EXISTING))) << "the mapping has let go";
}
