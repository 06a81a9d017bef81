// The path value without the disk: canonical form rule by rule, shape and
// components, extension changes, URIs, comparison, reference counting and
// the binary form.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <stdexcept>
#include <typeinfo>
#include <string>
#include <vector>

#include "ZEB/BinaryStream.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Path.h"
#include "ZEBPlatform/Win32.h"

using ZEBFile::PathT;
using Path = ZEBFile::PathT<char>;

namespace {

struct Canonical {
  char const* input;
  char const* expected;
};

void ExpectCanonical(std::vector<Canonical> const& rows) {
  for (Canonical const& row : rows)
    EXPECT_EQ(Path(row.input).FullPath(), row.expected) << "input: '" << row.input << "'";
}

} // namespace

// ---- Canonical form, by rule ------------------------------------------------

TEST(PathCanonical, RootsKeepTheirSeparator) {
  ExpectCanonical({
      {"", "."},
      {"C:\\", "C:\\"},
      {"C:", "C:"},
      {"C:x", "C:x"},
      {"\\", "\\"},
      {"/", "\\"},
      {"\\\\server\\", "\\\\server"},
      {"\\\\server", "\\\\server"},
      {"\\\\", "\\\\"},
      {"//server/share/", "\\\\server\\share"},
      {"/home/u/a.doc", "\\home\\u\\a.doc"},
  });
}

TEST(PathCanonical, DoubledSeparatorsCollapseAfterTheRoot) {
  ExpectCanonical({
      {"C:/x/./y//z/", "C:\\x\\y\\z"},
      {"a\\\\\\\\b", "a\\b"},
      {"a//b///c", "a\\b\\c"},
      {"\\\\server\\\\share", "\\\\server\\share"},
      {"\\\\\\x", "\\\\\\x"}, // the third backslash ends the UNC root
      // Doubled across the end of the root: folded as well.
      {"C:\\\\x", "C:\\x"},
      {"C:\\\\", "C:\\"},
      {"\\\\x\\\\\\\\y", "\\\\x\\y"},
      {"\\\\srv\\\\", "\\\\srv"},
  });
}

TEST(PathCanonical, DotAndDotDotComponents) {
  ExpectCanonical({
      {"./", "."},
      {".", "."},
      {"a\\..", "."},
      {".\\a\\.\\b", "a\\b"},
      {"a\\b\\..\\c", "a\\c"},
      {"C:\\..\\x", "C:\\x"},
      {"\\..\\x", "\\x"},
      {"C:\\a\\b\\..\\..\\..\\c", "C:\\c"},
      {"..\\a", "..\\a"},
      {"..\\..\\a", "..\\..\\a"},
      {"C:..\\b", "C:..\\b"},
      {"a\\..\\..\\b", "..\\b"},
      {"\\\\server\\share\\..\\x", "\\\\server\\x"},
      {"\\\\server\\..\\x", "\\\\server\\x"},
      {"\\\\srv\\..", "\\\\srv"},
      {"C:x\\..\\..", "C:.."},
      {"x\\.", "x"},
  });
}

TEST(PathCanonical, TrailingDotsLeaveDirectoryNamesOnly) {
  ExpectCanonical({
      {"C:\\dir.\\x", "C:\\dir\\x"},
      {"C:\\dir...\\x", "C:\\dir\\x"},
      {"C:\\...\\x", "C:\\x"},
      {"C:\\a\\....\\x", "C:\\a\\x"},
      {"C:\\dir\\name.", "C:\\dir\\name."},
      {"...\\b", "...\\b"},
      {"a.\\", "a"},
      {"\\\\srv\\...\\x", "\\\\srv\\x"},
  });
}

TEST(PathCanonical, FileUris) {
  ExpectCanonical({
      {"file:///C:/a/b", "C:\\a\\b"},
      {"FILE://server/share", "\\\\server\\share"},
      {"File:\\\\\\c:\\x", "c:\\x"},
      {"  file:///C:/x", "C:\\x"},
      {"file://", "\\\\"},
      {"file:x", "file:x"},
      {"file:/x", "file:\\x"},
      {"fil:///C:/x", "fil:\\C:\\x"},
  });
}

TEST(PathCanonical, LeadingSpacesGoOnlyBeforeARoot) {
  ExpectCanonical({
      {"  C:\\x", "C:\\x"},
      {" c:", "c:"},
      {"  \\\\srv\\s", "\\\\srv\\s"},
      {"  x", "  x"},
      {" \\x", " \\x"},
      {"   ", "   "}, // spaces only: a name no file can have, never the current directory
      {" ", " "},
  });
}

TEST(PathCanonical, TrailingSeparatorIsDropped) {
  ExpectCanonical({
      {"C:\\x\\", "C:\\x"},
      {"C:\\x\\\\", "C:\\x"},
      {"\\x\\", "\\x"},
      {"x\\", "x"},
      {"x/", "x"},
      {"\\\\server\\share\\", "\\\\server\\share"},
  });
}

// Canonicalising a canonical text changes nothing. The one known exception:
// spaces that only become leading during canonicalisation (a URI such as
// 'file:/// C:/x', or '.\ C:\x') stay in the first result and go in the
// next, since they are stripped before canonicalisation.
TEST(PathCanonical, InitializeIsIdempotentOnItsOwnOutput) {
  static char const* const TOKENS[] = {"a", "B", "x.y", ".", "..", "...", "\\", "/", "\\\\", "C:", "c", ":",
                                       " ", "  ", "file:", "FILE://", "file:///", "name.", "*"};
  std::mt19937 random(20261206);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof TOKENS / sizeof *TOKENS - 1);
  std::uniform_int_distribution<int> length(0, 9);
  int exposedSpaces = 0;
  for (int i = 0; i < 50000; ++i) {
    std::string input;
    for (int n = length(random); n > 0; --n)
      input += TOKENS[pick(random)];
    Path once(input);
    Path twice(once.FullPath());
    ASSERT_FALSE(once.FullPath().empty()) << "input: '" << input << "'";
    std::size_t p = once.FullPath().find_first_not_of(' ');
    bool spacesBeforeRoot = p != std::string::npos && p > 0 &&
                            (once.FullPath().compare(p, 2, "\\\\") == 0 ||
                             (once.FullPath().size() >= p + 2 && once.FullPath()[p + 1] == ':'));
    if (spacesBeforeRoot) {
      ++exposedSpaces;
      EXPECT_EQ(twice.FullPath(), Path(once.FullPath().substr(p)).FullPath()) << "input: '" << input << "'";
      EXPECT_EQ(Path(twice.FullPath()).FullPath(), twice.FullPath()) << "input: '" << input << "'";
    } else {
      ASSERT_EQ(twice.FullPath(), once.FullPath()) << "input: '" << input << "'";
    }
  }
  EXPECT_LT(exposedSpaces, 500); // a rare corner, not the rule
}

TEST(PathCanonical, AssignmentCanonicalises) {
  Path path;
  EXPECT_EQ(path.FullPath(), ".");
  path = "C:/a/../b/";
  EXPECT_EQ(*path, "C:\\b");
  path = std::string("  \\\\s\\x\\");
  EXPECT_EQ(*path, "\\\\s\\x");
  path = static_cast<char const*>(nullptr);
  EXPECT_EQ(*path, ".");
}

// ---- Shape and components -----------------------------------------------------

TEST(PathShape, DriveUncAbsolute) {
  struct Row {
    char const* input;
    bool drive, unc, absolute;
  } const rows[] = {
      {"C:\\x", true, false, true},  {"C:", true, false, false},   {"C:x", true, false, false},
      {"C:\\", true, false, true},   {"\\x", false, false, true},  {"\\\\s\\x", false, true, true},
      {"x\\y", false, false, false}, {"..\\x", false, false, false},
  };
  for (Row const& row : rows) {
    Path path(row.input);
    EXPECT_EQ(path.HasDrive(), row.drive) << row.input;
    EXPECT_EQ(path.IsUNC(), row.unc) << row.input;
    EXPECT_EQ(path.IsAbsolute(), row.absolute) << row.input;
    EXPECT_EQ(path.IsRelative(), !row.absolute) << row.input;
  }
}

TEST(PathShape, DotDirectories) {
  struct Row {
    char const* text;
    bool dot;
  } const rows[] = {
      {".", true},     {"..", true},  {"a\\.", true},  {"a\\..\\", true}, {"C:..", true},  {"/..", true},
      {"a/./", true},  {"...", false}, {"a.", false},  {"a..", false},     {"", false},     {"\\\\", false},
      {"/", false},    {"a\\...", false}, {"x", false},
  };
  for (Row const& row : rows)
    EXPECT_EQ(Path::IsDotDirectory(row.text), row.dot) << "text: '" << row.text << "'";
}

TEST(PathComponents, NameExtensionRoot) {
  struct Row {
    char const* input;
    char const* name;
    char const* extension;
    char const* root;
  } const rows[] = {
      {"C:\\a\\b.txt", "b.txt", "txt", "C:\\"},
      {"C:\\a\\b", "b", "", "C:\\"},
      {"C:\\a\\b.tar.gz", "b.tar.gz", "gz", "C:\\"},
      {"C:\\", "", "", "C:\\"},
      {"C:x.y", "x.y", "y", "C:\\"},
      {"\\\\server\\share\\x.doc", "x.doc", "doc", "\\\\server\\"},
      {"\\\\server", "server", "", "\\\\server\\"},
      {"\\home\\u\\a.doc", "a.doc", "doc", ""},
      {"rel\\.hidden", ".hidden", "hidden", ""},
      {"C:\\d.x\\file", "file", "", "C:\\"},
  };
  for (Row const& row : rows) {
    Path path(row.input);
    EXPECT_EQ(path.FileName(), row.name) << row.input;
    EXPECT_EQ(path.FileExtension(), row.extension) << row.input;
    EXPECT_EQ(path.Root(), row.root) << row.input;
  }
}

TEST(PathComponents, LongPathsDoNotOverrunTheSplit) {
  // Directory and name each near the classic 256-character limit of a part.
  std::string name(240, 'n');
  Path path("C:\\" + std::string(240, 'd') + "\\" + name + ".ext");
  EXPECT_EQ(path.FileName(), name + ".ext");
  EXPECT_EQ(path.FileExtension(), "ext");
  // Beyond what any file system allows, the platform cuts or drops the
  // parts; what comes back is never more than was there.
  std::string huge(5000, 'h');
  std::string cut = Path("C:\\" + std::string(3000, 'd') + "\\" + huge).FileName();
  EXPECT_EQ(huge.compare(0, cut.size(), cut), 0);
}

TEST(PathComponents, Uris) {
  EXPECT_EQ(Path("C:\\a b\\c.txt").GetURI(), "file:///C:/a b/c.txt");
  EXPECT_EQ(Path("\\\\server\\share\\x").GetURI(), "file://server/share/x");
  EXPECT_EQ(Path::MakeURI("rel\\x"), "file:///rel/x");
  EXPECT_EQ(Path::MakeURI("C:/not/canonical//"), "file:///C:/not/canonical//");
  // A URI canonicalises back to the path it came from.
  for (char const* text : {"C:\\a b\\c.txt", "\\\\server\\share\\x", "C:\\"})
    EXPECT_EQ(Path(Path(text).GetURI()).FullPath(), text) << text;
}

TEST(PathChangeExtension, ByMode) {
  struct Row {
    char const* path;
    char const* extension;
    Path::ChangeExtensionMode mode;
    char const* expected;
  } const rows[] = {
      {"a.txt", "bak", Path::ADD_EXTENSION, "a.txt.bak"},
      {"a.", "bak", Path::ADD_EXTENSION, "a.bak"},
      {"C:\\x\\a", "..bak", Path::ADD_EXTENSION, "C:\\x\\a.bak"},
      {"C:\\d.x\\a.txt", ".bak", Path::LAST_EXTENSION, "C:\\d.x\\a.bak"},
      {"C:\\d.x\\a", ".bak", Path::LAST_EXTENSION, "C:\\d.x\\a.bak"},
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
}

TEST(PathChangeExtension, EmptyOrDotsOnlyThrowsAndKeepsThePath) {
  for (char const* extension : {"", ".", "..."}) {
    Path path("C:\\a.txt");
    EXPECT_THROW(path.ChangeExtension(extension, Path::LAST_EXTENSION), std::out_of_range) << extension;
    EXPECT_EQ(path.FullPath(), "C:\\a.txt");
  }
}

// ---- Comparison and lifetime ------------------------------------------------------

TEST(PathCompare, EqualityIsByteExact) {
  Path upper("C:\\A"), lower("c:\\a");
  EXPECT_FALSE(upper == lower);
  EXPECT_TRUE(upper != lower);
  EXPECT_TRUE(upper == std::string("C:\\A"));
  EXPECT_FALSE(upper == std::string("C:/A")); // the string is not canonicalised
  EXPECT_TRUE(upper < lower);
  EXPECT_TRUE(upper < std::string("C:\\AB"));
  EXPECT_FALSE(Path("C:\\AB") < upper);
  // Bytes compare as unsigned values.
  EXPECT_TRUE(Path("a") < Path("\xE9"));
}

TEST(PathCompare, ComparatorWithAndWithoutCase) {
  Path upper("C:\\A"), lower("c:\\a");
  ZEBFile::PathComparatorT<char> insensitive(false), sensitive(true);
  EXPECT_FALSE(insensitive(upper, lower));
  EXPECT_FALSE(insensitive(lower, upper));
  EXPECT_TRUE(sensitive(upper, lower));
  EXPECT_FALSE(sensitive(lower, upper));
  EXPECT_EQ(upper.FullPathLowerCase(), "c:\\a");

  std::set<Path, ZEBFile::PathComparatorT<char>> set(insensitive);
  set.insert(upper);
  set.insert(lower);
  set.insert(Path("C:\\b"));
  EXPECT_EQ(set.size(), 2u);
}

TEST(PathCompare, LowerCaseCopyFollowsTheText) {
  Path path("C:\\ABC");
  EXPECT_EQ(path.FullPathLowerCase(), "c:\\abc");
  path = "D:\\XyZ";
  EXPECT_EQ(path.FullPathLowerCase(), "d:\\xyz");
  path.ChangeExtension("TXT", Path::ADD_EXTENSION);
  EXPECT_EQ(path.FullPathLowerCase(), "d:\\xyz.txt");
  Path copy(path);
  EXPECT_EQ(copy.FullPathLowerCase(), "d:\\xyz.txt");
}

TEST(PathLifetime, ReferenceCounting) {
  Path* path = new Path("C:\\x");
  EXPECT_EQ(path->NbRef(), 0);
  {
    ZEB::SmartPtr<Path> holder(path);
    EXPECT_EQ(path->NbRef(), 1);
    ZEB::SmartPtr<Path> second(holder);
    EXPECT_EQ(path->NbRef(), 2);
    EXPECT_EQ(path->AddRef(), 3);
    EXPECT_EQ(path->Release(), 2);
    Path copy(*path);
    EXPECT_EQ(copy.NbRef(), 0); // a copy starts its own count
    copy = *path;
    EXPECT_EQ(copy.NbRef(), 0);
  }
  // The last holder freed it: a leak or a double free shows in the sanitizer build.
}

// ---- Binary form ------------------------------------------------------------------------

namespace {

std::string Bytes(ZEBFile::MemoryBuffer& buffer) {
  std::string bytes(buffer.Size(), '\0');
  buffer.SeekG(0, ZEB::BinaryStreamBufT<unsigned>::BEGIN, ZEB::BinaryStreamBufT<unsigned>::FORWARD);
  buffer.GetAll(&bytes[0], uint32_t(bytes.size()));
  buffer.SeekG(0, ZEB::BinaryStreamBufT<unsigned>::BEGIN, ZEB::BinaryStreamBufT<unsigned>::FORWARD);
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

TEST(PathBinary, ShortPathHasA16BitCount) {
  ZEBFile::MemoryBuffer buffer;
  ZEB::BinaryStreamT<unsigned> stream(buffer);
  stream << Path("C:\\ab");
  EXPECT_EQ(Bytes(buffer), std::string("\x05\x00" "C:\\ab", 7));
  Path read;
  stream >> read;
  EXPECT_EQ(read.FullPath(), "C:\\ab");
}

TEST(PathBinary, CountEscapeFrom65535Bytes) {
  for (std::size_t length : {std::size_t(65534), std::size_t(65535), std::size_t(70000)}) {
    Path path("C:\\" + std::string(length - 3, 'x'));
    ASSERT_EQ(path.FullPath().size(), length);
    ZEBFile::MemoryBuffer buffer;
    ZEB::BinaryStreamT<unsigned> stream(buffer);
    stream << path;
    std::string bytes = Bytes(buffer);
    if (length < 0xFFFF) {
      ASSERT_EQ(bytes.size(), 2 + length);
      EXPECT_EQ(uint8_t(bytes[0]) | uint8_t(bytes[1]) << 8, int(length));
    } else {
      ASSERT_EQ(bytes.size(), 6 + length);
      EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFF");
      uint32_t count = 0;
      for (int i = 0; i < 4; ++i)
        count |= uint32_t(uint8_t(bytes[2 + i])) << (8 * i);
      EXPECT_EQ(count, length);
    }
    EXPECT_EQ(ReadBack(bytes).FullPath(), path.FullPath()) << length;
  }
}

TEST(PathBinary, TextIsTakenAsItStands) {
  EXPECT_EQ(ReadBack(std::string("\x05\x00" "a/b\\\\", 7)).FullPath(), "a/b\\\\");
  EXPECT_EQ(ReadBack(std::string("\x00\x00", 2)).FullPath(), ""); // a count of 0 empties the path
}

TEST(PathBinary, DamagedStreamsFailWithoutHugeAllocation) {
  struct Row {
    char const* what;
    std::string bytes;
  } const rows[] = {
      {"empty", std::string()},
      {"half a count", std::string("\x05", 1)},
      {"count beyond the data", std::string("\x10\x00" "abc", 5)},
      {"escape without its count", std::string("\xFF\xFF\x01\x00", 4)},
      {"4 GiB count on 10 bytes", std::string("\xFF\xFF\xF0\xFF\xFF\xFF" "0123456789", 16)},
      {"escape count beyond the data", std::string("\xFF\xFF\x00\x00\x01\x00" "abc", 9)},
  };
  for (Row const& row : rows) {
    ZEBFile::MemoryBuffer buffer(row.bytes.data(), uint32_t(row.bytes.size()));
    ZEB::BinaryStreamT<unsigned> stream(buffer);
    Path path("C:\\before");
    EXPECT_THROW(stream >> path, ZEB::BinaryStreamGetEOFException) << row.what;
    EXPECT_EQ(path.FullPath(), "C:\\before") << row.what;
  }
}

// ---- Current directory and errors --------------------------------------------------------

TEST(PathCurrent, UnknownDriveLetterIsInvalid) {
  try {
    Path::GetCurrentPath('q');
    FAIL() << "no exception";
  } catch (ZEBFile::InvalidPathException const& error) {
    EXPECT_TRUE(error.What().empty());
    EXPECT_FALSE(error.Info());
  }
}

TEST(PathCurrent, ProcessDirectoryIsAnAbsoluteDirectory) {
  Path current = Path::GetCurrentPath('.');
  EXPECT_TRUE(current.IsAbsolute()) << current.FullPath();
  EXPECT_TRUE(current.IsDirectory()) << current.FullPath();
}

TEST(PathThrow, EveryRowRaisesItsClassAndMessage) {
  using Throw = ZEBFile::PathTThrow;
  struct Row {
    Throw::ErrorType type;
    std::type_info const& raised;
    int id;
    std::vector<std::u16string> parameters;
    bool systemError;
  } const rows[] = {
      {Throw::CANNOT_RETRIEVE_SERVER, typeid(ZEBFile::CannotRetrieveServerException), 12, {u"p"}, true},
      {Throw::DRIVE_DOES_NOT_EXIST, typeid(ZEBFile::DriveDoesNotExistException), 6, {u"Q:", u"p"}, false},
      {Throw::CANNOT_CREATE, typeid(ZEBFile::FileCannotCreateException), 4, {u"p"}, true},
      {Throw::CANNOT_DELETE, typeid(ZEBFile::FileCannotDeleteException), 5, {u"p"}, true},
      {Throw::CANNOT_COPY, typeid(ZEBFile::FileCannotCopyException), 3, {u"p", u"Q:"}, true},
      {Throw::CANNOT_MOVE, typeid(ZEBFile::FileCannotMoveException), 9, {u"p", u"Q:"}, true},
      {Throw::CANNOT_SET_ATTRIBUTES, typeid(ZEBFile::FileCannotSetAttributes), 14, {u"p"}, true},
      {Throw::CANNOT_LIST_ALL_FILES, typeid(ZEBFile::CannotListAllFilesException), 8, {u"p"}, true},
  };
  for (bool wide : {false, true}) {
    for (Row const& row : rows) {
      SCOPED_TRACE(testing::Message() << "type " << int(row.type) << (wide ? " wide" : " narrow"));
      SetLastError(1234);
      try {
        if (wide)
          Throw::ThrowError(row.type, std::u16string(u"p"), std::u16string(u"Q:"));
        else
          Throw::ThrowError(row.type, std::string("p"), std::string("Q:"));
        ADD_FAILURE() << "no exception";
      } catch (ZEBFile::FileException const& error) {
        EXPECT_TRUE(typeid(error) == row.raised) << typeid(error).name();
        ASSERT_TRUE(error.Info());
        EXPECT_EQ(error.Info()->Module(), "ZEBFile");
        EXPECT_EQ(error.Info()->Id(), row.id);
        EXPECT_EQ(error.Info()->File(), "src/ZEBPath");
        EXPECT_GT(error.Info()->Line(), 0);
        EXPECT_EQ(error.Info()->Parameters(), row.parameters);
        EXPECT_EQ(error.Info()->LastError(), row.systemError ? 1234u : 0u);
        if (row.type == Throw::DRIVE_DOES_NOT_EXIST) {
          EXPECT_EQ(error.What().rfind(u"The drive Q: in p does not exist.", 0), 0u);
        }
      }
    }
  }
}

TEST(PathThrow, UnknownTypeThrowsNothing) {
  using Throw = ZEBFile::PathTThrow;
  std::string p = "C:\\x";
  EXPECT_NO_THROW(Throw::ThrowError(static_cast<Throw::ErrorType>(8), p, p));
  EXPECT_NO_THROW(Throw::ThrowError(static_cast<Throw::ErrorType>(-1), p, p));
  EXPECT_NO_THROW(Throw::ThrowError(static_cast<Throw::ErrorType>(8), std::u16string(u"p"), std::u16string()));
}
