#include "ZEB/Messages.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

std::atomic<int> ZEBMessagesInit::ms_Cnt{0};

namespace {

using Key = std::pair<std::string, unsigned>;
// Texts are shared with the callers of Find: replacing or freeing an entry
// never destroys a text still held.
using Text = std::shared_ptr<ZEB::WString const>;
using Texts = std::map<Key, Text>;

struct Registry {
  std::mutex lock;
  std::unique_ptr<Texts> texts;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// Reads a catalog: a 32-bit entry count, then entries of module name
// (32-bit length, bytes), id (32 bits), two constants (32 and 8 bits), text
// (32-bit byte length, UTF-16LE) and a 6-byte trailer; little-endian, packed.
class CatalogReader {
public:
  CatalogReader(void const* table, std::size_t size) : m_At(static_cast<unsigned char const*>(table)), m_Left(size) {}

  bool U32(uint32_t& value) {
    unsigned char const* bytes = Take(4);
    if (!bytes)
      return false;
    value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    return true;
  }
  unsigned char const* Take(std::size_t count) {
    if (count > m_Left)
      return nullptr;
    unsigned char const* bytes = m_At;
    m_At += count;
    m_Left -= count;
    return bytes;
  }
  bool AtEnd() const { return m_Left == 0; }

private:
  unsigned char const* m_At;
  std::size_t m_Left;
};

bool ParseEntry(CatalogReader& reader, Texts& into) {
  uint32_t moduleLength, id, constant, textLength;
  unsigned char const* module;
  unsigned char const* text;
  if (!reader.U32(moduleLength) || !(module = reader.Take(moduleLength)) || !reader.U32(id) ||
      !reader.U32(constant) || !reader.Take(1) || !reader.U32(textLength) || textLength % 2 != 0 ||
      !(text = reader.Take(textLength)) || !reader.Take(6))
    return false;
  ZEB::WString units(textLength / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(text[2 * i] | text[2 * i + 1] << 8);
  into[Key(std::string(reinterpret_cast<char const*>(module), moduleLength), id)] =
      std::make_shared<ZEB::WString const>(std::move(units));
  return true;
}

} // namespace

void ZEBMessages::Init() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  if (!registry.texts)
    registry.texts.reset(new Texts);
}

bool ZEBMessages::Load(void const* table, std::size_t size, char const*) {
  if (!table)
    return false;
  CatalogReader reader(table, size);
  uint32_t count;
  if (!reader.U32(count))
    return false;
  Texts parsed;
  for (uint32_t i = 0; i < count; ++i)
    if (!ParseEntry(reader, parsed))
      return false;
  if (!reader.AtEnd())
    return false;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  if (!registry.texts)
    registry.texts.reset(new Texts);
  for (auto& entry : parsed)
    (*registry.texts)[entry.first] = std::move(entry.second);
  return true;
}

void ZEBMessages::Free() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  registry.texts.reset();
}

std::shared_ptr<ZEB::WString const> ZEBMessages::Find(char const* module, unsigned id) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  if (!registry.texts || !module)
    return nullptr;
  auto found = registry.texts->find(Key(module, id));
  return found == registry.texts->end() ? nullptr : found->second;
}
