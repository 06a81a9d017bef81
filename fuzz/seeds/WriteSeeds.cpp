// Writes compound files into the directory given as the argument: seeds for
// the fuzz targets, small enough for a fuzz input. Valid files come from the
// library's writer, damaged and odd shapes from the tests' writer.
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "ZEBFile/StorageWriter.h"
#include "support/CompoundWriter.h"

using ZEBFile::OLE::StorageWriter;
using ZEBTest::CompoundWriter;

namespace {

std::string Bytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = char(i * 31 + seed);
  return bytes;
}

// A root with streams on both sides of the cutoff, a storage holding a storage, a property-set-like stream
// name and siblings equal ignoring case, streams through add(parent, name, bytes). In either writer the entry
// ids count up from 1 in the order added.
template <class Writer, class Add> void Tree(Writer& writer, Add add) {
  add(0, u"\u0005SummaryInformation", Bytes(400, 1));
  add(0, u"big", Bytes(9000, 2));
  uint32_t folder = writer.AddStorage(0, u"Folder");
  add(folder, u"A", "a");
  add(folder, u"a", "b");
  uint32_t inner = writer.AddStorage(folder, u"Inner");
  add(inner, u"at4095", Bytes(4095, 3));
  add(inner, u"at4096", Bytes(4096, 4));
  writer.AddStorage(0, u"Empty");
}

// The tree with the regular streams' sectors handed out in turn, a shape the library does not write.
CompoundWriter Interleaved(unsigned shift) {
  CompoundWriter writer(shift);
  writer.interleave = true;
  Tree(writer, [&](uint32_t parent, auto name, std::string const& data) { writer.AddStream(parent, name, data); });
  writer.Build();
  return writer;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  std::string const directory = argv[1];
  auto save = [&](std::string const& name, std::string const& bytes) {
    std::ofstream(directory + "/" + name, std::ios::binary) << bytes;
  };
  StorageWriter tree(directory + "/tree-512.cfs", {3, true}); // "A" beside "a"
  Tree(tree, [&](uint32_t parent, auto name, std::string const& data) {
    tree.AddStream(parent, name, data.data(), uint32_t(data.size()));
  });
  tree.Commit();
  save("tree-512-interleaved.cfs", Interleaved(9).bytes);
  save("tree-4096.cfs", Interleaved(12).bytes);

  CompoundWriter difat; // a FAT of 120 sectors: eleven of them through a DIFAT sector
  difat.minFatSectors = 120;
  difat.AddStream(0, u"data", Bytes(3000, 5));
  save("difat.cfs", difat.Build());

  CompoundWriter huge(12); // 65536 FAT sectors declared, the one FAT sector listed 109 times
  huge.AddStream(0, u"data", Bytes(5000, 6));
  huge.Build();
  huge.Set32(0x2C, 65536);
  for (uint32_t i = 0; i < 109; ++i)
    huge.Set32(0x4C + 4 * i, huge.fatSectors[0]);
  save("huge-fat.cfs", huge.bytes);

  CompoundWriter flat; // siblings as one long chain of right links
  flat.flatTree = true;
  for (int i = 0; i < 40; ++i)
    flat.AddStream(0, u"s" + std::u16string(1, char16_t(u'0' + i % 10)), Bytes(10 + 100 * i, unsigned(i)));
  save("flat.cfs", flat.Build());

  struct Damage {
    char const* name;
    std::function<void(CompoundWriter&)> patch;
  } const damage[] = {
      {"directory-chain-loops", [](CompoundWriter& w) { w.SetFat(w.dirSectors[0], w.dirSectors[0]); }},
      {"directory-sector-at-4gib", [](CompoundWriter& w) { w.SetFat(w.dirSectors[0], 0x7FFFFF); }},
      {"sibling-tree-loops", [](CompoundWriter& w) { w.SetEntry(3, CompoundWriter::RIGHT, 1); }},
      {"storage-holds-the-root", [](CompoundWriter& w) { w.SetEntry(3, CompoundWriter::CHILD, 0); }},
      {"minifat-loops", [](CompoundWriter& w) { w.SetMiniFat(0, 0); }},
      {"stream-chain-loops", [](CompoundWriter& w) { w.SetFat(w.Chain(2)[1], w.Chain(2)[0]); }},
  };
  for (auto const& [name, patch] : damage) {
    CompoundWriter writer = Interleaved(9);
    patch(writer);
    save(std::string(name) + ".cfs", writer.bytes);
  }
  return 0;
}
