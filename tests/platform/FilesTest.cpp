// Files: dispositions, access, sharing between handles and processes,
// delete on close, reading, writing and the file pointer.
#include "PlatformTestSupport.h"

#include <cstring>

using namespace PlatformTest;

namespace {

HANDLE Open(std::string const& path, DWORD access, DWORD share, DWORD disposition,
            DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

DWORD SizeOf(std::string const& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
    return INVALID_FILE_SIZE;
  return data.nFileSizeLow;
}

struct DispositionCase {
  char const* name;
  bool existsBefore;
  DWORD disposition;
  bool opens;
  DWORD error;     // the error of a failure, or the last error after success
  DWORD sizeAfter; // of the existing 5-byte file, or of a new one
};

DispositionCase const DISPOSITIONS[] = {
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

} // namespace

TEST(Create, DispositionsCreateOpenAndTruncateAsWindowsDoes) {
  Sandbox box;
  for (DispositionCase const& row : DISPOSITIONS) {
    SCOPED_TRACE(row.name);
    std::string path = box["file.bin"];
    if (row.existsBefore) {
      ASSERT_TRUE(WriteText(path, "12345"));
    }
    SetLastError(12345);
    HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, 0, row.disposition);
    DWORD error = GetLastError();
    EXPECT_EQ(row.opens, file != INVALID_HANDLE_VALUE);
    EXPECT_EQ(row.error, error);
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_NE(nullptr, file);
      EXPECT_TRUE(CloseHandle(file));
    }
    EXPECT_EQ(row.sizeAfter, SizeOf(path));
    _unlink(path.c_str());
  }
}

TEST(Create, MissingDirectoryIsPathNotFound) {
  Sandbox box;
  for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS}) {
    SCOPED_TRACE(disposition);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(box["missing\\file.txt"], GENERIC_READ, 0, disposition));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
  }
}

TEST(Create, BadArgumentsAndNamesFail) {
  Sandbox box;
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(box["x"], GENERIC_READ, 0, 0));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(box["x"], GENERIC_READ, 0, 6));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  for (char const* name : {"a|b", "a<b", "a>b", "a*b", "a?b", "a\"b"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(box[name], GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_EQ(ERROR_INVALID_NAME, GetLastError());
  }
  std::string tooLong = box[std::string(300, 'n')];
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(tooLong, GENERIC_WRITE, 0, CREATE_ALWAYS));
  EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, GetLastError());
}

TEST(Create, DirectoriesOpenOnlyWithBackupSemantics) {
  Sandbox box;
  ASSERT_EQ(0, _mkdir(box["dir"].c_str()));
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(box["dir"], GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  HANDLE dir = Open(box["dir"], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(INVALID_HANDLE_VALUE, dir);
  EXPECT_TRUE(CloseHandle(dir));
}

TEST(Create, ReadOnlyFilesRefuseWritingAndOverwriting) {
  NOT_UNDER_WINE("read-only is the POSIX write permission there, which root passes by");
  Sandbox box;
  std::string path = box["ro.txt"];
  ASSERT_TRUE(WriteText(path, "keep"));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, 0, OPEN_EXISTING));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_READ, 0, CREATE_ALWAYS));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_EQ("keep", ReadText(path));
}

TEST(Create, OverwritingAHiddenFileMustKeepItHidden) {
  NOT_UNDER_WINE("CREATE_ALWAYS replaces a hidden file without FILE_ATTRIBUTE_HIDDEN");
  Sandbox box;
  std::string path = box["hidden.txt"];
  ASSERT_TRUE(WriteText(path, "data"));
  if (!SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN) && GetLastError() == ERROR_NOT_SUPPORTED)
    GTEST_SKIP() << "the file system keeps no hidden attribute";
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(Create, NewFilesTakeTheAttributesAsked) {
  Sandbox box;
  std::string path = box["made-ro.txt"];
  HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr)) << "the creator may write";
  CloseHandle(file);
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ("abc", ReadText(path));
}

TEST(Create, EveryAccessHintReadsAndWrites) {
  Sandbox box;
  DWORD const hints[] = {FILE_ATTRIBUTE_NORMAL, FILE_FLAG_SEQUENTIAL_SCAN, FILE_FLAG_RANDOM_ACCESS,
                         FILE_ATTRIBUTE_TEMPORARY, FILE_FLAG_WRITE_THROUGH};
  for (DWORD hint : hints) {
    SCOPED_TRACE(hint);
    std::string path = box["hint.bin"];
    HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, hint);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD count = 0;
    EXPECT_TRUE(WriteFile(file, "hinted", 6, &count, nullptr));
    EXPECT_EQ(0u, SetFilePointer(file, 0, nullptr, FILE_BEGIN));
    char buffer[8] = {};
    EXPECT_TRUE(ReadFile(file, buffer, sizeof(buffer), &count, nullptr));
    EXPECT_EQ(6u, count);
    EXPECT_STREQ("hinted", buffer);
    CloseHandle(file);
  }
}

TEST(ReadWrite, AccessDecidesWhatAHandleMayDo) {
  Sandbox box;
  std::string path = box["rw.txt"];
  ASSERT_TRUE(WriteText(path, "hello"));
  HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  HANDLE writer = Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  char buffer[16] = {};
  DWORD count = 99;
  EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_EQ(0u, count);
  EXPECT_FALSE(ReadFile(writer, buffer, sizeof(buffer), &count, nullptr));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_FALSE(SetEndOfFile(reader));
  EXPECT_TRUE(ReadFile(reader, buffer, sizeof(buffer), &count, nullptr));
  EXPECT_EQ(5u, count);
  EXPECT_TRUE(ReadFile(reader, buffer, sizeof(buffer), &count, nullptr)) << "the end of a file is no failure";
  EXPECT_EQ(0u, count);
  CloseHandle(reader);
  CloseHandle(writer);
}

TEST(ReadWrite, SetEndOfFileNeedsWriteAccess) {
  NOT_UNDER_WINE("a handle without write access fails with ERROR_INVALID_PARAMETER");
  Sandbox box;
  std::string path = box["cut.txt"];
  ASSERT_TRUE(WriteText(path, "hello"));
  HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  EXPECT_EQ(2u, SetFilePointer(reader, 2, nullptr, FILE_BEGIN));
  EXPECT_FALSE(SetEndOfFile(reader));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  CloseHandle(reader);
  EXPECT_EQ("hello", ReadText(path));
}

TEST(FilePointer, MovesWithHighWordAndRefusesNegativePositions) {
  Sandbox box;
  HANDLE file = Open(box["pointer.bin"], GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &count, nullptr));

  EXPECT_EQ(4u, SetFilePointer(file, -6, nullptr, FILE_END));
  EXPECT_EQ(6u, SetFilePointer(file, 2, nullptr, FILE_CURRENT));
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -7, nullptr, FILE_CURRENT));
  EXPECT_EQ(ERROR_NEGATIVE_SEEK, GetLastError());
  EXPECT_EQ(6u, SetFilePointer(file, 0, nullptr, FILE_CURRENT)) << "a failed move leaves the pointer";
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, 3));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());

  LONG high = 1;
  EXPECT_EQ(10u, SetFilePointer(file, 10, &high, FILE_BEGIN));
  EXPECT_EQ(1, high);
  high = 0;
  SetLastError(ERROR_INVALID_FUNCTION);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -1, &high, FILE_BEGIN));
  EXPECT_EQ(ERROR_SUCCESS, GetLastError()) << "0xFFFFFFFF as a position is told from failure by the last error";
  EXPECT_EQ(0, high);
  DWORD sizeHigh = 7;
  EXPECT_EQ(10u, GetFileSize(file, &sizeHigh)) << "moving the pointer does not grow the file";
  EXPECT_EQ(0u, sizeHigh);
  CloseHandle(file);
}

TEST(FilePointer, WritingBeyondTheEndFillsWithZerosAndSetEndOfFileCuts) {
  Sandbox box;
  std::string path = box["gap.bin"];
  HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD count = 0;
  EXPECT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
  ASSERT_TRUE(WriteFile(file, "ab", 2, &count, nullptr));
  EXPECT_EQ(6u, GetFileSize(file, nullptr));
  EXPECT_EQ(3u, SetFilePointer(file, 3, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  EXPECT_EQ(3u, GetFileSize(file, nullptr));
  EXPECT_EQ(100u, SetFilePointer(file, 100, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  LARGE_INTEGER size;
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(100, size.QuadPart);
  CloseHandle(file);
  std::string content = ReadText(path);
  ASSERT_EQ(100u, content.size());
  EXPECT_EQ(std::string(100, '\0'), content);
}

TEST(Handles, ClosedAndUnknownHandlesAreInvalid) {
  Sandbox box;
  HANDLE file = Open(box["h.txt"], GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  ASSERT_NE(nullptr, file);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  DWORD count = 0;
  EXPECT_FALSE(WriteFile(file, "x", 1, &count, nullptr));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  EXPECT_FALSE(FindClose(file));
}

namespace {

struct ShareCase {
  char const* name;
  DWORD firstAccess, firstShare, secondAccess, secondShare;
  bool secondOpens;
};

DWORD const R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;

ShareCase const SHARES[] = {
    {"readers sharing reading", R, SR, R, SR, true},
    {"a writer where the first does not share writing", R, SR, W, SR | SW, false},
    {"a reader where the first shares nothing", R | W, 0, R, SR | SW, false},
    {"a writer sharing with a reader that shares all", R, SR | SW, R | W, SR | SW, true},
    {"a reader not sharing the first's writing", W, SR | SW, R, SR, false},
    {"readers where both share all", R, SR | SW, R, SR, true},
    {"an attribute-only open beside an exclusive one", R | W, 0, FILE_READ_ATTRIBUTES, 0, true},
};

} // namespace

TEST(Sharing, ModesDecideWhetherASecondOpenSucceeds) {
  Sandbox box;
  std::string path = box["shared.txt"];
  ASSERT_TRUE(WriteText(path, "x"));
  for (ShareCase const& row : SHARES) {
    SCOPED_TRACE(row.name);
    HANDLE first = Open(path, row.firstAccess, row.firstShare, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    HANDLE second = Open(path, row.secondAccess, row.secondShare, OPEN_EXISTING);
    EXPECT_EQ(row.secondOpens, second != INVALID_HANDLE_VALUE);
    if (second == INVALID_HANDLE_VALUE) {
      EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    } else {
      CloseHandle(second);
    }
    CloseHandle(first);
  }
}

TEST(Sharing, ClosingReleasesTheFile) {
  Sandbox box;
  std::string path = box["released.txt"];
  HANDLE first = Open(path, R | W, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, first);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, R, SR | SW, OPEN_EXISTING));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, R | W, 0, CREATE_ALWAYS)) << "no truncation past a sharing conflict";
  CloseHandle(first);
  HANDLE again = Open(path, R | W, 0, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, again);
  CloseHandle(again);
  EXPECT_EQ(0, _unlink(path.c_str()));
}

TEST(Sharing, OpenFilesWithoutShareDeleteCannotBeDeletedOrMoved) {
  Sandbox box;
  std::string path = box["busy.txt"];
  ASSERT_TRUE(WriteText(path, "busy"));
  HANDLE open = Open(path, R, SR | SW, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, open);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  EXPECT_EQ(-1, _unlink(path.c_str()));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  EXPECT_FALSE(MoveFileA(path.c_str(), box["moved.txt"].c_str()));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  CloseHandle(open);
  EXPECT_TRUE(MoveFileA(path.c_str(), box["moved.txt"].c_str()));
  EXPECT_TRUE(DeleteFileA(box["moved.txt"].c_str()));
}

TEST(Sharing, AnOpenDirectoryCannotBeRemovedOrMoved) {
  Sandbox box;
  ASSERT_EQ(0, _mkdir(box["held"].c_str()));
  HANDLE dir = Open(box["held"], GENERIC_READ, SR | SW, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(INVALID_HANDLE_VALUE, dir);
  EXPECT_FALSE(RemoveDirectoryA(box["held"].c_str()));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  EXPECT_FALSE(MoveFileA(box["held"].c_str(), box["moved"].c_str()));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  CloseHandle(dir);
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
  if (status < 0) {
    CloseHandle(exclusive);
    GTEST_SKIP() << "no child process can be made here";
  }
  EXPECT_EQ(0, status) << "another process must meet the sharing violation";
  CloseHandle(exclusive);
  EXPECT_EQ(1, ZEBPlatform::RunInChildProcess(OpenInChild, &request)) << "closed in this process, free in another";
}

TEST(DeleteOnClose, TheFileGoesWithItsLastHandle) {
  Sandbox box;
  std::string path = box["temporary.tmp"];
  HANDLE file = Open(path, R | W, SR | SW | FILE_SHARE_DELETE, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD count = 0;
  EXPECT_TRUE(WriteFile(file, "scratch", 7, &count, nullptr));
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, R, SR | SW, OPEN_EXISTING)) << "others must share deleting to open it";
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  HANDLE second = Open(path, R, SR | SW | FILE_SHARE_DELETE, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, second);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}
