// Writes a compound file whose storage and stream names try to leave the
// directory they are extracted to, or to clash there: "..", separators of both
// kinds, a drive, control characters, a device name, trailing dots, letter case,
// a root stream "x/y" beside stream "y" of storage "x", an unpaired surrogate;
// in storage "fs" device names and names equal under case folding, each
// holding the file name extract must give it.
// With a second argument also a plain tree to extract over planted files:
// streams A, B, C and storage S holding s00 ... s19.
#include <string>

#include "ZEBFile/StorageWriter.h"

using ZEBFile::OLE::StorageWriter;

namespace {

void AddStream(StorageWriter& writer, uint32_t parent, std::u16string const& name, std::string const& data) {
  writer.AddStream(parent, name, data.data(), uint32_t(data.size()));
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3)
    return 2;
  StorageWriter writer(argv[1], {3, true}); // names other writers produce: reserved characters, "A" beside "a"
  uint32_t up = writer.AddStorage(0, u"..");
  AddStream(writer, up, u"..", "parent");
  AddStream(writer, up, u"../../escape", "slash");
  for (auto [name, content] : std::initializer_list<std::pair<std::u16string, char const*>>{
           {u"..\\..\\escape", "backslash"}, {u"/etc/passwd", "absolute"}, {u"C:\\evil", "drive"},
           {u"\x05" u"Ctl\x01\x1f", "control"}, {u"CON", "device"}, {u"dots...", "dots"}, {u".", "dot"},
           {u"A", "upper"}, {u"a", "lower"}, {u"x/y", "flat"}, {u"\xD800z", "lone"}})
    AddStream(writer, 0, name, content);
  AddStream(writer, writer.AddStorage(0, u"x"), u"y", "nested");
  uint32_t fs = writer.AddStorage(0, u"fs");
  for (auto [name, file] : std::initializer_list<std::pair<std::u16string, char const*>>{
           {u"COM\u00B9", u8"%43OM\u00B9"}, {u"lpt\u00B2.txt", u8"%6Cpt\u00B2.txt"}, {u"COM0", "%43OM0"},
           {u"aux .c", "%61ux .c"}, {u"conin$", "%63onin$"}, {u"COM10", "COM10"}, {u"COM\u2074", u8"COM\u2074"},
           {u"\uFF21", u8"\uFF21"}, {u"\uFF41", u8"\uFF41~2"}, {u"\u1E00", u8"\u1E00"}, {u"\u1E01", u8"\u1E01~2"},
           {u"\u03A3", u8"\u03A3"}, {u"\u03C3", u8"\u03C3~2"}})
    AddStream(writer, fs, name, file);
  writer.Commit();
  if (argc == 2)
    return 0;
  StorageWriter tree(argv[2]);
  for (char16_t const* name : {u"A", u"B", u"C"})
    AddStream(tree, 0, name, std::string(1, char(name[0])));
  uint32_t s = tree.AddStorage(0, u"S");
  for (int i = 0; i < 20; ++i) {
    std::u16string name = u"s00";
    name[1] = char16_t(u'0' + i / 10), name[2] = char16_t(u'0' + i % 10);
    AddStream(tree, s, name, "s" + std::to_string(i));
  }
  tree.Commit();
  return 0;
}
