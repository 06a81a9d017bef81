// File-system calls by path: attributes, copy, move, rename, and creating and
// removing directories, with the errors Windows gives.
#include "PlatformTestSupport.h"

#include <cerrno>
#include <cstdio>

using namespace PlatformTest;

TEST(Attributes, MissingEntriesTellAMissingFileFromAMissingDirectory) {
  Sandbox box;
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(box["nothing.txt"].c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(box["nowhere\\nothing.txt"].c_str()));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
  ASSERT_TRUE(WriteText(box["file.txt"], "x"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(box["file.txt\\below"].c_str()));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError()) << "a file in the middle of a path";
}

TEST(Attributes, FilesAndDirectoriesReportTheirKind) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["file.txt"], "12345"));
  ASSERT_EQ(0, _mkdir(box["dir"].c_str()));
  DWORD file = GetFileAttributesA(box["file.txt"].c_str());
  DWORD dir = GetFileAttributesA(box["dir"].c_str());
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), file) << "a new file is only waiting for its backup";
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), dir & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(dir, GetFileAttributesA(box["dir\\"].c_str()));
  EXPECT_EQ(dir, GetFileAttributesA(box["DIR"].c_str())) << "names are found ignoring case";

  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(box["file.txt"].c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(file, data.dwFileAttributes);
  EXPECT_EQ(5u, data.nFileSizeLow);
  EXPECT_EQ(0u, data.nFileSizeHigh);
  // 2020-01-01 as a FILETIME: 132223104000000000.
  uint64_t written = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  EXPECT_GT(written, 132223104000000000ull);
  EXPECT_FALSE(GetFileAttributesExA(box["file.txt"].c_str(), GetFileExMaxInfoLevel, &data));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

namespace {

struct AttributeCase {
  char const* name;
  DWORD set;
  DWORD expected;
};

AttributeCase const ROUND_TRIPS[] = {
    {"read-only", FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY},
    {"hidden", FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN},
    {"hidden and system", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    {"read-only and hidden", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN,
     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
    {"normal", FILE_ATTRIBUTE_NORMAL, 0},
};

// Runs the round trips, comparing the bits in `mask`.
void RoundTrips(AttributeCase const* rows, size_t count, DWORD mask) {
  Sandbox box;
  std::string path = box["attributes.txt"];
  ASSERT_TRUE(WriteText(path, "x"));
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(rows[i].name);
    if (!SetFileAttributesA(path.c_str(), rows[i].set)) {
      ASSERT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
      GTEST_SKIP() << "the file system keeps no extended attributes";
    }
    EXPECT_EQ(rows[i].expected & mask, GetFileAttributesA(path.c_str()) & mask);
  }
  EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(0, _unlink(path.c_str()));
}

AttributeCase const EXACT_ROUND_TRIPS[] = {
    {"read-only", FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY},
    {"hidden, system and archive", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE,
     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
    {"normal", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
    {"archive", FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE},
    {"hidden", FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN},
};

} // namespace

TEST(Attributes, SetAttributesReadBackAsSet) {
  RoundTrips(ROUND_TRIPS, sizeof(ROUND_TRIPS) / sizeof(ROUND_TRIPS[0]),
             FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

TEST(Attributes, TheArchiveBitAndNormalReadBackExactly) {
  NOT_UNDER_WINE("every file reports the archive bit");
  RoundTrips(EXACT_ROUND_TRIPS, sizeof(EXACT_ROUND_TRIPS) / sizeof(EXACT_ROUND_TRIPS[0]), ~DWORD(0));
}

TEST(Attributes, OfflineAndNotIndexedAreKept) {
  NOT_UNDER_WINE("only read-only, hidden, system and archive are kept");
  Sandbox box;
  std::string path = box["offline.txt"];
  ASSERT_TRUE(WriteText(path, "x"));
  DWORD wanted = FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (!SetFileAttributesA(path.c_str(), wanted)) {
    ASSERT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
    GTEST_SKIP() << "the file system keeps no extended attributes";
  }
  EXPECT_EQ(wanted, GetFileAttributesA(path.c_str()));
}

TEST(Attributes, SettingOnAMissingFileFails) {
  Sandbox box;
  EXPECT_FALSE(SetFileAttributesA(box["missing.txt"].c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST(Attributes, DotNamesAreHidden) {
  ONLY_ON_POSIX_LAYER("a leading dot is what hides a name on POSIX");
  Sandbox box;
  ASSERT_TRUE(WriteText(box[".profile"], "x"));
  EXPECT_TRUE(GetFileAttributesA(box[".profile"].c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(Attributes, SymbolicLinksAreReparsePoints) {
  NOT_UNDER_WINE("a link to a file reads as a directory and cannot be opened");
  Sandbox box;
  ASSERT_TRUE(WriteText(box["target.txt"], "x"));
  ASSERT_EQ(0, _mkdir(box["target-dir"].c_str()));
  if (!CreateSymbolicLinkA(box["link.txt"].c_str(), box["target.txt"].c_str(), 0))
    GTEST_SKIP() << "symbolic links cannot be made here (error " << GetLastError() << ")";
  ASSERT_TRUE(CreateSymbolicLinkA(box["link-dir"].c_str(), box["target-dir"].c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY));
  DWORD file = GetFileAttributesA(box["link.txt"].c_str());
  DWORD dir = GetFileAttributesA(box["link-dir"].c_str());
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_REPARSE_POINT), file & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY),
            dir & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ("x", ReadText(box["link.txt"]));
  EXPECT_TRUE(RemoveDirectoryA(box["link-dir"].c_str()));
  EXPECT_TRUE(Exists(box["target-dir"])) << "removing a link leaves its target";
}

TEST(Copy, FailIfExistsDecidesWhetherATargetIsReplaced) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["source.txt"], "new"));
  ASSERT_TRUE(WriteText(box["target.txt"], "old"));
  EXPECT_FALSE(CopyFileA(box["source.txt"].c_str(), box["target.txt"].c_str(), TRUE));
  EXPECT_EQ(ERROR_FILE_EXISTS, GetLastError());
  EXPECT_EQ("old", ReadText(box["target.txt"]));
  EXPECT_TRUE(CopyFileA(box["source.txt"].c_str(), box["target.txt"].c_str(), FALSE));
  EXPECT_EQ("new", ReadText(box["target.txt"]));
  EXPECT_TRUE(CopyFileA(box["source.txt"].c_str(), box["fresh.txt"].c_str(), TRUE));
  EXPECT_EQ("new", ReadText(box["fresh.txt"]));
  EXPECT_EQ("new", ReadText(box["source.txt"]));
}

TEST(Copy, MissingSourcesAndDirectoriesFail) {
  Sandbox box;
  EXPECT_FALSE(CopyFileA(box["missing.txt"].c_str(), box["t.txt"].c_str(), FALSE));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  ASSERT_TRUE(WriteText(box["s.txt"], "s"));
  EXPECT_FALSE(CopyFileA(box["s.txt"].c_str(), box["nowhere\\t.txt"].c_str(), FALSE));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
  EXPECT_FALSE(Exists(box["t.txt"]));
}

TEST(Copy, CarriesReadOnlyAndRefusesAReadOnlyTarget) {
  NOT_UNDER_WINE("a read-only target is replaced when running as root");
  Sandbox box;
  ASSERT_TRUE(WriteText(box["ro.txt"], "ro"));
  ASSERT_TRUE(SetFileAttributesA(box["ro.txt"].c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(CopyFileA(box["ro.txt"].c_str(), box["copy.txt"].c_str(), TRUE));
  EXPECT_TRUE(GetFileAttributesA(box["copy.txt"].c_str()) & FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(WriteText(box["other.txt"], "other"));
  EXPECT_FALSE(CopyFileA(box["other.txt"].c_str(), box["copy.txt"].c_str(), FALSE));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_EQ("ro", ReadText(box["copy.txt"]));
}

TEST(Move, AnExistingTargetIsNeverReplaced) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["a.txt"], "a"));
  ASSERT_TRUE(WriteText(box["b.txt"], "b"));
  EXPECT_FALSE(MoveFileA(box["a.txt"].c_str(), box["b.txt"].c_str()));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
  EXPECT_EQ("a", ReadText(box["a.txt"]));
  EXPECT_EQ("b", ReadText(box["b.txt"]));

  EXPECT_NE(0, ZEBPlatformRename(box["a.txt"].c_str(), box["b.txt"].c_str()));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
  EXPECT_EQ("a", ReadText(box["a.txt"]));
  EXPECT_EQ("b", ReadText(box["b.txt"]));
}

TEST(Move, FilesAndDirectoriesMoveWithTheirContent) {
  Sandbox box;
  ASSERT_EQ(0, _mkdir(box["dir"].c_str()));
  ASSERT_TRUE(WriteText(box["dir\\inside.txt"], "inside"));
  EXPECT_TRUE(MoveFileA(box["dir"].c_str(), box["moved"].c_str()));
  EXPECT_EQ("inside", ReadText(box["moved\\inside.txt"]));
  EXPECT_FALSE(Exists(box["dir"]));
  EXPECT_EQ(0, ZEBPlatformRename(box["moved\\inside.txt"].c_str(), box["renamed.txt"].c_str()));
  EXPECT_EQ("inside", ReadText(box["renamed.txt"]));

  EXPECT_FALSE(MoveFileA(box["missing.txt"].c_str(), box["x.txt"].c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  EXPECT_FALSE(MoveFileA(box["renamed.txt"].c_str(), box["nowhere\\x.txt"].c_str()));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
  errno = 0;
  EXPECT_NE(0, ZEBPlatformRename(box["missing.txt"].c_str(), box["x.txt"].c_str()));
  EXPECT_EQ(ENOENT, errno);
}

TEST(Move, ALetterCaseChangeIsAMove) {
  NOT_UNDER_WINE("moving to another letter case of the same name changes nothing");
  Sandbox box;
  ASSERT_TRUE(WriteText(box["lower.txt"], "x"));
  EXPECT_TRUE(MoveFileA(box["lower.txt"].c_str(), box["LOWER.TXT"].c_str()));
  std::vector<std::string> names = FindNames(box["*"]);
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "LOWER.TXT"));
  EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "lower.txt"));
}

TEST(Directories, MakingAndRemovingFailAsWindowsDoes) {
  Sandbox box;
  std::string dir = box["made"];
  EXPECT_EQ(0, _mkdir(dir.c_str()));
  errno = 0;
  EXPECT_EQ(-1, _mkdir(dir.c_str()));
  EXPECT_EQ(EEXIST, errno);
  EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
  errno = 0;
  EXPECT_EQ(-1, _mkdir(box["no\\parent"].c_str()));
  EXPECT_EQ(ENOENT, errno);
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
  EXPECT_FALSE(CreateDirectoryA(dir.c_str(), nullptr));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());

  ASSERT_TRUE(WriteText(box["made\\f.txt"], "x"));
  errno = 0;
  EXPECT_EQ(-1, _rmdir(dir.c_str()));
  EXPECT_EQ(ENOTEMPTY, errno);
  EXPECT_EQ(ERROR_DIR_NOT_EMPTY, GetLastError());
  EXPECT_EQ(-1, _rmdir(box["made\\f.txt"].c_str()));
  EXPECT_EQ(ERROR_DIRECTORY, GetLastError());
  errno = 0;
  EXPECT_EQ(-1, _rmdir(box["missing"].c_str()));
  EXPECT_EQ(ENOENT, errno);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  EXPECT_EQ(0, _unlink(box["made\\f.txt"].c_str()));
  EXPECT_EQ(0, _rmdir(dir.c_str()));
  EXPECT_FALSE(Exists(dir));
}

TEST(Directories, TheCurrentDirectoryCannotBeRemoved) {
  Sandbox box;
  CurrentDirectoryGuard guard;
  ASSERT_EQ(0, _mkdir(box["here"].c_str()));
  ASSERT_TRUE(SetCurrentDirectoryA(box["here"].c_str()));
  EXPECT_FALSE(RemoveDirectoryA(box["here"].c_str()));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  ASSERT_TRUE(SetCurrentDirectoryA(box.Root().c_str()));
  EXPECT_TRUE(RemoveDirectoryA(box["here"].c_str()));
}

TEST(Unlink, RefusesReadOnlyFilesAndDirectories) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["ro.txt"], "x"));
  ASSERT_TRUE(SetFileAttributesA(box["ro.txt"].c_str(), FILE_ATTRIBUTE_READONLY));
  errno = 0;
  EXPECT_EQ(-1, _unlink(box["ro.txt"].c_str()));
  EXPECT_EQ(EACCES, errno);
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  EXPECT_TRUE(Exists(box["ro.txt"]));
  ASSERT_EQ(0, _mkdir(box["dir"].c_str()));
  EXPECT_EQ(-1, _unlink(box["dir"].c_str()));
  EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
  errno = 0;
  EXPECT_EQ(-1, _unlink(box["missing.txt"].c_str()));
  EXPECT_EQ(ENOENT, errno);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}
