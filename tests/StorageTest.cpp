// Compound files, writer-made (every damaged shape the readers survive) and real (against
// what other readers found).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "../tools/Sha256.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/Storage.h"
#include "support/CompoundWriter.h"
#include "support/StorageWalk.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes(); // the sanitizer's allocator
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

using ZEBFile::MemoryBuffer;
using ZEBFile::OLE::PropertyStorage;
using ZEBFile::OLE::Storage;
using W = ZEBTest::CompoundWriter;
namespace OLE = ZEBFile::OLE;
namespace fs = std::filesystem;

namespace {

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = char((i * 2654435761u >> 13) + seed * 7 + i / 512);
  return bytes;
}

std::string FileBytes(fs::path const& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::u16string Units(std::string const& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Read(Storage const& storage, uint32_t id) {
  MemoryBuffer out;
  storage.ReadStream(id, out);
  std::string bytes;
  out.Copy(bytes, out.Size());
  return bytes;
}

// The kinds of the file's defects, in the order found, and the table or entry each concerns.
std::string Defects(Storage const& storage) {
  static char const* const kinds[] = {"short", "loops", "leaves", "shared", "type", "missing", "again", "capped",
                                      "table-short"};
  std::string text;
  for (Storage::Defect const& defect : storage.Defects())
    text += std::string(text.empty() ? "" : " ") + kinds[defect.kind] + "@" +
            (defect.entry == Storage::Defect::NO_ENTRY ? "t" + std::to_string(defect.table)
                                                       : std::to_string(defect.entry));
  return text;
}

struct Buffer : MemoryBuffer {
  explicit Buffer(std::string const& bytes) : MemoryBuffer(bytes.data(), uint32_t(bytes.size()), 1u << 16) {}
};

struct OpenFile {
  explicit OpenFile(std::string const& bytes) : buffer(bytes), top(new Storage("", buffer)) {}
  Buffer buffer;
  ZEB::SmartPtr<Storage> top;
};

TEST(StorageHeader, OnlyTheFourHeaderFaultsThrow) {
  W writer;
  writer.AddStream(0, u"data", Pattern(100, 1));
  std::string const base = writer.Build();
  std::tuple<char const*, std::function<void(std::string&)>, std::string> const rows[] = {
      {"intact", [](std::string&) {}, "opens"},
      {"511 bytes", [](std::string& b) { b.resize(511); }, "not a storage"},
      {"beta-2 signature", [](std::string& b) { b.replace(0, 8, "\x0E\x11\xFC\x0D\xD0\xCF\x11\xE0"); }, "opens"},
      {"byte order FEFF", [](std::string& b) { b.replace(0x1C, 2, "\xFF\xFE"); }, "corrupted"},
      {"sector shift 8", [](std::string& b) { b[0x1E] = 8; }, "corrupted"},
      {"sector shift 13", [](std::string& b) { b[0x1E] = 13; }, "corrupted"},
      {"header alone, no FAT, no MiniFAT",
       [](std::string& b) { b.resize(512), b.replace(0x2C, 4, 4, '\0'), b.replace(0x3C, 4, 4, '\xFF'); }, "opens"},
  };
  for (auto const& [what, patch, outcome] : rows) {
    std::string bytes = base, opened = "opens";
    patch(bytes);
    try {
      OpenFile file(bytes);
    } catch (OLE::NotAStorageOLEException const&) {
      opened = "not a storage";
    } catch (OLE::CorruptedStorageOLEException const&) {
      opened = "corrupted";
    }
    EXPECT_EQ(opened, outcome) << what;
  }
}

// Streams on both sides of the cutoff, in both sector sizes and with two cutoffs; names cut at 32 units, trailing
// zero units dropped, none (length field 2 or 0): not listed; lookups exact, the lower id winning.
TEST(StorageStreams, SizesAroundTheCutoffNamesAndLookups) {
  std::u16string const forty = Units("abcdefghijklmnopqrstuvwxyz0123456789ABCD");
  for (auto [shift, cutoff, interleave] : {std::tuple{9u, 4096u, false}, {9u, 1000u, true}, {12u, 4096u, true},
                                           {12u, 1000u, false}}) {
    SCOPED_TRACE(testing::Message() << "shift " << shift << " cutoff " << cutoff << " interleave " << interleave);
    W writer(shift);
    writer.cutoff = cutoff;
    writer.interleave = interleave;
    std::map<uint32_t, std::pair<std::u16string, std::string>> streams; // by id: the name listed, the bytes
    for (std::size_t size : {0u, 1u, 63u, 64u, 65u, 3u * 512 + 7, 100000u, cutoff - 1, cutoff, cutoff + 1}) {
      std::u16string name = Units("s" + std::to_string(size));
      std::string bytes = Pattern(size, unsigned(size));
      streams[writer.AddStream(0, name + std::u16string(2, u'\0'), bytes)] = {name, bytes};
    }
    streams[writer.AddStream(0, forty, "forty")] = {forty.substr(0, 32), "forty"};
    streams[writer.AddStream(0, u"s1", "later")] = {u"s1", "later"};
    writer.AddStream(0, u"", "no name");
    uint32_t gone = writer.AddStream(0, u"gone", "length field 0");
    writer.Build();
    writer.SetEntry(gone, W::NAME_LENGTH, 0);
    OpenFile file(writer.bytes);
    ASSERT_EQ(file.top->Streams().size(), streams.size());
    for (auto const& item : file.top->Streams()) {
      EXPECT_EQ(item.name, streams[item.id].first);
      EXPECT_EQ(item.size, streams[item.id].second.size()) << item.id;
      EXPECT_EQ(Read(*file.top, item.id), streams[item.id].second) << item.id;
    }
    MemoryBuffer out;
    file.top->ReadStream(u"s1", out);
    EXPECT_EQ(out.Size(), 1u);
    EXPECT_THROW(file.top->ReadStream(u"S1", out), OLE::StreamNotFoundOLEException);
    EXPECT_THROW(file.top->OpenStorage(u"s1"), OLE::StorageNotFoundOLEException);
  }
}

// Streams s1..s11, each the right sibling of the one before; three directory sectors, two MiniFAT sectors,
// chains that jump. A row lists s1..s<listed>, each read whole or as far as `cut` gives (of the id and size),
// and the file's defects (kind@entry, or kind@t<table>).
TEST(StorageFailures, EachDamagedShapeEndsItsChainOrSkipsItsEntry) {
  using Cut = std::function<std::size_t(uint32_t, std::size_t)>;
  auto only = [](uint32_t stream, std::size_t length) -> Cut {
    return [=](uint32_t id, std::size_t size) { return id == stream ? length : size; };
  };
  std::tuple<char const*, std::function<void(W&)>, std::size_t, Cut, std::string> const rows[] = {
      {"intact", [](W&) {}, 11, {}, ""},
      {"FAT sector past the end of the file", [](W& w) { w.Set32(0x4C, 0xFFFFFF); }, 3,
       [](uint32_t, std::size_t) { return std::size_t(0); },
       "table-short@t1 table-short@t2 leaves@t4 missing@4 leaves@0 leaves@1 leaves@2 leaves@3"},
      {"MiniFAT chain loops: mini sectors 0..127 known, s4 has 60 of its 63, s5 and s7..s11 none",
       [](W& w) { w.SetFat(w.miniFatSectors[0], w.miniFatSectors[0]); }, 11,
       [](uint32_t id, std::size_t size) { return id == 4 ? 60 * 64 : id == 5 || id > 6 ? 0 : size; },
       "table-short@t2 leaves@4 leaves@5 leaves@7 leaves@8 leaves@9 leaves@10 leaves@11"},
      {"FAT sector count above 65536", [](W& w) { w.Set32(0x2C, 0x20000); }, 11, {}, "table-short@t1"},
      {"directory chain loops",
       [](W& w) { w.SetFat(w.dirSectors[1], w.dirSectors[0]); }, 7, {}, "loops@t4"},
      {"directory starts past the end", [](W& w) { w.Set32(0x30, 0xFFFFFF); }, 0, {}, "leaves@t4"},
      {"entry of type 6 inside the tree", [](W& w) { w.SetEntry(5, W::TYPE, 6); }, 4, {}, "type@5"},
      {"sibling tree loops", [](W& w) { w.SetEntry(5, W::RIGHT, 2); }, 5, {}, "again@2"},
      {"root entry empty", [](W& w) { w.SetEntry(0, W::TYPE, 0); }, 0, {}, ""},
      {"stream chain loops", [](W& w) { w.SetFat(w.Chain(1)[2], w.Chain(1)[0]); }, 11, only(1, 3 * 512), "loops@1"},
      {"stream chain leaves the file", [](W& w) { w.SetFat(w.Chain(1)[1], 120); }, 11, only(1, 2 * 512), "leaves@1"},
      {"declared size above the chain", [](W& w) { w.SetEntry(1, W::SIZE, 10000); }, 11, only(1, 9 * 512), "short@1"},
      {"mini chain loops", [](W& w) { w.SetMiniFat(w.Chain(2)[3], w.Chain(2)[1]); }, 11, only(2, 4 * 64), "loops@2"},
      {"mini chain leaves the MiniFAT", [](W& w) { w.SetMiniFat(w.Chain(2)[1], 0xFFFFF0); }, 11, only(2, 2 * 64),
       "leaves@2"},
  };
  W base;
  base.flatTree = base.interleave = true;
  std::size_t const sizes[] = {4500, 300, 4000, 4000, 4000, 5000, 10, 10, 10, 10, 10};
  for (std::size_t i = 0; i < 11; ++i)
    base.AddStream(0, Units("s" + std::to_string(i + 1)), Pattern(sizes[i], unsigned(i)));
  base.Build();
  for (auto const& [what, patch, listed, cut, defects] : rows) {
    SCOPED_TRACE(what);
    W writer = base;
    patch(writer);
    OpenFile file(writer.bytes);
    ASSERT_EQ(file.top->Streams().size(), listed);
    for (auto const& item : file.top->Streams()) {
      EXPECT_TRUE(item.id <= listed && item.name == Units("s" + std::to_string(item.id))) << item.id;
      std::string bytes = Read(*file.top, item.id);
      EXPECT_EQ(bytes, writer.Padded(item.id).substr(0, cut ? cut(item.id, item.size) : item.size)) << item.id;
      Storage::Details details;
      EXPECT_TRUE(file.top->GetDetails(item.id, details) && details.readable == bytes.size()) << item.id;
    }
    EXPECT_EQ(Defects(*file.top), defects);
  }
}

TEST(StorageFailures, DifatChainEndsAtFreeSectAndWhereItLoops) {
  W writer; // a 15.5 MiB stream: 245 FAT sectors, two DIFAT sectors
  uint32_t big = writer.AddStream(0, u"big", Pattern(31000 * 512, 3));
  writer.Build();
  ASSERT_EQ(writer.difatSectors.size(), 2u);
  uint64_t const first = writer.SectorOffset(writer.difatSectors[0]), next = first + 127 * 4; // and its link
  std::tuple<char const*, uint64_t, uint32_t, uint32_t> const rows[] = {
      {"intact", 0, 0, 31000},
      {"FREE_SECT in a DIFAT sector", first, W::FREE_SECT, 109 * 128},
      {"DIFAT chain loops", next, writer.difatSectors[0], 236 * 128},
  };
  for (auto const& [what, at, value, sectorsRead] : rows) {
    SCOPED_TRACE(what);
    W copy = writer;
    if (at)
      copy.Set32(at, value);
    std::string bytes = Read(*OpenFile(copy.bytes).top, big);
    EXPECT_EQ(bytes.size(), sectorsRead * 512u);
    EXPECT_TRUE(bytes == writer.Padded(big).substr(0, bytes.size()));
  }
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
  // 65536 FAT sectors of 4096 bytes declared, the one FAT sector listed 109 times: five sectors, little memory.
  W huge(12);
  uint32_t id = huge.AddStream(0, u"data", Pattern(5000, 5));
  huge.Build();
  huge.Set32(0x2C, 65536);
  for (uint32_t i = 0; i < 109; ++i)
    huge.Set32(0x4C + 4 * i, huge.fatSectors[0]);
  std::optional<std::size_t> before = HeapInUse();
  OpenFile file(huge.bytes);
  std::optional<std::size_t> after = HeapInUse();
  EXPECT_EQ(Read(*file.top, id), Pattern(5000, 5));
  EXPECT_LT(after.value_or(0) - before.value_or(0), 1u << 20); // where the heap in use can be known

  // 65536 FAT sectors of 512 bytes: sector id 2^23 - 1 lies at 4 GiB and ends the stream.
  W far;
  far.cutoff = 512;
  far.minFatSectors = 65536;
  id = far.AddStream(0, u"data", Pattern(1024, 6));
  far.Build();
  far.SetFat(far.Chain(id)[0], (1u << 23) - 1);
  EXPECT_EQ(Read(*OpenFile(far.bytes).top, id), Pattern(512, 6));
}

// ------------------------------------------------------------ real files

// Every storage and, by size and digest, every stream below `storage`.
void Collect(Storage const& storage, std::multiset<std::string>& found) {
  for (auto const& item : storage.Streams()) {
    std::string bytes = Read(storage, item.id);
    zebfile::Sha256 digest;
    digest.Update(bytes.data(), bytes.size());
    found.insert(std::to_string(bytes.size()) + " " + digest.HexDigest());
  }
  for (auto const& item : storage.Storages()) {
    found.insert("storage");
    Collect(*storage.OpenStorage(item.id), found);
  }
}

// Every stream has the size and digest another reader recorded (names and properties: the differential test).
TEST(StorageCorpus, EveryStreamHasTheRecordedSizeAndDigest) {
  int files = 0;
  for (auto const& json : fs::directory_iterator(fs::path(ZEB_TEST_DATA) / "expected")) {
    SCOPED_TRACE(json.path().string());
    std::multiset<std::string> recorded, found;
    nlohmann::json const expected = nlohmann::json::parse(std::ifstream(json.path()));
    for (auto const& entry : expected.at("entries"))
      recorded.insert(entry[1] == "storage" ? "storage" : entry[2].dump() + " " + entry[3].get<std::string>());
    OpenFile file(FileBytes(fs::path(ZEB_TEST_DATA) / json.path().stem()));
    Collect(*file.top, found);
    EXPECT_EQ(found, recorded);
    EXPECT_EQ(Defects(*file.top), "");
    ++files;
  }
  EXPECT_EQ(files, 7);
}

// Hostile files kept from the fuzz target: every one opens, its walk lists each entry once and its properties
// end, and it has the defects named here.
TEST(StorageRegress, KeptInputsEndCleanlyWithTheirDefects) {
  std::map<std::string, std::string> const defects = {
      {"directory-chain-loops.cfs", "loops@t4 missing@9 shared@1"},
      {"directory-sector-at-4gib.cfs", "leaves@t4 missing@9 missing@5"},
      {"huge-fat.cfs", "capped@t1"},
      {"minifat-loops.cfs", "loops@1"},
      {"sibling-tree-loops.cfs", "again@1"},
      {"storage-holds-the-root.cfs", "again@0"},
      {"stream-chain-loops.cfs", "loops@2"},
  };
  std::size_t inputs = 0;
  for (auto const& entry : fs::directory_iterator(fs::path(ZEB_TEST_DATA) / "regress")) {
    SCOPED_TRACE(entry.path().filename().string());
    std::string const bytes = FileBytes(entry.path());
    OpenFile file(bytes);
    PropertyStorage::MergedMap properties;
    ZEBTest::Walked walked = ZEBTest::WalkStorage(*file.top);
    EXPECT_EQ(walked.listed, walked.Distinct());
    EXPECT_LE(walked.bytes, bytes.size());
    EXPECT_NO_THROW(file.top->Properties(properties));
    auto named = defects.find(entry.path().filename().string());
    EXPECT_TRUE(named != defects.end() && Defects(*file.top) == named->second) << Defects(*file.top);
    ++inputs;
  }
  EXPECT_EQ(inputs, defects.size());
}

// `count` streams: the first holds `data`, the others declare its size and point at its chain.
std::string SharingOneChain(std::u16string const& prefix, std::string const& data, uint32_t count) {
  W w;
  for (uint32_t i = 0; i < count; ++i)
    w.AddStream(0, prefix + Units(std::to_string(i)), i == 0 ? data : std::string());
  w.Build();
  for (uint32_t id = 2; id <= count; ++id)
    w.SetEntry(id, W::START, w.Chain(1)[0]), w.SetEntry(id, W::SIZE, uint32_t(data.size()));
  return w.bytes;
}

// Shapes that made a caller's walk, the bytes delivered or the memory grow out of all proportion to the file:
// each lists every entry once, delivers at most the file's size, keeps the heap within twice the file's size
// plus 16 MiB, and says what it found.
TEST(StorageHostile, WorkStaysInProportionToTheFile) {
  std::string sharedLevels; // each level's A reached again from the B beside it
  for (uint32_t a = 4; a <= 120; a += 2)
    sharedLevels += (a == 4 ? "again@" : " again@") + std::to_string(a);
  std::tuple<char const*, std::function<std::string()>, std::size_t, std::string> const rows[] = {
      {"60 levels of two storages, the second sharing the first's children",
       [] {
         W w;
         std::vector<std::pair<uint32_t, uint32_t>> levels; // A, B
         for (uint32_t parent = 0, i = 0; i < 60; ++i, parent = levels.back().first)
           levels.emplace_back(w.AddStorage(parent, u"A"), w.AddStorage(parent, u"B"));
         w.Build();
         for (auto [a, b] : levels)
           w.SetEntry(b, W::CHILD, w.ChildLink(a));
         return w.bytes;
       },
       120, sharedLevels},
      {"a storage that contains itself",
       [] {
         W w;
         uint32_t self = w.AddStorage(0, u"self");
         w.AddStream(self, u"inner", "x");
         w.Build();
         w.SetEntry(self + 1, W::LEFT, self);
         return w.bytes;
       },
       2, "again@1"},
      {"200 streams on one 20000-byte chain", [] { return SharingOneChain(u"s", Pattern(20000, 1), 200); }, 200,
       "shared@1"},
      {"a directory chain running on past the end of the file",
       [] {
         W w;
         w.minFatSectors = 2000; // a FAT for 256000 sectors in a file of 2000
         w.AddStream(0, u"s", "x");
         w.Build();
         for (uint32_t sector = w.dirSectors.back(); sector < 2000 * 128 - 1; ++sector)
           w.SetFat(sector, sector + 1);
         return w.bytes;
       },
       1, "leaves@t4"},
  };
  for (auto const& [what, build, listed, defects] : rows) {
    SCOPED_TRACE(what);
    std::string const bytes = build();
    std::optional<std::size_t> before = HeapInUse();
    OpenFile file(bytes);
    ZEBTest::Walked walked = ZEBTest::WalkStorage(*file.top);
    std::string found = Defects(*file.top);
    std::optional<std::size_t> after = HeapInUse();
    EXPECT_EQ(walked.listed, listed);
    EXPECT_EQ(walked.Distinct(), listed);
    EXPECT_LE(walked.bytes, bytes.size());
    EXPECT_LT(after.value_or(0) - before.value_or(0), 2 * bytes.size() + (16u << 20));
    EXPECT_EQ(found, defects);
  }
}

// Property streams sharing one chain are decoded once: the same properties as the first stream alone, and the
// sharing is one defect counting the streams.
TEST(StorageHostile, PropertyStreamsSharingAChainAreDecodedOnce) {
  OpenFile real(FileBytes(fs::path(ZEB_TEST_DATA) / "report_en.doc"));
  MemoryBuffer stream;
  real.top->ReadStream(u"\x05SummaryInformation", stream);
  std::string summary;
  stream.Copy(summary, stream.Size());
  OpenFile file(SharingOneChain(u"\x05p", summary, 10));
  PropertyStorage::MergedMap all, once;
  file.top->Properties(all);
  stream.SeekG(0);
  PropertyStorage(stream).Properties(once);
  EXPECT_EQ(all.size(), once.size());
  ASSERT_EQ(file.top->Defects().size(), 1u);
  EXPECT_EQ(file.top->Defects()[0].numbers[1], 9u);
}

// A stream entry nobody lists (an orphan left by an earlier edit) on the chain of a listed stream never takes its
// sectors, and is not told as damage: nobody sees it.
TEST(StorageHostile, AStreamNobodyListsNeverTakesAListedStreamsSectors) {
  W w;
  uint32_t orphan = w.AddStream(0, u"orphan", std::string());
  uint32_t kept = w.AddStream(0, u"kept", Pattern(5000, 4)); // the root of the sibling tree, the orphan left of it
  w.Build();
  w.SetEntry(kept, W::LEFT, W::NO_ENTRY);
  w.SetEntry(orphan, W::START, w.Chain(kept)[0]), w.SetEntry(orphan, W::SIZE, 5000);
  OpenFile file(w.bytes);
  ASSERT_EQ(file.top->Streams().size(), 1u);
  EXPECT_EQ(Read(*file.top, kept), Pattern(5000, 4));
  EXPECT_EQ(Read(*file.top, orphan), "");
  EXPECT_EQ(Defects(*file.top), "");
}

} // namespace
