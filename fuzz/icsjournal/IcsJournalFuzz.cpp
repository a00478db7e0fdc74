// The journal beside the Outlook stand-in's calendar, from bytes of any origin: read as they
// come, then with the header made the one of a small calendar and every record's check made
// right (so that the payloads, not only the checks, meet the reader), replayed onto that
// calendar by opening it, and folded into it.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/FuzzOutcome.h"
#include "platform/outlook/IcsFile.h"
#include "platform/outlook/IcsJournal.h"
#include "platform/win/WinReplace.h"

namespace {

const char kCalendar[] =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Fuzz//EN\r\n"
    "BEGIN:VEVENT\r\nUID:a\r\nDTSTAMP:20110301T120000Z\r\nDTSTART:20110307T080000Z\r\n"
    "SUMMARY:A\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
constexpr size_t kHeaderSize = 32;
constexpr size_t kRecordHead = 12;

// Every record's check made right, as far as the lengths lead through the bytes.
std::string WithChecksRight(std::string strBytes) {
  size_t nPos = kHeaderSize;
  while (nPos + kRecordHead <= strBytes.size()) {
    size_t nPayload = 0;
    for (int i = 3; i >= 0; --i) {
      nPayload = (nPayload << 8) | static_cast<unsigned char>(strBytes[nPos + i]);
    }
    if (nPayload > strBytes.size() - nPos - kRecordHead) break;
    const std::string strChecked =
        strBytes.substr(nPos, 4) + strBytes.substr(nPos + kRecordHead, nPayload);
    const ULONGLONG nCheck = CxHashContents(strChecked.data(), strChecked.size());
    for (int i = 0; i < 8; ++i)
      strBytes[nPos + 4 + i] = static_cast<char>((nCheck >> (8 * i)) & 0xFF);
    nPos += kRecordHead + nPayload;
  }
  return strBytes;
}

// The folder the calendar and its journal are written to, removed when the process ends.
struct ScratchFolder {
  std::filesystem::path path;
  ScratchFolder() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    OlIcsFile::SetFoldFloor(0);
    path =
        std::filesystem::temp_directory_path() / ("db-fuzz-journal-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

const std::filesystem::path& Folder() {
  static const ScratchFolder folder;
  return folder.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string strBytes(reinterpret_cast<const char*>(pData), nSize);
  OlJournalContents contents;
  OlReadJournal(strBytes.data(), strBytes.size(), &contents);
  static const char* const kEnds[] = {"whole", "torn", "damaged"};
  const std::string strRead =
      dbfuzz::Format("%s%zu records %s", contents.bHeader ? "" : "no header; ",
                     contents.records.size(), kEnds[contents.end]);

  if (nSize < kHeaderSize) {
    dbfuzz::ReportRefused(strRead);
    return 0;
  }
  const std::string strCalendar = kCalendar;
  const std::string strJournal = WithChecksRight(
      OlJournalHeader(strCalendar.size(), CxHashContents(strCalendar.data(), strCalendar.size())) +
      strBytes.substr(kHeaderSize));
  const std::filesystem::path path = Folder() / "Calendar.ics";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << strCalendar;
  std::ofstream(path.string() + ".journal", std::ios::binary | std::ios::trunc) << strJournal;
  HRESULT hr = S_OK;
  std::string strError;
  std::unique_ptr<OlIcsFile> pFile = OlIcsFile::Open(path.string(), &hr, &strError);
  if (pFile) {
    const size_t nItems = pFile->GetItemCount();
    for (size_t nItem = 0; nItem < nItems; ++nItem) pFile->GetItemText(nItem);
    pFile->Fold();
    dbfuzz::ReportAccepted(strRead + dbfuzz::Format("; opened, %zu items", nItems));
  } else {
    dbfuzz::ReportRefused(strRead);
  }
  pFile.reset();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(Folder(), ec)) {
    std::filesystem::remove(entry.path(), ec);
  }
  return 0;
}
