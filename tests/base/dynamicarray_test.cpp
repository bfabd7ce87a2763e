#include <gtest/gtest.h>

#include "base/dynamicarrayclass.h"

namespace {

struct Counted {
  explicit Counted(int value, int *destroyed) : value(value), destroyed(destroyed) {}
  ~Counted() { ++*destroyed; }
  int value;
  int *destroyed;
};

TEST(DynamicPtrArrayClass, EmptyListThrowsOnAnyAccess) {
  DynamicPtrArrayClass<int> list;
  EXPECT_EQ(list.HighIndex(), 0);
  try {
    list.At(3);
    FAIL() << "no exception";
  } catch (const DynArrayOutOfRange &error) {
    EXPECT_EQ(error.index, 3);
    EXPECT_EQ(error.count, 0);
  }
  EXPECT_THROW(list.At(-1), std::out_of_range);
  list.Delete(0); // nothing to delete
  EXPECT_EQ(list.Count(), 0);
}

TEST(DynamicPtrArrayClass, AtClampsAndDeleteDestroysOnlyTheRemovedElement) {
  int destroyed = 0;
  {
    DynamicPtrArrayClass<Counted> list;
    for (int i = 0; i < 3; ++i)
      list.Add(new Counted(i, &destroyed));
    EXPECT_EQ(list.HighIndex(), 2);
    EXPECT_EQ(list.At(10)->value, 2);
    EXPECT_EQ(list.At(-4)->value, 0);

    list.Delete(1);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.At(1)->value, 2);
    list.Delete(2);
    list.Delete(-1);
    EXPECT_EQ(list.Count(), 2);
    list.DeleteAll();
    EXPECT_EQ(list.Count(), 0);
  }
  EXPECT_EQ(destroyed, 3);
}

} // namespace
