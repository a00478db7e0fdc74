// The Outlook calendar store: the default calendar folder of the MAPI namespace, read into a
// record set of common records, and records from Palm Desktop written back as new or changed
// appointment items. Every item passes through the item image OlDateItem, which holds the
// Outlook properties the program reads and writes (texts ANSI, dates OLE Automation dates in
// local time).
//
// An all-day record ends on the last day it covers, as a Palm untimed event does; the image
// keeps Outlook's own end, midnight after that day.
//
// A record read from Outlook carries a copy of its image as its attached block, packed to
// what it holds (PackExtra over the body; UnpackExtra of CommDate.h gives the image back).
// The image does not keep the item object: a block that record sets copy byte for byte
// cannot hold a reference, so pItem is null in attached images.
//
// Deleted occurrences are the pattern's "Exceptions" whose "Deleted" is set. They are written
// the object model's way: writing a pattern starts it afresh, without exceptions, and each
// occurrence to delete is then fetched with the pattern's "GetOccurrence" and deleted.
#pragma once

#include <memory>

#include "common/calendar/CommDate.h"
#include "common/calendar/CommDateMgr.h"
#include "common/misc/CxFailure.h"
#include "common/misc/DispCmd.h"
#include "common/outlook/OlComm.h"

// Outlook's recurrence types ("RecurrenceType"); -1 marks a single appointment.
#define OL_RECURRENCE_NONE (-1)
#define OL_RECURS_DAILY 0
#define OL_RECURS_WEEKLY 1
#define OL_RECURS_MONTHLY 2
#define OL_RECURS_MONTH_NTH 3
#define OL_RECURS_YEARLY 5
#define OL_RECURS_YEAR_NTH 6

// The most entries of a pattern's "Exceptions" collection read: far more than any calendar
// holds, so only a broken count stops there.
#define OL_MAX_EXCEPTION_ITEMS 100000
// The most clock shifts of a pattern read: a series kept in another zone meets four clock
// changes a year at most, so 1970 to 2100 takes fewer.
#define OL_MAX_CLOCK_SHIFTS 1024

#define OL_FOLDER_CALENDAR 9
#define OL_APPOINTMENT_ITEM 1

struct OlDateItem {
  BYTE bAllDayEvent;
  INT nDuration;  // minutes
  DATE dtEnd;
  char szEntryID[1024];
  char szStoreID[1024];
  BYTE bIsRecurring;
  char szLocation[256];
  BYTE bReminderSet;
  DATE dtReminderTime;
  INT nReminderMinutesBeforeStart;
  DATE dtStart;
  char szSubject[256];
  char szBody[20480];
  INT nRecurrenceType;  // OL_RECURRENCE_NONE when not recurring
  INT nInterval;
  INT nDayOfWeekMask;
  INT nDayOfMonth;
  INT nInstance;
  INT nMonthOfYear;
  DATE dtPatternEndDate;
  char szFolderName[32];
  char szCategories[256];
  DATE dtCreationTime;
  DATE dtLastModificationTime;
  // Local days (at 00:00) of the deleted occurrences, ascending: the latest ones when the
  // item has more than a record keeps.
  INT nExceptionCount;
  DATE dtExceptions[REPEAT_MAX_EXCEPTIONS];
  IDispatch* pItem;  // the item read from; not owned, null in attached images
};

class OlDateUtil : public OlBaseUtil {
 public:
  OlDateUtil();
  ~OlDateUtil() override;

  bool Load() override;
  void Clear() override;
  void Init() override;
  void Term() override;
  bool Connect() override;
  void Disconnect() override;

  CommDateMgr* GetRecordSet() { return m_pDateMgr.get(); }
  // Why the last load or item write failed, as Outlook gave it.
  const CxFailure& GetLastFailure() const { return m_Failure; }

  // Writes one record that comes from the other store: a changed counterpart is updated in
  // place, a new record is added as a new item and to the set. False when nothing was
  // written (also for a record Outlook already has unchanged).
  bool SyncRecord(CommDate* pDate);

  // The two halves of SyncRecord, for a caller that knows its target: pDate's contents over
  // the set's record pPeer at nPos (which stays the Outlook item it is), and a new item.
  bool UpdateAt(CommDate* pDate, CommDate* pPeer, int nPos);
  bool AddNew(CommDate* pDate);
  // Deletes the item of the set's record at nPos, which leaves the set.
  bool DeleteItem(int nPos);

  bool AddItem(CommDate* pDate);
  // nPos is the record's position in the set; the folder's items count from 1.
  bool UpdateItem(CommDate* pDate, int nPos);
  bool ReadItem(IDispatch* pItem, OlDateItem* pImage);
  bool WriteItem(IDispatch* pItem, OlDateItem* pImage);
  bool ItemToRecord(const OlDateItem* pImage, CommDate* pDate);
  bool RecordToItem(const CommDate* pDate, OlDateItem* pImage);
  bool LoadFolder(CDispCmd* pFolder);

 protected:
  // The folder's item at nPos (from 0), owned by the caller; null, with a log line, when the
  // folder or the item cannot be had.
  IDispatch* ItemAt(int nPos);
  // Deletes the occurrences the image lists that the saved item still has.
  bool DeleteOccurrences(CDispCmd* pItem, const OlDateItem* pImage);

  std::unique_ptr<CDispCmd> m_pFolder;
  std::unique_ptr<CommDateMgr> m_pDateMgr;
  bool m_bIncludeNote;
  CxFailure m_Failure;
  std::vector<CommClockShift> m_vClockShifts;  // of the item ReadItem read last
};
