// Files: dispositions, access, sharing between handles and processes,
// delete on close, reading, writing and the file pointer.
#include "PlatformTestSupport.h"

#include <cerrno>

using namespace PlatformTest;

namespace {

DWORD const R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SD = FILE_SHARE_DELETE;

DWORD SizeOf(std::string const& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : INVALID_FILE_SIZE;
}

} // namespace

TEST(Create, DispositionsCreateOpenAndTruncateAsWindowsDoes) {
  struct Row {
    char const* name;
    bool existsBefore;
    DWORD disposition;
    bool opens;
    DWORD error;     // the error of a failure, or the last error after success
    DWORD sizeAfter; // of the existing 5-byte file, or of a new one
  } const rows[] = {
      {"CREATE_NEW on a new name", false, CREATE_NEW, true, ERROR_SUCCESS, 0},
      {"CREATE_NEW on a file", true, CREATE_NEW, false, ERROR_FILE_EXISTS, 5},
      {"CREATE_ALWAYS on a new name", false, CREATE_ALWAYS, true, ERROR_SUCCESS, 0},
      {"CREATE_ALWAYS on a file", true, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, 0},
      {"OPEN_EXISTING on a new name", false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, INVALID_FILE_SIZE},
      {"OPEN_EXISTING on a file", true, OPEN_EXISTING, true, ERROR_SUCCESS, 5},
      {"OPEN_ALWAYS on a new name", false, OPEN_ALWAYS, true, ERROR_SUCCESS, 0},
      {"OPEN_ALWAYS on a file", true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, 5},
      {"TRUNCATE_EXISTING on a new name", false, TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, INVALID_FILE_SIZE},
      {"TRUNCATE_EXISTING on a file", true, TRUNCATE_EXISTING, true, ERROR_SUCCESS, 0},
  };
  Sandbox box;
  for (Row const& row : rows) {
    SCOPED_TRACE(row.name);
    std::string path = box["file.bin"];
    if (row.existsBefore) {
      ASSERT_TRUE(WriteText(path, "12345"));
    }
    SetLastError(12345);
    HANDLE file = Open(path, R | W, 0, row.disposition);
    EXPECT_EQ(row.error, GetLastError());
    EXPECT_EQ(row.opens, file != INVALID_HANDLE_VALUE && file != nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(file));
    }
    EXPECT_EQ(row.sizeAfter, SizeOf(path));
    _unlink(path.c_str());
  }
}

TEST(Create, BadArgumentsNamesAndDirectoriesFail) {
  Sandbox box;
  for (DWORD disposition : {DWORD(0), DWORD(6)})
    EXPECT_TRUE(Fails(Open(box["x"], R, 0, disposition) == INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER));
  for (char const* name : {"a|b", "a<b", "a>b", "a*b", "a?b", "a\"b"})
    EXPECT_TRUE(Fails(Open(box[name], W, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE, ERROR_INVALID_NAME)) << name;
  EXPECT_TRUE(Fails(Open(box[std::string(300, 'n')], W, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE,
                    ERROR_FILENAME_EXCED_RANGE));
  for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS})
    EXPECT_TRUE(Fails(Open(box["missing\\f.txt"], R, 0, disposition) == INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND));
  ASSERT_EQ(0, _mkdir(box["dir"].c_str()));
  EXPECT_TRUE(Fails(Open(box["dir"], R, SR, OPEN_EXISTING) == INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED));
  HANDLE dir = Open(box["dir"], R, SR | SW | SD, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(INVALID_HANDLE_VALUE, dir) << "directories open with backup semantics";
  EXPECT_TRUE(CloseHandle(dir));
}

TEST(Create, ReadOnlyAndHiddenFilesAreProtected) {
  NOT_UNDER_WINE("read-only is the POSIX write permission there, which root passes by");
  Sandbox box;
  std::string path = box["ro.txt"];
  ASSERT_TRUE(WriteText(path, "keep"));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(Fails(Open(path, W, 0, OPEN_EXISTING) == INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Fails(Open(path, R, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Fails(Open(path, R, 0, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE) == INVALID_HANDLE_VALUE,
                    ERROR_ACCESS_DENIED));
  EXPECT_EQ("keep", ReadText(path));
  // Overwriting a hidden file must keep it hidden.
  ASSERT_TRUE(WriteText(box["hidden.txt"], "data"));
  if (!SetFileAttributesA(box["hidden.txt"].c_str(), FILE_ATTRIBUTE_HIDDEN))
    GTEST_SKIP() << "the file system keeps no hidden attribute";
  EXPECT_TRUE(Fails(Open(box["hidden.txt"], W, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED));
  HANDLE file = Open(box["hidden.txt"], W, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  EXPECT_TRUE(GetFileAttributesA(box["hidden.txt"].c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(Create, NewFilesTakeTheAttributesAndHintsAsked) {
  Sandbox box;
  for (DWORD flags : {DWORD(FILE_ATTRIBUTE_READONLY), DWORD(FILE_FLAG_SEQUENTIAL_SCAN), DWORD(FILE_FLAG_RANDOM_ACCESS),
                      DWORD(FILE_ATTRIBUTE_TEMPORARY), DWORD(FILE_FLAG_WRITE_THROUGH)}) {
    SCOPED_TRACE(flags);
    std::string path = box["made" + std::to_string(flags)];
    HANDLE file = Open(path, R | W, 0, CREATE_NEW, flags);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD count = 0;
    char buffer[8] = {};
    EXPECT_TRUE(WriteFile(file, "hinted", 6, &count, nullptr)) << "the creator may write";
    EXPECT_EQ(0u, SetFilePointer(file, 0, nullptr, FILE_BEGIN));
    EXPECT_TRUE(ReadFile(file, buffer, sizeof(buffer), &count, nullptr));
    EXPECT_STREQ("hinted", buffer);
    CloseHandle(file);
    EXPECT_EQ(flags == FILE_ATTRIBUTE_READONLY, (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0);
  }
}

TEST(ReadWrite, AccessDecidesWhatAHandleMayDo) {
  Sandbox box;
  std::string path = box["rw.txt"];
  ASSERT_TRUE(WriteText(path, "hello"));
  HANDLE reader = Open(path, R, SR | SW, OPEN_EXISTING), writer = Open(path, W, SR | SW, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  char buffer[16] = {};
  DWORD count = 99;
  EXPECT_TRUE(Fails(!WriteFile(reader, "x", 1, &count, nullptr), ERROR_ACCESS_DENIED));
  EXPECT_EQ(0u, count);
  EXPECT_TRUE(Fails(!ReadFile(writer, buffer, sizeof(buffer), &count, nullptr), ERROR_ACCESS_DENIED));
  EXPECT_EQ(2u, SetFilePointer(reader, 2, nullptr, FILE_BEGIN));
  EXPECT_FALSE(SetEndOfFile(reader));
  EXPECT_TRUE(ReadFile(reader, buffer, sizeof(buffer), &count, nullptr));
  EXPECT_EQ(3u, count);
  EXPECT_TRUE(ReadFile(reader, buffer, sizeof(buffer), &count, nullptr)) << "the end of a file is no failure";
  EXPECT_EQ(0u, count);
  CloseHandle(reader);
  CloseHandle(writer);
  EXPECT_EQ("hello", ReadText(path));
}

TEST(FilePointer, MovesWithHighWordRefusesNegativePositionsAndCuts) {
  Sandbox box;
  std::string path = box["pointer.bin"];
  HANDLE file = Open(path, R | W, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &count, nullptr));
  EXPECT_EQ(4u, SetFilePointer(file, -6, nullptr, FILE_END));
  EXPECT_EQ(6u, SetFilePointer(file, 2, nullptr, FILE_CURRENT));
  EXPECT_TRUE(Fails(SetFilePointer(file, -7, nullptr, FILE_CURRENT) == INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(0u, SetFilePointer(file, -6, nullptr, FILE_CURRENT)) << "a failed move leaves the pointer";
  EXPECT_TRUE(Fails(SetFilePointer(file, 0, nullptr, 3) == INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER));
  LONG high = 1;
  EXPECT_EQ(10u, SetFilePointer(file, 10, &high, FILE_BEGIN));
  EXPECT_EQ(1, high);
  high = 0;
  SetLastError(ERROR_INVALID_FUNCTION);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -1, &high, FILE_BEGIN));
  EXPECT_EQ(ERROR_SUCCESS, GetLastError()) << "0xFFFFFFFF as a position is told from failure by the last error";
  DWORD sizeHigh = 7;
  EXPECT_EQ(10u, GetFileSize(file, &sizeHigh)) << "moving the pointer does not grow the file";
  EXPECT_EQ(0u, sizeHigh);
  // Writing beyond the end fills with zeros; SetEndOfFile cuts and grows.
  EXPECT_EQ(12u, SetFilePointer(file, 12, nullptr, FILE_BEGIN));
  ASSERT_TRUE(WriteFile(file, "ab", 2, &count, nullptr));
  EXPECT_EQ(3u, SetFilePointer(file, 3, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  EXPECT_EQ(3u, GetFileSize(file, nullptr));
  EXPECT_EQ(14u, SetFilePointer(file, 14, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  LARGE_INTEGER size;
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(14, size.QuadPart);
  CloseHandle(file);
  EXPECT_EQ(std::string("012") + std::string(11, '\0'), ReadText(path));
}

TEST(Handles, ClosedAndUnknownHandlesAreInvalid) {
  Sandbox box;
  HANDLE file = Open(box["h.txt"], W, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(Fails(!CloseHandle(file), ERROR_INVALID_HANDLE));
  DWORD count = 0;
  EXPECT_TRUE(Fails(!WriteFile(file, "x", 1, &count, nullptr), ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindClose(file));
}

TEST(Sharing, ModesDecideWhetherASecondOpenSucceeds) {
  struct Row {
    char const* name;
    DWORD firstAccess, firstShare, secondAccess, secondShare;
    bool secondOpens;
  } const rows[] = {
      {"readers sharing reading", R, SR, R, SR, true},
      {"a writer where the first does not share writing", R, SR, W, SR | SW, false},
      {"a reader where the first shares nothing", R | W, 0, R, SR | SW, false},
      {"a writer sharing with a reader that shares all", R, SR | SW, R | W, SR | SW, true},
      {"a reader not sharing the first's writing", W, SR | SW, R, SR, false},
      {"an attribute-only open beside an exclusive one", R | W, 0, FILE_READ_ATTRIBUTES, 0, true},
      {"a deleter where the first does not share deleting", R, SR | SW, DELETE, SR | SW | SD, false},
      {"a deleter where the first shares deleting", R, SR | SW | SD, DELETE, SR | SW | SD, true},
  };
  Sandbox box;
  std::string path = box["shared.txt"];
  ASSERT_TRUE(WriteText(path, "x"));
  for (Row const& row : rows) {
    SCOPED_TRACE(row.name);
    HANDLE first = Open(path, row.firstAccess, row.firstShare, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    HANDLE second = Open(path, row.secondAccess, row.secondShare, OPEN_EXISTING);
    if (row.secondOpens) {
      EXPECT_NE(INVALID_HANDLE_VALUE, second);
      CloseHandle(second);
    } else {
      EXPECT_TRUE(Fails(second == INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION));
    }
    CloseHandle(first);
  }
  HANDLE exclusive = Open(path, R | W, 0, OPEN_EXISTING);
  EXPECT_TRUE(Fails(Open(path, R | W, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION));
  CloseHandle(exclusive);
  EXPECT_EQ("x", ReadText(path)) << "no truncation past a sharing conflict, and closing releases the file";
}

TEST(Sharing, OpenEntriesWithoutShareDeleteCannotBeDeletedOrMoved) {
  Sandbox box;
  std::string path = box["busy.txt"];
  ASSERT_TRUE(WriteText(path, "busy"));
  ASSERT_EQ(0, _mkdir(box["held"].c_str()));
  HANDLE open = Open(path, R, SR | SW, OPEN_EXISTING);
  HANDLE dir = Open(box["held"], R, SR | SW, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(INVALID_HANDLE_VALUE, open);
  ASSERT_NE(INVALID_HANDLE_VALUE, dir);
  EXPECT_TRUE(Fails(!DeleteFileA(path.c_str()), ERROR_SHARING_VIOLATION));
  errno = 0;
  EXPECT_TRUE(Fails(_unlink(path.c_str()) == -1, ERROR_SHARING_VIOLATION));
  EXPECT_EQ(EACCES, errno);
  EXPECT_TRUE(Fails(!MoveFileA(path.c_str(), box["moved.txt"].c_str()), ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(Fails(!RemoveDirectoryA(box["held"].c_str()), ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(Fails(!MoveFileA(box["held"].c_str(), box["moved"].c_str()), ERROR_SHARING_VIOLATION));
  CloseHandle(open);
  CloseHandle(dir);
  EXPECT_TRUE(MoveFileA(path.c_str(), box["moved.txt"].c_str()));
  EXPECT_TRUE(DeleteFileA(box["moved.txt"].c_str()));
  EXPECT_TRUE(RemoveDirectoryA(box["held"].c_str()));
}

namespace {

struct ChildOpen {
  std::string path;
  DWORD access, share;
};

// Exit status 0 when the open in the child failed with a sharing violation,
// 1 when it succeeded, 2 otherwise.
int OpenInChild(void* argument) {
  auto* request = static_cast<ChildOpen*>(argument);
  HANDLE file = Open(request->path, request->access, request->share, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_SHARING_VIOLATION ? 0 : 2;
  CloseHandle(file);
  return 1;
}

} // namespace

TEST(Sharing, HoldsBetweenProcesses) {
  Sandbox box;
  std::string path = box["between.txt"];
  ASSERT_TRUE(WriteText(path, "x"));
  HANDLE exclusive = Open(path, R | W, 0, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
  ChildOpen request{path, R, SR | SW};
  int status = ZEBPlatform::RunInChildProcess(OpenInChild, &request);
  CloseHandle(exclusive);
  if (status < 0)
    GTEST_SKIP() << "no child process can be made here";
  EXPECT_EQ(0, status) << "another process must meet the sharing violation";
  EXPECT_EQ(1, ZEBPlatform::RunInChildProcess(OpenInChild, &request)) << "closed in this process, free in another";
}

TEST(DeleteOnClose, TheFileGoesWithItsLastHandle) {
  Sandbox box;
  std::string path = box["temporary.tmp"];
  HANDLE file = Open(path, R | W, SR | SW | SD, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_TRUE(Exists(path));
  EXPECT_TRUE(Fails(Open(path, R, SR | SW, OPEN_EXISTING) == INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION))
      << "others must share deleting to open it";
  HANDLE second = Open(path, R, SR | SW | SD, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, second);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_TRUE(Fails(!Exists(path), ERROR_FILE_NOT_FOUND));
}
