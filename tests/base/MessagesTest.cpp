// The catalog registry and message formatting, in a process where no module
// of the family has registered anything.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "ZEB/Exception.h"
#include "ZEB/MessageInfo.h"
#include "ZEB/Messages.h"

namespace {

// A catalog in the registry's binary layout: a count, then per entry the
// module, id, a type, a flag, the UTF-16 text and six bytes of padding.
std::vector<unsigned char> Catalog(std::string const& module, std::vector<std::u16string> const& texts) {
  std::vector<unsigned char> bytes;
  auto put = [&bytes](uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
      bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
  };
  put(texts.size(), 4);
  for (uint32_t id = 0; id < texts.size(); ++id) {
    put(module.size(), 4);
    bytes.insert(bytes.end(), module.begin(), module.end());
    put(id, 4), put(7, 4), put(1, 1), put(texts[id].size() * 2, 4);
    for (char16_t c : texts[id])
      put(c, 2);
    put(0, 6);
  }
  return bytes;
}

class Registry : public ::testing::Test {
protected:
  void SetUp() override { ZEBMessages::Init(); }
  void TearDown() override { ZEBMessages::Free(); }
};

} // namespace

TEST_F(Registry, MalformedCatalogsRegisterNothing) {
  using Bytes = std::vector<unsigned char>;
  struct Case {
    char const* what;
    void (*patch)(Bytes&);
  } const cases[] = {
      {"cut in the last entry", [](Bytes& b) { b.pop_back(); }},
      {"trailing byte", [](Bytes& b) { b.push_back(0); }},
      {"count larger than the entries", [](Bytes& b) { b[0] = 3; }},
      {"huge module length", [](Bytes& b) { b[7] = 0x7F; }},
      {"odd text length", [](Bytes& b) { // the last text announced as 5 bytes, all 5 present
         b[b.size() - 16] = 5;
         b.erase(b.end() - 7);
       }},
  };
  for (auto const& c : cases) {
    Bytes bytes = Catalog("Mod", {u"zero", u"one"});
    c.patch(bytes);
    EXPECT_FALSE(ZEBMessages::Load(bytes.data(), bytes.size(), "Mod.h")) << c.what;
    EXPECT_EQ(ZEBMessages::Find("Mod", 0), nullptr) << c.what;
  }
}

TEST_F(Registry, FormattingFillsPlaceholdersInOrderAndAddsTheSystemError) {
  auto catalog = Catalog("Mod", {u"Copy %1 to %2.", u"%2 before %1, %3 stays"});
  ASSERT_TRUE(ZEBMessages::Load(catalog.data(), catalog.size(), "Mod.h"));
  auto info = [](char const* module, uint32_t id) {
    ZEB::SmartPtr<ZEB::MessageInfo> made(new ZEB::MessageInfo(module, id, "src/Here", 42));
    made->AddParameter(id ? "A" : "C:\\a.txt");
    made->AddParameter(std::u16string(id ? u"B" : u"\u0416.txt"));
    made->SetLastError(id ? 0 : 5);
    return made;
  };
  ZEB::BaseException e(info("Mod", 0));
  EXPECT_EQ(e.What(), u"Copy C:\\a.txt to \u0416.txt. (system error 5)");
  EXPECT_STREQ(e.what(), "Copy C:\\a.txt to \xD0\x96.txt. (system error 5)");
  EXPECT_EQ(ZEB::BaseException(info("Mod", 1)).What(), u"B before A, %3 stays");
  EXPECT_EQ(ZEB::BaseException(info("Nowhere", 9)).What(), u"Nowhere message 9: A, B") << "an unknown message";
  ZEBMessages::Free();
  EXPECT_EQ(ZEB::BaseException(info("Mod", 1)).What(), u"Mod message 1: A, B") << "a freed catalog";
  ZEB::BaseException fromNull(static_cast<char16_t const*>(nullptr));
  EXPECT_TRUE(fromNull.What().empty() && !fromNull.Info() && fromNull.what() == std::string());
}

// Two threads load and unload a module (registering its catalog) over and
// over while this one reads a text: a text found stays whole while it is held,
// even when the last module frees the registry, and the counter loses nothing.
TEST(RegistryThreads, LookupsStayValidWhileModulesLoadAndUnload) {
  std::u16string const text(300, u'x');
  auto catalog = Catalog("Mod", {u"zero", text});
  auto module = [&catalog] {
    for (int i = 0; i < 1000; ++i) {
      if (ZEBMessagesInit::ms_Cnt++ == 0)
        ZEBMessages::Init();
      ZEBMessages::Load(catalog.data(), catalog.size(), "Mod.h");
      if (--ZEBMessagesInit::ms_Cnt == 0)
        ZEBMessages::Free();
    }
  };
  std::atomic<bool> done{false};
  std::thread first(module);
  std::thread second([&] {
    module();
    done = true;
  });
  int broken = 0;
  while (!done)
    if (auto found = ZEBMessages::Find("Mod", 1))
      broken += *found != text;
  first.join();
  second.join();
  EXPECT_EQ(broken, 0);
  EXPECT_EQ(ZEBMessagesInit::ms_Cnt, 0);
  ZEBMessages::Free();
}
