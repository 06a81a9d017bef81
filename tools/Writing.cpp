// The commands that write compound files: pack (a directory tree into a new
// file) and props --set (a copy of a file with properties changed).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "Commands.h"
#include "Document.h"
#include "Names.h"
#include "Sinks.h"
#include "ZEB/DateTime.h"
#include "ZEB/NoCase.h"
#include "ZEBCharset/Conv.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/PropertySetWriter.h"
#include "ZEBFile/StorageWriter.h"

namespace zebfile {
namespace fs = std::filesystem;
using ZEBFile::OLE::PropertySetWriter;
using ZEBFile::OLE::PropertyStorage;
using ZEBFile::OLE::StorageWriter;

namespace {

constexpr std::size_t PIECE = 1u << 20;

void TellOtherWritersNames(std::string const& source, StorageWriter const& writer) {
  if (writer.OtherWritersNames() > 0) {
    std::fprintf(stderr,
                 "zebfile: %s: %u names written as other writers write them (reserved characters, siblings equal "
                 "ignoring case or 32 units)\n",
                 ShowFileName(source).c_str(), unsigned(writer.OtherWritersNames()));
  }
}

// The compound file's version: its header's word at 0x1A (3 or 4).
unsigned FileVersion(std::string const& file) {
  std::ifstream in(fs::path(file), std::ios::binary);
  unsigned char header[0x1C] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  return header[0x1A] == 4 ? 4 : 3;
}

// ---------------------------------------------------------------- values

bool WholeText(std::string const& text, char const* end) { return !text.empty() && *end == '\0'; }

// "2024-05-17", "2024-05-17T10:20:30", with "Z" or "+02:00" after the time.
bool ParseDate(std::string const& text, ZEB::DateTime& date) {
  std::string base = text.size() == 10 ? text + "T00:00:00" : text.substr(0, 19);
  std::string zone = text.size() > 19 ? text.substr(19) : "";
  long long offset = 0;
  if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
    char* end = nullptr;
    long hours = std::strtol(zone.substr(1, 2).c_str(), &end, 10), minutes = std::strtol(zone.substr(4).c_str(), &end, 10);
    offset = (zone[0] == '+' ? 1 : -1) * (hours * 3600 + minutes * 60);
  } else if (!zone.empty() && zone != "Z") {
    return false;
  }
  try {
    ZEB::DateTime local = ZEB::DateTime::FromWString(ZEBCharset::ToWide(ZEB::CHARSET_UTF8, base + "Z"));
    date = ZEB::DateTime(local.UnixTime() - offset);
    return true;
  } catch (ZEB::DateTimeException const&) {
    return false;
  }
}

ZEB::Variant TypedValue(std::string const& text) {
  char* end = nullptr;
  long long integer = std::strtoll(text.c_str(), &end, 10);
  if (WholeText(text, end) && integer >= INT32_MIN && integer <= INT32_MAX) {
    return ZEB::Variant(int(integer));
  }
  double number = std::strtod(text.c_str(), &end);
  if (WholeText(text, end) && text.find_first_not_of("0123456789+-.eE") == std::string::npos) {
    return ZEB::Variant(number);
  }
  if (text == "true" || text == "false") {
    return ZEB::Variant(text == "true");
  }
  ZEB::DateTime date;
  if (ParseDate(text, date)) {
    return ZEB::Variant(date);
  }
  return ZEB::Variant(ZEBCharset::ToWide(ZEB::CHARSET_UTF8, text));
}

// A well-known property takes the type the format gives it.
ZEB::Variant BuiltInValue(PropertyStorage::PROPERTY_ENUM property, std::string const& name, std::string const& text) {
  using P = PropertyStorage;
  ZEB::Variant value = TypedValue(text);
  bool isDate = property == P::CREATION_DATE || property == P::LAST_PRINTED_DATE || property == P::MODIFICATION_DATE;
  bool isCount = (property >= P::NUMBER_OF_BYTES && property <= P::NUMBER_OF_WORDS && property != P::REVISION_NUMBER);
  auto kind = value.Traits()->TypeKind();
  if (isDate && kind != ZEB::VariantTraits::DateTimeKind) {
    throw ToolError(name + " takes a date such as 2024-05-17T10:20:30Z, not '" + text + "'");
  }
  if (isCount && kind != ZEB::VariantTraits::IntKind) {
    throw ToolError(name + " takes an integer, not '" + text + "'");
  }
  return isDate || isCount ? value : ZEB::Variant(ZEBCharset::ToWide(ZEB::CHARSET_UTF8, text));
}

bool FindBuiltIn(std::string const& name, PropertyStorage::PROPERTY_ENUM& property) {
  for (int p = 0; p < PropertyStorage::PROPERTY_COUNT; ++p) {
    property = static_cast<PropertyStorage::PROPERTY_ENUM>(p);
    if (ZEB::NoCase::IsEqual(name, PropertyStorage::Name(property))) {
      return true;
    }
  }
  return false;
}

// The property set stored in `name` at the top of the file, or a new one.
PropertySetWriter ExistingSet(Document const& document, ZEB::WString const& name, ZEBFile::OLE::GUID const& id) {
  for (auto const& item : document.Root()->Streams()) {
    if (item.name == name) {
      ZEBFile::MemoryBuffer stream;
      document.Root()->ReadStream(item.id, stream);
      std::string bytes;
      stream.SeekG(0);
      stream.Copy(bytes, stream.Size());
      return PropertySetWriter::FromStream(bytes);
    }
  }
  return PropertySetWriter(id, ZEB::CHARSET_UTF16LE);
}

// ---------------------------------------------------------------- pack

void PackDirectory(StorageWriter& writer, uint32_t storage, fs::path const& directory) {
  std::vector<fs::directory_entry> entries{fs::directory_iterator(directory), fs::directory_iterator()};
  std::sort(entries.begin(), entries.end());
  std::vector<char> piece(PIECE);
  for (auto const& entry : entries) {
    ZEB::WString name = DecodeSafeName(entry.path().filename().u8string());
    auto fail = [&](std::string const& reason) { throw ToolError(entry.path().u8string() + ": " + reason); };
    if (entry.is_symlink()) {
      fail("a symbolic link, neither a storage nor a stream");
    }
    if (entry.is_directory()) {
      PackDirectory(writer, writer.AddStorage(storage, name), entry.path());
      continue;
    }
    if (!entry.is_regular_file()) {
      fail("neither a directory nor a file");
    }
    if (entry.file_size() > UINT32_MAX) {
      fail("a stream holds at most 4 GiB - 1 bytes");
    }
    std::ifstream in(entry.path(), std::ios::binary);
    if (!in) {
      fail("cannot read the file");
    }
    writer.BeginStream(storage, name);
    while (in.read(piece.data(), std::streamsize(piece.size())) || in.gcount() > 0) {
      writer.WriteStream(piece.data(), uint32_t(in.gcount()));
    }
    if (in.bad()) {
      fail("read error");
    }
    writer.EndStream();
  }
}

} // namespace

void Pack(std::string const& directory, std::string const& file, unsigned version) {
  fs::path top(directory); // in the system code page, as every file name the tool is given
  if (!fs::is_directory(top)) {
    throw ToolError("no such directory: " + directory);
  }
  StorageWriter writer(file, {version, true});
  PackDirectory(writer, StorageWriter::ROOT, top);
  writer.Commit();
  TellOtherWritersNames(directory, writer);
}

void SetProperties(std::string const& file, std::vector<std::string> const& assignments, std::string const& output) {
  Document document(file);
  PropertySetWriter summary =
      ExistingSet(document, PropertySetWriter::SUMMARY_STREAM_NAME, PropertyStorage::SUMMARY_INFORMATION_ID);
  PropertySetWriter documentSummary =
      ExistingSet(document, PropertySetWriter::DOC_SUMMARY_STREAM_NAME, PropertyStorage::DOC_SUMMARY_INFORMATION_ID);
  bool summaryChanged = false, documentChanged = false;
  for (std::string const& assignment : assignments) {
    std::size_t equals = assignment.find('=');
    if (equals == 0 || equals == std::string::npos) {
      throw ToolError("--set takes NAME=VALUE, not '" + assignment + "'");
    }
    // Arguments come in the system code page.
    std::string name = SystemToUtf8(assignment.substr(0, equals)), text = SystemToUtf8(assignment.substr(equals + 1));
    if (text.empty()) {
      throw ToolError(name + ": an empty value cannot be read back");
    }
    PropertyStorage::PROPERTY_ENUM property;
    if (!FindBuiltIn(name, property)) {
      documentSummary.SetUserDefined(ZEBCharset::ToWide(ZEB::CHARSET_UTF8, name), TypedValue(text));
      documentChanged = true;
      continue;
    }
    ZEBFile::OLE::GUID set;
    uint32_t id = 0;
    PropertyStorage::Locate(property, set, id);
    bool inSummary = set == PropertyStorage::SUMMARY_INFORMATION_ID;
    (inSummary ? summary : documentSummary).Set(id, BuiltInValue(property, name, text));
    (inSummary ? summaryChanged : documentChanged) = true;
  }

  StorageWriter writer(output, {FileVersion(file), true});
  std::map<uint32_t, uint32_t> ids{{0, StorageWriter::ROOT}}; // the file's entry ids to the copy's
  // Class id, state bits and times as the file has them.
  auto keepDetails = [&](uint32_t from, uint32_t to) {
    Document::Storage::Details details;
    if (document.Root()->GetDetails(from, details)) {
      ZEBFile::OLE::GUID classId;
      classId.Data1 = uint32_t(details.classId[0] | details.classId[1] << 8 | details.classId[2] << 16) |
                      uint32_t(details.classId[3]) << 24;
      classId.Data2 = uint16_t(details.classId[4] | details.classId[5] << 8);
      classId.Data3 = uint16_t(details.classId[6] | details.classId[7] << 8);
      std::copy(details.classId + 8, details.classId + 16, classId.Data4);
      writer.SetClassId(to, classId);
      writer.SetStateBits(to, details.stateBits);
      writer.SetTimes(to, details.created, details.modified);
    }
  };
  keepDetails(0, StorageWriter::ROOT);
  auto writeSet = [&](ZEB::WString const& name, PropertySetWriter const& set) {
    std::string bytes = set.Bytes();
    writer.AddStream(StorageWriter::ROOT, name, bytes.data(), uint32_t(bytes.size()));
  };
  WalkTree(document.Root(), [&](TreeEntry const& entry) {
    uint32_t parent = ids.at(entry.parentId);
    ZEB::WString const& name = entry.path.back();
    if (entry.isStorage) {
      ids[entry.id] = writer.AddStorage(parent, name);
      keepDetails(entry.id, ids[entry.id]);
    } else if (entry.path.size() == 1 && name == PropertySetWriter::SUMMARY_STREAM_NAME && summaryChanged) {
      writeSet(name, summary), summaryChanged = false;
    } else if (entry.path.size() == 1 && name == PropertySetWriter::DOC_SUMMARY_STREAM_NAME && documentChanged) {
      writeSet(name, documentSummary), documentChanged = false;
    } else {
      uint32_t id = writer.BeginStream(parent, name);
      ForwardSink sink([&](void const* data, uint32_t count) { writer.WriteStream(data, count); });
      entry.parent->ReadStream(entry.id, sink);
      writer.EndStream();
      keepDetails(entry.id, id);
    }
  });
  if (summaryChanged) {
    writeSet(PropertySetWriter::SUMMARY_STREAM_NAME, summary);
  }
  if (documentChanged) {
    writeSet(PropertySetWriter::DOC_SUMMARY_STREAM_NAME, documentSummary);
  }
  writer.Commit();
  TellOtherWritersNames(file, writer);
}

} // namespace zebfile
