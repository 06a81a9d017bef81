// The disk buffer: when and where its temporary file appears and goes, the
// window written back and reloaded, truncation, failures of the file, names
// made on several threads, and long random walks against a plain model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <typeindex>
#include <vector>

#include "ZEBFile/DiskBuffer.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Path.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Config.h"
#include "ZEBPlatform/Win32.h"
#include "support/TempDir.h"

using ZEBFile::DiskBuffer;
using Buf = ZEB::BinaryStreamBufT<unsigned>;
namespace fs = std::filesystem;

namespace {

constexpr char const NAME_PREFIX[] = "ZEBDiskBuffer-";

// A test's own directory, and the temporary files of disk buffers in it.
class ScratchDir {
public:
  std::string const& Text() const { return m_Dir.Native(); }
  fs::path Path() const { return fs::path(m_Dir.Native()); }

  // Names of the temporary files of disk buffers in the directory.
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (auto const& entry : fs::directory_iterator(Path())) {
      std::string name = entry.path().filename().string();
      if (name.rfind(NAME_PREFIX, 0) == 0)
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

private:
  ZEBTest::TempDir m_Dir{"diskbuffer"};
};

std::vector<unsigned char> Pattern(std::size_t size, unsigned seed = 0) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<unsigned char>((i + seed) * 131 + (i >> 9));
  return bytes;
}

std::vector<unsigned char> ReadAll(DiskBuffer& buffer) {
  std::vector<unsigned char> bytes(buffer.Size());
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
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  return std::stol(digits);
}

bool OnPosixLayer() { return ZEBPlatform::LiveSystem() == ZEBPlatform::System::PosixLayer; }

std::vector<unsigned char> HostFileBytes(fs::path const& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(DiskBuffer, WritesThatFitTheCacheMakeNoFile) {
  ScratchDir dir;
  {
    DiskBuffer buffer(dir.Text(), 1024, 4096);
    EXPECT_EQ(buffer.MemoryBufferSize(), 4096u);
    EXPECT_EQ(buffer.Path(), dir.Text());
    auto data = Pattern(4095);
    buffer.PutAll(data.data(), 4095);
    EXPECT_EQ(ReadAll(buffer), data);
    EXPECT_TRUE(buffer.FileName().empty());
    EXPECT_TRUE(dir.TempFiles().empty());
    buffer.Flush();
  }
  EXPECT_TRUE(dir.TempFiles().empty());
}

TEST(DiskBuffer, NoCacheCreatesANumberedFileOnFirstPut) {
  ScratchDir dir;
  DiskBuffer first(dir.Text(), 1024, 0);
  DiskBuffer second(dir.Text(), 1024, 0);
  EXPECT_TRUE(dir.TempFiles().empty());
  first.PutAll("a", 1);
  second.PutAll("b", 1);
  auto names = dir.TempFiles();
  ASSERT_EQ(names.size(), 2u);
  long a = NameNumber(names[0]), b = NameNumber(names[1]);
  ASSERT_GT(a, 0) << names[0];
  ASSERT_GT(b, 0) << names[1];
  EXPECT_EQ(std::max(a, b), std::min(a, b) + 1) << "buffers made one after the other count up by one";
  EXPECT_EQ(first.FileName(), *ZEBFile::PathT<char>(dir.Text() + "/" + names[a < b ? 0 : 1]));
}

TEST(DiskBuffer, EmptyDirectoryMeansTheTemporaryDirectory) {
  char const* temp = ZEBPlatformGetEnv("TEMP");
  if (!temp)
    temp = ZEBPlatformGetEnv("TMP");
  if (!temp)
    GTEST_SKIP() << "neither TEMP nor TMP is set";
  std::string host;
  {
    DiskBuffer buffer("", 0, 0);
    EXPECT_EQ(buffer.Path(), "");
    buffer.PutAll("x", 1);
    std::string expected = *ZEBFile::PathT<char>(std::string(temp) + "/" + NAME_PREFIX);
    EXPECT_EQ(buffer.FileName().rfind(expected, 0), 0u) << buffer.FileName();
    host = ZEBPlatform::HostPath(buffer.FileName().c_str());
    EXPECT_TRUE(fs::exists(host)) << host;
  }
  EXPECT_FALSE(fs::exists(host)) << host;
}

// 262144 bytes of the 300000 go to the cache, the rest straight to the file;
// the window then moves to 300000 after the dirty window went out at 0.
TEST(DiskBuffer, LargePutSpillsPastTheWindowAndWritesItBack) {
  ScratchDir dir;
  DiskBuffer buffer(dir.Text(), 32768, 262144);
  auto data = Pattern(300000);
  EXPECT_EQ(buffer.Put(data.data(), 300000), 300000u);
  auto names = dir.TempFiles();
  ASSERT_EQ(names.size(), 1u);
  fs::path file = dir.Path() / names[0];
  EXPECT_EQ(fs::file_size(file), 300000u);
  if (OnPosixLayer()) {
    EXPECT_EQ(HostFileBytes(file), data);
  }
  EXPECT_EQ(ReadAll(buffer), data);
  EXPECT_EQ(buffer.TellP(), 300000u);
  EXPECT_TRUE(buffer.EndOfFile());
}

TEST(DiskBuffer, SeeksBeyondTheSizeFailAndKeepThePosition) {
  ScratchDir dir;
  DiskBuffer buffer(dir.Text(), 64, 100);
  auto data = Pattern(250);
  buffer.PutAll(data.data(), 250);
  buffer.SeekG(40);
  buffer.SeekP(60);
  EXPECT_THROW(buffer.SeekG(251), ZEBFile::SeekOutOfRangeException);
  EXPECT_THROW(buffer.SeekP(1, Buf::END, Buf::FORWARD), ZEBFile::SeekOutOfRangeException);
  EXPECT_THROW(buffer.SeekP(0, Buf::BEGIN, Buf::BACKWARD), ZEBFile::SeekOutOfRangeException);
  EXPECT_THROW(buffer.SeekG(41, Buf::CURRENT, Buf::BACKWARD), ZEBFile::SeekOutOfRangeException);
  EXPECT_EQ(buffer.TellG(), 40u);
  EXPECT_EQ(buffer.TellP(), 60u);
  EXPECT_EQ(buffer.Size(), 250u) << "a seek never extends the data";
  EXPECT_EQ(buffer.SeekG(250), 250u);
  EXPECT_TRUE(buffer.EndOfFile());
  EXPECT_EQ(buffer.SeekG(10, Buf::END, Buf::BACKWARD), 240u);
  EXPECT_EQ(buffer.SeekP(5, Buf::CURRENT, Buf::FORWARD), 65u);
}

TEST(DiskBuffer, ClearEndCutsTheFile) {
  ScratchDir dir;
  DiskBuffer buffer(dir.Text(), 1024, 4096);
  auto data = Pattern(300000);
  buffer.PutAll(data.data(), 300000);
  buffer.SeekG(200000);
  buffer.SeekP(10);
  buffer.ClearEnd();
  EXPECT_EQ(buffer.Size(), 10u);
  EXPECT_EQ(buffer.TellG(), 10u);
  auto names = dir.TempFiles();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(fs::file_size(dir.Path() / names[0]), 10u);
  EXPECT_EQ(ReadAll(buffer), std::vector<unsigned char>(data.begin(), data.begin() + 10));
}

// A dirty window left wholly beyond a new end has nothing to write back: the
// file must not grow again when the window moves.
TEST(DiskBuffer, ClearEndBelowADirtyWindowDropsIt) {
  ScratchDir dir;
  DiskBuffer buffer(dir.Text(), 1024, 4096);
  auto data = Pattern(10000);
  buffer.PutAll(data.data(), 10000);
  buffer.SeekP(6000);
  buffer.PutAll("abc", 3); // before the window: to the file; the window moves to 6003
  buffer.SeekP(6100);
  buffer.PutAll("xyz", 3); // into the reloaded window, which is now dirty
  buffer.SeekP(1000);
  buffer.ClearEnd();
  EXPECT_EQ(ReadAll(buffer), std::vector<unsigned char>(data.begin(), data.begin() + 1000));
  auto names = dir.TempFiles();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(fs::file_size(dir.Path() / names[0]), 1000u);
}

TEST(DiskBuffer, ClearDeletesTheFileAndTheNextOneIsNew) {
  ScratchDir dir;
  DiskBuffer buffer(dir.Text(), 1024, 0);
  auto data = Pattern(5000);
  buffer.PutAll(data.data(), 5000);
  auto before = dir.TempFiles();
  ASSERT_EQ(before.size(), 1u);
  buffer.Clear();
  EXPECT_TRUE(dir.TempFiles().empty());
  EXPECT_TRUE(buffer.FileName().empty());
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(buffer.TellP(), 0u);
  EXPECT_EQ(buffer.TellG(), 0u);

  buffer.PutAll("new", 3);
  auto after = dir.TempFiles();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_GT(NameNumber(after[0]), NameNumber(before[0]));
  EXPECT_EQ(ReadAll(buffer), (std::vector<unsigned char>{'n', 'e', 'w'}));

  buffer.ClearMemory();
  EXPECT_TRUE(dir.TempFiles().empty());
}

TEST(DiskBuffer, BuffersOnTwoThreadsGetDistinctNames) {
  ScratchDir dir;
  constexpr int PER_THREAD = 100;
  std::vector<std::string> names[2];
  auto work = [&](std::vector<std::string>& out) {
    for (int i = 0; i < PER_THREAD; ++i) {
      DiskBuffer buffer(dir.Text(), 0, 0);
      buffer.PutAll("t", 1);
      out.push_back(buffer.FileName());
    }
  };
  std::thread a(work, std::ref(names[0])), b(work, std::ref(names[1]));
  a.join();
  b.join();
  std::set<std::string> distinct(names[0].begin(), names[0].end());
  distinct.insert(names[1].begin(), names[1].end());
  EXPECT_EQ(distinct.size(), std::size_t(2 * PER_THREAD));
  EXPECT_TRUE(dir.TempFiles().empty());
}

TEST(DiskBuffer, FileErrorsPassThroughAndLeaveNoFile) {
  ScratchDir dir;
  {
    DiskBuffer nowhere(dir.Text() + "/missing", 0, 0);
    try {
      nowhere.PutAll("x", 1);
      ADD_FAILURE() << "no exception";
    } catch (ZEBFile::FileCannotOpenException const& e) {
      ASSERT_TRUE(e.Info());
      EXPECT_EQ(e.Info()->Id(), int(ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY));
      EXPECT_EQ(e.Info()->LastError(), unsigned(ERROR_PATH_NOT_FOUND));
    }
    EXPECT_EQ(nowhere.Size(), 0u);
  }
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Write, ENOSPC))
    GTEST_SKIP() << "a full disk is made by the POSIX layer's fault injection";
  {
    DiskBuffer buffer(dir.Text(), 0, 0);
    try {
      buffer.PutAll("abc", 3);
      ADD_FAILURE() << "no exception";
    } catch (ZEBFile::WriteErrorException const& e) {
      ASSERT_TRUE(e.Info());
      EXPECT_EQ(e.Info()->Id(), int(ZEBFileMsg::CANNOT_WRITE));
      EXPECT_EQ(e.Info()->LastError(), unsigned(ERROR_DISK_FULL));
      std::string name = buffer.FileName();
      EXPECT_EQ(e.Info()->Parameters().at(0), ZEB::WString(name.begin(), name.end()));
    }
    ZEBPlatform::ClearFaults();
    EXPECT_EQ(buffer.Size(), 0u);
    buffer.PutAll("abc", 3);
    EXPECT_EQ(ReadAll(buffer), (std::vector<unsigned char>{'a', 'b', 'c'}));
  }
  EXPECT_TRUE(dir.TempFiles().empty());

  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Open, EMFILE));
  {
    DiskBuffer buffer(dir.Text(), 0, 0);
    try {
      buffer.PutAll("abc", 3);
      ADD_FAILURE() << "no exception";
    } catch (ZEBFile::FileCannotOpenException const& e) {
      ASSERT_TRUE(e.Info());
      EXPECT_EQ(e.Info()->LastError(), unsigned(ERROR_TOO_MANY_OPEN_FILES));
    }
    ZEBPlatform::ClearFaults();
    EXPECT_TRUE(dir.TempFiles().empty());
    buffer.PutAll("abc", 3);
    EXPECT_EQ(dir.TempFiles().size(), 1u);
  }
  EXPECT_TRUE(dir.TempFiles().empty());
}

// A disk filling up in the middle of a long write: what was taken stays
// readable, the buffer stays usable, and the file goes with the buffer.
TEST(DiskBuffer, DiskFillingUpHalfWayKeepsWhatWasTaken) {
  ScratchDir dir;
  auto data = Pattern(1 << 20);
  for (uint32_t cache : {0u, 4096u, 262144u}) {
    SCOPED_TRACE("cache " + std::to_string(cache));
    {
      DiskBuffer buffer(dir.Text(), 4096, cache);
      if (!ZEBPlatform::LimitWrites(300000, ENOSPC))
        GTEST_SKIP() << "a full disk is made by the POSIX layer's fault injection";
      uint32_t attempted = 0;
      bool failed = false;
      try {
        for (; attempted < data.size(); attempted += 65536)
          buffer.PutAll(data.data() + attempted, 65536);
      } catch (ZEBFile::WriteErrorException const&) {
        failed = true;
      }
      ZEBPlatform::ClearFaults();
      EXPECT_TRUE(failed);
      EXPECT_LE(buffer.Size(), attempted + 65536);
      EXPECT_GE(buffer.Size(), attempted);
      EXPECT_EQ(buffer.TellP(), buffer.Size());
      std::vector<unsigned char> prefix(data.begin(), data.begin() + buffer.Size());
      EXPECT_EQ(ReadAll(buffer), prefix);
      buffer.PutAll(data.data() + buffer.Size(), 1000);
      prefix.insert(prefix.end(), data.begin() + prefix.size(), data.begin() + prefix.size() + 1000);
      EXPECT_EQ(ReadAll(buffer), prefix);
    }
    EXPECT_TRUE(dir.TempFiles().empty());
  }
}

// A read failing while the window is reloaded: the exception passes, and the
// buffer still gives every byte afterwards.
TEST(DiskBuffer, FailedWindowReloadLeavesTheBufferConsistent) {
  ScratchDir dir;
  DiskBuffer buffer(dir.Text(), 1024, 4096);
  auto data = Pattern(20000);
  buffer.PutAll(data.data(), 20000);
  buffer.SeekG(0);
  std::vector<unsigned char> got(100);
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Read, EIO, 1))
    GTEST_SKIP() << "made by the POSIX layer's fault injection";
  try {
    buffer.Get(got.data(), 100); // read from the file, then the window reload fails
    ADD_FAILURE() << "no exception";
  } catch (ZEBFile::FileException const& e) {
    ASSERT_TRUE(e.Info());
    EXPECT_EQ(e.Info()->Id(), int(ZEBFileMsg::CANNOT_READ));
  }
  ZEBPlatform::ClearFaults();
  EXPECT_EQ(std::vector<unsigned char>(data.begin(), data.begin() + 100), got);
  EXPECT_EQ(buffer.TellG(), 100u);
  got.resize(1000);
  buffer.GetAll(got.data(), 1000);
  EXPECT_EQ(std::vector<unsigned char>(data.begin() + 100, data.begin() + 1100), got);
  EXPECT_EQ(ReadAll(buffer), data);
}

namespace {

// The reference: a vector with the seek rules of the buffers written out
// once more, independently.
struct Model {
  std::vector<unsigned char> bytes;
  uint32_t get = 0, put = 0;

  uint32_t Size() const { return uint32_t(bytes.size()); }

  // False when the target is out of range; the position is then kept.
  bool Seek(uint32_t& position, uint32_t offset, Buf::Origin origin, Buf::Direction direction) const {
    int64_t target;
    if (origin == Buf::BEGIN) {
      if (direction == Buf::BACKWARD)
        return false;
      target = offset;
    } else if (origin == Buf::END || origin == Buf::CURRENT) {
      int64_t base = origin == Buf::END ? Size() : position;
      target = direction == Buf::FORWARD ? base + offset : base - int64_t(offset);
      if (target < 0 || target > int64_t(UINT32_MAX))
        return false;
    } else {
      target = 0;
    }
    if (target > int64_t(Size()))
      return false;
    position = uint32_t(target);
    return true;
  }

  void Put(unsigned char const* data, uint32_t count) {
    if (put + count > bytes.size())
      bytes.resize(put + count);
    std::copy(data, data + count, bytes.begin() + put);
    put += count;
  }

  void ClearEnd() {
    bytes.resize(put);
    get = std::min(get, put);
  }
};

class Walk {
public:
  Walk(std::string const& directory, uint32_t chunk, uint32_t cache, unsigned seed)
      : m_Buffer(directory, chunk, cache), m_Cache(cache), m_Random(seed),
        m_Limit(std::max<uint32_t>(cache, 4096) * 3 + 20000) {}

  // One random operation on both; a description of it for failure reports.
  std::string Step() {
    unsigned kind = Pick(100);
    if (kind < 35)
      return Put();
    if (kind < 60)
      return Get();
    if (kind < 75)
      return Seek(true);
    if (kind < 92)
      return Seek(false);
    if (kind < 98)
      return ClearEnd();
    if (kind < 99) {
      m_Buffer.Flush();
      return "Flush";
    }
    m_Buffer.Clear();
    m_Model = Model();
    return "Clear";
  }

  ::testing::AssertionResult SamePositions() const {
    if (m_Buffer.TellP() != m_Model.put || m_Buffer.TellG() != m_Model.get || m_Buffer.Size() != m_Model.Size() ||
        m_Buffer.EndOfFile() != (m_Model.get == m_Model.Size()))
      return ::testing::AssertionFailure()
             << "put " << m_Buffer.TellP() << "/" << m_Model.put << ", get " << m_Buffer.TellG() << "/"
             << m_Model.get << ", size " << m_Buffer.Size() << "/" << m_Model.Size();
    return ::testing::AssertionSuccess();
  }

  // Reads everything and puts the get position back (the window may move,
  // which is one more thing the walk exercises).
  ::testing::AssertionResult SameContent() {
    uint32_t get = m_Buffer.TellG();
    std::vector<unsigned char> all = ReadAll(m_Buffer);
    m_Buffer.SeekG(get);
    if (all != m_Model.bytes) {
      auto diff = std::mismatch(all.begin(), all.end(), m_Model.bytes.begin(), m_Model.bytes.end());
      return ::testing::AssertionFailure() << "content differs at " << (diff.first - all.begin());
    }
    return ::testing::AssertionSuccess();
  }

  uint32_t ModelSize() const { return m_Model.Size(); }

private:
  unsigned Pick(unsigned bound) { return std::uniform_int_distribution<unsigned>(0, bound - 1)(m_Random); }

  // Lengths around the window's size matter most: some tiny, some within the
  // cache, some spanning it several times.
  uint32_t Length() {
    uint32_t span = std::max<uint32_t>(m_Cache, 64);
    switch (Pick(4)) {
    case 0:
      return Pick(17);
    case 1:
      return Pick(span + 2);
    case 2:
      return Pick(3 * span);
    default:
      return Pick(5000);
    }
  }

  std::string Put() {
    uint32_t count = Length();
    if (m_Model.put + count > m_Limit)
      count = m_Limit > m_Model.put ? Pick(m_Limit - m_Model.put) : 0;
    std::vector<unsigned char> data(count);
    for (auto& b : data)
      b = static_cast<unsigned char>(m_Random());
    uint32_t taken = m_Buffer.Put(data.data(), count);
    m_Model.Put(data.data(), count);
    if (taken != count)
      m_Problem = "Put took " + std::to_string(taken);
    return "Put " + std::to_string(count) + " at " + std::to_string(m_Model.put - count);
  }

  std::string Get() {
    uint32_t count = Length();
    std::vector<unsigned char> got(count + 1);
    uint32_t at = m_Model.get;
    uint32_t n = m_Buffer.Get(got.data(), count);
    uint32_t expected = std::min(count, m_Model.Size() - at);
    if (n != expected)
      m_Problem = "Get gave " + std::to_string(n) + " instead of " + std::to_string(expected);
    else if (!std::equal(got.begin(), got.begin() + n, m_Model.bytes.begin() + at))
      m_Problem = "Get delivered other bytes";
    m_Model.get = at + expected;
    return "Get " + std::to_string(count) + " at " + std::to_string(at);
  }

  std::string Seek(bool putSide) {
    static Buf::Origin const ORIGINS[] = {Buf::BEGIN, Buf::BEGIN, Buf::END, Buf::CURRENT, Buf::Origin(3)};
    static Buf::Direction const DIRECTIONS[] = {Buf::FORWARD, Buf::FORWARD, Buf::BACKWARD, Buf::Direction(5)};
    Buf::Origin origin = ORIGINS[Pick(5)];
    Buf::Direction direction = DIRECTIONS[Pick(4)];
    uint32_t offset = Pick(8) == 0 ? UINT32_MAX - Pick(3) : Pick(m_Model.Size() + 3);
    uint32_t& position = putSide ? m_Model.put : m_Model.get;
    bool ok = m_Model.Seek(position, offset, origin, direction);
    bool threw = false;
    try {
      uint32_t result = putSide ? m_Buffer.SeekP(offset, origin, direction) : m_Buffer.SeekG(offset, origin, direction);
      if (ok && result != position)
        m_Problem = "seek gave " + std::to_string(result);
    } catch (ZEBFile::SeekOutOfRangeException const&) {
      threw = true;
    }
    if (threw == ok)
      m_Problem = threw ? "seek refused" : "seek accepted";
    return std::string(putSide ? "SeekP " : "SeekG ") + std::to_string(offset) + " origin " +
           std::to_string(origin) + " direction " + std::to_string(direction);
  }

  std::string ClearEnd() {
    m_Buffer.ClearEnd();
    m_Model.ClearEnd();
    return "ClearEnd at " + std::to_string(m_Model.put);
  }

public:
  std::string m_Problem;

private:
  DiskBuffer m_Buffer;
  Model m_Model;
  uint32_t m_Cache;
  std::mt19937 m_Random;
  uint32_t m_Limit;
};

} // namespace

TEST(DiskBuffer, RandomWalksMatchAPlainModel) {
  struct Row {
    uint32_t cache, chunk;
    int steps;
  };
  Row const rows[] = {
      {0, 1024, 3000}, {1, 1024, 3000}, {7, 3, 3000}, {4096, 1000, 3000}, {262144, 32768, 1500},
  };
  for (Row const& row : rows) {
    for (unsigned seed : {1u, 2u}) {
      SCOPED_TRACE("cache " + std::to_string(row.cache) + ", chunk " + std::to_string(row.chunk) + ", seed " +
                   std::to_string(seed));
      ScratchDir dir;
      {
        Walk walk(dir.Text(), row.chunk, row.cache, seed * 7919 + row.cache);
        for (int step = 0; step < row.steps; ++step) {
          std::string op = walk.Step();
          ASSERT_EQ(walk.m_Problem, "") << "step " << step << ": " << op;
          ASSERT_TRUE(walk.SamePositions()) << "step " << step << ": " << op;
          if (walk.ModelSize() <= 65536 || step % 25 == 0) {
            ASSERT_TRUE(walk.SameContent()) << "step " << step << ": " << op;
          }
          ASSERT_LE(dir.TempFiles().size(), 1u);
        }
        ASSERT_TRUE(walk.SameContent());
      }
      EXPECT_TRUE(dir.TempFiles().empty());
    }
  }
}

// ---- The temporary file in a shared directory ---------------------------------------------

namespace {

fs::path TempFileNumbered(ScratchDir const& dir, long n) {
  return dir.Path() / (NAME_PREFIX + std::to_string(_getpid()) + "-" + std::to_string(n) + ".tmp");
}

std::string HostText(fs::path const& path) {
  auto bytes = HostFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

} // namespace

// What waits at the next names (a file, a link to someone's file) is left as
// it is: the buffer takes the next free number, works, and leaves nothing.
TEST(DiskBufferTempFile, NamesAlreadyTakenAreSkippedAndKept) {
  ScratchDir dir;
  long n = 0;
  {
    DiskBuffer probe(dir.Text(), 0, 0);
    probe.PutAll("p", 1);
    n = NameNumber(dir.TempFiles().at(0));
  }
  ZEBTest::TempDir elsewhere("victim");
  elsewhere.WriteFile("victim.txt", "keep me");
  std::error_code noLink;
  fs::create_symlink(elsewhere.Child("victim.txt"), TempFileNumbered(dir, n + 1), noLink);
  std::ofstream(TempFileNumbered(dir, n + 2), std::ios::binary) << "planted";
  auto planted = dir.TempFiles();
  {
    DiskBuffer buffer(dir.Text(), 64, 100);
    auto data = Pattern(1000);
    buffer.PutAll(data.data(), 1000);
    EXPECT_EQ(ReadAll(buffer), data);
    EXPECT_EQ(dir.TempFiles().size(), planted.size() + 1);
  }
  EXPECT_EQ(dir.TempFiles(), planted) << "nothing left behind, nothing planted removed";
  EXPECT_EQ(HostText(TempFileNumbered(dir, n + 2)), "planted");
  EXPECT_EQ(elsewhere.ReadFile("victim.txt"), "keep me");
  if (!noLink) {
    EXPECT_TRUE(fs::is_symlink(TempFileNumbered(dir, n + 1)));
  }
}

TEST(DiskBufferTempFile, OnlyItsOwnerMayReadAndWriteIt) {
  if (!OnPosixLayer())
    GTEST_SKIP() << "file modes are the POSIX layer's";
  ScratchDir dir;
  DiskBuffer buffer(dir.Text(), 0, 0);
  buffer.PutAll("x", 1);
  auto names = dir.TempFiles();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(fs::status(dir.Path() / names[0]).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// The next 100 names all taken: the buffer gives up with the open error
// instead of trying forever, and a later access takes the name after them.
TEST(DiskBufferTempFile, AHundredNamesTakenFailTheOpen) {
  ScratchDir dir;
  DiskBuffer buffer(dir.Text(), 0, 0);
  buffer.PutAll("p", 1);
  long n = NameNumber(dir.TempFiles().at(0));
  buffer.Clear();
  for (long k = n + 1; k <= n + 100; ++k)
    std::ofstream(TempFileNumbered(dir, k), std::ios::binary) << k;
  try {
    buffer.PutAll("x", 1);
    ADD_FAILURE() << "no exception";
  } catch (ZEBFile::FileCannotOpenException const& e) {
    ASSERT_TRUE(e.Info());
    EXPECT_EQ(e.Info()->Id(), int(ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY));
    EXPECT_EQ(e.Info()->LastError(), unsigned(ERROR_FILE_EXISTS));
  }
  EXPECT_EQ(HostText(TempFileNumbered(dir, n + 100)), std::to_string(n + 100));
  buffer.PutAll("y", 1);
  EXPECT_TRUE(fs::exists(TempFileNumbered(dir, n + 101)));
}
