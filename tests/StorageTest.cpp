// Compound files and property sets: header checks, streams around the
// mini-stream cutoff, every damaged shape the readers must survive (writer-made
// files), names, navigation, caching, bounds on memory and offsets, every value
// type, code pages, the dictionary rules, the maps and their merge, the walk
// over a file, and the real files against what other readers found.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>

#include "../tools/Sha256.h"
#include "ZEB/BinaryStream.h"
#include "ZEBCharset/Conv.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/Storage.h"
#include "support/CompoundWriter.h"
#include "support/PropertySetWriter.h"
#include "support/StorageWalk.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes(); // the sanitizer's allocator
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

using ZEB::Variant;
using ZEBFile::MemoryBuffer;
using ZEBFile::OLE::PropertyStorage;
using ZEBFile::OLE::Storage;
using namespace ZEBTest;
using W = CompoundWriter;
namespace OLE = ZEBFile::OLE;
namespace fs = std::filesystem;

namespace {

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = char((i * 2654435761u >> 13) + seed * 7 + i / 512);
  return bytes;
}

std::string Contents(MemoryBuffer& buffer) {
  std::string bytes;
  buffer.SeekG(0);
  buffer.Copy(bytes, buffer.Size());
  return bytes;
}

std::string FileBytes(fs::path const& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::u16string Units(std::string const& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

struct Buffer : MemoryBuffer {
  explicit Buffer(std::string const& bytes) : MemoryBuffer(bytes.data(), uint32_t(bytes.size()), 1u << 16) {}
};

// A file held in a memory buffer and its top storage.
struct OpenFile {
  explicit OpenFile(std::string const& bytes) : buffer(bytes), top(new Storage("", buffer)) {}
  std::string Read(uint32_t id) const {
    MemoryBuffer out;
    top->ReadStream(id, out);
    return Contents(out);
  }
  std::vector<std::u16string> StreamNames() const {
    std::vector<std::u16string> names;
    for (auto const& item : top->Streams())
      names.push_back(item.name);
    return names;
  }
  Buffer buffer;
  ZEB::SmartPtr<Storage> top;
};

enum Outcome { OPENS, NOT_A_STORAGE, CORRUPTED };

Outcome Open(std::string const& bytes) {
  try {
    OpenFile file(bytes);
    return OPENS;
  } catch (OLE::NotAStorageOLEException const&) {
    return NOT_A_STORAGE;
  } catch (OLE::CorruptedStorageOLEException const&) {
    return CORRUPTED;
  }
}

TEST(StorageHeader, OnlyTheFourHeaderFaultsThrow) {
  CompoundWriter small, large(12);
  small.AddStream(0, u"data", Pattern(100, 1));
  large.AddStream(0, u"data", Pattern(5000, 2));
  std::string const base = small.Build();
  using Patch = std::function<void(std::string&)>;
  Patch const none = [](std::string&) {};
  std::tuple<char const*, std::string, Patch, Outcome> const rows[] = {
      {"intact", base, none, OPENS},
      {"511 bytes", base, [](std::string& b) { b.resize(511); }, NOT_A_STORAGE},
      {"signature changed", base, [](std::string& b) { b[3] = 'x'; }, NOT_A_STORAGE},
      {"beta-2 signature", base, [](std::string& b) { b.replace(0, 8, "\x0E\x11\xFC\x0D\xD0\xCF\x11\xE0", 8); }, OPENS},
      {"byte order FEFF", base, [](std::string& b) { b[0x1C] = char(0xFF), b[0x1D] = char(0xFE); }, CORRUPTED},
      {"sector shift 8", base, [](std::string& b) { b[0x1E] = 8; }, CORRUPTED},
      {"sector shift 13", base, [](std::string& b) { b[0x1E] = 13; }, CORRUPTED},
      {"sector shift 41", base, [](std::string& b) { b[0x1E] = 41; }, CORRUPTED},
      {"mini sector shift 5", base, [](std::string& b) { b[0x20] = 5; }, CORRUPTED},
      {"mini sector shift 10", base, [](std::string& b) { b[0x20] = 10; }, CORRUPTED},
      {"4096-byte sectors, 64-byte mini sectors", large.Build(), none, OPENS},
      {"header alone, no FAT, no MiniFAT", base,
       [](std::string& b) { b.resize(512), b.replace(0x2C, 4, 4, '\0'), b.replace(0x3C, 4, "\xFE\xFF\xFF\xFF", 4); },
       OPENS},
  };
  for (auto const& [what, bytes, patch, outcome] : rows) {
    SCOPED_TRACE(what);
    std::string patched = bytes;
    patch(patched);
    EXPECT_EQ(Open(patched), outcome);
  }
}

TEST(StorageStreams, SizesAroundTheCutoffInBothSectorSizes) {
  for (unsigned shift : {9u, 12u})
    for (uint32_t cutoff : {4096u, 1000u})
      for (bool interleave : {false, true}) {
        SCOPED_TRACE(testing::Message() << "shift " << shift << " cutoff " << cutoff << " interleave " << interleave);
        CompoundWriter writer(shift);
        writer.cutoff = cutoff;
        writer.interleave = interleave;
        std::map<uint32_t, std::string> data;
        for (std::size_t size : {0u, 1u, 63u, 64u, 65u, 3u * 512 + 7, 100000u, cutoff - 1, cutoff, cutoff + 1})
          data[writer.AddStream(0, Units("s" + std::to_string(size)), Pattern(size, uint32_t(size)))] =
              Pattern(size, uint32_t(size));
        OpenFile file(writer.Build());
        ASSERT_EQ(file.top->Streams().size(), data.size());
        for (auto const& item : file.top->Streams()) {
          EXPECT_EQ(item.size, data[item.id].size()) << item.id;
          EXPECT_EQ(file.Read(item.id), data[item.id]) << item.id;
        }
      }
}

// Eleven streams s1..s11 under the root, each the right sibling of the one
// before; three directory sectors; two MiniFAT sectors; regular chains that
// jump. A row lists the streams s1..s<listed> and how much of each is read.
TEST(StorageFailures, EachDamagedShapeEndsItsChainOrSkipsItsEntry) {
  using Length = std::function<std::size_t(W const&, uint32_t, std::size_t)>;
  auto cut = [](uint32_t stream, std::size_t length) -> Length {
    return [=](W const&, uint32_t id, std::size_t size) { return id == stream ? length : size; };
  };
  struct Row {
    char const* what;
    std::function<void(W&)> patch;
    std::size_t listed;
    Length length;
  } const rows[] = {
      {"intact", [](W&) {}, 11, {}},
      {"FAT sector count above 65536", [](W& w) { w.Set32(0x2C, 0x20000); }, 11, {}},
      {"MiniFAT sector count above 65536", [](W& w) { w.Set32(0x40, 0x20000); }, 11, {}},
      {"FAT sector past the end of the file", [](W& w) { w.Set32(0x4C, 0xFFFFFF); }, 3,
       [](W const&, uint32_t, std::size_t) { return std::size_t(0); }},
      {"MiniFAT sector past the end of the file", [](W& w) { w.Set32(0x3C, 0xFFFFFF); }, 11,
       [](W const&, uint32_t, std::size_t size) { return size < 4096 ? 0 : size; }},
      {"MiniFAT chain loops", [](W& w) { w.SetFat(w.miniFatSectors[0], w.miniFatSectors[0]); }, 11,
       [](W const& w, uint32_t id, std::size_t size) {
         std::size_t kept = 0;
         while (kept < w.Chain(id).size() && w.Chain(id)[kept] < 128)
           ++kept;
         return size >= 4096 ? size : std::min(size, kept * 64);
       }},
      {"directory chain loops", [](W& w) { w.SetFat(w.dirSectors[1], w.dirSectors[0]); }, 7, {}},
      {"directory chain leaves the file", [](W& w) { w.SetFat(w.dirSectors[1], 100); }, 7, {}},
      {"directory chain leaves the FAT", [](W& w) { w.SetFat(w.dirSectors[1], 0xFFFFF0); }, 7, {}},
      {"directory starts past the end", [](W& w) { w.Set32(0x30, 0xFFFFFF); }, 0, {}},
      {"entry of type 0 inside the tree", [](W& w) { w.SetEntry(5, W::TYPE, 0); }, 4, {}},
      {"entry of type 6 inside the tree", [](W& w) { w.SetEntry(5, W::TYPE, 6); }, 4, {}},
      {"sibling tree loops", [](W& w) { w.SetEntry(5, W::RIGHT, 2); }, 5, {}},
      {"left sibling loops", [](W& w) { w.SetEntry(5, W::LEFT, 1); }, 11, {}},
      {"root entry empty", [](W& w) { w.SetEntry(0, W::TYPE, 0); }, 0, {}},
      {"stream chain loops", [](W& w) { w.SetFat(w.Chain(1)[2], w.Chain(1)[0]); }, 11, cut(1, 3 * 512)},
      {"stream chain leaves the FAT", [](W& w) { w.SetFat(w.Chain(1)[1], 0xFFFFF0); }, 11, cut(1, 2 * 512)},
      {"stream chain leaves the file", [](W& w) { w.SetFat(w.Chain(1)[1], 120); }, 11, cut(1, 2 * 512)},
      {"declared size above the chain", [](W& w) { w.SetEntry(1, W::SIZE, 10000); }, 11, cut(1, 9 * 512)},
      {"chain longer than the size", [](W& w) { w.SetEntry(1, W::SIZE, 4200); }, 11, {}},
      {"mini chain loops", [](W& w) { w.SetMiniFat(w.Chain(2)[3], w.Chain(2)[1]); }, 11, cut(2, 4 * 64)},
      {"mini chain leaves the MiniFAT", [](W& w) { w.SetMiniFat(w.Chain(2)[1], 0xFFFFF0); }, 11, cut(2, 2 * 64)},
  };
  W base;
  base.flatTree = base.interleave = true;
  std::size_t const sizes[] = {4500, 300, 4000, 4000, 4000, 5000, 10, 10, 10, 10, 10};
  for (std::size_t i = 0; i < 11; ++i)
    base.AddStream(0, Units("s" + std::to_string(i + 1)), Pattern(sizes[i], unsigned(i)));
  base.Build();
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    W writer = base;
    row.patch(writer);
    OpenFile file(writer.bytes);
    std::vector<std::u16string> expected;
    for (std::size_t i = 1; i <= row.listed; ++i)
      expected.push_back(Units("s" + std::to_string(i)));
    EXPECT_EQ(file.StreamNames(), expected);
    for (auto const& item : file.top->Streams()) {
      std::size_t length = row.length ? row.length(writer, item.id, item.size) : item.size;
      EXPECT_EQ(file.Read(item.id), writer.Padded(item.id).substr(0, length)) << "stream " << item.id;
    }
  }
}

TEST(StorageFailures, DifatChainEndsAtFreeSectLoopsAndTheEndOfTheFile) {
  W writer; // a 15.5 MiB stream: 245 FAT sectors, two DIFAT sectors
  uint32_t const sectors = 31000;
  uint32_t big = writer.AddStream(0, u"big", Pattern(sectors * 512u, 3));
  writer.Build();
  ASSERT_EQ(writer.difatSectors.size(), 2u);
  auto difatNext = [](W& w) { return w.SectorOffset(w.difatSectors[0]) + 127 * 4; };
  std::tuple<char const*, std::function<void(W&)>, uint32_t> const rows[] = {
      {"intact", [](W&) {}, sectors},
      {"FAT sector count above 65536", [](W& w) { w.Set32(0x2C, 0x20000); }, sectors},
      {"FREE_SECT in the header DIFAT", [](W& w) { w.Set32(0x4C + 100 * 4, W::FREE_SECT); }, 100 * 128},
      {"FAT sector past the end of the file", [](W& w) { w.Set32(0x4C + 50 * 4, 0xFFFFFF); }, 50 * 128},
      {"FREE_SECT in a DIFAT sector", [](W& w) { w.Set32(w.SectorOffset(w.difatSectors[0]), W::FREE_SECT); },
       109 * 128},
      {"DIFAT chain loops", [&](W& w) { w.Set32(difatNext(w), w.difatSectors[0]); }, 236 * 128},
      {"DIFAT sector past the end of the file", [&](W& w) { w.Set32(difatNext(w), 0xFFFFFF); }, 236 * 128},
  };
  for (auto const& [what, patch, sectorsRead] : rows) {
    SCOPED_TRACE(what);
    W copy = writer;
    patch(copy);
    std::string bytes = OpenFile(copy.bytes).Read(big);
    EXPECT_EQ(bytes.size(), sectorsRead * 512u);
    EXPECT_TRUE(bytes == writer.Padded(big).substr(0, bytes.size()));
  }
}

TEST(StorageNames, LengthFieldAndUnits) {
  std::u16string const forty = Units("abcdefghijklmnopqrstuvwxyz0123456789ABCD");
  std::tuple<char const*, std::u16string, int /* length field, -1: as written */, std::u16string> const rows[] = {
      {"length field 0", u"gone", 0, u""},
      {"length field 2, the terminator alone", u"", -1, u""},
      {"two units", u"ab", -1, u"ab"},
      {"32 units, no terminator", forty.substr(0, 32), -1, forty.substr(0, 32)},
      {"40 units, cut to 32", forty, -1, forty.substr(0, 32)},
      {"trailing zero units dropped", std::u16string(u"ab\0\0", 4), -1, u"ab"},
  };
  for (auto const& [what, name, lengthField, listed] : rows) {
    SCOPED_TRACE(what);
    W writer;
    uint32_t id = writer.AddStream(0, name, "x");
    writer.Build();
    if (lengthField >= 0)
      writer.SetEntry(id, W::NAME_LENGTH, uint32_t(lengthField));
    EXPECT_EQ(OpenFile(writer.bytes).StreamNames(), listed.empty() ? std::vector<std::u16string>{} : std::vector{listed});
  }
}

TEST(StorageNavigation, NamesMatchExactlyAndTheLowerIdWins) {
  W writer(12);
  uint32_t upper = writer.AddStorage(0, u"A"), lower = writer.AddStorage(0, u"a");
  writer.AddStream(upper, u"inA", "upper");
  writer.AddStream(lower, u"ina", "lower");
  writer.AddStream(0, u"same", "first");
  writer.AddStream(0, u"same", "second");
  writer.AddStorage(0, u"same");
  uint32_t empty = writer.AddStorage(lower, u"empty");
  writer.Build();
  writer.Set32(writer.EntryOffset(0), 0x0058'0058); // the root entry's own name is not the top's name
  OpenFile file(writer.bytes);
  Storage const& top = *file.top;
  EXPECT_EQ(top.Name(), u"Root Entry");
  EXPECT_EQ(top.Storages().size(), 3u);

  MemoryBuffer out;
  out.PutAll("prefix:", 7);
  top.ReadStream(u"same", out);
  EXPECT_EQ(Contents(out), "prefix:first");
  ZEB::SmartPtr<Storage> a = top.OpenStorage(u"a");
  EXPECT_EQ(a->Streams().at(0).name, u"ina");
  EXPECT_EQ(top.OpenStorage(u"A")->Streams().at(0).name, u"inA");
  EXPECT_EQ(top.OpenStorage(upper)->Name(), u"A");
  EXPECT_THROW(top.OpenStorage(u"inA"), OLE::StorageNotFoundOLEException);
  EXPECT_THROW(top.OpenStorage(u"SAME "), OLE::StorageNotFoundOLEException);
  EXPECT_THROW(top.OpenStorage(top.Streams().at(0).id), OLE::StorageNotFoundOLEException);
  EXPECT_THROW(top.ReadStream(u"A", out), OLE::StreamNotFoundOLEException);
  EXPECT_THROW(top.ReadStream(u"Same", out), OLE::StreamNotFoundOLEException);

  // A child outlives its parent and the top storage; the root goes with the last one.
  ZEB::SmartPtr<Storage> child = a->OpenStorage(empty);
  EXPECT_TRUE(child->Storages().empty() && child->Streams().empty());
  a = nullptr;
  file.top = nullptr;
  EXPECT_EQ(child->Name(), u"empty");
  MemoryBuffer again;
  child->ReadStream(uint32_t(writer.dirSectors.size() * 4 + 10), again); // an id no entry has: nothing, no error
  EXPECT_EQ(again.Size(), 0u);
}

// Counts the bytes the reader takes from the file.
struct CountingBuffer : ZEB::BinaryStreamBufWrapper {
  explicit CountingBuffer(ZEB::BinaryStreamBufT<unsigned>& inner) : BinaryStreamBufWrapper(inner) {}
  using BinaryStreamBufWrapper::Copy;
  uint32_t GetAll(void* to, uint32_t count) override { return Add(BinaryStreamBufWrapper::GetAll(to, count)); }
  uint32_t Get(void* to, uint32_t count) override { return Add(BinaryStreamBufWrapper::Get(to, count)); }
  uint32_t Copy(ZEB::BaseBinaryStreamBuf& to, uint32_t count) override {
    return Add(BinaryStreamBufWrapper::Copy(to, count));
  }
  uint32_t Add(uint32_t count) { return read += count, count; }
  uint64_t read = 0;
};

TEST(StorageReads, AnEntryReadTwiceReadsTheFileOnce) {
  W writer;
  uint32_t folder = writer.AddStorage(0, u"folder");
  uint32_t stream = writer.AddStream(folder, u"data", Pattern(9000, 4));
  Buffer bytes(writer.Build());
  CountingBuffer counting(bytes);
  ZEB::SmartPtr<Storage> top(new Storage("", counting));
  uint64_t before = counting.read;
  ZEB::SmartPtr<Storage> first = top->OpenStorage(folder);
  EXPECT_GT(counting.read, before);
  before = counting.read;
  ZEB::SmartPtr<Storage> second = top->OpenStorage(folder);
  EXPECT_EQ(counting.read, before);
  MemoryBuffer out;
  first->ReadStream(stream, out);
  second->ReadStream(u"data", out);
  EXPECT_EQ(counting.read - before, 2 * 9000u); // the stream's bytes only
}

std::optional<std::size_t> HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#else
  return std::nullopt;
#endif
}

TEST(StorageBounds, HugeDeclaredFatAndOffsetsPastFourGiB) {
  // 4096-byte sectors, 65536 FAT sectors declared, the one FAT sector listed
  // 109 times: the file holds five sectors and opens with little memory.
  W huge(12);
  uint32_t id = huge.AddStream(0, u"data", Pattern(5000, 5));
  huge.Build();
  huge.Set32(0x2C, 65536);
  for (uint32_t i = 0; i < 109; ++i)
    huge.Set32(0x4C + 4 * i, huge.fatSectors[0]);
  std::optional<std::size_t> before = HeapInUse();
  OpenFile file(huge.bytes);
  std::optional<std::size_t> after = HeapInUse();
  EXPECT_EQ(file.Read(id), Pattern(5000, 5));
  if (before) {
    EXPECT_LT(*after - *before, 1u << 20);
  }

  // 65536 FAT sectors of 512 bytes: sector id 2^23 - 1 lies at 4 GiB and ends the stream.
  W far;
  far.cutoff = 512;
  far.minFatSectors = 65536;
  id = far.AddStream(0, u"data", Pattern(1024, 6));
  far.Build();
  far.SetFat(far.Chain(id)[0], (1u << 23) - 1);
  EXPECT_EQ(OpenFile(far.bytes).Read(id), Pattern(512, 6));
}

// ------------------------------------------------------------ property sets

struct Extracted {
  PropertyStorage::EnumMap byEnum;
  PropertyStorage::NameMap byName;
  Variant Enum(PropertyStorage::PROPERTY_ENUM key) const { return Find(byEnum, key); }
  Variant Name(std::string const& key) const { return Find(byName, key); }
  template <class Map, class Key> static Variant Find(Map const& map, Key const& key) {
    auto found = map.find(key);
    return found == map.end() ? Variant() : found->second;
  }
};

Extracted Extract(std::string const& stream) {
  Buffer buffer(stream);
  Extracted out;
  PropertyStorage(buffer).Properties(out.byEnum, out.byName);
  return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The merged properties of a compound file, values as UTF-8.
Pairs FileProperties(std::string const& bytes) {
  Buffer file(bytes);
  PropertyStorage::MergedMap all;
  Storage(std::string(), file).Properties(all);
  Pairs out;
  for (auto const& [name, value] : all)
    out.emplace_back(name, ZEBCharset::FromWide(ZEB::CHARSET_UTF8, value.AsWString()));
  return out;
}

std::string Summary(std::vector<std::pair<uint32_t, std::string>> const& properties) {
  PropertySetWriter writer;
  writer.Add(SUMMARY_FMTID).properties = properties;
  return writer.Bytes();
}

std::string Show(Variant const& value) {
  return value.IsEmpty() ? "(none)" : ZEBCharset::FromWide(ZEB::CHARSET_UTF8, value.AsWString());
}

// Both maps as "name=value; " in their order.
std::string Dump(Extracted const& out) {
  std::string text;
  for (auto const& [key, value] : out.byEnum)
    text += PropertyStorage::Name(key) + "=" + Show(value) + "; ";
  for (auto const& [name, value] : out.byName)
    text += name + "=" + Show(value) + "; ";
  return text;
}

Variant V(std::u16string const& text) { return Variant(text); }
std::string Narrow(std::string const& text) { return text + '\0'; }
std::string Wide(std::u16string const& text) { return Utf16Le(text) + std::string(2, '\0'); }

TEST(PropertyStorageHeader, WrongHeadersAreRejectedAndSwappedIdsNormalised) {
  std::string good = Summary({{2, Lpstr("x")}});
  auto patched = [&](std::size_t at, std::string const& bytes) { return std::string(good).replace(at, bytes.size(), bytes); };
  std::tuple<char const*, std::string, bool> const rows[] = {
      {"section count 0", patched(24, Le32(0)), false},
      {"byte-order mark", patched(0, Le16(0xFEFF)), false},
      {"format 1", patched(2, Le16(1)), false},
      {"20-byte stream", good.substr(0, 20), true},
      {"table cut before the first section", patched(44, Le32(200)).substr(0, 60), true},
  };
  for (auto const& [label, stream, corrupted] : rows) {
    SCOPED_TRACE(label);
    Buffer buffer(stream);
    if (corrupted)
      EXPECT_THROW(PropertyStorage{buffer}, OLE::CorruptedPropertyStorageOLEException);
    else
      EXPECT_THROW(PropertyStorage{buffer}, OLE::NotAPropertyStorageOLEException);
  }
  OLE::GUID other = {0x33323130, 0x3534, 0x3736, {'8', '9', 'a', 'b', 'c', 'd', 'e', 'f'}};
  for (auto const& [stored, expected] :
       {std::pair{std::string("\xF2\x9F\x85\xE0\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9", 16),
                  PropertyStorage::SUMMARY_INFORMATION_ID},
        std::pair{std::string("\xD5\xCD\xD5\x05\x2E\x9C\x1B\x10\x93\x97\x08\x00\x2B\x2C\xF9\xAE", 16),
                  PropertyStorage::USER_DEFINED_PROPERTIES_ID},
        std::pair{DOC_SUMMARY_FMTID, PropertyStorage::DOC_SUMMARY_INFORMATION_ID},
        std::pair{std::string("0123456789abcdef"), other}}) {
    PropertySetWriter writer;
    writer.Add(stored);
    Buffer buffer(writer.Bytes());
    EXPECT_TRUE(PropertyStorage(buffer).GetID() == expected) << stored;
  }
}

TEST(PropertyStorageValues, EveryTypeDecodes) {
  std::string big(300000, 'x');
  std::u16string zeros = u"0";
  for (int i = 1; i < 1024; ++i)
    zeros += u"\r\n0";
  std::tuple<char const*, std::string, Variant> const rows[] = {
      {"VT_I2", Typed(2, Le16(0xFFFE)), Variant(short(-2))},
      {"VT_I4", Typed(3, Le32(0xFFFFFFFF)), Variant(-1)},
      {"VT_R4", Typed(4, Le32(0x3FC00000)), Variant(1.5f)},
      {"VT_R8", Typed(5, Le64(0x40934A0000000000)), Variant(1234.5)},
      {"VT_ERROR", Typed(10, Le32(0x80004005)), Variant(int(0x80004005))},
      {"VT_BOOL", Typed(11, Le16(0xFFFF)), Variant(true)},
      {"VT_BOOL false", Typed(11, Le16(0)), Variant(false)},
      {"VT_UI1", Typed(17, "\xC8"), Variant((unsigned char)200)},
      {"VT_UI2", Typed(18, Le16(65000)), Variant((unsigned short)65000)},
      {"VT_UI4", Typed(19, Le32(4000000000u)), Variant(4000000000u)},
      {"VT_VARIANT", Typed(12, Typed(3, Le32(7))), Variant(7)},
      {"VT_LPSTR trailing zeros", Lpstr(std::string("abc\0\0\0", 6)), V(u"abc")},
      {"VT_LPSTR empty", Lpstr(""), Variant()},
      {"VT_LPSTR only zeros", Lpstr(std::string(4, '\0')), Variant()},
      {"VT_LPWSTR", Lpwstr(std::u16string(u"Report\0", 7)), V(u"Report")},
      {"VT_FILETIME", FileTime(1715941230), Variant(ZEB::DateTime(1715941230))},
      {"VT_FILETIME before 1970", FileTime(-86400), Variant()},
      {"VT_FILETIME 1601", Typed(64, Le64(0)), Variant()},
      {"VT_FILETIME after 2038", FileTime(4102444800LL), Variant()},
      {"vector of strings, no padding", Typed(0x101E, Le32(2) + Le32(1) + "a" + Le32(1) + "b"), V(u"a\r\nb")},
      {"vector of variants", Typed(0x100C, Le32(3) + Typed(3, Le32(5)) + Typed(11, Le16(1)) + Lpstr("z")),
       V(u"5\r\ntrue\r\nz")},
      {"vector of 2000 elements", Typed(0x1012, Le32(2000) + std::string(4000, '\0')), V(zeros)},
      {"vector inside a vector", Typed(0x100C, Le32(1) + Typed(0x101E, Le32(1) + Le32(2) + "a")), Variant()},
      {"variant inside a variant", Typed(12, Typed(12, Typed(3, Le32(1)))), Variant()},
      {"string cut, the rest skipped", Typed(0x101E, Le32(2) + Le32(300000) + big + Le32(1) + "b"),
       Variant(std::u16string(262144, u'x') + u"\r\nb")},
      {"string count beyond the stream", Typed(30, Le32(0x80000000) + "abc"), Variant()},
      {"wide count beyond the stream", Typed(31, Le32(0x7FFFFFFF) + "abc"), Variant()},
      {"VT_I8", Typed(20, Le64(1)), Variant()},
      {"type with upper bits", Typed(0x10003, Le32(1)), Variant()},
  };
  for (auto const& [label, value, expected] : rows) {
    SCOPED_TRACE(label);
    Extracted out = Extract(Summary({{2, value}, {3, Lpstr("after")}}));
    EXPECT_TRUE(out.Enum(PropertyStorage::TITLE) == expected) << Show(out.Enum(PropertyStorage::TITLE));
    EXPECT_TRUE(out.Enum(PropertyStorage::SUBJECT) == V(u"after"));
  }
}

TEST(PropertyStorageText, StringsAndNamesFollowTheSectionCodePage) {
  std::string const cyrillic = "\xCE\xF2\xF7\xB8\xF2", name1251 = Narrow("\xC8\xEC\xFF");
  std::tuple<char const*, uint16_t, std::string, std::string, std::string, std::u16string> const rows[] = {
      {"1252", 1252, Narrow("Caf\xE9"), Lpstr(Narrow("na\xEFve")), "Café", u"naïve"},
      {"1251", 1251, name1251, Lpstr(Narrow(cyrillic)), "Имя", u"Отчёт"},
      {"932", 932, Narrow("\x96\xBC"), Lpstr(Narrow("\x93\xFA\x96\x7B")), "名", u"日本"},
      {"65001 stored as -535", 0xFDE9, Narrow("Имя"), Lpstr(Narrow("Отчёт")), "Имя", u"Отчёт"},
      {"1200", 1200, Wide(u"Имя"), Lpstr(Wide(u"Отчёт")), "Имя", u"Отчёт"},
      {"VT_LPWSTR in 1251", 1251, name1251, Lpwstr(u"Отчёт"), "Имя", u"Отчёт"},
      {"unknown code page", 1, Narrow("Name"), Lpstr(Narrow("text")), "", u""},
  };
  for (auto const& [label, codePage, name, value, expectedName, expected] : rows) {
    SCOPED_TRACE(label);
    PropertySetWriter writer;
    writer.Add(DOC_SUMMARY_FMTID);
    writer.Add(USER_DEFINED_FMTID)
        .Property(1, CodePage(codePage))
        .Property(0, Dictionary({{5, name}}, codePage == 1200))
        .Property(5, value);
    Extracted out = Extract(writer.Bytes());
    EXPECT_EQ(out.byName.size() + out.byEnum.size(), expected.empty() ? 0u : 1u);
    if (!expected.empty()) {
      EXPECT_TRUE(out.Name(expectedName) == V(expected)) << Show(out.Name(expectedName));
    }
  }
}

TEST(PropertyStorageDictionary, Rules) {
  std::string dictionary = Dictionary({{5, Narrow("\xC8\xEC\xFF")}}, false);
  EXPECT_EQ(Dump(Extract(Summary({{0, dictionary}, {1, CodePage(1251)}, {5, Lpstr("x")}}))), "Имя=x; ");
  // An ordinary property between the dictionary and the code page reads it
  // in 1252 already; a code page applies only to the pairs after it.
  EXPECT_EQ(Dump(Extract(Summary({{2, Lpstr("\xC8")}, {0, dictionary}, {4, Lpstr("a")}, {1, CodePage(1251)},
                                  {3, Lpstr("\xC8")}, {5, Lpstr("x")}}))),
            "Title=È; Author=a; Subject=И; Èìÿ=x; ");

  std::string longName(200, 'n');
  std::vector<DictionaryEntry> entries = {
      {2, Wide(u"ab")}, // ends 2 mod 4: two bytes of padding follow
      {3, Wide(u"")},   // only the terminator: padded as well, and the property files by id
      {4, ""},          // length 0: nothing more is read
      {5, Wide(Units(longName))}, {6, Wide(u"Owner")}, {7, Wide(u"OWNER")}, // cut at 128; one of equal names
      {2, Wide(u"abc")}, // a later entry replaces the name of an id
  };
  EXPECT_EQ(Dump(Extract(Summary({{1, CodePage(1200)}, {0, Dictionary(entries, true)}, {2, Lpstr(Wide(u"two"))},
                                  {3, Lpstr(Wide(u"three"))}, {5, Lpstr(Wide(u"long"))}, {6, Lpstr(Wide(u"first"))},
                                  {7, Lpstr(Wide(u"second"))}}))),
            "Subject=three; abc=two; " + longName.substr(0, 127) + "=long; Owner=first; ");
  EXPECT_EQ(Dump(Extract(Summary({{0, Dictionary({{5, Narrow(longName)}, {6, Narrow("next")}}, false)},
                                  {5, Lpstr("long")}, {6, Lpstr("after")}}))),
            "next=after; " + longName.substr(0, 127) + "=long; ")
      << "the rest of a cut name is skipped";

  // Read only when an ordinary property follows: this one's second entry runs
  // past the end, and costs the property after it.
  std::string broken = Le32(2) + Le32(3) + Le32(3) + Narrow("ab") + Le32(6) + Le32(200);
  EXPECT_EQ(Dump(Extract(Summary({{2, Lpstr("t")}, {0, broken}}))), "Title=t; ");
  EXPECT_EQ(Dump(Extract(Summary({{0, broken}, {2, Lpstr("t")}, {3, Lpstr("s")}}))), "ab=s; ");
}

TEST(PropertyStorageSections, TableEndsAtTheFirstSectionAndDamagedSectionsAreSkipped) {
  PropertySetWriter two;
  two.Add(SUMMARY_FMTID).Property(2, Lpstr("title"));
  two.Add(USER_DEFINED_FMTID).Property(0, Dictionary({{2, Narrow("Client")}}, false)).Property(2, Lpstr("Acme"));
  for (uint32_t count : {1u, 7u}) { // the count does not bound the table either way
    two.sectionCount = count;
    EXPECT_EQ(Dump(Extract(two.Bytes())), "Title=title; Client=Acme; ") << count;
  }
  PropertySetWriter writer;
  writer.Add(SUMMARY_FMTID).Property(2, Lpstr("first")).Property(3, Lpstr("subject"));
  writer.Add(SUMMARY_FMTID).offset = 0x7FFFFFF0;              // past the end
  writer.Add(SUMMARY_FMTID).raw = Le32(8) + Le32(0x80000000); // huge table
  writer.Add(SUMMARY_FMTID).raw =
      Le32(8) + Le32(2) + Le32(4) + Le32(0xFFFFFFF0) + Le32(5) + Le32(24) + Lpstr("keywords"); // a pair past the end
  writer.Add(SUMMARY_FMTID).Property(2, Lpstr("second")).Property(6, Lpstr("comments"));
  EXPECT_EQ(Dump(Extract(writer.Bytes())), "Title=first; Comments=comments; Keywords=keywords; Subject=subject; ");
}

TEST(PropertyStorageSections, SharedValuesCostWorkBoundedByTheStream) {
  // 20000 named pairs all pointing at one 64 KiB string: decoding each would
  // read 1.3 GB out of a 0.5 MB stream.
  constexpr uint32_t count = 20000;
  std::string value = Lpstr(std::string(65536, 'v'));
  std::vector<DictionaryEntry> names;
  std::string table = Le32(0) + Le32(8 + 8 * (count + 1) + uint32_t(value.size()));
  for (uint32_t id = 2; id < count + 2; ++id) {
    names.push_back({id, Narrow(std::to_string(id))});
    table += Le32(id) + Le32(8 + 8 * (count + 1));
  }
  PropertySetWriter writer;
  writer.Add(USER_DEFINED_FMTID).raw = Le32(0) + Le32(count + 1) + table + value + Dictionary(names, false);
  std::string stream = writer.Bytes();
  Extracted out = Extract(stream);
  EXPECT_GT(out.byName.size(), 0u);
  EXPECT_LE(out.byName.size() * value.size(), 20 * stream.size());
}

// Unnamed ids of the user-defined section use the document-summary table; ids
// outside a table are dropped; the first value of an id wins.
TEST(PropertyMaps, FilingFollowsTheGroupAndTheFirstValueWins) {
  PropertySetWriter doc;
  doc.Add(DOC_SUMMARY_FMTID).Property(2, Lpstr("category")).Property(15, Lpstr("company"));
  doc.Add(USER_DEFINED_FMTID)
      .Property(0, Dictionary({{2, Narrow("Client")}}, false))
      .Property(2, Lpstr("Acme"))
      .Property(14, Lpstr("manager"));
  EXPECT_EQ(Dump(Extract(doc.Bytes())), "Category=category; Company=company; Manager=manager; Client=Acme; ");
  EXPECT_EQ(Dump(Extract(Summary({{2, Lpstr("one")}, {2, Lpstr("two")}, {10, FileTime(3600)}, {17, Lpstr("thumb")},
                                  {15, Typed(3, Le32(9))}, {99, Lpstr("x")}}))),
            "Title=one; NumberOfWords=9; ");
  PropertySetWriter other;
  other.Add("0123456789abcdef").Property(2, Lpstr("t"));
  EXPECT_EQ(Dump(Extract(other.Bytes())), "");
}

TEST(PropertyMaps, MergeKeepsEnumerationEntriesBeforeEqualNames) {
  PropertySetWriter writer;
  writer.Add(SUMMARY_FMTID).Property(2, Lpstr("Report")).Property(4, Lpstr("Alice"));
  writer.Add(USER_DEFINED_FMTID)
      .Property(0, Dictionary({{9, Narrow("title")}, {8, Narrow("Zeta")}}, false))
      .Property(9, Lpstr("User"))
      .Property(8, Typed(11, Le16(1)));
  Buffer buffer(writer.Bytes());
  PropertyStorage::MergedMap all;
  all.emplace("Author", V(u"earlier"));
  PropertyStorage(buffer).Properties(all);
  std::vector<std::pair<std::string, std::u16string>> seen;
  for (auto const& [name, value] : all)
    seen.emplace_back(name, value.AsWString());
  std::vector<std::pair<std::string, std::u16string>> const expected = {
      {"Author", u"earlier"}, {"Author", u"Alice"}, {"Title", u"Report"}, {"title", u"User"}, {"Zeta", u"true"}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(PropertyStorage::Name(PropertyStorage::MODIFICATION_DATE), "ModificationDate");
  EXPECT_EQ(PropertyStorage::Name(PropertyStorage::PROPERTY_ENUM(28)), "");
}

TEST(StorageProperties, BreadthFirstThenStreamOrderWinsAndEachStorageOnce) {
  auto set = [](std::string const& client, std::string const& author) {
    PropertySetWriter writer;
    writer.Add(SUMMARY_FMTID).Property(4, Lpstr(author));
    writer.Add(USER_DEFINED_FMTID).Property(0, Dictionary({{2, Narrow("Client")}}, false)).Property(2, Lpstr(client));
    return writer.Bytes();
  };
  W writer;
  uint32_t first = writer.AddStorage(0, u"First"), second = writer.AddStorage(0, u"Second");
  writer.AddStorage(first, u"Deeper");
  writer.AddStream(writer.AddStorage(first, u"Deep"), u"\x05Set", set("deep", "deep"));
  writer.AddStream(second, u"\x05Set", set("second", "second"));
  writer.AddStream(0, u"\x05NotASet", std::string(600, 'x'));
  writer.AddStream(0, u"Contents1", set("Contents1", "Contents1"));
  writer.AddStream(0, u"contents", Summary({{4, Lpstr("contents")}}));
  writer.AddStream(0, u"\x05Late", Summary({{4, Lpstr("late")}, {2, Lpstr("title")}}));
  EXPECT_EQ(FileProperties(writer.Build()), (Pairs{{"Author", "contents"}, {"Client", "second"}, {"Title", "title"}}));

  W loop;
  uint32_t outer = loop.AddStorage(0, u"Loop"), inner = loop.AddStorage(outer, u"Inner");
  loop.AddStream(outer, u"\x05Set", Summary({{2, Lpstr("t")}}));
  loop.Build();
  loop.SetEntry(inner, W::CHILD, outer); // Inner holds Loop, which holds Inner
  EXPECT_EQ(FileProperties(loop.bytes), (Pairs{{"Title", "t"}}));
}

// ------------------------------------------------------------ real files

// Every storage and, by size and digest, every stream below `storage`, as the
// recorded entries end.
void Collect(Storage const& storage, std::vector<std::string>& found) {
  for (auto const& item : storage.Streams()) {
    MemoryBuffer out;
    storage.ReadStream(item.id, out);
    std::string bytes = Contents(out);
    zebfile::Sha256 digest;
    digest.Update(bytes.data(), bytes.size());
    found.push_back("\", \"stream\", " + std::to_string(bytes.size()) + ", \"" + digest.HexDigest() + "\"]");
  }
  for (auto const& item : storage.Storages()) {
    found.push_back("\", \"storage\"]");
    Collect(*storage.OpenStorage(item.id), found);
  }
}

// Every stream has the size and digest that another reader recorded (the
// names, and the properties, are compared through the tool by the
// differential test).
TEST(StorageCorpus, EveryStreamHasTheRecordedSizeAndDigest) {
  int files = 0;
  for (auto const& json : fs::directory_iterator(fs::path(ZEB_TEST_DATA) / "expected")) {
    SCOPED_TRACE(json.path().string());
    std::string expected = FileBytes(json.path());
    std::string entries = expected.substr(0, expected.find("]], ") + 2);
    std::vector<std::string> found;
    Collect(*OpenFile(FileBytes(fs::path(ZEB_TEST_DATA) / json.path().stem())).top, found);
    for (auto const& entry : found) {
      std::size_t count = 0;
      for (std::size_t at = 0; (at = entries.find(entry, at)) != std::string::npos; ++at)
        ++count;
      EXPECT_EQ(count, std::count(found.begin(), found.end(), entry)) << entry;
    }
    std::size_t recorded = 0;
    for (std::size_t at = 0; (at = entries.find("\", \"st", at)) != std::string::npos; ++at)
      ++recorded;
    EXPECT_EQ(found.size(), recorded);
    ++files;
  }
  EXPECT_EQ(files, 7);
}

TEST(StorageRegress, KeptInputsEndCleanly) {
  int inputs = 0;
  for (auto const& entry : fs::directory_iterator(fs::path(ZEB_TEST_DATA) / "regress")) {
    SCOPED_TRACE(entry.path().filename().string());
    std::string bytes = FileBytes(entry.path());
    for (int way = 0; way < 3; ++way) {
      try {
        if (way == 0)
          ZEBTest::WalkStorage(*OpenFile(bytes).top);
        else if (way == 1)
          FileProperties(bytes);
        else
          Extract(bytes);
      } catch (OLE::OLEException const&) {
      }
    }
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

} // namespace
