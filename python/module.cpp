// zebfile._zebfile, the binary half of the Python package: one compound file
// opened from a path (mapped, as the tool maps it) or from the caller's
// buffer (read in place), its tree, its streams and its properties. The GIL
// is released while the library reads, hashes and decodes; a lock per file
// lets one thread at a time into its reader, whose caches are not shared
// safely.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Document.h"
#include "Names.h"
#include "Sinks.h"
#include "ZEB/MessageInfo.h"
#include "ZEB/Variant.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/StaticMemoryBuffer.h"
#include "ZEBFile/Storage.h"

namespace py = pybind11;
using Storage = ZEBFile::OLE::Storage;

namespace {

// A failure of the operating system, raised as OSError(errno, text); the
// package adds the file name as the caller gave it.
struct SystemFailure {
  int error;
};

// A file that exists but whose name the reader cannot take (on POSIX, one
// holding characters Windows refuses): the package maps it itself.
struct UnusableName {};

PyObject* g_Error = nullptr;
PyObject* g_UnusableName = nullptr;
PyObject* g_NotACompoundFile = nullptr;
PyObject* g_DamagedFile = nullptr;

// The errno of a Win32 error code the library recorded.
int ErrnoOf(unsigned code) {
  switch (code) {
  case 2:
  case 3:
    return ENOENT;
  case 5:
    return EACCES;
  case 8:
  case 14:
    return ENOMEM;
  case 32:
  case 33:
    return EBUSY;
  default:
    return EIO;
  }
}

// A Python str of UTF-16 units; `exact` keeps unpaired surrogates (names must
// find their entry again), else they become U+FFFD as the tool shows them.
py::str Text(ZEB::WString const& text, bool exact) {
  PyObject* s = PyUnicode_DecodeUTF16(reinterpret_cast<char const*>(text.data()),
                                      Py_ssize_t(text.size() * 2), exact ? "surrogatepass" : "replace", nullptr);
  if (s == nullptr) {
    throw py::error_already_set();
  }
  return py::reinterpret_steal<py::str>(s);
}

ZEB::WString Wide(py::str const& text) {
  py::bytes units = py::reinterpret_steal<py::bytes>(
      PyUnicode_AsEncodedString(text.ptr(), "utf-16-le", "surrogatepass"));
  if (!units) {
    throw py::error_already_set();
  }
  std::string bytes = units;
  return ZEB::WString(reinterpret_cast<char16_t const*>(bytes.data()), bytes.size() / 2);
}

// Collects a stream into memory the caller owns.
class MemorySink : public zebfile::WriteOnlyBuffer {
public:
  MemorySink(char* data, size_t capacity) : m_Data(data), m_Capacity(capacity) {}
  size_t Size() const noexcept { return m_Size; }

protected:
  void Write(void const* data, uint32_t count) override {
    size_t n = std::min<size_t>(count, m_Capacity - m_Size);
    std::memcpy(m_Data + m_Size, data, n);
    m_Size += n;
  }

private:
  char* m_Data;
  size_t m_Capacity;
  size_t m_Size = 0;
};

// Keeps the bytes [offset, offset + capacity) of a stream and stops the read
// once it has them, by throwing Full out of the reader.
class WindowSink : public zebfile::WriteOnlyBuffer {
public:
  struct Full {};
  WindowSink(uint64_t offset, std::string& out, size_t capacity) : m_Skip(offset), m_Out(out), m_Capacity(capacity) {}

protected:
  void Write(void const* data, uint32_t count) override {
    auto const* bytes = static_cast<char const*>(data);
    uint64_t skipped = std::min<uint64_t>(m_Skip, count);
    m_Skip -= skipped;
    size_t n = std::min<size_t>(count - skipped, m_Capacity - m_Out.size());
    m_Out.append(bytes + skipped, n);
    if (m_Out.size() == m_Capacity) {
      throw Full{};
    }
  }

private:
  uint64_t m_Skip;
  std::string& m_Out;
  size_t m_Capacity;
};

// One entry of the tree as the walk found it, with its directory details.
struct Node {
  std::vector<ZEB::WString> path;
  bool isStorage;
  uint32_t id;
  Storage::Details details;
};

// (size, readable, class id bytes, created, modified) of an entry; the times
// as FILETIME numbers.
py::tuple DetailsTuple(Storage::Details const& d) {
  return py::make_tuple(d.size, d.readable, py::bytes(reinterpret_cast<char const*>(d.classId), sizeof d.classId),
                        d.created, d.modified);
}

// One decoded property: the key the tool prints in JSON and the value.
struct Property {
  std::string name;
  ZEB::Variant value;
};

// A buffer the caller lends: held for as long as the file is open, so that
// its memory cannot move or vanish meanwhile.
class BorrowedBuffer {
public:
  explicit BorrowedBuffer(py::object const& source) {
    if (PyObject_GetBuffer(source.ptr(), &m_View, PyBUF_SIMPLE) != 0) {
      throw py::error_already_set();
    }
  }
  ~BorrowedBuffer() { PyBuffer_Release(&m_View); }
  BorrowedBuffer(BorrowedBuffer const&) = delete;
  BorrowedBuffer& operator=(BorrowedBuffer const&) = delete;
  void const* Data() const noexcept { return m_View.buf; }
  size_t Size() const noexcept { return size_t(m_View.len); }

private:
  Py_buffer m_View{};
};

class File {
public:
  // From a file name in the system's encoding: the file is mapped.
  explicit File(std::string const& fileName) {
    try {
      py::gil_scoped_release unlocked;
      m_Document = std::make_unique<zebfile::Document>(fileName);
    } catch (ZEBFile::FileException const& e) {
      throw SystemFailure{ErrnoOf(e.Info() ? e.Info()->LastError() : 0)};
    } catch (zebfile::ToolError const&) {
      ThrowMissing(fileName);
      if (std::filesystem::is_regular_file(std::filesystem::path(fileName))) {
        throw UnusableName{};
      }
      throw;
    }
    m_Root = m_Document->Root();
  }

  // From a buffer of the caller's, read in place.
  explicit File(py::object const& source) : m_Borrowed(std::make_unique<BorrowedBuffer>(source)) {
    if (m_Borrowed->Size() > UINT32_MAX) {
      throw py::value_error("the reader takes files up to 4 GiB");
    }
    m_Buffer = std::make_unique<ZEBFile::StaticMemoryBuffer>(m_Borrowed->Data(), uint32_t(m_Borrowed->Size()));
    py::gil_scoped_release unlocked;
    m_Root = ZEB::SmartPtr<Storage>(new Storage(zebfile::TemporaryDirectory(), *m_Buffer));
  }

  // Releases the map or the borrowed buffer; later calls raise ValueError.
  void Close() {
    std::lock_guard<std::mutex> hold(m_Lock);
    m_Root = ZEB::SmartPtr<Storage>();
    m_Document.reset();
    m_Buffer.reset();
    m_Borrowed.reset();
  }
  bool Closed() const { return !m_Root; }

  py::list Tree() {
    std::vector<Node> nodes;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> hold(m_Lock);
      auto const& root = Root();
      Guarded([&] {
        zebfile::WalkTree(root, [&](zebfile::TreeEntry const& e) {
          Node node{e.path, e.isStorage, e.id, {}};
          if (!root->GetDetails(e.id, node.details)) {
            node.details.size = node.details.readable = e.size;
          }
          nodes.push_back(std::move(node));
        });
      });
    }
    py::list out;
    for (auto const& node : nodes) {
      py::tuple path(node.path.size());
      for (size_t i = 0; i < node.path.size(); ++i) {
        path[i] = Text(node.path[i], true);
      }
      out.append(py::make_tuple(path, node.isStorage, node.id, DetailsTuple(node.details)));
    }
    return out;
  }

  // The details of entry `id` (as in Tree), or None.
  py::object Details(uint32_t id) {
    Storage::Details details;
    bool found = false;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> hold(m_Lock);
      Guarded([&] { found = Root()->GetDetails(id, details); });
    }
    return found ? py::object(DetailsTuple(details)) : py::none();
  }

  // The damage the reader tolerated, one sentence each.
  std::vector<std::string> Defects() {
    py::gil_scoped_release unlocked;
    std::lock_guard<std::mutex> hold(m_Lock);
    std::vector<std::string> texts;
    Guarded([&] {
      for (auto const& defect : Root()->Defects()) {
        texts.push_back(defect.Text());
      }
    });
    return texts;
  }

  // The bytes of stream entry `id`, at most `size` (its declared size).
  py::bytes Read(uint32_t id, uint32_t size) {
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, Py_ssize_t(size));
    if (bytes == nullptr) {
      throw py::error_already_set();
    }
    auto result = py::reinterpret_steal<py::object>(bytes);
    size_t got = 0;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> hold(m_Lock);
      MemorySink sink(PyBytes_AS_STRING(bytes), size);
      Guarded([&] { Root()->ReadStream(id, sink); });
      got = sink.Size();
    }
    // A damaged chain delivers less than the declared size.
    PyObject* raw = result.release().ptr();
    if (got != size && _PyBytes_Resize(&raw, Py_ssize_t(got)) != 0) {
      throw py::error_already_set();
    }
    return py::reinterpret_steal<py::bytes>(raw);
  }

  // At most `count` bytes of stream entry `id` from `offset` on.
  py::bytes ReadAt(uint32_t id, uint64_t offset, size_t count) {
    std::string out;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> hold(m_Lock);
      out.reserve(count);
      WindowSink sink(offset, out, count);
      Guarded([&] {
        try {
          if (count > 0) {
            Root()->ReadStream(id, sink);
          }
        } catch (WindowSink::Full const&) {
        }
      });
    }
    return py::bytes(out);
  }

  std::string Sha256(uint32_t id) {
    py::gil_scoped_release unlocked;
    std::lock_guard<std::mutex> hold(m_Lock);
    zebfile::HashSink sink;
    Guarded([&] { Root()->ReadStream(id, sink); });
    return sink.HexDigest();
  }

  // The merged properties under the keys `zebfile props --json` prints: a
  // second value of one name goes under "name (2)".
  py::dict Properties() {
    std::vector<Property> properties;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> hold(m_Lock);
      ZEBFile::OLE::PropertyStorage::MergedMap all;
      Guarded([&] { Root()->Properties(all); });
      std::set<std::string> used;
      for (auto const& [name, value] : all) {
        properties.push_back(Property{zebfile::UniqueKey(name, used), value});
      }
    }
    py::dict out;
    for (auto const& property : properties) {
      out[py::str(property.name)] = Value(property.value);
    }
    return out;
  }

private:
  // Throws the errno of a file that is missing or a directory, found once
  // the reader refused it (a stat fewer for every file that opens).
  static void ThrowMissing(std::string const& fileName) {
    std::error_code error;
    auto status = std::filesystem::status(std::filesystem::path(fileName), error);
    if (error || !std::filesystem::exists(status)) {
      throw SystemFailure{error && error.value() != ENOENT ? error.value() : ENOENT};
    }
    if (std::filesystem::is_directory(status)) {
      throw SystemFailure{EISDIR};
    }
  }

  // Runs `read`; for a mapped file, a file that shrank or changed while it was
  // read throws ToolError instead of what the read gave.
  template <class Read> void Guarded(Read&& read) const {
    if (m_Document) {
      m_Document->Read(read);
    } else {
      read();
    }
  }

  ZEB::SmartPtr<Storage> const& Root() const {
    if (!m_Root) {
      throw std::invalid_argument("I/O operation on closed file");
    }
    return m_Root;
  }

  static py::object Value(ZEB::Variant const& value) {
    auto const* traits = value.Traits();
    if (traits == nullptr) {
      return py::none();
    }
    try {
      switch (traits->TypeKind()) {
      case ZEB::VariantTraits::BoolKind:
        return py::bool_(value.AsBool());
      case ZEB::VariantTraits::UIntKind:
        return py::int_(value.AsUInt());
      case ZEB::VariantTraits::UCharKind:
      case ZEB::VariantTraits::ShortKind:
      case ZEB::VariantTraits::UShortKind:
      case ZEB::VariantTraits::IntKind:
        return py::int_(value.AsInt());
      case ZEB::VariantTraits::FloatKind:
      case ZEB::VariantTraits::DoubleKind:
        return py::float_(value.AsDouble());
      case ZEB::VariantTraits::DateTimeKind:
        return UtcTime(value.AsDateTime().UnixTime());
      case ZEB::VariantTraits::WStringKind:
        return Text(value.AsWString(), false);
      }
    } catch (ZEB::Variant::VariantException const&) {
    }
    return py::none();
  }

  static py::object UtcTime(int64_t unixTime) {
    static py::object const datetime = py::module_::import("datetime").attr("datetime");
    static py::object const utc = py::module_::import("datetime").attr("timezone").attr("utc");
    return datetime.attr("fromtimestamp")(unixTime, utc);
  }

  std::mutex m_Lock;
  std::unique_ptr<zebfile::Document> m_Document;
  std::unique_ptr<BorrowedBuffer> m_Borrowed;
  std::unique_ptr<ZEBFile::StaticMemoryBuffer> m_Buffer;
  ZEB::SmartPtr<Storage> m_Root;
};

void SetError(PyObject* type, char const* text, char const* otherwise = "") {
  PyErr_SetString(type, *text != 0 ? text : otherwise);
}

void Translate(std::exception_ptr thrown) {
  try {
    std::rethrow_exception(thrown);
  } catch (SystemFailure const& e) {
    py::object error = py::reinterpret_borrow<py::object>(PyExc_OSError)(e.error, std::strerror(e.error));
    PyErr_SetObject(PyExc_OSError, error.ptr());
  } catch (UnusableName const&) {
    SetError(g_UnusableName, "the reader cannot take this file name");
  } catch (ZEBFile::OLE::NotAStorageOLEException const& e) {
    SetError(g_NotACompoundFile, e.what(), "not a compound file");
  } catch (ZEBFile::OLE::OLEException const& e) {
    SetError(g_DamagedFile, e.what(), "damaged compound file");
  } catch (zebfile::ToolError const& e) {
    SetError(g_Error, e.what());
  } catch (std::invalid_argument const& e) {
    SetError(PyExc_ValueError, e.what());
  } catch (ZEB::BaseException const& e) {
    SetError(g_Error, e.what(), "read error");
  }
}

PyObject* NewError(py::module_& m, char const* name, PyObject* base, char const* doc) {
  std::string qualified = std::string("zebfile.") + name;
  PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, base, nullptr);
  if (type == nullptr) {
    throw py::error_already_set();
  }
  m.add_object(name, py::handle(type));
  return type;
}

} // namespace

PYBIND11_MODULE(_zebfile, m) {
  m.doc() = "The compound-file reader behind the zebfile package (use zebfile.open).";
  g_Error = NewError(m, "Error", PyExc_Exception, "A file the reader cannot read.");
  g_NotACompoundFile = NewError(m, "NotACompoundFile", g_Error, "The bytes are not those of a compound file.");
  g_DamagedFile = NewError(m, "DamagedFile", g_Error, "A compound file too damaged to read.");
  g_UnusableName = NewError(m, "UnusableName", g_Error, "A file name the reader cannot take; map the file instead.");
  py::register_exception_translator(Translate);

  // Two factories, as a bytes object would pass for a file name.
  py::class_<File> file(m, "File");
  m.def(
      "open_path", [](std::string const& name) { return std::make_unique<File>(name); }, py::arg("file_name"),
      "Maps the file and opens it.");
  m.def(
      "open_buffer", [](py::object const& data) { return std::make_unique<File>(data); }, py::arg("data"),
      "Opens the bytes of a buffer in place; the buffer is held until close().");
  file
      .def("close", &File::Close)
      .def_property_readonly("closed", &File::Closed)
      .def("tree", &File::Tree, "[(path, is_storage, id, details)], depth first, names in order")
      .def("details", &File::Details, py::arg("id"), "(size, readable, class id, created, modified) or None")
      .def("defects", &File::Defects)
      .def("read", &File::Read, py::arg("id"), py::arg("size"))
      .def("read_at", &File::ReadAt, py::arg("id"), py::arg("offset"), py::arg("count"))
      .def("sha256", &File::Sha256, py::arg("id"))
      .def("properties", &File::Properties);

  m.def(
      "parse_path",
      [](std::string const& text) {
        py::list names;
        for (auto const& name : zebfile::ParsePath(text)) {
          names.append(Text(name, true));
        }
        return names;
      },
      py::arg("text"), "The names of a '/'-joined path as `zebfile ls` shows it (escapes undone).");
  m.def(
      "show_name", [](py::str const& name) { return zebfile::ShowName(Wide(name)); }, py::arg("name"),
      "A name as `zebfile ls` shows it: control and invisible characters, '\\' and '/' escaped.");
}
