// File-system calls by path: attributes, copy, move, rename, creating and
// removing directories, with the errors Windows gives; directory searches
// (wildcards, case, the "." and ".." entries, the order and the errors).
#include "PlatformTestSupport.h"

#include <cerrno>
#include <filesystem>
#include <set>

using namespace PlatformTest;

TEST(Attributes, KindsMissingEntriesAndWhatIsSet) {
  Sandbox box;
  std::string path = box["file.txt"];
  ASSERT_TRUE(WriteText(path, "12345") && _mkdir(box["dir"].c_str()) == 0);
  EXPECT_TRUE(Fails(GetFileAttributesA(box["nothing.txt"].c_str()) == INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND));
  for (char const* missing : {"nowhere\\nothing.txt", "file.txt\\below"})
    EXPECT_TRUE(Fails(GetFileAttributesA(box[missing].c_str()) == INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND));
  DWORD dir = GetFileAttributesA(box["dir"].c_str());
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), dir & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(dir == GetFileAttributesA(box["dir\\"].c_str()) && dir == GetFileAttributesA(box["DIR"].c_str()));
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA(path.c_str())) << "a new file only awaits its backup";
  WIN32_FILE_ATTRIBUTE_DATA data;
  EXPECT_TRUE(Fails(!GetFileAttributesExA(path.c_str(), GetFileExMaxInfoLevel, &data), ERROR_INVALID_PARAMETER));
  DWORD const H = FILE_ATTRIBUTE_HIDDEN, S = FILE_ATTRIBUTE_SYSTEM, A = FILE_ATTRIBUTE_ARCHIVE,
              RO = FILE_ATTRIBUTE_READONLY, OI = FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  std::pair<DWORD, bool> const rows[] = { // what is set, read back exactly (Wine adds the archive bit to all)
      {RO, true}, {H, true}, {H | S, false}, {RO | H, false}, {FILE_ATTRIBUTE_NORMAL, true}, {H | S | A, true},
      {A, true}, {OI, true}};
  for (auto [set, exact] : rows) {
    if (!SetFileAttributesA(path.c_str(), set)) {
      ASSERT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
      GTEST_SKIP() << "the file system keeps no extended attributes";
    }
    DWORD mask = exact && !IsWine() ? ~DWORD(0) : RO | H | S;
    EXPECT_EQ(set & mask, GetFileAttributesA(path.c_str()) & mask) << set;
  }
}

TEST(Attributes, DotNamesHiddenTimesInTicksAndLinksReparsePoints) {
  Sandbox box;
  if (IsPosixLayer()) { // a leading dot is what hides a name on POSIX; the time is set through the host path
    ASSERT_TRUE(WriteText(box[".profile"], "x"));
    std::filesystem::path host = ZEBPlatform::HostPath(box[".profile"].c_str());
    auto second = std::chrono::floor<std::chrono::seconds>(std::filesystem::last_write_time(host));
    std::filesystem::last_write_time(host, second + std::chrono::nanoseconds(123456700));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(box[".profile"].c_str(), GetFileExInfoStandard, &data));
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
    uint64_t ticks = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(1234567u, ticks % 10000000u);
  }
  NOT_UNDER_WINE("a link to a file reads as a directory and cannot be opened");
  ASSERT_TRUE(WriteText(box["target.txt"], "x") && _mkdir(box["target-dir"].c_str()) == 0);
  if (!CreateSymbolicLinkA(box["link.txt"].c_str(), box["target.txt"].c_str(), 0))
    GTEST_SKIP() << "symbolic links cannot be made here (error " << GetLastError() << ")";
  ASSERT_TRUE(CreateSymbolicLinkA(box["link-dir"].c_str(), box["target-dir"].c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY));
  DWORD const KIND = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
  EXPECT_EQ(DWORD(FILE_ATTRIBUTE_REPARSE_POINT), GetFileAttributesA(box["link.txt"].c_str()) & KIND);
  EXPECT_EQ(KIND, GetFileAttributesA(box["link-dir"].c_str()) & KIND);
  EXPECT_EQ("x", ReadText(box["link.txt"]));
  EXPECT_TRUE(RemoveDirectoryA(box["link-dir"].c_str()) && Exists(box["target-dir"])) << "the target stays";
}

TEST(CopyAndMove, ReplaceOnlyWhenAskedCarryContentAndNeverCopyOntoItself) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["source.txt"], "new") && WriteText(box["target.txt"], "old"));
  auto copy = [&](char const* from, char const* to, BOOL failIfExists) {
    return CopyFileA(box[from].c_str(), box[to].c_str(), failIfExists);
  };
  auto move = [&](char const* from, char const* to) { return MoveFileA(box[from].c_str(), box[to].c_str()); };
  EXPECT_TRUE(Fails(!copy("source.txt", "target.txt", TRUE), ERROR_FILE_EXISTS));
  EXPECT_TRUE(Fails(!move("source.txt", "target.txt"), ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(Fails(ZEBPlatformRename(box["source.txt"].c_str(), box["target.txt"].c_str()), ERROR_ALREADY_EXISTS));
  EXPECT_EQ("old", ReadText(box["target.txt"]));
  EXPECT_TRUE(copy("source.txt", "target.txt", FALSE) && ReadText(box["target.txt"]) == "new");
  EXPECT_TRUE(!copy("source.txt", "source.txt", FALSE) && ReadText(box["source.txt"]) == "new");
  EXPECT_TRUE(Fails(!copy("missing.txt", "target.txt", FALSE), ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Fails(!move("target.txt", "nowhere\\x.txt"), ERROR_PATH_NOT_FOUND));
  NOT_UNDER_WINE("a move to another letter case changes nothing; a read-only target is replaced as root");
  EXPECT_TRUE(move("target.txt", "TARGET.TXT")) << "a letter case change is a move";
  EXPECT_EQ(std::vector<std::string>{"TARGET.TXT"}, FindNames(box["t*"]));
  ASSERT_TRUE(SetFileAttributesA(box["source.txt"].c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(copy("source.txt", "copy.txt", TRUE));
  EXPECT_TRUE(GetFileAttributesA(box["copy.txt"].c_str()) & FILE_ATTRIBUTE_READONLY) << "read-only is carried";
  EXPECT_TRUE(Fails(!copy("TARGET.TXT", "copy.txt", FALSE), ERROR_ACCESS_DENIED));
}

TEST(Directories, MakingRemovingAndUnlinkingFailAsWindowsDoes) {
  Sandbox box;
  ASSERT_TRUE(_mkdir(box["made"].c_str()) == 0 && WriteText(box["made\\f.txt"], "x") && WriteText(box["ro.txt"], "x"));
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
    SCOPED_TRACE(std::string(row.path) + ", error " + std::to_string(row.error));
    errno = 0;
    EXPECT_TRUE(Fails(row.call(box[row.path].c_str()) == -1, row.error));
    if (IsPosixLayer() || row.errnoValue != ENOTDIR) { // the C run-time of Windows gives EINVAL there
      EXPECT_EQ(row.errnoValue, errno);
    }
  }
  EXPECT_TRUE(Fails(!CreateDirectoryA(box["made"].c_str(), nullptr), ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(Exists(box["ro.txt"]) && _unlink(box["made\\f.txt"].c_str()) == 0);
  CurrentDirectoryGuard guard;
  ASSERT_TRUE(SetCurrentDirectoryA(box["made"].c_str()));
  EXPECT_TRUE(Fails(!RemoveDirectoryA(box["made"].c_str()), ERROR_SHARING_VIOLATION)) << "the current directory";
  ASSERT_TRUE(SetCurrentDirectoryA(box.Root().c_str()));
  EXPECT_TRUE(_rmdir(box["made"].c_str()) == 0 && !Exists(box["made"]));
}

TEST(Search, WildcardsMatchAsOnWindows) {
  Sandbox box;
  std::set<std::string> const all = {".", "..", "sub", "abc", "aXc", "ac", "abbc", "b.txt", "C.TXT", "d.txt.bak",
                                     "noext", "two.dots.txt"};
  ASSERT_TRUE(_mkdir(box["d"].c_str()) == 0 && _mkdir(box["d\\sub"].c_str()) == 0);
  for (std::string const& name : all)
    ASSERT_TRUE(name[0] == '.' || name == "sub" || WriteText(box["d\\" + name], name));
  auto found = [&](std::string const& pattern) {
    std::vector<std::string> names = FindNames(box["d\\" + pattern]);
    return std::set<std::string>(names.begin(), names.end());
  };
  std::pair<char const*, std::set<std::string>> const rows[] = {
      {"*.*", all}, {"ABC", {"abc"}}, {"a?c", {"abc", "aXc"}}, {"a*c", {"abc", "aXc", "ac", "abbc"}},
      {"*.txt", {"b.txt", "C.TXT", "two.dots.txt"}}, {"*.TXT", {"b.txt", "C.TXT", "two.dots.txt"}},
      {"*.bak", {"d.txt.bak"}}, {"two.*", {"two.dots.txt"}},
  };
  for (auto const& [pattern, expected] : rows)
    EXPECT_EQ(expected, found(pattern)) << pattern;
  EXPECT_EQ((std::vector<std::string>{".", "..", "abbc", "abc", "ac", "aXc", "b.txt", "C.TXT", "d.txt.bak", "noext",
                                      "sub", "two.dots.txt"}),
            FindNames(box["d\\*"]))
      << "\".\" and \"..\" first, then by the upper-cased name";
  NOT_UNDER_WINE("a mask ending with '.' or '?' matches names with an extension too, or not at all");
  EXPECT_EQ(std::set<std::string>{"ac"}, found("ac?")) << "'?' matches the end of a name";
  EXPECT_EQ(std::set<std::string>{"b.txt"}, found("b?.txt")) << "'?' matches nothing before a dot";
  EXPECT_EQ((std::set<std::string>{".", "..", "abc", "aXc", "ac", "abbc", "noext", "sub"}), found("*."));
}

TEST(Search, RecordsCarryTheEntrysInformationAndErrors) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["five.bin"], "12345") && _mkdir(box["Folder"].c_str()) == 0);
  ASSERT_EQ(0, _mkdir(box["empty"].c_str()));
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(box["FOLDER"].c_str(), &data);
  EXPECT_STREQ("Folder", data.cFileName) << "the name as it is on disk";
  EXPECT_TRUE((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && FindClose(search));
  search = FindFirstFileA(box["five.bin"].c_str(), &data);
  EXPECT_TRUE(data.nFileSizeLow == 5 && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_TRUE(Fails(!FindNextFileA(search, &data), ERROR_NO_MORE_FILES) && FindClose(search));
  DWORD errors[3] = {};
  EXPECT_TRUE(FindNames(box["*.none"], &errors[0]).empty() && FindNames(box["missing\\*"], &errors[1]).empty());
  EXPECT_EQ((std::vector<std::string>{".", ".."}), FindNames(box["empty\\*"], &errors[2]));
  EXPECT_EQ((std::vector<DWORD>{ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_NO_MORE_FILES}),
            std::vector<DWORD>(errors, errors + 3));
  if (IsPosixLayer()) { // the sandbox is a drive root only where a drive is mapped to it
    EXPECT_EQ((std::vector<std::string>{"empty", "five.bin", "Folder"}), FindNames(box.Root() + "*"))
        << "drive roots have no dot entries";
  }
  NOT_UNDER_WINE("closing a search twice reads freed memory and succeeds");
  EXPECT_TRUE(Fails(!FindClose(search), ERROR_INVALID_HANDLE));
}
