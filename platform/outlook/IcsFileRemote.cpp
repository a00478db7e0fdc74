// The half of OlIcsFile that keeps a calendar server's items: the text is the server's
// calendar objects one after the other, each a VCALENDAR whose blocks are contiguous and
// carry its number. A save changes one calendar object in memory, as a file save would,
// and hands that object's whole text to the remote; when the remote does not confirm it,
// the change is taken back. A new event with a UID no object has becomes a new object; a
// changed instance joins the object of its series; each object carries the zones it uses.
#include "platform/outlook/IcsFile.h"

#include "platform/automation/ComRuntime.h"
#include "platform/outlook/IcsEvent.h"

std::unique_ptr<OlIcsFile> OlIcsFile::FromRemote(const std::string& strText,
                                                 const std::string& strName,
                                                 std::unique_ptr<OlIcsRemote> pRemote, HRESULT* phr,
                                                 std::string* pstrError) {
  std::unique_ptr<OlIcsFile> pFile = Parse(strText, phr, pstrError);
  if (!pFile) return nullptr;
  if (strText.empty()) {
    // An empty collection holds no calendar object; the first save makes one.
    for (icalcomponent* pCalendar : pFile->m_calendars) icalcomponent_free(pCalendar);
    pFile->m_calendars.clear();
    pFile->m_blocks.clear();
    pFile->m_nInsertAt = 0;
  }
  pFile->m_strPath = strName;
  pFile->m_pRemote = std::move(pRemote);
  return pFile;
}

std::string OlIcsFile::CalendarText(size_t nCalendar, size_t* pnFirst, size_t* pnLast) const {
  std::string strText;
  size_t nFirst = m_blocks.size(), nLast = 0;
  for (size_t nBlock = 0; nBlock < m_blocks.size(); ++nBlock) {
    if (m_blocks[nBlock].nCalendar != nCalendar) {
      if (nFirst < m_blocks.size()) break;  // its blocks are behind
      continue;
    }
    if (nFirst == m_blocks.size()) nFirst = nBlock;
    nLast = nBlock;
    strText += m_blocks[nBlock].strText;
  }
  if (pnFirst != nullptr) *pnFirst = nFirst;
  if (pnLast != nullptr) *pnLast = nLast;
  return strText;
}

HRESULT OlIcsFile::RemoteChange(bool bAppend, size_t nItem, const std::string& strBlock,
                                const std::string& strZoneBlock, size_t* pnItem) {
  if (!bAppend && (nItem >= m_itemBlocks.size() || m_itemExtras[nItem] >= 0)) {
    return DISP_E_BADINDEX;
  }
  size_t nCalendar = 0;
  bool bNew = false;
  if (!bAppend) {
    nCalendar = m_blocks[m_itemBlocks[nItem]].nCalendar;
  } else {
    icalcomponent* pNew = ParseBlock(strBlock, ICAL_VEVENT_COMPONENT);
    if (pNew == nullptr) return OL_E_CORRUPT_DATA;
    const char* szUid = icalcomponent_get_uid(pNew);
    const std::string strUid = szUid != nullptr ? szUid : "";
    icalcomponent_free(pNew);
    bNew = true;
    for (size_t nOther = 0; nOther < m_itemBlocks.size() && !strUid.empty(); ++nOther) {
      const char* szOther = icalcomponent_get_uid(m_blocks[m_itemBlocks[nOther]].pComponent);
      if (szOther != nullptr && strUid == szOther) {
        nCalendar = m_blocks[m_itemBlocks[nOther]].nCalendar;
        bNew = false;
        break;
      }
    }
    if (bNew) {
      nCalendar = m_calendars.size();
      const std::string strBreak = GetLineBreak();
      m_blocks.push_back(Block{"BEGIN:VCALENDAR" + strBreak + "VERSION:2.0" + strBreak +
                                   "PRODID:-//Tidewell//DayBridge//EN" + strBreak,
                               nullptr, false, nCalendar});
      m_blocks.push_back(Block{"END:VCALENDAR" + strBreak, nullptr, false, nCalendar});
      m_calendars.push_back(icalcomponent_new_vcalendar());
    }
  }
  // The zone goes in only when this object lacks it.
  std::string strZone = strZoneBlock;
  if (!strZone.empty()) {
    if (icalcomponent* pZone = ParseBlock(strZone, ICAL_VTIMEZONE_COMPONENT)) {
      icalproperty* pTzid = icalcomponent_get_first_property(pZone, ICAL_TZID_PROPERTY);
      const char* szTzid = pTzid != nullptr ? icalproperty_get_tzid(pTzid) : nullptr;
      if (szTzid != nullptr && icalcomponent_get_timezone(m_calendars[nCalendar], szTzid)) {
        strZone.clear();
      }
      icalcomponent_free(pZone);
    }
  }
  const HRESULT hr = Change(
      bAppend, nItem, strBlock, strZone,
      [&]() { return m_pRemote->Keep(nCalendar, CalendarText(nCalendar), bNew); }, pnItem,
      nCalendar);
  if (FAILED(hr) && bNew) {
    m_blocks.pop_back();
    m_blocks.pop_back();
    icalcomponent_free(m_calendars.back());
    m_calendars.pop_back();
  }
  return hr;
}

HRESULT OlIcsFile::RemoteRemove(size_t nItem) {
  if (nItem >= m_itemBlocks.size()) return DISP_E_BADINDEX;
  const size_t nAt = m_itemBlocks[nItem];
  const size_t nCalendar = m_blocks[nAt].nCalendar;
  std::string strText;
  for (size_t nBlock = 0; nBlock < m_blocks.size(); ++nBlock) {
    if (nBlock != nAt && m_blocks[nBlock].nCalendar == nCalendar)
      strText += m_blocks[nBlock].strText;
  }
  return Drop(nItem, [&]() { return m_pRemote->Keep(nCalendar, strText, false); });
}
