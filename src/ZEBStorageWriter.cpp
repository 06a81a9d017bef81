// The compound-file writer. Sectors are written in order as they fill: a
// regular stream's own sectors, and the mini stream's sectors each time its
// staging sector is full. At Commit come the MiniFAT, the directory, the FAT
// and the DIFAT, then the header over the first sector written at the start.
#include "ZEBFile/StorageWriter.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "ZEB/NoCase.h"
#include "ZEBCharset/Conv.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Win32.h"
#include "ZEBStorageInternal.h"

namespace ZEBFile::OLE {

namespace {

constexpr uint32_t NO_ENTRY = 0xFFFFFFFF;
constexpr uint32_t FREE_SECT = 0xFFFFFFFF;
constexpr uint32_t END_OF_CHAIN = 0xFFFFFFFE;
constexpr uint32_t FAT_SECT = 0xFFFFFFFD;
constexpr uint32_t DIF_SECT = 0xFFFFFFFC;
constexpr uint32_t MINI_SECTOR = 64;
constexpr uint32_t ENTRY_SIZE = 128;
constexpr uint8_t RED = 0, BLACK = 1;
constexpr uint32_t FILE_STAGING = 1u << 20;

void Le16(unsigned char* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Le32(unsigned char* p, uint32_t v) {
  Le16(p, v);
  Le16(p + 2, v >> 16);
}
void Le64(unsigned char* p, uint64_t v) {
  Le32(p, uint32_t(v));
  Le32(p + 4, uint32_t(v >> 32));
}

// The upper case the format's order uses: ASCII, Latin-1, Greek, Cyrillic
// and Latin Extended-A, the inverse of the library's folding.
char16_t Upper(char16_t c) {
  if (c >= 'a' && c <= 'z')
    return char16_t(c - 0x20);
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
    return char16_t(c - 0x20);
  if (c >= 0x450 && c <= 0x45F)
    return char16_t(c - 0x50);
  if (c > 0x100 && c <= 0x17F && ZEB::WNoCase::Fold(char16_t(c - 1)) == c)
    return char16_t(c - 1);
  return c;
}

ZEB::WString Utf16(char const* text) { return ZEBCharset::ToWide(ZEB::CHARSET_UTF8, text); }

[[noreturn]] void Refuse(ZEB::WString const& name, char const* reason) {
  // Control characters shown as \xHH, so that the text stays one readable line.
  ZEB::WString shown;
  for (char16_t c : name) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(c));
    shown += c < 0x20 ? Utf16(hex) : ZEB::WString(1, c);
  }
  throw InvalidNameOLEException(u"The name \"" + shown + u"\" cannot be written: " + Utf16(reason) + u".");
}
[[noreturn]] void Misuse(char const* reason) { throw InvalidWriteOLEException(Utf16(reason)); }

// Where the file's bytes go: appended in order, plus the header at offset 0.
class Output {
public:
  virtual ~Output() = default;
  virtual void Append(void const* data, uint32_t size) = 0;
  virtual void WriteHeader(void const* data, uint32_t size) = 0;
  virtual void Finish() = 0;
};

class BufferOutput : public Output {
public:
  explicit BufferOutput(ZEB::BinaryStreamBufT<unsigned>& out) : m_Out(out), m_Base(out.TellP()) {}
  void Append(void const* data, uint32_t size) override {
    if (uint64_t(m_Out.TellP()) + size > UINT32_MAX)
      Misuse("the compound file does not fit a buffer: it would pass 4 GiB");
    m_Out.PutAll(data, size);
  }
  void WriteHeader(void const* data, uint32_t size) override {
    uint32_t end = m_Out.TellP();
    m_Out.SeekP(m_Base);
    m_Out.PutAll(data, size);
    m_Out.SeekP(end);
  }
  void Finish() override { m_Out.Flush(); }

private:
  ZEB::BinaryStreamBufT<unsigned>& m_Out;
  uint32_t m_Base;
};

// A temporary file beside the target, written through a staging block and
// renamed into place by Finish; removed when the output goes unfinished.
class FileOutput : public Output {
public:
  explicit FileOutput(std::string const& path) : m_Path(path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      m_Temp = path + ".~" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + ".tmp";
      m_Handle = CreateFileA(m_Temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (m_Handle != INVALID_HANDLE_VALUE)
        break;
      DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
        break;
    }
    if (m_Handle == INVALID_HANDLE_VALUE)
      throw FileCannotCreateException(SystemErrorInfo(ZEBFileMsg::CANNOT_CREATE, __FILE__, __LINE__, {m_Temp}));
    m_Staging.reserve(FILE_STAGING);
  }
  ~FileOutput() override {
    if (m_Handle != INVALID_HANDLE_VALUE) {
      CloseHandle(m_Handle);
      DeleteFileA(m_Temp.c_str());
    }
  }
  void Append(void const* data, uint32_t size) override {
    auto bytes = static_cast<char const*>(data);
    if (m_Staging.size() + size > FILE_STAGING)
      Drain();
    if (size >= FILE_STAGING)
      WriteAll(bytes, size);
    else
      m_Staging.insert(m_Staging.end(), bytes, bytes + size);
  }
  void WriteHeader(void const* data, uint32_t size) override {
    Drain();
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(m_Handle, start, nullptr, FILE_BEGIN))
      Fail(ZEBFileMsg::CANNOT_SEEK);
    WriteAll(static_cast<char const*>(data), size);
  }
  void Finish() override {
    Drain();
    if (!CloseHandle(m_Handle)) {
      m_Handle = INVALID_HANDLE_VALUE;
      DeleteFileA(m_Temp.c_str());
      Fail(ZEBFileMsg::CANNOT_WRITE);
    }
    m_Handle = INVALID_HANDLE_VALUE;
    // Moving onto an existing file fails: the old one steps aside under the
    // temporary name's twin, and comes back when the move still fails.
    std::string aside = m_Temp + ".old";
    if (MoveFileA(m_Temp.c_str(), m_Path.c_str()))
      return;
    bool stepped = MoveFileA(m_Path.c_str(), aside.c_str()) != 0;
    if (stepped && MoveFileA(m_Temp.c_str(), m_Path.c_str())) {
      DeleteFileA(aside.c_str());
      return;
    }
    ZEB::SmartPtr<ZEB::MessageInfo> info =
        SystemErrorInfo(ZEBFileMsg::CANNOT_MOVE, __FILE__, __LINE__, {m_Temp, m_Path});
    if (stepped)
      MoveFileA(aside.c_str(), m_Path.c_str());
    DeleteFileA(m_Temp.c_str());
    throw FileCannotMoveException(info);
  }

private:
  void Drain() {
    if (!m_Staging.empty())
      WriteAll(m_Staging.data(), uint32_t(m_Staging.size()));
    m_Staging.clear();
  }
  void WriteAll(char const* data, uint32_t size) {
    while (size > 0) {
      DWORD written = 0;
      if (!WriteFile(m_Handle, data, size, &written, nullptr) || written == 0)
        Fail(ZEBFileMsg::CANNOT_WRITE);
      data += written;
      size -= written;
    }
  }
  [[noreturn]] void Fail(unsigned id) {
    throw WriteErrorException(SystemErrorInfo(id, __FILE__, __LINE__, {m_Temp}));
  }

  std::string m_Path, m_Temp;
  HANDLE m_Handle = INVALID_HANDLE_VALUE;
  std::vector<char> m_Staging;
};

} // namespace

struct StorageWriter::Impl {
  struct Entry {
    ZEB::WString name;
    uint8_t type;
    uint32_t parent;
    std::vector<uint32_t> children;
    std::set<ZEB::WString> upperNames; // of the children, for the sibling check
    unsigned char classId[16] = {};
    uint32_t state = 0;
    uint64_t created = 0, modified = 0;
    uint32_t start = END_OF_CHAIN;
    uint32_t size = 0;
    uint32_t left = NO_ENTRY, right = NO_ENTRY, child = NO_ENTRY;
    uint8_t colour = BLACK;
  };

  // A chain being written: its first and last sector.
  struct Chain {
    uint32_t first = END_OF_CHAIN, last = END_OF_CHAIN;
  };

  Impl(std::unique_ptr<Output> output, Options const& options) : out(std::move(output)), options(options) {
    if (options.version != 3 && options.version != 4)
      Misuse("the version is 3 or 4");
    shift = options.version == 3 ? 9 : 12;
    sectorSize = 1u << shift;
    entries.push_back(Entry{u"Root Entry", TYPE_ROOT, NO_ENTRY, {}, {}});
    // The header's place: a whole sector, written again at Commit.
    std::vector<unsigned char> zeros(sectorSize, 0);
    out->Append(zeros.data(), sectorSize);
  }

  void CheckOpen() const {
    if (committed)
      Misuse("the compound file is already committed");
    if (open != NO_ENTRY)
      Misuse("a stream is still open: end it first");
  }

  uint32_t Add(uint32_t parent, ZEB::WString const& name, uint8_t type) {
    CheckOpen();
    if (parent >= entries.size() || entries[parent].type == TYPE_STREAM)
      Misuse("the parent is not a storage of this file");
    ZEB::WString upper = CheckName(parent, name);
    entries[parent].upperNames.insert(upper);
    entries[parent].children.push_back(uint32_t(entries.size()));
    entries.push_back(Entry{name, type, parent, {}, {}});
    return uint32_t(entries.size() - 1);
  }

  // Gives the name upper-cased, or throws.
  ZEB::WString CheckName(uint32_t parent, ZEB::WString const& name) {
    bool other = false;
    uint32_t longest = options.otherWritersNames ? MAX_NAME_LENGTH + 1 : MAX_NAME_LENGTH;
    if (name.empty() || name.size() > longest)
      Refuse(name, options.otherWritersNames ? "a name has 1 to 32 UTF-16 units" : "a name has 1 to 31 UTF-16 units");
    if (std::find(name.begin(), name.end(), u'\0') != name.end())
      Refuse(name, "a name holds no character 0");
    other = name.size() > MAX_NAME_LENGTH || name.find_first_of(u"/\\:!") != ZEB::WString::npos;
    if (other && !options.otherWritersNames)
      Refuse(name, "'/', '\\', ':' and '!' are reserved");
    ZEB::WString upper(name);
    for (char16_t& c : upper)
      c = Upper(c);
    if (entries[parent].upperNames.count(upper)) {
      if (!options.otherWritersNames)
        Refuse(name, "a sibling has the same name ignoring case");
      other = true;
    }
    otherNames += other ? 1 : 0;
    return upper;
  }

  // Appends whole sectors to a chain.
  void AppendSectors(Chain& chain, void const* data, uint32_t count) {
    out->Append(data, count << shift);
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t sector = uint32_t(fat.size());
      fat.push_back(END_OF_CHAIN);
      if (chain.last != END_OF_CHAIN)
        fat[chain.last] = sector;
      else
        chain.first = sector;
      chain.last = sector;
    }
  }

  // Data of the open stream: the first bytes wait in `head` until the stream
  // reaches the cutoff; past it whole sectors go straight to the output and a
  // partial one waits in `staging`.
  void Write(unsigned char const* data, uint32_t size) {
    if (committed || open == NO_ENTRY)
      Misuse("no stream is open");
    if (uint64_t(openSize) + size > UINT32_MAX)
      Misuse("a stream holds at most 4 GiB - 1 bytes");
    openSize += size;
    if (!regular) {
      uint32_t take = std::min<uint32_t>(size, MINI_STREAM_CUTOFF - uint32_t(head.size()));
      head.insert(head.end(), data, data + take);
      data += take;
      size -= take;
      if (head.size() < MINI_STREAM_CUTOFF)
        return;
      regular = true;
      staging.clear();
      Stage(head.data(), uint32_t(head.size()));
      head.clear();
    }
    Stage(data, size);
  }

  void Stage(unsigned char const* data, uint32_t size) {
    if (!staging.empty()) {
      uint32_t take = std::min<uint32_t>(size, sectorSize - uint32_t(staging.size()));
      staging.insert(staging.end(), data, data + take);
      data += take;
      size -= take;
      if (staging.size() < sectorSize)
        return;
      AppendSectors(stream, staging.data(), 1);
      staging.clear();
    }
    uint32_t whole = size >> shift;
    if (whole)
      AppendSectors(stream, data, whole);
    staging.assign(data + (whole << shift), data + size);
  }

  void End() {
    if (committed || open == NO_ENTRY)
      Misuse("no stream is open");
    Entry& entry = entries[open];
    entry.size = openSize;
    if (regular) {
      if (!staging.empty()) {
        staging.resize(sectorSize, 0);
        AppendSectors(stream, staging.data(), 1);
      }
      entry.start = stream.first;
    } else if (!head.empty()) {
      entry.start = uint32_t(miniFat.size());
      uint32_t count = (uint32_t(head.size()) + MINI_SECTOR - 1) / MINI_SECTOR;
      head.resize(count * MINI_SECTOR, 0);
      for (uint32_t i = 0; i < count; ++i)
        miniFat.push_back(i + 1 < count ? entry.start + i + 1 : END_OF_CHAIN);
      AppendMini(head.data(), uint32_t(head.size()));
    }
    open = NO_ENTRY;
    head.clear();
    staging.clear();
  }

  void AppendMini(unsigned char const* data, uint32_t size) {
    while (size > 0) {
      uint32_t take = std::min<uint32_t>(size, sectorSize - uint32_t(miniStaging.size()));
      miniStaging.insert(miniStaging.end(), data, data + take);
      data += take;
      size -= take;
      if (miniStaging.size() == sectorSize) {
        AppendSectors(miniChain, miniStaging.data(), 1);
        miniStaging.clear();
      }
    }
  }

  // A table of 32-bit ids as whole sectors, padded with FREE_SECT.
  Chain WriteTable(std::vector<uint32_t> table) {
    Chain chain;
    uint32_t perSector = sectorSize / 4;
    table.resize((table.size() + perSector - 1) / perSector * perSector, FREE_SECT);
    std::vector<unsigned char> bytes(table.size() * 4);
    for (size_t i = 0; i < table.size(); ++i)
      Le32(&bytes[4 * i], table[i]);
    if (!table.empty())
      AppendSectors(chain, bytes.data(), uint32_t(table.size() / perSector));
    return chain;
  }

  // Each storage's children as a red-black tree: sorted in the format's
  // order, split at the middle, so that all levels but the last are full;
  // the nodes of the last level are red, the others black.
  void LinkChildren(Entry& storage) {
    std::vector<uint32_t> ids = storage.children;
    std::stable_sort(ids.begin(), ids.end(),
                     [&](uint32_t a, uint32_t b) { return CompareNames(entries[a].name, entries[b].name) < 0; });
    unsigned depth = 0;
    while ((size_t(1) << depth) - 1 < ids.size())
      ++depth;
    storage.child = Link(ids, 0, ids.size(), 1, depth);
  }

  uint32_t Link(std::vector<uint32_t> const& ids, size_t begin, size_t end, unsigned depth, unsigned deepest) {
    if (begin == end)
      return NO_ENTRY;
    size_t middle = begin + (end - begin) / 2;
    Entry& entry = entries[ids[middle]];
    entry.colour = depth == deepest && depth > 1 ? RED : BLACK;
    entry.left = Link(ids, begin, middle, depth + 1, deepest);
    entry.right = Link(ids, middle + 1, end, depth + 1, deepest);
    return ids[middle];
  }

  void PutEntry(unsigned char* at, Entry const& entry) const {
    uint32_t units = uint32_t(std::min<size_t>(entry.name.size(), 32));
    for (uint32_t i = 0; i < units; ++i)
      Le16(at + 2 * i, entry.name[i]);
    Le16(at + 0x40, std::min<uint32_t>(2 * (units + 1), 64));
    at[0x42] = entry.type;
    at[0x43] = entry.colour;
    Le32(at + 0x44, entry.left);
    Le32(at + 0x48, entry.right);
    Le32(at + 0x4C, entry.child);
    std::memcpy(at + 0x50, entry.classId, 16);
    Le32(at + 0x60, entry.state);
    Le64(at + 0x64, entry.created);
    Le64(at + 0x6C, entry.modified);
    Le32(at + 0x74, entry.type == TYPE_STORAGE ? 0 : entry.start);
    Le32(at + 0x78, entry.size);
  }

  Chain WriteDirectory() {
    for (Entry& entry : entries)
      if (entry.type != TYPE_STREAM)
        LinkChildren(entry);
    uint32_t perSector = sectorSize / ENTRY_SIZE;
    size_t slots = (entries.size() + perSector - 1) / perSector * perSector;
    Chain chain;
    std::vector<unsigned char> sector(sectorSize);
    for (size_t first = 0; first < slots; first += perSector) {
      std::fill(sector.begin(), sector.end(), 0);
      for (uint32_t k = 0; k < perSector; ++k) {
        unsigned char* at = &sector[k * ENTRY_SIZE];
        if (first + k < entries.size()) {
          PutEntry(at, entries[first + k]);
        } else {
          Le32(at + 0x44, NO_ENTRY);
          Le32(at + 0x48, NO_ENTRY);
          Le32(at + 0x4C, NO_ENTRY);
        }
      }
      AppendSectors(chain, sector.data(), 1);
    }
    return chain;
  }

  void Commit() {
    if (committed)
      Misuse("the compound file is already committed");
    if (open != NO_ENTRY)
      End();
    committed = true;
    Entry& root = entries[ROOT];
    root.size = uint32_t(miniFat.size() * MINI_SECTOR);
    if (!miniStaging.empty()) {
      miniStaging.resize(sectorSize, 0);
      AppendSectors(miniChain, miniStaging.data(), 1);
    }
    root.start = miniChain.first;
    Chain miniFatChain = WriteTable(miniFat);
    uint32_t miniFatSectors = uint32_t((miniFat.size() * 4 + sectorSize - 1) / sectorSize);
    Chain directory = WriteDirectory();
    uint32_t directorySectors = uint32_t((entries.size() * ENTRY_SIZE + sectorSize - 1) / sectorSize);
    WriteFat(miniFatChain, miniFatSectors, directory, directorySectors);
    out->Finish();
  }

  // The FAT covers every sector, its own and the DIFAT's included; the first
  // 109 FAT sectors are listed in the header, the others in DIFAT sectors.
  void WriteFat(Chain miniFatChain, uint32_t miniFatSectors, Chain directory, uint32_t directorySectors) {
    uint32_t ids = sectorSize / 4;
    uint64_t used = fat.size();
    uint64_t fatCount = 1, difatCount = 0;
    for (uint64_t previous = 0; previous != fatCount;) {
      previous = fatCount;
      fatCount = (used + fatCount + difatCount + ids - 1) / ids;
      difatCount = fatCount > Header::DIFAT_COUNT ? (fatCount - Header::DIFAT_COUNT + ids - 2) / (ids - 1) : 0;
    }
    if (used + fatCount + difatCount >= END_OF_CHAIN - 1)
      Misuse("the compound file would hold more sectors than the format can number");
    uint32_t firstFat = uint32_t(used), firstDifat = uint32_t(used + fatCount);
    fat.resize(used + fatCount + difatCount, FREE_SECT);
    for (uint32_t i = 0; i < fatCount; ++i)
      fat[firstFat + i] = FAT_SECT;
    for (uint32_t i = 0; i < difatCount; ++i)
      fat[firstDifat + i] = DIF_SECT;
    std::vector<uint32_t> table = fat;
    Chain ignored = WriteTable(std::move(table));
    (void)ignored;
    std::vector<uint32_t> difat;
    for (uint32_t d = 0; d < difatCount; ++d) {
      for (uint32_t k = 0; k < ids - 1; ++k) {
        uint64_t index = Header::DIFAT_COUNT + uint64_t(d) * (ids - 1) + k;
        difat.push_back(index < fatCount ? firstFat + uint32_t(index) : FREE_SECT);
      }
      difat.push_back(d + 1 < difatCount ? firstDifat + d + 1 : END_OF_CHAIN);
    }
    std::vector<unsigned char> bytes(difat.size() * 4);
    for (size_t i = 0; i < difat.size(); ++i)
      Le32(&bytes[4 * i], difat[i]);
    if (!bytes.empty())
      out->Append(bytes.data(), uint32_t(bytes.size()));

    unsigned char header[512] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    Le16(header + 0x18, 0x3E);
    Le16(header + 0x1A, options.version);
    Le16(header + Header::BYTE_ORDER_MARK, 0xFFFE);
    Le16(header + Header::SECTOR_SHIFT, shift);
    Le16(header + Header::MINI_SECTOR_SHIFT, 6);
    Le32(header + 0x28, options.version == 4 ? directorySectors : 0);
    Le32(header + Header::FAT_SECTOR_COUNT, uint32_t(fatCount));
    Le32(header + Header::FIRST_DIRECTORY_SECTOR, directory.first);
    Le32(header + Header::MINI_STREAM_CUTOFF, MINI_STREAM_CUTOFF);
    Le32(header + Header::FIRST_MINIFAT_SECTOR, miniFatChain.first);
    Le32(header + Header::MINIFAT_SECTOR_COUNT, miniFatSectors);
    Le32(header + Header::FIRST_DIFAT_SECTOR, difatCount ? firstDifat : END_OF_CHAIN);
    Le32(header + 0x48, uint32_t(difatCount));
    for (uint32_t i = 0; i < Header::DIFAT_COUNT; ++i)
      Le32(header + Header::DIFAT + 4 * i, i < fatCount ? firstFat + i : FREE_SECT);
    out->WriteHeader(header, sizeof header);
  }

  Entry& At(uint32_t id) {
    if (committed)
      Misuse("the compound file is already committed");
    if (id >= entries.size())
      Misuse("no entry has this id");
    return entries[id];
  }

  std::unique_ptr<Output> out;
  Options options;
  unsigned shift;
  uint32_t sectorSize;
  std::vector<Entry> entries;
  std::vector<uint32_t> fat, miniFat;
  Chain miniChain;
  std::vector<unsigned char> miniStaging;
  // The open stream.
  uint32_t open = NO_ENTRY;
  uint32_t openSize = 0;
  bool regular = false;
  Chain stream;
  std::vector<unsigned char> head, staging;
  uint32_t otherNames = 0;
  bool committed = false;
};

StorageWriter::StorageWriter(Buffer& out, Options const& options)
    : m(new Impl(std::make_unique<BufferOutput>(out), options)) {}

StorageWriter::StorageWriter(std::string const& path, Options const& options)
    : m(new Impl(std::make_unique<FileOutput>(path), options)) {}

StorageWriter::~StorageWriter() = default;

uint32_t StorageWriter::AddStorage(uint32_t parent, ZEB::WString const& name) {
  return m->Add(parent, name, TYPE_STORAGE);
}

uint32_t StorageWriter::AddStream(uint32_t parent, ZEB::WString const& name, void const* data, uint32_t size) {
  uint32_t id = BeginStream(parent, name);
  WriteStream(data, size);
  EndStream();
  return id;
}

uint32_t StorageWriter::BeginStream(uint32_t parent, ZEB::WString const& name) {
  uint32_t id = m->Add(parent, name, TYPE_STREAM);
  m->open = id;
  m->openSize = 0;
  m->regular = false;
  m->stream = Impl::Chain();
  return id;
}

void StorageWriter::WriteStream(void const* data, uint32_t size) {
  m->Write(static_cast<unsigned char const*>(data), size);
}

void StorageWriter::EndStream() { m->End(); }

void StorageWriter::SetClassId(uint32_t id, GUID const& classId) {
  unsigned char* at = m->At(id).classId;
  Le32(at, classId.Data1);
  Le16(at + 4, classId.Data2);
  Le16(at + 6, classId.Data3);
  std::memcpy(at + 8, classId.Data4, 8);
}

void StorageWriter::SetStateBits(uint32_t id, uint32_t bits) { m->At(id).state = bits; }

void StorageWriter::SetTimes(uint32_t id, uint64_t created, uint64_t modified) {
  m->At(id).created = created;
  m->At(id).modified = modified;
}

void StorageWriter::Commit() { m->Commit(); }

uint32_t StorageWriter::OtherWritersNames() const noexcept { return m->otherNames; }

int StorageWriter::CompareNames(ZEB::WString const& a, ZEB::WString const& b) noexcept {
  if (a.size() != b.size())
    return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = Upper(a[i]), y = Upper(b[i]);
    if (x != y)
      return x < y ? -1 : 1;
  }
  return 0;
}

} // namespace ZEBFile::OLE
