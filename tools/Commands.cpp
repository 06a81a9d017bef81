#include "Commands.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <nlohmann/json.hpp>

#include "Console.h"
#include "Document.h"
#include "Files.h"
#include "Names.h"
#include "Sinks.h"
#include "ZEB/Variant.h"
#include "ZEBCharset/Conv.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Path.h"
#include "ZEBFile/ProgressBuffer.h"
#include "ZEBFile/PropertyStorage.h"

namespace zebfile {
using Json = nlohmann::ordered_json;
using Storage = Document::Storage;

namespace {

// Streams from this size on show a progress line while they are copied.
constexpr uint32_t PROGRESS_FROM = 1u << 20;

std::string JsonText(Json const& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }
std::string JsonLine(Json const& value) { return JsonText(value) + "\n"; }

std::string Heading(Input const& input, ListOptions const& options) {
  return options.heading && !options.json ? ShowFileName(input.name) + ":\n" : std::string();
}

std::string Digest(Storage const& storage, uint32_t id) {
  HashSink sink;
  storage.ReadStream(id, sink);
  return sink.HexDigest();
}

// Copies stream `id` of `storage` to `sink`, with a progress line on a
// terminal for a large stream.
void CopyStream(Storage const& storage, uint32_t id, uint32_t size, WriteOnlyBuffer& sink, std::string const& label) {
  if (size >= PROGRESS_FROM && IsTerminal(stderr)) {
    ZEB::SmartPtr<ZEB::LogEntryCallInterface> line(new ProgressLine(label));
    ZEBFile::OProgressBuffer progress(sink, line, size, 100);
    PieceSink pieces(progress);
    storage.ReadStream(id, pieces);
  } else {
    storage.ReadStream(id, sink);
  }
}

// A JSON string of UTF-16 units: an unpaired surrogate keeps its unit as a
// \uHHHH escape, which JSON allows and UTF-8 cannot hold.
std::string JsonString(ZEB::WString const& text) {
  std::string out = "\"";
  size_t start = 0;
  auto flush = [&](size_t end) {
    std::string part = JsonText(Utf8(text.substr(start, end - start)));
    out += part.substr(1, part.size() - 2);
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      flush(i);
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
      out += escape;
      start = i + 1;
    }
  }
  flush(text.size());
  return out + "\"";
}

// One entry of ls --json: its path (names joined with '/', each escaped by
// PathName), its names exactly, then `fields`.
std::string JsonEntry(std::vector<ZEB::WString> const& names, Json const& fields) {
  std::string path, list;
  for (auto const& name : names) {
    path += (path.empty() ? "" : "/") + PathName(name);
    list += (list.empty() ? "" : ",") + JsonString(name);
  }
  return "{\"path\":" + JsonText(path) + ",\"names\":[" + list + "]," + JsonText(fields).substr(1);
}

Json JsonValue(ZEB::Variant const& value) {
  auto const* traits = value.Traits();
  if (traits == nullptr) {
    return nullptr;
  }
  switch (traits->TypeKind()) {
  case ZEB::VariantTraits::BoolKind:
    return value.AsBool();
  case ZEB::VariantTraits::UIntKind:
    return value.AsUInt();
  case ZEB::VariantTraits::UCharKind:
  case ZEB::VariantTraits::ShortKind:
  case ZEB::VariantTraits::UShortKind:
  case ZEB::VariantTraits::IntKind:
    return value.AsInt();
  case ZEB::VariantTraits::FloatKind:
  case ZEB::VariantTraits::DoubleKind:
    return value.AsDouble();
  case ZEB::VariantTraits::DateTimeKind:
    return value.AsDateTime().ToString();
  case ZEB::VariantTraits::WStringKind:
    return Utf8(value.AsWString());
  }
  return nullptr;
}

std::string TextValue(ZEB::Variant const& value) {
  try {
    return value.IsEmpty() ? std::string() : ShowValue(value.AsWString());
  } catch (ZEB::Variant::VariantException const&) {
    return "?";
  }
}

// The bytes stream `entry` delivers (its size when the reader does not say).
uint32_t Readable(TreeEntry const& entry) {
  Storage::Details details;
  return !entry.isStorage && entry.parent->GetDetails(entry.id, details) ? details.readable : entry.size;
}

// Takes what it is given and keeps nothing.
class DiscardSink : public WriteOnlyBuffer {
protected:
  void Write(void const*, uint32_t) override {}
};

// Reports an entry of extract that was in the way; runs the test hook after
// one that was made.
bool Created(std::string const& file, std::string const& shown, bool made) {
  if (!made) {
    ReportError(file, shown + " exists");
    return false;
  }
  TestHook("created", shown);
  return true;
}

// A storage or stream found by its path.
struct Found {
  ZEB::SmartPtr<Storage> parent;
  Storage::Item item;
  bool isStorage;
};

// The entry `path` (names as ls shows them, joined with '/') names below
// `root`; nothing when there is none.
std::optional<Found> FindEntry(ZEB::SmartPtr<Storage> const& root, std::string const& path) {
  std::vector<ZEB::WString> names = ParsePath(path);
  if (names.empty()) {
    return std::nullopt;
  }
  ZEB::SmartPtr<Storage> storage = root;
  try {
    for (size_t i = 0; i + 1 < names.size(); ++i) {
      storage = storage->OpenStorage(names[i]);
    }
  } catch (ZEBFile::OLE::StorageNotFoundOLEException const&) {
    return std::nullopt;
  }
  for (bool storages : {false, true}) {
    for (auto const& item : storages ? storage->Storages() : storage->Streams()) {
      if (item.name == names.back()) {
        return Found{storage, item, storages};
      }
    }
  }
  return std::nullopt;
}

// Copies the stream named by `streamPath` to standard output.
void CopyNamedStream(ZEB::SmartPtr<Storage> const& root, std::string const& streamPath) {
  auto found = FindEntry(root, streamPath);
  if (!found || found->isStorage) {
    throw ToolError("no stream " + streamPath);
  }
  SetBinaryMode(stdout);
  StreamSink sink(std::cout);
  CopyStream(*found->parent, uint32_t(found->item.id), uint32_t(found->item.size), sink, streamPath);
  if (!std::cout.flush()) {
    throw ToolError("write error");
  }
}

} // namespace

Outcome ListFile(Input const& input, ListOptions const& options) {
  Document document(input.name);
  Outcome outcome{Heading(input, options), {}, document.FileSize()};
  std::string entries; // JSON objects separated by commas
  struct Row {
    std::string name;   // indented; a storage's ends in '/'
    size_t columns;     // the terminal columns of the name
    std::string size;   // empty for a storage
    std::string digest; // empty without --hash
  };
  std::vector<Row> rows;
  auto visit = [&](TreeEntry const& entry) {
    std::string digest = options.hash && !entry.isStorage ? Digest(*entry.parent, entry.id) : std::string();
    uint32_t readable = Readable(entry);
    if (options.json) {
      Json item{{"type", entry.isStorage ? "storage" : "stream"}};
      if (!entry.isStorage) {
        item["size"] = entry.size;
        item["readable"] = readable;
        if (options.hash) {
          item["sha256"] = digest;
        }
      }
      entries += (entries.empty() ? "" : ",") + JsonEntry(entry.path, item);
      return;
    }
    std::string name =
        std::string(2 * (entry.path.size() - 1), ' ') + ShowName(entry.path.back()) + (entry.isStorage ? "/" : "");
    std::string size = std::to_string(entry.size);
    if (readable != entry.size) {
      size += " (" + std::to_string(readable) + " readable)";
    }
    rows.push_back(Row{name, Columns(name), entry.isStorage ? std::string() : size, digest});
  };
  Json defects = Json::array();
  document.Read([&] {
    WalkTree(document.Root(), visit);
    for (auto const& defect : document.Root()->Defects()) {
      defects.push_back(defect.Text());
    }
  });
  if (options.json) {
    outcome.out = "{\"file\":" + JsonText(SystemToUtf8(input.name)) + ",\"entries\":[" + entries +
                  "],\"defects\":" + JsonText(defects) + "}\n";
    return outcome;
  }
  size_t nameColumns = 0, sizeColumns = 0;
  for (auto const& row : rows) {
    nameColumns = std::max(nameColumns, row.columns);
    sizeColumns = std::max(sizeColumns, row.size.size());
  }
  for (auto const& row : rows) {
    if (row.size.empty()) {
      outcome.out += row.name + "\n";
      continue;
    }
    outcome.out += row.name + std::string(nameColumns + 2 - row.columns, ' ') +
                   std::string(sizeColumns - row.size.size(), ' ') + row.size +
                   (row.digest.empty() ? "" : "  " + row.digest) + "\n";
  }
  return outcome;
}

Outcome ListProperties(Input const& input, ListOptions const& options) {
  Document document(input.name);
  ZEBFile::OLE::PropertyStorage::MergedMap all;
  document.Read([&] { document.Root()->Properties(all); });
  Outcome outcome{Heading(input, options), {}, document.FileSize()};
  if (!options.json) {
    for (auto const& [name, value] : all) {
      outcome.out += ShowValue(ZEBCharset::ToWide(ZEB::CHARSET_UTF8, name)) + ": " + TextValue(value) + "\n";
    }
    return outcome;
  }
  Json properties = Json::object();
  std::set<std::string> used;
  for (auto const& [name, value] : all) {
    std::string key = UniqueKey(name, used);
    try {
      properties[key] = JsonValue(value);
    } catch (ZEB::Variant::VariantException const&) {
      properties[key] = nullptr;
    }
  }
  outcome.out = JsonLine(Json{{"file", SystemToUtf8(input.name)}, {"properties", std::move(properties)}});
  return outcome;
}

Outcome CheckFile(Input const& input, ListOptions const& options) {
  Document document(input.name);
  Outcome outcome{{}, {}, document.FileSize()};
  std::vector<std::string> defects;
  document.Read([&] {
    WalkTree(document.Root(), [&](TreeEntry const& entry) {
      if (!entry.isStorage) {
        DiscardSink sink;
        entry.parent->ReadStream(entry.id, sink);
      }
    });
    for (auto const& defect : document.Root()->Defects()) {
      defects.push_back(defect.Text());
    }
  });
  outcome.damaged = !defects.empty();
  if (options.json) {
    outcome.out = JsonLine(Json{{"file", SystemToUtf8(input.name)}, {"defects", defects}});
    return outcome;
  }
  std::string file = ShowFileName(input.name);
  for (auto const& defect : defects) {
    outcome.out += file + ": " + ShowValue(ZEBCharset::ToWide(ZEB::CHARSET_UTF8, defect)) + "\n";
  }
  if (defects.empty()) {
    outcome.out = file + ": ok\n";
  }
  return outcome;
}

void CatStream(std::string const& file, std::string const& streamPath) {
  Document document(file);
  document.Read([&] { CopyNamedStream(document.Root(), streamPath); });
}

bool Extract(std::string const& file, std::string const& directory, std::string const& entryPath, bool force) {
  Document document(file);
  std::optional<Found> found;
  document.Read([&] { found = entryPath.empty() ? std::nullopt : FindEntry(document.Root(), entryPath); });
  if (!entryPath.empty() && !found) {
    throw ToolError("no stream or storage " + entryPath);
  }
  struct Folder {
    std::unique_ptr<OutputDirectory> handle;
    std::string shown;
    SafeNames names;
  };
  std::map<uint32_t, Folder> folders;
  folders[0] = Folder{OutputDirectory::Open(directory), ShowFileName(directory), {}};
  bool complete = true;
  auto visit = [&](TreeEntry const& entry) {
    auto parent = folders.find(entry.parentId);
    if (parent == folders.end()) {
      return; // inside a storage whose directory was in the way
    }
    std::string name = parent->second.names.Make(entry.path.back());
    std::string shown = parent->second.shown + "/" + name;
    if (entry.isStorage) {
      auto made = parent->second.handle->MakeDirectory(name, force, shown);
      complete = Created(file, shown, made != nullptr) && complete;
      if (made) {
        folders[entry.id] = Folder{std::move(made), shown, {}};
      }
      return;
    }
    auto made = parent->second.handle->MakeFile(name, force, shown);
    if (made) {
      ForwardSink sink([&](void const* data, uint32_t count) { made->Write(data, count); });
      CopyStream(*entry.parent, entry.id, entry.size, sink, shown);
      made->Finish();
    }
    complete = Created(file, shown, made != nullptr) && complete;
  };
  document.Read([&] {
    if (!found) {
      WalkTree(document.Root(), visit);
    } else if (found->isStorage) {
      WalkTree(found->parent->OpenStorage(found->item.id), visit);
    } else {
      visit(TreeEntry{{found->item.name}, false, uint32_t(found->item.size), uint32_t(found->item.id), 0, found->parent});
    }
  });
  return complete;
}

void ShowPaths(std::vector<std::string> const& texts) {
  for (auto const& text : texts) {
    ZEBFile::PathT<char> path(text);
    std::string out = SystemToUtf8(path.FullPath()) + "\n";
    std::pair<char const*, std::string> const parts[] = {
        {"root", path.Root()},          {"directory", path.Directory()}, {"name", path.FileName()},
        {"extension", path.FileExtension()}, {"uri", path.GetURI()}};
    for (auto const& [label, value] : parts) {
      out += std::string("  ") + label + ": " + SystemToUtf8(value) + "\n";
    }
    std::fputs(out.c_str(), stdout);
  }
}

} // namespace zebfile
