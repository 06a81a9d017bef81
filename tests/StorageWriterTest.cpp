// The compound-file writer: what it writes the reader reads back equal, the tree is a valid red-black tree in
// the format's order, names are refused as the format requires, and a file at a path appears whole or not at all.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <random>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Storage.h"
#include "ZEBFile/StorageWriter.h"
#include "ZEBPlatform/Config.h"
#include "support/TempDir.h"

using ZEBFile::MemoryBuffer;
using ZEBFile::OLE::Storage;
using ZEBFile::OLE::StorageWriter;
namespace OLE = ZEBFile::OLE;

namespace {

// A tree as the tests build it: a storage's children by name, a stream's bytes.
struct Node {
  bool storage = true;
  std::string data;
  std::map<std::u16string, Node> children;
};

std::string Bytes(std::size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = char((i * 2654435761u + seed) >> 13);
  return bytes;
}

// Writes `node`'s children under `parent`, streams in pieces of `piece` bytes.
void WriteTree(StorageWriter& writer, uint32_t parent, Node const& node, std::size_t piece = 1000) {
  for (auto const& [name, child] : node.children) {
    if (child.storage) {
      WriteTree(writer, writer.AddStorage(parent, name), child, piece);
      continue;
    }
    writer.BeginStream(parent, name);
    for (std::size_t at = 0; at < child.data.size(); at += piece)
      writer.WriteStream(child.data.data() + at, uint32_t(std::min(piece, child.data.size() - at)));
    writer.EndStream();
  }
}

std::string Contents(MemoryBuffer& buffer) {
  std::string bytes;
  buffer.SeekG(0);
  buffer.Copy(bytes, buffer.Size());
  return bytes;
}

Node ReadTree(Storage const& storage) {
  Node node;
  for (auto const& item : storage.Storages())
    node.children[item.name] = ReadTree(*storage.OpenStorage(item.id));
  for (auto const& item : storage.Streams()) {
    MemoryBuffer out;
    storage.ReadStream(item.id, out);
    node.children[item.name] = Node{false, Contents(out), {}};
    EXPECT_EQ(item.size, out.Size());
  }
  return node;
}

bool operator==(Node const& a, Node const& b) {
  return a.storage == b.storage && a.data == b.data && a.children == b.children;
}

std::string Write(Node const& tree, unsigned version, std::size_t piece = 1000) {
  MemoryBuffer out;
  StorageWriter writer(out, {version, false});
  WriteTree(writer, StorageWriter::ROOT, tree, piece);
  writer.Commit();
  return Contents(out);
}

Node Read(std::string const& bytes) {
  MemoryBuffer in(bytes.data(), uint32_t(bytes.size()));
  Storage root(std::filesystem::temp_directory_path().string(), in);
  return ReadTree(root);
}

uint32_t Le32(std::string const& bytes, uint64_t at) {
  uint32_t value = 0;
  for (int k = 3; k >= 0; --k)
    value = value << 8 | uint8_t(bytes[at + k]);
  return value;
}

// The raw directory: for every storage, an in-order walk of its tree gives the names in the format's order,
// no red node has a red child, every path down holds as many black nodes, and the top of the tree is black.
struct RawDirectory {
  explicit RawDirectory(std::string const& bytes) : file(bytes) {
    shift = uint8_t(bytes[0x1E]);
    std::vector<uint32_t> fat;
    for (uint32_t i = 0; i < std::min<uint32_t>(Le32(bytes, 0x2C), 109); ++i)
      for (uint32_t k = 0; k < (1u << shift) / 4; ++k)
        fat.push_back(Le32(bytes, Offset(Le32(bytes, 0x4C + 4 * i)) + 4 * k));
    for (uint32_t s = Le32(bytes, 0x30); s < fat.size(); s = fat[s])
      sectors.push_back(s);
  }
  uint64_t Offset(uint32_t sector) const { return (uint64_t(sector) + 1) << shift; }
  uint64_t Entry(uint32_t id) const { return Offset(sectors[id / ((1u << shift) / 128)]) + id % ((1u << shift) / 128) * 128; }
  std::u16string Name(uint32_t id) const {
    std::u16string name;
    for (uint32_t k = 0; k + 2 < uint8_t(file[Entry(id) + 0x40]); k += 2)
      name += char16_t(uint8_t(file[Entry(id) + k]) | uint8_t(file[Entry(id) + k + 1]) << 8);
    return name;
  }
  // Black height of the subtree; the names in order are appended.
  int Check(uint32_t id, bool parentRed, std::vector<std::u16string>& names) const {
    if (id == 0xFFFFFFFF)
      return 1;
    bool red = file[Entry(id) + 0x43] == 0;
    EXPECT_FALSE(red && parentRed) << "red node under a red one";
    int left = Check(Le32(file, Entry(id) + 0x44), red, names);
    names.push_back(Name(id));
    int right = Check(Le32(file, Entry(id) + 0x48), red, names);
    EXPECT_EQ(left, right) << "black heights differ";
    if (file[Entry(id) + 0x42] != 2) {
      std::vector<std::u16string> children;
      uint32_t top = Le32(file, Entry(id) + 0x4C);
      EXPECT_TRUE(top == 0xFFFFFFFF || file[Entry(top) + 0x43] == 1) << "red top of a tree";
      Check(top, false, children);
      for (std::size_t i = 1; i < children.size(); ++i)
        EXPECT_LT(StorageWriter::CompareNames(children[i - 1], children[i]), 0);
    }
    return left + (red ? 0 : 1);
  }
  std::string const& file;
  unsigned shift;
  std::vector<uint32_t> sectors;
};

void ExpectValidTrees(std::string const& bytes) {
  std::vector<std::u16string> names;
  RawDirectory(bytes).Check(0, false, names);
}

Node Stream(std::string data) { return Node{false, std::move(data), {}}; }

Node RandomTree(std::mt19937& random, int depth) {
  Node node;
  int count = int(random() % 6);
  for (int i = 0; i < count; ++i) {
    std::u16string name;
    for (uint32_t k = 0, length = 1 + random() % 12; k < length; ++k)
      name += char16_t(u"aAbB_z9\u00e9\u00c9\u0416\u0436 ."[random() % 13]);
    if (std::any_of(node.children.begin(), node.children.end(),
                    [&](auto const& other) { return StorageWriter::CompareNames(other.first, name) == 0; }))
      continue;
    std::size_t sizes[] = {0, 1, 64, 4095, 4096, 5000, 70000};
    node.children[name] = depth < 4 && random() % 3 == 0 ? RandomTree(random, depth + 1)
                                                         : Stream(Bytes(sizes[random() % 7], random()));
  }
  return node;
}

} // namespace

TEST(StorageWriter, RandomTreesReadBackEqual) {
  std::mt19937 random(22);
  for (int round = 0; round < 40; ++round) {
    Node tree = RandomTree(random, 0);
    unsigned version = round % 2 ? 4 : 3;
    std::string bytes = Write(tree, version, 1 + random() % 9000);
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_TRUE(tree == Read(bytes));
    ExpectValidTrees(bytes);
  }
}

TEST(StorageWriter, StreamsEitherSideOfTheCutoff) {
  for (unsigned version : {3u, 4u}) {
    Node tree;
    uint32_t mini = 0;
    for (std::size_t size : {0, 1, 63, 64, 4095, 4096, 4097}) {
      tree.children[u"s" + std::u16string(1, char16_t('a' + tree.children.size()))] = Stream(Bytes(size, 7));
      mini += size < 4096 ? (size + 63) / 64 * 64 : 0;
    }
    std::string bytes = Write(tree, version);
    SCOPED_TRACE(version);
    EXPECT_TRUE(tree == Read(bytes));
    RawDirectory directory(bytes);
    EXPECT_EQ(Le32(bytes, directory.Entry(0) + 0x78), mini) << "the mini stream holds the streams under 4096 bytes";
    EXPECT_EQ(Le32(bytes, 0x38), 4096u);
  }
}

TEST(StorageWriter, LargeShapes) {
  Node wide, deep, large;
  for (int i = 0; i < 3000; ++i)
    wide.children[u"entry" + std::u16string(1, char16_t(0x4E00 + i))] = Stream(Bytes(i % 7 * 10, i));
  Node* at = &deep;
  for (int level = 0; level < 50; ++level)
    at = &(at->children[u"level"] = Node{});
  at->children[u"leaf"] = Stream("bottom");
  large.children[u"big"] = Stream(Bytes(7u << 20 | 12345, 3));
  struct Row {
    char const* name;
    Node const& tree;
    unsigned version;
  } const rows[] = {{"3000 entries", wide, 3}, {"3000 entries", wide, 4}, {"50 deep", deep, 3},
                    {"50 deep", deep, 4},      {"over 7 MiB", large, 3},  {"over 7 MiB", large, 4}};
  for (Row const& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " v" + std::to_string(row.version));
    std::string bytes = Write(row.tree, row.version, 1 << 20);
    EXPECT_TRUE(row.tree == Read(bytes));
    if (&row.tree != &large) {
      ExpectValidTrees(bytes); // (its directory lies past what the header's FAT sectors cover)
    } else if (row.version == 3) {
      EXPECT_GT(Le32(bytes, 0x48), 0u) << "more than 109 FAT sectors need a DIFAT sector";
    }
  }
}

TEST(StorageWriter, NamesRefusedUnlessFromOtherWriters) {
  struct Row {
    std::u16string name;
    bool plain, otherWriters; // accepted without, with the option
  } const rows[] = {{u"", false, false},           {std::u16string(33, u'x'), false, false},
                    {std::u16string(31, u'x'), true, true}, {std::u16string(32, u'x'), false, true},
                    {u"a/b", false, true},         {u"a\\b", false, true},
                    {u"a:b", false, true},         {u"a!b", false, true},
                    {u"SIBLING", false, true},     {u"sibl\u0130ng", true, true},
                    {std::u16string(u"a\0b", 3), false, false}};
  for (Row const& row : rows) {
    for (bool option : {false, true}) {
      SCOPED_TRACE(std::string(row.name.begin(), row.name.end()) + (option ? " with the option" : ""));
      MemoryBuffer out;
      StorageWriter writer(out, {3, option});
      writer.AddStream(StorageWriter::ROOT, u"Sibling", "x", 1);
      bool accepted = true;
      try {
        writer.AddStorage(StorageWriter::ROOT, row.name);
      } catch (OLE::InvalidNameOLEException const& e) {
        accepted = false;
        EXPECT_NE(std::string(e.what()).find("cannot be written"), std::string::npos);
      }
      EXPECT_EQ(accepted, option ? row.otherWriters : row.plain);
      EXPECT_EQ(writer.OtherWritersNames(), accepted && !row.plain ? 1u : 0u);
      writer.Commit();
      EXPECT_EQ(Read(Contents(out)).children.size(), accepted ? 2u : 1u) << "a refused name adds nothing";
    }
  }
}

TEST(StorageWriter, FileAppearsWholeOrNotAtAll) {
  ZEBTest::TempDir dir("writer");
  std::string target = (std::filesystem::path(dir.Native()) / "out.cfb").string();
  auto files = [&] { return std::distance(std::filesystem::directory_iterator(dir.Native()), {}); };
  {
    StorageWriter writer(target);
    writer.AddStream(StorageWriter::ROOT, u"a", "abc", 3);
    EXPECT_THROW(writer.AddStream(StorageWriter::ROOT, u"A", "x", 1), OLE::InvalidNameOLEException);
  }
  EXPECT_EQ(files(), 0) << "an abandoned writer leaves no file";
  for (char const* content : {"first", "second"}) {
    StorageWriter writer(target, {4, false});
    writer.AddStream(StorageWriter::ROOT, u"a", content, 5);
    writer.Commit();
    EXPECT_THROW(writer.AddStorage(StorageWriter::ROOT, u"late"), OLE::InvalidWriteOLEException);
  }
  EXPECT_EQ(files(), 1) << "the file replaced, no temporary file left";
  std::ifstream in(target, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(Read(bytes).children.at(u"a").data, "secon");
  // A full disk, then a rename that fails after the old file stepped aside: it comes back, nothing else stays.
  for (bool rename : {false, true}) {
    StorageWriter writer(target);
    writer.AddStream(StorageWriter::ROOT, u"a", "third", 5);
    if (!(rename ? ZEBPlatform::FailNext(ZEBPlatform::Call::Rename, EACCES, 1) : ZEBPlatform::LimitWrites(100, ENOSPC)))
      GTEST_SKIP() << "made by the POSIX layer's fault injection";
    EXPECT_THROW(writer.Commit(), ZEBFile::FileException) << rename;
    ZEBPlatform::ClearFaults();
  }
  EXPECT_EQ(files(), 1);
  in = std::ifstream(target, std::ios::binary);
  EXPECT_EQ(Read({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}).children.at(u"a").data, "secon");
}

TEST(StorageWriter, SiblingOrderIsShorterFirstThenUpperCase) {
  struct Row {
    std::u16string a, b;
    int order;
  } const rows[] = {{u"b", u"aa", -1},          {u"a", u"B", -1},           {u"_", u"a", 1},
                    {u"\u00e9", u"\u00c9", 0}, {u"\u0436", u"\u0416", 0}, {u"\u0101x", u"\u0100X", 0},
                    {u"Z", u"\u00e0", -1}};
  for (Row const& row : rows) {
    int order = StorageWriter::CompareNames(row.a, row.b);
    EXPECT_EQ((order > 0) - (order < 0), row.order) << std::string(row.a.begin(), row.a.end());
  }
}
