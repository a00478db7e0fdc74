// The list's cursor rules: every collection of the program iterates through this one cursor,
// so an off-by-one after a removal skips or repeats records.
#include "common/misc/CxList.h"

#include <gtest/gtest.h>

namespace {

class CxListTest : public ::testing::Test {
 protected:
  void Fill(int nCount) {
    for (int i = 0; i < nCount; i++) {
      ASSERT_TRUE(list.Add(&values[i]));
    }
  }
  void ExpectIndexesInOrder() {
    INT nExpected = 0;
    void* pFirst = list.GetFirst();
    for (void* p = pFirst; p != nullptr; p = list.GetNext()) {
      const CxListContainer* pContainer = list.Find(p);
      ASSERT_NE(nullptr, pContainer);
      EXPECT_EQ(nExpected, pContainer->nIndex);
      nExpected++;
    }
    EXPECT_EQ(static_cast<INT>(list.GetCount()), nExpected);
  }

  int values[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  CxList list;
};

TEST_F(CxListTest, EmptyListReturnsNullEverywhere) {
  EXPECT_EQ(nullptr, list.GetNext());
  EXPECT_EQ(nullptr, list.GetPrev());
  EXPECT_EQ(nullptr, list.GetFirst());
  EXPECT_EQ(nullptr, list.GetLast());
  EXPECT_EQ(nullptr, list.GetAt(0));
}

TEST_F(CxListTest, OneElementIteratesOnce) {
  Fill(1);
  EXPECT_EQ(&values[0], list.GetFirst());
  EXPECT_EQ(nullptr, list.GetNext());
}

TEST_F(CxListTest, NullElementIsRefused) {
  Fill(2);
  EXPECT_FALSE(list.Add(nullptr));
  EXPECT_EQ(2u, list.GetCount());
}

TEST_F(CxListTest, RemovingTheMiddleRenumbersAndKeepsThePosition) {
  Fill(3);
  ASSERT_TRUE(list.Remove(&values[1], false));
  EXPECT_EQ(2u, list.GetCount());
  // The cursor stands on the element that followed, at the removed one's position.
  EXPECT_EQ(&values[0], list.GetPrev());
  EXPECT_EQ(&values[2], list.GetAt(1));
  ExpectIndexesInOrder();
}

TEST_F(CxListTest, RemovingTheLastMovesTheCursorToTheNewLast) {
  Fill(3);
  ASSERT_TRUE(list.Remove(&values[2], false));
  EXPECT_EQ(nullptr, list.GetNext());
  EXPECT_EQ(&values[0], list.GetPrev());
}

TEST_F(CxListTest, RemovingTheOnlyElementClearsTheCursor) {
  Fill(1);
  ASSERT_TRUE(list.Remove(&values[0], false));
  EXPECT_EQ(0u, list.GetCount());
  EXPECT_EQ(nullptr, list.GetNext());
  ASSERT_TRUE(list.Add(&values[1]));
  EXPECT_EQ(&values[1], list.GetAt(0));
}

TEST_F(CxListTest, RemoveOfAnUnknownPointerFails) {
  Fill(2);
  EXPECT_FALSE(list.Remove(&values[5], false));
  EXPECT_FALSE(list.Remove(nullptr, false));
  EXPECT_EQ(2u, list.GetCount());
}

TEST_F(CxListTest, GetAtWalksBothWaysFromTheCursor) {
  Fill(8);
  EXPECT_EQ(&values[6], list.GetAt(6));
  EXPECT_EQ(&values[7], list.GetNext());
  EXPECT_EQ(&values[2], list.GetAt(2));
  EXPECT_EQ(&values[1], list.GetPrev());
  EXPECT_EQ(nullptr, list.GetAt(8));
  // A refused index leaves the cursor where it was.
  EXPECT_EQ(&values[2], list.GetNext());
}

TEST_F(CxListTest, AddingWhileIteratingEndsAtTheAddedElement) {
  Fill(3);
  EXPECT_EQ(&values[0], list.GetFirst());
  ASSERT_TRUE(list.Add(&values[3]));
  EXPECT_EQ(nullptr, list.GetNext());
  EXPECT_EQ(&values[2], list.GetPrev());
}

int g_nFreed = 0;
void CountFree(void* p) {
  g_nFreed++;
  delete static_cast<int*>(p);
}

TEST(CxListFree, FreesThroughTheFreeFunctionOnlyWhenAsked) {
  g_nFreed = 0;
  {
    CxList list;
    list.SetFreeFunc(CountFree);
    int* pA = new int(1);
    int* pB = new int(2);
    int* pC = new int(3);
    list.Add(pA);
    list.Add(pB);
    list.Add(pC);
    ASSERT_TRUE(list.Remove(pA, true));
    EXPECT_EQ(1, g_nFreed);
    ASSERT_TRUE(list.Remove(pB, false));
    EXPECT_EQ(1, g_nFreed);
    delete pB;
    list.RemoveAll(true);
    EXPECT_EQ(2, g_nFreed);
    EXPECT_EQ(0u, list.GetCount());
  }
  EXPECT_EQ(2, g_nFreed);
}

}  // namespace
