// Paths against a real file system: each test works in a temporary directory
// of its own and checks the result on disk with the standard library.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
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

std::vector<std::string> Names(std::vector<Path> const& paths) {
  std::vector<std::string> names;
  for (Path const& path : paths)
    names.push_back(path.FileName());
  return names;
}

class PathFs : public ::testing::Test {
protected:
  std::string At(std::string const& name) const { return dir.Child(name); }

  ZEBTest::TempDir dir;
};

} // namespace

// Information is read once and kept until cleared; letter case comes from the
// disk; attributes are set on it.
TEST_F(PathFs, InformationCasingAndAttributes) {
  dir.WriteFile("f.txt", "abc");
  Path path(At("f.txt"));
  EXPECT_EQ(path.Size(), 3u);
  dir.WriteFile("f.txt", "abcdef");
  EXPECT_EQ(path.Size(), 3u);
  path.ClearAttributes();
  EXPECT_EQ(path.Size(), 6u);
  EXPECT_EQ(path.Directory(), Path(dir.Native()).FullPath() + "\\");
  EXPECT_LE(std::abs(long(std::time(nullptr)) - long(path.GetLastModificationDate().UnixTime())), 300);
  dir.MakeDirs("Sub Dir");
  dir.WriteFile("Sub Dir/X.Txt");
  Path cased(Path(dir.Native()).FullPath() + "\\sub DIR\\x.TXT");
  cased.RetrieveCasing();
  EXPECT_EQ(cased.FullPath(), Path(At("Sub Dir/X.Txt")).FullPath());
  path.SetAttribute(Path::READ_ONLY, true);
  EXPECT_FALSE(path.IsWritable());
  path.SetAttribute(Path::READ_ONLY, false);
  path.SetAttribute(Path::HIDDEN, true);
  EXPECT_TRUE(path.IsHidden());
  EXPECT_TRUE(path.IsWritable());
  EXPECT_TRUE(Raised(Catch([&] { Path(At("missing")).SetAttribute(Path::HIDDEN, true); }),
                     typeid(ZEBFile::FileCannotSetAttributes), 14, {Path(At("missing")).FullPath()}, SOME_ERROR));
  if (ZEBPlatform::LiveSystem() == ZEBPlatform::System::Wine)
    GTEST_SKIP() << "Wine keeps only the read-only, hidden, system and archive attributes";
  if (Catch([&] { path.SetAttribute(Path::OFFLINE, true); }).type != typeid(void))
    GTEST_SKIP() << "this file system keeps no offline attribute";
  EXPECT_FALSE(path.IsReadable());
  EXPECT_FALSE(path.IsWritable());
  path.Delete(true); // an offline file is skipped, forced or not
  EXPECT_TRUE(dir.Exists("f.txt"));
}

// Directories come with their parents; read-only files go only when forced; a
// recursive delete ends at the first failure and never walks into a link.
TEST_F(PathFs, CreateCopyMoveAndDelete) {
  Path(At("d/e/f")).CreateDir();
  Path(At("d/e/f")).CreateDir(); // an existing directory is success
  Path(At("d/e/.dotfile")).CreateFileA(); // hidden by its name
  EXPECT_TRUE(fs::is_regular_file(At("d/e/.dotfile")));
  dir.WriteFile("d/a.txt", "keep");
  Path file(At("d/a.txt"));
  for (Path below : {file, Path(At("d/a.txt/sub/leaf"))})
    EXPECT_TRUE(Raised(Catch([&] { below.CreateDir(); }), typeid(ZEBFile::FileCannotCreateException), 4,
                       {below.FullPath()}, ZEBTest::ANY_ERROR));
  EXPECT_TRUE(Raised(Catch([&] { file.CreateFileA(); }), typeid(ZEBFile::FileCannotCreateException), 4,
                     {file.FullPath()}, ERROR_FILE_EXISTS));
  EXPECT_EQ(dir.ReadFile("d/a.txt"), "keep");
  dir.WriteFile("d/e/f/ro.txt", "3");
  dir.SetReadOnly("d/e/f/ro.txt", true);
  Path path(At("d"));
  EXPECT_TRUE(Raised(Catch([&] { path.Delete(false); }), typeid(ZEBFile::FileCannotDeleteException), 5,
                     {path.FullPath()}, ERROR_DIR_NOT_EMPTY));
  EXPECT_THROW(path.RecursiveDelete(false), ZEBFile::FileCannotDeleteException);
  EXPECT_FALSE(dir.Exists("d/a.txt"));
  EXPECT_TRUE(dir.Exists("d/e/f/ro.txt"));
  path.RecursiveDelete(true);
  EXPECT_FALSE(dir.Exists("d"));
  EXPECT_NO_THROW(path.RecursiveDelete(true)) << "nothing to delete";

  dir.WriteFile("a.txt", "new");
  dir.WriteFile("b.txt", "old");
  std::string a = At("a.txt"), b = At("b.txt");
  EXPECT_TRUE(Raised(Catch([&] { Path::Copy(a, b, true); }), typeid(ZEBFile::FileCannotCopyException), 3, {a, b},
                     SOME_ERROR));
  EXPECT_EQ(dir.ReadFile("b.txt"), "old");
  Path(a).Copy(b, true);
  EXPECT_EQ(dir.ReadFile("b.txt"), "new");
  path = a;
  path.Move(At("c.txt"));
  path.Rename(At("d.txt"));
  EXPECT_EQ(path.FullPath(), Path(At("d.txt")).FullPath());
  EXPECT_EQ(dir.ReadFile("d.txt"), "new");
  // A failed move keeps the old path; the message names the target as given.
  std::string target = At("nowhere") + "//b.txt";
  EXPECT_TRUE(Raised(Catch([&] { path.Move(target); }), typeid(ZEBFile::FileCannotMoveException), 9,
                     {path.FullPath(), target}, SOME_ERROR));
  EXPECT_EQ(path.FullPath(), Path(At("d.txt")).FullPath());
  EXPECT_THROW(Path::Rename(a, At("e.txt")), ZEBFile::FileCannotMoveException);

  dir.MakeDirs("outside/deep");
  dir.WriteFile("outside/deep/keep.txt", "precious");
  dir.MakeDirs("tree");
  std::error_code error;
  fs::create_directory_symlink(At("outside"), At("tree/link"), error);
  if (error)
    GTEST_SKIP() << "symbolic links cannot be made here";
  EXPECT_TRUE(Path(At("tree/link")).IsDirectory()); // the link carries its target's directory bit
  Path(At("tree")).RecursiveDelete(true);
  EXPECT_FALSE(dir.Exists("tree"));
  EXPECT_EQ(dir.ReadFile("outside/deep/keep.txt"), "precious");
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
  EXPECT_EQ(list[2].Size(), 5u);
  EXPECT_TRUE(list[3].IsDirectory());
  std::vector<ZEB::SmartPtr<Path>> shared;
  directory.GetFileListSP(shared, Path::PATH_DEFAULT_FILTER);
  ASSERT_EQ(shared.size(), 3u);
  EXPECT_EQ(shared[0]->NbRef(), 1);
  Path(At("missing")).GetFileList(list, Path::PATH_DEFAULT_FILTER); // nothing to list is no error
  EXPECT_EQ(list.size(), 4u);
  // A stop flag is read after each entry.
  bool stop = true;
  std::vector<Path> stopped;
  directory.GetFileListInterruptable(stopped, stop, "*.*");
  EXPECT_EQ(Names(stopped), std::vector<std::string>{"a.txt"});
  // A directory that cannot be read to its end is no complete listing.
  if (ZEBPlatform::FailNext(ZEBPlatform::Call::ReadDir, EIO, 2)) {
    EXPECT_TRUE(Raised(Catch([&] { directory.GetFileList(list, "*"); }), typeid(ZEBFile::CannotListAllFilesException),
                       8, {directory.FullPath()}, ERROR_IO_DEVICE));
    ZEBPlatform::ClearFaults();
  }
  uint64_t const size = (uint64_t(5) << 30) + 7;
  std::error_code error;
  fs::resize_file(At("a.txt"), size, error);
  if (error)
    GTEST_SKIP() << "the file system cannot hold a sparse 5 GiB file: " << error.message();
  list.clear();
  directory.GetFileList(list, "a.*");
  EXPECT_EQ(list.at(0).Size(), size);
}

// The current directory, deeper than the 260 characters the narrow call of Windows and Wine reaches (there its
// failure gives ".", never a cut text). A character outside A-Z and a-z names no drive, whichever drive its code
// counted from 'a' modulo 32 falls on ('1' on Q:, '#' on C:, ':' on Z:).
TEST_F(PathFs, DrivesServersAndTheCurrentDirectory) {
  std::string relative;
  for (int i = 0; i < 12; ++i)
    relative += (i ? "/" : "") + std::string(30, char('a' + i));
  dir.MakeDirs(relative);
  fs::path previous = fs::current_path();
  fs::current_path(At(relative));
  Path current = Path::GetCurrentPath('.');
  fs::current_path(previous);
  if (ZEBPlatform::LiveSystem() == ZEBPlatform::System::PosixLayer || current.FullPath() != ".") {
    EXPECT_EQ(current.FullPath(), Path(At(relative)).FullPath());
  }
  EXPECT_EQ(Path("\\\\srv\\share\\x").GetServer(), "srv");
  Path missing("Q:\\x\\y.txt");
  EXPECT_TRUE(Raised(Catch([&] { missing.GetServer(); }), typeid(ZEBFile::DriveDoesNotExistException), 6,
                     {"Q:", "Q:\\x\\y.txt"}, 0));
  EXPECT_EQ(missing.GetAvailableDiskSpace(), 0u);
  bool mapped = ZEBPlatform::MapDrive('Q', dir.Native());
  for (char drive : {'1', '#', ':', '@', '[', '`', '{', '\0', '\xE3'})
    EXPECT_THROW(Path::GetCurrentPath(drive), ZEBFile::InvalidPathException) << int(static_cast<unsigned char>(drive));
  if (!mapped)
    GTEST_SKIP() << "drive letters cannot be mapped on this system";
  EXPECT_NO_THROW(Path::GetCurrentPath('q'));
  Path path("q:\\doc.txt");
  std::string computer = path.GetServer(), unc = "unchanged";
  EXPECT_TRUE(Path("\\\\" + computer + "\\share").IsLocal());
  EXPECT_FALSE(Path("\\\\" + computer + "x\\share").IsLocal());
  EXPECT_TRUE(path.IsLocal());
  EXPECT_TRUE(path.GetFullPathAsUNC(unc)) << "a local drive is no network connection";
  EXPECT_EQ(unc, "unchanged");
  EXPECT_GT(path.GetAvailableDiskSpace(), 0u);
  ZEBPlatform::UnmapDrive('Q');
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
