// Memory pool and allocation function, growable arrays, holders and
// case-insensitive comparison.
#include <gtest/gtest.h>

#include <new>

#include "ZEB/FastVector.h"
#include "ZEB/Handle.h"
#include "ZEB/NoCase.h"
#include "ZEB/SmartPtr.h"
#include "ZEBMem/MemoryPool.h"

namespace {
struct PoolFailure {
  explicit PoolFailure(long successes) { ZEBMem::MemoryPool::FailAfter(successes); }
  ~PoolFailure() { ZEBMem::MemoryPool::FailAfter(-1); }
};

int g_HandlerCalls = 0;
void CountingHandler() { ++g_HandlerCalls; }
} // namespace

TEST(Allocation, ZeroBytesGiveNullWithoutThePool) {
  PoolFailure failing(0);
  EXPECT_EQ(ZEBMem::Allocate(0), nullptr);
  EXPECT_EQ(ZEBMem::AllocateOrThrow(0), nullptr);
}

TEST(Allocation, EmptyPoolCallsTheNewHandlerOnceAndGivesNull) {
  PoolFailure failing(0);
  g_HandlerCalls = 0;
  std::new_handler previous = std::set_new_handler(CountingHandler);
  void* block = ZEBMem::Allocate(64);
  std::set_new_handler(previous);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(g_HandlerCalls, 1);
}

TEST(Allocation, CheckedAllocationAndPoolObjectsThrowInsteadOfGivingNull) {
  struct Object : ZEBMem::PoolObject {
    int value = 1;
  };
  PoolFailure failing(0);
  EXPECT_THROW(ZEBMem::AllocateOrThrow(16), std::bad_alloc);
  EXPECT_THROW(new Object, std::bad_alloc);
  EXPECT_EQ(new (std::nothrow) Object, nullptr);
}

TEST(Allocation, FreeOfNullDoesNothing) { ZEBMem::Free(nullptr); }

TEST(FastVector, CapacityDoublesFromSixteenThenGrowsByAQuarter) {
  ZEB::FastVector<uint32_t> vector;
  std::vector<uint32_t> capacities;
  for (uint32_t i = 0; i < 1100; ++i) {
    if (vector.Count() == vector.Capacity())
      capacities.push_back(ZEB::FastVector<uint32_t>::NextCapacity(vector.Count()));
    vector.PushBack(i);
    ASSERT_EQ(vector.Capacity(), capacities.back());
  }
  EXPECT_EQ(capacities, (std::vector<uint32_t>{16, 32, 64, 128, 256, 512, 640, 800, 1000, 1250}));
  for (uint32_t i = 0; i < 1100; ++i)
    ASSERT_EQ(vector[i], i);
}

TEST(FastVector, CopiesAreIndependent) {
  ZEB::PointerVector<int> pointers;
  int a = 1, b = 2;
  pointers.PushBack(&a);
  ZEB::PointerVector<int> copy(pointers);
  copy.PushBack(&b);
  copy[0] = &b;
  EXPECT_EQ(pointers.Count(), 1u);
  EXPECT_EQ(pointers[0], &a);
  EXPECT_EQ(copy.Count(), 2u);
}

TEST(FastVector, GrowthFailureKeepsTheEntries) {
  ZEB::FastVector<int> vector;
  for (int i = 0; i < 16; ++i)
    vector.PushBack(i);
  PoolFailure failing(0);
  EXPECT_THROW(vector.PushBack(16), std::bad_alloc);
  EXPECT_EQ(vector.Count(), 16u);
  EXPECT_EQ(vector[15], 15);
}

namespace {
struct Counted : ZEB::SPRefCounter {
  explicit Counted(int* destroyed) : destroyed(destroyed) {}
  ~Counted() override { ++*destroyed; }
  int* destroyed;
};

struct Plain {
  explicit Plain(int* destroyed) : destroyed(destroyed) {}
  virtual ~Plain() { ++*destroyed; }
  int* destroyed;
};
} // namespace

TEST(SmartPtr, LastHolderDestroysTheObject) {
  int destroyed = 0;
  {
    ZEB::SmartPtr<Counted> first(new Counted(&destroyed));
    EXPECT_EQ(first->RefCountValue(), 1);
    {
      ZEB::SmartPtr<Counted> second = first;
      EXPECT_EQ(first->RefCountValue(), 2);
      first = ZEB::SmartPtr<Counted>();
      EXPECT_FALSE(first);
    }
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 1);
  ZEB::SmartPtr<Counted> empty(nullptr);
  EXPECT_FALSE(empty);
}

TEST(RefCount, SharedCounterDeletesOnLastRelease) {
  int destroyed = 0;
  ZEB::RefCount<Plain> first(new Plain(&destroyed));
  ZEB::RefCount<Plain> second(first);
  ZEB::RefCount<Plain> third;
  third = second;
  first = ZEB::RefCount<Plain>(new Plain(&destroyed));
  second = ZEB::RefCount<Plain>();
  EXPECT_EQ(destroyed, 0);
  third = ZEB::RefCount<Plain>();
  EXPECT_EQ(destroyed, 1);
  first = ZEB::RefCount<Plain>();
  EXPECT_EQ(destroyed, 2);
}

TEST(Handle, EmptyHandlesAreInvalidAndCloseQuietly) {
  ZEB::Handle none;
  EXPECT_EQ(none.Get(), ZEB::Handle::NONE);
  EXPECT_FALSE(none.IsValid());
  EXPECT_TRUE(none.Close());
  ZEB::Handle zero(nullptr);
  EXPECT_FALSE(zero.IsValid());
  ZEB::FindHandle find;
  EXPECT_TRUE(find.Close());
}

TEST(NoCase, OrdersAndComparesIgnoringAsciiCase) {
  ZEB::NoCase less;
  EXPECT_FALSE(less("ABC", "abc"));
  EXPECT_FALSE(less("abc", "ABC"));
  EXPECT_TRUE(less("abc", "ABD"));
  EXPECT_TRUE(less("AB", "abc"));
  EXPECT_TRUE(ZEB::NoCase::IsEqual("Title", "TITLE"));
  EXPECT_FALSE(ZEB::NoCase::IsEqual("Title", "Titles"));
  EXPECT_EQ(ZEB::ToLower("MiXeD 123 \xC9"), "mixed 123 \xC9");
}

TEST(WNoCase, FoldsLatinGreekAndCyrillicLetters) {
  EXPECT_TRUE(ZEB::WNoCase::IsEqual(u"OWNER", u"owner"));
  EXPECT_TRUE(ZEB::WNoCase::IsEqual(u"\u00C9T\u00C9", u"\u00E9t\u00E9"));
  EXPECT_TRUE(ZEB::WNoCase::IsEqual(u"\u0412\u043B\u0430\u0434\u0435\u043B\u0435\u0446",
                                    u"\u0432\u041B\u0410\u0414\u0415\u041B\u0415\u0426"));
  EXPECT_TRUE(ZEB::WNoCase::IsEqual(u"\u0401", u"\u0451"));
  EXPECT_TRUE(ZEB::WNoCase::IsEqual(u"\u0104\u0141", u"\u0105\u0142"));
  EXPECT_FALSE(ZEB::WNoCase::IsEqual(u"\u00D7", u"\u00F7"));
  EXPECT_FALSE(ZEB::WNoCase::IsEqual(u"a", u"b"));
}
