// Directory searches: Windows wildcards, case, the "." and ".." entries, the
// order of entries and the search errors.
#include "PlatformTestSupport.h"

#include <algorithm>
#include <set>

using namespace PlatformTest;

TEST(Search, WildcardsMatchAsOnWindows) {
  Sandbox box;
  std::set<std::string> const all = {".", "..", "sub", "abc", "aXc", "ac", "abbc", "b.txt", "C.TXT", "d.txt.bak",
                                     "noext", "two.dots.txt"};
  ASSERT_EQ(0, _mkdir(box["d"].c_str()));
  ASSERT_EQ(0, _mkdir(box["d\\sub"].c_str()));
  for (std::string const& name : all)
    ASSERT_TRUE(name[0] == '.' || name == "sub" || WriteText(box["d\\" + name], name));
  auto found = [&](std::string const& pattern) {
    std::vector<std::string> names = FindNames(box["d\\" + pattern]);
    return std::set<std::string>(names.begin(), names.end());
  };
  std::pair<char const*, std::set<std::string>> const rows[] = {
      {"*.*", all}, {"*", all}, {"ABC", {"abc"}}, {"a?c", {"abc", "aXc"}}, {"a*c", {"abc", "aXc", "ac", "abbc"}},
      {"*.txt", {"b.txt", "C.TXT", "two.dots.txt"}}, {"*.TXT", {"b.txt", "C.TXT", "two.dots.txt"}},
      {"*.bak", {"d.txt.bak"}}, {"two.*", {"two.dots.txt"}},
  };
  for (auto const& [pattern, expected] : rows)
    EXPECT_EQ(expected, found(pattern)) << pattern;
  // "." and ".." first, then by the upper-cased name.
  std::vector<std::string> names = FindNames(box["d\\*"]);
  ASSERT_EQ(all.size(), names.size());
  EXPECT_EQ(".", names[0]);
  EXPECT_EQ("..", names[1]);
  for (std::string& name : names)
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
  EXPECT_TRUE(std::is_sorted(names.begin() + 2, names.end()));
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
  HANDLE search = FindFirstFileA(box["five.bin"].c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_TRUE(data.nFileSizeLow == 5 && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_TRUE(Fails(!FindNextFileA(search, &data), ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(search));
  search = FindFirstFileA(box["FOLDER"].c_str(), &data);
  EXPECT_STREQ("Folder", data.cFileName) << "the name as it is on disk";
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(FindClose(search));
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
  EXPECT_TRUE(Fails(!FindNextFileA(search, &data), ERROR_INVALID_HANDLE));
}
