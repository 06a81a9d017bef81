// The file class: open modes and their sharing (second handle, second
// process), the exception chosen for each failure with its message, checked
// transfers, seek range rules, sizes on disk, delete.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "ZEBFile/CFile.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Config.h"
#include "ZEBPlatform/Win32.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

using namespace ZEBFile;
using File = CFileT<unsigned>;
using ZEBTest::Catch;
using ZEBTest::Thrown;
namespace fs = std::filesystem;

namespace {

// Each test's own directory, and a file of it opened in a mode.
class CFileTest : public ::testing::Test {
protected:
  ~CFileTest() override { ZEBPlatform::ClearFaults(); }
  std::string Path(std::string const& name) const { return m_Dir.Child(name); }
  std::string Read(std::string const& name) const { return m_Dir.ReadFile(name); }
  void Write(std::string const& name, std::string const& bytes) const { m_Dir.WriteFile(name, bytes); }

private:
  ZEBTest::TempDir m_Dir{"cfile"};
};

// The message, throw-site line and system error of a file failure.
::testing::AssertionResult FileError(Thrown const& t, std::type_info const& type, unsigned id, int line,
                                     unsigned lastError, File const& file) {
  if (t.line != line || t.file != "src/ZEBCFile")
    return ::testing::AssertionFailure() << "thrown at " << t.file << ":" << t.line;
  return ZEBTest::Raised(t, type, int(id), {*file.Path()}, lastError);
}

// Exposes the protected Throw.
class ThrowingFile : public File {
public:
  using File::File;
  void ThrowFor(Action action, uint32_t error) const {
    SetLastError(error);
    Throw(action);
  }
};

} // namespace

TEST_F(CFileTest, OpenModesCreateKeepOrTruncate) {
  File file(Path("modes.bin"));
  EXPECT_EQ(file.Open(File::CREATE), 0u);
  EXPECT_TRUE(file.Writable());
  EXPECT_EQ(file.Write("hello world", 1, 11), 11u);
  file.Close();
  EXPECT_EQ(file.Open(File::READ_WRITE), 11u) << "READ_WRITE keeps the content";
  EXPECT_EQ(file.Tell(), 0u);
  file.Write("J", 1, 1);
  EXPECT_EQ(file.Open(File::READ), 11u) << "a reopen closes the handle held first";
  EXPECT_FALSE(file.Writable());
  char bytes[11];
  EXPECT_EQ(file.Read(bytes, 1, 11, true), 11u);
  EXPECT_EQ(std::string(bytes, 11), "Jello world");
  EXPECT_TRUE(file.EndOfFile());
  EXPECT_EQ(File(Path("modes.bin")).Open(File::READ), 11u);
  EXPECT_EQ(file.Open(File::CREATE), 0u) << "CREATE truncates";
  EXPECT_EQ(File(Path("fresh.bin")).Open(File::READ_WRITE), 0u) << "READ_WRITE creates a missing file";
  EXPECT_TRUE(fs::exists(Path("fresh.bin")));

  File unknown(Path("x.bin"), File::HINT_RANDOM, false, true);
  EXPECT_EQ(unknown.Open(3), 0u);
  EXPECT_FALSE(unknown.IsOpen());
  EXPECT_FALSE(fs::exists(Path("x.bin")));
}

TEST_F(CFileTest, OpenFailuresGiveTheirClassMessageAndError) {
  File missing(Path("missing.bin")), noDirectory(Path("no-such-dir/file.bin"));
  EXPECT_TRUE(FileError(Catch([&] { missing.Open(File::READ); }), typeid(FileCannotOpenException),
                        ZEBFileMsg::CANNOT_OPEN_READ_ONLY, 49, ERROR_FILE_NOT_FOUND, missing));
  EXPECT_FALSE(missing.IsOpen());
  for (uint32_t mode : {File::CREATE, File::READ_WRITE})
    EXPECT_TRUE(FileError(Catch([&] { noDirectory.Open(mode); }), typeid(FileCannotOpenException),
                          ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY, 61, ERROR_PATH_NOT_FOUND, noDirectory));
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Open, EACCES))
    GTEST_SKIP() << "access denial is made by the POSIX layer's fault injection";
  Write("locked.bin", "x");
  File locked(Path("locked.bin"));
  EXPECT_TRUE(FileError(Catch([&] { locked.Open(File::READ); }), typeid(FileAccessDeniedException),
                        ZEBFileMsg::CANNOT_OPEN_READ_ONLY, 49, ERROR_ACCESS_DENIED, locked));
}

// A second open while a first handle is held (between processes the
// platform's sharing holds alike). Reading shares with readers and writers;
// the write modes hold the file exclusively.
TEST_F(CFileTest, SharingBetweenHandles) {
  struct Row {
    uint32_t held, second;
    bool opens;
  } const rows[] = {{File::READ, File::READ, true},        {File::READ, File::READ_WRITE, false},
                    {File::READ, File::CREATE, false},     {File::READ_WRITE, File::READ, false},
                    {File::READ_WRITE, File::READ_WRITE, false}, {File::CREATE, File::READ, false},
                    {File::CREATE, File::CREATE, false}};
  for (Row const& row : rows) {
    SCOPED_TRACE("held " + std::to_string(row.held) + ", second " + std::to_string(row.second));
    Write("shared.bin", "shared content");
    File first(Path("shared.bin")), second(Path("shared.bin"));
    first.Open(row.held);
    Thrown t = Catch([&] { second.Open(row.second); });
    if (row.opens) {
      EXPECT_TRUE(second.IsOpen());
    } else {
      bool read = row.second == File::READ;
      EXPECT_TRUE(FileError(t, typeid(SharingViolationException),
                            read ? ZEBFileMsg::CANNOT_OPEN_READ_ONLY : ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY,
                            read ? 49 : 61, ERROR_SHARING_VIOLATION, second));
    }
  }
  File reader(Path("shared.bin"));
  reader.Open(File::READ);
  HANDLE writer = CreateFileA(Path("shared.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "a reader shares with writers";
  CloseHandle(writer);
}

TEST(CFile, ThrowChoosesTheClassFromActionAndError) {
  struct Row {
    CFileBase::Action action;
    uint32_t error;
    std::type_info const& type;
    unsigned id;
    int line;
  } const rows[] = {
      {CFileBase::OPEN_READ, ERROR_SHARING_VIOLATION, typeid(SharingViolationException), 1, 49},
      {CFileBase::OPEN_READ, ERROR_ACCESS_DENIED, typeid(FileAccessDeniedException), 1, 49},
      {CFileBase::OPEN_READ, ERROR_FILE_NOT_FOUND, typeid(FileCannotOpenException), 1, 49},
      {CFileBase::OPEN_WRITE, ERROR_SHARING_VIOLATION, typeid(SharingViolationException), 2, 61},
      {CFileBase::OPEN_WRITE, ERROR_ACCESS_DENIED, typeid(FileAccessDeniedException), 2, 61},
      {CFileBase::OPEN_WRITE, ERROR_DISK_FULL, typeid(FileCannotOpenException), 2, 61},
      {CFileBase::DELETE_FILE, ERROR_ACCESS_DENIED, typeid(FileCannotDeleteException), 5, 73},
      {CFileBase::SEEK, ERROR_NEGATIVE_SEEK, typeid(FileException), 13, 79},
      {CFileBase::WRITE_DATA, ERROR_DISK_FULL, typeid(WriteErrorException), 15, 85},
      {CFileBase::READ_DATA, ERROR_HANDLE_EOF, typeid(FileException), 10, 91},
      {CFileBase::GET_ATTRIBUTES, ERROR_SHARING_VIOLATION, typeid(FileException), 17, 97},
  };
  ThrowingFile file("C:\\data\\report.doc");
  for (Row const& row : rows) {
    SCOPED_TRACE("action " + std::to_string(row.action) + ", error " + std::to_string(row.error));
    EXPECT_TRUE(FileError(Catch([&] { file.ThrowFor(row.action, row.error); }), row.type, row.id, row.line,
                          row.error, file));
  }
  for (int unnamed : {2, 4, 9, -1})
    EXPECT_EQ(Catch([&] { file.ThrowFor(CFileBase::Action(unnamed), 5); }).type, typeid(void)) << unnamed;
}

TEST_F(CFileTest, WriteWithHintsAndCloseKeepsTheFileUnlessDeleteOnClose) {
  for (uint32_t hint : {0u, 1u, 2u, 3u, 4u, 7u}) {
    for (bool buffered : {true, false}) {
      std::string name = "hint" + std::to_string(hint) + (buffered ? "b" : "u");
      SCOPED_TRACE(name);
      {
        File file(Path(name), hint, buffered);
        file.Open(File::CREATE);
        EXPECT_EQ(file.Write("12345678", 2, 4), 8u);
        EXPECT_TRUE(fs::exists(Path(name)));
        file.Flush();
      }
      EXPECT_EQ(Read(name), hint == File::HINT_DELETE_ON_CLOSE ? "" : "12345678");
      EXPECT_EQ(fs::exists(Path(name)), hint != File::HINT_DELETE_ON_CLOSE);
    }
  }
}

TEST_F(CFileTest, ExactReadPastTheEndThrowsAndLeavesThePosition) {
  File file(Path("short.bin"));
  file.Open(File::CREATE);
  file.Write("0123456789", 1, 10);
  file.Seek(4, File::FROM_BEGIN, File::FORWARD);
  char bytes[16] = {};
  for (uint32_t count : {16u, 7u})
    EXPECT_TRUE(FileError(Catch([&] { file.Read(bytes, 1, count, true); }), typeid(FileException),
                          ZEBFileMsg::CANNOT_READ, 91, ERROR_HANDLE_EOF, file));
  EXPECT_EQ(file.Tell(), 4u);
  EXPECT_EQ(file.Read(bytes, 1, 16, false), 6u) << "the system's pointer was put back too";
  EXPECT_EQ(std::string(bytes, 6), "456789");
  EXPECT_EQ(file.Read(bytes, 1, 16, false), 0u);
  EXPECT_TRUE(file.EndOfFile());
}

TEST_F(CFileTest, SeekRangeRules) {
  auto const F = File::FORWARD, B = File::BACKWARD;
  struct Row {
    uint32_t start, offset, origin;
    File::Direction direction;
    bool outOfRange;
    uint32_t position;
  } const rows[] = {
      {0, 5, File::FROM_BEGIN, B, true, 0},      {2, 0, File::FROM_BEGIN, B, true, 2},
      {2, 3, File::FROM_BEGIN, F, false, 3},     {0, 10, File::FROM_END, B, true, 0},
      {0, 4, File::FROM_END, B, false, 0},       {0, 1, File::FROM_END, B, false, 3},
      {0, 6, File::FROM_END, F, false, 10},      {1, 0xFFFFFFFFu, File::FROM_END, F, true, 1},
      {3, 4, File::FROM_CURRENT, B, true, 3},    {3, 3, File::FROM_CURRENT, B, false, 0},
      {3, 2, File::FROM_CURRENT, File::Direction(7), false, 1}, {3, 5, File::FROM_CURRENT, F, false, 8},
  };
  File file(Path("seek.bin"));
  file.Open(File::CREATE);
  file.Write("abcd", 1, 4);
  for (Row const& row : rows) {
    SCOPED_TRACE("start " + std::to_string(row.start) + ", offset " + std::to_string(row.offset) + ", origin " +
                 std::to_string(row.origin) + ", direction " + std::to_string(row.direction));
    file.SetSize(4, true);
    file.Seek(row.start, File::FROM_BEGIN, F);
    Thrown t = Catch([&] { file.Seek(row.offset, row.origin, row.direction); });
    EXPECT_EQ(t.type, row.outOfRange ? typeid(SeekOutOfRangeException) : typeid(void));
    EXPECT_EQ(file.Tell(), row.position);
  }
}

TEST_F(CFileTest, SizesFollowSeeksSetSizeAndGrow) {
  File file(Path("sparse.bin"));
  file.Open(File::CREATE);
  file.Write("abcd", 1, 4);
  file.Seek(100, File::FROM_BEGIN, File::FORWARD);
  EXPECT_EQ(file.Size(), 100u) << "a seek beyond the end raises the size, not the file";
  EXPECT_TRUE(file.EndOfFile());
  EXPECT_EQ(fs::file_size(Path("sparse.bin")), 4u);
  file.SetSize(100, false);
  EXPECT_EQ(fs::file_size(Path("sparse.bin")), 4u) << "unchanged and not forced: nothing happens";
  file.SetSize(100, true);
  EXPECT_EQ(fs::file_size(Path("sparse.bin")), 100u);
  file.SetSize(2, false);
  EXPECT_EQ(fs::file_size(Path("sparse.bin")), 2u);
  EXPECT_EQ(file.Size(), 2u);
  EXPECT_EQ(file.Tell(), 2u);
  file.SetSize(10, false);
  EXPECT_EQ(file.Tell(), 10u);
  file.Seek(0, File::FROM_BEGIN, File::FORWARD);
  file.Grow(6);
  EXPECT_EQ(file.Tell(), 16u);
  EXPECT_EQ(file.Size(), 16u);
  file.Close();
  EXPECT_EQ(Read("sparse.bin"), std::string("ab") + std::string(14, '\0'));
}

// Positions stop at 0xFFFFFFFF: a seek past it is a seek error, a write that
// would cross it writes nothing; neither moves the position.
TEST_F(CFileTest, FourGibibyteLimit) {
  File file(Path("limit.bin"));
  file.Open(File::CREATE);
  file.Seek(0xFFFFFFF0u, File::FROM_BEGIN, File::FORWARD);
  Thrown seek = Catch([&] { file.Seek(0x20, File::FROM_CURRENT, File::FORWARD); });
  EXPECT_EQ(seek.type, typeid(FileException));
  EXPECT_EQ(seek.id, int(ZEBFileMsg::CANNOT_SEEK));
  char bytes[32] = {};
  EXPECT_EQ(Catch([&] { file.Write(bytes, 1, 16); }).type, typeid(WriteErrorException));
  EXPECT_EQ(file.Tell(), 0xFFFFFFF0u);
  EXPECT_EQ(file.Write(bytes, 1, 15), 15u);
  EXPECT_EQ(file.Tell(), 0xFFFFFFFFu);
  file.Delete();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(fs::exists(Path("limit.bin")));
  EXPECT_NO_THROW(file.Delete()) << "a second delete finds no file";
}

// Faults of the system under the file (made by the POSIX layer's fault
// injection): each failure keeps size and position.
TEST_F(CFileTest, SystemFailuresKeepSizeAndPosition) {
  File file(Path("full.bin"));
  file.Open(File::CREATE);
  file.Write("abcdef", 1, 6);
  file.Seek(4, File::FROM_BEGIN, File::FORWARD);
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Write, ENOSPC))
    GTEST_SKIP() << "made by the POSIX layer's fault injection";
  EXPECT_TRUE(FileError(Catch([&] { file.Write("efgh", 1, 4); }), typeid(WriteErrorException),
                        ZEBFileMsg::CANNOT_WRITE, 85, ERROR_DISK_FULL, file));
  ASSERT_TRUE(ZEBPlatform::LimitWrites(2, ENOSPC)); // the bytes that did go out are not counted
  EXPECT_EQ(Catch([&] { file.Write("efgh", 1, 4); }).type, typeid(WriteErrorException));
  ZEBPlatform::ClearFaults();
  EXPECT_EQ(file.Tell(), 4u);
  EXPECT_EQ(file.Size(), 6u);
  file.Write("EF", 1, 2); // where the failed writes began: the system's pointer was put back
  file.Seek(2, File::FROM_BEGIN, File::FORWARD);
  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Fallocate, ENOSPC));
  EXPECT_TRUE(FileError(Catch([&] { file.SetSize(50, false); }), typeid(FileException), ZEBFileMsg::CANNOT_SEEK, 79,
                        ERROR_DISK_FULL, file));
  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Fallocate, ENOSPC));
  EXPECT_NE(Catch([&] { file.Grow(5); }).type, typeid(void));
  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Ftruncate, EIO));
  EXPECT_NE(Catch([&] { file.SetSize(3, false); }).type, typeid(void));
  EXPECT_EQ(file.Size(), 6u);
  EXPECT_EQ(file.Tell(), 2u);
  file.Write("XY", 1, 2);
  file.Close();
  EXPECT_EQ(Read("full.bin"), "abXYEF");
}

TEST_F(CFileTest, FailedDeleteStillCloses) {
  Write("doomed.bin", "again");
  File stubborn(Path("doomed.bin"));
  stubborn.Open(File::READ);
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Unlink, EACCES))
    GTEST_SKIP() << "made by the POSIX layer's fault injection";
  EXPECT_TRUE(FileError(Catch([&] { stubborn.Delete(); }), typeid(FileCannotDeleteException),
                        ZEBFileMsg::CANNOT_DELETE, 73, ERROR_ACCESS_DENIED, stubborn));
  EXPECT_FALSE(stubborn.IsOpen());
  EXPECT_TRUE(fs::exists(Path("doomed.bin")));
}
