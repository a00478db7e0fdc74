// The object model over the calendar file. Every object holds a shared reference to the
// open file, so the file stays loaded while the program holds any object of the folder and
// is read again when a folder is opened after all of them were released.
//
// Item objects work on a copy of their event's data: property puts change the copy, and
// "Save" writes what differs from the state the item was read in, so two item objects of one
// event only overwrite each other's changes where both changed the same property.
//
// Deleted occurrences, as Outlook keeps them: the pattern lists them as "Exceptions"; an
// occurrence from the pattern's "GetOccurrence" (the item saved first) is deleted by its
// "Delete" at once, without the item's other pending changes; setting the pattern's
// "RecurrenceType" starts the pattern afresh and without exceptions, as "ClearRecurrencePattern"
// ends it.
#include "platform/outlook/OutlookServer.h"

#include <sys/stat.h>

#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "platform/automation/ComRuntime.h"
#include "platform/automation/DispatchBase.h"
#include "platform/outlook/CalDavClient.h"
#include "platform/outlook/CalDavStore.h"
#include "platform/outlook/IcsEvent.h"
#include "platform/outlook/IcsFile.h"
#include "platform/outlook/IcsZone.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinText.h"

// {0006F03A-0000-0000-C000-000000000046}, the class id Outlook registers for its application.
const CLSID CLSID_OutlookApplication = {
    0x0006F03A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

#define OL_FOLDER_CALENDAR 9
#define OL_APPOINTMENT_ITEM 1
// MAPI's status for an object that is not there (an occurrence the series does not have).
#define OL_E_NOT_FOUND ((HRESULT)0x8004010FL)

constexpr double kSecond = 1.0 / 86400.0;

std::u16string Utf8ToUtf16(const std::string& str) {
  return CxUtf8ToUtf16(str.data(), str.size());
}

std::string Utf16ToUtf8(const OLECHAR* psz, size_t nLen) {
  std::string strOut = CxUtf16ToUtf8(psz, nLen);
  // NUL cannot stand in iCalendar text.
  strOut.erase(std::remove(strOut.begin(), strOut.end(), '\0'), strOut.end());
  return strOut;
}

std::string BstrToUtf8(BSTR bstr) {
  return bstr == nullptr ? std::string() : Utf16ToUtf8(bstr, SysStringLen(bstr));
}

DATE RoundToSecond(DATE dt) {
  return std::nearbyint(dt * 86400.0) / 86400.0;
}

DATE DayOf(DATE dt) {
  struct tm fields {};
  if (!OlDateToLocalFields(dt, &fields)) return dt;
  DATE dtDay = dt;
  OlLocalFieldsToDate(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, 0, 0, 0, &dtDay);
  return dtDay;
}

// The definition a save must add for the zone its times are written in: none when the
// calendar already has one or libical knows no such zone.
std::string ZoneBlockFor(OlIcsFile* pFile, const std::string& strTzid) {
  if (strTzid.empty() || pFile->HasZone(strTzid)) return std::string();
  return OlToLineBreak(OlZoneBlock(strTzid), pFile->GetLineBreak());
}

// The open calendar file. Saves go to its journal; the last object of the calendar to be
// released folds them into the file, so a run that saved N items rewrites it a few times
// at most.
struct OlStore {
  std::unique_ptr<OlIcsFile> pFile;
  // The item whose saves are one change of the file for now (see OlAppointmentObject).
  const void* pGroupOwner = nullptr;

  ~OlStore() {
    if (pFile) pFile->Fold();
  }
};

std::string& LastLoadNote() {
  static std::string strNote;
  return strNote;
}

std::map<std::string, std::weak_ptr<OlStore>>& OpenStores() {
  static std::map<std::string, std::weak_ptr<OlStore>> stores;
  return stores;
}

HRESULT OpenStore(std::shared_ptr<OlStore>* ppStore, std::string* pstrError) {
  const std::string strPath = OutlookCalendarPath();
  std::weak_ptr<OlStore>& cached = OpenStores()[strPath];
  if (auto pStore = cached.lock()) {
    *ppStore = pStore;
    return S_OK;
  }
  HRESULT hr = S_OK;
  std::string& strError = *pstrError;
  auto pStore = std::make_shared<OlStore>();
  pStore->pFile = OlCalDavClient::IsAddress(strPath) ? OlCalDavOpen(strPath, &hr, &strError)
                                                     : OlIcsFile::Open(strPath, &hr, &strError);
  if (!pStore->pFile && OlCalDavClient::IsAddress(strPath)) {
    // The address as given may hold a password; the reason names it without one.
    CxServerLog("Outlook: the calendar was not opened: %s", strError.c_str());
    return hr;
  }
  if (!pStore->pFile) {
    CxServerLog("Outlook: the calendar file \"%s\" was not opened and is left as it is: %s",
                strPath.c_str(), strError.c_str());
    return hr;
  }
  // Told once per open: a log line per kind, and a count for the status displays.
  size_t nPassedOver = 0;
  for (const std::string& strLine : pStore->pFile->GetLoadReport()) {
    CxServerLog("Outlook: \"%s\": %s.", strPath.c_str(), strLine.c_str());
    nPassedOver += std::strtoul(strLine.c_str(), nullptr, 10);
  }
  LastLoadNote() =
      nPassedOver == 0 ? std::string() : std::to_string(nPassedOver) + " passed over (see the log)";
  cached = pStore;
  *ppStore = pStore;
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// AppointmentItem and RecurrencePattern

enum ItemMember : DISPID {
  ITEM_ALLDAYEVENT = 1,
  ITEM_DURATION,
  ITEM_END,
  ITEM_ENTRYID,
  ITEM_ISRECURRING,
  ITEM_LOCATION,
  ITEM_REMINDERSET,
  ITEM_REMINDERTIME,
  ITEM_REMINDERMINUTES,
  ITEM_START,
  ITEM_SUBJECT,
  ITEM_BODY,
  ITEM_CATEGORIES,
  ITEM_CREATIONTIME,
  ITEM_LASTMODIFICATIONTIME,
  ITEM_GETRECURRENCEPATTERN,
  ITEM_SAVE,
  ITEM_CLEARRECURRENCEPATTERN,
  ITEM_DELETE,
};

const CxDispMember kItemMembers[] = {
    {"AllDayEvent", ITEM_ALLDAYEVENT},
    {"Duration", ITEM_DURATION},
    {"End", ITEM_END},
    {"EntryID", ITEM_ENTRYID},
    {"IsRecurring", ITEM_ISRECURRING},
    {"Location", ITEM_LOCATION},
    {"ReminderSet", ITEM_REMINDERSET},
    {"ReminderTime", ITEM_REMINDERTIME},
    {"ReminderMinutesBeforeStart", ITEM_REMINDERMINUTES},
    {"Start", ITEM_START},
    {"Subject", ITEM_SUBJECT},
    {"Body", ITEM_BODY},
    {"Categories", ITEM_CATEGORIES},
    {"CreationTime", ITEM_CREATIONTIME},
    {"LastModificationTime", ITEM_LASTMODIFICATIONTIME},
    {"GetRecurrencePattern", ITEM_GETRECURRENCEPATTERN},
    {"Save", ITEM_SAVE},
    {"ClearRecurrencePattern", ITEM_CLEARRECURRENCEPATTERN},
    {"Delete", ITEM_DELETE},
};

class OlAppointmentObject : public CxDispatchBase {
 public:
  // An item of the folder (nItem) or, with bNew, one that joins it at its first save.
  OlAppointmentObject(std::shared_ptr<OlStore> pStore, size_t nItem, bool bNew)
      : CxDispatchBase(kItemMembers, std::size(kItemMembers)),
        m_pStore(std::move(pStore)),
        m_nItem(nItem),
        m_bNew(bNew) {
    if (bNew) {
      // Outlook starts a new appointment at the next half hour, 30 minutes long.
      m_data.dtStart = std::ceil(OlLocalNow() * 48.0) / 48.0;
      m_data.dtCreated = OL_DATE_NONE;
      m_data.dtModified = OL_DATE_NONE;
    } else {
      OlReadItem(m_pStore->pFile.get(), nItem, &m_data);
    }
    m_base = m_data;
  }

  ~OlAppointmentObject() override {
    if (m_pStore->pGroupOwner != this) return;
    m_pStore->pFile->EndGroup();
    m_pStore->pGroupOwner = nullptr;
  }

  OlEventData& Data() { return m_data; }
  bool IsSaved() const { return !m_bNew; }

  // Deletes the occurrence on the local day of dtDay from the saved event at once; the
  // item's pending changes stay pending.
  HRESULT DeleteOccurrence(DATE dtDay);

 protected:
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override;

 private:
  HRESULT Save();
  // Writes the changes from one state of the saved event to another into the file.
  HRESULT WriteChanges(const OlEventData& from, const OlEventData& to);
  // A file write's result; a failure is raised with its reason.
  HRESULT SaveResult(HRESULT hr);
  HRESULT RaiseChanged(const std::string& strPath);
  HRESULT RaiseWriteFailure(HRESULT hr, const std::string& strPath);
  // The data as Outlook shows it: all-day events span whole days.
  void Normalise() {
    if (m_data.bAllDay) {
      m_data.dtStart = DayOf(m_data.dtStart);
      m_data.nDuration = std::max<LONG>(1, (m_data.nDuration + 1439) / 1440) * 1440;
    }
  }

  // A repeating item is saved, then its deleted days are deleted one by one: a crash between
  // them would bring a deleted meeting back. Its writes from its first save until it is
  // released (or another item writes) are therefore one change of the file.
  void TakeGroup(bool bOpen) {
    if (m_pStore->pGroupOwner != nullptr && m_pStore->pGroupOwner != this) {
      m_pStore->pFile->EndGroup();
      m_pStore->pGroupOwner = nullptr;
    }
    if (bOpen && m_pStore->pGroupOwner == nullptr) {
      m_pStore->pFile->BeginGroup();
      m_pStore->pGroupOwner = this;
    }
  }

  std::shared_ptr<OlStore> m_pStore;
  size_t m_nItem;
  bool m_bNew;
  bool m_bDeleted = false;
  OlEventData m_base;  // as last read or saved
  OlEventData m_data;  // with this object's puts
};

enum PatternMember : DISPID {
  PAT_RECURRENCETYPE = 1,
  PAT_INTERVAL,
  PAT_DAYOFWEEKMASK,
  PAT_DAYOFMONTH,
  PAT_INSTANCE,
  PAT_MONTHOFYEAR,
  PAT_PATTERNENDDATE,
  PAT_EXCEPTIONS,
  PAT_GETOCCURRENCE,
  PAT_CLOCKSHIFTS,
};

const CxDispMember kPatternMembers[] = {
    {"RecurrenceType", PAT_RECURRENCETYPE},
    {"Interval", PAT_INTERVAL},
    {"DayOfWeekMask", PAT_DAYOFWEEKMASK},
    {"DayOfMonth", PAT_DAYOFMONTH},
    {"Instance", PAT_INSTANCE},
    {"MonthOfYear", PAT_MONTHOFYEAR},
    {"PatternEndDate", PAT_PATTERNENDDATE},
    {"Exceptions", PAT_EXCEPTIONS},
    {"GetOccurrence", PAT_GETOCCURRENCE},
    {"ClockShifts", PAT_CLOCKSHIFTS},
};

// The start of the item's occurrence on a day: the day at the start's time of day.
DATE OccurrenceStart(const OlEventData& data, DATE dtDay) {
  return OlDayOf(dtDay) + (data.dtStart - OlDayOf(data.dtStart));
}

// One entry of a pattern's "Exceptions": a deleted occurrence (the stand-in keeps no
// changed ones).
enum ExceptionMember : DISPID { EXC_ORIGINALDATE = 1, EXC_DELETED };
const CxDispMember kExceptionMembers[] = {{"OriginalDate", EXC_ORIGINALDATE},
                                          {"Deleted", EXC_DELETED}};

class OlExceptionObject : public CxDispatchBase {
 public:
  explicit OlExceptionObject(DATE dtOriginal)
      : CxDispatchBase(kExceptionMembers, std::size(kExceptionMembers)), m_dtOriginal(dtOriginal) {}

 protected:
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override {
    if ((wFlags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
    HRESULT hr = NoArgs(pParams);
    if (FAILED(hr)) return hr;
    if (nId == EXC_ORIGINALDATE) {
      SetDate(pResult, m_dtOriginal);
    } else {
      SetBool(pResult, true);
    }
    return S_OK;
  }

 private:
  DATE m_dtOriginal;
};

// A list of a pattern as it stood when it was asked for ("Exceptions" in date order,
// "ClockShifts"); "Item" counts from 1.
enum ListMember : DISPID { LIST_COUNT = 1, LIST_ITEM };
const CxDispMember kListMembers[] = {{"Count", LIST_COUNT}, {"Item", LIST_ITEM}};

template <typename Entry, typename EntryObject>
class OlListObject : public CxDispatchBase {
 public:
  explicit OlListObject(std::vector<Entry> entries)
      : CxDispatchBase(kListMembers, std::size(kListMembers)), m_entries(std::move(entries)) {}

 protected:
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override {
    if (nId == LIST_COUNT) {
      if ((wFlags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
      HRESULT hr = NoArgs(pParams);
      if (FAILED(hr)) return hr;
      SetI4(pResult, static_cast<LONG>(m_entries.size()));
      return S_OK;
    }
    VARIANT arg;
    HRESULT hr = Arg(pParams, 0, 1, VT_I4, &arg);
    if (FAILED(hr)) return hr;
    if (arg.lVal < 1 || static_cast<size_t>(arg.lVal) > m_entries.size()) return DISP_E_BADINDEX;
    SetDispatch(pResult, new EntryObject(m_entries[static_cast<size_t>(arg.lVal - 1)]));
    return S_OK;
  }

 private:
  std::vector<Entry> m_entries;
};

// The stand-in's own "ClockShifts" of a pattern, in the manner of its "Exceptions": how the
// occurrences of a series kept in another zone move on the local clock ("From", "Minutes").
// Outlook steps such a series in its zone by itself; a program reading Outlook through the
// automation objects needs to be told.
enum ClockShiftMember : DISPID { SHIFT_FROM = 1, SHIFT_MINUTES };
const CxDispMember kClockShiftMembers[] = {{"From", SHIFT_FROM}, {"Minutes", SHIFT_MINUTES}};

class OlClockShiftObject : public CxDispatchBase {
 public:
  explicit OlClockShiftObject(const OlClockShift& shift)
      : CxDispatchBase(kClockShiftMembers, std::size(kClockShiftMembers)), m_shift(shift) {}

 protected:
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override {
    if ((wFlags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
    HRESULT hr = NoArgs(pParams);
    if (FAILED(hr)) return hr;
    if (nId == SHIFT_FROM) {
      SetDate(pResult, m_shift.dtFrom);
    } else {
      SetI4(pResult, m_shift.nMinutes);
    }
    return S_OK;
  }

 private:
  OlClockShift m_shift;
};

// One occurrence of a recurring item, from "GetOccurrence": its start, and "Delete".
enum OccurrenceMember : DISPID { OCC_START = 1, OCC_DELETE };
const CxDispMember kOccurrenceMembers[] = {{"Start", OCC_START}, {"Delete", OCC_DELETE}};

class OlOccurrenceObject : public CxDispatchBase {
 public:
  OlOccurrenceObject(OlAppointmentObject* pItem, DATE dtDay)
      : CxDispatchBase(kOccurrenceMembers, std::size(kOccurrenceMembers)),
        m_pItem(pItem),
        m_dtDay(dtDay) {
    m_pItem->AddRef();
  }

 protected:
  ~OlOccurrenceObject() override { m_pItem->Release(); }
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override {
    HRESULT hr = NoArgs(pParams);
    if (FAILED(hr)) return hr;
    if (nId == OCC_START && (wFlags & DISPATCH_PROPERTYGET) != 0) {
      SetDate(pResult, OccurrenceStart(m_pItem->Data(), m_dtDay));
      return S_OK;
    }
    if (nId == OCC_DELETE && (wFlags & DISPATCH_METHOD) != 0) {
      return m_pItem->DeleteOccurrence(m_dtDay);
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  OlAppointmentObject* m_pItem;  // the series, kept alive by one reference
  DATE m_dtDay;
};

class OlPatternObject : public CxDispatchBase {
 public:
  explicit OlPatternObject(OlAppointmentObject* pItem)
      : CxDispatchBase(kPatternMembers, std::size(kPatternMembers)), m_pItem(pItem) {
    m_pItem->AddRef();
  }

 protected:
  ~OlPatternObject() override { m_pItem->Release(); }
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override;

 private:
  OlAppointmentObject* m_pItem;  // the pattern's item, kept alive by one reference
};

bool IsYearly(LONG nType) {
  return nType == OL_RECURS_YEARLY || nType == OL_RECURS_YEAR_NTH;
}

HRESULT OlPatternObject::InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams,
                                      VARIANT* pResult) {
  OlPattern& pattern = m_pItem->Data().pattern;
  if (nId == PAT_GETOCCURRENCE) {
    if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    VARIANT arg;
    HRESULT hr = Arg(pParams, 0, 1, VT_DATE, &arg);
    if (FAILED(hr)) return hr;
    if (!OlIsValidDate(arg.date)) return E_INVALIDARG;
    // Outlook finds occurrences of what it has saved. The day of a changed instance is
    // found too: it is out of the series already, so deleting it there does nothing.
    const std::vector<DATE>& overridden = m_pItem->Data().overridden;
    const bool bOverridden =
        std::binary_search(overridden.begin(), overridden.end(), OlDayOf(arg.date));
    if (!m_pItem->IsSaved() || (!bOverridden && !OlHasOccurrenceOn(m_pItem->Data(), arg.date))) {
      RaiseError("the appointment has no occurrence on that date");
      return OL_E_NOT_FOUND;
    }
    SetDispatch(pResult, new OlOccurrenceObject(m_pItem, OlDayOf(arg.date)));
    return S_OK;
  }
  if (nId == PAT_EXCEPTIONS || nId == PAT_CLOCKSHIFTS) {
    if ((wFlags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
    HRESULT hr = NoArgs(pParams);
    if (FAILED(hr)) return hr;
    const OlEventData& data = m_pItem->Data();
    if (nId == PAT_EXCEPTIONS) {
      std::vector<DATE> originals;
      for (DATE dtDay : data.deleted) originals.push_back(OccurrenceStart(data, dtDay));
      SetDispatch(pResult, new OlListObject<DATE, OlExceptionObject>(std::move(originals)));
    } else {
      // Nothing for the series that keep their clock time, which is almost every one: a
      // long calendar is read without a list object per series.
      SetDispatch(pResult, data.shifts.empty()
                               ? nullptr
                               : new OlListObject<OlClockShift, OlClockShiftObject>(data.shifts));
    }
    return S_OK;
  }
  if (wFlags & DISPATCH_PROPERTYGET) {
    HRESULT hr = NoArgs(pParams);
    if (FAILED(hr)) return hr;
    switch (nId) {
      case PAT_RECURRENCETYPE:
        SetI4(pResult, pattern.nType);
        return S_OK;
      case PAT_INTERVAL:
        SetI4(pResult, pattern.nInterval);
        return S_OK;
      case PAT_DAYOFWEEKMASK:
        SetI4(pResult, pattern.nDayOfWeekMask);
        return S_OK;
      case PAT_DAYOFMONTH:
        SetI4(pResult, pattern.nDayOfMonth);
        return S_OK;
      case PAT_INSTANCE:
        SetI4(pResult, pattern.nInstance);
        return S_OK;
      case PAT_MONTHOFYEAR:
        SetI4(pResult, pattern.nMonthOfYear);
        return S_OK;
      case PAT_PATTERNENDDATE:
        SetDate(pResult, pattern.bHasEnd ? pattern.dtEnd : OL_DATE_NONE);
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }
  if ((wFlags & DISPATCH_PROPERTYPUT) == 0) return DISP_E_MEMBERNOTFOUND;
  VARIANT value;
  HRESULT hr = PutValue(pParams, nId == PAT_PATTERNENDDATE ? VT_DATE : VT_I4, &value);
  if (FAILED(hr)) return hr;
  const LONG nValue = value.lVal;
  switch (nId) {
    case PAT_RECURRENCETYPE:
      if (nValue < OL_RECURS_DAILY || nValue > OL_RECURS_YEAR_NTH || nValue == 4) {
        return E_INVALIDARG;
      }
      // Outlook starts a pattern afresh when its type is set, from the item's start.
      pattern = OlDefaultPattern(nValue, m_pItem->Data().dtStart);
      m_pItem->Data().deleted.clear();
      return S_OK;
    case PAT_INTERVAL:
      if (IsYearly(pattern.nType)) {
        // Outlook counts yearly intervals in months; older versions took years, which are
        // still understood for values below 12.
        if (nValue >= 12 && nValue % 12 == 0 && nValue <= 99 * 12) {
          pattern.nInterval = nValue;
        } else if (nValue >= 1 && nValue < 12) {
          pattern.nInterval = nValue * 12;
        } else {
          return E_INVALIDARG;
        }
      } else {
        if (nValue < 1 || nValue > 999) return E_INVALIDARG;
        pattern.nInterval = nValue;
      }
      return S_OK;
    case PAT_DAYOFWEEKMASK:
      if (nValue < 0 || nValue > 127) return E_INVALIDARG;
      pattern.nDayOfWeekMask = nValue;
      return S_OK;
    case PAT_DAYOFMONTH:
      if (nValue < 1 || nValue > 31) return E_INVALIDARG;
      pattern.nDayOfMonth = nValue;
      return S_OK;
    case PAT_INSTANCE:
      if (nValue < 1 || nValue > 5) return E_INVALIDARG;
      pattern.nInstance = nValue;
      return S_OK;
    case PAT_MONTHOFYEAR:
      if (nValue < 1 || nValue > 12) return E_INVALIDARG;
      pattern.nMonthOfYear = nValue;
      return S_OK;
    case PAT_PATTERNENDDATE:
      if (!OlIsValidDate(value.date) || value.date < 1.0) return E_INVALIDARG;
      if (value.date >= OL_DATE_NONE) {
        pattern.bHasEnd = false;
        pattern.dtEnd = 0;
      } else {
        pattern.bHasEnd = true;
        pattern.dtEnd = DayOf(value.date);
      }
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT OlAppointmentObject::InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams,
                                          VARIANT* pResult) {
  // A deleted item answers nothing more, as Outlook's does.
  if (m_bDeleted) return OL_E_NOT_FOUND;
  if (nId == ITEM_DELETE) {
    if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    HRESULT hr = NoArgs(pParams);
    if (FAILED(hr)) return hr;
    if (m_bNew) return OL_E_NOT_FOUND;
    TakeGroup(false);
    hr = SaveResult(m_pStore->pFile->RemoveItem(m_nItem));
    if (FAILED(hr)) return hr;
    m_bDeleted = true;
    return S_OK;
  }
  if (nId == ITEM_GETRECURRENCEPATTERN || nId == ITEM_SAVE || nId == ITEM_CLEARRECURRENCEPATTERN) {
    if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    HRESULT hr = NoArgs(pParams);
    if (FAILED(hr)) return hr;
    if (nId == ITEM_SAVE) return Save();
    if (nId == ITEM_CLEARRECURRENCEPATTERN) {
      m_data.bRecurring = false;
      m_data.pattern = OlPattern();
      m_data.deleted.clear();
      return S_OK;
    }
    // Asking a single appointment for its pattern makes it recurring, weekly, as in Outlook.
    if (!m_data.bRecurring) {
      m_data.bRecurring = true;
      m_data.pattern = OlDefaultPattern(OL_RECURS_WEEKLY, m_data.dtStart);
    }
    SetDispatch(pResult, new OlPatternObject(this));
    return S_OK;
  }
  const bool bAllDay = m_data.bAllDay;
  const DATE dtStart = bAllDay ? DayOf(m_data.dtStart) : m_data.dtStart;
  const LONG nDuration =
      bAllDay ? std::max<LONG>(1, (m_data.nDuration + 1439) / 1440) * 1440 : m_data.nDuration;
  if (wFlags & DISPATCH_PROPERTYGET) {
    HRESULT hr = NoArgs(pParams);
    if (FAILED(hr)) return hr;
    switch (nId) {
      case ITEM_ALLDAYEVENT:
        SetBool(pResult, bAllDay);
        return S_OK;
      case ITEM_DURATION:
        SetI4(pResult, nDuration);
        return S_OK;
      case ITEM_END:
        SetDate(pResult, RoundToSecond(dtStart + nDuration / 1440.0));
        return S_OK;
      case ITEM_START:
        SetDate(pResult, dtStart);
        return S_OK;
      case ITEM_ENTRYID:
        SetBstr(pResult, Utf8ToUtf16(m_data.strEntryID));
        return S_OK;
      case ITEM_ISRECURRING:
        SetBool(pResult, m_data.bRecurring);
        return S_OK;
      case ITEM_LOCATION:
        SetBstr(pResult, Utf8ToUtf16(m_data.strLocation));
        return S_OK;
      case ITEM_SUBJECT:
        SetBstr(pResult, Utf8ToUtf16(m_data.strSubject));
        return S_OK;
      case ITEM_BODY:
        SetBstr(pResult, Utf8ToUtf16(m_data.strBody));
        return S_OK;
      case ITEM_CATEGORIES:
        SetBstr(pResult, Utf8ToUtf16(m_data.strCategories));
        return S_OK;
      case ITEM_REMINDERSET:
        SetBool(pResult, m_data.bReminderSet);
        return S_OK;
      case ITEM_REMINDERMINUTES:
        SetI4(pResult, m_data.nReminderMinutes);
        return S_OK;
      case ITEM_REMINDERTIME:
        SetDate(pResult, m_data.bReminderSet
                             ? RoundToSecond(dtStart - m_data.nReminderMinutes / 1440.0)
                             : OL_DATE_NONE);
        return S_OK;
      case ITEM_CREATIONTIME:
        SetDate(pResult, m_data.dtCreated);
        return S_OK;
      case ITEM_LASTMODIFICATIONTIME:
        SetDate(pResult, m_data.dtModified);
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }
  if ((wFlags & DISPATCH_PROPERTYPUT) == 0) return DISP_E_MEMBERNOTFOUND;
  VARTYPE vt = VT_BSTR;
  switch (nId) {
    case ITEM_ALLDAYEVENT:
    case ITEM_REMINDERSET:
      vt = VT_BOOL;
      break;
    case ITEM_DURATION:
    case ITEM_REMINDERMINUTES:
      vt = VT_I4;
      break;
    case ITEM_END:
    case ITEM_START:
    case ITEM_REMINDERTIME:
      vt = VT_DATE;
      break;
    case ITEM_LOCATION:
    case ITEM_SUBJECT:
    case ITEM_BODY:
    case ITEM_CATEGORIES:
      vt = VT_BSTR;
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;  // read-only properties
  }
  VARIANT value;
  HRESULT hr = PutValue(pParams, vt, &value);
  if (FAILED(hr)) return hr;
  if (vt == VT_DATE && !OlIsValidDate(value.date)) return E_INVALIDARG;
  switch (nId) {
    case ITEM_ALLDAYEVENT:
      m_data.bAllDay = value.boolVal != VARIANT_FALSE;
      break;
    case ITEM_REMINDERSET:
      m_data.bReminderSet = value.boolVal != VARIANT_FALSE;
      break;
    case ITEM_DURATION:
      if (value.lVal < 0) return E_INVALIDARG;
      m_data.nDuration = value.lVal;
      break;
    case ITEM_REMINDERMINUTES:
      if (value.lVal < 0) return E_INVALIDARG;
      m_data.nReminderMinutes = value.lVal;
      break;
    case ITEM_START:
      m_data.dtStart = RoundToSecond(value.date);
      break;  // keeps the duration
    case ITEM_END: {
      double dMinutes = std::nearbyint((value.date - dtStart) * 1440.0);
      if (dMinutes < 0 || dMinutes > 1e9) return E_INVALIDARG;
      m_data.nDuration = static_cast<LONG>(dMinutes);
      break;
    }
    case ITEM_REMINDERTIME: {
      double dMinutes = std::nearbyint((dtStart - value.date) * 1440.0);
      m_data.nReminderMinutes =
          dMinutes < 0 ? 0 : (dMinutes > 1e9 ? 1000000000 : static_cast<LONG>(dMinutes));
      break;
    }
    default: {
      std::string strText = BstrToUtf8(value.bstrVal);
      if (nId == ITEM_LOCATION) m_data.strLocation = strText;
      if (nId == ITEM_SUBJECT) m_data.strSubject = strText;
      if (nId == ITEM_BODY) m_data.strBody = strText;
      if (nId == ITEM_CATEGORIES) m_data.strCategories = strText;
      break;
    }
  }
  VariantClear(&value);
  return S_OK;
}

HRESULT OlAppointmentObject::RaiseChanged(const std::string& strPath) {
  CxServerLog("Outlook: \"%s\" was changed by another program; the item was not saved.",
              strPath.c_str());
  RaiseError(std::string("the Outlook calendar file was ") +
             CxFileErrorText(ERROR_CX_FILE_CHANGED) + ": " + strPath);
  return OL_E_OBJECT_CHANGED;
}

HRESULT OlAppointmentObject::RaiseWriteFailure(HRESULT hr, const std::string& strPath) {
  // The file writer leaves the system's reason as the last error.
  RaiseError(std::string("the Outlook calendar file could not be written (") +
             CxFileErrorText(GetLastError()) + "): " + strPath);
  return hr;
}

HRESULT OlAppointmentObject::WriteChanges(const OlEventData& from, const OlEventData& to) {
  OlIcsFile* pFile = m_pStore->pFile.get();
  std::string strTzid;
  if (pFile->GetItemExtra(m_nItem) >= 0) {
    // An extra date changes by the instance that stands for it, which takes its item.
    const std::string strInstance = OlExtraDateInstance(pFile, m_nItem, from, to, &strTzid);
    if (strInstance.empty()) return SaveResult(OL_E_CORRUPT_DATA);
    size_t nItem = 0;
    return SaveResult(pFile->AppendItem(strInstance, &nItem, ZoneBlockFor(pFile, strTzid)));
  }
  std::string strText = OlRewriteEvent(pFile, m_nItem, from, to, &strTzid);
  if (strText == pFile->GetItemText(m_nItem)) return S_FALSE;
  return SaveResult(pFile->ReplaceItem(m_nItem, strText, ZoneBlockFor(pFile, strTzid)));
}

HRESULT OlAppointmentObject::SaveResult(HRESULT hr) {
  if (SUCCEEDED(hr)) return hr;
  OlIcsFile* pFile = m_pStore->pFile.get();
  if (const OlIcsRemote* pRemote = pFile->GetRemote()) {
    // The server's reason names the item and the address.
    CxServerLog("Outlook: %s", pRemote->GetFailure().c_str());
    RaiseError(pRemote->GetFailure());
    return hr;
  }
  if (hr == OL_E_OBJECT_CHANGED) return RaiseChanged(pFile->GetPath());
  const DWORD dwError = GetLastError();
  CxServerLog("Outlook: the item could not be saved to \"%s\", hr=0x%08x", pFile->GetPath().c_str(),
              static_cast<unsigned>(hr));
  SetLastError(dwError);
  return RaiseWriteFailure(hr, pFile->GetPath());
}

HRESULT OlAppointmentObject::DeleteOccurrence(DATE dtDay) {
  if (m_bNew) return OL_E_NOT_FOUND;
  TakeGroup(true);
  std::vector<DATE>& saved = m_base.deleted;
  if (std::binary_search(saved.begin(), saved.end(), dtDay)) return S_OK;
  OlEventData target = m_base;
  target.deleted.insert(std::lower_bound(target.deleted.begin(), target.deleted.end(), dtDay),
                        dtDay);
  HRESULT hr = WriteChanges(m_base, target);
  if (FAILED(hr)) return hr;
  OlReadItem(m_pStore->pFile.get(), m_nItem, &m_base);
  std::vector<DATE>& pending = m_data.deleted;
  if (!std::binary_search(pending.begin(), pending.end(), dtDay)) {
    pending.insert(std::lower_bound(pending.begin(), pending.end(), dtDay), dtDay);
  }
  return S_OK;
}

HRESULT OlAppointmentObject::Save() {
  Normalise();
  TakeGroup(m_data.bRecurring);
  OlIcsFile* pFile = m_pStore->pFile.get();
  if (!m_bNew) {
    HRESULT hr = WriteChanges(m_base, m_data);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return S_OK;
  } else {
    OlEventData data = m_data;
    std::string strTzid;
    std::string strText = OlNewEvent(pFile->GetLineBreak(), &data, &strTzid);
    size_t nItem = 0;
    HRESULT hr = SaveResult(pFile->AppendItem(strText, &nItem, ZoneBlockFor(pFile, strTzid)));
    if (FAILED(hr)) return hr;
    m_bNew = false;
    m_nItem = nItem;
  }
  OlReadItem(pFile, m_nItem, &m_data);
  m_base = m_data;
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// Items, folder, namespace, application

enum ItemsMember : DISPID { ITEMS_GETFIRST = 1, ITEMS_GETNEXT, ITEMS_ADD, ITEMS_ITEM };
const CxDispMember kItemsMembers[] = {{"GetFirst", ITEMS_GETFIRST},
                                      {"GetNext", ITEMS_GETNEXT},
                                      {"Add", ITEMS_ADD},
                                      {"Item", ITEMS_ITEM}};

class OlItemsObject : public CxDispatchBase {
 public:
  explicit OlItemsObject(std::shared_ptr<OlStore> pStore)
      : CxDispatchBase(kItemsMembers, std::size(kItemsMembers)), m_pStore(std::move(pStore)) {}

 protected:
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override {
    if ((wFlags & DISPATCH_METHOD) == 0 &&
        !(nId == ITEMS_ITEM && (wFlags & DISPATCH_PROPERTYGET))) {
      return DISP_E_MEMBERNOTFOUND;
    }
    const size_t nCount = m_pStore->pFile->GetItemCount();
    if (nId == ITEMS_GETFIRST || nId == ITEMS_GETNEXT) {
      HRESULT hr = NoArgs(pParams);
      if (FAILED(hr)) return hr;
      m_nCursor = nId == ITEMS_GETFIRST ? 0 : m_nCursor + 1;
      // Past the end the collection answers Nothing, not an error.
      if (m_nCursor >= nCount) {
        m_nCursor = nCount;
        SetDispatch(pResult, nullptr);
        return S_OK;
      }
      SetDispatch(pResult, new OlAppointmentObject(m_pStore, m_nCursor, false));
      return S_OK;
    }
    VARIANT arg;
    HRESULT hr = Arg(pParams, 0, 1, VT_I4, &arg);
    if (FAILED(hr)) return hr;
    if (nId == ITEMS_ADD) {
      if (arg.lVal != OL_APPOINTMENT_ITEM) return E_INVALIDARG;
      SetDispatch(pResult, new OlAppointmentObject(m_pStore, 0, true));
      return S_OK;
    }
    if (arg.lVal < 1 || static_cast<size_t>(arg.lVal) > nCount) return DISP_E_BADINDEX;
    SetDispatch(pResult,
                new OlAppointmentObject(m_pStore, static_cast<size_t>(arg.lVal - 1), false));
    return S_OK;
  }

 private:
  std::shared_ptr<OlStore> m_pStore;
  size_t m_nCursor = 0;
};

enum FolderMember : DISPID { FOLDER_NAME = 1, FOLDER_STOREID, FOLDER_ITEMS };
const CxDispMember kFolderMembers[] = {
    {"Name", FOLDER_NAME}, {"StoreID", FOLDER_STOREID}, {"Items", FOLDER_ITEMS}};

class OlFolderObject : public CxDispatchBase {
 public:
  explicit OlFolderObject(std::shared_ptr<OlStore> pStore)
      : CxDispatchBase(kFolderMembers, std::size(kFolderMembers)), m_pStore(std::move(pStore)) {}

 protected:
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override {
    if ((wFlags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
    HRESULT hr = NoArgs(pParams);
    if (FAILED(hr)) return hr;
    switch (nId) {
      case FOLDER_NAME: {
        std::string strName = m_pStore->pFile->GetCalendarName();
        SetBstr(pResult, Utf8ToUtf16(strName.empty() ? "Calendar" : strName));
        return S_OK;
      }
      case FOLDER_STOREID:
        // The file's full path names the store; DayBridge only keeps it.
        SetBstr(pResult, Utf8ToUtf16(m_pStore->pFile->GetPath()));
        return S_OK;
      case FOLDER_ITEMS:
        SetDispatch(pResult, new OlItemsObject(m_pStore));
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  std::shared_ptr<OlStore> m_pStore;
};

const CxDispMember kNameSpaceMembers[] = {{"GetDefaultFolder", 1}};

class OlNameSpaceObject : public CxDispatchBase {
 public:
  OlNameSpaceObject() : CxDispatchBase(kNameSpaceMembers, std::size(kNameSpaceMembers)) {}

 protected:
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override {
    if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    VARIANT arg;
    HRESULT hr = Arg(pParams, 0, 1, VT_I4, &arg);
    if (FAILED(hr)) return hr;
    // Only the calendar exists in this store.
    if (arg.lVal != OL_FOLDER_CALENDAR) return E_INVALIDARG;
    std::shared_ptr<OlStore> pStore;
    std::string strError;
    hr = OpenStore(&pStore, &strError);
    if (FAILED(hr)) {
      if (OlCalDavClient::IsAddress(OutlookCalendarPath())) {
        RaiseError(strError);  // it names the address, as the user gave it
        return hr;
      }
      RaiseError("the Outlook calendar file could not be read (" + strError +
                 "): " + OutlookCalendarPath());
      return hr;
    }
    SetDispatch(pResult, new OlFolderObject(pStore));
    return S_OK;
  }
};

const CxDispMember kApplicationMembers[] = {{"GetNameSpace", 1}};

class OlApplicationObject : public CxDispatchBase {
 public:
  OlApplicationObject() : CxDispatchBase(kApplicationMembers, std::size(kApplicationMembers)) {}

 protected:
  // Outlook writes its store when the application goes, whatever the caller still holds.
  ~OlApplicationObject() override { OutlookServerFold(); }

  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override {
    if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    VARIANT arg;
    HRESULT hr = Arg(pParams, 0, 1, VT_BSTR, &arg);
    if (FAILED(hr)) return hr;
    std::string strType = BstrToUtf8(arg.bstrVal);
    VariantClear(&arg);
    if (strcasecmp(strType.c_str(), "MAPI") != 0) return E_INVALIDARG;
    SetDispatch(pResult, new OlNameSpaceObject());
    return S_OK;
  }
};

IUnknown* CreateApplication() {
  return static_cast<IDispatch*>(new OlApplicationObject());
}

DWORD g_dwClassCookie = 0;

}  // namespace

namespace {
std::string& ChosenCalendar() {
  static std::string strChosen;
  return strChosen;
}
}  // namespace

void OutlookServerUseCalendar(const std::string& strPathOrAddress) {
  ChosenCalendar() = strPathOrAddress;
}

bool OutlookCalendarIsOnServer(const std::string& strCalendar) {
  return OlCalDavClient::IsAddress(strCalendar);
}

std::string OutlookDataFolder() {
  std::string strFolder;
  if (const char* szCommon = std::getenv("DAYBRIDGE_COMMON_APPDATA"); szCommon && *szCommon) {
    strFolder = szCommon;
  } else if (const char* szData = std::getenv("XDG_DATA_HOME"); szData && *szData) {
    strFolder = szData;
  } else {
    const char* szHome = std::getenv("HOME");
    strFolder = std::string(szHome != nullptr ? szHome : "") + "/.local/share";
  }
  if (strFolder.empty() || strFolder.back() != '/') strFolder += '/';
  return strFolder + "DayBridge Outlook/";
}

std::string OutlookCalendarPath() {
  if (!ChosenCalendar().empty()) return ChosenCalendar();
  const char* szPath = std::getenv("DAYBRIDGE_OUTLOOK_CALENDAR");
  if (szPath != nullptr && *szPath != 0) return szPath;
  return OutlookDataFolder() + "Calendar.ics";
}

HRESULT OutlookServerRegister() {
  if (g_dwClassCookie != 0) return S_OK;
  IClassFactory* pFactory = new CxClassFactory(&CreateApplication);
  HRESULT hr = CoRegisterClassObject(CLSID_OutlookApplication, pFactory,
                                     CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &g_dwClassCookie);
  pFactory->Release();
  if (FAILED(hr)) return hr;
  return CxRegisterProgID(u"Outlook.Application", CLSID_OutlookApplication);
}

HRESULT OutlookServerFold() {
  HRESULT hrAll = S_OK;
  for (auto& [strPath, cached] : OpenStores()) {
    if (auto pStore = cached.lock()) {
      const HRESULT hr = pStore->pFile->Fold();
      if (FAILED(hr)) hrAll = hr;
    }
  }
  return hrAll;
}

void OutlookServerRevoke() {
  CxRevokeProgID(u"Outlook.Application");
  if (g_dwClassCookie != 0) CoRevokeClassObject(g_dwClassCookie);
  g_dwClassCookie = 0;
}

std::string OutlookServerLoadNote() {
  return LastLoadNote();
}
