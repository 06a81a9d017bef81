// File-system calls by path: attributes, copy, move, rename, and creating and
// removing directories, with the errors Windows gives.
#include "PlatformTestSupport.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

using namespace PlatformTest;

TEST(Attributes, KindsSizesMissingEntriesAndWhatIsSet) {
  Sandbox box;
  std::string path = box["file.txt"];
  ASSERT_TRUE(WriteText(path, "12345") && _mkdir(box["dir"].c_str()) == 0);
  EXPECT_TRUE(Fails(GetFileAttributesA(box["nothing.txt"].c_str()) == INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND));
  for (char const* missing : {"nowhere\\nothing.txt", "file.txt\\below"})
    EXPECT_TRUE(Fails(GetFileAttributesA(box[missing].c_str()) == INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(Fails(!SetFileAttributesA(box["missing.txt"].c_str(), FILE_ATTRIBUTE_HIDDEN), ERROR_FILE_NOT_FOUND));
  DWORD file = GetFileAttributesA(path.c_str()), dir = GetFileAttributesA(box["dir"].c_str());
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), file) << "a new file is only waiting for its backup";
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), dir & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(dir == GetFileAttributesA(box["dir\\"].c_str()) && dir == GetFileAttributesA(box["DIR"].c_str()));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(file, data.dwFileAttributes);
  EXPECT_EQ(5u, data.nFileSizeLow + data.nFileSizeHigh);
  EXPECT_GT(data.ftLastWriteTime.dwHighDateTime, 132223104000000000ull >> 32); // 2020-01-01
  EXPECT_TRUE(Fails(!GetFileAttributesExA(path.c_str(), GetFileExMaxInfoLevel, &data), ERROR_INVALID_PARAMETER));
  DWORD const H = FILE_ATTRIBUTE_HIDDEN, S = FILE_ATTRIBUTE_SYSTEM, A = FILE_ATTRIBUTE_ARCHIVE,
              RO = FILE_ATTRIBUTE_READONLY, OI = FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  std::pair<DWORD, bool> const rows[] = { // what is set, read back exactly (Wine adds the archive bit to all)
      {RO, true}, {H, true}, {H | S, false}, {RO | H, false}, {FILE_ATTRIBUTE_NORMAL, true}, {H | S | A, true},
      {A, true}, {OI, true}};
  for (auto [set, exact] : rows) {
    SCOPED_TRACE(set);
    if (!SetFileAttributesA(path.c_str(), set)) {
      ASSERT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
      GTEST_SKIP() << "the file system keeps no extended attributes";
    }
    DWORD mask = exact && !IsWine() ? ~DWORD(0) : RO | H | S;
    EXPECT_EQ(set & mask, GetFileAttributesA(path.c_str()) & mask);
  }
}

TEST(Attributes, DotNamesHiddenAndLinksReparsePoints) {
  Sandbox box;
  if (IsPosixLayer()) {
    ASSERT_TRUE(WriteText(box[".profile"], "x"));
    EXPECT_TRUE(GetFileAttributesA(box[".profile"].c_str()) & FILE_ATTRIBUTE_HIDDEN)
        << "a leading dot is what hides a name on POSIX";
  }
  NOT_UNDER_WINE("a link to a file reads as a directory and cannot be opened");
  ASSERT_TRUE(WriteText(box["target.txt"], "x"));
  ASSERT_EQ(0, _mkdir(box["target-dir"].c_str()));
  if (!CreateSymbolicLinkA(box["link.txt"].c_str(), box["target.txt"].c_str(), 0))
    GTEST_SKIP() << "symbolic links cannot be made here (error " << GetLastError() << ")";
  ASSERT_TRUE(CreateSymbolicLinkA(box["link-dir"].c_str(), box["target-dir"].c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY));
  DWORD const KIND = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_REPARSE_POINT), GetFileAttributesA(box["link.txt"].c_str()) & KIND);
  EXPECT_EQ(KIND, GetFileAttributesA(box["link-dir"].c_str()) & KIND);
  EXPECT_EQ("x", ReadText(box["link.txt"]));
  EXPECT_TRUE(RemoveDirectoryA(box["link-dir"].c_str()));
  EXPECT_TRUE(Exists(box["target-dir"])) << "removing a link leaves its target";
}

TEST(Attributes, FileTimesKeepTheirTicks) {
  ONLY_ON_POSIX_LAYER("the time is set through the host path");
  Sandbox box;
  ASSERT_TRUE(WriteText(box["t.txt"], "x"));
  namespace fs = std::filesystem;
  fs::path host = ZEBPlatform::HostPath(box["t.txt"].c_str());
  auto second = std::chrono::floor<std::chrono::seconds>(fs::last_write_time(host));
  fs::last_write_time(host, second + std::chrono::nanoseconds(123456700));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(box["t.txt"].c_str(), GetFileExInfoStandard, &data));
  uint64_t ticks = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(1234567u, ticks % 10000000u);
}

TEST(Copy, ReplacesOnlyWhenAskedAndNeverItself) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["source.txt"], "new"));
  ASSERT_TRUE(WriteText(box["target.txt"], "old"));
  std::string source = box["source.txt"], target = box["target.txt"];
  EXPECT_TRUE(Fails(!CopyFileA(source.c_str(), target.c_str(), TRUE), ERROR_FILE_EXISTS));
  EXPECT_EQ("old", ReadText(target));
  EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE));
  EXPECT_EQ("new", ReadText(target));
  EXPECT_FALSE(CopyFileA(source.c_str(), source.c_str(), FALSE));
  EXPECT_EQ("new", ReadText(source));
  EXPECT_TRUE(Fails(!CopyFileA(box["missing.txt"].c_str(), target.c_str(), FALSE), ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Fails(!CopyFileA(source.c_str(), box["nowhere\\t.txt"].c_str(), FALSE), ERROR_PATH_NOT_FOUND));
  NOT_UNDER_WINE("a read-only target is replaced when running as root");
  ASSERT_TRUE(SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(CopyFileA(source.c_str(), box["copy.txt"].c_str(), TRUE));
  EXPECT_TRUE(GetFileAttributesA(box["copy.txt"].c_str()) & FILE_ATTRIBUTE_READONLY) << "read-only is carried";
  EXPECT_TRUE(Fails(!CopyFileA(target.c_str(), box["copy.txt"].c_str(), FALSE), ERROR_ACCESS_DENIED));
}

TEST(Move, NeverReplacesAndCarriesContent) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["a.txt"], "a") && WriteText(box["b.txt"], "b") && _mkdir(box["dir"].c_str()) == 0);
  auto move = [&](char const* from, char const* to) { return MoveFileA(box[from].c_str(), box[to].c_str()); };
  auto rename = [&](char const* from, char const* to) { return ZEBPlatformRename(box[from].c_str(), box[to].c_str()); };
  EXPECT_TRUE(Fails(!move("a.txt", "b.txt"), ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(Fails(rename("a.txt", "b.txt") != 0, ERROR_ALREADY_EXISTS));
  EXPECT_EQ("ab", ReadText(box["a.txt"]) + ReadText(box["b.txt"]));
  EXPECT_TRUE(move("a.txt", "dir\\inside.txt") && move("dir", "moved"));
  EXPECT_EQ(0, rename("moved\\inside.txt", "renamed.txt"));
  EXPECT_EQ("a", ReadText(box["renamed.txt"]));
  EXPECT_TRUE(Fails(!move("missing.txt", "x.txt"), ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Fails(!move("b.txt", "nowhere\\x.txt"), ERROR_PATH_NOT_FOUND));
  errno = 0;
  EXPECT_NE(0, rename("missing.txt", "x.txt"));
  EXPECT_EQ(ENOENT, errno);
  NOT_UNDER_WINE("moving to another letter case of the same name changes nothing");
  EXPECT_TRUE(move("b.txt", "B.TXT")) << "a letter case change is a move";
  EXPECT_EQ(std::vector<std::string>{"B.TXT"}, FindNames(box["b.*"]));
}

TEST(Directories, MakingRemovingAndUnlinkingFailAsWindowsDoes) {
  Sandbox box;
  ASSERT_EQ(0, _mkdir(box["made"].c_str()));
  ASSERT_TRUE(WriteText(box["made\\f.txt"], "x") && WriteText(box["ro.txt"], "x"));
  ASSERT_TRUE(SetFileAttributesA(box["ro.txt"].c_str(), FILE_ATTRIBUTE_READONLY));
  struct Row {
    int (*call)(char const*);
    char const* path;
    int errnoValue;
    DWORD error;
  } const rows[] = {
      {_mkdir, "made", EEXIST, ERROR_ALREADY_EXISTS},       {_mkdir, "no\\parent", ENOENT, ERROR_PATH_NOT_FOUND},
      {_rmdir, "made", ENOTEMPTY, ERROR_DIR_NOT_EMPTY},     {_rmdir, "made\\f.txt", ENOTDIR, ERROR_DIRECTORY},
      {_rmdir, "missing", ENOENT, ERROR_FILE_NOT_FOUND},    {_unlink, "ro.txt", EACCES, ERROR_ACCESS_DENIED},
      {_unlink, "made", EACCES, ERROR_ACCESS_DENIED},       {_unlink, "missing.txt", ENOENT, ERROR_FILE_NOT_FOUND},
  };
  for (Row const& row : rows) {
    SCOPED_TRACE(std::string(row.call == _mkdir ? "_mkdir " : row.call == _rmdir ? "_rmdir " : "_unlink ") + row.path);
    errno = 0;
    EXPECT_TRUE(Fails(row.call(box[row.path].c_str()) == -1, row.error));
    if (IsPosixLayer() || row.errnoValue != ENOTDIR) { // the C run-time of Windows gives EINVAL there
      EXPECT_EQ(row.errnoValue, errno);
    }
  }
  EXPECT_TRUE(Fails(!CreateDirectoryA(box["made"].c_str(), nullptr), ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(Exists(box["ro.txt"]));
  EXPECT_EQ(0, _unlink(box["made\\f.txt"].c_str()));
  CurrentDirectoryGuard guard;
  ASSERT_TRUE(SetCurrentDirectoryA(box["made"].c_str()));
  EXPECT_TRUE(Fails(!RemoveDirectoryA(box["made"].c_str()), ERROR_SHARING_VIOLATION)) << "the current directory";
  ASSERT_TRUE(SetCurrentDirectoryA(box.Root().c_str()));
  EXPECT_EQ(0, _rmdir(box["made"].c_str()));
  EXPECT_FALSE(Exists(box["made"]));
}
