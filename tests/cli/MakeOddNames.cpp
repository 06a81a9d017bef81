// Writes a compound file whose storage and stream names try to leave the
// directory they are extracted to, or to clash there: "..", separators of both
// kinds, a drive, control characters, a device name, trailing dots, letter case.
#include <fstream>

#include "support/CompoundWriter.h"

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  ZEBTest::CompoundWriter writer;
  uint32_t up = writer.AddStorage(0, u"..");
  writer.AddStream(up, u"..", "parent");
  writer.AddStream(up, u"../../escape", "slash");
  for (auto [name, content] : std::initializer_list<std::pair<std::u16string, char const*>>{
           {u"..\\..\\escape", "backslash"}, {u"/etc/passwd", "absolute"}, {u"C:\\evil", "drive"},
           {u"\x05" u"Ctl\x01\x1f", "control"}, {u"CON", "device"}, {u"dots...", "dots"}, {u".", "dot"},
           {u"A", "upper"}, {u"a", "lower"}})
    writer.AddStream(0, name, content);
  std::ofstream out(argv[1], std::ios::binary);
  out << writer.Build();
  return out ? 0 : 1;
}
