// The memory-mapped file: open modes on every kind of file, sharing against a
// second open, views, resizing and deletion.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryMapFile.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Win32.h"
#include "support/BufferWalk.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

using namespace ZEBFile;
using Map = MemoryMapFile;
using ZEBTest::Catch;
using ZEBTest::Pattern;
using ZEBTest::Raised;

namespace {

constexpr uint64_t G = 65536;

enum Kind { MISSING, EMPTY, SMALL, LARGE };

std::string ContentOf(Kind kind) { return Pattern(kind == SMALL ? 100 : kind == LARGE ? 3 * G + 5 : 0); }

std::string Bytes(void const* at, uint64_t n) { return std::string(static_cast<char const*>(at), n); }

class MemoryMapFileTest : public ::testing::Test {
protected:
  ZEBTest::TempDir dir{"mmap"};
  std::string const path = dir.Child("file.bin");
  std::string Make(Kind kind) {
    std::filesystem::remove(path);
    if (kind != MISSING)
      dir.WriteFile("file.bin", ContentOf(kind));
    return path;
  }
  // `action` throws `type` with message `id` naming the file, and `error`.
  template <class Action>
  ::testing::AssertionResult Refused(Action&& action, std::type_info const& type, int id, unsigned error) {
    return Raised(Catch(action), type, id, {path}, error);
  }
  ::testing::AssertionResult ViewRefused(Map& map, uint64_t offset, uint32_t size, unsigned error) {
    return Refused([&] { map.GetView(offset, size); }, typeid(FileException), ZEBFileMsg::CANNOT_GET_VIEW, error);
  }
};

} // namespace

// READ maps the file's own size (an empty file: no view); the writing modes
// map at least one granularity, growing the file; CREATE empties it.
TEST_F(MemoryMapFileTest, OpenModesOnEveryKindOfFile) {
  struct Row { Map::OpenMode mode; Kind kind; uint64_t size; bool kept; /* the file's bytes stay */ } const rows[] = {
      {Map::READ, EMPTY, 0, true},          {Map::READ, SMALL, 100, true},         {Map::READ, LARGE, 3 * G + 5, true},
      {Map::READ_WRITE, MISSING, G, false}, {Map::READ_WRITE, EMPTY, G, true},     {Map::READ_WRITE, SMALL, G, true},
      {Map::READ_WRITE, LARGE, 3 * G + 5, true}, {Map::CREATE, MISSING, G, false}, {Map::CREATE, EMPTY, G, false},
      {Map::CREATE, SMALL, G, false},       {Map::CREATE, LARGE, G, false}};
  for (Row const& r : rows) {
    SCOPED_TRACE("mode " + std::to_string(r.mode) + " kind " + std::to_string(r.kind));
    Map map(Make(r.kind));
    map.Open(r.mode);
    EXPECT_EQ(map.Size(), r.size);
    std::string expected = (r.kept ? ContentOf(r.kind) : "") + std::string(r.size, '\0');
    expected.resize(r.size);
    if (r.size == 0) {
      EXPECT_TRUE(ViewRefused(map, 0, 0, ERROR_ACCESS_DENIED));
    } else {
      EXPECT_EQ(Bytes(map.GetView(0, 0), std::min(G, r.size)), expected.substr(0, G));
    }
    map.Close();
    EXPECT_EQ(dir.ReadFile("file.bin"), expected);
  }
  Map missing(Make(MISSING));
  EXPECT_TRUE(Refused([&] { missing.Open(Map::READ); }, typeid(FileCannotOpenException),
                      ZEBFileMsg::CANNOT_OPEN_READ_ONLY, ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(missing.IsOpen());
}

// A second open that would write, or read what is being written, is refused,
// and so is deleting a file held open elsewhere.
TEST_F(MemoryMapFileTest, SharingAgainstASecondOpen) {
  struct Row { Map::OpenMode first, second; int id; /* -1: the second open succeeds */ } const rows[] = {
      {Map::READ, Map::READ, -1}, {Map::READ, Map::READ_WRITE, ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY},
      {Map::READ_WRITE, Map::READ, ZEBFileMsg::CANNOT_OPEN_READ_ONLY}};
  Make(SMALL);
  for (Row const& r : rows) {
    SCOPED_TRACE(std::to_string(r.first) + " then " + std::to_string(r.second));
    Map first(path), second(path);
    first.Open(r.first);
    if (r.id < 0) {
      second.Open(r.second);
    } else {
      EXPECT_TRUE(Refused([&] { second.Open(r.second); }, typeid(FileCannotOpenException), r.id,
                          ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(second.IsOpen(), r.id < 0);
  }
  Map holder(path), map(path);
  holder.Open(Map::READ);
  EXPECT_TRUE(
      Refused([&] { map.Delete(); }, typeid(FileException), ZEBFileMsg::CANNOT_DELETE, ERROR_SHARING_VIOLATION));
}

// One view per offset, released and flushed; data written through views
// reaches the file, which a resize grows and cuts; Delete removes it.
TEST_F(MemoryMapFileTest, ViewsResizeAndDelete) {
  std::string content = ContentOf(LARGE);
  Map map(Make(LARGE));
  map.Open(Map::READ);
  void* first = map.GetView(G, 0);
  EXPECT_EQ(Bytes(first, G), content.substr(G, G));
  EXPECT_EQ(map.GetView(G, 5), first) << "one view per offset, whatever the size";
  EXPECT_EQ(Bytes(map.GetView(3 * G, 0), 5), content.substr(3 * G)) << "what remains, under one granularity";
  EXPECT_TRUE(ViewRefused(map, map.Size(), 0, ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ViewRefused(map, G, uint32_t(3 * G), ERROR_ACCESS_DENIED)) << "past the end, though a view is there";
  EXPECT_TRUE(ViewRefused(map, 100, 0, ERROR_MAPPED_ALIGNMENT));
  map.ReleaseView(G, true);
  EXPECT_FALSE(map.IsViewExist(G));
  EXPECT_EQ(map.NbrView(), 1u);
  map.Flush();
  EXPECT_EQ(map.NbrView(), 0u);

  map.Open(Map::READ_WRITE);
  std::memcpy(map.GetView(0, 0), "hello", 5);
  map.Resize(5 * G);
  EXPECT_EQ(map.NbrView(), 0u);
  std::memcpy(map.GetView(4 * G, 0), "far", 3);
  map.Resize(G + G / 2);
  std::memcpy(map.GetView(G, 0), "tail", 4);
  map.Close();
  EXPECT_TRUE(ViewRefused(map, 0, 0, ERROR_INVALID_HANDLE));
  std::string file = dir.ReadFile("file.bin");
  ASSERT_EQ(file.size(), G + G / 2) << "cut to the new size";
  EXPECT_EQ(file.substr(0, 15) + file.substr(G, 4), "hello" + content.substr(5, 10) + "tail");
  map.Open(Map::READ_WRITE);
  map.Resize(0);
  EXPECT_TRUE(ViewRefused(map, 0, 0, ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Refused([&] { map.Open(Map::OpenMode(7)); }, typeid(FileCannotOpenException),
                      ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY, ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(map.IsOpen()) << "an invalid mode changes nothing";
  map.Delete();
  EXPECT_FALSE(map.IsOpen() || dir.Exists("file.bin"));
  EXPECT_NO_THROW(map.Delete()) << "a missing name is left alone";
}
