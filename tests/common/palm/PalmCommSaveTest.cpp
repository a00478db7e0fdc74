// What both datebook layouts promise about the user's file, as one typed suite: a damaged
// file does not load (and so is never saved shorter), a save never follows a planted link,
// replaces a linked file in its own folder with its mode, never overwrites another run's or
// another program's change and needs write access only to save. What a save cut at any of its
// operations leaves is the business of the fault tests of every save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "DatebookLayouts.h"
#include "tests/support/files/FileTestSupport.h"

namespace fs = std::filesystem;
using dbtest::Bytes;

namespace {

template <typename Layout>
class DatebookFileTest : public dbtest::DatebookFixture<Layout> {};
TYPED_TEST_SUITE(DatebookFileTest, dbtest::Layouts, dbtest::LayoutNames);

TYPED_TEST(DatebookFileTest, DamagedFileDoesNotLoadAndKeepsItsBackup) {
  const Bytes whole = TypeParam::Build(30);
  const Bytes backup = TypeParam::Build(40);
  ASSERT_TRUE(dbtest::WriteFileBytes(this->m_Path + ".bak", backup));
  // One changed byte (a field's type code, ten records from the end), and the file cut in
  // half.
  Bytes changed = whole;
  changed[whole.size() - 10 * TypeParam::RecordBytes(0).size()] ^= 0x5A;
  const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
  for (const Bytes* pDamaged : std::initializer_list<const Bytes*>{&changed, &cut}) {
    this->Write(*pDamaged);
    typename TestFixture::Util db(this->m_Path.c_str());
    EXPECT_FALSE(db.IsLoaded());
    EXPECT_EQ(db.GetLastFailure().nCode, CX_FAIL_DAMAGED) << db.GetLastFailure().szText;
    EXPECT_NE(std::string(db.GetLastFailure().szText).find(this->m_Path), std::string::npos);
    EXPECT_FALSE(db.Save());
    EXPECT_EQ(this->OnDisk(), *pDamaged);
  }
  EXPECT_EQ(dbtest::ReadFileBytes(this->m_Path + ".bak"), backup);
}

TYPED_TEST(DatebookFileTest, CountThatDisagreesWithTheFileIsRefused) {
  Bytes extra = TypeParam::Build(3);
  const Bytes uncounted = TypeParam::RecordBytes(3);
  extra.insert(extra.end(), uncounted.begin(), uncounted.end());
  this->Write(extra);
  typename TestFixture::Util db(this->m_Path.c_str());
  EXPECT_FALSE(db.IsLoaded());
  EXPECT_EQ(db.GetLastFailure().nCode, CX_FAIL_DAMAGED);
}

TYPED_TEST(DatebookFileTest, PlantedLinkAtATemporaryNameIsNeverFollowed) {
  this->Write(TypeParam::Build(2));
  const std::string victim = this->m_Folder.File("victim.txt");
  ASSERT_TRUE(dbtest::WriteFileBytes(victim, Bytes{'v'}));
  fs::create_symlink(victim, this->m_Path + ".tmp");
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  ASSERT_TRUE(this->AddAndSave(db));
  EXPECT_EQ(dbtest::ReadFileBytes(victim), Bytes{'v'});
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(this->m_Path)));
  EXPECT_EQ(this->CountIn(this->m_Path), 3);
}

// In a folder others can write, the backup must neither expose a private datebook nor write
// through a link another user planted at its name.
TYPED_TEST(DatebookFileTest, BackupIsAsPrivateAsTheDatebookAndReplacesAPlantedLink) {
  this->Write(TypeParam::Build(2));
  ::chmod(this->m_Path.c_str(), 0600);
  const std::string victim = this->m_Folder.File("victim.txt");
  ASSERT_TRUE(dbtest::WriteFileBytes(victim, Bytes{'v'}));
  fs::create_symlink(victim, this->m_Path + ".bak");
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded() && this->AddAndSave(db));
  EXPECT_EQ(dbtest::ReadFileBytes(victim), Bytes{'v'});
  ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(this->m_Path + ".bak")));
  EXPECT_EQ(this->CountIn(this->m_Path + ".bak"), 2);
  EXPECT_EQ(fs::status(this->m_Path + ".bak").permissions(), fs::perms(0600));
}

TYPED_TEST(DatebookFileTest, SaveThroughALinkWritesItsFileWithItsMode) {
  fs::create_directories(this->m_Folder.File("real"));
  const std::string real = this->m_Folder.File("real/datebook.dat");
  ASSERT_TRUE(dbtest::WriteFileBytes(real, TypeParam::Build(2)));
  ::chmod(real.c_str(), 0600);
  fs::create_symlink(real, this->m_Path);
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  ASSERT_TRUE(this->AddAndSave(db));
  EXPECT_TRUE(fs::is_symlink(this->m_Path));
  EXPECT_EQ(this->CountIn(real), 3);
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(fs::exists(real + ".bak"));
}

TYPED_TEST(DatebookFileTest, ReadOnlyDatebookListsAndRefusesTheSave) {
  this->Write(TypeParam::Build(2));
  ::chmod(this->m_Path.c_str(), 0444);
  const std::string path = this->m_Path;
  const int nResult = dbtest::RunUnprivileged([&path] {
    typename TestFixture::Util db(path.c_str());
    if (!db.IsLoaded() || db.GetDataMgr()->GetCount() != 2) return 1;
    if (TestFixture::AddAndSave(db)) return 2;
    return db.GetLastFailure().nCode == CX_FAIL_ACCESS_DENIED ? 0 : 3;
  });
  EXPECT_EQ(nResult, 0);
  EXPECT_EQ(this->CountIn(this->m_Path), 2);
}

TYPED_TEST(DatebookFileTest, ChangeByAnotherProgramIsNeverOverwritten) {
  this->Write(TypeParam::Build(2));
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  const Bytes theirs = TypeParam::Build(5);
  this->Write(theirs);
  EXPECT_FALSE(this->AddAndSave(db));
  EXPECT_EQ(db.GetLastFailure().nCode, CX_FAIL_CHANGED);
  EXPECT_EQ(this->OnDisk(), theirs);
  EXPECT_TRUE(dbtest::LeftoverTemps(this->m_Folder.Path()).empty());
}

TYPED_TEST(DatebookFileTest, AnotherRunHoldsTheDatebookFromLoadToSave) {
  this->Write(TypeParam::Build(2));
  const std::string path = this->m_Path;
  // A run that loaded and has not saved yet.
  dbtest::HeldElsewhere loadedRun([&path] {
    static typename TestFixture::Util* pDb = new typename TestFixture::Util(path.c_str());
    return pDb->IsLoaded();
  });
  ASSERT_TRUE(loadedRun.Held());
  typename TestFixture::Util db(this->m_Path.c_str());
  EXPECT_FALSE(db.IsLoaded());
  EXPECT_EQ(db.GetLastFailure().nCode, CX_FAIL_LOCKED) << db.GetLastFailure().szText;
  loadedRun.Kill();
  EXPECT_TRUE(db.LoadFile(this->m_Path.c_str()));
}

}  // namespace
