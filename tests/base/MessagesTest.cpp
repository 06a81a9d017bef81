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
  auto u32 = [&](std::size_t v) {
    for (int i = 0; i < 4; ++i)
      bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  u32(texts.size());
  for (uint32_t id = 0; id < texts.size(); ++id) {
    u32(module.size());
    bytes.insert(bytes.end(), module.begin(), module.end());
    u32(id), u32(7), bytes.push_back(1), u32(texts[id].size() * 2);
    for (char16_t c : texts[id])
      bytes.push_back(static_cast<unsigned char>(c & 0xFF)), bytes.push_back(static_cast<unsigned char>(c >> 8));
    bytes.insert(bytes.end(), 6, 0);
  }
  return bytes;
}

class Registry : public ::testing::Test {
protected:
  void SetUp() override { ZEBMessages::Init(); }
  void TearDown() override { ZEBMessages::Free(); }
};

} // namespace

TEST_F(Registry, LoadedTextsAreFoundByModuleAndIdUntilFreed) {
  auto catalog = Catalog("Mod", {u"zero", u"one \u00E9"});
  ASSERT_TRUE(ZEBMessages::Load(catalog.data(), catalog.size(), "Mod.h"));
  ASSERT_NE(ZEBMessages::Find("Mod", 1), nullptr);
  EXPECT_EQ(*ZEBMessages::Find("Mod", 1), u"one \u00E9");
  EXPECT_FALSE(ZEBMessages::Find("Mod", 2) || ZEBMessages::Find("Other", 0));
  ZEBMessages::Free();
  EXPECT_EQ(ZEBMessages::Find("Mod", 0), nullptr);
}

TEST_F(Registry, MalformedCatalogsRegisterNothing) {
  auto good = Catalog("Mod", {u"zero", u"one"});
  auto changed = [&](std::size_t at, unsigned char value, std::size_t cut = 0) {
    auto bytes = good;
    if (at < bytes.size())
      bytes[at] = value;
    bytes.resize(bytes.size() - cut);
    return bytes;
  };
  // One entry with a text of 5 bytes, its bytes all present.
  auto odd = Catalog("Mod", {u"abc"});
  odd[4 + 4 + 3 + 4 + 4 + 1] = 5;
  odd.erase(odd.end() - 7);
  struct Case {
    char const* what;
    std::vector<unsigned char> bytes;
  } const cases[] = {
      {"empty", {}},
      {"cut in the last entry", changed(good.size(), 0, 1)},
      {"trailing byte", [&] { auto b = good; b.push_back(0); return b; }()},
      {"count larger than the entries", changed(0, 3)},
      {"huge module length", changed(7, 0x7F)},
      {"odd text length", odd},
  };
  for (auto const& c : cases) {
    EXPECT_FALSE(ZEBMessages::Load(c.bytes.data(), c.bytes.size(), "Mod.h")) << c.what;
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
  EXPECT_EQ(e.Info()->Module() + e.Info()->File() + std::to_string(e.Info()->Line() + e.Info()->LastError()),
            "Modsrc/Here47");
  EXPECT_EQ(e.Info()->Parameters().size(), 2u);
  EXPECT_EQ(ZEB::BaseException(info("Mod", 1)).What(), u"B before A, %3 stays");
  EXPECT_EQ(ZEB::BaseException(info("Nowhere", 9)).What(), u"Nowhere message 9: A, B") << "an unknown message";
  // Exceptions of a text have no information; nothing else registered a catalog.
  EXPECT_EQ(ZEBMessagesInit::ms_Cnt, 0);
  ZEB::BaseException fromText(u"plain"), fromNull(static_cast<char16_t const*>(nullptr));
  EXPECT_EQ(fromText.What(), u"plain");
  EXPECT_FALSE(fromText.Info());
  EXPECT_TRUE(fromNull.What().empty());
  EXPECT_STREQ(fromNull.what(), "");
}

// ---- Modules loading and unloading on other threads ------------------------------------

// Two threads load and unload a module over and over, as a module registers
// its catalog at load, while this one looks a text up and reads it: a text
// found stays whole while it is held, even when the last module frees the
// registry meanwhile, and the shared counter loses no registration.
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
