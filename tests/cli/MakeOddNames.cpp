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
  writer.AddStream(0, u"..\\..\\escape", "backslash");
  writer.AddStream(0, u"/etc/passwd", "absolute");
  writer.AddStream(0, u"C:\\evil", "drive");
  writer.AddStream(0, u"\x05" u"Ctl\x01\x1f", "control");
  writer.AddStream(0, u"CON", "device");
  writer.AddStream(0, u"dots...", "dots");
  writer.AddStream(0, u".", "dot");
  writer.AddStream(0, u"A", "upper");
  writer.AddStream(0, u"a", "lower");
  std::ofstream out(argv[1], std::ios::binary);
  out << writer.Build();
  return out ? 0 : 1;
}
