// How the file is cut into blocks: the text is read as logical lines (a physical line plus
// its folded continuations, which start with a blank or a tab). The head runs to the end of
// the BEGIN:VCALENDAR line; then every BEGIN at calendar depth opens a component block that
// ends with its matching END, and other lines at calendar depth form text blocks; the tail
// starts at END:VCALENDAR and holds everything after it. libical's parse of the same text
// must yield the same number of components in the calendar, in the same order, or the file
// is refused, so that a block and its parsed component always belong together.
#include "platform/outlook/IcsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/automation/ComRuntime.h"
#include "platform/outlook/IcsEvent.h"
#include "platform/outlook/IcsJournal.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinHandle.h"
#include "platform/win/WinOs.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinTime.h"

namespace {

// A UTF-8 byte order mark, which some programs put before BEGIN:VCALENDAR.
constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr size_t kBomSize = 3;

bool StartsWithBom(const std::string& strText) {
  return strText.compare(0, kBomSize, kBom) == 0;
}

// Deeper nesting than this is no calendar anyone writes; it only makes a parser recurse.
constexpr int kMaxNesting = 32;

std::string Upper(std::string str) {
  for (char& ch : str) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return str;
}

// libical's own string reader looks for the end of the line again for every piece of it
// that it hands to the parser, so one long line (a pasted attachment) costs the square of its
// length. This reader finds each line's end once and hands it over piece by piece.
struct PieceReader {
  const char* pPos;
  const char* pEnd;
  const char* pLineEnd;  // one past the '\n' of the line pPos is in
};

char* NextPiece(char* szOut, size_t nSize, void* pData) {
  PieceReader* pReader = static_cast<PieceReader*>(pData);
  if (pReader->pPos >= pReader->pEnd || nSize < 2) return nullptr;
  if (pReader->pLineEnd <= pReader->pPos) {
    const void* pBreak =
        std::memchr(pReader->pPos, '\n', static_cast<size_t>(pReader->pEnd - pReader->pPos));
    pReader->pLineEnd = pBreak != nullptr ? static_cast<const char*>(pBreak) + 1 : pReader->pEnd;
  }
  size_t nPiece = static_cast<size_t>(pReader->pLineEnd - pReader->pPos);
  if (nPiece > nSize - 1) nPiece = nSize - 1;
  std::memcpy(szOut, pReader->pPos, nPiece);
  szOut[nPiece] = '\0';
  pReader->pPos += nPiece;
  return szOut;
}

// libical's parse of text without NUL bytes, in time linear in its length.
icalcomponent* ParseText(const char* szText, size_t nSize) {
  PieceReader reader{szText, szText + nSize, szText};
  icalparser* pParser = icalparser_new();
  if (pParser == nullptr) return nullptr;
  icalparser_set_gen_data(pParser, &reader);
  // As libical's own string parse does: damaged values become error properties, which the
  // callers count, instead of ending the parse.
  const icalerrorstate previous = icalerror_get_error_state(ICAL_MALFORMEDDATA_ERROR);
  icalerror_set_error_state(ICAL_MALFORMEDDATA_ERROR, ICAL_ERROR_NONFATAL);
  icalcomponent* pRoot = icalparser_parse(pParser, NextPiece);
  icalerror_set_error_state(ICAL_MALFORMEDDATA_ERROR, previous);
  icalparser_free(pParser);
  return pRoot;
}

// libical reads 20110231 as a date; no calendar has such a day.
bool IsRealTime(const icaltimetype& t) {
  if (icaltime_is_null_time(t)) return true;
  if (!CxIsValidDate(t.year, t.month, t.day)) return false;
  return t.is_date || (t.hour < 24 && t.minute < 60 && t.second <= 60);
}

bool HasRealTimes(icalcomponent* pEvent) {
  for (icalproperty_kind kind : {ICAL_DTSTART_PROPERTY, ICAL_DTEND_PROPERTY}) {
    for (icalproperty* pProp = icalcomponent_get_first_property(pEvent, kind); pProp != nullptr;
         pProp = icalcomponent_get_next_property(pEvent, kind)) {
      if (!IsRealTime(icalvalue_get_datetime(icalproperty_get_value(pProp)))) return false;
    }
  }
  for (icalproperty* pRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY);
       pRule != nullptr; pRule = icalcomponent_get_next_property(pEvent, ICAL_RRULE_PROPERTY)) {
    if (!IsRealTime(icalproperty_get_rrule(pRule).until)) return false;
  }
  return true;
}

// An event with a start that is a real time: a series, a single event or a changed instance.
bool IsItemEvent(icalcomponent* pComponent) {
  if (icalcomponent_isa(pComponent) != ICAL_VEVENT_COMPONENT) return false;
  icalproperty* pStart = icalcomponent_get_first_property(pComponent, ICAL_DTSTART_PROPERTY);
  if (pStart == nullptr) return false;
  const icaltimetype start = icalproperty_get_dtstart(pStart);
  return !icaltime_is_null_time(start) && IsRealTime(start);
}

// What a load passes over, one kind each; the report lists them in this order.
enum SkipKind : size_t {
  SKIP_STRAY,
  SKIP_UNREADABLE,
  SKIP_MALFORMED,
  SKIP_NO_SUCH_DATE,
  SKIP_NO_START,
  SKIP_RULE,
  SKIP_KINDS
};
// Line numbers a report line names at most; the count says how many there were.
constexpr size_t kReportLines = 5;

size_t g_nFoldFloor = OL_ICS_FOLD_FLOOR;
// Reads of a file that another program rewrites in place meanwhile before giving up.
constexpr int kMaxReadAttempts = 3;
// Far beyond any calendar; a file this big is not read into memory.
constexpr off_t kMaxCalendarBytes = 512LL * 1024 * 1024;

// The whole text of the file with its stamp, which must describe exactly the text read. A
// missing file is an empty text with the stamp of no bytes.
bool ReadStamped(const std::string& strPath, std::string* pstrText, CX_FILE_STAMP* pStamp,
                 HRESULT* phr, std::string* pstrError) {
  *phr = OL_E_DISK_ERROR;
  for (int nAttempt = 0; nAttempt < kMaxReadAttempts; ++nAttempt) {
    pstrText->clear();
    const int fd = CxOsOpen(strPath.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
      if (errno != ENOENT && errno != ENOTDIR) {
        *pstrError = "The calendar file could not be opened.";
        return false;
      }
      *pStamp = CX_FILE_STAMP{};
      pStamp->nContentHash = CxHashContents("", 0);
      return true;
    }
    // A pipe would never end and a device never stop giving bytes.
    struct stat stOpen {};
    if (::fstat(fd, &stOpen) != 0 || !S_ISREG(stOpen.st_mode) ||
        stOpen.st_size > kMaxCalendarBytes) {
      CxOsClose(fd);
      *pstrError = "The calendar file is not a plain file of a calendar's size.";
      return false;
    }
    char buffer[64 * 1024];
    bool bRead = true;
    for (;;) {
      const ssize_t nRead = CxOsRead(fd, buffer, sizeof(buffer));
      if (nRead <= 0) {
        bRead = nRead == 0;
        break;
      }
      pstrText->append(buffer, static_cast<size_t>(nRead));
      if (pstrText->size() > static_cast<size_t>(kMaxCalendarBytes)) {
        bRead = false;
        break;
      }
    }
    HANDLE hFile = CxAdoptDescriptor(fd, true, false, nullptr);
    const bool bStamped = bRead && CxGetFileStamp(hFile, pStamp);
    CloseHandle(hFile);
    if (!bStamped) {
      *pstrError = "The calendar file could not be read.";
      return false;
    }
    if (pStamp->nSize == pstrText->size() &&
        pStamp->nContentHash == CxHashContents(pstrText->data(), pstrText->size())) {
      return true;
    }
  }
  *pstrError = "The calendar file kept changing while it was read.";
  return false;
}

}  // namespace

// The length of the run of blank lines at nPos when a folded continuation line follows it,
// else 0.
size_t BlankLinesBeforeFold(const std::string& strText, size_t nPos) {
  size_t nEnd = nPos;
  while (nEnd < strText.size() && (strText[nEnd] == '\r' || strText[nEnd] == '\n')) ++nEnd;
  if (nEnd == nPos || nEnd >= strText.size() || strText[nEnd - 1] != '\n') return 0;
  return strText[nEnd] == ' ' || strText[nEnd] == '\t' ? nEnd - nPos : 0;
}

// A component's text as libical can read it: without the blank lines some programs leave
// inside a folded line, and with any NUL byte made a "?". The file keeps the text as it was.
std::string ReadableText(const std::string& strBlock, bool* pbCleaned) {
  *pbCleaned = false;
  if (strBlock.find('\0') == std::string::npos && strBlock.find("\n\n") == std::string::npos &&
      strBlock.find("\n\r\n") == std::string::npos) {
    return strBlock;
  }
  std::string strOut;
  strOut.reserve(strBlock.size());
  for (size_t nPos = 0; nPos < strBlock.size(); ++nPos) {
    const char ch = strBlock[nPos];
    if (ch == '\n') {
      strOut.push_back(ch);
      const size_t nBlank = BlankLinesBeforeFold(strBlock, nPos + 1);
      if (nBlank > 0) {
        nPos += nBlank;
        *pbCleaned = true;
      }
      continue;
    }
    if (ch == '\0') {
      strOut.push_back('?');
      *pbCleaned = true;
      continue;
    }
    strOut.push_back(ch);
  }
  return strOut;
}

// Blank lines are kept as lines without a name. Only a line's name (and the value of BEGIN
// and END) is unfolded: the rest of a long note is passed over, not copied.
std::vector<OlIcsLine> OlSplitIcsLines(const std::string& strText) {
  std::vector<OlIcsLine> lines;
  size_t nPos = 0;
  const size_t nSize = strText.size();
  while (nPos < nSize) {
    OlIcsLine line;
    line.nBegin = nPos;
    std::string strUnfolded;
    size_t nNameEnd = std::string::npos;
    bool bHeadDone = false;  // the name is known and its value is not needed
    bool bFirst = true;
    while (nPos < nSize && (bFirst || strText[nPos] == ' ' || strText[nPos] == '\t' ||
                            BlankLinesBeforeFold(strText, nPos) > 0)) {
      // Some programs leave blank lines inside a folded line; other readers unfold across
      // them, and so does this one.
      if (!bFirst && strText[nPos] != ' ' && strText[nPos] != '\t') {
        nPos += BlankLinesBeforeFold(strText, nPos);
      }
      size_t nBreak = strText.find('\n', nPos);
      size_t nLineEnd = nBreak == std::string::npos ? nSize : nBreak + 1;
      size_t nContentEnd = nBreak == std::string::npos ? nSize : nBreak;
      if (nContentEnd > nPos && strText[nContentEnd - 1] == '\r') --nContentEnd;
      size_t nContentBegin = bFirst ? nPos : nPos + 1;
      if (!bHeadDone && nContentEnd > nContentBegin) {
        strUnfolded.append(strText, nContentBegin, nContentEnd - nContentBegin);
        if (line.nBegin == 0 && bFirst && StartsWithBom(strUnfolded)) {
          strUnfolded.erase(0, kBomSize);
        }
        nNameEnd = strUnfolded.find_first_of(";:");
        if (nNameEnd != std::string::npos) {
          line.strName = Upper(CxTrim(strUnfolded.substr(0, nNameEnd)));
          bHeadDone = line.strName != "BEGIN" && line.strName != "END";
        }
      }
      nPos = nLineEnd;
      bFirst = false;
    }
    line.nEnd = nPos;
    if (nNameEnd == std::string::npos) {
      line.strName = Upper(CxTrim(strUnfolded));
    } else if (!bHeadDone) {
      line.strValue = Upper(CxTrim(strUnfolded.substr(nNameEnd + 1)));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string OlToLineBreak(const std::string& strCrLfText, const char* szLineBreak) {
  if (std::strcmp(szLineBreak, "\r\n") == 0) return strCrLfText;
  std::string strOut;
  strOut.reserve(strCrLfText.size());
  for (size_t i = 0; i < strCrLfText.size(); ++i) {
    if (strCrLfText[i] == '\r' && i + 1 < strCrLfText.size() && strCrLfText[i + 1] == '\n') {
      continue;
    }
    strOut.push_back(strCrLfText[i]);
  }
  return strOut;
}

OlIcsFile::~OlIcsFile() {
  for (icalcomponent* pCalendar : m_calendars) icalcomponent_free(pCalendar);
  for (icaltimezone* pZone : m_ownedZones) icaltimezone_free(pZone, 1);
}

std::unique_ptr<OlIcsFile> OlIcsFile::Open(const std::string& strPath, HRESULT* phr,
                                           std::string* pstrError) {
  std::string strText;
  CX_FILE_STAMP stamp{};
  DiskIdentity identity;
  unsigned nMode = 0666;
  if (!ReadStamped(strPath, &strText, &stamp, phr, pstrError)) return nullptr;
  identity = IdentityOf(strPath, &nMode);
  for (int nAttempt = 0; nAttempt < 2; ++nAttempt) {
    std::unique_ptr<OlIcsFile> pFile = Parse(strText, phr, pstrError);
    if (!pFile) return nullptr;
    pFile->m_strPath = strPath;
    pFile->m_strJournalPath = OlJournalPathFor(strPath);
    pFile->m_diskStamp = stamp;
    pFile->m_diskIdentity = identity;
    pFile->m_nDiskMode = nMode;
    // A replay that failed half-way was set aside; the file is then read as it stands.
    if (nAttempt > 0 || pFile->TakeJournal(strText)) return pFile;
  }
  return nullptr;
}

std::unique_ptr<OlIcsFile> OlIcsFile::FromText(const std::string& strText, HRESULT* phr,
                                               std::string* pstrError) {
  return Parse(strText, phr, pstrError);
}

std::unique_ptr<OlIcsFile> OlIcsFile::Parse(const std::string& strText, HRESULT* phr,
                                            std::string* pstrError) {
  *phr = OL_E_CORRUPT_DATA;
  std::unique_ptr<OlIcsFile> pFile(new OlIcsFile());
  const size_t nBom = StartsWithBom(strText) ? kBomSize : 0;
  if (strText.find_first_not_of(" \t\r\n", nBom) == std::string::npos) {
    // A calendar that was never written: it gets a calendar object on its first save.
    pFile->m_blocks.push_back(
        {"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Tidewell//DayBridge//EN\r\n"});
    pFile->m_blocks.push_back({"END:VCALENDAR\r\n"});
    pFile->m_nInsertAt = 1;
    pFile->m_calendars.push_back(icalcomponent_new_vcalendar());
    *phr = S_OK;
    return pFile;
  }
  std::vector<OlIcsLine> lines = OlSplitIcsLines(strText);
  size_t nLine = 0;
  while (nLine < lines.size() && lines[nLine].strName.empty()) ++nLine;
  if (nLine == lines.size() || lines[nLine].strName != "BEGIN" ||
      lines[nLine].strValue != "VCALENDAR") {
    *pstrError = "The file does not start with a calendar object.";
    return nullptr;
  }
  // New lines follow the file's own line breaks.
  const size_t nFirstEnd = lines[nLine].nEnd;
  pFile->m_bCrLf =
      strText[nFirstEnd - 1] != '\n' || (nFirstEnd >= 2 && strText[nFirstEnd - 2] == '\r');

  // Text outside the calendars, BEGIN:VCALENDAR and calendar properties form text blocks;
  // each END:VCALENDAR starts a new one, so that new components can go in front of it.
  auto AppendText = [&](const OlIcsLine& line, bool bFresh) {
    if (bFresh || pFile->m_blocks.empty() || pFile->m_blocks.back().bComponent) {
      pFile->m_blocks.push_back({std::string()});
      pFile->m_blocks.back().nCalendar =
          pFile->m_calendars.empty() ? 0 : pFile->m_calendars.size() - 1;
    }
    pFile->m_blocks.back().strText.append(strText, line.nBegin, line.nEnd - line.nBegin);
  };
  std::vector<size_t> componentLines;  // the first line of each component block, 1-based
  bool bInCalendar = false;
  size_t nStray = 0;
  for (nLine = 0; nLine < lines.size();) {
    const OlIcsLine& line = lines[nLine];
    if (!bInCalendar) {
      if (line.strName == "BEGIN" && line.strValue == "VCALENDAR") {
        pFile->m_calendars.push_back(icalcomponent_new_vcalendar());
        bInCalendar = true;
      } else if (!line.strName.empty()) {
        ++nStray;
      }
      // Each calendar object starts a block of its own, so that its blocks are its text.
      AppendText(line, line.strName == "BEGIN" && line.strValue == "VCALENDAR");
      ++nLine;
      continue;
    }
    if (line.strName == "END") {
      if (line.strValue != "VCALENDAR") {
        // A stray END: other programs skip it, and so does this reader.
        pFile->NoteSkipped(SKIP_STRAY, nLine + 1);
        AppendText(line, false);
        ++nLine;
        continue;
      }
      if (pFile->m_calendars.size() == 1) pFile->m_nInsertAt = pFile->m_blocks.size();
      AppendText(line, true);
      bInCalendar = false;
      ++nLine;
      continue;
    }
    if (line.strName == "BEGIN") {
      std::vector<std::string> open{line.strValue};
      size_t nEnd = nLine + 1;
      for (; nEnd < lines.size() && !open.empty(); ++nEnd) {
        if (lines[nEnd].strName == "BEGIN") {
          if (open.size() >= kMaxNesting) {
            *pstrError = "The calendar's components are nested too deeply.";
            return nullptr;
          }
          open.push_back(lines[nEnd].strValue);
        } else if (lines[nEnd].strName == "END") {
          if (lines[nEnd].strValue != open.back()) {
            *pstrError = "An END line does not match its BEGIN line (line " +
                         std::to_string(nEnd + 1) + ").";
            return nullptr;
          }
          open.pop_back();
        }
      }
      if (!open.empty()) {
        *pstrError =
            "A component of the calendar is not closed (line " + std::to_string(nLine + 1) + ").";
        return nullptr;
      }
      Block block{strText.substr(line.nBegin, lines[nEnd - 1].nEnd - line.nBegin), nullptr, true,
                  pFile->m_calendars.size() - 1};
      pFile->m_blocks.push_back(std::move(block));
      componentLines.push_back(nLine + 1);
      nLine = nEnd;
      continue;
    }
    AppendText(line, false);
    ++nLine;
  }
  if (bInCalendar) {
    *pstrError = "The calendar object is not closed.";
    return nullptr;
  }
  // A NUL inside a component is one damaged value (a program's stray byte); anywhere else the
  // file is not calendar text.
  for (const Block& block : pFile->m_blocks) {
    if (!block.bComponent && block.strText.find('\0') != std::string::npos) {
      *pstrError = "The calendar file holds binary data.";
      return nullptr;
    }
  }
  if (nStray > 0) pFile->NoteSkipped(SKIP_STRAY, 0);
  pFile->ClassifyComponents(componentLines);
  pFile->MakeReport();
  *phr = S_OK;
  return pFile;
}

void OlIcsFile::ClassifyComponents(const std::vector<size_t>& componentLines) {
  size_t nComponent = 0;
  // Rules are judged once every zone is read: some programs write the zones after the events,
  // and a series' local days depend on its zone.
  std::vector<std::pair<size_t, size_t>> events;  // block, line
  for (size_t nBlock = 0; nBlock < m_blocks.size(); ++nBlock) {
    Block& block = m_blocks[nBlock];
    if (!block.bComponent) continue;
    const size_t nLine = nComponent < componentLines.size() ? componentLines[nComponent] : 0;
    ++nComponent;
    // The mark stays in the head block, so no component text starts with it.
    bool bCleaned = false;
    const std::string strReadable = ReadableText(block.strText, &bCleaned);
    icalcomponent* pComponent = ParseText(strReadable.data(), strReadable.size());
    if (bCleaned) NoteSkipped(SKIP_MALFORMED, nLine);
    if (pComponent == nullptr) {
      NoteSkipped(SKIP_UNREADABLE, nLine);
      continue;
    }
    block.pComponent = pComponent;
    icalcomponent_add_component(m_calendars[block.nCalendar], pComponent);
    if (icalcomponent_count_errors(pComponent) > 0) NoteSkipped(SKIP_MALFORMED, nLine);
    if (icalcomponent_isa(pComponent) != ICAL_VEVENT_COMPONENT) continue;
    if (!HasRealTimes(pComponent)) NoteSkipped(SKIP_NO_SUCH_DATE, nLine);
    if (!IsItemEvent(pComponent)) {
      NoteSkipped(SKIP_NO_START, nLine);
      continue;
    }
    events.emplace_back(nBlock, nLine);
  }
  for (const auto& [nBlock, nLine] : events) {
    icalcomponent* pEvent = m_blocks[nBlock].pComponent;
    if (!OlRuleIsExact(pEvent) || !OlRuleKeepsLocalDays(this, pEvent)) {
      NoteSkipped(SKIP_RULE, nLine);
      continue;
    }
    PushItem(nBlock);
  }
  AddExtraDateItems();
}

void OlIcsFile::PushItem(size_t nBlock, int nExtra, std::string strIdentity) {
  m_itemBlocks.push_back(nBlock);
  m_itemExtras.push_back(nExtra);
  m_itemIdentities.push_back(std::move(strIdentity));
  if (nExtra >= 0) ++m_nExtraItems;
}

void OlIcsFile::AddExtraDateItems() {
  // The identities of every event item, gathered only once an event has extra dates: most
  // calendars have none, and a long one would pay for them on every open.
  std::vector<std::string> taken;
  bool bTakenKnown = false;
  const size_t nEvents = m_itemBlocks.size();
  for (size_t nItem = 0; nItem < nEvents; ++nItem) {
    const size_t nBlock = m_itemBlocks[nItem];
    icalcomponent* pEvent = m_blocks[nBlock].pComponent;
    if (icalcomponent_get_first_property(pEvent, ICAL_RDATE_PROPERTY) == nullptr ||
        icalcomponent_get_first_property(pEvent, ICAL_RECURRENCEID_PROPERTY) != nullptr) {
      continue;
    }
    if (!bTakenKnown) {
      for (size_t n = 0; n < nEvents; ++n) {
        taken.push_back(OlIdentityOf(m_blocks[m_itemBlocks[n]].pComponent));
      }
      std::sort(taken.begin(), taken.end());
      bTakenKnown = true;
    }
    int nExtra = 0;
    for (const std::string& strIdentity : OlExtraDateIdentities(pEvent)) {
      if (!strIdentity.empty() && !std::binary_search(taken.begin(), taken.end(), strIdentity)) {
        PushItem(nBlock, nExtra, strIdentity);
      }
      ++nExtra;
    }
  }
}

int OlIcsFile::GetItemExtra(size_t nItem) const {
  return nItem < m_itemExtras.size() ? m_itemExtras[nItem] : -1;
}

const std::string& OlIcsFile::GetItemIdentity(size_t nItem) const {
  static const std::string strNone;
  return nItem < m_itemIdentities.size() ? m_itemIdentities[nItem] : strNone;
}

void OlIcsFile::NoteSkipped(size_t nKind, size_t nLine) {
  static const char* const kWhat[SKIP_KINDS] = {
      "line(s) outside any component or with a stray END, skipped",
      "component(s) libical could not read, kept as written",
      "component(s) with empty or malformed properties, read without them and kept as written",
      "event(s) with a date no calendar has (ignored)",
      "event(s) without a usable start, not shown",
      "event(s) repeating by a rule Outlook's patterns cannot hold exactly (several rules, "
      "finer than a day, days a month lacks, BYSETPOS, the n-th weekday of another zone's "
      "day and the like), not shown and kept as written",
  };
  if (m_skipped.empty()) {
    for (const char* szWhat : kWhat) m_skipped.push_back(Skipped{szWhat});
  }
  Skipped& skipped = m_skipped[nKind];
  ++skipped.nCount;
  if (nLine > 0 && skipped.lines.size() < kReportLines) skipped.lines.push_back(nLine);
}

void OlIcsFile::MakeReport() {
  m_report.clear();
  for (const Skipped& skipped : m_skipped) {
    if (skipped.nCount == 0) continue;
    std::string strLine = std::to_string(skipped.nCount) + " " + skipped.szWhat;
    if (!skipped.lines.empty()) {
      strLine += " (line";
      if (skipped.lines.size() > 1) strLine += "s";
      for (size_t i = 0; i < skipped.lines.size(); ++i) {
        strLine += (i == 0 ? " " : ", ") + std::to_string(skipped.lines[i]);
      }
      if (skipped.nCount > skipped.lines.size()) strLine += ", ...";
      strLine += ")";
    }
    m_report.push_back(std::move(strLine));
  }
}

std::string OlIcsFile::GetCalendarName() const {
  // Calendar properties sit in the text blocks of the first calendar.
  for (size_t nBlock = 0; nBlock < m_blocks.size(); ++nBlock) {
    const Block& block = m_blocks[nBlock];
    if (block.bComponent || block.nCalendar != 0) continue;
    for (const OlIcsLine& line : OlSplitIcsLines(block.strText)) {
      if (line.strName != "X-WR-CALNAME") continue;
      std::string strLine = block.strText.substr(line.nBegin, line.nEnd - line.nBegin);
      icalproperty* pProp = icalproperty_new_from_string(strLine.c_str());
      std::string strName;
      if (pProp != nullptr) {
        const char* szValue = icalproperty_get_x(pProp);
        strName = szValue != nullptr ? szValue : "";
        icalproperty_free(pProp);
      }
      return strName;
    }
    if (nBlock >= m_nInsertAt) break;
  }
  return std::string();
}

std::vector<icalproperty*> OlIcsFile::GetOverrides(const std::string& strUid) const {
  if (strUid.empty()) return {};
  if (!m_bOverridesKnown) {
    m_overrides.clear();
    for (size_t nItem = 0; nItem < m_itemBlocks.size(); ++nItem) {
      if (m_itemExtras[nItem] >= 0) continue;
      icalcomponent* pEvent = m_blocks[m_itemBlocks[nItem]].pComponent;
      icalproperty* pRecurrence =
          icalcomponent_get_first_property(pEvent, ICAL_RECURRENCEID_PROPERTY);
      const char* szUid = icalcomponent_get_uid(pEvent);
      if (pRecurrence != nullptr && szUid != nullptr) m_overrides[szUid].push_back(pRecurrence);
    }
    m_bOverridesKnown = true;
  }
  const auto found = m_overrides.find(strUid);
  return found != m_overrides.end() ? found->second : std::vector<icalproperty*>();
}

size_t OlIcsFile::FindItemLike(icalcomponent* pEvent) const {
  const std::string strIdentity = OlIdentityOf(pEvent);
  for (size_t nItem = 0; nItem < m_itemBlocks.size(); ++nItem) {
    if (m_itemExtras[nItem] < 0 &&
        OlIdentityOf(m_blocks[m_itemBlocks[nItem]].pComponent) == strIdentity) {
      return nItem;
    }
  }
  return m_itemBlocks.size();
}

icalcomponent* OlIcsFile::GetItem(size_t nItem) const {
  return nItem < m_itemBlocks.size() ? m_blocks[m_itemBlocks[nItem]].pComponent : nullptr;
}

const std::string& OlIcsFile::GetItemText(size_t nItem) const {
  static const std::string strNone;
  return nItem < m_itemBlocks.size() ? m_blocks[m_itemBlocks[nItem]].strText : strNone;
}

icaltimezone* OlIcsFile::FindZone(const char* szTzid) {
  if (szTzid == nullptr || *szTzid == 0) return nullptr;
  for (auto& [strTzid, pZone] : m_zones) {
    if (strTzid == szTzid) return pZone;
  }
  icaltimezone* pZone = nullptr;
  for (icalcomponent* pCalendar : m_calendars) {
    pZone = icalcomponent_get_timezone(pCalendar, szTzid);
    if (pZone != nullptr) break;
  }
  // A zone that cannot be worked with counts as none: its times are read as local ones.
  if (pZone != nullptr && !OlZoneIsBounded(icaltimezone_get_component(pZone))) {
    m_zones.emplace_back(szTzid, nullptr);
    return nullptr;
  }
  // A TZID is the file's text: the built-in lookup reads a file of that name below the zone
  // folder, so a name that climbs out of it is never looked up.
  if (pZone == nullptr) pZone = OlBuiltinZone(szTzid);
  if (pZone == nullptr && std::strstr(szTzid, "..") == nullptr) {
    pZone = icaltimezone_get_builtin_timezone_from_tzid(szTzid);
  }
  m_zones.emplace_back(szTzid, pZone);
  return pZone;
}

const std::vector<OlZoneStep>& OlIcsFile::ZoneSteps(const std::string& strTzid,
                                                    icaltimezone* pZone) {
  auto found = m_zoneSteps.find(strTzid);
  if (found == m_zoneSteps.end()) {
    found = m_zoneSteps.emplace(strTzid, OlZoneSteps(pZone)).first;
  }
  return found->second;
}

icalcomponent* OlIcsFile::ParseBlock(const std::string& strBlock, icalcomponent_kind kind) const {
  bool bCleaned = false;
  const std::string strReadable = ReadableText(strBlock, &bCleaned);
  icalcomponent* pComponent = ParseText(strReadable.data(), strReadable.size());
  if (pComponent == nullptr) return nullptr;
  // An event keeps the lines of other programs that were malformed when it was read, so
  // its errors are no reason to refuse it; its start must be usable.
  const bool bUsable =
      icalcomponent_isa(pComponent) == kind &&
      (kind == ICAL_VEVENT_COMPONENT ? IsItemEvent(pComponent)
                                     : icalcomponent_count_errors(pComponent) == 0);
  if (!bUsable) {
    icalcomponent_free(pComponent);
    return nullptr;
  }
  return pComponent;
}

bool OlIcsFile::HasZone(const std::string& strTzid) const {
  // Each of a server's calendar objects needs its own; the save decides.
  if (m_pRemote) return false;
  return !strTzid.empty() && !m_calendars.empty() &&
         icalcomponent_get_timezone(m_calendars.front(), strTzid.c_str()) != nullptr;
}

size_t OlIcsFile::FirstComponentBlock() const {
  for (size_t nBlock = 0; nBlock < m_nInsertAt; ++nBlock) {
    if (m_blocks[nBlock].bComponent) return nBlock;
  }
  return m_nInsertAt;
}

void OlIcsFile::InsertBlock(size_t nAt, Block block) {
  m_blocks.insert(m_blocks.begin() + static_cast<std::ptrdiff_t>(nAt), std::move(block));
  for (size_t& nBlock : m_itemBlocks) {
    if (nBlock >= nAt) ++nBlock;
  }
  if (m_nInsertAt >= nAt) ++m_nInsertAt;
}

void OlIcsFile::EraseBlock(size_t nAt) {
  m_blocks.erase(m_blocks.begin() + static_cast<std::ptrdiff_t>(nAt));
  for (size_t& nBlock : m_itemBlocks) {
    if (nBlock > nAt) --nBlock;
  }
  if (m_nInsertAt > nAt) --m_nInsertAt;
}

std::string OlIcsFile::ComposeText() const {
  std::string strText;
  for (const Block& block : m_blocks) strText += block.strText;
  return strText;
}

HRESULT OlIcsFile::Change(bool bAppend, size_t nItem, const std::string& strBlock,
                          const std::string& strZoneBlock, const std::function<HRESULT()>& persist,
                          size_t* pnItem, size_t nCalendar) {
  if (!bAppend && nItem >= m_itemBlocks.size()) return DISP_E_BADINDEX;
  // An extra date is changed by adding the instance that stands for it (AppendItem).
  if (!bAppend && m_itemExtras[nItem] >= 0) return DISP_E_BADINDEX;
  icalcomponent* pNew = ParseBlock(strBlock, ICAL_VEVENT_COMPONENT);
  if (pNew == nullptr) return OL_E_CORRUPT_DATA;
  icalcomponent* pZone = nullptr;
  if (!strZoneBlock.empty()) {
    pZone = ParseBlock(strZoneBlock, ICAL_VTIMEZONE_COMPONENT);
    if (pZone == nullptr) {
      icalcomponent_free(pNew);
      return OL_E_CORRUPT_DATA;
    }
  }
  // Zone definitions go before the first component, where other programs put them and
  // readers that resolve a TZID as they go find them in time.
  // A server's calendar object carries its own zones, before its own first component.
  const bool bOwnCalendar = nCalendar != SIZE_MAX;
  size_t nFirst = 0, nLast = 0;
  if (bOwnCalendar) CalendarText(nCalendar, &nFirst, &nLast);
  size_t nZoneAt = FirstComponentBlock();
  if (bOwnCalendar) {
    nZoneAt = nLast;
    for (size_t nBlock = nFirst; nBlock < nLast; ++nBlock) {
      if (m_blocks[nBlock].bComponent) {
        nZoneAt = nBlock;
        break;
      }
    }
  }
  const size_t nTarget = bOwnCalendar ? nCalendar : 0;
  if (pZone != nullptr) InsertBlock(nZoneAt, Block{strZoneBlock, pZone, true, nTarget});
  // A new event joins the items only once kept; until then it is a plain component block at
  // the insertion point, which InsertBlock keeps track of like any other.
  size_t nAt = bAppend ? (bOwnCalendar ? nLast + (pZone != nullptr ? 1 : 0) : m_nInsertAt)
                       : m_itemBlocks[nItem];
  // A replacement is for the very event it was made from: never another one.
  if (!bAppend && OlIdentityOf(pNew) != OlIdentityOf(m_blocks[nAt].pComponent)) {
    icalcomponent_free(pNew);
    if (pZone != nullptr) icalcomponent_free(pZone);
    return OL_E_CORRUPT_DATA;
  }
  // Only a changed instance moves the gathered overrides; gathering them again after every
  // plain save made a long first sync quadratic in the number of items.
  const bool bOverrideTouched =
      icalcomponent_get_first_property(pNew, ICAL_RECURRENCEID_PROPERTY) != nullptr ||
      (!bAppend && icalcomponent_get_first_property(m_blocks[nAt].pComponent,
                                                    ICAL_RECURRENCEID_PROPERTY) != nullptr);
  std::string strOld;
  if (bAppend) {
    InsertBlock(nAt, Block{strBlock, pNew, true, nTarget});
  } else {
    strOld = std::move(m_blocks[nAt].strText);
    m_blocks[nAt].strText = strBlock;
  }
  const HRESULT hr = persist();
  if (bOverrideTouched) m_bOverridesKnown = false;
  if (FAILED(hr)) {
    if (bAppend) {
      EraseBlock(nAt);
    } else {
      m_blocks[nAt].strText = std::move(strOld);
    }
    if (pZone != nullptr) {
      EraseBlock(nZoneAt);
      icalcomponent_free(pZone);
    }
    icalcomponent_free(pNew);
    return hr;
  }
  if (pZone != nullptr) icalcomponent_add_component(m_calendars[nTarget], pZone);
  Block& block = m_blocks[nAt];
  if (!bAppend) {
    icalcomponent_remove_component(m_calendars[block.nCalendar], block.pComponent);
    icalcomponent_free(block.pComponent);
    block.pComponent = pNew;
  }
  icalcomponent_add_component(m_calendars[block.nCalendar], pNew);
  if (bAppend) {
    // A changed instance of an extra date takes that date's item.
    // Looked for only while extra dates remain: a search per appended item over all items
    // made a long first sync quadratic.
    size_t nSlot = m_itemBlocks.size();
    if (m_nExtraItems > 0) {
      const std::string strIdentity = OlIdentityOf(pNew);
      for (size_t nOther = 0; nOther < m_itemBlocks.size(); ++nOther) {
        if (m_itemExtras[nOther] >= 0 && m_itemIdentities[nOther] == strIdentity) nSlot = nOther;
      }
    }
    if (nSlot < m_itemBlocks.size()) {
      m_itemBlocks[nSlot] = nAt;
      m_itemExtras[nSlot] = -1;
      m_itemIdentities[nSlot].clear();
      --m_nExtraItems;
    } else {
      PushItem(nAt);
    }
    if (pnItem != nullptr) *pnItem = nSlot;
  }
  return S_OK;
}

HRESULT OlIcsFile::ReplaceItem(size_t nItem, const std::string& strBlock,
                               const std::string& strZoneBlock) {
  if (m_pRemote) return RemoteChange(false, nItem, strBlock, strZoneBlock, nullptr);
  HRESULT hr = BeforeSave();
  if (FAILED(hr)) return hr;
  if (nItem > 0xFFFFFFFFull) return DISP_E_BADINDEX;
  const std::string strRecord = OlJournalReplace(static_cast<DWORD>(nItem), strBlock, strZoneBlock);
  return Change(
      false, nItem, strBlock, strZoneBlock, [&]() { return Journal(strRecord); }, nullptr);
}

HRESULT OlIcsFile::AppendItem(const std::string& strBlock, size_t* pnItem,
                              const std::string& strZoneBlock) {
  if (m_pRemote) return RemoteChange(true, 0, strBlock, strZoneBlock, pnItem);
  HRESULT hr = BeforeSave();
  if (FAILED(hr)) return hr;
  const std::string strRecord = OlJournalAppend(strBlock, strZoneBlock);
  return Change(
      true, 0, strBlock, strZoneBlock, [&]() { return Journal(strRecord); }, pnItem);
}

HRESULT OlIcsFile::Drop(size_t nItem, const std::function<HRESULT()>& persist) {
  if (nItem >= m_itemBlocks.size() || m_itemExtras[nItem] >= 0) return DISP_E_BADINDEX;
  const size_t nAt = m_itemBlocks[nItem];
  for (size_t nOther = 0; nOther < m_itemBlocks.size(); ++nOther) {
    if (nOther != nItem && m_itemBlocks[nOther] == nAt) return DISP_E_BADINDEX;
  }
  const HRESULT hr = persist();
  if (FAILED(hr)) return hr;
  m_bOverridesKnown = false;
  Block& block = m_blocks[nAt];
  if (block.pComponent != nullptr) {
    icalcomponent_remove_component(m_calendars[block.nCalendar], block.pComponent);
    icalcomponent_free(block.pComponent);
    block.pComponent = nullptr;
  }
  const auto at = [](auto& v, size_t n) { return v.begin() + static_cast<std::ptrdiff_t>(n); };
  m_itemBlocks.erase(at(m_itemBlocks, nItem));
  m_itemExtras.erase(at(m_itemExtras, nItem));
  m_itemIdentities.erase(at(m_itemIdentities, nItem));
  EraseBlock(nAt);
  return S_OK;
}

HRESULT OlIcsFile::RemoveItem(size_t nItem) {
  if (m_pRemote) return RemoteRemove(nItem);
  HRESULT hr = BeforeSave();
  if (FAILED(hr)) return hr;
  if (nItem >= m_itemBlocks.size() || nItem > 0xFFFFFFFFull) return DISP_E_BADINDEX;
  const std::string strRecord =
      OlJournalRemove(static_cast<DWORD>(nItem), m_blocks[m_itemBlocks[nItem]].strText);
  return Drop(nItem, [&]() { return Journal(strRecord); });
}

HRESULT OlIcsFile::ApplyRecord(const OlJournalRecord& record) {
  const auto keep = []() { return S_OK; };
  switch (record.nKind) {
    case OL_JOURNAL_REPLACE: {
      // The record names the item by its place; the place of an event may differ for a
      // journal of another build, so the event's identity decides.
      size_t nItem = record.nItem;
      if (icalcomponent* pEvent = ParseBlock(record.strEvent, ICAL_VEVENT_COMPONENT)) {
        nItem = FindItemLike(pEvent);
        icalcomponent_free(pEvent);
      }
      return Change(false, nItem, record.strEvent, record.strZone, keep, nullptr);
    }
    case OL_JOURNAL_APPEND:
      return Change(true, 0, record.strEvent, record.strZone, keep, nullptr);
    case OL_JOURNAL_REMOVE: {
      // Named by its identity, like a replacement; one already gone is nothing to do.
      size_t nItem = GetItemCount();
      if (icalcomponent* pEvent = ParseBlock(record.strEvent, ICAL_VEVENT_COMPONENT)) {
        nItem = FindItemLike(pEvent);
        icalcomponent_free(pEvent);
      }
      return nItem < GetItemCount() ? Drop(nItem, keep) : S_OK;
    }
    default:
      return S_OK;  // a fold that was begun: nothing to apply
  }
}

OlIcsFile::DiskIdentity OlIcsFile::IdentityOf(const std::string& strPath, unsigned* pnMode) {
  DiskIdentity identity;
  struct stat st {};
  if (::stat(strPath.c_str(), &st) != 0) return identity;
  identity.bExists = true;
  identity.nDevice = st.st_dev;
  identity.nNode = st.st_ino;
  identity.nSize = static_cast<unsigned long long>(st.st_size);
  identity.nModified = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  identity.nChanged = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
  if (pnMode != nullptr) *pnMode = st.st_mode & 07777;
  return identity;
}

bool OlIcsFile::DiskUnchanged() const {
  return IdentityOf(m_strPath) == m_diskIdentity;
}

void OlIcsFile::SetFoldFloor(size_t nBytes) {
  g_nFoldFloor = nBytes;
}

HRESULT OlIcsFile::BeforeSave() {
  // Text without a file is still checked as a save would check it; keeping it fails.
  if (m_strPath.empty()) return S_OK;
  if (m_dwJournalUnread != ERROR_SUCCESS) {
    SetLastError(m_dwJournalUnread);
    return OL_E_DISK_ERROR;
  }
  if (!DiskUnchanged()) {
    SetLastError(ERROR_CX_FILE_CHANGED);
    return OL_E_OBJECT_CHANGED;
  }
  // Folding each time the journal outgrows the file keeps the bytes written by all folds
  // within a constant times the bytes saved.
  if (!m_bInGroup && m_pJournal &&
      m_pJournal->GetSize() > std::max<size_t>(g_nFoldFloor, m_diskStamp.nSize) &&
      m_pJournal->GetSize() >= m_nNoFoldBelow) {
    const HRESULT hr = Fold();
    if (hr == OL_E_OBJECT_CHANGED) return hr;
    // The journal keeps every save meanwhile; the next try waits until it has doubled.
    if (FAILED(hr) && m_pJournal) m_nNoFoldBelow = 2 * m_pJournal->GetSize();
  }
  return S_OK;
}

HRESULT OlIcsFile::Journal(const std::string& strRecord) {
  if (m_strPath.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return OL_E_DISK_ERROR;
  }
  if (strRecord.empty()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return OL_E_DISK_ERROR;
  }
  if (!m_pJournal) {
    // A save into a file that cannot be written would only strand itself in the journal.
    if (m_diskIdentity.bExists && ::faccessat(AT_FDCWD, m_strPath.c_str(), W_OK, AT_EACCESS) != 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return OL_E_DISK_ERROR;
    }
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(m_strJournalPath).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    m_pJournal = OlIcsJournal::Create(m_strJournalPath, m_diskStamp.nSize, m_diskStamp.nContentHash,
                                      m_nDiskMode);
    if (!m_pJournal && GetLastError() == ERROR_CX_JOURNAL_STUCK) {
      // A journal that could be neither applied nor set aside holds the name: the save goes
      // straight into the file instead, slower but kept.
      CX_FILE_STAMP written{};
      const HRESULT hr = WriteAtomically(ComposeText(), &written);
      if (FAILED(hr)) return hr;
      m_diskStamp = written;
      m_diskIdentity = IdentityOf(m_strPath, &m_nDiskMode);
      return S_OK;
    }
    if (!m_pJournal) return OL_E_DISK_ERROR;
  }
  // The beginning of a group goes with its first record, in one write.
  const bool bMark = m_bInGroup && !m_bGroupMarked;
  if (!m_pJournal->Append(bMark ? OlJournalGroupMark(OL_JOURNAL_GROUP_BEGIN) + strRecord
                                : strRecord)) {
    return OL_E_DISK_ERROR;
  }
  m_bGroupMarked = m_bGroupMarked || bMark;
  return S_OK;
}

void OlIcsFile::BeginGroup() {
  m_bInGroup = true;
}

void OlIcsFile::EndGroup() {
  if (m_bGroupMarked && m_pJournal &&
      !m_pJournal->Append(OlJournalGroupMark(OL_JOURNAL_GROUP_END))) {
    CxServerLog("Outlook: the journal \"%s\" could not be written (%s); a save stays unfinished.",
                m_strJournalPath.c_str(), CxFileErrorText(GetLastError()));
  }
  m_bInGroup = false;
  m_bGroupMarked = false;
}

HRESULT OlIcsFile::Fold() {
  if (m_pRemote) return m_pRemote->Finish();
  if (!m_pJournal) return S_OK;
  if (!m_pJournal->HasRecords()) {
    m_pJournal->Remove();
    m_pJournal.reset();
    return S_OK;
  }
  if (!DiskUnchanged()) {
    CxServerLog(
        "Outlook: \"%s\" was changed by another program; the saves in \"%s\" were not written "
        "into it.",
        m_strPath.c_str(), m_strJournalPath.c_str());
    SetLastError(ERROR_CX_FILE_CHANGED);
    return OL_E_OBJECT_CHANGED;
  }
  const std::string strText = ComposeText();
  // Marks what the fold writes, so that an open after a crash between the replacement and
  // the removal of the journal knows the file already holds the saves.
  if (!m_pJournal->Append(
          OlJournalFold(strText.size(), CxHashContents(strText.data(), strText.size()))) ||
      !m_pJournal->Flush()) {
    const DWORD dwError = GetLastError();
    CxServerLog("Outlook: the journal \"%s\" could not be written (%s); \"%s\" was not folded.",
                m_strJournalPath.c_str(), CxFileErrorText(dwError), m_strPath.c_str());
    SetLastError(dwError);
    return OL_E_DISK_ERROR;
  }
  CX_FILE_STAMP written{};
  const HRESULT hr = WriteAtomically(strText, &written);
  if (FAILED(hr)) {
    const DWORD dwError = GetLastError();
    CxServerLog("Outlook: \"%s\" was not rewritten (%s); its saves stay in \"%s\".",
                m_strPath.c_str(), CxFileErrorText(dwError), m_strJournalPath.c_str());
    SetLastError(dwError);
    return dwError == ERROR_CX_FILE_CHANGED ? OL_E_OBJECT_CHANGED : hr;
  }
  m_diskStamp = written;
  m_diskIdentity = IdentityOf(m_strPath, &m_nDiskMode);
  m_pJournal->Remove();
  m_pJournal.reset();
  m_nNoFoldBelow = 0;
  m_bGroupMarked = false;  // what the group saved so far is in the file
  return S_OK;
}

void OlIcsFile::SetJournalAside(const char* szWhy) {
  std::string strAside;
  if (m_pJournal->SetAside(&strAside)) {
    CxServerLog(
        "Outlook: the journal of \"%s\" %s; its saves were not applied and are kept "
        "in \"%s\".",
        m_strPath.c_str(), szWhy, strAside.c_str());
  } else {
    CxServerLog(
        "Outlook: the journal of \"%s\" %s; it could not be set aside (%s) and stays "
        "as \"%s\".",
        m_strPath.c_str(), szWhy, CxFileErrorText(GetLastError()), m_strJournalPath.c_str());
  }
  m_pJournal.reset();
}

bool OlIcsFile::TakeJournal(const std::string& strText) {
  OlJournalContents contents;
  std::string strWhy;
  switch (OlIcsJournal::OpenExisting(m_strJournalPath, &m_pJournal, &contents, &strWhy)) {
    case OlIcsJournal::JOURNAL_NONE:
      return true;
    case OlIcsJournal::JOURNAL_REFUSED: {
      std::string strAside;
      if (OlIcsJournal::MoveAside(m_strJournalPath, &strAside)) {
        CxServerLog("Outlook: the journal \"%s\" %s; it was not applied and is kept as \"%s\".",
                    m_strJournalPath.c_str(), strWhy.c_str(), strAside.c_str());
      } else {
        CxServerLog("Outlook: the journal \"%s\" %s; it was not applied.", m_strJournalPath.c_str(),
                    strWhy.c_str());
      }
      return true;
    }
    case OlIcsJournal::JOURNAL_BUSY:
      CxServerLog(
          "Outlook: another DayBridge run holds the journal of \"%s\"; its saves are "
          "not seen here.",
          m_strPath.c_str());
      return true;
    case OlIcsJournal::JOURNAL_UNREADABLE:
      // Its saves were acknowledged: a save from here would be folded without them and
      // leave them behind, so this object only reads until a later open can read it.
      m_dwJournalUnread = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_READ_FAULT;
      CxServerLog(
          "Outlook: the journal \"%s\" could not be read (%s); no save is made until "
          "it can be.",
          m_strJournalPath.c_str(), CxFileErrorText(m_dwJournalUnread));
      return true;
    case OlIcsJournal::JOURNAL_TAKEN:
      break;
  }
  if (!contents.bHeader) {
    // Torn while it was being made: no save in it was ever acknowledged.
    if (contents.end == OL_JOURNAL_TORN) {
      m_pJournal->Remove();
      m_pJournal.reset();
    } else {
      SetJournalAside("is not a journal this program can read");
    }
    return true;
  }
  const bool bSameBase = contents.nBaseSize == m_diskStamp.nSize &&
                         contents.nBaseHash == CxHashContents(strText.data(), strText.size());
  if (!bSameBase) {
    const OlJournalRecord* pLast = contents.records.empty() ? nullptr : &contents.records.back();
    if (pLast != nullptr && pLast->nKind == OL_JOURNAL_FOLD && pLast->nFoldSize == strText.size() &&
        pLast->nFoldHash == CxHashContents(strText.data(), strText.size())) {
      // Folded, then cut off before the journal was removed.
      m_pJournal->Remove();
      m_pJournal.reset();
    } else {
      SetJournalAside(
          "was written for another text than the file now holds (another program "
          "changed the file while saves were pending)");
    }
    return true;
  }
  if (contents.end == OL_JOURNAL_DAMAGED) {
    SetJournalAside("is damaged");
    return true;
  }
  size_t nApplied = 0;
  for (size_t i = 0; i < contents.nOpenGroupRecord; ++i) {
    const OlJournalRecord& record = contents.records[i];
    if (FAILED(ApplyRecord(record))) {
      SetJournalAside("holds a save that does not apply to the file");
      return false;
    }
    if (record.nKind == OL_JOURNAL_REPLACE || record.nKind == OL_JOURNAL_APPEND) ++nApplied;
  }
  if (contents.nOpenGroupAt != 0) {
    // A change of several saves cut off before its end is dropped whole, like a torn record.
    CxServerLog(
        "Outlook: the last change in the journal \"%s\" was cut off by a crash before it was "
        "complete and is dropped.",
        m_strJournalPath.c_str());
    contents.end = OL_JOURNAL_TORN;
    contents.nValidLength = contents.nOpenGroupAt;
  }
  if (contents.end == OL_JOURNAL_TORN) {
    CxServerLog(
        "Outlook: the last record of the journal \"%s\" was cut off by a crash and is "
        "dropped.",
        m_strJournalPath.c_str());
    if (!m_pJournal->Cut(contents.nValidLength)) {
      // New records must not follow the torn one.
      SetJournalAside("could not be cut back to its last whole record");
      return false;
    }
  }
  if (nApplied == 0) {
    m_pJournal->Remove();
    m_pJournal.reset();
    return true;
  }
  // Another program reading the file sees the saves from now on; when the fold fails they
  // stay in the journal, which this object goes on appending to.
  CxServerLog(
      "Outlook: %zu save(s) of a run that ended before writing them into \"%s\" were "
      "recovered from its journal.",
      nApplied, m_strPath.c_str());
  Fold();
  return true;
}

HRESULT OlIcsFile::WriteAtomically(const std::string& strText, CX_FILE_STAMP* pWritten) const {
  if (m_strPath.empty()) return OL_E_DISK_ERROR;
  std::error_code ec;
  std::filesystem::path path(m_strPath);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  // The platform's one safe replacement: a link is followed and its file replaced in its own
  // folder, mode and owner are kept, the file must still be what was read, and the reason of
  // a failure stays the last error.
  if (!CxReplaceFileContents(m_strPath.c_str(), strText.data(), strText.size(),
                             m_diskIdentity.bExists ? &m_diskStamp : nullptr, pWritten)) {
    return OL_E_DISK_ERROR;
  }
  return S_OK;
}
