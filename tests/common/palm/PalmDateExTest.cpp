// What only the 4.1.4 datebook has: the record count kept in its reserved header bytes and
// records that own their extension blobs. What both layouts share is tested once, against
// each, in DatebookLayoutTest and PalmCommSaveTest.
#include "common/palm/PalmDateEx.h"

#include <gtest/gtest.h>

#include "DatebookBuilder.h"
#include "PalmTestSupport.h"

namespace {

TEST(PmDateExUtilTest, ThreeHundredRecordsSetTheCountBytes) {
  dbtest::TempFolder folder;
  const std::string path = folder.File("datebook.dat");
  dbtest::Datebook414 file;
  for (uint32_t i = 0; i < 300; ++i) file.records.push_back(dbtest::Record414().Build());
  ASSERT_TRUE(dbtest::WriteFileBytes(path, file.Build()));
  PmDateExUtil db(path.c_str());
  ASSERT_TRUE(db.Save());
  const dbtest::Bytes saved = dbtest::ReadFileBytes(path);
  // Reserved 1 starts after the 5-byte prefix, 19-byte text and 4-byte version.
  EXPECT_EQ(saved[28 + 12], 0x2C);
  EXPECT_EQ(saved[28 + 13], 0x11);
}

TEST(PmDateExDataMgrTest, KeepsItsOwnCopyOfBlobData) {
  PmDateExDataMgr mgr;
  BYTE data[3] = {1, 2, 3};
  PmDateExRecord rec{};
  rec.blobs[1] = PmBlob{65, 1, 0, 0, 3, data};
  ASSERT_TRUE(mgr.Add(&rec));
  data[0] = 99;
  const PmDateExRecord* pCopy = mgr.GetAt(0);
  ASSERT_NE(pCopy, nullptr);
  EXPECT_NE(pCopy->blobs[1].pData, data);
  EXPECT_EQ(pCopy->blobs[1].pData[0], 1);
  EXPECT_EQ(mgr.First(), pCopy);
  EXPECT_EQ(mgr.Next(), nullptr);
  EXPECT_EQ(mgr.GetAt(1), nullptr);
  mgr.Clear();
  EXPECT_EQ(mgr.GetCount(), 0);
}

}  // namespace
