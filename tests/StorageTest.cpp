// Compound files: header checks, streams around the mini-stream cutoff in
// both sector sizes, every damaged shape the reader must survive (writer-made
// files), names, navigation, caching, the bounds on memory and offsets, the
// real files against their recorded digests, and the kept fuzz inputs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "ZEB/BinaryStream.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Storage.h"
#include "support/CompoundWriter.h"
#include "support/Sha256.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes(); // the sanitizer's allocator
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

using ZEBFile::MemoryBuffer;
using ZEBFile::OLE::Storage;
using ZEBTest::CompoundWriter;
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

// A file held in a memory buffer and its top storage.
struct OpenFile {
  explicit OpenFile(std::string const& bytes) : buffer(bytes.data(), uint32_t(bytes.size()), 1u << 16) {
    top = new Storage("", buffer);
  }
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
  MemoryBuffer buffer;
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

std::u16string Units(std::string const& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

TEST(StorageHeader, OnlyTheFourHeaderFaultsThrow) {
  CompoundWriter small;
  small.AddStream(0, u"data", Pattern(100, 1));
  std::string const base = small.Build();
  CompoundWriter large(12);
  large.AddStream(0, u"data", Pattern(5000, 2));
  struct Row {
    char const* what;
    std::string bytes;
    std::function<void(std::string&)> patch;
    Outcome outcome;
  } const rows[] = {
      {"intact", base, [](std::string&) {}, OPENS},
      {"511 bytes", base, [](std::string& b) { b.resize(511); }, NOT_A_STORAGE},
      {"signature changed", base, [](std::string& b) { b[3] = 'x'; }, NOT_A_STORAGE},
      {"beta-2 signature", base, [](std::string& b) { b.replace(0, 8, "\x0E\x11\xFC\x0D\xD0\xCF\x11\xE0", 8); }, OPENS},
      {"byte order FEFF", base, [](std::string& b) { b[0x1C] = char(0xFF), b[0x1D] = char(0xFE); }, CORRUPTED},
      {"sector shift 8", base, [](std::string& b) { b[0x1E] = 8; }, CORRUPTED},
      {"sector shift 13", base, [](std::string& b) { b[0x1E] = 13; }, CORRUPTED},
      {"sector shift 41", base, [](std::string& b) { b[0x1E] = 41; }, CORRUPTED},
      {"mini sector shift 5", base, [](std::string& b) { b[0x20] = 5; }, CORRUPTED},
      {"mini sector shift 10", base, [](std::string& b) { b[0x20] = 10; }, CORRUPTED},
      {"4096-byte sectors, 64-byte mini sectors", large.Build(), [](std::string&) {}, OPENS},
      {"header alone, no FAT, no MiniFAT", base,
       [](std::string& b) {
         b.resize(512);
         b.replace(0x2C, 4, 4, '\0');
         b.replace(0x3C, 4, "\xFE\xFF\xFF\xFF", 4);
       },
       OPENS},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    std::string bytes = row.bytes;
    row.patch(bytes);
    EXPECT_EQ(Open(bytes), row.outcome);
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
          SCOPED_TRACE(item.id);
          EXPECT_EQ(item.size, data[item.id].size());
          EXPECT_EQ(file.Read(item.id), data[item.id]);
        }
      }
}

// The base of the damaged shapes: eleven streams s1..s11 under the root, each
// the right sibling of the one before; three directory sectors; two MiniFAT
// sectors; regular chains that jump.
struct DamageFile {
  DamageFile() {
    writer.flatTree = writer.interleave = true;
    std::size_t const sizes[] = {4500, 300, 4000, 4000, 4000, 5000, 10, 10, 10, 10, 10};
    for (std::size_t i = 0; i < 11; ++i)
      writer.AddStream(0, Units("s" + std::to_string(i + 1)), Pattern(sizes[i], unsigned(i)));
    writer.Build();
  }
  CompoundWriter writer;
};

TEST(StorageFailures, EachDamagedShapeEndsItsChainOrSkipsItsEntry) {
  using W = CompoundWriter;
  struct Row {
    char const* what;
    std::function<void(W&)> patch;
    std::size_t listed; // s1..s<listed>
    std::function<std::size_t(W const&, uint32_t, std::size_t)> length; // of stream id, given its size
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
         if (size >= 4096)
           return size;
         std::size_t kept = 0;
         while (kept < w.Chain(id).size() && w.Chain(id)[kept] < 128)
           ++kept;
         return std::min(size, kept * 64);
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
      {"stream chain loops", [](W& w) { w.SetFat(w.Chain(1)[2], w.Chain(1)[0]); }, 11,
       [](W const&, uint32_t id, std::size_t size) { return id == 1 ? 3 * 512 : size; }},
      {"stream chain leaves the FAT", [](W& w) { w.SetFat(w.Chain(1)[1], 0xFFFFF0); }, 11,
       [](W const&, uint32_t id, std::size_t size) { return id == 1 ? 2 * 512 : size; }},
      {"stream chain leaves the file", [](W& w) { w.SetFat(w.Chain(1)[1], 120); }, 11,
       [](W const&, uint32_t id, std::size_t size) { return id == 1 ? 2 * 512 : size; }},
      {"declared size above the chain", [](W& w) { w.SetEntry(1, W::SIZE, 10000); }, 11,
       [](W const&, uint32_t id, std::size_t size) { return id == 1 ? 9 * 512 : size; }},
      {"chain longer than the size", [](W& w) { w.SetEntry(1, W::SIZE, 4200); }, 11, {}},
      {"mini chain loops", [](W& w) { w.SetMiniFat(w.Chain(2)[3], w.Chain(2)[1]); }, 11,
       [](W const&, uint32_t id, std::size_t size) { return id == 2 ? 4 * 64 : size; }},
      {"mini chain leaves the MiniFAT", [](W& w) { w.SetMiniFat(w.Chain(2)[1], 0xFFFFF0); }, 11,
       [](W const&, uint32_t id, std::size_t size) { return id == 2 ? 2 * 64 : size; }},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    DamageFile base;
    row.patch(base.writer);
    OpenFile file(base.writer.bytes);
    std::vector<std::u16string> expected;
    for (std::size_t i = 1; i <= row.listed; ++i)
      expected.push_back(Units("s" + std::to_string(i)));
    EXPECT_EQ(file.StreamNames(), expected);
    for (auto const& item : file.top->Streams()) {
      std::size_t length = row.length ? row.length(base.writer, item.id, item.size) : item.size;
      EXPECT_EQ(file.Read(item.id), base.writer.Padded(item.id).substr(0, length)) << "stream " << item.id;
    }
  }
}

TEST(StorageFailures, DifatChainEndsAtFreeSectLoopsAndTheEndOfTheFile) {
  CompoundWriter writer; // a 15.5 MiB stream: 245 FAT sectors, two DIFAT sectors
  uint32_t const sectors = 31000;
  uint32_t big = writer.AddStream(0, u"big", Pattern(sectors * 512u, 3));
  writer.Build();
  ASSERT_EQ(writer.difatSectors.size(), 2u);
  auto difatNext = [&](CompoundWriter& w) { return w.SectorOffset(w.difatSectors[0]) + 127 * 4; };
  struct Row {
    char const* what;
    std::function<void(CompoundWriter&)> patch;
    uint32_t sectorsRead;
  } const rows[] = {
      {"intact", [](CompoundWriter&) {}, sectors},
      {"FAT sector count above 65536", [](CompoundWriter& w) { w.Set32(0x2C, 0x20000); }, sectors},
      {"FREE_SECT in the header DIFAT", [](CompoundWriter& w) { w.Set32(0x4C + 100 * 4, w.FREE_SECT); }, 100 * 128},
      {"FAT sector past the end of the file", [](CompoundWriter& w) { w.Set32(0x4C + 50 * 4, 0xFFFFFF); }, 50 * 128},
      {"FREE_SECT in a DIFAT sector",
       [](CompoundWriter& w) { w.Set32(w.SectorOffset(w.difatSectors[0]), w.FREE_SECT); }, 109 * 128},
      {"DIFAT chain loops", [&](CompoundWriter& w) { w.Set32(difatNext(w), w.difatSectors[0]); }, 236 * 128},
      {"DIFAT sector past the end of the file", [&](CompoundWriter& w) { w.Set32(difatNext(w), 0xFFFFFF); },
       236 * 128},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    CompoundWriter copy = writer;
    row.patch(copy);
    OpenFile file(copy.bytes);
    std::string bytes = file.Read(big);
    EXPECT_EQ(bytes.size(), row.sectorsRead * 512u);
    EXPECT_TRUE(bytes == writer.Padded(big).substr(0, bytes.size()));
  }
}

TEST(StorageNames, LengthFieldAndUnits) {
  std::u16string const forty = Units("abcdefghijklmnopqrstuvwxyz0123456789ABCD");
  struct Row {
    char const* what;
    std::u16string name;
    int lengthField; // -1: as written
    std::u16string listed;
  } const rows[] = {
      {"length field 0", u"gone", 0, u""},
      {"length field 2, the terminator alone", u"", -1, u""},
      {"two units", u"ab", -1, u"ab"},
      {"32 units, no terminator", forty.substr(0, 32), -1, forty.substr(0, 32)},
      {"40 units, cut to 32", forty, -1, forty.substr(0, 32)},
      {"trailing zero units dropped", std::u16string(u"ab\0\0", 4), -1, u"ab"},
  };
  for (auto const& row : rows) {
    SCOPED_TRACE(row.what);
    CompoundWriter writer;
    uint32_t id = writer.AddStream(0, row.name, "x");
    writer.Build();
    if (row.lengthField >= 0)
      writer.SetEntry(id, CompoundWriter::NAME_LENGTH, uint32_t(row.lengthField));
    OpenFile file(writer.bytes);
    EXPECT_EQ(file.StreamNames(), row.listed.empty() ? std::vector<std::u16string>{} : std::vector{row.listed});
  }
}

TEST(StorageNavigation, NamesMatchExactlyAndTheLowerIdWins) {
  CompoundWriter writer(12);
  uint32_t upper = writer.AddStorage(0, u"A");
  uint32_t lower = writer.AddStorage(0, u"a");
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
  EXPECT_EQ(a->Name(), u"a");
  EXPECT_EQ(a->Streams().at(0).name, u"ina");
  EXPECT_EQ(top.OpenStorage(u"A")->Streams().at(0).name, u"inA");
  EXPECT_EQ(top.OpenStorage(upper)->Name(), u"A");
  EXPECT_TRUE(a->OpenStorage(empty)->Storages().empty() && a->OpenStorage(empty)->Streams().empty());

  EXPECT_THROW(top.OpenStorage(u"inA"), OLE::StorageNotFoundOLEException);
  EXPECT_THROW(top.OpenStorage(u"SAME "), OLE::StorageNotFoundOLEException);
  EXPECT_THROW(top.OpenStorage(top.Streams().at(0).id), OLE::StorageNotFoundOLEException);
  EXPECT_THROW(top.ReadStream(u"A", out), OLE::StreamNotFoundOLEException);
  EXPECT_THROW(top.ReadStream(u"Same", out), OLE::StreamNotFoundOLEException);

  // A child outlives its parent and the top storage; the root goes with the last one.
  uint32_t noEntry = uint32_t(writer.dirSectors.size() * 4 + 10);
  ZEB::SmartPtr<Storage> child = a->OpenStorage(empty);
  EXPECT_EQ(a->NbRef(), 1);
  a = nullptr;
  file.top = nullptr;
  EXPECT_EQ(child->Name(), u"empty");
  MemoryBuffer again;
  child->ReadStream(noEntry, again); // an id no entry has: nothing, no error
  EXPECT_EQ(again.Size(), 0u);
}

// Counts the bytes the reader takes from the file.
class CountingBuffer : public ZEB::BinaryStreamBufWrapper {
public:
  explicit CountingBuffer(ZEB::BinaryStreamBufT<unsigned>& inner) : BinaryStreamBufWrapper(inner) {}
  using BinaryStreamBufWrapper::Copy;
  uint32_t GetAll(void* to, uint32_t count) override { return Add(BinaryStreamBufWrapper::GetAll(to, count)); }
  uint32_t Get(void* to, uint32_t count) override { return Add(BinaryStreamBufWrapper::Get(to, count)); }
  uint32_t Copy(ZEB::BaseBinaryStreamBuf& to, uint32_t count) override {
    return Add(BinaryStreamBufWrapper::Copy(to, count));
  }
  uint64_t read = 0;

private:
  uint32_t Add(uint32_t count) { return read += count, count; }
};

TEST(StorageReads, AnEntryReadTwiceReadsTheFileOnce) {
  CompoundWriter writer;
  uint32_t folder = writer.AddStorage(0, u"folder");
  uint32_t stream = writer.AddStream(folder, u"data", Pattern(9000, 4));
  writer.Build();
  MemoryBuffer bytes(writer.bytes.data(), uint32_t(writer.bytes.size()));
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

TEST(StorageBounds, AHugeDeclaredFatOpensWithSmallMemory) {
  // 4096-byte sectors, 65536 FAT sectors declared, the one FAT sector listed
  // 109 times: the file holds five sectors.
  CompoundWriter writer(12);
  uint32_t id = writer.AddStream(0, u"data", Pattern(5000, 5));
  writer.Build();
  writer.Set32(0x2C, 65536);
  for (uint32_t i = 0; i < 109; ++i)
    writer.Set32(0x4C + 4 * i, writer.fatSectors[0]);
  std::optional<std::size_t> before = HeapInUse();
  OpenFile file(writer.bytes);
  std::optional<std::size_t> after = HeapInUse();
  EXPECT_EQ(file.Read(id), Pattern(5000, 5));
  if (!before)
    GTEST_SKIP() << "no heap counter on this platform";
  EXPECT_LT(*after - *before, 1u << 20);
}

TEST(StorageBounds, ASectorOffsetPastFourGiBEndsTheStream) {
  // 65536 FAT sectors of 512 bytes: sector ids up to 2^23 - 1, whose offset
  // (2^23 << 9) is 4 GiB.
  CompoundWriter writer;
  writer.cutoff = 512;
  writer.minFatSectors = 65536;
  uint32_t id = writer.AddStream(0, u"data", Pattern(1024, 6));
  writer.Build();
  writer.SetFat(writer.Chain(id)[0], (1u << 23) - 1);
  OpenFile file(writer.bytes);
  EXPECT_EQ(file.Read(id), Pattern(512, 6));
}

// ------------------------------------------------------------ real files

// A name as the recorded digests spell it in JSON: control characters as
// \u escapes, everything else in UTF-8.
std::string JsonText(std::u16string const& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size())
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (code < 0x20 || code == '"' || code == '\\') {
      char escape[16];
      std::snprintf(escape, sizeof escape, code < 0x20 ? "\\u%04x" : "\\%c", unsigned(code));
      out += escape;
      continue;
    }
    int extra = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    out += char(extra == 0 ? code : (0xFF00 >> (extra + 1) & 0xFF) | (code >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k)
      out += char(0x80 | ((code >> (6 * k)) & 0x3F));
  }
  return out;
}

// Every storage and stream below `storage` as the recorded entries write them.
void Collect(Storage const& storage, std::string const& prefix, std::vector<std::string>& found) {
  for (auto const& item : storage.Streams()) {
    MemoryBuffer out;
    storage.ReadStream(item.id, out);
    found.push_back("[\"" + prefix + JsonText(item.name) + "\", \"stream\", " + std::to_string(out.Size()) +
                    ", \"" + ZEBTest::Sha256Hex(Contents(out)) + "\"]");
  }
  for (auto const& item : storage.Storages()) {
    found.push_back("[\"" + prefix + JsonText(item.name) + "\", \"storage\"]");
    Collect(*storage.OpenStorage(item.id), prefix + JsonText(item.name) + "/", found);
  }
}

std::string FileBytes(fs::path const& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(StorageCorpus, EveryStreamHasTheRecordedSizeAndDigest) {
  EXPECT_EQ(ZEBTest::Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  int files = 0;
  for (auto const& json : fs::directory_iterator(fs::path(ZEB_TEST_DATA) / "expected")) {
    fs::path data = fs::path(ZEB_TEST_DATA) / json.path().stem();
    SCOPED_TRACE(data.string());
    std::string expected = FileBytes(json.path());
    expected = expected.substr(0, expected.find("]], ") + 2); // the entries only
    OpenFile file(FileBytes(data));
    std::vector<std::string> found;
    Collect(*file.top, "", found);
    for (auto const& entry : found)
      EXPECT_NE(expected.find(entry), std::string::npos) << entry;
    std::size_t recorded = 0;
    for (std::size_t at = 0; (at = expected.find("\", \"st", at)) != std::string::npos; ++at)
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
    try {
      OpenFile file(bytes);
      ZEBTest::WalkStorage(*file.top);
    } catch (OLE::OLEException const&) {
    }
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

} // namespace
