// Paths against a real file system: each test works in a temporary directory
// of its own (reached as X:\ through a mapped drive where a drive letter is
// the point), and checks the result on disk with the standard library.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Path.h"
#include "ZEBPlatform/Config.h"
#include "ZEBPlatform/Win32.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

namespace fs = std::filesystem;
using Path = ZEBFile::PathT<char>;
using ZEBTest::Catch;
using ZEBTest::Raised;
using ZEBTest::SOME_ERROR;

namespace {

template <class Paths> std::vector<std::string> Names(Paths const& paths) {
  std::vector<std::string> names;
  for (auto const& path : paths)
    names.push_back(path.FileName());
  return names;
}

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

// A test's own directory, also reachable as drive X: where drives can be mapped.
class PathFs : public ::testing::Test {
protected:
  PathFs() : m_Mapped(ZEBPlatform::MapDrive('X', dir.Native())) {}
  ~PathFs() override {
    if (m_Mapped)
      ZEBPlatform::UnmapDrive('X');
  }
  std::string At(std::string const& name) const { return dir.Child(name); }
  bool Symlink(std::string const& target, std::string const& link) {
    std::error_code error;
    fs::create_directory_symlink(At(target), At(link), error);
    return !error;
  }

  ZEBTest::TempDir dir;
  bool m_Mapped;
};

} // namespace

#define SKIP_WITHOUT_DRIVE_X()                                                                                         \
  if (!m_Mapped)                                                                                                       \
  GTEST_SKIP() << "drive letters cannot be mapped on this system"

TEST_F(PathFs, InformationIsCachedUntilClearedOrTheTextChanges) {
  Path path(At("f.txt"));
  EXPECT_FALSE(path.Exists()) << "a missing file is asked again every time";
  EXPECT_FALSE(path.IsReadable());
  dir.WriteFile("f.txt", "abc");
  EXPECT_TRUE(path.IsFile());
  EXPECT_FALSE(path.IsDirectory());
  EXPECT_EQ(path.Size(), 3u);
  dir.WriteFile("f.txt", "abcdef");
  path = std::string(path.FullPath()); // the same text: nothing changes, the cache included
  EXPECT_EQ(path.Size(), 3u);
  path.ClearAttributes();
  EXPECT_EQ(path.Size(), 6u);
  fs::remove(At("f.txt"));
  EXPECT_TRUE(path.Exists());
  path = At("other");
  path = At("f.txt");
  EXPECT_FALSE(path.Exists());
  EXPECT_EQ(path.Size(), 6u) << "the last size read is kept";

  dir.MakeDirs("sub");
  dir.WriteFile("sub/f.txt", "x");
  Path sub(At("sub")), file(At("sub/f.txt"));
  EXPECT_TRUE(sub.IsDirectory());
  EXPECT_EQ(sub.Directory(), sub.FullPath() + "\\");
  EXPECT_EQ(file.Directory(), sub.FullPath() + "\\");
  EXPECT_EQ(Path("bare.txt").Directory(), "");
  EXPECT_LE(std::abs(long(std::time(nullptr)) - long(file.GetLastModificationDate().UnixTime())), 300);
}

TEST_F(PathFs, AttributesReadOnlyOfflineAndHidden) {
  dir.WriteFile("f.txt");
  Path path(At("f.txt"));
  path.SetAttribute(Path::READ_ONLY, true);
  EXPECT_TRUE(path.IsReadOnly());
  EXPECT_TRUE(path.IsReadable());
  EXPECT_FALSE(path.IsWritable());
  path.SetAttribute(Path::READ_ONLY, false);
  EXPECT_TRUE(path.IsWritable());
  Path missing(At("missing"));
  EXPECT_TRUE(Raised(Catch([&] { missing.SetAttribute(Path::HIDDEN, true); }),
                     typeid(ZEBFile::FileCannotSetAttributes), 14, {missing.FullPath()}, SOME_ERROR));
  if (ZEBPlatform::LiveSystem() == ZEBPlatform::System::Wine)
    GTEST_SKIP() << "Wine keeps only the read-only, hidden, system and archive attributes";
  if (Catch([&] { path.SetAttribute(Path::OFFLINE, true); }).type != typeid(void))
    GTEST_SKIP() << "this file system keeps no offline attribute";
  path.SetAttribute(Path::NOT_CONTENT_INDEXED, true);
  EXPECT_FALSE(path.IsReadable());
  EXPECT_FALSE(path.IsWritable());
  EXPECT_TRUE(path.IsNotIndexed());
  path.Delete(true); // an offline file is skipped, forced or not
  EXPECT_TRUE(dir.Exists("f.txt"));
}

TEST_F(PathFs, SizeOver4GiBFromASparseFile) {
  uint64_t const size = (uint64_t(5) << 30) + 7;
  { std::ofstream(At("big.bin")); }
  std::error_code error;
  fs::resize_file(At("big.bin"), size, error);
  if (error)
    GTEST_SKIP() << "the file system cannot hold a sparse 5 GiB file: " << error.message();
  EXPECT_EQ(Path(At("big.bin")).Size(), size);
  std::vector<Path> list;
  Path(dir.Native()).GetFileList(list, "*.bin");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].Size(), size);
}

TEST_F(PathFs, ServersLocalityAndFreeSpace) {
  EXPECT_EQ(Path("\\\\srv\\share\\x").GetServer(), "srv");
  EXPECT_EQ(Path("\\\\srv").GetServer(), "srv");
  std::string computer = ComputerName(), lower = computer;
  for (char& c : lower)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(Path("\\\\" + lower + "\\share").IsLocal());
  EXPECT_TRUE(Path("\\\\" + computer + "\\share\\x").IsLocal());
  EXPECT_FALSE(Path("\\\\" + computer + "x\\share").IsLocal());
  Path missing("Q:\\x\\y.txt");
  EXPECT_TRUE(Raised(Catch([&] { missing.GetServer(); }), typeid(ZEBFile::DriveDoesNotExistException), 6,
                     {"Q:", "Q:\\x\\y.txt"}, 0));
  EXPECT_EQ(missing.GetAvailableDiskSpace(), 0u);
  SKIP_WITHOUT_DRIVE_X();
  Path path("X:\\doc.txt");
  EXPECT_TRUE(path.IsLocal());
  std::string unc = "unchanged";
  EXPECT_TRUE(path.GetFullPathAsUNC(unc)) << "a local drive is no network connection";
  EXPECT_EQ(unc, "unchanged");
  EXPECT_EQ(path.GetServer(), computer);
  EXPECT_GT(path.GetAvailableDiskSpace(), 0u);
}

TEST_F(PathFs, CreateDirectoriesAndFiles) {
  Path(At("p/q/r")).CreateDir();
  EXPECT_TRUE(fs::is_directory(At("p/q/r")));

  dir.WriteFile("file", "keep");
  Path file(At("file")), below(At("file/sub/leaf"));
  EXPECT_TRUE(Raised(Catch([&] { file.CreateDir(); }), typeid(ZEBFile::FileCannotCreateException), 4,
                     {file.FullPath()}, ZEBTest::ANY_ERROR));
  EXPECT_EQ(Catch([&] { below.CreateDir(); }).type, typeid(ZEBFile::FileCannotCreateException));
  EXPECT_FALSE(dir.Exists("file/sub"));
  EXPECT_TRUE(Raised(Catch([&] { file.CreateFileA(); }), typeid(ZEBFile::FileCannotCreateException), 4,
                     {file.FullPath()}, ERROR_FILE_EXISTS));
  EXPECT_EQ(dir.ReadFile("file"), "keep");
  SKIP_WITHOUT_DRIVE_X();
  Path("X:\\a\\b\\c").CreateDir();
  Path("X:\\a\\b\\c").CreateDir(); // an existing directory is success
  Path("x:\\a\\b\\d").CreateDir();
  EXPECT_TRUE(fs::is_directory(At("a/b/c")));
  EXPECT_TRUE(fs::is_directory(At("a/b/d")));
  Path("X:\\new\\f.txt").CreateFileA();
  EXPECT_TRUE(fs::is_regular_file(At("new/f.txt")));
}

TEST_F(PathFs, DeleteNeedsForceForReadOnlyAndHiddenFiles) {
  dir.WriteFile("ro.txt");
  dir.SetReadOnly("ro.txt", true);
  Path path(At("ro.txt"));
  path.Delete(false); // skipped silently
  EXPECT_TRUE(dir.Exists("ro.txt"));
  path.Delete(true);
  EXPECT_FALSE(dir.Exists("ro.txt"));
  dir.WriteFile("h.txt");
  Path hidden(At("h.txt"));
  hidden.SetAttribute(Path::HIDDEN, true);
  hidden.SetAttribute(Path::READ_ONLY, true);
  EXPECT_TRUE(hidden.IsHidden());
  hidden.Delete(true);
  EXPECT_FALSE(dir.Exists("h.txt"));
  EXPECT_NO_THROW(Path(At("nothing")).Delete(true));
  EXPECT_NO_THROW(Path(At("nothing")).RecursiveDelete(true));
}

TEST_F(PathFs, RecursiveDeleteEmptiesTreesButNeverFollowsLinks) {
  dir.MakeDirs("d/e/f");
  dir.WriteFile("d/a.txt", "1");
  dir.WriteFile("d/e/.dotfile", "4"); // hidden by its name
  dir.WriteFile("d/e/f/ro.txt", "3");
  dir.SetReadOnly("d/e/f/ro.txt", true);
  Path path(At("d"));
  EXPECT_TRUE(Raised(Catch([&] { path.Delete(false); }), typeid(ZEBFile::FileCannotDeleteException), 5,
                     {path.FullPath()}, ERROR_DIR_NOT_EMPTY));
  // Without force the read-only file stays: the first exception ends the walk.
  EXPECT_THROW(path.RecursiveDelete(false), ZEBFile::FileCannotDeleteException);
  EXPECT_FALSE(dir.Exists("d/a.txt"));
  EXPECT_TRUE(dir.Exists("d/e/f/ro.txt"));
  path.RecursiveDelete(true);
  EXPECT_FALSE(dir.Exists("d"));

  dir.MakeDirs("outside/deep");
  dir.WriteFile("outside/deep/keep.txt", "precious");
  dir.MakeDirs("tree/sub");
  if (!Symlink("outside", "tree/sub/link") || !Symlink("outside", "link"))
    GTEST_SKIP() << "symbolic links cannot be made here";
  EXPECT_TRUE(Path(At("link")).IsDirectory()); // the link carries its target's directory bit
  Path(At("tree")).RecursiveDelete(true);
  Path(At("link")).RecursiveDelete(true);
  EXPECT_FALSE(dir.Exists("tree"));
  EXPECT_FALSE(dir.Exists("link"));
  EXPECT_EQ(dir.ReadFile("outside/deep/keep.txt"), "precious");
}

TEST_F(PathFs, CopyMoveAndRename) {
  dir.WriteFile("a.txt", "new");
  dir.WriteFile("b.txt", "old");
  std::string a = At("a.txt"), b = At("b.txt");
  EXPECT_TRUE(Raised(Catch([&] { Path::Copy(a, b, true); }), typeid(ZEBFile::FileCannotCopyException), 3, {a, b},
                     SOME_ERROR));
  EXPECT_THROW(Path(a).Copy(b, false), ZEBFile::FileCannotCopyException);
  EXPECT_EQ(dir.ReadFile("b.txt"), "old");
  Path(a).Copy(b, true);
  EXPECT_EQ(dir.ReadFile("b.txt"), "new");
  Path::Move(a, At("c.txt"));
  Path::Rename(At("c.txt"), At("d.txt"));
  EXPECT_EQ(dir.ReadFile("d.txt"), "new");
  EXPECT_THROW(Path::Move(a, At("e.txt")), ZEBFile::FileCannotMoveException);
  EXPECT_THROW(Path::Rename(a, At("e.txt")), ZEBFile::FileCannotMoveException);

  SKIP_WITHOUT_DRIVE_X();
  Path path("X:\\d.txt");
  path.Move("x:/m.txt");
  EXPECT_EQ(path.FullPath(), "x:\\m.txt");
  EXPECT_TRUE(path.Exists());
  path.Rename("X:\\r.txt");
  EXPECT_EQ(path.FullPath(), "X:\\r.txt");
  EXPECT_EQ(dir.ReadFile("r.txt"), "new");
  Path missing("X:\\missing.txt");
  for (bool rename : {false, true}) {
    auto move = [&] { rename ? missing.Rename("X:/elsewhere//b.txt") : missing.Move("X:/elsewhere//b.txt"); };
    EXPECT_TRUE(Raised(Catch(move), typeid(ZEBFile::FileCannotMoveException), 9,
                       {"X:\\missing.txt", "X:/elsewhere//b.txt"}, SOME_ERROR));
    EXPECT_EQ(missing.FullPath(), "X:\\missing.txt") << "a failed move keeps the old path";
  }
}

TEST_F(PathFs, ListingsCarryTheSearchInformation) {
  dir.WriteFile("b.txt", "12345");
  dir.WriteFile("a.txt", "1");
  dir.WriteFile("c.doc");
  dir.MakeDirs("sub.txt");
  Path directory(dir.Native());
  std::vector<Path> list{Path("kept")};
  directory.GetFileList(list, "*.txt");
  EXPECT_EQ(Names(list), (std::vector<std::string>{"kept", "a.txt", "b.txt", "sub.txt"}));
  fs::remove(At("b.txt")); // the entries need no further disk access
  EXPECT_TRUE(list[2].IsFile());
  EXPECT_EQ(list[2].Size(), 5u);
  EXPECT_TRUE(list[3].IsDirectory());
  std::vector<ZEB::SmartPtr<Path>> shared;
  directory.GetFileListSP(shared, Path::PATH_DEFAULT_FILTER);
  ASSERT_EQ(shared.size(), 3u);
  EXPECT_EQ(shared[1]->FileName(), "c.doc");
  EXPECT_EQ(shared[0]->NbRef(), 1);
  // Nothing to list is no error.
  Path(At("a.txt")).GetFileList(list, Path::PATH_DEFAULT_FILTER);
  directory.GetFileList(list, "*.none");
  Path(At("missing")).GetFileList(list, Path::PATH_DEFAULT_FILTER);
  EXPECT_EQ(list.size(), 4u);
  // A stop flag is read after each entry.
  bool stop = true;
  std::vector<Path> stopped;
  directory.GetFileListInterruptable(stopped, stop, "*.*");
  EXPECT_EQ(Names(stopped), std::vector<std::string>{"a.txt"});
  stop = false;
  directory.GetFileListInterruptable(stopped, stop, "*.*");
  EXPECT_EQ(stopped.size(), 4u);
}

TEST_F(PathFs, LetterCaseIsRecoveredFromTheDisk) {
  dir.MakeDirs("Program Files/Sub Dir");
  dir.WriteFile("Program Files/Sub Dir/X.Txt");
  Path host(Path(dir.Native()).FullPath() + "\\PROGRAM files\\sub DIR\\x.TXT");
  host.RetrieveCasing();
  EXPECT_EQ(host.FullPath(), Path(At("Program Files/Sub Dir/X.Txt")).FullPath());
  SKIP_WITHOUT_DRIVE_X();
  struct Row {
    char const *input, *expected;
  } const rows[] = {{"x:\\program files\\sub dir\\x.txt", "X:\\Program Files\\Sub Dir\\X.Txt"},
                    {"x:\\PROGRAM FILES", "X:\\Program Files"},
                    {"x:\\", "X:\\"},
                    {"x:\\program files\\none.txt", "x:\\program files\\none.txt"}};
  for (Row const& row : rows) {
    Path path(row.input);
    path.RetrieveCasing();
    EXPECT_EQ(path.FullPath(), row.expected);
  }
  if (!ZEBPlatform::MapShare("FileServer", "Public", At("Program Files")))
    GTEST_SKIP() << "shares cannot be mapped on this system";
  Path unc("\\\\FILESERVER\\PUBLIC\\sub dir\\x.txt"), share("\\\\FileServer\\Public");
  EXPECT_EQ(unc.GetServer(), "FILESERVER");
  unc.RetrieveCasing();
  share.RetrieveCasing();
  ZEBPlatform::UnmapShare("FileServer", "Public");
  EXPECT_EQ(unc.FullPath(), "\\\\fileserver\\PUBLIC\\Sub Dir\\X.Txt");
  EXPECT_EQ(share.FullPath(), "\\\\fileserver\\Public");
}

TEST_F(PathFs, CurrentDirectory) {
  std::string relative;
  for (int i = 0; i < 12; ++i)
    relative += (i ? "/" : "") + std::string(30, char('a' + i));
  dir.MakeDirs(relative);
  fs::path previous = fs::current_path();
  fs::current_path(At(relative));
  Path current = Path::GetCurrentPath('.');
  fs::current_path(previous);
  // The narrow call of Windows and Wine is limited to 260 characters: its
  // failure gives "." (never a cut or unterminated text).
  // Drive X, mapped to the test's directory, names it.
  std::string expected = m_Mapped ? Path("X:\\" + relative).FullPath() : Path(At(relative)).FullPath();
  if (ZEBPlatform::LiveSystem() == ZEBPlatform::System::PosixLayer || current.FullPath() != ".") {
    EXPECT_EQ(current.FullPath(), expected);
  }
  SKIP_WITHOUT_DRIVE_X();
  Path drive = Path::GetCurrentPath('x');
  ASSERT_TRUE(drive.HasDrive()) << drive.FullPath();
  EXPECT_EQ(std::toupper(drive.FullPath()[0]), 'X') << drive.FullPath();
}

// The stop flag is set by another thread while the listing runs: the listing
// ends early, with what it had found.
TEST_F(PathFs, ListingStoppedFromAnotherThread) {
  std::size_t const ENTRIES = 200;
  for (std::size_t i = 0; i < ENTRIES; ++i)
    dir.WriteFile("f" + std::to_string(i));
  Path directory(dir.Native());
  bool stop = false;
  std::atomic<bool> listing{false};
  std::thread stopper([&] {
    while (!listing.load())
      std::this_thread::yield();
    __atomic_store_n(&stop, true, __ATOMIC_RELEASE);
  });
  std::vector<Path> list;
  for (int round = 0; round < 1000 && (round == 0 || list.size() == ENTRIES); ++round) {
    list.clear();
    listing.store(true);
    directory.GetFileListInterruptable(list, stop, "*");
  }
  stopper.join();
  EXPECT_LT(list.size(), ENTRIES);
}

// A character outside A-Z and a-z names no drive, whichever drive its code
// counted from 'a' modulo 32 falls on ('1' on Q:, '#' on C:, ':' on Z:).
TEST_F(PathFs, NonLetterIsAnUnknownDrive) {
  bool mapped = ZEBPlatform::MapDrive('Q', dir.Native());
  for (char drive : {'1', '#', ':', '@', '[', '`', '{', '\0', '\xE3'})
    EXPECT_THROW(Path::GetCurrentPath(drive), ZEBFile::InvalidPathException) << int(static_cast<unsigned char>(drive));
  if (mapped) {
    EXPECT_NO_THROW(Path::GetCurrentPath('q'));
    ZEBPlatform::UnmapDrive('Q');
  }
}
