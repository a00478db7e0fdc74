// The iCalendar loading path of the Outlook stand-in: cutting the text into blocks, libical's
// parse, reading every item as Outlook shows it, and rewriting each item with changed
// properties (the line edits a save makes), including the parse of the rewritten block, and
// with its deleted occurrences changed.
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "fuzz/FuzzOutcome.h"
#include "platform/outlook/IcsEvent.h"
#include "platform/outlook/IcsFile.h"

namespace {

// Enough items to reach every code path; more only repeat them.
constexpr size_t kMaxItems = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  static bool bZoneSet = false;
  if (!bZoneSet) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    bZoneSet = true;
  }
  std::string strText(reinterpret_cast<const char*>(pData), nSize);
  HRESULT hr = S_OK;
  std::string strError;
  std::unique_ptr<OlIcsFile> pFile = OlIcsFile::FromText(strText, &hr, &strError);
  if (!pFile) {
    dbfuzz::ReportRefused(dbfuzz::Format("0x%08X", static_cast<unsigned>(hr)));
    return 0;
  }
  size_t nRead = 0;
  pFile->GetCalendarName();
  for (size_t nItem = 0; nItem < pFile->GetItemCount() && nItem < kMaxItems; ++nItem) {
    OlEventData base;
    if (!OlReadEvent(pFile.get(), pFile->GetItem(nItem), &base)) continue;
    ++nRead;
    OlEventData changed = base;
    changed.strSubject += "x";
    changed.nDuration += 15;
    changed.bReminderSet = !base.bReminderSet;
    changed.bRecurring = !base.bRecurring;
    if (changed.bRecurring) changed.pattern = OlDefaultPattern(nItem % 7, base.dtStart);
    std::string strTzid;
    std::string strBlock = OlRewriteEvent(pFile.get(), nItem, base, changed, &strTzid);
    // Without a path the write fails, after the rewritten block has been parsed.
    pFile->ReplaceItem(nItem, strBlock);
    changed = base;
    changed.nReminderMinutes += 5;
    changed.strCategories = "A, B";
    OlRewriteEvent(pFile.get(), nItem, base, changed, &strTzid);
    changed = base;
    const DATE dtNextWeek = OlDayOf(base.dtStart) + 7;
    if (!changed.deleted.empty()) changed.deleted.pop_back();
    if (OlHasOccurrenceOn(base, dtNextWeek))
      changed.deleted.insert(changed.deleted.begin(), dtNextWeek);
    pFile->ReplaceItem(nItem, OlRewriteEvent(pFile.get(), nItem, base, changed, &strTzid));
  }
  dbfuzz::ReportAccepted(dbfuzz::Format("%zu items, %zu read", pFile->GetItemCount(), nRead));
  return 0;
}
