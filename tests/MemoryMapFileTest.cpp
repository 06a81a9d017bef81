// The memory-mapped file: each open mode on missing, empty, small and large
// files, sharing against a second open, views by offset, flushing, resizing
// and deleting, what each failure throws, and the parser reading a mapped
// view in place.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
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
constexpr unsigned NOT_FOUND = 2, ACCESS_DENIED = 5, INVALID_HANDLE = 6, INVALID_PARAMETER = 87,
                   SHARING_VIOLATION = 32, MAPPED_ALIGNMENT = 1132;

enum Kind { MISSING, EMPTY, SMALL, LARGE };

std::string Pattern(std::size_t n) {
  std::string s(n, ' ');
  for (std::size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

std::string ContentOf(Kind kind) { return Pattern(kind == SMALL ? 100 : kind == LARGE ? 3 * G + 5 : 0); }

std::string Bytes(void const* at, uint64_t n) { return std::string(static_cast<char const*>(at), n); }

struct Failure {
  std::type_index type = typeid(void);
  int id = -1, line = -1;
  unsigned lastError = 0;
  std::string file, text;
  ZEB::WString parameter;
};

template <class Action> Failure FailureOf(Action&& action) {
  Failure f;
  try {
    action();
  } catch (ZEB::BaseException const& e) {
    f.type = typeid(e);
    f.text = e.what();
    if (auto const& info = e.Info()) {
      f.id = info->Id();
      f.line = info->Line();
      f.lastError = info->LastError();
      f.file = info->File();
      f.parameter = info->Parameters().empty() ? u"" : info->Parameters().front();
    }
  }
  return f;
}

// The class, message, throw site, file name and system error (0: any).
void ExpectFailure(Failure const& f, std::type_info const& type, int id, unsigned lastError, std::string const& name) {
  static int const LINES[] = {-1, 295, 301, -1, -1, 307, -1, 313, -1, -1, -1, 319};
  EXPECT_EQ(f.type, std::type_index(type)) << f.type.name();
  EXPECT_EQ(f.id, id);
  EXPECT_EQ(f.line, id >= 0 && id < 12 ? LINES[id] : -1);
  EXPECT_EQ(f.file, "src/ZEBMemoryMapFile");
  EXPECT_EQ(f.parameter, ZEB::WString(name.begin(), name.end()));
  if (lastError != 0) {
    EXPECT_EQ(f.lastError, lastError);
  }
}

class MemoryMapFileTest : public ::testing::Test {
protected:
  ZEBTest::TempDir dir{"mmap"};
  std::string Make(Kind kind, std::string const& name = "file.bin") {
    std::filesystem::remove(dir.Child(name));
    if (kind != MISSING)
      dir.WriteFile(name, ContentOf(kind));
    return dir.Child(name);
  }
};

} // namespace

TEST_F(MemoryMapFileTest, OpenModesOnEveryKindOfFile) {
  struct Row {
    Map::OpenMode mode;
    Kind kind;
    uint64_t size; // 0 with MISSING in READ: the open fails
    bool kept;     // the file's bytes are still there
  } const rows[] = {
      {Map::READ, MISSING, 0, false},           {Map::READ, EMPTY, 0, true},
      {Map::READ, SMALL, 100, true},            {Map::READ, LARGE, 3 * G + 5, true},
      {Map::READ_WRITE, MISSING, G, false},     {Map::READ_WRITE, EMPTY, G, true},
      {Map::READ_WRITE, SMALL, G, true},        {Map::READ_WRITE, LARGE, 3 * G + 5, true},
      {Map::CREATE, MISSING, G, false},         {Map::CREATE, EMPTY, G, false},
      {Map::CREATE, SMALL, G, false},           {Map::CREATE, LARGE, G, false},
  };
  for (Row const& r : rows) {
    SCOPED_TRACE("mode " + std::to_string(r.mode) + " kind " + std::to_string(r.kind));
    std::string path = Make(r.kind);
    Map map(path);
    if (r.mode == Map::READ && r.kind == MISSING) {
      Failure f = FailureOf([&] { map.Open(r.mode); });
      ExpectFailure(f, typeid(FileCannotOpenException), 1, NOT_FOUND, path);
      EXPECT_EQ(f.text.find("An error occurred while opening the read-only file " + path + "."), 0u) << f.text;
      EXPECT_FALSE(map.IsOpen());
      continue;
    }
    map.Open(r.mode);
    EXPECT_TRUE(map.IsOpen());
    EXPECT_EQ(map.Size(), r.size);
    std::string expected = (r.kept ? ContentOf(r.kind) : "") + std::string(r.size, '\0');
    expected.resize(r.size);
    if (r.size == 0) {
      ExpectFailure(FailureOf([&] { map.GetView(0, 0); }), typeid(FileException), 7, ACCESS_DENIED, path);
    } else {
      uint64_t mapped = std::min(G, r.size);
      EXPECT_EQ(Bytes(map.GetView(0, 0), mapped), expected.substr(0, mapped));
    }
    map.Close();
    EXPECT_FALSE(map.IsOpen());
    EXPECT_EQ(dir.ReadFile("file.bin"), expected);
  }
}

TEST_F(MemoryMapFileTest, SharingAgainstASecondOpen) {
  struct Row {
    Map::OpenMode first, second;
    int id; // -1: the second open succeeds
  } const rows[] = {
      {Map::READ, Map::READ, -1},
      {Map::READ, Map::READ_WRITE, 2},
      {Map::READ_WRITE, Map::READ, 1},
      {Map::CREATE, Map::READ_WRITE, 2},
  };
  std::string path = Make(SMALL);
  for (Row const& r : rows) {
    SCOPED_TRACE(std::to_string(r.first) + " then " + std::to_string(r.second));
    Map first(path), second(path);
    first.Open(r.first);
    if (r.id < 0) {
      second.Open(r.second);
      EXPECT_EQ(Bytes(second.GetView(0, 0), 100), Bytes(first.GetView(0, 0), 100));
    } else {
      ExpectFailure(FailureOf([&] { second.Open(r.second); }), typeid(FileCannotOpenException), r.id,
                    SHARING_VIOLATION, path);
      EXPECT_FALSE(second.IsOpen());
    }
  }
}

TEST_F(MemoryMapFileTest, ViewsByOffsetReleaseAndFlush) {
  std::string path = Make(LARGE);
  std::string const content = ContentOf(LARGE);
  Map map(path);
  map.Open(Map::READ);
  void* first = map.GetView(G, 0);
  EXPECT_EQ(Bytes(first, G), content.substr(G, G));
  EXPECT_EQ(Bytes(map.GetView(2 * G, 100), 100), content.substr(2 * G, 100));
  EXPECT_EQ(map.GetView(G, 5), first) << "one view per offset, whatever the size";
  EXPECT_EQ(map.NbrView(), 2u);
  EXPECT_EQ(Bytes(map.GetView(3 * G, 0), 5), content.substr(3 * G)) << "what remains, under one granularity";

  struct Bad {
    uint64_t offset;
    uint32_t size;
    unsigned error;
  } const bad[] = {{map.Size(), 1, ACCESS_DENIED}, {map.Size(), 0, ACCESS_DENIED},
                   {0, uint32_t(map.Size() + 1), ACCESS_DENIED}, {100, 0, MAPPED_ALIGNMENT}};
  for (Bad const& b : bad) {
    SCOPED_TRACE(std::to_string(b.offset) + "+" + std::to_string(b.size));
    ExpectFailure(FailureOf([&] { map.GetView(b.offset, b.size); }), typeid(FileException), 7, b.error, path);
  }
  EXPECT_EQ(map.NbrView(), 3u);

  map.ReleaseView(G, true);
  map.ReleaseView(12345, false);
  EXPECT_FALSE(map.IsViewExist(G));
  EXPECT_TRUE(map.IsViewExist(2 * G));
  EXPECT_EQ(map.NbrView(), 2u);
  map.Flush();
  EXPECT_EQ(map.NbrView(), 0u);
  void* whole = map.GetView(0, static_cast<uint32_t>(map.Size()));
  EXPECT_EQ(Bytes(whole, map.Size()), content);
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
  ExpectFailure(FailureOf([&] { map.GetView(0, 0); }), typeid(FileException), 7, INVALID_HANDLE, path);
  std::string file = dir.ReadFile("file.bin");
  ASSERT_EQ(file.size(), G + G / 2) << "cut to the new size";
  EXPECT_EQ(file.substr(0, 5), "hello");
  EXPECT_EQ(file.substr(G, 4), "tail");

  map.Open(Map::READ_WRITE);
  map.Resize(0);
  ExpectFailure(FailureOf([&] { map.GetView(0, 0); }), typeid(FileException), 7, ACCESS_DENIED, path);
  Failure f = FailureOf([&] { map.Open(static_cast<Map::OpenMode>(7)); });
  ExpectFailure(f, typeid(FileCannotOpenException), 2, INVALID_PARAMETER, path);
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

  path = Make(SMALL);
  Map holder(path);
  holder.Open(Map::READ);
  ExpectFailure(FailureOf([&] { map.Delete(); }), typeid(FileException), 5, SHARING_VIOLATION, path);
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

  using Holder = ZEB::RefCount<MemoryBuffer>;
  auto into = [](Holder const& h) {
    std::string s;
    if (h)
      h->SeekG(0), h->Copy(s, 0xFFFFFFFFu);
    return s;
  };
  using Op = bool (*)(BinaryStreamParser&, std::string&);
  Op const ops[] = {
      [](BinaryStreamParser& p, std::string&) { return p.FetchTo('\n', false); },
      [](BinaryStreamParser& p, std::string&) { return p.FetchTo('q', false); },
      [](BinaryStreamParser& p, std::string&) { return p.Fetch(1, false, false); },
      [](BinaryStreamParser& p, std::string& out) { return p.FetchTo('y', out); },
      [](BinaryStreamParser& p, std::string&) { return p.FetchBeyond("-->", false); },
      [](BinaryStreamParser& p, std::string& out) { return p.FetchUntil("xz", out); },
      [](BinaryStreamParser& p, std::string&) { return p.FetchUntilNot("abc", false); },
      [](BinaryStreamParser& p, std::string&) { return p.Seek(p.GetCurrentStreamOffset() / 3), true; },
      [](BinaryStreamParser& p, std::string&) { return p.SetRecordFetching(p.GetRecordFetchingSize() == 0), true; },
      [](BinaryStreamParser& p, std::string&) { return p.IgnoreNulls(p.GetCurrentChar() == 'a'), true; },
  };
  BinaryStreamParser inPlace(mapped, false), copied(copy, false);
  for (int step = 0; step < 400; ++step) {
    unsigned pick = rng() % (std::size(ops) + 2);
    SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(pick));
    std::string outA, outB;
    Holder a, b;
    bool got = pick < std::size(ops) ? ops[pick](inPlace, outA)
                                     : inPlace.FetchIntoTo(a, pick % 2 ? ";" : "->", " \n", true, true);
    bool expected = pick < std::size(ops) ? ops[pick](copied, outB)
                                          : copied.FetchIntoTo(b, pick % 2 ? ";" : "->", " \n", true, true);
    ASSERT_EQ(got, expected);
    ASSERT_EQ(outA, outB);
    ASSERT_EQ(into(a), into(b));
    ASSERT_EQ(inPlace.GetCurrentStreamOffset(), copied.GetCurrentStreamOffset());
    ASSERT_EQ(mapped.TellG(), copy.TellG());
    ASSERT_EQ(std::string(inPlace.GetKeywordBuffer(), inPlace.GetKeywordLen()),
              std::string(copied.GetKeywordBuffer(), copied.GetKeywordLen()));
    std::string recordA, recordB;
    inPlace.GetRecordFetchingContent(recordA, 0, 0);
    copied.GetRecordFetchingContent(recordB, 0, 0);
    ASSERT_EQ(recordA, recordB);
  }
}
