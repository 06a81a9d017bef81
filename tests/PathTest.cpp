// The path value without the disk: canonical form, shape and components,
// extension changes, URIs, comparison, the binary form and the errors.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ZEB/BinaryStream.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Path.h"
#include "ZEBPlatform/Win32.h"
#include "support/Thrown.h"

using Path = ZEBFile::PathT<char>;

TEST(Path, CanonicalForm) {
  std::pair<char const*, char const*> const rows[] = {
      // Roots keep their separator; a trailing one goes otherwise.
      {"", "."}, {"C:\\", "C:\\"}, {"C:", "C:"}, {"C:x", "C:x"}, {"\\", "\\"}, {"/", "\\"}, {"x/", "x"},
      {"\\\\server\\", "\\\\server"}, {"\\\\", "\\\\"}, {"//server/share/", "\\\\server\\share"},
      // Doubled separators collapse, across the end of the root too.
      {"C:/x/./y//z/", "C:\\x\\y\\z"}, {"a//b///c", "a\\b\\c"}, {"\\\\server\\\\share", "\\\\server\\share"},
      {"\\\\\\x", "\\\\\\x"}, {"C:\\\\x", "C:\\x"}, {"C:\\\\", "C:\\"}, {"\\\\srv\\\\", "\\\\srv"},
      // "." and "..": never above a root, kept at the start of a relative path.
      {"./", "."}, {"a\\..", "."}, {".\\a\\.\\b", "a\\b"}, {"a\\b\\..\\c", "a\\c"}, {"C:\\..\\x", "C:\\x"},
      {"\\..\\x", "\\x"}, {"..\\..\\a", "..\\..\\a"}, {"C:..\\b", "C:..\\b"}, {"a\\..\\..\\b", "..\\b"},
      {"\\\\server\\share\\..\\x", "\\\\server\\x"}, {"\\\\srv\\..", "\\\\srv"}, {"C:x\\..\\..", "C:.."}, {"x\\.", "x"},
      // Trailing dots leave directory names only.
      {"C:\\dir.\\x", "C:\\dir\\x"}, {"C:\\dir...\\x", "C:\\dir\\x"}, {"C:\\...\\x", "C:\\x"}, {"a.\\", "a"},
      {"C:\\dir\\name.", "C:\\dir\\name."}, {"...\\b", "...\\b"}, {"\\\\srv\\...\\x", "\\\\srv\\x"},
      // File URIs, and spaces before a root only.
      {"file:///C:/a/b", "C:\\a\\b"}, {"FILE://server/share", "\\\\server\\share"}, {"File:\\\\\\c:\\x", "c:\\x"},
      {"  file:///C:/x", "C:\\x"}, {"file://", "\\\\"}, {"file:x", "file:x"}, {"file:/x", "file:\\x"},
      {"fil:///C:/x", "fil:\\C:\\x"}, {"  C:\\x", "C:\\x"}, {" c:", "c:"}, {"  \\\\srv\\s", "\\\\srv\\s"},
      {"  x", "  x"}, {" \\x", " \\x"}, {"   ", "   "},
  };
  for (auto const& [input, expected] : rows)
    EXPECT_EQ(Path(input).FullPath(), expected) << "input: '" << input << "'";
  Path path;
  EXPECT_EQ(*path, ".");
  EXPECT_EQ(*(path = "C:/a/../b/"), "C:\\b");
}

TEST(Path, ShapeAndComponents) {
  // Input; drive, UNC, absolute; name, extension, root.
  std::tuple<char const*, bool, bool, bool, char const*, char const*, char const*> const rows[] = {
      {"C:\\a\\b.tar.gz", true, false, true, "b.tar.gz", "gz", "C:\\"},
      {"C:\\", true, false, true, "", "", "C:\\"},
      {"C:", true, false, false, "", "", "C:\\"},
      {"C:x.y", true, false, false, "x.y", "y", "C:\\"},
      {"\\\\server\\share\\x.doc", false, true, true, "x.doc", "doc", "\\\\server\\"},
      {"\\\\server", false, true, true, "server", "", "\\\\server\\"},
      {"\\home\\u\\a.doc", false, false, true, "a.doc", "doc", ""},
      {"rel\\.hidden", false, false, false, ".hidden", "hidden", ""},
      {"C:\\d.x\\file", true, false, true, "file", "", "C:\\"},
  };
  for (auto const& [input, drive, unc, absolute, name, extension, root] : rows) {
    SCOPED_TRACE(input);
    Path path(input);
    EXPECT_EQ(path.HasDrive(), drive);
    EXPECT_EQ(path.IsUNC(), unc);
    EXPECT_EQ(path.IsAbsolute(), absolute);
    EXPECT_EQ(path.FileName(), name);
    EXPECT_EQ(path.FileExtension(), extension);
    EXPECT_EQ(path.Root(), root);
  }
  for (char const* dot : {".", "..", "a\\.", "a\\..\\", "C:..", "/..", "a/./", "C:."})
    EXPECT_TRUE(Path::IsDotDirectory(dot)) << dot;
  for (char const* other : {"...", "a.", "a..", "", "\\\\", "/", "a\\...", "x"})
    EXPECT_FALSE(Path::IsDotDirectory(other)) << other;
  // A name far beyond the classic 256-character limit: never more than was there.
  std::string huge(5000, 'h'), cut = Path("C:\\" + std::string(3000, 'd') + "\\" + huge).FileName();
  EXPECT_EQ(huge.compare(0, cut.size(), cut), 0);
}

TEST(Path, UrisAndExtensions) {
  EXPECT_EQ(Path::MakeURI("C:/not/canonical//"), "file:///C:/not/canonical//");
  for (char const* text : {"C:\\a b\\c.txt", "\\\\server\\share\\x", "C:\\"})
    EXPECT_EQ(Path(Path(text).GetURI()).FullPath(), text) << text;
  EXPECT_EQ(Path("\\\\server\\share\\x").GetURI(), "file://server/share/x");
  auto const ADD = Path::ADD_EXTENSION, LAST = Path::LAST_EXTENSION, ALL = Path::ALL_EXTENSIONS;
  std::tuple<char const*, char const*, Path::ChangeExtensionMode, char const*> const rows[] = {
      {"a.txt", "bak", ADD, "a.txt.bak"}, {"a.", "bak", ADD, "a.bak"}, {"C:\\x\\a", "..bak", ADD, "C:\\x\\a.bak"},
      {".", "txt", ADD, ".txt"}, {"C:\\d.x\\a.txt", ".bak", LAST, "C:\\d.x\\a.bak"},
      {"C:\\dir.d\\file", "txt", LAST, "C:\\dir.d\\file.txt"}, {".", ".txt", LAST, ".txt"},
      {"a.tar.gz", "zip", ALL, "a.zip"}, {"C:\\d.x\\a.tar.gz", "zip", ALL, "C:\\d.x\\a.zip"},
      {"C:\\d.x\\a", "zip", ALL, "C:\\d.x\\a.zip"},
      {"C:\\d\\a.b", "z/y", LAST, "C:\\d\\a.z\\y"}, // the result is canonicalised
      {"C:\\d\\a.b", "z", static_cast<Path::ChangeExtensionMode>(7), "C:\\d\\a.b"},
  };
  for (auto const& [input, extension, mode, expected] : rows)
    EXPECT_EQ(Path(input).ChangeExtension(extension, mode).FullPath(), expected)
        << input << " + " << extension << " mode " << int(mode);
  for (char const* extension : {"", ".", "..."}) {
    Path path("C:\\a.txt");
    EXPECT_THROW(path.ChangeExtension(extension, LAST), std::out_of_range) << extension;
    EXPECT_EQ(path.FullPath(), "C:\\a.txt");
  }
}

TEST(Path, Comparison) {
  Path upper("C:\\A"), lower("c:\\a");
  EXPECT_TRUE(upper == std::string("C:\\A"));
  EXPECT_FALSE(upper == std::string("C:/A")); // the string is not canonicalised
  EXPECT_TRUE(upper != lower);
  EXPECT_TRUE(upper < lower);
  EXPECT_TRUE(Path("a") < Path("\xE9")); // bytes compare as unsigned values
  EXPECT_TRUE(ZEBFile::PathComparatorT<char>(true)(upper, lower));
  std::set<Path, ZEBFile::PathComparatorT<char>> set(ZEBFile::PathComparatorT<char>(false));
  set.insert({upper, lower, Path("C:\\b")});
  EXPECT_EQ(set.size(), 2u);
  // The lower-case copy follows every change of the text.
  Path path("D:\\XyZ");
  path.ChangeExtension("TXT", Path::ADD_EXTENSION);
  EXPECT_EQ(Path(path).FullPathLowerCase(), "d:\\xyz.txt");
}

// A 16-bit count, or 0xFFFF and a 32-bit count from 65535 bytes on; the text
// is taken as it stands.
TEST(Path, BinaryForm) {
  auto written = [](Path const& path) {
    ZEBFile::MemoryBuffer buffer;
    ZEB::BinaryStreamT<unsigned> stream(buffer);
    stream << path;
    std::string bytes;
    buffer.Copy(bytes, buffer.Size());
    return bytes;
  };
  // The path read from `bytes` over "C:\before", or "EOF: " and what it holds when the stream ends first.
  auto readBack = [](std::string const& bytes) {
    ZEBFile::MemoryBuffer buffer(bytes.data(), uint32_t(bytes.size()));
    ZEB::BinaryStreamT<unsigned> stream(buffer);
    Path path("C:\\before");
    try {
      stream >> path;
    } catch (ZEB::BinaryStreamGetEOFException const&) {
      return "EOF: " + path.FullPath();
    }
    return path.FullPath();
  };
  EXPECT_EQ(written(Path("C:\\ab")), std::string("\x05\x00" "C:\\ab", 7));
  std::pair<std::size_t, std::string> const counts[] = {{65534, std::string("\xFE\xFF", 2)},
                                                        {65535, std::string("\xFF\xFF\xFF\xFF\x00\x00", 6)},
                                                        {70000, std::string("\xFF\xFF\x70\x11\x01\x00", 6)}};
  for (auto const& [length, count] : counts) {
    Path path("C:\\" + std::string(length - 3, 'x'));
    std::string bytes = written(path);
    EXPECT_EQ(bytes.substr(0, count.size()), count) << length;
    EXPECT_EQ(readBack(bytes), path.FullPath()) << length;
  }
  EXPECT_EQ(readBack(std::string("\x05\x00" "a/b\\\\", 7)), "a/b\\\\");
  EXPECT_EQ(readBack(std::string("\x00\x00", 2)), "");
  // Damaged streams fail without allocating what they claim, and change nothing.
  for (std::string bytes : {std::string(), std::string("\x05", 1), std::string("\x10\x00" "abc", 5),
                            std::string("\xFF\xFF\x01\x00", 4), std::string("\xFF\xFF\xF0\xFF\xFF\xFF" "0123", 10),
                            std::string("\xFF\xFF\x00\x00\x01\x00" "abc", 9)})
    EXPECT_EQ(readBack(bytes), "EOF: C:\\before") << bytes.size();
}

// Failures the file-system tests do not reach, and the order of two parameters, from narrow and wide texts
// alike: the class, the message with its parameters and the system error where the failure has one.
TEST(Path, ErrorsRaiseTheirClassAndMessage) {
  using Throw = ZEBFile::PathTThrow;
  std::tuple<Throw::ErrorType, std::type_info const&, int, std::vector<std::string>, unsigned> const rows[] = {
      {Throw::CANNOT_RETRIEVE_SERVER, typeid(ZEBFile::CannotRetrieveServerException), 12, {"p"}, 1234},
      {Throw::CANNOT_LIST_ALL_FILES, typeid(ZEBFile::CannotListAllFilesException), 8, {"p"}, 1234},
      {Throw::DRIVE_DOES_NOT_EXIST, typeid(ZEBFile::DriveDoesNotExistException), 6, {"Q:", "p"}, 0},
      {Throw::CANNOT_MOVE, typeid(ZEBFile::FileCannotMoveException), 9, {"p", "Q:"}, 1234},
  };
  for (bool wide : {false, true}) {
    for (auto const& [type, raised, id, parameters, systemError] : rows) {
      SCOPED_TRACE(testing::Message() << "type " << int(type) << (wide ? " wide" : " narrow"));
      SetLastError(1234);
      ZEBTest::Thrown t = ZEBTest::Catch([wide, type = type] {
        if (wide)
          Throw::ThrowError(type, std::u16string(u"p"), std::u16string(u"Q:"));
        else
          Throw::ThrowError(type, std::string("p"), std::string("Q:"));
      });
      EXPECT_TRUE(ZEBTest::Raised(t, raised, id, parameters, systemError));
      EXPECT_EQ(t.file, "src/ZEBPath");
    }
  }
}
