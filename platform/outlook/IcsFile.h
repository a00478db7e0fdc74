// The calendar file behind the Outlook stand-in. The file's text is the truth: it is kept as
// a sequence of raw blocks (the text before the first component of the calendar, each
// component of the calendar, the text after it) and every save writes the unchanged blocks
// back byte for byte. Only an event that an item write changed is re-emitted, and within it
// only the properties that changed are replaced, so content this program does not model
// (attendees, exceptions, to-dos, unknown properties and parameters) survives untouched.
//
// Each component block is parsed by libical on its own, in time linear in its length however
// long a line is, so a block and its component belong together by construction, whatever
// order the file keeps zones, events and to-dos in. Reading is lenient, as other calendar
// programs are: an empty or malformed property, a date no calendar has or a stray line is
// kept byte for byte and ignored for meaning; an event without a usable start, or one that
// repeats by a rule the object model cannot show exactly, is kept in the file and is no item;
// what was passed over is told once per open (GetLoadReport). Only a file that is no
// calendar at all is refused. A file may hold several VCALENDAR objects: all are read, an
// item is saved back into the one it came from, and new items go into the first. TZIDs
// resolve through the file's VTIMEZONE components. A UTF-8 byte order mark before
// BEGIN:VCALENDAR stays in the head block. The only block a save adds besides events is the
// VTIMEZONE of a zone the new times use, before the first component.
//
// Saves go to the journal beside the file (IcsJournal.h), and the file is rewritten whole
// only by a fold: when the journal has outgrown the file, when the owner calls Fold (as the
// stand-in does when the last object of the calendar is released), and when an open finds
// the saves of a run that ended without folding. The file always holds a folded state.
//
// Another program's change: the file is compared (size, times, node) with what was last read
// or written before every save, and in full (CX_FILE_STAMP) when a fold replaces it. A save
// after a change fails with OL_E_OBJECT_CHANGED and a fold leaves the changed file alone.
// Saves journaled before the change then stay in the journal, and the next open, finding a
// journal written for another text than the file holds, sets it aside unapplied
// ("<file>.journal.unapplied-<n>", logged) and shows the file as the other program left it:
// neither side's change is lost, and the next synchronization offers those records again.
#pragma once

#include <libical/ical.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/outlook/IcsZone.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinTypes.h"

class OlIcsJournal;
struct OlJournalRecord;

// Where saves go when the calendar is not a file but a calendar server, which keeps each
// calendar object (an event, its changed instances and their zones) as an item of its own.
class OlIcsRemote {
 public:
  virtual ~OlIcsRemote() = default;
  // Keeps the whole new text of calendar object nCalendar (bNew: the server has none yet).
  // On failure the last error text (GetFailure) says why: OL_E_OBJECT_CHANGED when another
  // program changed the item, OL_E_DISK_ERROR when the server did not confirm the save.
  virtual HRESULT Keep(size_t nCalendar, const std::string& strText, bool bNew) = 0;
  // Called by Fold: what the saves leave to remember is remembered.
  virtual HRESULT Finish() = 0;
  virtual const std::string& GetFailure() const = 0;
};

// MAPI's status codes for a damaged store and a failed write.
#define OL_E_CORRUPT_DATA ((HRESULT)0x8004011BL)
#define OL_E_DISK_ERROR ((HRESULT)0x80040116L)
// Journals smaller than this are not folded however small the file is: a new calendar would
// otherwise be rewritten after its first few saves.
#define OL_ICS_FOLD_FLOOR (64 * 1024)

// MAPI's status for a store that changed underneath an open folder.
#define OL_E_OBJECT_CHANGED ((HRESULT)0x80040109L)

// One logical line of iCalendar text: a physical line and its folded continuations.
struct OlIcsLine {
  size_t nBegin = 0;
  size_t nEnd = 0;       // one past the line break of its last physical line
  std::string strName;   // upper-cased property name; empty for a blank line
  std::string strValue;  // upper-cased, trimmed value; only kept for BEGIN and END
};
std::vector<OlIcsLine> OlSplitIcsLines(const std::string& strText);

// Text made with CR LF line breaks (libical's), given the line break of the file it joins.
std::string OlToLineBreak(const std::string& strCrLfText, const char* szLineBreak);

class OlIcsFile {
 public:
  ~OlIcsFile();

  // Opens the file at szPath and replays the journal beside it, folding what it held. A
  // missing or empty file is an empty calendar (written by the first fold). Text that is not
  // a clean iCalendar object gives null and *phr = OL_E_CORRUPT_DATA, with the reason in
  // strError.
  static std::unique_ptr<OlIcsFile> Open(const std::string& strPath, HRESULT* phr,
                                         std::string* pstrError);
  // The same over text in memory (no path; Save fails). Used by the fuzz target.
  static std::unique_ptr<OlIcsFile> FromText(const std::string& strText, HRESULT* phr,
                                             std::string* pstrError);

  // The same over the calendar objects of a server, one VCALENDAR each in strText, in the
  // order the remote numbers them; saves go to the remote, which the object owns. strName
  // stands for the path.
  static std::unique_ptr<OlIcsFile> FromRemote(const std::string& strText,
                                               const std::string& strName,
                                               std::unique_ptr<OlIcsRemote> pRemote, HRESULT* phr,
                                               std::string* pstrError);
  // The number of calendar objects (VCALENDARs) the text holds.
  size_t GetCalendarCount() const { return m_calendars.size(); }
  OlIcsRemote* GetRemote() const { return m_pRemote.get(); }

  const std::string& GetPath() const { return m_strPath; }
  // The calendar's display name (X-WR-CALNAME), empty when the file gives none.
  std::string GetCalendarName() const;

  // Appointment items, in file order: events that have a usable start, changed instances
  // (RECURRENCE-ID) included, except those left out (see GetLoadReport).
  size_t GetItemCount() const { return m_itemBlocks.size(); }
  icalcomponent* GetItem(size_t nItem) const;
  // An item is an event, or one extra date (RDATE) of an event: nExtra counts its event's
  // RDATE values from 0, -1 for the event itself. An extra date that a changed instance
  // (RECURRENCE-ID) stands for is that instance's item instead; a save of an extra date's
  // item appends such an instance, which then takes its place.
  int GetItemExtra(size_t nItem) const;
  // The EntryID of an extra date's item ("uid?20110314T090000"); empty for an event.
  const std::string& GetItemIdentity(size_t nItem) const;
  // The RECURRENCE-IDs of the changed instances the file holds for a series' UID.
  std::vector<icalproperty*> GetOverrides(const std::string& strUid) const;
  // Resolves a TZID of this file (its VTIMEZONEs first, then the system's zone database).
  icaltimezone* FindZone(const char* szTzid);
  // How the local clock stands against the zone of a TZID (pZone; UTC for an empty TZID),
  // worked out once per file for all the series kept in that zone.
  const std::vector<OlZoneStep>& ZoneSteps(const std::string& strTzid, icaltimezone* pZone);
  // What the last open passed over: one line per kind ("3 empty or malformed properties,
  // kept as written (lines 12, 40, 77)"), empty when it read everything.
  const std::vector<std::string>& GetLoadReport() const { return m_report; }
  // Whether the calendar holds a VTIMEZONE of that TZID.
  bool HasZone(const std::string& strTzid) const;

  // Replaces the text of item nItem and records that in the journal. On failure nothing
  // changes, in memory or on disk, and the last error says why: OL_E_OBJECT_CHANGED when
  // another program changed the file, OL_E_DISK_ERROR when it cannot be written. A non-empty
  // strZoneBlock is a VTIMEZONE the new text refers to, added before the calendar's first
  // component with it.
  HRESULT ReplaceItem(size_t nItem, const std::string& strBlock,
                      const std::string& strZoneBlock = std::string());
  // Appends a new event (a whole BEGIN:VEVENT .. END:VEVENT block) after the calendar's last
  // component, as above; *pnItem receives its item index. strZoneBlock as above.
  HRESULT AppendItem(const std::string& strBlock, size_t* pnItem,
                     const std::string& strZoneBlock = std::string());

  // Removes event item nItem from the calendar, as above. An extra date's item, and an event
  // that has extra dates' items, cannot be removed alone (DISP_E_BADINDEX): the item list
  // would lose more than one item.
  HRESULT RemoveItem(size_t nItem);

  // The saves between BeginGroup and EndGroup are one change should the process be cut off:
  // the next open applies all of them or none (a repeating item's save and the deletion of
  // its days). A save of another group's owner ends it first; nothing folds inside a group.
  void BeginGroup();
  void EndGroup();

  // Writes the saves the journal holds into the file in one atomic replacement and removes
  // the journal; S_OK at once when none are pending. On failure the file and the journal
  // stay as they were (OL_E_OBJECT_CHANGED when another program changed the file).
  HRESULT Fold();
  // The journal size below which no save folds, however small the file (tests lower it).
  static void SetFoldFloor(size_t nBytes);

  // The raw text of item nItem, and the line break the file uses ("\r\n" or "\n").
  const std::string& GetItemText(size_t nItem) const;
  const char* GetLineBreak() const { return m_bCrLf ? "\r\n" : "\n"; }

  // The whole text as a save would write it.
  std::string ComposeText() const;

 private:
  struct Block {
    std::string strText;
    icalcomponent* pComponent = nullptr;  // in its calendar's tree; null for plain text blocks
    bool bComponent = false;
    size_t nCalendar = 0;  // which VCALENDAR of the file it belongs to
  };
  // What one kind of passed-over content amounted to in a load.
  struct Skipped {
    const char* szWhat;
    size_t nCount = 0;
    std::vector<size_t> lines;  // the first few, 1-based
  };

  // What the stat of the file showed when it was last read or written.
  struct DiskIdentity {
    bool bExists = false;
    unsigned long long nDevice = 0, nNode = 0, nSize = 0;
    long long nModified = 0, nChanged = 0;  // nanoseconds
    bool operator==(const DiskIdentity& other) const = default;
  };

  OlIcsFile() = default;
  static std::unique_ptr<OlIcsFile> Parse(const std::string& strText, HRESULT* phr,
                                          std::string* pstrError);
  static DiskIdentity IdentityOf(const std::string& strPath, unsigned* pnMode = nullptr);
  // Takes over the journal found beside the file: replays it, sets it aside or removes it.
  // False when a replay failed half-way: this object must then be made afresh.
  bool TakeJournal(const std::string& strText);
  void SetJournalAside(const char* szWhy);
  HRESULT ApplyRecord(const OlJournalRecord& record);
  // The check before every save: the file unchanged, the journal folded when it outgrew it.
  HRESULT BeforeSave();
  // Makes a change in memory (a replacement of item nItem, or an append when bAppend), then
  // has persist() keep it; when that fails, the change is taken back.
  // nCalendar is where an append goes: SIZE_MAX for the file's insertion point.
  HRESULT Change(bool bAppend, size_t nItem, const std::string& strBlock,
                 const std::string& strZoneBlock, const std::function<HRESULT()>& persist,
                 size_t* pnItem, size_t nCalendar = SIZE_MAX);
  // A save of a server's calendar: the calendar object it touches is sent whole.
  HRESULT RemoteChange(bool bAppend, size_t nItem, const std::string& strBlock,
                       const std::string& strZoneBlock, size_t* pnItem);
  // A deletion from a server's calendar: its calendar object sent without the item, or
  // deleted when nothing else is left in it.
  HRESULT RemoteRemove(size_t nItem);
  // The text of calendar object nCalendar, and its first and last block.
  std::string CalendarText(size_t nCalendar, size_t* pnFirst = nullptr,
                           size_t* pnLast = nullptr) const;
  // Appends a record to the journal, making the journal first when there is none.
  HRESULT Journal(const std::string& strRecord);
  bool DiskUnchanged() const;
  HRESULT WriteAtomically(const std::string& strText, CX_FILE_STAMP* pWritten) const;
  // One component of the given kind, without errors (an event must be an item); else null.
  icalcomponent* ParseBlock(const std::string& strBlock, icalcomponent_kind kind) const;
  // Sorts the component blocks into items and notes what was passed over.
  void ClassifyComponents(const std::vector<size_t>& componentLines);
  // Adds an item for every extra date of an event that no instance stands for.
  void AddExtraDateItems();
  void PushItem(size_t nBlock, int nExtra = -1, std::string strIdentity = std::string());
  void NoteSkipped(size_t nKind, size_t nLine);
  void MakeReport();
  // The item whose UID (and RECURRENCE-ID) are those of pEvent; the item count when none.
  size_t FindItemLike(icalcomponent* pEvent) const;
  // Block insertion and removal that keep the item and insertion indices on their blocks.
  size_t FirstComponentBlock() const;
  void InsertBlock(size_t nAt, Block block);
  void EraseBlock(size_t nAt);
  // Takes item nItem out of memory: its block, its component and its place in the list.
  HRESULT Drop(size_t nItem, const std::function<HRESULT()>& persist);

  std::string m_strPath;
  std::string m_strJournalPath;
  std::unique_ptr<OlIcsJournal> m_pJournal;  // the journal this object owns, null when none
  CX_FILE_STAMP m_diskStamp{};               // the file as last read or written
  DiskIdentity m_diskIdentity;
  unsigned m_nDiskMode = 0666;
  size_t m_nNoFoldBelow = 0;                // after a failed fold, the journal size to try again at
  DWORD m_dwJournalUnread = ERROR_SUCCESS;  // why the journal found at the open was not read
  bool m_bInGroup = false;                  // between BeginGroup and EndGroup
  bool m_bGroupMarked = false;              // and its beginning is in the journal
  bool m_bCrLf = true;
  std::vector<Block> m_blocks;  // head, components and text runs, tail
  size_t m_nInsertAt = 0;       // where new components go (before the first END:VCALENDAR)
  std::vector<size_t> m_itemBlocks;
  std::vector<int> m_itemExtras;              // per item: -1, or the RDATE value it is
  std::vector<std::string> m_itemIdentities;  // per item: the EntryID of an extra date
  size_t m_nExtraItems = 0;                   // items that are still an extra date
  // One VCALENDAR of libical's per calendar object of the file, each owning the components
  // parsed from that calendar's blocks (each block parsed on its own, so that a block and
  // its component belong together whatever order the file keeps them in).
  std::vector<icalcomponent*> m_calendars;
  std::vector<Skipped> m_skipped;
  // The changed instances by UID, made on the first question after a change: a load asks
  // once for every series.
  mutable std::map<std::string, std::vector<icalproperty*>> m_overrides;
  mutable bool m_bOverridesKnown = false;
  std::vector<std::string> m_report;
  std::vector<std::pair<std::string, icaltimezone*>> m_zones;  // cache of resolved TZIDs
  std::vector<icaltimezone*> m_ownedZones;
  std::map<std::string, std::vector<OlZoneStep>> m_zoneSteps;
  std::unique_ptr<OlIcsRemote> m_pRemote;  // null for a file
};
