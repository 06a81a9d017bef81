#include "Document.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <set>

#include "Files.h"
#include "ZEB/Exception.h"
#include "ZEB/MessageInfo.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Path.h"

namespace zebfile {
namespace {

std::string SystemReason(ZEB::BaseException const& e) {
  unsigned code = e.Info() ? e.Info()->LastError() : 0;
  switch (code) {
  case 2:
  case 3:
    return "no such file";
  case 5:
    return "permission denied";
  case 32:
  case 33:
    return "the file is in use by another process";
  case 8:
  case 14:
    return "not enough memory to map the file";
  default:
    return code != 0 ? "cannot open the file (system error " + std::to_string(code) + ")" : "cannot open the file";
  }
}

} // namespace

std::string DescribeCurrentException() {
  try {
    throw;
  } catch (ToolError const& e) {
    return e.what();
  } catch (ZEBFile::OLE::InvalidNameOLEException const& e) {
    return e.what();
  } catch (ZEBFile::OLE::InvalidWriteOLEException const& e) {
    return e.what();
  } catch (ZEBFile::OLE::NotAStorageOLEException const&) {
    return "not a compound file";
  } catch (ZEBFile::OLE::OLEException const&) {
    return "damaged compound file";
  } catch (ZEBFile::FileCannotOpenException const& e) {
    return SystemReason(e);
  } catch (ZEB::BaseException const& e) {
    std::string text = e.what();
    return text.empty() ? "read error" : text;
  } catch (std::bad_alloc const&) {
    return "out of memory";
  } catch (std::exception const& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

std::string const& TemporaryDirectory() {
  static std::string const directory = [] {
    std::error_code error;
    std::filesystem::path path = std::filesystem::temp_directory_path(error);
    return error ? std::string() : path.string();
  }();
  // Without one the reader would put its temporary files in the current
  // directory.
  if (directory.empty()) {
    throw ToolError("no temporary directory: TMPDIR (TMP or TEMP on Windows) names none that exists");
  }
  return directory;
}

Document::Document(std::string const& fileName) : m_Name(fileName) {
  ZEBFile::PathT<char> path(fileName);
  if (!path.Exists()) {
    // The reader takes Windows file names: on other systems a name holding
    // characters Windows refuses (control characters, '\\', ':' ...) exists
    // but cannot be opened through it.
    std::error_code error;
    throw ToolError(std::filesystem::exists(std::filesystem::path(fileName), error)
                        ? "the reader cannot open a file of this name (it holds characters Windows does not allow)"
                        : "no such file");
  }
  if (path.IsDirectory()) {
    throw ToolError("is a directory");
  }
  m_Size = path.Size();
  std::error_code error;
  m_Modified = std::filesystem::last_write_time(std::filesystem::path(fileName), error);
  if (m_Size > UINT32_MAX) {
    throw ToolError("too large: the reader takes files up to 4 GiB");
  }
  static unsigned char const empty[1] = {0};
  void const* data = empty;
  if (m_Size > 0) {
    m_Map = std::make_unique<ZEBFile::MemoryMapFile>(fileName);
    m_Map->Open(ZEBFile::MemoryMapFile::READ);
    data = m_Map->GetView(0, uint32_t(m_Size));
    m_Guard = std::make_unique<MappedViewGuard>(data, size_t(m_Size));
    TestHook("mapped", fileName);
  }
  m_Buffer = std::make_unique<ZEBFile::StaticMemoryBuffer>(data, uint32_t(m_Size));
  Read([&] { m_Root = ZEB::SmartPtr<Storage>(new Storage(TemporaryDirectory(), *m_Buffer)); });
}

Document::~Document() = default;

bool Document::Changed() const {
  if (m_Guard && m_Guard->Faulted()) {
    return true;
  }
  std::error_code sizeError, timeError;
  std::filesystem::path path(m_Name);
  auto size = std::filesystem::file_size(path, sizeError);
  auto modified = std::filesystem::last_write_time(path, timeError);
  return sizeError || timeError || size != m_Size || modified != m_Modified;
}

void Document::ThrowWhenChanged() const {
  if (Changed()) {
    throw ToolError(FILE_CHANGED);
  }
}

void Document::Read(std::function<void()> const& read) const {
  try {
    read();
  } catch (...) {
    ThrowWhenChanged();
    throw;
  }
  ThrowWhenChanged();
}

void WalkTree(ZEB::SmartPtr<Document::Storage> const& root, std::function<void(TreeEntry const&)> const& visit) {
  std::vector<TreeEntry> pending; // a stack: the next entry to visit is at the back
  auto pushChildren = [&](ZEB::SmartPtr<Document::Storage> const& storage, uint32_t storageId,
                          std::vector<ZEB::WString> const& prefix) {
    if (prefix.size() >= MAX_DEPTH) {
      throw ToolError("storages nested more than " + std::to_string(MAX_DEPTH) + " deep");
    }
    std::vector<TreeEntry> children;
    for (bool storages : {true, false}) {
      for (auto const& item : storages ? storage->Storages() : storage->Streams()) {
        TreeEntry entry{prefix, storages, storages ? 0u : uint32_t(item.size), uint32_t(item.id), storageId, storage};
        entry.path.push_back(item.name);
        children.push_back(std::move(entry));
      }
    }
    std::stable_sort(children.begin(), children.end(),
                     [](TreeEntry const& a, TreeEntry const& b) { return a.path.back() < b.path.back(); });
    pending.insert(pending.end(), std::make_move_iterator(children.rbegin()), std::make_move_iterator(children.rend()));
  };
  pushChildren(root, 0, {});
  while (!pending.empty()) {
    TreeEntry entry = std::move(pending.back());
    pending.pop_back();
    visit(entry);
    if (entry.isStorage) {
      pushChildren(entry.parent->OpenStorage(entry.id), entry.id, entry.path);
    }
  }
}

} // namespace zebfile
