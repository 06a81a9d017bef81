// The path value without the disk: canonical form, shape and components,
// extension changes, URIs, comparison, the binary form and the errors.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZEB/BinaryStream.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Path.h"
#include "ZEBPlatform/Win32.h"
#include "support/Thrown.h"

using Path = ZEBFile::PathT<char>;

TEST(Path, CanonicalForm) {
  struct Row {
    char const* input;
    char const* expected;
  } const rows[] = {
      // Roots keep their separator; a trailing one goes otherwise.
      {"", "."}, {"C:\\", "C:\\"}, {"C:", "C:"}, {"C:x", "C:x"}, {"\\", "\\"}, {"/", "\\"},
      {"\\\\server\\", "\\\\server"}, {"\\\\", "\\\\"}, {"//server/share/", "\\\\server\\share"},
      {"/home/u/a.doc", "\\home\\u\\a.doc"}, {"C:\\x\\\\", "C:\\x"}, {"x/", "x"},
      // Doubled separators collapse, across the end of the root too.
      {"C:/x/./y//z/", "C:\\x\\y\\z"}, {"a//b///c", "a\\b\\c"}, {"\\\\server\\\\share", "\\\\server\\share"},
      {"\\\\\\x", "\\\\\\x"}, {"C:\\\\x", "C:\\x"}, {"C:\\\\", "C:\\"}, {"\\\\x\\\\\\\\y", "\\\\x\\y"},
      {"\\\\srv\\\\", "\\\\srv"},
      // "." and "..": never above a root, kept at the start of a relative path.
      {"./", "."}, {"a\\..", "."}, {".\\a\\.\\b", "a\\b"}, {"a\\b\\..\\c", "a\\c"}, {"C:\\..\\x", "C:\\x"},
      {"\\..\\x", "\\x"}, {"C:\\a\\b\\..\\..\\..\\c", "C:\\c"}, {"..\\..\\a", "..\\..\\a"}, {"C:..\\b", "C:..\\b"},
      {"a\\..\\..\\b", "..\\b"}, {"\\\\server\\share\\..\\x", "\\\\server\\x"}, {"\\\\srv\\..", "\\\\srv"},
      {"C:x\\..\\..", "C:.."}, {"x\\.", "x"},
      // Trailing dots leave directory names only.
      {"C:\\dir.\\x", "C:\\dir\\x"}, {"C:\\dir...\\x", "C:\\dir\\x"}, {"C:\\...\\x", "C:\\x"},
      {"C:\\a\\....\\x", "C:\\a\\x"}, {"C:\\dir\\name.", "C:\\dir\\name."}, {"...\\b", "...\\b"}, {"a.\\", "a"},
      {"\\\\srv\\...\\x", "\\\\srv\\x"},
      // File URIs, and spaces before a root only.
      {"file:///C:/a/b", "C:\\a\\b"}, {"FILE://server/share", "\\\\server\\share"}, {"File:\\\\\\c:\\x", "c:\\x"},
      {"  file:///C:/x", "C:\\x"}, {"file://", "\\\\"}, {"file:x", "file:x"}, {"file:/x", "file:\\x"},
      {"fil:///C:/x", "fil:\\C:\\x"}, {"  C:\\x", "C:\\x"}, {" c:", "c:"}, {"  \\\\srv\\s", "\\\\srv\\s"},
      {"  x", "  x"}, {" \\x", " \\x"}, {"   ", "   "},
  };
  for (Row const& row : rows)
    EXPECT_EQ(Path(row.input).FullPath(), row.expected) << "input: '" << row.input << "'";
  Path path;
  EXPECT_EQ(*path, ".");
  path = "C:/a/../b/";
  EXPECT_EQ(*path, "C:\\b");
  path = static_cast<char const*>(nullptr);
  EXPECT_EQ(*path, ".");
}

TEST(Path, ShapeAndComponents) {
  struct Row {
    char const* input;
    bool drive, unc, absolute;
    char const *name, *extension, *root;
  } const rows[] = {
      {"C:\\a\\b.txt", true, false, true, "b.txt", "txt", "C:\\"},
      {"C:\\a\\b.tar.gz", true, false, true, "b.tar.gz", "gz", "C:\\"},
      {"C:\\", true, false, true, "", "", "C:\\"},
      {"C:", true, false, false, "", "", "C:\\"},
      {"C:x.y", true, false, false, "x.y", "y", "C:\\"},
      {"\\\\server\\share\\x.doc", false, true, true, "x.doc", "doc", "\\\\server\\"},
      {"\\\\server", false, true, true, "server", "", "\\\\server\\"},
      {"\\home\\u\\a.doc", false, false, true, "a.doc", "doc", ""},
      {"rel\\.hidden", false, false, false, ".hidden", "hidden", ""},
      {"C:\\d.x\\file", true, false, true, "file", "", "C:\\"},
      {"..\\x", false, false, false, "x", "", ""},
  };
  for (Row const& row : rows) {
    SCOPED_TRACE(row.input);
    Path path(row.input);
    EXPECT_EQ(path.HasDrive(), row.drive);
    EXPECT_EQ(path.IsUNC(), row.unc);
    EXPECT_EQ(path.IsAbsolute(), row.absolute);
    EXPECT_EQ(path.IsRelative(), !row.absolute);
    EXPECT_EQ(path.FileName(), row.name);
    EXPECT_EQ(path.FileExtension(), row.extension);
    EXPECT_EQ(path.Root(), row.root);
  }
  for (char const* dot : {".", "..", "a\\.", "a\\..\\", "C:..", "/..", "a/./", "C:."})
    EXPECT_TRUE(Path::IsDotDirectory(dot)) << dot;
  for (char const* other : {"...", "a.", "a..", "", "\\\\", "/", "a\\...", "x"})
    EXPECT_FALSE(Path::IsDotDirectory(other)) << other;
  // Parts near and far beyond the classic 256-character limit: never more than was there.
  std::string name(240, 'n'), huge(5000, 'h');
  EXPECT_EQ(Path("C:\\" + std::string(240, 'd') + "\\" + name + ".ext").FileName(), name + ".ext");
  std::string cut = Path("C:\\" + std::string(3000, 'd') + "\\" + huge).FileName();
  EXPECT_EQ(huge.compare(0, cut.size(), cut), 0);
}

TEST(Path, UrisAndExtensions) {
  EXPECT_EQ(Path("C:\\a b\\c.txt").GetURI(), "file:///C:/a b/c.txt");
  EXPECT_EQ(Path("\\\\server\\share\\x").GetURI(), "file://server/share/x");
  EXPECT_EQ(Path::MakeURI("C:/not/canonical//"), "file:///C:/not/canonical//");
  for (char const* text : {"C:\\a b\\c.txt", "\\\\server\\share\\x", "C:\\"})
    EXPECT_EQ(Path(Path(text).GetURI()).FullPath(), text) << text;

  struct Row {
    char const *path, *extension;
    Path::ChangeExtensionMode mode;
    char const* expected;
  } const rows[] = {
      {"a.txt", "bak", Path::ADD_EXTENSION, "a.txt.bak"},
      {"a.", "bak", Path::ADD_EXTENSION, "a.bak"},
      {"C:\\x\\a", "..bak", Path::ADD_EXTENSION, "C:\\x\\a.bak"},
      {"C:\\d.x\\a.txt", ".bak", Path::LAST_EXTENSION, "C:\\d.x\\a.bak"},
      {"C:\\dir.d\\file", "txt", Path::LAST_EXTENSION, "C:\\dir.d\\file.txt"},
      {".", ".txt", Path::LAST_EXTENSION, ".txt"},
      {".", "txt", Path::ADD_EXTENSION, ".txt"},
      {"a.tar.gz", "zip", Path::ALL_EXTENSIONS, "a.zip"},
      {"C:\\d.x\\a.tar.gz", "zip", Path::ALL_EXTENSIONS, "C:\\d.x\\a.zip"},
      {"C:\\d.x\\a", "zip", Path::ALL_EXTENSIONS, "C:\\d.x\\a.zip"},
      {"C:\\d\\a.b", "z/y", Path::LAST_EXTENSION, "C:\\d\\a.z\\y"}, // the result is canonicalised
      {"C:\\d\\a.b", "z", static_cast<Path::ChangeExtensionMode>(7), "C:\\d\\a.b"},
  };
  for (Row const& row : rows) {
    Path path(row.path);
    EXPECT_EQ(path.ChangeExtension(row.extension, row.mode).FullPath(), row.expected)
        << row.path << " + " << row.extension << " mode " << int(row.mode);
  }
  for (char const* extension : {"", ".", "..."}) {
    Path path("C:\\a.txt");
    EXPECT_THROW(path.ChangeExtension(extension, Path::LAST_EXTENSION), std::out_of_range) << extension;
    EXPECT_EQ(path.FullPath(), "C:\\a.txt");
  }
}

TEST(Path, Comparison) {
  Path upper("C:\\A"), lower("c:\\a");
  EXPECT_FALSE(upper == lower);
  EXPECT_TRUE(upper != lower);
  EXPECT_TRUE(upper == std::string("C:\\A"));
  EXPECT_FALSE(upper == std::string("C:/A")); // the string is not canonicalised
  EXPECT_TRUE(upper < lower);
  EXPECT_TRUE(Path("a") < Path("\xE9")); // bytes compare as unsigned values
  ZEBFile::PathComparatorT<char> insensitive(false), sensitive(true);
  EXPECT_FALSE(insensitive(upper, lower));
  EXPECT_FALSE(insensitive(lower, upper));
  EXPECT_TRUE(sensitive(upper, lower));
  std::set<Path, ZEBFile::PathComparatorT<char>> set(insensitive);
  set.insert({upper, lower, Path("C:\\b")});
  EXPECT_EQ(set.size(), 2u);
  // The lower-case copy follows every change of the text.
  Path path("D:\\XyZ");
  EXPECT_EQ(path.FullPathLowerCase(), "d:\\xyz");
  path.ChangeExtension("TXT", Path::ADD_EXTENSION);
  EXPECT_EQ(Path(path).FullPathLowerCase(), "d:\\xyz.txt");
  path = "E:\\ABC";
  EXPECT_EQ(path.FullPathLowerCase(), "e:\\abc");
}

namespace {

std::string Written(Path const& path) {
  ZEBFile::MemoryBuffer buffer;
  ZEB::BinaryStreamT<unsigned> stream(buffer);
  stream << path;
  std::string bytes;
  buffer.SeekG(0);
  buffer.Copy(bytes, buffer.Size());
  return bytes;
}

Path ReadBack(std::string const& bytes) {
  ZEBFile::MemoryBuffer buffer(bytes.data(), uint32_t(bytes.size()));
  ZEB::BinaryStreamT<unsigned> stream(buffer);
  Path path("C:\\before");
  stream >> path;
  return path;
}

} // namespace

// A 16-bit count, or 0xFFFF and a 32-bit count from 65535 bytes on; the text
// is taken as it stands.
TEST(Path, BinaryForm) {
  EXPECT_EQ(Written(Path("C:\\ab")), std::string("\x05\x00" "C:\\ab", 7));
  for (std::size_t length : {std::size_t(65534), std::size_t(65535), std::size_t(70000)}) {
    Path path("C:\\" + std::string(length - 3, 'x'));
    std::string bytes = Written(path);
    std::string count = length < 0xFFFF ? std::string{char(length), char(length >> 8)}
                                        : std::string("\xFF\xFF") + char(length) + char(length >> 8) + char(length >> 16) + '\0';
    EXPECT_EQ(bytes.substr(0, count.size()), count) << length;
    EXPECT_EQ(ReadBack(bytes).FullPath(), path.FullPath()) << length;
  }
  EXPECT_EQ(ReadBack(std::string("\x05\x00" "a/b\\\\", 7)).FullPath(), "a/b\\\\");
  EXPECT_EQ(ReadBack(std::string("\x00\x00", 2)).FullPath(), "");
  // Damaged streams fail without allocating what they claim, and change nothing.
  for (std::string bytes : {std::string(), std::string("\x05", 1), std::string("\x10\x00" "abc", 5),
                            std::string("\xFF\xFF\x01\x00", 4), std::string("\xFF\xFF\xF0\xFF\xFF\xFF" "0123", 10),
                            std::string("\xFF\xFF\x00\x00\x01\x00" "abc", 9)}) {
    ZEBFile::MemoryBuffer buffer(bytes.data(), uint32_t(bytes.size()));
    ZEB::BinaryStreamT<unsigned> stream(buffer);
    Path path("C:\\before");
    EXPECT_THROW(stream >> path, ZEB::BinaryStreamGetEOFException) << bytes.size();
    EXPECT_EQ(path.FullPath(), "C:\\before");
  }
}

TEST(Path, ErrorsRaiseTheirClassAndMessage) {
  using Throw = ZEBFile::PathTThrow;
  struct Row {
    Throw::ErrorType type;
    std::type_info const& raised;
    int id;
    std::vector<std::string> parameters;
    bool systemError;
  } const rows[] = {
      {Throw::CANNOT_RETRIEVE_SERVER, typeid(ZEBFile::CannotRetrieveServerException), 12, {"p"}, true},
      {Throw::DRIVE_DOES_NOT_EXIST, typeid(ZEBFile::DriveDoesNotExistException), 6, {"Q:", "p"}, false},
      {Throw::CANNOT_CREATE, typeid(ZEBFile::FileCannotCreateException), 4, {"p"}, true},
      {Throw::CANNOT_DELETE, typeid(ZEBFile::FileCannotDeleteException), 5, {"p"}, true},
      {Throw::CANNOT_COPY, typeid(ZEBFile::FileCannotCopyException), 3, {"p", "Q:"}, true},
      {Throw::CANNOT_MOVE, typeid(ZEBFile::FileCannotMoveException), 9, {"p", "Q:"}, true},
      {Throw::CANNOT_SET_ATTRIBUTES, typeid(ZEBFile::FileCannotSetAttributes), 14, {"p"}, true},
      {Throw::CANNOT_LIST_ALL_FILES, typeid(ZEBFile::CannotListAllFilesException), 8, {"p"}, true},
  };
  for (bool wide : {false, true}) {
    for (Row const& row : rows) {
      SCOPED_TRACE(testing::Message() << "type " << int(row.type) << (wide ? " wide" : " narrow"));
      SetLastError(1234);
      ZEBTest::Thrown t = ZEBTest::Catch([&] {
        if (wide)
          Throw::ThrowError(row.type, std::u16string(u"p"), std::u16string(u"Q:"));
        else
          Throw::ThrowError(row.type, std::string("p"), std::string("Q:"));
      });
      EXPECT_TRUE(ZEBTest::Raised(t, row.raised, row.id, row.parameters, row.systemError ? 1234u : 0u));
      EXPECT_EQ(t.file, "src/ZEBPath");
    }
  }
  for (int unknown : {8, -1})
    EXPECT_NO_THROW(Throw::ThrowError(static_cast<Throw::ErrorType>(unknown), std::string("p"), std::string()));
}
