// The memory-mapped file: each open mode on each kind of file, sharing, views,
// flushing, resizing, deleting, what each failure throws, and the parser
// reading a mapped view in place.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <tuple>
#include <typeindex>

#include "ZEBFile/BinaryStreamParser.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/MemoryMapFile.h"
#include "ZEBFile/StaticMemoryBuffer.h"
#include "support/TempDir.h"

using namespace ZEBFile;
using Map = MemoryMapFile;

namespace {

constexpr uint64_t G = 65536;
constexpr unsigned NOT_FOUND = 2, ACCESS_DENIED = 5, INVALID_HANDLE = 6, SHARING_VIOLATION = 32,
                   INVALID_PARAMETER = 87, MAPPED_ALIGNMENT = 1132;

enum Kind { MISSING, EMPTY, SMALL, LARGE };

std::string ContentOf(Kind kind) {
  std::string s(kind == SMALL ? 100 : kind == LARGE ? 3 * G + 5 : 0, ' ');
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

std::string Bytes(void const* at, uint64_t n) { return std::string(static_cast<char const*>(at), n); }

// What `action` throws: the class, the message (id, throw-site line, source,
// the file name as parameter, text) and the system error.
template <class Action>
void ExpectFailure(Action&& action, std::type_info const& type, int id, unsigned lastError, std::string const& name) {
  static std::map<int, std::pair<int, char const*>> const MESSAGES = {
      {1, {295, "An error occurred while opening the read-only file "}},
      {2, {301, "An error occurred while opening the write-only file "}},
      {5, {307, "An error occurred while deleting the file "}},
      {7, {313, "An error occurred while getting a view of the file "}}};
  try {
    action();
    ADD_FAILURE() << "nothing thrown";
  } catch (ZEB::BaseException const& e) {
    EXPECT_EQ(std::type_index(typeid(e)), std::type_index(type)) << typeid(e).name();
    ASSERT_TRUE(e.Info());
    auto const& i = *e.Info();
    EXPECT_EQ(std::make_tuple(i.Id(), i.Line(), i.LastError()), std::make_tuple(id, MESSAGES.at(id).first, lastError));
    EXPECT_EQ(std::string(i.File()), "src/ZEBMemoryMapFile");
    EXPECT_EQ(std::string(e.what()).find(MESSAGES.at(id).second + name + "."), 0u) << e.what();
    EXPECT_EQ(i.Parameters().at(0), ZEB::WString(name.begin(), name.end()));
  }
}

class MemoryMapFileTest : public ::testing::Test {
protected:
  ZEBTest::TempDir dir{"mmap"};
  std::string Make(Kind kind) {
    std::filesystem::remove(dir.Child("file.bin"));
    if (kind != MISSING)
      dir.WriteFile("file.bin", ContentOf(kind));
    return dir.Child("file.bin");
  }
};

// What a parser shows after an operation that gave `result` and wrote `out`.
std::string State(BinaryStreamParser& p, ZEB::BinaryStreamBufT<unsigned> const& source, bool result,
                  std::string const& out) {
  std::string record;
  p.GetRecordFetchingContent(record, 0, 0);
  return std::to_string(result) + "|" + out + "|" + std::to_string(p.GetCurrentStreamOffset()) + "|" +
         std::to_string(source.TellG()) + "|" + std::string(p.GetKeywordBuffer(), p.GetKeywordLen()) + "|" + record;
}

} // namespace

// READ maps the file's own size (an empty file: no view); the writing modes
// map at least one granularity, growing the file; CREATE empties it.
TEST_F(MemoryMapFileTest, OpenModesOnEveryKindOfFile) {
  struct Row { Map::OpenMode mode; Kind kind; uint64_t size; bool kept; /* the file's bytes stay */ } const rows[] = {
      {Map::READ, EMPTY, 0, true},         {Map::READ, SMALL, 100, true},        {Map::READ, LARGE, 3 * G + 5, true},
      {Map::READ_WRITE, MISSING, G, false}, {Map::READ_WRITE, EMPTY, G, true},   {Map::READ_WRITE, SMALL, G, true},
      {Map::READ_WRITE, LARGE, 3 * G + 5, true}, {Map::CREATE, MISSING, G, false}, {Map::CREATE, EMPTY, G, false},
      {Map::CREATE, SMALL, G, false},      {Map::CREATE, LARGE, G, false}};
  for (Row const& r : rows) {
    SCOPED_TRACE("mode " + std::to_string(r.mode) + " kind " + std::to_string(r.kind));
    std::string path = Make(r.kind);
    Map map(path);
    map.Open(r.mode);
    EXPECT_TRUE(map.IsOpen());
    EXPECT_EQ(map.Size(), r.size);
    std::string expected = (r.kept ? ContentOf(r.kind) : "") + std::string(r.size, '\0');
    expected.resize(r.size);
    if (r.size == 0) {
      ExpectFailure([&] { map.GetView(0, 0); }, typeid(FileException), 7, ACCESS_DENIED, path);
    } else {
      EXPECT_EQ(Bytes(map.GetView(0, 0), std::min(G, r.size)), expected.substr(0, G));
    }
    map.Close();
    EXPECT_FALSE(map.IsOpen());
    EXPECT_EQ(dir.ReadFile("file.bin"), expected);
  }
  Map missing(Make(MISSING));
  ExpectFailure([&] { missing.Open(Map::READ); }, typeid(FileCannotOpenException), 1, NOT_FOUND, Make(MISSING));
  EXPECT_FALSE(missing.IsOpen());
}

TEST_F(MemoryMapFileTest, SharingAgainstASecondOpen) {
  struct Row { Map::OpenMode first, second; int id; /* -1: the second open succeeds */ } const rows[] = {
      {Map::READ, Map::READ, -1}, {Map::READ, Map::READ_WRITE, 2}, {Map::READ_WRITE, Map::READ, 1},
      {Map::CREATE, Map::READ_WRITE, 2}};
  std::string path = Make(SMALL);
  for (Row const& r : rows) {
    SCOPED_TRACE(std::to_string(r.first) + " then " + std::to_string(r.second));
    Map first(path), second(path);
    first.Open(r.first);
    if (r.id < 0) {
      second.Open(r.second);
    } else {
      ExpectFailure([&] { second.Open(r.second); }, typeid(FileCannotOpenException), r.id, SHARING_VIOLATION, path);
    }
    EXPECT_EQ(second.IsOpen(), r.id < 0);
  }
}

TEST_F(MemoryMapFileTest, ViewsByOffsetReleaseAndFlush) {
  std::string path = Make(LARGE), content = ContentOf(LARGE);
  Map map(path);
  map.Open(Map::READ);
  void* first = map.GetView(G, 0);
  EXPECT_EQ(Bytes(first, G), content.substr(G, G));
  EXPECT_EQ(Bytes(map.GetView(2 * G, 100), 100), content.substr(2 * G, 100));
  EXPECT_EQ(map.GetView(G, 5), first) << "one view per offset, whatever the size";
  EXPECT_EQ(Bytes(map.GetView(3 * G, 0), 5), content.substr(3 * G)) << "what remains, under one granularity";
  struct Bad { uint64_t offset; uint32_t size; unsigned error; } const bad[] = {
      {map.Size(), 1, ACCESS_DENIED}, {map.Size(), 0, ACCESS_DENIED}, {0, uint32_t(map.Size() + 1), ACCESS_DENIED},
      {100, 0, MAPPED_ALIGNMENT}};
  for (Bad const& b : bad)
    ExpectFailure([&] { map.GetView(b.offset, b.size); }, typeid(FileException), 7, b.error, path);
  EXPECT_EQ(map.NbrView(), 3u);

  map.ReleaseView(G, true);
  map.ReleaseView(12345, false);
  EXPECT_FALSE(map.IsViewExist(G));
  EXPECT_TRUE(map.IsViewExist(2 * G));
  EXPECT_EQ(map.NbrView(), 2u);
  map.Flush();
  EXPECT_EQ(map.NbrView(), 0u);
  EXPECT_EQ(Bytes(map.GetView(0, uint32_t(map.Size())), map.Size()), content);
}

TEST_F(MemoryMapFileTest, ResizeAndDataWrittenThroughViews) {
  std::string path = Make(MISSING);
  Map map(path);
  map.Open(Map::CREATE);
  std::memcpy(map.GetView(0, 0), "hello", 5);
  map.Resize(3 * G);
  EXPECT_EQ(map.NbrView(), 0u);
  EXPECT_EQ(map.Size(), 3 * G);
  EXPECT_EQ(Bytes(map.GetView(0, 5), 5), "hello");
  std::memcpy(map.GetView(2 * G, 0), "far", 3);
  map.Resize(G + G / 2);
  EXPECT_EQ(map.Size(), G + G / 2);
  EXPECT_EQ(map.NbrView(), 0u);
  std::memcpy(map.GetView(G, 0), "tail", 4);
  map.FlushView(G, 0);
  map.Close();
  ExpectFailure([&] { map.GetView(0, 0); }, typeid(FileException), 7, INVALID_HANDLE, path);
  std::string file = dir.ReadFile("file.bin");
  ASSERT_EQ(file.size(), G + G / 2) << "cut to the new size";
  EXPECT_EQ(file.substr(0, 5) + file.substr(G, 4), "hellotail");

  map.Open(Map::READ_WRITE);
  map.Resize(0);
  ExpectFailure([&] { map.GetView(0, 0); }, typeid(FileException), 7, ACCESS_DENIED, path);
  ExpectFailure([&] { map.Open(Map::OpenMode(7)); }, typeid(FileCannotOpenException), 2, INVALID_PARAMETER, path);
  EXPECT_TRUE(map.IsOpen()) << "an invalid mode changes nothing";
}

TEST_F(MemoryMapFileTest, DeleteOpenMissingAndHeldFiles) {
  std::string path = Make(SMALL);
  Map map(path);
  map.Open(Map::READ_WRITE);
  map.GetView(0, 0);
  map.Delete();
  EXPECT_FALSE(map.IsOpen());
  EXPECT_FALSE(dir.Exists("file.bin"));
  EXPECT_NO_THROW(map.Delete()) << "a missing name is left alone";
  Map holder(Make(SMALL));
  holder.Open(Map::READ);
  ExpectFailure([&] { map.Delete(); }, typeid(FileException), 5, SHARING_VIOLATION, path);
  EXPECT_TRUE(dir.Exists("file.bin"));
}

// The same operations on a parser over a read-only mapped view (read in
// place) and over a MemoryBuffer holding the same bytes give the same
// results, positions, captures and source positions.
TEST_F(MemoryMapFileTest, ParserOverAMappedViewMatchesAMemoryBuffer) {
  std::mt19937 rng(7);
  std::string data(9 * 4096 + 123, 'a');
  for (char& c : data)
    c = std::string("abcxyz\n;-> \0abc", 15)[rng() % 15];
  for (std::size_t at : {4095u, 4096u, 7 * 4096u + 5})
    data[at] = 'q';
  dir.WriteFile("file.bin", data);
  Map map(dir.Child("file.bin"));
  map.Open(Map::READ);
  StaticMemoryBuffer mapped(static_cast<void const*>(map.GetView(0, uint32_t(data.size()))), uint32_t(data.size()));
  MemoryBuffer copy(data.data(), uint32_t(data.size()));

  using Op = bool (*)(BinaryStreamParser&, std::string&);
  Op const ops[] = {
      [](BinaryStreamParser& p, std::string&) { return p.FetchTo('\n', false); },
      [](BinaryStreamParser& p, std::string&) { return p.FetchTo('q', false); },
      [](BinaryStreamParser& p, std::string&) { return p.Fetch(1, false, false); },
      [](BinaryStreamParser& p, std::string& out) { return p.FetchUntil("xz", out); },
      [](BinaryStreamParser& p, std::string&) { return p.FetchBeyond("-->", false); },
      [](BinaryStreamParser& p, std::string&) { return p.FetchUntilNot("abc", false); },
      [](BinaryStreamParser& p, std::string&) { return p.Seek(p.GetCurrentStreamOffset() / 3), true; },
      [](BinaryStreamParser& p, std::string&) { return p.SetRecordFetching(p.GetRecordFetchingSize() == 0), true; },
      [](BinaryStreamParser& p, std::string&) { return p.IgnoreNulls(p.GetCurrentChar() == 'a'), true; },
      [](BinaryStreamParser& p, std::string& out) { // NULs dropped from the output, not from the view
        ZEB::RefCount<MemoryBuffer> into;
        bool found = p.FetchIntoTo(into, p.GetCurrentStreamOffset() % 2 ? ";" : "->", " \n", true, true);
        if (into)
          into->Copy(out, 0xFFFFFFFFu);
        return found;
      },
  };
  BinaryStreamParser inPlace(mapped, false), copied(copy, false);
  for (int step = 0; step < 400; ++step) {
    Op op = ops[rng() % std::size(ops)];
    std::string outA, outB;
    bool a = op(inPlace, outA), b = op(copied, outB);
    ASSERT_EQ(State(inPlace, mapped, a, outA), State(copied, copy, b, outB)) << "step " << step;
  }
}
