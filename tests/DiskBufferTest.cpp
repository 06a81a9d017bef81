// The disk buffer: when and where its temporary file appears and goes, names
// already taken, failures of the file, and random walks against a model.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "ZEBFile/DiskBuffer.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Path.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Config.h"
#include "ZEBPlatform/Win32.h"
#include "support/BufferWalk.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

using ZEBFile::DiskBuffer;
using ZEBTest::Catch;
using ZEBTest::Content;
using ZEBTest::Pattern;
namespace fs = std::filesystem;

namespace {

constexpr char const NAME_PREFIX[] = "ZEBDiskBuffer-";

// The n of ZEBDiskBuffer-<pid>-<n>.tmp at the end of `name`, or -1.
long NameNumber(std::string const& name) {
  std::smatch match;
  std::regex form(NAME_PREFIX + std::to_string(_getpid()) + "-([0-9]+)\\.tmp$");
  return std::regex_search(name, match, form) ? std::stol(match[1]) : -1;
}

// A test's own directory, and the temporary files of disk buffers in it.
class DiskBufferTest : public ::testing::Test {
protected:
  ~DiskBufferTest() override { ZEBPlatform::ClearFaults(); }
  std::string const& Dir() const { return m_Dir.Native(); }
  std::set<std::string> TempFiles() const {
    std::set<std::string> names;
    for (auto const& entry : fs::directory_iterator(Dir()))
      if (entry.path().filename().string().rfind(NAME_PREFIX, 0) == 0)
        names.insert(entry.path().filename().string());
    return names;
  }
  // The temporary file a buffer of this process would take as number `n`.
  fs::path Numbered(long n) const {
    return fs::path(Dir()) / (NAME_PREFIX + std::to_string(_getpid()) + "-" + std::to_string(n) + ".tmp");
  }
  // The size of the only temporary file (0 without one).
  uintmax_t FileSize() const {
    std::set<std::string> names = TempFiles();
    return names.empty() ? 0 : names.size() == 1 ? fs::file_size(fs::path(Dir()) / *names.begin()) : uintmax_t(-1);
  }

private:
  ZEBTest::TempDir m_Dir{"diskbuffer"};
};

} // namespace

// Within the cache no file is made; past it each buffer makes one, numbered
// one after the other, which Clear (ClearMemory too) deletes.
TEST_F(DiskBufferTest, AFileIsMadeOnlyWhenTheCacheOverflowsAndGoesWithClear) {
  DiskBuffer cached(Dir(), 1024, 4096), first(Dir(), 1024, 0), second(Dir(), 1024, 0);
  std::string data = Pattern(4095);
  cached.PutAll(data.data(), 4095);
  cached.Flush();
  EXPECT_EQ(Content(cached), data);
  EXPECT_TRUE(cached.FileName().empty() && TempFiles().empty());
  first.PutAll("a", 1);
  second.PutAll("b", 1);
  long a = NameNumber(first.FileName());
  EXPECT_EQ(first.FileName(), *ZEBFile::PathT<char>(Numbered(a).string()));
  EXPECT_EQ(NameNumber(second.FileName()), a + 1);
  second.ClearMemory();
  EXPECT_EQ(TempFiles().size(), 1u);
  EXPECT_TRUE(second.FileName().empty());
  EXPECT_EQ(second.TellP() + second.TellG() + second.Size(), 0u);
  second.PutAll("new", 3);
  EXPECT_EQ(NameNumber(second.FileName()), a + 2) << "the next file is a new one";
  EXPECT_EQ(Content(second), "new");
}

// A disk filling up in the middle of a long write: the error names the file,
// what was taken stays readable, the buffer stays usable, and the file goes
// with the buffer.
TEST_F(DiskBufferTest, DiskFillingUpHalfWayKeepsWhatWasTaken) {
  std::string data = Pattern(1 << 20);
  for (uint32_t cache : {0u, 4096u, 262144u}) {
    SCOPED_TRACE("cache " + std::to_string(cache));
    {
      DiskBuffer buffer(Dir(), 4096, cache);
      if (!ZEBPlatform::LimitWrites(300000, ENOSPC))
        GTEST_SKIP() << "a full disk is made by the POSIX layer's fault injection";
      uint32_t attempted = 0;
      ZEBTest::Thrown t = Catch([&] {
        for (; attempted < data.size(); attempted += 65536)
          buffer.PutAll(data.data() + attempted, 65536);
      });
      ZEBPlatform::ClearFaults();
      EXPECT_TRUE(ZEBTest::Raised(t, typeid(ZEBFile::WriteErrorException), ZEBFileMsg::CANNOT_WRITE,
                                  {buffer.FileName()}, ERROR_DISK_FULL));
      EXPECT_LE(buffer.Size(), attempted + 65536);
      EXPECT_GE(buffer.Size(), attempted);
      EXPECT_EQ(buffer.TellP(), buffer.Size());
      std::string prefix = data.substr(0, buffer.Size() + 1000);
      buffer.PutAll(data.data() + buffer.Size(), 1000);
      EXPECT_EQ(Content(buffer), prefix);
    }
    EXPECT_TRUE(TempFiles().empty());
  }
}

// Failures of the file pass through: a failed open leaves no file, a read
// failing while the window is reloaded leaves every byte readable.
TEST_F(DiskBufferTest, FailuresOfTheFileLeaveTheBufferConsistent) {
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Open, EMFILE))
    GTEST_SKIP() << "made by the POSIX layer's fault injection";
  DiskBuffer unopened(Dir(), 0, 0);
  EXPECT_EQ(Catch([&] { unopened.PutAll("abc", 3); }).type, typeid(ZEBFile::FileCannotOpenException));
  EXPECT_TRUE(TempFiles().empty());
  unopened.PutAll("abc", 3);
  EXPECT_EQ(Content(unopened), "abc");
  DiskBuffer buffer(Dir(), 1024, 4096);
  std::string data = Pattern(20000), got(1100, '\0');
  buffer.PutAll(data.data(), 20000);
  buffer.SeekG(0);
  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Read, EIO, 1));
  ZEBTest::Thrown t = Catch([&] { buffer.Get(&got[0], 100); }); // from the file, then the reload fails
  EXPECT_EQ(t.id, int(ZEBFileMsg::CANNOT_READ));
  EXPECT_EQ(buffer.TellG(), 100u);
  buffer.GetAll(&got[100], 1000);
  EXPECT_EQ(got, data.substr(0, 1100));
  EXPECT_EQ(Content(buffer), data);
}

// The file never holds more than the data: ClearEnd cuts it, and a window
// left beyond a new end is not written back.
TEST_F(DiskBufferTest, RandomWalksMatchAModel) {
  struct Row { uint32_t cache, chunk; } const rows[] = {{0, 1024}, {1, 1024}, {7, 3}, {4096, 1000}, {262144, 32768}};
  for (Row const& row : rows) {
    for (unsigned seed : {1u, 2u}) {
      SCOPED_TRACE(::testing::Message() << "cache " << row.cache << ", chunk " << row.chunk << ", seed " << seed);
      {
        DiskBuffer buffer(Dir(), row.chunk, row.cache);
        ZEBTest::BufferWalk walk(buffer, row.cache, seed * 7919 + row.cache, false);
        ASSERT_TRUE(walk.Run(row.cache > 65536 ? 1500 : 3000, [&] { return FileSize() <= buffer.Size(); }));
      }
      EXPECT_TRUE(TempFiles().empty());
    }
  }
}

// What waits at the next names (a file, a link to someone's file) is left as
// it is: the buffer takes the next free number, only its owner may use it,
// and it leaves nothing.
TEST_F(DiskBufferTest, NamesAlreadyTakenAreSkippedAndKept) {
  DiskBuffer probe(Dir(), 0, 0);
  probe.PutAll("p", 1);
  long n = NameNumber(probe.FileName());
  probe.Clear();
  ZEBTest::TempDir elsewhere("victim");
  elsewhere.WriteFile("victim.txt", "keep me");
  std::error_code noLink;
  fs::create_symlink(elsewhere.Child("victim.txt"), Numbered(n + 1), noLink);
  std::ofstream(Numbered(n + 2), std::ios::binary) << "planted";
  auto planted = TempFiles();
  {
    DiskBuffer buffer(Dir(), 64, 100);
    std::string data = Pattern(1000);
    buffer.PutAll(data.data(), 1000);
    EXPECT_EQ(Content(buffer), data);
    EXPECT_EQ(NameNumber(buffer.FileName()), noLink ? n + 1 : n + 3);
    if (ZEBPlatform::LiveSystem() == ZEBPlatform::System::PosixLayer) {
      EXPECT_EQ(fs::status(Numbered(NameNumber(buffer.FileName()))).permissions() & fs::perms::all,
                fs::perms::owner_read | fs::perms::owner_write);
    }
  }
  EXPECT_EQ(TempFiles(), planted) << "nothing left behind, nothing planted removed";
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(std::ifstream(Numbered(n + 2)).rdbuf()), {}), "planted");
  EXPECT_EQ(elsewhere.ReadFile("victim.txt"), "keep me");
  EXPECT_TRUE(noLink || fs::is_symlink(Numbered(n + 1)));
  // The next 100 names all taken: the open fails instead of trying forever,
  // and a later access takes the name after them.
  probe.PutAll("p", 1);
  long m = NameNumber(probe.FileName());
  probe.Clear();
  for (long k = m + 1; k <= m + 100; ++k)
    std::ofstream(Numbered(k), std::ios::binary) << k;
  EXPECT_TRUE(ZEBTest::Raised(Catch([&] { probe.PutAll("x", 1); }), typeid(ZEBFile::FileCannotOpenException),
                              ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY, {*ZEBFile::PathT<char>(Numbered(m + 100).string())},
                              ERROR_FILE_EXISTS));
  probe.PutAll("y", 1);
  EXPECT_TRUE(fs::exists(Numbered(m + 101)));
}
