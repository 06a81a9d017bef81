// Directory searches: Windows wildcards, case, the "." and ".." entries, the
// order of entries and the search errors.
#include "PlatformTestSupport.h"

#include <algorithm>
#include <set>

using namespace PlatformTest;

namespace {

char const* const NAMES[] = {"abc", "aXc", "ac", "abbc", "b.txt", "C.TXT", "d.txt.bak", "noext", "two.dots.txt"};

// Fills the directory "d" of the sandbox (a directory below a root has "."
// and "..").
void Populate(Sandbox const& box) {
  ASSERT_EQ(0, _mkdir(box["d"].c_str()));
  for (char const* name : NAMES)
    ASSERT_TRUE(WriteText(box[std::string("d\\") + name], name));
  ASSERT_EQ(0, _mkdir(box["d\\sub"].c_str()));
}

std::set<std::string> Sorted(std::vector<std::string> const& names) {
  return std::set<std::string>(names.begin(), names.end());
}

struct PatternCase {
  char const* pattern;
  std::set<std::string> expected;
};

} // namespace

TEST(Search, WildcardsMatchAsOnWindows) {
  Sandbox box;
  Populate(box);
  std::set<std::string> everything = {".", "..", "sub"};
  for (char const* name : NAMES)
    everything.insert(name);
  PatternCase const cases[] = {
      {"*.*", everything},
      {"*", everything},
      {"*.txt", {"b.txt", "C.TXT", "two.dots.txt"}},
      {"*.TXT", {"b.txt", "C.TXT", "two.dots.txt"}},
      {"a?c", {"abc", "aXc"}},
      {"ABC", {"abc"}},
      {"a*c", {"abc", "aXc", "ac", "abbc"}},
      {"*.bak", {"d.txt.bak"}},
      {"two.*", {"two.dots.txt"}},
  };
  for (PatternCase const& row : cases) {
    SCOPED_TRACE(row.pattern);
    EXPECT_EQ(row.expected, Sorted(FindNames(box[std::string("d\\") + row.pattern])));
  }
}

TEST(Search, DosWildcardsMatchNamesWithoutExtension) {
  NOT_UNDER_WINE("a mask ending with '.' matches names with an extension too");
  Sandbox box;
  Populate(box);
  EXPECT_EQ((std::set<std::string>{".", "..", "abc", "aXc", "ac", "abbc", "noext", "sub"}),
            Sorted(FindNames(box["d\\*."])));
}

TEST(Search, EntriesComeSortedByUpperCasedName) {
  Sandbox box;
  Populate(box);
  std::vector<std::string> names = FindNames(box["d\\*"]);
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(".", names[0]);
  EXPECT_EQ("..", names[1]);
  std::vector<std::string> upper;
  for (size_t i = 2; i < names.size(); ++i) {
    std::string name = names[i];
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    upper.push_back(name);
  }
  EXPECT_TRUE(std::is_sorted(upper.begin(), upper.end()));
}

TEST(Search, RecordsCarryTheEntrysInformation) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["five.bin"], "12345"));
  ASSERT_EQ(0, _mkdir(box["folder"].c_str()));
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(box["five.bin"].c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_STREQ("five.bin", data.cFileName);
  EXPECT_EQ(5u, data.nFileSizeLow);
  EXPECT_EQ(0u, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(FindNextFileA(search, &data));
  EXPECT_EQ(ERROR_NO_MORE_FILES, GetLastError());
  EXPECT_TRUE(FindClose(search));

  search = FindFirstFileA(box["FOLDER"].c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_STREQ("folder", data.cFileName) << "the name as it is on disk";
  EXPECT_NE(0u, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  FindClose(search);
}

TEST(Search, AClosedSearchHandleIsInvalid) {
  NOT_UNDER_WINE("closing a search twice reads freed memory and succeeds");
  Sandbox box;
  ASSERT_TRUE(WriteText(box["x.txt"], "x"));
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(box["x.txt"].c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_TRUE(FindClose(search));
  EXPECT_FALSE(FindClose(search));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  EXPECT_FALSE(FindNextFileA(search, &data));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST(Search, NothingFoundAndMissingDirectoriesFail) {
  Sandbox box;
  DWORD error = 0;
  EXPECT_TRUE(FindNames(box["*.none"], &error).empty());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
  EXPECT_TRUE(FindNames(box["missing\\*"], &error).empty());
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, error);
  ASSERT_EQ(0, _mkdir(box["empty"].c_str()));
  EXPECT_EQ((std::vector<std::string>{".", ".."}), FindNames(box["empty\\*"], &error));
  EXPECT_EQ(ERROR_NO_MORE_FILES, error);
}

TEST(Search, DriveRootsHaveNoDotEntries) {
  ONLY_ON_POSIX_LAYER("the sandbox is a drive root only where a drive is mapped to it");
  Sandbox box;
  ASSERT_TRUE(WriteText(box["only.txt"], "x"));
  EXPECT_EQ((std::vector<std::string>{"only.txt"}), FindNames(box.Root() + "*"));
}
