// The file class: open modes and sharing, the exception and message of each
// failure, checked transfers, seeks, sizes, system failures and delete.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <tuple>

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

class CFileTest : public ::testing::Test {
protected:
  ~CFileTest() override { ZEBPlatform::ClearFaults(); }
  std::string Path(std::string const& name) const { return dir.Child(name); }

  ZEBTest::TempDir dir{"cfile"};
};

// The message, throw-site line and system error of a file failure.
::testing::AssertionResult FileError(Thrown const& t, std::type_info const& type, unsigned id, int line,
                                     unsigned lastError, File const& file) {
  if (t.line != line || t.file != "src/ZEBCFile")
    return ::testing::AssertionFailure() << "thrown at " << t.file << ":" << t.line;
  return ZEBTest::Raised(t, type, int(id), {*file.Path()}, lastError);
}

} // namespace

// Open modes create, keep or truncate; an exact read past the end throws and
// leaves the position, the system's pointer included.
TEST_F(CFileTest, OpenModesAndExactReads) {
  File file(Path("modes.bin"));
  EXPECT_EQ(file.Open(File::CREATE), 0u);
  EXPECT_EQ(file.Write("hello world", 1, 11), 11u);
  EXPECT_EQ(file.Open(File::READ_WRITE), 11u) << "READ_WRITE keeps the content";
  file.Write("J", 1, 1);
  EXPECT_EQ(file.Open(File::READ), 11u) << "a reopen closes the handle held first";
  EXPECT_FALSE(file.Writable());
  char bytes[16];
  EXPECT_EQ(file.Read(bytes, 1, 11, true), 11u);
  EXPECT_EQ(std::string(bytes, 11), "Jello world");
  file.Seek(4, File::FROM_BEGIN, File::FORWARD);
  for (uint32_t count : {16u, 8u})
    EXPECT_TRUE(FileError(Catch([&] { file.Read(bytes, 1, count, true); }), typeid(FileException),
                          ZEBFileMsg::CANNOT_READ, 91, ERROR_HANDLE_EOF, file));
  EXPECT_EQ(file.Tell(), 4u);
  EXPECT_EQ(file.Read(bytes, 1, 16, false), 7u);
  EXPECT_EQ(std::string(bytes, 7), "o world");
  EXPECT_EQ(file.Open(File::CREATE), 0u) << "CREATE truncates";
  EXPECT_EQ(File(Path("fresh.bin")).Open(File::READ_WRITE), 0u);
  EXPECT_TRUE(fs::exists(Path("fresh.bin"))) << "READ_WRITE creates a missing file";
}

// Open failures, among them a second open while a first handle is held (between processes the platform's sharing
// holds alike): reading shares with readers and writers, the write modes hold the file exclusively. Access is
// denied by the POSIX layer's fault injection.
TEST_F(CFileTest, OpenFailuresGiveTheirClassMessageAndError) {
  uint32_t const R = File::READ, RW = File::READ_WRITE, C = File::CREATE, NONE = 3;
  std::tuple<uint32_t, uint32_t, char const*, uint32_t> const rows[] = {
      {NONE, R, "missing.bin", ERROR_FILE_NOT_FOUND},  {NONE, C, "none/f.bin", ERROR_PATH_NOT_FOUND},
      {NONE, RW, "none/f.bin", ERROR_PATH_NOT_FOUND},  {NONE, R, "shared.bin", ERROR_ACCESS_DENIED},
      {R, RW, "shared.bin", ERROR_SHARING_VIOLATION},  {R, C, "shared.bin", ERROR_SHARING_VIOLATION},
      {RW, R, "shared.bin", ERROR_SHARING_VIOLATION},  {RW, RW, "shared.bin", ERROR_SHARING_VIOLATION},
      {C, R, "shared.bin", ERROR_SHARING_VIOLATION},   {C, C, "shared.bin", ERROR_SHARING_VIOLATION}};
  dir.WriteFile("shared.bin");
  File first(Path("shared.bin"));
  for (auto const& [held, mode, name, error] : rows) {
    SCOPED_TRACE(::testing::Message() << "held " << held << ", then " << mode << " on " << name);
    EXPECT_EQ(first.Open(held), 0u);
    EXPECT_EQ(first.IsOpen(), held != NONE) << "a mode outside the list opens nothing";
    if (error == ERROR_ACCESS_DENIED && !ZEBPlatform::FailNext(ZEBPlatform::Call::Open, EACCES))
      continue;
    File second(Path(name));
    Thrown t = Catch([&second, mode = mode] { second.Open(mode); });
    std::type_info const& type = error == ERROR_SHARING_VIOLATION ? typeid(SharingViolationException)
                                 : error == ERROR_ACCESS_DENIED   ? typeid(FileAccessDeniedException)
                                                                  : typeid(FileCannotOpenException);
    bool read = mode == R;
    EXPECT_TRUE(FileError(t, type, read ? ZEBFileMsg::CANNOT_OPEN_READ_ONLY : ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY,
                          read ? 49 : 61, error, second));
    EXPECT_FALSE(second.IsOpen());
  }
  first.Open(R);
  EXPECT_EQ(File(Path("shared.bin")).Open(R), 0u) << "readers share with readers";
  HANDLE writer = CreateFileA(Path("shared.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "and with writers";
  CloseHandle(writer);
}

// Buffered or written through, every hint writes; delete-on-close deletes.
TEST_F(CFileTest, EveryHintWritesAndOnlyDeleteOnCloseRemovesTheFile) {
  for (uint32_t hint : {0u, 1u, 2u, 3u, 4u, 7u}) {
    std::string name = "hint" + std::to_string(hint);
    File file(Path(name), hint, hint % 2 == 0);
    file.Open(File::CREATE);
    EXPECT_EQ(file.Write("12345678", 2, 4), 8u) << name;
    file.Close();
    EXPECT_EQ(dir.ReadFile(name), hint == File::HINT_DELETE_ON_CLOSE ? "" : "12345678") << name;
  }
}

TEST_F(CFileTest, SeekRangeRules) {
  auto const F = File::FORWARD, B = File::BACKWARD, ODD = File::Direction(7);
  uint32_t const BEGIN = File::FROM_BEGIN, CURRENT = File::FROM_CURRENT, END = File::FROM_END;
  // Start, offset, origin, direction; out of range, position after.
  std::tuple<uint32_t, uint32_t, uint32_t, File::Direction, bool, uint32_t> const rows[] = {
      {0, 5, BEGIN, B, true, 0},     {2, 0, BEGIN, B, true, 2},      {2, 3, BEGIN, F, false, 3},
      {0, 10, END, B, true, 0},      {0, 4, END, B, false, 0},       {0, 1, END, B, false, 3},
      {0, 6, END, F, false, 10},     {1, 0xFFFFFFFFu, END, F, true, 1}, {3, 4, CURRENT, B, true, 3},
      {3, 3, CURRENT, B, false, 0},  {3, 2, CURRENT, ODD, false, 1},  {3, 5, CURRENT, F, false, 8},
  };
  File file(Path("seek.bin"));
  file.Open(File::CREATE);
  file.Write("abcd", 1, 4);
  for (auto const& [start, offset, origin, direction, outOfRange, position] : rows) {
    SCOPED_TRACE(::testing::Message() << "start " << start << ", offset " << offset << ", origin " << origin
                                      << ", direction " << direction);
    file.SetSize(4, true);
    file.Seek(start, BEGIN, F);
    Thrown t = Catch([&, o = offset, m = origin, d = direction] { file.Seek(o, m, d); });
    EXPECT_EQ(t.type, outOfRange ? typeid(SeekOutOfRangeException) : typeid(void));
    EXPECT_EQ(file.Tell(), position);
  }
}

TEST_F(CFileTest, SizesUpToTheFourGibibyteLimit) {
  File file(Path("sparse.bin"));
  file.Open(File::CREATE);
  file.Write("abcd", 1, 4);
  file.Seek(100, File::FROM_BEGIN, File::FORWARD);
  EXPECT_TRUE(file.EndOfFile()) << "a seek beyond the end raises the size, not the file";
  file.SetSize(100, false);
  EXPECT_EQ(fs::file_size(Path("sparse.bin")), 4u) << "unchanged and not forced: nothing happens";
  file.SetSize(100, true);
  EXPECT_EQ(fs::file_size(Path("sparse.bin")), 100u);
  file.SetSize(2, false);
  EXPECT_EQ(file.Tell(), 2u);
  file.Seek(0, File::FROM_BEGIN, File::FORWARD);
  file.Grow(6);
  EXPECT_EQ(file.Tell(), 8u);
  file.Close();
  EXPECT_EQ(dir.ReadFile("sparse.bin"), std::string("ab") + std::string(6, '\0'));
  // Positions stop at 0xFFFFFFFF: a seek past it is a seek error, a write that
  // would cross it writes nothing; neither moves the position.
  file.Open(File::READ_WRITE);
  file.Seek(0xFFFFFFF0u, File::FROM_BEGIN, File::FORWARD);
  EXPECT_TRUE(FileError(Catch([&] { file.Seek(0x20, File::FROM_CURRENT, File::FORWARD); }), typeid(FileException),
                        ZEBFileMsg::CANNOT_SEEK, 79, ZEBTest::ANY_ERROR, file));
  char bytes[32] = {};
  EXPECT_EQ(Catch([&] { file.Write(bytes, 1, 16); }).type, typeid(WriteErrorException));
  EXPECT_EQ(file.Tell(), 0xFFFFFFF0u);
  EXPECT_EQ(file.Write(bytes, 1, 15), 15u);
  EXPECT_EQ(file.Tell(), 0xFFFFFFFFu);
  file.Delete();
  EXPECT_FALSE(fs::exists(Path("sparse.bin")));
  EXPECT_NO_THROW(file.Delete()) << "a second delete finds no file";
}

// Faults of the system under the file (made by the POSIX layer's fault
// injection): each failure keeps size and position; a failed delete still closes.
TEST_F(CFileTest, SystemFailuresKeepSizeAndPosition) {
  File file(Path("full.bin"));
  file.Open(File::CREATE);
  file.Write("abcdef", 1, 6);
  file.Seek(4, File::FROM_BEGIN, File::FORWARD);
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Write, ENOSPC))
    GTEST_SKIP() << "made by the POSIX layer's fault injection";
  EXPECT_TRUE(FileError(Catch([&] { file.Write("efgh", 1, 4); }), typeid(WriteErrorException),
                        ZEBFileMsg::CANNOT_WRITE, 85, ERROR_DISK_FULL, file));
  file.Write("EF", 1, 2); // where the failed write began: the system's pointer was put back
  ASSERT_TRUE(ZEBPlatform::LimitWrites(0, 0)); // a write that makes no progress is a full disk
  EXPECT_TRUE(FileError(Catch([&] { file.Write("gh", 1, 2); }), typeid(WriteErrorException),
                        ZEBFileMsg::CANNOT_WRITE, 85, ERROR_DISK_FULL, file));
  ZEBPlatform::ClearFaults();
  file.Seek(2, File::FROM_BEGIN, File::FORWARD);
  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Fallocate, ENOSPC));
  EXPECT_TRUE(FileError(Catch([&] { file.SetSize(50, false); }), typeid(FileException), ZEBFileMsg::CANNOT_SEEK, 79,
                        ERROR_DISK_FULL, file));
  EXPECT_EQ(file.Size(), 6u);
  EXPECT_EQ(file.Tell(), 2u);
  file.Write("XY", 1, 2);
  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Unlink, EACCES));
  EXPECT_TRUE(FileError(Catch([&] { file.Delete(); }), typeid(FileCannotDeleteException), ZEBFileMsg::CANNOT_DELETE,
                        73, ERROR_ACCESS_DENIED, file));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(dir.ReadFile("full.bin"), "abXYEF");
}
