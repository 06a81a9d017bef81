// The file class: open modes and their sharing (second handle, second
// process), the exception chosen for each failure with its message, path and
// system error, checked transfers, seek range rules, sizes on disk, delete.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <typeindex>
#include <typeinfo>

#include "ZEBFile/CFile.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Config.h"
#include "ZEBPlatform/Win32.h"
#include "support/TempDir.h"

using namespace ZEBFile;
using File = CFileT<unsigned>;
namespace fs = std::filesystem;

namespace {

void WriteHostFile(std::string const& path, std::string const& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string ReadHostFile(std::string const& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ZEB::WString Wide(std::string const& ascii) { return ZEB::WString(ascii.begin(), ascii.end()); }

// What a thrown library exception carried.
struct Caught {
  bool thrown = false;
  std::type_index type = typeid(void);
  int id = -1;
  int line = -1;
  unsigned lastError = 0;
  std::string file;
  ZEB::WString parameter;
};

Caught Catch(std::function<void()> const& action) {
  Caught caught;
  try {
    action();
  } catch (ZEB::BaseException const& e) {
    caught.thrown = true;
    caught.type = typeid(e);
    if (auto const& info = e.Info()) {
      caught.id = info->Id();
      caught.line = info->Line();
      caught.lastError = info->LastError();
      caught.file = info->File();
      if (!info->Parameters().empty())
        caught.parameter = info->Parameters().front();
    }
  }
  return caught;
}

void ExpectError(Caught const& caught, std::type_info const& type, int id, int line, unsigned lastError,
                 File const& file) {
  ASSERT_TRUE(caught.thrown);
  EXPECT_EQ(caught.type, std::type_index(type)) << caught.type.name();
  EXPECT_EQ(caught.id, id);
  EXPECT_EQ(caught.line, line);
  EXPECT_EQ(caught.lastError, lastError);
  EXPECT_EQ(caught.file, "src/ZEBCFile");
  EXPECT_EQ(caught.parameter, Wide(*file.Path()));
}

char const* ModeName(uint32_t mode) {
  static char const* const NAMES[] = {"READ", "READ_WRITE", "CREATE"};
  return mode < 3 ? NAMES[mode] : "?";
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

// Opens a file in a child process: what the child saw, as an exit status.
struct ChildOpen {
  std::string path;
  uint32_t mode;
};

enum ChildResult { CHILD_OPENED = 10, CHILD_SHARING_VIOLATION = 11, CHILD_OTHER_ERROR = 12 };

int OpenInChild(void* argument) {
  auto const* request = static_cast<ChildOpen const*>(argument);
  try {
    File file(request->path);
    file.Open(request->mode);
    return CHILD_OPENED;
  } catch (SharingViolationException const& e) {
    return e.Info() && e.Info()->LastError() == ERROR_SHARING_VIOLATION ? CHILD_SHARING_VIOLATION : CHILD_OTHER_ERROR;
  } catch (...) {
    return CHILD_OTHER_ERROR;
  }
}

} // namespace

TEST(CFile, OpenModesCreateKeepOrTruncate) {
  ZEBTest::TempDir dir("cfile");
  std::string path = dir.Child("modes.bin");

  File file(path);
  EXPECT_EQ(file.Open(File::CREATE), 0u);
  EXPECT_TRUE(file.Writable());
  EXPECT_EQ(file.Write("hello world", 1, 11), 11u);
  file.Close();
  EXPECT_EQ(ReadHostFile(path), "hello world");

  EXPECT_EQ(file.Open(File::READ_WRITE), 11u) << "READ_WRITE keeps the content";
  EXPECT_EQ(file.Tell(), 0u);
  EXPECT_TRUE(file.Writable());
  file.Write("J", 1, 1);
  file.Close();
  EXPECT_EQ(ReadHostFile(path), "Jello world");

  EXPECT_EQ(file.Open(File::READ), 11u);
  EXPECT_FALSE(file.Writable());
  char bytes[11];
  EXPECT_EQ(file.Read(bytes, 1, 11, true), 11u);
  EXPECT_EQ(std::string(bytes, 11), "Jello world");
  EXPECT_TRUE(file.EndOfFile());

  EXPECT_EQ(file.Open(File::CREATE), 0u) << "CREATE truncates";
  file.Close();
  EXPECT_EQ(fs::file_size(path), 0u);

  std::string fresh = dir.Child("fresh.bin");
  File created(fresh);
  EXPECT_EQ(created.Open(File::READ_WRITE), 0u) << "READ_WRITE creates a missing file";
  EXPECT_TRUE(fs::exists(fresh));
}

TEST(CFile, NothingIsOpenedWithoutAKnownMode) {
  ZEBTest::TempDir dir("cfile");
  File file(dir.Child("x.bin"), File::HINT_RANDOM, false, true);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Open(3), 0u);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Tell(), 0u);
  EXPECT_EQ(file.Size(), 0u);
  EXPECT_FALSE(fs::exists(dir.Child("x.bin")));
}

TEST(CFile, ReopeningTheSameObjectInAnotherModeWorks) {
  ZEBTest::TempDir dir("cfile");
  std::string path = dir.Child("reopen.bin");
  WriteHostFile(path, "abc");
  File file(path);
  file.Open(File::READ);
  EXPECT_EQ(file.Open(File::READ_WRITE), 3u);
  EXPECT_EQ(file.Open(File::READ), 3u);
  File other(path);
  EXPECT_EQ(other.Open(File::READ), 3u) << "the exclusive handle was closed by the reopen";
}

TEST(CFile, OpenFailuresGiveTheirClassMessageAndError) {
  ZEBTest::TempDir dir("cfile");
  File missing(dir.Child("missing.bin"));
  ExpectError(Catch([&] { missing.Open(File::READ); }), typeid(FileCannotOpenException),
              ZEBFileMsg::CANNOT_OPEN_READ_ONLY, 49, ERROR_FILE_NOT_FOUND, missing);
  EXPECT_FALSE(missing.IsOpen());

  File noDirectory(dir.Child("no-such-dir/file.bin"));
  ExpectError(Catch([&] { noDirectory.Open(File::CREATE); }), typeid(FileCannotOpenException),
              ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY, 61, ERROR_PATH_NOT_FOUND, noDirectory);
  ExpectError(Catch([&] { noDirectory.Open(File::READ_WRITE); }), typeid(FileCannotOpenException),
              ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY, 61, ERROR_PATH_NOT_FOUND, noDirectory);

  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Open, EACCES))
    GTEST_SKIP() << "access denial is made by the POSIX layer's fault injection";
  WriteHostFile(dir.Child("locked.bin"), "x");
  File locked(dir.Child("locked.bin"));
  ExpectError(Catch([&] { locked.Open(File::READ); }), typeid(FileAccessDeniedException),
              ZEBFileMsg::CANNOT_OPEN_READ_ONLY, 49, ERROR_ACCESS_DENIED, locked);
  ZEBPlatform::ClearFaults();
}

// A second open while a first handle is held, in this process and in a
// child process. Reading shares with readers and writers; the write modes
// hold the file exclusively.
TEST(CFile, SharingBetweenHandlesAndProcesses) {
  struct Row {
    uint32_t held, second;
    bool opens;
  };
  Row const rows[] = {
      {File::READ, File::READ, true},
      {File::READ, File::READ_WRITE, false},
      {File::READ, File::CREATE, false},
      {File::READ_WRITE, File::READ, false},
      {File::READ_WRITE, File::READ_WRITE, false},
      {File::CREATE, File::READ, false},
      {File::CREATE, File::CREATE, false},
  };
  ZEBTest::TempDir dir("cfile");
  std::string path = dir.Child("shared.bin");
  for (Row const& row : rows) {
    SCOPED_TRACE(std::string("held ") + ModeName(row.held) + ", second " + ModeName(row.second));
    WriteHostFile(path, "shared content");
    File first(path);
    first.Open(row.held);

    File second(path);
    Caught caught = Catch([&] { second.Open(row.second); });
    if (row.opens) {
      EXPECT_FALSE(caught.thrown);
      EXPECT_TRUE(second.IsOpen());
    } else {
      ExpectError(caught, typeid(SharingViolationException),
                  row.second == File::READ ? ZEBFileMsg::CANNOT_OPEN_READ_ONLY : ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY,
                  row.second == File::READ ? 49 : 61, ERROR_SHARING_VIOLATION, second);
    }
    second.Close();

    ChildOpen request{path, row.second};
    int status = ZEBPlatform::RunInChildProcess(OpenInChild, &request);
    if (status == -1)
      continue; // no child processes on this platform
    EXPECT_EQ(status, row.opens ? CHILD_OPENED : CHILD_SHARING_VIOLATION);
  }
}

TEST(CFile, ThrowChoosesTheClassFromActionAndError) {
  struct Row {
    CFileBase::Action action;
    uint32_t error;
    std::type_info const& type;
    int id, line;
  };
  Row const rows[] = {
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
    ExpectError(Catch([&] { file.ThrowFor(row.action, row.error); }), row.type, row.id, row.line, row.error, file);
  }

  for (int unnamed : {2, 4, 9, -1}) {
    SCOPED_TRACE(unnamed);
    EXPECT_FALSE(Catch([&] { file.ThrowFor(CFileBase::Action(unnamed), ERROR_ACCESS_DENIED); }).thrown);
  }
}

TEST(CFile, WriteWithHintsAndCloseKeepsTheFileUnlessDeleteOnClose) {
  ZEBTest::TempDir dir("cfile");
  for (uint32_t hint : {0u, 1u, 2u, 3u, 4u, 7u}) {
    SCOPED_TRACE("hint " + std::to_string(hint));
    for (bool buffered : {true, false}) {
      std::string path = dir.Child("hint" + std::to_string(hint) + (buffered ? "b" : "u"));
      {
        File file(path, hint, buffered);
        file.Open(File::CREATE);
        EXPECT_EQ(file.Write("12345678", 2, 4), 8u);
        EXPECT_TRUE(fs::exists(path));
        file.Flush();
      }
      EXPECT_EQ(fs::exists(path), hint != File::HINT_DELETE_ON_CLOSE);
      if (hint != File::HINT_DELETE_ON_CLOSE) {
        EXPECT_EQ(ReadHostFile(path), "12345678");
      }
    }
  }
}

TEST(CFile, ExactReadPastTheEndThrowsAndLeavesThePosition) {
  ZEBTest::TempDir dir("cfile");
  File file(dir.Child("short.bin"));
  file.Open(File::CREATE);
  file.Write("0123456789", 1, 10);
  file.Seek(4, File::FROM_BEGIN, File::FORWARD);

  char bytes[16] = {};
  ExpectError(Catch([&] { file.Read(bytes, 4, 4, true); }), typeid(FileException), ZEBFileMsg::CANNOT_READ, 91,
              ERROR_HANDLE_EOF, file);
  EXPECT_EQ(file.Tell(), 4u);
  EXPECT_EQ(file.Read(bytes, 1, 16, false), 6u) << "the system's pointer was put back too";
  EXPECT_EQ(std::string(bytes, 6), "456789");
  EXPECT_EQ(file.Tell(), 10u);
  EXPECT_EQ(file.Read(bytes, 1, 16, false), 0u);
  EXPECT_TRUE(file.EndOfFile());
}

TEST(CFile, SeekRangeRules) {
  struct Row {
    uint32_t start, offset, origin;
    File::Direction direction;
    bool outOfRange;
    uint32_t position;
  };
  auto const F = File::FORWARD;
  auto const B = File::BACKWARD;
  Row const rows[] = {
      {0, 5, File::FROM_BEGIN, B, true, 0},
      {2, 0, File::FROM_BEGIN, B, true, 2},
      {2, 3, File::FROM_BEGIN, F, false, 3},
      {0, 10, File::FROM_END, B, true, 0},
      {0, 4, File::FROM_END, B, false, 0},
      {0, 1, File::FROM_END, B, false, 3},
      {0, 6, File::FROM_END, F, false, 10},
      {1, 0xFFFFFFFFu, File::FROM_END, F, true, 1},
      {3, 4, File::FROM_CURRENT, B, true, 3},
      {3, 3, File::FROM_CURRENT, B, false, 0},
      {3, 2, File::FROM_CURRENT, File::Direction(7), false, 1},
      {3, 5, File::FROM_CURRENT, F, false, 8},
  };
  ZEBTest::TempDir dir("cfile");
  File file(dir.Child("seek.bin"));
  file.Open(File::CREATE);
  file.Write("abcd", 1, 4);
  for (Row const& row : rows) {
    SCOPED_TRACE("start " + std::to_string(row.start) + ", offset " + std::to_string(row.offset) + ", origin " +
                 std::to_string(row.origin) + ", direction " + std::to_string(row.direction));
    file.SetSize(4, true);
    file.Seek(row.start, File::FROM_BEGIN, F);
    Caught caught = Catch([&] { file.Seek(row.offset, row.origin, row.direction); });
    EXPECT_EQ(caught.thrown, row.outOfRange);
    if (caught.thrown) {
      EXPECT_EQ(caught.type, std::type_index(typeid(SeekOutOfRangeException)));
    }
    EXPECT_EQ(file.Tell(), row.position);
  }
}

TEST(CFile, SeekBeyondTheEndRaisesTheSizeButNotTheFile) {
  ZEBTest::TempDir dir("cfile");
  std::string path = dir.Child("sparse.bin");
  File file(path);
  file.Open(File::CREATE);
  file.Write("abcd", 1, 4);
  file.Seek(100, File::FROM_BEGIN, File::FORWARD);
  EXPECT_EQ(file.Size(), 100u);
  EXPECT_TRUE(file.EndOfFile());
  EXPECT_EQ(fs::file_size(path), 4u);

  file.SetSize(100, false);
  EXPECT_EQ(fs::file_size(path), 4u) << "the size is unchanged and not forced: nothing happens";
  file.SetSize(100, true);
  EXPECT_EQ(fs::file_size(path), 100u);
  EXPECT_EQ(file.Tell(), 100u);

  file.SetSize(2, false);
  EXPECT_EQ(fs::file_size(path), 2u);
  EXPECT_EQ(file.Size(), 2u);
  EXPECT_EQ(file.Tell(), 2u);
  file.Write("Z", 1, 1);
  file.Close();
  EXPECT_EQ(ReadHostFile(path), "abZ");
}

TEST(CFile, SetSizeGrowsAndGrowExtendsFromTheEnd) {
  ZEBTest::TempDir dir("cfile");
  std::string path = dir.Child("grow.bin");
  File file(path);
  file.Open(File::CREATE);
  file.Write("xy", 1, 2);
  file.SetSize(10, false);
  EXPECT_EQ(fs::file_size(path), 10u);
  EXPECT_EQ(file.Size(), 10u);
  EXPECT_EQ(file.Tell(), 10u);

  file.Seek(0, File::FROM_BEGIN, File::FORWARD);
  file.Grow(6);
  EXPECT_EQ(fs::file_size(path), 16u);
  EXPECT_EQ(file.Tell(), 16u);
  EXPECT_EQ(file.Size(), 16u);
  file.Close();
  EXPECT_EQ(ReadHostFile(path), std::string("xy") + std::string(14, '\0'));
}

// Positions stop at 0xFFFFFFFF: a seek past it is a seek error, a write
// that would cross it writes nothing; neither moves the position.
TEST(CFile, FourGibibyteLimit) {
  ZEBTest::TempDir dir("cfile");
  std::string path = dir.Child("limit.bin");
  File file(path);
  file.Open(File::CREATE);
  file.Seek(0xFFFFFFF0u, File::FROM_BEGIN, File::FORWARD);
  EXPECT_EQ(file.Tell(), 0xFFFFFFF0u);

  Caught seek = Catch([&] { file.Seek(0x20, File::FROM_CURRENT, File::FORWARD); });
  ASSERT_TRUE(seek.thrown);
  EXPECT_EQ(seek.type, std::type_index(typeid(FileException)));
  EXPECT_EQ(seek.id, int(ZEBFileMsg::CANNOT_SEEK));
  EXPECT_EQ(file.Tell(), 0xFFFFFFF0u);

  char bytes[32] = {};
  Caught write = Catch([&] { file.Write(bytes, 1, 32); });
  ASSERT_TRUE(write.thrown);
  EXPECT_EQ(write.type, std::type_index(typeid(WriteErrorException)));
  EXPECT_EQ(file.Tell(), 0xFFFFFFF0u);
  EXPECT_EQ(file.Write(bytes, 1, 15), 15u);
  EXPECT_EQ(file.Tell(), 0xFFFFFFFFu);
  file.Delete();
  EXPECT_FALSE(fs::exists(path));
}

TEST(CFile, FailedWriteThrowsWriteErrorAndKeepsThePosition) {
  ZEBTest::TempDir dir("cfile");
  std::string path = dir.Child("full.bin");
  File file(path);
  file.Open(File::CREATE);
  file.Write("abcd", 1, 4);
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Write, ENOSPC))
    GTEST_SKIP() << "a full disk is made by the POSIX layer's fault injection";
  ExpectError(Catch([&] { file.Write("efgh", 1, 4); }), typeid(WriteErrorException), ZEBFileMsg::CANNOT_WRITE, 85,
              ERROR_DISK_FULL, file);
  ZEBPlatform::ClearFaults();
  EXPECT_EQ(file.Tell(), 4u);
  EXPECT_EQ(file.Size(), 4u);

  ASSERT_TRUE(ZEBPlatform::LimitWrites(2, ENOSPC));
  Caught shortWrite = Catch([&] { file.Write("efgh", 1, 4); });
  ZEBPlatform::ClearFaults();
  EXPECT_EQ(shortWrite.type, std::type_index(typeid(WriteErrorException)));
  EXPECT_EQ(file.Tell(), 4u) << "the bytes that did go out are not counted";
  file.Write("EFGH", 1, 4);
  file.Close();
  EXPECT_EQ(ReadHostFile(path), "abcdEFGH");
}

TEST(CFile, FailedSizeChangesKeepSizeAndPosition) {
  ZEBTest::TempDir dir("cfile");
  std::string path = dir.Child("trunc.bin");
  File file(path);
  file.Open(File::CREATE);
  file.Write("abcdef", 1, 6);
  file.Seek(2, File::FROM_BEGIN, File::FORWARD);
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Fallocate, ENOSPC))
    GTEST_SKIP() << "made by the POSIX layer's fault injection";
  Caught grow = Catch([&] { file.SetSize(50, false); });
  ZEBPlatform::ClearFaults();
  ExpectError(grow, typeid(FileException), ZEBFileMsg::CANNOT_SEEK, 79, ERROR_DISK_FULL, file);
  EXPECT_EQ(file.Size(), 6u);
  EXPECT_EQ(file.Tell(), 2u);

  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Fallocate, ENOSPC));
  Caught grown = Catch([&] { file.Grow(5); });
  ZEBPlatform::ClearFaults();
  EXPECT_TRUE(grown.thrown);
  EXPECT_EQ(file.Size(), 6u);
  EXPECT_EQ(file.Tell(), 2u);

  ASSERT_TRUE(ZEBPlatform::FailNext(ZEBPlatform::Call::Ftruncate, EIO));
  Caught cut = Catch([&] { file.SetSize(3, false); });
  ZEBPlatform::ClearFaults();
  EXPECT_TRUE(cut.thrown);
  EXPECT_EQ(file.Size(), 6u);
  EXPECT_EQ(file.Tell(), 2u);

  char bytes[2];
  file.Read(bytes, 1, 2, true);
  EXPECT_EQ(std::string(bytes, 2), "cd");
  file.Close();
  EXPECT_EQ(fs::file_size(path), 6u);
}

TEST(CFile, DeleteRemovesTheFileOrOnlyCloses) {
  ZEBTest::TempDir dir("cfile");
  std::string path = dir.Child("doomed.bin");
  File file(path);
  file.Open(File::CREATE);
  file.Write("x", 1, 1);
  file.Delete();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_NO_THROW(file.Delete()) << "a second delete finds no file";

  File never(dir.Child("never.bin"));
  EXPECT_NO_THROW(never.Delete());

  WriteHostFile(path, "again");
  File stubborn(path);
  stubborn.Open(File::READ);
  if (!ZEBPlatform::FailNext(ZEBPlatform::Call::Unlink, EACCES))
    GTEST_SKIP() << "made by the POSIX layer's fault injection";
  ExpectError(Catch([&] { stubborn.Delete(); }), typeid(FileCannotDeleteException), ZEBFileMsg::CANNOT_DELETE, 73,
              ERROR_ACCESS_DENIED, stubborn);
  ZEBPlatform::ClearFaults();
  EXPECT_FALSE(stubborn.IsOpen());
  EXPECT_TRUE(fs::exists(path));
}
