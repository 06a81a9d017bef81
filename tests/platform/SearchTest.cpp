// Directory searches: Windows wildcards, case, the "." and ".." entries, the
// order of entries and the search errors.
#include "PlatformTestSupport.h"

#include <algorithm>
#include <set>

using namespace PlatformTest;

TEST(Search, WildcardsMatchAsOnWindows) {
  Sandbox box;
  std::set<std::string> all = {".", "..", "sub", "abc", "aXc", "ac", "abbc", "b.txt", "C.TXT", "d.txt.bak", "noext",
                               "two.dots.txt"};
  ASSERT_EQ(0, _mkdir(box["d"].c_str()));
  for (std::string const& name : all)
    if (name[0] != '.') {
      ASSERT_TRUE(name == "sub" ? _mkdir(box["d\\sub"].c_str()) == 0 : WriteText(box["d\\" + name], name));
    }
  struct Row {
    char const* pattern;
    std::set<std::string> expected;
  } const rows[] = {
      {"*.*", all},
      {"*", all},
      {"*.txt", {"b.txt", "C.TXT", "two.dots.txt"}},
      {"*.TXT", {"b.txt", "C.TXT", "two.dots.txt"}},
      {"a?c", {"abc", "aXc"}},
      {"ABC", {"abc"}},
      {"a*c", {"abc", "aXc", "ac", "abbc"}},
      {"*.bak", {"d.txt.bak"}},
      {"two.*", {"two.dots.txt"}},
  };
  for (Row const& row : rows) {
    std::vector<std::string> names = FindNames(box[std::string("d\\") + row.pattern]);
    EXPECT_EQ(row.expected, std::set<std::string>(names.begin(), names.end())) << row.pattern;
  }
  // "." and ".." first, then by the upper-cased name.
  std::vector<std::string> names = FindNames(box["d\\*"]);
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(".", names[0]);
  EXPECT_EQ("..", names[1]);
  for (std::string& name : names)
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
  EXPECT_TRUE(std::is_sorted(names.begin() + 2, names.end()));
  NOT_UNDER_WINE("a mask ending with '.' or '?' matches names with an extension too, or not at all");
  EXPECT_EQ(std::vector<std::string>{"ac"}, FindNames(box["d\\ac?"])) << "'?' matches the end of a name";
  EXPECT_EQ(std::vector<std::string>{"b.txt"}, FindNames(box["d\\b?.txt"])) << "'?' matches nothing before a dot";
  names = FindNames(box["d\\*."]);
  EXPECT_EQ((std::set<std::string>{".", "..", "abc", "aXc", "ac", "abbc", "noext", "sub"}),
            std::set<std::string>(names.begin(), names.end()));
}

TEST(Search, RecordsCarryTheEntrysInformationAndErrors) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["five.bin"], "12345") && _mkdir(box["folder"].c_str()) == 0);
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(box["five.bin"].c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_STREQ("five.bin", data.cFileName);
  EXPECT_EQ(5u, data.nFileSizeLow);
  EXPECT_EQ(0u, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(Fails(!FindNextFileA(search, &data), ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(search));
  search = FindFirstFileA(box["FOLDER"].c_str(), &data);
  EXPECT_STREQ("folder", data.cFileName) << "the name as it is on disk";
  EXPECT_NE(0u, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(FindClose(search));
  DWORD error = 0;
  EXPECT_TRUE(FindNames(box["*.none"], &error).empty());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
  EXPECT_TRUE(FindNames(box["missing\\*"], &error).empty());
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, error);
  ASSERT_EQ(0, _mkdir(box["empty"].c_str()));
  EXPECT_EQ((std::vector<std::string>{".", ".."}), FindNames(box["empty\\*"], &error));
  EXPECT_EQ(ERROR_NO_MORE_FILES, error);
  if (IsPosixLayer()) { // the sandbox is a drive root only where a drive is mapped to it
    EXPECT_EQ((std::vector<std::string>{"empty", "five.bin", "folder"}), FindNames(box.Root() + "*"))
        << "drive roots have no dot entries";
  }
  NOT_UNDER_WINE("closing a search twice reads freed memory and succeeds");
  EXPECT_TRUE(Fails(!FindClose(search), ERROR_INVALID_HANDLE));
  EXPECT_TRUE(Fails(!FindNextFileA(search, &data), ERROR_INVALID_HANDLE));
}
