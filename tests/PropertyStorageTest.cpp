// Property sets as their stored bytes (every value type, code page, dictionary rule and hostile shape), alone
// and as found in the streams of a compound file.
#include <gtest/gtest.h>

#include <map>

#include "ZEBCharset/Conv.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/Storage.h"
#include "support/CompoundWriter.h"

using ZEB::Variant;
using ZEBFile::MemoryBuffer;
using ZEBFile::OLE::PropertyStorage;
using ZEBFile::OLE::Storage;
using W = ZEBTest::CompoundWriter;
namespace OLE = ZEBFile::OLE;

namespace {

struct Buffer : MemoryBuffer {
  explicit Buffer(std::string const& bytes) : MemoryBuffer(bytes.data(), uint32_t(bytes.size()), 1u << 16) {}
};

std::string Le16(uint16_t value) { return {char(value & 0xFF), char(value >> 8)}; }
std::string Le32(uint32_t value) { return Le16(value & 0xFFFF) + Le16(value >> 16); }
std::string Le64(uint64_t value) { return Le32(value & 0xFFFFFFFF) + Le32(value >> 32); }
void PadTo4(std::string& bytes) { bytes.resize((bytes.size() + 3) / 4 * 4, '\0'); }
std::string Utf16Le(std::u16string const& text) {
  return {reinterpret_cast<char const*>(text.data()), text.size() * 2}; // a little-endian host, as the writer
}
std::string Narrow(std::string const& text) { return text + '\0'; }
std::string Wide(std::u16string const& text) { return Utf16Le(text) + std::string(2, '\0'); }

// Stored forms (little-endian) of the well-known format identifiers.
std::string const SUMMARY("\xE0\x85\x9F\xF2\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9", 16);
std::string const DOC_SUMMARY("\x02\xD5\xCD\xD5\x9C\x2E\x1B\x10\x93\x97\x08\x00\x2B\x2C\xF9\xAE", 16);
std::string const USER_DEFINED("\x05\xD5\xCD\xD5\x9C\x2E\x1B\x10\x93\x97\x08\x00\x2B\x2C\xF9\xAE", 16);

// A value: the 32-bit type word, then the payload as it is (strings: their count, then no terminator added).
std::string Typed(uint32_t type, std::string const& payload) { return Le32(type) + payload; }
std::string Lpstr(std::string const& bytes) { return Typed(30, Le32(uint32_t(bytes.size())) + bytes); }
std::string Lpwstr(std::u16string const& text) { return Typed(31, Le32(uint32_t(text.size())) + Utf16Le(text)); }
std::string CodePage(uint16_t codePage) { return Typed(2, Le16(codePage)); }
std::string FileTime(int64_t unixTime) { return Typed(64, Le64(uint64_t((unixTime + 11644473600LL) * 10000000LL))); }

// A dictionary: entry count, then id, length and name per entry. Each name is given as its stored bytes,
// terminator included; `wide` pads after each name to a multiple of 4 (the value starts at such a multiple).
using Properties = std::vector<std::pair<uint32_t, std::string>>;
std::string Dictionary(Properties const& entries, bool wide = false) {
  std::string bytes = Le32(uint32_t(entries.size()));
  for (auto const& [id, name] : entries) {
    bytes += Le32(id) + Le32(uint32_t(name.size() / (wide ? 2 : 1))) + name;
    if (wide)
      PadTo4(bytes);
  }
  return bytes;
}

// A section: its size, the (id, offset) table, then the values.
std::string Section(Properties const& properties) {
  std::string table, values;
  for (auto const& [id, value] : properties) {
    table += Le32(id) + Le32(uint32_t(8 + 8 * properties.size() + values.size()));
    values += value;
    PadTo4(values);
  }
  return Le32(uint32_t(8 + table.size() + values.size())) + Le32(uint32_t(properties.size())) + table + values;
}

// A stream: the header, the table of format ids and offsets, then the sections.
std::string PropertySet(std::vector<std::pair<std::string, std::string>> const& sections) {
  std::string header = Le16(0xFFFE) + Le16(0) + Le32(0x00020006) + std::string(16, '\0');
  std::string body;
  header += Le32(uint32_t(sections.size()));
  for (auto const& [fmtid, section] : sections) {
    header += fmtid + Le32(uint32_t(28 + 20 * sections.size() + body.size()));
    body += section;
    PadTo4(body);
  }
  return header + body;
}
std::string Summary(Properties const& properties) { return PropertySet({{SUMMARY, Section(properties)}}); }
std::string Patch(std::string bytes, std::size_t at, std::string const& part) {
  return bytes.replace(at, part.size(), part);
}

std::string Show(Variant const& value) { return ZEBCharset::FromWide(ZEB::CHARSET_UTF8, value.AsWString()); }

// A map as "name=value; " in its order.
std::string Key(PropertyStorage::PROPERTY_ENUM key) { return PropertyStorage::Name(key); }
std::string Key(std::string const& key) { return key; }
template <class Map> std::string Join(Map const& map) {
  std::string text;
  for (auto const& [key, value] : map)
    text += Key(key) + "=" + Show(value) + "; ";
  return text;
}

// Both maps of a property-set stream.
struct Maps {
  explicit Maps(std::string const& stream) {
    Buffer buffer(stream);
    PropertyStorage(buffer).Properties(byEnum, byName);
  }
  PropertyStorage::EnumMap byEnum;
  PropertyStorage::NameMap byName;
};

// Both maps of a property-set stream as text, or how it was refused.
std::string Dump(std::string const& stream) {
  try {
    Maps maps(stream);
    return Join(maps.byEnum) + Join(maps.byName);
  } catch (OLE::NotAPropertyStorageOLEException const&) {
    return "not a property set";
  } catch (OLE::CorruptedPropertyStorageOLEException const&) {
    return "corrupted";
  }
}

std::string FileProperties(std::string const& bytes) {
  Buffer file(bytes);
  PropertyStorage::MergedMap all;
  Storage(std::string(), file).Properties(all);
  return Join(all);
}

// A user-defined set: an empty document-summary section, then the code page, a name for id 5, its value.
std::string Named(uint16_t codePage, std::string const& name, std::string const& value) {
  Properties const user = {{1, CodePage(codePage)}, {0, Dictionary({{5, name}}, codePage == 1200)}, {5, value}};
  return PropertySet({{DOC_SUMMARY, Section({})}, {USER_DEFINED, Section(user)}});
}

// Whole streams read, or refused: value types (in the title; the subject after it shows the reading went on),
// headers, code pages, the dictionary rules, the section table, filing.
TEST(PropertyStorage, EveryStreamReadsAsExpected) {
  auto titled = [](std::string const& value) { return Summary({{2, value}, {3, Lpstr("after")}}); };
  auto title = [](std::string const& v) { return (v.empty() ? "" : "Title=" + v + "; ") + "Subject=after; "; };
  std::string zeros = "0";
  for (int i = 1; i < 1024; ++i) // a vector stops at 1024 elements
    zeros += "\r\n0";
  std::string const good = Summary({{2, Lpstr("x")}}), name1251 = Narrow("\xC8\xEC\xFF"), longName(200, 'n');
  Properties const wideEntries = {
      {2, Wide(u"ab")}, // ends 2 mod 4: two bytes of padding follow
      {3, Wide(u"")},   // only the terminator: padded as well, and the property files by id
      {4, ""},          // length 0: nothing more is read
      {5, Wide(std::u16string(200, u'n'))}, {6, Wide(u"Owner")}, {7, Wide(u"OWNER")}, // cut at 128; one of equal names
      {2, Wide(u"abc")}, // a later entry replaces the name of an id
  };
  // Its second entry runs past the end: it costs the ordinary property after it.
  std::string const broken = Le32(2) + Le32(3) + Le32(3) + Narrow("ab") + Le32(6) + Le32(200);
  std::tuple<char const*, std::string, std::string> const rows[] = {
      {"VT_LPSTR trailing zeros", titled(Lpstr(std::string("abc\0\0\0", 6))), title("abc")},
      {"VT_LPWSTR trailing zeros", titled(Lpwstr(std::u16string(u"Report\0\0", 8))), title("Report")},
      {"VT_FILETIME", titled(FileTime(1715941230)), title(Show(Variant(ZEB::DateTime(1715941230))))},
      {"VT_FILETIME before 1970", titled(FileTime(-86400)), title("")},
      {"VT_LPSTR vector, unpadded", titled(Typed(0x101E, Le32(2) + Le32(1) + "a" + Le32(1) + "b")), title("a\r\nb")},
      {"vector of variants", titled(Typed(0x100C, Le32(3) + Typed(3, Le32(5)) + Typed(11, Le16(1)) + Lpstr("z"))),
       title("5\r\ntrue\r\nz")},
      {"vector of 2000 elements", titled(Typed(0x1012, Le32(2000) + std::string(4000, '\0'))), title(zeros)},
      {"vector inside a vector", titled(Typed(0x100C, Le32(1) + Typed(0x101E, Le32(1) + Le32(2) + "a"))), title("")},
      {"variant inside a variant", titled(Typed(12, Typed(12, Typed(3, Le32(1))))), title("")},
      {"string cut, the rest skipped",
       titled(Typed(0x101E, Le32(2) + Le32(300000) + std::string(300000, 'x') + Le32(1) + "b")),
       title(std::string(262144, 'x') + "\r\nb")},
      {"string count beyond the stream", titled(Typed(30, Le32(0x80000000) + "abc")), title("")},
      {"wide count beyond the stream", titled(Typed(31, Le32(0x7FFFFFFF) + "abc")), title("")},
      {"VT_I8", titled(Typed(20, Le64(1))), title("")},
      {"section count 0", Patch(good, 24, Le32(0)), "not a property set"},
      {"byte-order mark", Patch(good, 0, Le16(0xFEFF)), "not a property set"},
      {"format 1", Patch(good, 2, Le16(1)), "not a property set"},
      {"20-byte stream", good.substr(0, 20), "corrupted"},
      {"table cut before the first section", Patch(good, 44, Le32(200)).substr(0, 60), "corrupted"},
      {"1252", Named(1252, Narrow("Caf\xE9"), Lpstr(Narrow("na\xEFve"))), "Café=naïve; "},
      {"1251", Named(1251, name1251, Lpstr(Narrow("\xCE\xF2\xF7\xB8\xF2"))), "Имя=Отчёт; "},
      {"unknown code page", Named(1, Narrow("Name"), Lpstr(Narrow("text"))), ""},
      {"a code page applies to the pairs after it, the dictionary's included",
       Summary({{2, Lpstr("\xC8")}, {0, Dictionary({{5, name1251}})}, {4, Lpstr("a")}, {1, CodePage(1251)},
                {3, Lpstr("\xC8")}, {5, Lpstr("x")}}),
       "Title=È; Author=a; Subject=И; Èìÿ=x; "},
      {"wide dictionary", Summary({{1, CodePage(1200)}, {0, Dictionary(wideEntries, true)}, {2, Lpstr(Wide(u"two"))},
                                  {3, Lpstr(Wide(u"three"))}, {5, Lpstr(Wide(u"long"))}, {6, Lpstr(Wide(u"first"))},
                                  {7, Lpstr(Wide(u"second"))}}),
       "Subject=three; abc=two; " + longName.substr(0, 127) + "=long; Owner=first; "},
      {"narrow name cut, the rest skipped",
       Summary({{0, Dictionary({{5, Narrow(longName)}, {6, Narrow("next")}})}, {5, Lpstr("long")},
                {6, Lpstr("after")}}),
       "next=after; " + longName.substr(0, 127) + "=long; "},
      {"broken dictionary", Summary({{0, broken}, {2, Lpstr("t")}, {3, Lpstr("s")}}), "ab=s; "},
      {"damaged sections skipped",
       Patch(PropertySet({{SUMMARY, Section({{2, Lpstr("first")}, {3, Lpstr("subject")}})},
                          {SUMMARY, Section({})},                // its offset made to point past the end
                          {SUMMARY, Le32(8) + Le32(0x80000000)}, // huge table
                          {SUMMARY, Le32(8) + Le32(2) + Le32(4) + Le32(0xFFFFFFF0) + Le32(5) + Le32(24) +
                                        Lpstr("keywords")}, // a pair past the end
                          {SUMMARY, Section({{2, Lpstr("second")}, {6, Lpstr("comments")}})}}),
             28 + 20 + 16, Le32(0x7FFFFFF0)),
       "Title=first; Comments=comments; Keywords=keywords; Subject=subject; "},
      {"unnamed user-defined ids filed as document summary; section count 1 does not end the table",
       Patch(PropertySet({{DOC_SUMMARY, Section({{2, Lpstr("category")}, {15, Lpstr("company")}})},
                          {USER_DEFINED, Section({{0, Dictionary({{2, Narrow("Client")}})}, {2, Lpstr("Acme")},
                                                  {14, Lpstr("manager")}})}}),
             24, Le32(1)),
       "Category=category; Company=company; Manager=manager; Client=Acme; "},
      {"first value wins, ids outside the table dropped",
       Summary({{2, Lpstr("one")}, {2, Lpstr("two")}, {10, FileTime(3600)}, {17, Lpstr("thumb")},
                {15, Typed(3, Le32(9))}, {99, Lpstr("x")}}),
       "Title=one; NumberOfWords=9; "},
  };
  for (auto const& [what, stream, expected] : rows)
    EXPECT_EQ(Dump(stream), expected) << what;
  // The summary id with its first three fields stored big-endian.
  std::string const swapped("\xF2\x9F\x85\xE0\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9", 16);
  Buffer buffer(PropertySet({{swapped, Section({})}}));
  EXPECT_TRUE(PropertyStorage(buffer).GetID() == PropertyStorage::SUMMARY_INFORMATION_ID);
}

// Each scalar type gives the value of its own type, so callers can tell a count from a flag.
TEST(PropertyStorage, ScalarsKeepTheirTypes) {
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
  };
  for (auto const& [label, value, expected] : rows) {
    Variant const title = Maps(Summary({{2, value}})).byEnum[PropertyStorage::TITLE];
    EXPECT_TRUE(title == expected) << label << ": " << Show(title);
  }
}

// 20000 names whose values all point at one 64 KiB string: decoding each would read 1.3 GB out of a 0.5 MB
// stream, so the reading stops at a bound set by the stream's size.
TEST(PropertyStorage, SharedValuesCostWorkBoundedByTheStream) {
  uint32_t const count = 20000;
  std::string const value = Lpstr(std::string(65536, 'v'));
  Properties names;
  std::string table;
  for (uint32_t id = 2; id < count + 2; ++id) {
    names.push_back({id, std::to_string(id) + '\0'});
    table += Le32(id) + Le32(8 + 8 * (count + 1));
  }
  table = Le32(0) + Le32(uint32_t(8 + 8 * (count + 1) + value.size())) + table;
  std::string const section = Le32(0) + Le32(count + 1) + table + value + Dictionary(names);
  std::string const stream = PropertySet({{USER_DEFINED, section}});
  std::size_t const read = Maps(stream).byName.size();
  EXPECT_GT(read, 0u);
  EXPECT_LE(read * value.size(), 20 * stream.size());
}

TEST(StorageProperties, BreadthFirstThenStreamOrderWinsAndEachStorageOnce) {
  auto set = [](std::string const& value) {
    Properties const user = {{0, Dictionary({{2, Narrow("Client")}, {3, Narrow("title")}})}, {2, Lpstr(value)},
                             {3, Lpstr(value)}};
    return PropertySet({{SUMMARY, Section({{4, Lpstr(value)}})}, {USER_DEFINED, Section(user)}});
  };
  W writer;
  uint32_t first = writer.AddStorage(0, u"First"), second = writer.AddStorage(0, u"Second");
  writer.AddStorage(first, u"Deeper");
  writer.AddStream(writer.AddStorage(first, u"Deep"), u"\x05Set", set("deep"));
  writer.AddStream(second, u"\x05Set", set("second"));
  writer.AddStream(0, u"\x05NotASet", std::string(600, 'x'));
  writer.AddStream(0, u"Contents1", set("Contents1"));
  writer.AddStream(0, u"contents", Summary({{4, Lpstr("contents")}}));
  writer.AddStream(0, u"\x05Late", Summary({{4, Lpstr("late")}, {2, Lpstr("Title")}}));
  uint32_t loop = writer.AddStorage(0, u"Loop"), inner = writer.AddStorage(loop, u"Inner");
  writer.AddStream(loop, u"\x05Set", Summary({{6, Lpstr("loop")}}));
  writer.Build();
  writer.SetEntry(inner, W::CHILD, loop); // Inner holds Loop, which holds Inner
  // An enumeration entry comes before a name equal to it ignoring case.
  EXPECT_EQ(FileProperties(writer.bytes), "Author=contents; Client=second; Comments=loop; Title=Title; title=second; ");
}

// Every vector element costs budget, whatever its type: a vector of elements of a type that reads nothing
// still takes four per element off a shared budget.
TEST(PropertyStorageBounds, VectorElementsOfAnyTypeCostBudget) {
  Buffer stream(Summary({{2, Typed(0x1000 | 0x48, Le32(1000))}}));
  PropertyStorage::EnumMap byEnum;
  PropertyStorage::NameMap byName;
  uint64_t budget = 1u << 20;
  PropertyStorage(stream).Properties(byEnum, byName, budget);
  EXPECT_LE(budget, (1u << 20) - 4000);
}

} // namespace
