// The calendar file behind the Outlook stand-in. The file's text is the truth: it is kept as
// a sequence of raw blocks (the text before the first component of the calendar, each
// component of the calendar, the text after it) and every save writes the unchanged blocks
// back byte for byte. Only an event that an item write changed is re-emitted, and within it
// only the properties that changed are replaced, so content this program does not model
// (attendees, exceptions, to-dos, unknown properties and parameters) survives untouched.
//
// libical parses the whole text once on open, in time linear in its length however long a
// line is (a file it cannot parse cleanly, or with a date no calendar has, is refused and
// never written) and gives each component block its parsed component; the parsed tree also
// resolves TZID references through the file's VTIMEZONE components. A UTF-8 byte order mark
// before BEGIN:VCALENDAR stays in the head block. The only block a save adds besides events
// is the VTIMEZONE of a zone the new times use, before the first component.
#pragma once

#include <libical/ical.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

// MAPI's status codes for a damaged store and a failed write.
#define OL_E_CORRUPT_DATA ((HRESULT)0x8004011BL)
#define OL_E_DISK_ERROR ((HRESULT)0x80040116L)

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

  // Opens the file at szPath. A missing or empty file is an empty calendar (written on the
  // first save). Text that is not a clean iCalendar object gives null and *phr =
  // OL_E_CORRUPT_DATA, with the reason in strError.
  static std::unique_ptr<OlIcsFile> Open(const std::string& strPath, HRESULT* phr,
                                         std::string* pstrError);
  // The same over text in memory (no path; Save fails). Used by the fuzz target.
  static std::unique_ptr<OlIcsFile> FromText(const std::string& strText, HRESULT* phr,
                                             std::string* pstrError);

  const std::string& GetPath() const { return m_strPath; }
  // The calendar's display name (X-WR-CALNAME), empty when the file gives none.
  std::string GetCalendarName() const;

  // Appointment items, in file order: events that have a start and are not the changed
  // instance of a recurring event.
  size_t GetItemCount() const { return m_itemBlocks.size(); }
  icalcomponent* GetItem(size_t nItem) const;
  // Resolves a TZID of this file (its VTIMEZONEs first, then the system's zone database).
  icaltimezone* FindZone(const char* szTzid);
  // Whether the calendar holds a VTIMEZONE of that TZID.
  bool HasZone(const std::string& strTzid) const;

  // Replaces the text of item nItem and writes the file. On failure nothing changes, in
  // memory or on disk. A non-empty strZoneBlock is a VTIMEZONE the new text refers to, added
  // before the calendar's first component in the same write.
  HRESULT ReplaceItem(size_t nItem, const std::string& strBlock,
                      const std::string& strZoneBlock = std::string());
  // Appends a new event (a whole BEGIN:VEVENT .. END:VEVENT block) after the calendar's last
  // component and writes the file; *pnItem receives its item index. strZoneBlock as above.
  HRESULT AppendItem(const std::string& strBlock, size_t* pnItem,
                     const std::string& strZoneBlock = std::string());

  // The raw text of item nItem, and the line break the file uses ("\r\n" or "\n").
  const std::string& GetItemText(size_t nItem) const;
  const char* GetLineBreak() const { return m_bCrLf ? "\r\n" : "\n"; }

  // The whole text as a save would write it.
  std::string ComposeText() const;

 private:
  struct Block {
    std::string strText;
    icalcomponent* pComponent = nullptr;  // in m_pRoot's tree; null for plain text blocks
    bool bComponent = false;
  };

  OlIcsFile() = default;
  static std::unique_ptr<OlIcsFile> Parse(const std::string& strText, HRESULT* phr,
                                          std::string* pstrError);
  HRESULT WriteAtomically(const std::string& strText) const;
  // One component of the given kind, without errors (an event must be an item); else null.
  icalcomponent* ParseBlock(const std::string& strBlock, icalcomponent_kind kind) const;
  // Block insertion and removal that keep the item and insertion indices on their blocks.
  size_t FirstComponentBlock() const;
  void InsertBlock(size_t nAt, Block block);
  void EraseBlock(size_t nAt);
  // Adds the zone block (if any) and writes the whole text; on failure takes the zone out
  // again and calls undo, which must put the item blocks back as they were.
  HRESULT WriteWithZone(const std::string& strZoneBlock, const std::function<void()>& undo);

  std::string m_strPath;
  bool m_bCrLf = true;
  std::vector<Block> m_blocks;  // head, components and text runs, tail
  size_t m_nInsertAt = 0;       // where new components go (before END:VCALENDAR)
  std::vector<size_t> m_itemBlocks;
  icalcomponent* m_pRoot = nullptr;      // what libical parsed; owns the components
  icalcomponent* m_pCalendar = nullptr;  // the VCALENDAR inside m_pRoot
  std::vector<std::pair<std::string, icaltimezone*>> m_zones;  // cache of resolved TZIDs
  std::vector<icaltimezone*> m_ownedZones;
};
