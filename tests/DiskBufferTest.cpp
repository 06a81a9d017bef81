// The disk buffer: when and where its temporary file appears and goes, the
// window written back and reloaded, truncation, failures of the file, names
// made on several threads, and random walks against a model.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

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
using Bytes = std::vector<unsigned char>;
using ZEBTest::Catch;
namespace fs = std::filesystem;

namespace {

constexpr char const NAME_PREFIX[] = "ZEBDiskBuffer-";

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
  return bytes;
}

Bytes ReadAll(DiskBuffer& buffer) {
  Bytes bytes(buffer.Size());
  buffer.SeekG(0);
  if (!bytes.empty())
    buffer.GetAll(bytes.data(), uint32_t(bytes.size()));
  return bytes;
}

// The n of ZEBDiskBuffer-<pid>-<n>.tmp, or -1 when the name has another form.
long NameNumber(std::string const& name) {
  std::string head = NAME_PREFIX + std::to_string(_getpid()) + "-";
  if (name.rfind(head, 0) != 0 || name.size() < head.size() + 5 || name.compare(name.size() - 4, 4, ".tmp") != 0)
    return -1;
  std::string digits = name.substr(head.size(), name.size() - head.size() - 4);
  return digits.find_first_not_of("0123456789") == std::string::npos ? std::stol(digits) : -1;
}

// A test's own directory, and the temporary files of disk buffers in it.
class DiskBufferTest : public ::testing::Test {
protected:
  ~DiskBufferTest() override { ZEBPlatform::ClearFaults(); }
  std::string const& Dir() const { return m_Dir.Native(); }
  std::vector<std::string> TempFiles() const {
    std::set<std::string> names;
    for (auto const& entry : fs::directory_iterator(Dir()))
      if (entry.path().filename().string().rfind(NAME_PREFIX, 0) == 0)
        names.insert(entry.path().filename().string());
    return std::vector<std::string>(names.begin(), names.end());
  }
  // The temporary file a buffer of this process would take as number `n`.
  fs::path Numbered(long n) const {
    return fs::path(Dir()) / (NAME_PREFIX + std::to_string(_getpid()) + "-" + std::to_string(n) + ".tmp");
  }
  uintmax_t FileSize() const {
    std::vector<std::string> names = TempFiles();
    return names.size() == 1 ? fs::file_size(fs::path(Dir()) / names[0]) : uintmax_t(-1);
  }

private:
  ZEBTest::TempDir m_Dir{"diskbuffer"};
};

} // namespace

TEST_F(DiskBufferTest, AFileIsMadeOnlyWhenTheCacheOverflowsAndNumbered) {
  {
    DiskBuffer buffer(Dir(), 1024, 4096);
    EXPECT_EQ(buffer.MemoryBufferSize(), 4096u);
    EXPECT_EQ(buffer.Path(), Dir());
    Bytes data = Pattern(4095);
    buffer.PutAll(data.data(), 4095);
    EXPECT_EQ(ReadAll(buffer), data);
    buffer.Flush();
    EXPECT_TRUE(buffer.FileName().empty());
    EXPECT_TRUE(TempFiles().empty());
  }
  DiskBuffer first(Dir(), 1024, 0), second(Dir(), 1024, 0);
  EXPECT_TRUE(TempFiles().empty());
  first.PutAll("a", 1);
  second.PutAll("b", 1);
  auto names = TempFiles();
  ASSERT_EQ(names.size(), 2u);
  long a = NameNumber(names[0]), b = NameNumber(names[1]);
  ASSERT_GT(a, 0) << names[0];
  ASSERT_GT(b, 0) << names[1];
  EXPECT_EQ(std::max(a, b), std::min(a, b) + 1) << "buffers made one after the other count up by one";
  EXPECT_EQ(first.FileName(), *ZEBFile::PathT<char>(Dir() + "/" + names[a < b ? 0 : 1]));
  // Clear deletes the file and forgets everything; the next file is a new one.
  Bytes data = Pattern(5000);
  second.PutAll(data.data(), 5000);
  second.Clear();
  EXPECT_EQ(TempFiles().size(), 1u);
  EXPECT_TRUE(second.FileName().empty());
  EXPECT_EQ(second.TellP() + second.TellG() + second.Size(), 0u);
  second.PutAll("new", 3);
  EXPECT_GT(NameNumber(second.FileName().substr(second.FileName().find(NAME_PREFIX))), std::max(a, b));
  EXPECT_EQ(ReadAll(second), (Bytes{'n', 'e', 'w'}));
  second.ClearMemory();
  EXPECT_EQ(TempFiles().size(), 1u);
}

TEST_F(DiskBufferTest, EmptyDirectoryMeansTheTemporaryDirectory) {
  char const* temp = ZEBPlatformGetEnv("TEMP") ? ZEBPlatformGetEnv("TEMP") : ZEBPlatformGetEnv("TMP");
  if (!temp)
    GTEST_SKIP() << "neither TEMP nor TMP is set";
  std::string host;
  {
    DiskBuffer buffer("", 0, 0);
    buffer.PutAll("x", 1);
    std::string expected = *ZEBFile::PathT<char>(std::string(temp) + "/" + NAME_PREFIX);
    EXPECT_EQ(buffer.FileName().rfind(expected, 0), 0u) << buffer.FileName();
    host = ZEBPlatform::HostPath(buffer.FileName().c_str());
    EXPECT_TRUE(fs::exists(host)) << host;
  }
  EXPECT_FALSE(fs::exists(host)) << host;
}

// 262144 bytes of the 300000 go to the cache, the rest straight to the file;
// the window then moves to 300000 after the dirty window went out at 0. A
// ClearEnd then cuts the file.
TEST_F(DiskBufferTest, LargePutSpillsPastTheWindowAndClearEndCutsTheFile) {
  DiskBuffer buffer(Dir(), 32768, 262144);
  Bytes data = Pattern(300000);
  EXPECT_EQ(buffer.Put(data.data(), 300000), 300000u);
  EXPECT_EQ(FileSize(), 300000u);
  EXPECT_EQ(ReadAll(buffer), data);
  EXPECT_TRUE(buffer.EndOfFile());
  buffer.SeekG(200000);
  buffer.SeekP(10);
  buffer.ClearEnd();
  EXPECT_EQ(buffer.TellG(), 10u);
  EXPECT_EQ(FileSize(), 10u);
  EXPECT_EQ(ReadAll(buffer), Bytes(data.begin(), data.begin() + 10));
}

// A dirty window left wholly beyond a new end has nothing to write back: the
// file must not grow again when the window moves.
TEST_F(DiskBufferTest, ClearEndBelowADirtyWindowDropsIt) {
  DiskBuffer buffer(Dir(), 1024, 4096);
  Bytes data = Pattern(10000);
  buffer.PutAll(data.data(), 10000);
  buffer.SeekP(6000);
  buffer.PutAll("abc", 3); // before the window: to the file; the window moves to 6003
  buffer.SeekP(6100);
  buffer.PutAll("xyz", 3); // into the reloaded window, which is now dirty
  buffer.SeekP(1000);
  buffer.ClearEnd();
  EXPECT_EQ(ReadAll(buffer), Bytes(data.begin(), data.begin() + 1000));
  EXPECT_EQ(FileSize(), 1000u);
}

TEST_F(DiskBufferTest, FileErrorsPassThroughAndLeaveNoFile) {
  {
    DiskBuffer nowhere(Dir() + "/missing", 0, 0);
    ZEBTest::Thrown t = Catch([&] { nowhere.PutAll("x", 1); });
    EXPECT_EQ(t.type, typeid(ZEBFile::FileCannotOpenException));
    EXPECT_EQ(t.id, int(ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY));
    EXPECT_EQ(nowhere.Size(), 0u);
  }
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Write, ENOSPC))
    GTEST_SKIP() << "a full disk is made by the POSIX layer's fault injection";
  {
    DiskBuffer buffer(Dir(), 0, 0);
    ZEBTest::Thrown t = Catch([&] { buffer.PutAll("abc", 3); });
    EXPECT_TRUE(ZEBTest::Raised(t, typeid(ZEBFile::WriteErrorException), ZEBFileMsg::CANNOT_WRITE,
                                {buffer.FileName()}, ERROR_DISK_FULL));
    EXPECT_EQ(buffer.Size(), 0u);
    buffer.PutAll("abc", 3);
    EXPECT_EQ(ReadAll(buffer), (Bytes{'a', 'b', 'c'}));
  }
  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Open, EMFILE));
  {
    DiskBuffer buffer(Dir(), 0, 0);
    EXPECT_EQ(Catch([&] { buffer.PutAll("abc", 3); }).type, typeid(ZEBFile::FileCannotOpenException));
    EXPECT_TRUE(TempFiles().empty());
    buffer.PutAll("abc", 3);
    EXPECT_EQ(TempFiles().size(), 1u);
  }
  EXPECT_TRUE(TempFiles().empty());
}

// A disk filling up in the middle of a long write: what was taken stays
// readable, the buffer stays usable, and the file goes with the buffer.
TEST_F(DiskBufferTest, DiskFillingUpHalfWayKeepsWhatWasTaken) {
  Bytes data = Pattern(1 << 20);
  for (uint32_t cache : {0u, 4096u, 262144u}) {
    SCOPED_TRACE("cache " + std::to_string(cache));
    {
      DiskBuffer buffer(Dir(), 4096, cache);
      if (!ZEBPlatform::LimitWrites(300000, ENOSPC))
        GTEST_SKIP() << "a full disk is made by the POSIX layer's fault injection";
      uint32_t attempted = 0;
      auto fill = [&] {
        for (; attempted < data.size(); attempted += 65536)
          buffer.PutAll(data.data() + attempted, 65536);
      };
      EXPECT_EQ(Catch(fill).type, typeid(ZEBFile::WriteErrorException));
      ZEBPlatform::ClearFaults();
      EXPECT_LE(buffer.Size(), attempted + 65536);
      EXPECT_GE(buffer.Size(), attempted);
      EXPECT_EQ(buffer.TellP(), buffer.Size());
      Bytes prefix(data.begin(), data.begin() + buffer.Size() + 1000);
      buffer.PutAll(data.data() + buffer.Size(), 1000);
      EXPECT_EQ(ReadAll(buffer), prefix);
    }
    EXPECT_TRUE(TempFiles().empty());
  }
}

// A read failing while the window is reloaded: the exception passes, and the
// buffer still gives every byte afterwards.
TEST_F(DiskBufferTest, FailedWindowReloadLeavesTheBufferConsistent) {
  DiskBuffer buffer(Dir(), 1024, 4096);
  Bytes data = Pattern(20000);
  buffer.PutAll(data.data(), 20000);
  buffer.SeekG(0);
  Bytes got(100);
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Read, EIO, 1))
    GTEST_SKIP() << "made by the POSIX layer's fault injection";
  ZEBTest::Thrown t = Catch([&] { buffer.Get(got.data(), 100); }); // from the file, then the reload fails
  EXPECT_EQ(t.id, int(ZEBFileMsg::CANNOT_READ));
  EXPECT_EQ(Bytes(data.begin(), data.begin() + 100), got);
  EXPECT_EQ(buffer.TellG(), 100u);
  got.resize(1000);
  buffer.GetAll(got.data(), 1000);
  EXPECT_EQ(Bytes(data.begin() + 100, data.begin() + 1100), got);
  EXPECT_EQ(ReadAll(buffer), data);
}

TEST_F(DiskBufferTest, RandomWalksMatchAModel) {
  struct Row {
    uint32_t cache, chunk;
    int steps;
  } const rows[] = {{0, 1024, 3000}, {1, 1024, 3000}, {7, 3, 3000}, {4096, 1000, 3000}, {262144, 32768, 1500}};
  for (Row const& row : rows) {
    for (unsigned seed : {1u, 2u}) {
      SCOPED_TRACE("cache " + std::to_string(row.cache) + ", chunk " + std::to_string(row.chunk) + ", seed " +
                   std::to_string(seed));
      {
        DiskBuffer buffer(Dir(), row.chunk, row.cache);
        ZEBTest::BufferWalk walk(buffer, row.cache, seed * 7919 + row.cache, false);
        ASSERT_TRUE(walk.Run(row.steps, [&](int step) { return walk.Size() <= 65536 || step % 25 == 0; },
                             [&] { return TempFiles().size() <= 1; }));
      }
      EXPECT_TRUE(TempFiles().empty());
    }
  }
}

// What waits at the next names (a file, a link to someone's file) is left as
// it is: the buffer takes the next free number, works, and leaves nothing.
TEST_F(DiskBufferTest, NamesAlreadyTakenAreSkippedAndKept) {
  long n = 0;
  {
    DiskBuffer probe(Dir(), 0, 0);
    probe.PutAll("p", 1);
    n = NameNumber(TempFiles().at(0));
  }
  ZEBTest::TempDir elsewhere("victim");
  elsewhere.WriteFile("victim.txt", "keep me");
  std::error_code noLink;
  fs::create_symlink(elsewhere.Child("victim.txt"), Numbered(n + 1), noLink);
  std::ofstream(Numbered(n + 2), std::ios::binary) << "planted";
  auto planted = TempFiles();
  {
    DiskBuffer buffer(Dir(), 64, 100);
    Bytes data = Pattern(1000);
    buffer.PutAll(data.data(), 1000);
    EXPECT_EQ(ReadAll(buffer), data);
    EXPECT_EQ(TempFiles().size(), planted.size() + 1);
  }
  EXPECT_EQ(TempFiles(), planted) << "nothing left behind, nothing planted removed";
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(std::ifstream(Numbered(n + 2)).rdbuf()), {}), "planted");
  EXPECT_EQ(elsewhere.ReadFile("victim.txt"), "keep me");
  EXPECT_TRUE(noLink || fs::is_symlink(Numbered(n + 1)));
  // The next 100 names all taken: the open fails instead of trying forever,
  // and a later access takes the name after them.
  DiskBuffer buffer(Dir(), 0, 0);
  buffer.PutAll("p", 1);
  long m = NameNumber(buffer.FileName().substr(buffer.FileName().find(NAME_PREFIX)));
  buffer.Clear();
  for (long k = m + 1; k <= m + 100; ++k)
    std::ofstream(Numbered(k), std::ios::binary) << k;
  EXPECT_TRUE(ZEBTest::Raised(Catch([&] { buffer.PutAll("x", 1); }), typeid(ZEBFile::FileCannotOpenException),
                              ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY, {*ZEBFile::PathT<char>(Numbered(m + 100).string())},
                              ERROR_FILE_EXISTS));
  buffer.PutAll("y", 1);
  EXPECT_TRUE(fs::exists(Numbered(m + 101)));
}

TEST_F(DiskBufferTest, OnlyItsOwnerMayReadAndWriteTheFile) {
  if (ZEBPlatform::LiveSystem() != ZEBPlatform::System::PosixLayer)
    GTEST_SKIP() << "file modes are the POSIX layer's";
  DiskBuffer buffer(Dir(), 0, 0);
  buffer.PutAll("x", 1);
  auto names = TempFiles();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(fs::status(fs::path(Dir()) / names[0]).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}
