// Writes a compound file whose storage and stream names try to leave the
// directory they are extracted to, or to clash there: "..", separators of both
// kinds, a drive, control characters, a device name, trailing dots, letter case,
// a root stream "x/y" beside stream "y" of storage "x", an unpaired surrogate.
// With a second argument also a plain tree to extract over planted files:
// streams A, B, C and storage S holding s00 ... s19.
#include <fstream>
#include <string>

#include "support/CompoundWriter.h"

namespace {

bool Write(char const* path, ZEBTest::CompoundWriter& writer) {
  std::ofstream out(path, std::ios::binary);
  out << writer.Build();
  return bool(out);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3)
    return 2;
  ZEBTest::CompoundWriter writer;
  uint32_t up = writer.AddStorage(0, u"..");
  writer.AddStream(up, u"..", "parent");
  writer.AddStream(up, u"../../escape", "slash");
  for (auto [name, content] : std::initializer_list<std::pair<std::u16string, char const*>>{
           {u"..\\..\\escape", "backslash"}, {u"/etc/passwd", "absolute"}, {u"C:\\evil", "drive"},
           {u"\x05" u"Ctl\x01\x1f", "control"}, {u"CON", "device"}, {u"dots...", "dots"}, {u".", "dot"},
           {u"A", "upper"}, {u"a", "lower"}, {u"x/y", "flat"}, {u"\xD800z", "lone"}})
    writer.AddStream(0, name, content);
  writer.AddStream(writer.AddStorage(0, u"x"), u"y", "nested");
  if (!Write(argv[1], writer))
    return 1;
  if (argc == 2)
    return 0;
  ZEBTest::CompoundWriter tree;
  for (char16_t const* name : {u"A", u"B", u"C"})
    tree.AddStream(0, name, std::string(1, char(name[0])));
  uint32_t s = tree.AddStorage(0, u"S");
  for (int i = 0; i < 20; ++i) {
    std::u16string name = u"s00";
    name[1] = char16_t(u'0' + i / 10), name[2] = char16_t(u'0' + i % 10);
    tree.AddStream(s, name, "s" + std::to_string(i));
  }
  return Write(argv[2], tree) ? 0 : 1;
}
