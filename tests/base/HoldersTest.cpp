// Memory pool and allocation function, growable arrays and case-insensitive
// comparison.
#include <gtest/gtest.h>

#include <new>
#include <vector>

#include "ZEB/FastVector.h"
#include "ZEB/NoCase.h"
#include "ZEBMem/MemoryPool.h"

TEST(Allocation, VectorsGrowFromSixteenAndAnEmptyPoolGivesNullOrThrows) {
  struct Object : ZEBMem::PoolObject {
    int value = 1;
  };
  ZEB::FastVector<uint32_t> vector;
  std::vector<uint32_t> capacities;
  for (uint32_t i = 0; i < 1250; ++i) {
    if (vector.Count() == vector.Capacity())
      capacities.push_back(ZEB::FastVector<uint32_t>::NextCapacity(vector.Count()));
    vector.PushBack(i);
    ASSERT_EQ(vector.Capacity(), capacities.back());
  }
  EXPECT_EQ(capacities, (std::vector<uint32_t>{16, 32, 64, 128, 256, 512, 640, 800, 1000, 1250}));
  ZEBMem::MemoryPool::FailAfter(0);
  EXPECT_EQ(ZEBMem::AllocateOrThrow(0), nullptr) << "zero bytes never reach the pool";
  static int handlerCalls = 0;
  std::new_handler previous = std::set_new_handler([] { ++handlerCalls; });
  EXPECT_EQ(ZEBMem::Allocate(64), nullptr);
  std::set_new_handler(previous);
  EXPECT_EQ(handlerCalls, 1) << "the new handler is called once";
  EXPECT_THROW(ZEBMem::AllocateOrThrow(16), std::bad_alloc);
  EXPECT_THROW(new Object, std::bad_alloc);
  EXPECT_EQ(new (std::nothrow) Object, nullptr);
  EXPECT_THROW(vector.PushBack(1250), std::bad_alloc);
  ZEBMem::MemoryPool::FailAfter(-1);
  EXPECT_EQ(vector.Count(), 1250u) << "a failed growth keeps the entries";
  for (uint32_t i = 0; i < 1250; ++i)
    ASSERT_EQ(vector[i], i);
}

TEST(NoCase, OrdersAndComparesIgnoringCase) {
  ZEB::NoCase less;
  EXPECT_FALSE(less("ABC", "abc") || less("abc", "ABC"));
  EXPECT_TRUE(less("abc", "ABD") && less("AB", "abc"));
  EXPECT_TRUE(ZEB::NoCase::IsEqual("Title", "TITLE") && !ZEB::NoCase::IsEqual("Title", "Titles"));
  EXPECT_EQ(ZEB::ToLower("MiXeD 123 \xC9"), "mixed 123 \xC9");
  // Wide text: Latin, Greek and Cyrillic letters fold; other characters do not.
  EXPECT_TRUE(ZEB::WNoCase::IsEqual(u"OWNER \u00C9T\u00C9 \u0391\u03A9", u"owner \u00E9t\u00E9 \u03B1\u03C9"));
  EXPECT_TRUE(ZEB::WNoCase::IsEqual(u"\u0412\u043B\u0430\u0434\u0435\u043B\u0435\u0446\u0401",
                                    u"\u0432\u041B\u0410\u0414\u0415\u041B\u0415\u0426\u0451"));
  EXPECT_TRUE(ZEB::WNoCase::IsEqual(u"\u0104\u0141\u0179\u017B", u"\u0105\u0142\u017A\u017C"));
  EXPECT_FALSE(ZEB::WNoCase::IsEqual(u"\u00D7", u"\u00F7") || ZEB::WNoCase::IsEqual(u"\u0131", u"I") ||
               ZEB::WNoCase::IsEqual(u"\u017F", u"S") || ZEB::WNoCase::IsEqual(u"a", u"b"));
}
