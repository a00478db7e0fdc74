// The two datebook layouts as parameters of one typed suite: each names its store, its record
// and its file builder, builds datebooks as Palm Desktop writes them, and says what it logs
// where the layouts differ. DatebookFixture is the suites' common ground: a private folder
// with the datebook under test.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <type_traits>

#include "DatebookBuilder.h"
#include "PalmTestSupport.h"
#include "common/palm/PalmDate.h"
#include "common/palm/PalmDateEx.h"

namespace dbtest {

// Record names of one width, so every record of a file has the same size.
inline std::string Numbered(int i) {
  char szText[16];
  std::snprintf(szText, sizeof(szText), "%04d", i % 10000);
  return szText;
}

struct EarlierLayout {
  using Util = PmDateUtil;
  using Record = PmDateRecord;
  using File = Datebook41;
  using Row = Record41;
  static constexpr const char* kName = "Earlier";
  static constexpr bool kCurrent = false;
  static constexpr uint16_t kFields = 15;
  static constexpr uint32_t kVersion = 0x44420100;
  static constexpr const char* kLoadFailed = "Failed to load Palm Desktop datebook: ";
  static constexpr const char* kOpenFailed = nullptr;

  // A record as DayBridge writes it: the end time with the date code.
  static Row Saved() {
    Row r;
    r.nEndType = 3;
    return r;
  }
  static void SetText(Row& r, const std::string& text) { r.description = text; }
  // Records of nFields fields: this layout reads as many as the row is wide.
  static void Narrow(File& f, uint16_t nFields) { f.nFieldsPerRow = nFields; }
  static Bytes RecordBytes(int i) {
    Row r = Saved();
    r.nRecordId = static_cast<uint32_t>(i + 1);
    r.description = "Lunch " + Numbered(i);
    r.note = std::string(200, 'n');
    return r.Build();
  }
  static Bytes Build(int nRecords) {
    File file;
    for (int i = 0; i < nRecords; ++i) file.records.push_back(RecordBytes(i));
    return file.Build();
  }
};

struct CurrentLayout {
  using Util = PmDateExUtil;
  using Record = PmDateExRecord;
  using File = Datebook414;
  using Row = Record414;
  static constexpr const char* kName = "Current";
  static constexpr bool kCurrent = true;
  static constexpr uint16_t kFields = 27;
  static constexpr uint32_t kVersion = 0x44420200;
  static constexpr const char* kLoadFailed = "Load Palm Desktop Calendar failed: ";
  static constexpr const char* kOpenFailed = "Failed to open file: ";

  // A record as DayBridge writes it: the private flag with the integer code.
  static Row Saved() {
    Row r;
    r.nPrivateType = 1;
    return r;
  }
  static void SetText(Row& r, const std::string& text) { r.summary = text; }
  // Records of nFields fields: this layout reads as many as the schema's field count.
  static void Narrow(File& f, uint16_t nFields) {
    f.nFieldCount = nFields;
    f.fieldTypes.resize(nFields);
  }
  static Bytes RecordBytes(int i) {
    Row r;
    r.nRecordId = static_cast<uint32_t>(i + 1);
    r.summary = "Lunch " + Numbered(i);
    r.note = std::string(200, 'n');
    return r.Build();
  }
  static Bytes Build(int nRecords) {
    File file;
    for (int i = 0; i < nRecords; ++i) file.records.push_back(RecordBytes(i));
    file.SetRecordCountBytes(static_cast<uint32_t>(nRecords));
    return file.Build();
  }
};

using Layouts = ::testing::Types<EarlierLayout, CurrentLayout>;
class LayoutNames {
 public:
  template <typename T>
  static std::string GetName(int) {
    return T::kName;
  }
};

template <typename Layout>
class DatebookFixture : public ::testing::Test {
 protected:
  using Util = typename Layout::Util;
  // Open to every user, for the steps a test runs without privileges.
  DatebookFixture() { ::chmod(m_Folder.Path().c_str(), 0755); }

  void Write(const Bytes& bytes) { ASSERT_TRUE(WriteFileBytes(m_Path, bytes)); }
  Bytes OnDisk() const { return ReadFileBytes(m_Path); }
  // Adds one empty record and saves.
  static bool AddAndSave(Util& db) {
    typename Layout::Record rec{};
    return db.GetDataMgr()->Add(&rec) && db.Save();
  }
  // The records a fresh load of path finds, or -1 when it does not load.
  static int CountIn(const std::string& path) {
    Util db(path.c_str());
    return db.IsLoaded() ? db.GetDataMgr()->GetCount() : -1;
  }

  TempFolder m_Folder;
  std::string m_Path = m_Folder.File("datebook.dat");
};

}  // namespace dbtest
