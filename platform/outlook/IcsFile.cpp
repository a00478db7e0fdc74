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

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win/WinReplace.h"

namespace {

// Deeper nesting than this is no calendar anyone writes; it only makes a parser recurse.
constexpr int kMaxNesting = 32;

std::string Upper(std::string str) {
  for (char& ch : str) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return str;
}

std::string Trim(const std::string& str) {
  size_t nFirst = str.find_first_not_of(" \t\r\n");
  if (nFirst == std::string::npos) return std::string();
  size_t nLast = str.find_last_not_of(" \t\r\n");
  return str.substr(nFirst, nLast - nFirst + 1);
}

bool IsItemEvent(icalcomponent* pComponent) {
  return icalcomponent_isa(pComponent) == ICAL_VEVENT_COMPONENT &&
         icalcomponent_get_first_property(pComponent, ICAL_DTSTART_PROPERTY) != nullptr &&
         icalcomponent_get_first_property(pComponent, ICAL_RECURRENCEID_PROPERTY) == nullptr;
}

}  // namespace

// Blank lines are kept as lines without a name.
std::vector<OlIcsLine> OlSplitIcsLines(const std::string& strText) {
  std::vector<OlIcsLine> lines;
  size_t nPos = 0;
  const size_t nSize = strText.size();
  while (nPos < nSize) {
    OlIcsLine line;
    line.nBegin = nPos;
    std::string strUnfolded;
    bool bFirst = true;
    while (nPos < nSize && (bFirst || strText[nPos] == ' ' || strText[nPos] == '\t')) {
      size_t nBreak = strText.find('\n', nPos);
      size_t nLineEnd = nBreak == std::string::npos ? nSize : nBreak + 1;
      size_t nContentEnd = nBreak == std::string::npos ? nSize : nBreak;
      if (nContentEnd > nPos && strText[nContentEnd - 1] == '\r') --nContentEnd;
      size_t nContentBegin = bFirst ? nPos : nPos + 1;
      if (nContentEnd > nContentBegin) {
        strUnfolded.append(strText, nContentBegin, nContentEnd - nContentBegin);
      }
      nPos = nLineEnd;
      bFirst = false;
    }
    line.nEnd = nPos;
    size_t nNameEnd = strUnfolded.find_first_of(";:");
    line.strName = Upper(Trim(strUnfolded.substr(0, nNameEnd)));
    if ((line.strName == "BEGIN" || line.strName == "END") && nNameEnd != std::string::npos) {
      line.strValue = Upper(Trim(strUnfolded.substr(nNameEnd + 1)));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

OlIcsFile::~OlIcsFile() {
  if (m_pRoot != nullptr) icalcomponent_free(m_pRoot);
  for (icaltimezone* pZone : m_ownedZones) icaltimezone_free(pZone, 1);
}

std::unique_ptr<OlIcsFile> OlIcsFile::Open(const std::string& strPath, HRESULT* phr,
                                           std::string* pstrError) {
  std::string strText;
  std::ifstream in(strPath, std::ios::binary);
  if (in) {
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
      *phr = OL_E_DISK_ERROR;
      *pstrError = "The calendar file could not be read.";
      return nullptr;
    }
    strText = buffer.str();
  } else if (std::filesystem::exists(strPath)) {
    *phr = OL_E_DISK_ERROR;
    *pstrError = "The calendar file could not be opened.";
    return nullptr;
  }
  std::unique_ptr<OlIcsFile> pFile = Parse(strText, phr, pstrError);
  if (pFile) pFile->m_strPath = strPath;
  return pFile;
}

std::unique_ptr<OlIcsFile> OlIcsFile::FromText(const std::string& strText, HRESULT* phr,
                                               std::string* pstrError) {
  return Parse(strText, phr, pstrError);
}

std::unique_ptr<OlIcsFile> OlIcsFile::Parse(const std::string& strText, HRESULT* phr,
                                            std::string* pstrError) {
  *phr = OL_E_CORRUPT_DATA;
  std::unique_ptr<OlIcsFile> pFile(new OlIcsFile());
  if (Trim(strText).empty()) {
    // A calendar that was never written: it gets a calendar object on its first save.
    pFile->m_blocks.push_back(
        {"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Tidewell//DayBridge//EN\r\n"});
    pFile->m_blocks.push_back({"END:VCALENDAR\r\n"});
    pFile->m_nInsertAt = 1;
    pFile->m_pRoot = icalcomponent_new_vcalendar();
    pFile->m_pCalendar = pFile->m_pRoot;
    *phr = S_OK;
    return pFile;
  }
  if (strText.find('\0') != std::string::npos) {
    *pstrError = "The calendar file holds binary data.";
    return nullptr;
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
  pFile->m_blocks.push_back({strText.substr(0, lines[nLine].nEnd)});
  ++nLine;

  // The calendar's body: components and text runs, up to END:VCALENDAR.
  std::vector<size_t> componentBlocks;
  bool bClosed = false;
  while (nLine < lines.size()) {
    const OlIcsLine& line = lines[nLine];
    if (line.strName == "END") {
      if (line.strValue != "VCALENDAR") {
        *pstrError = "An END line does not match the calendar's BEGIN.";
        return nullptr;
      }
      pFile->m_nInsertAt = pFile->m_blocks.size();
      pFile->m_blocks.push_back({strText.substr(line.nBegin)});
      bClosed = true;
      break;
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
            *pstrError = "An END line does not match its BEGIN line.";
            return nullptr;
          }
          open.pop_back();
        }
      }
      if (!open.empty()) {
        *pstrError = "A component of the calendar is not closed.";
        return nullptr;
      }
      componentBlocks.push_back(pFile->m_blocks.size());
      pFile->m_blocks.push_back(
          {strText.substr(line.nBegin, lines[nEnd - 1].nEnd - line.nBegin), nullptr, true});
      nLine = nEnd;
      continue;
    }
    // Calendar properties and blank lines: one text block per run.
    if (pFile->m_blocks.back().bComponent) pFile->m_blocks.push_back({std::string()});
    pFile->m_blocks.back().strText.append(strText, line.nBegin, line.nEnd - line.nBegin);
    ++nLine;
  }
  if (!bClosed) {
    *pstrError = "The calendar object is not closed.";
    return nullptr;
  }

  pFile->m_pRoot = icalparser_parse_string(strText.c_str());
  if (pFile->m_pRoot == nullptr) {
    *pstrError = "libical could not parse the calendar.";
    return nullptr;
  }
  if (icalcomponent_isa(pFile->m_pRoot) == ICAL_VCALENDAR_COMPONENT) {
    pFile->m_pCalendar = pFile->m_pRoot;
  } else {
    pFile->m_pCalendar =
        icalcomponent_get_first_component(pFile->m_pRoot, ICAL_VCALENDAR_COMPONENT);
  }
  if (pFile->m_pCalendar == nullptr) {
    *pstrError = "The file holds no calendar object.";
    return nullptr;
  }
  if (icalcomponent_count_errors(pFile->m_pCalendar) > 0) {
    *pstrError = "The calendar holds values that are not valid iCalendar.";
    return nullptr;
  }
  size_t nComponent = 0;
  for (icalcomponent* pChild =
           icalcomponent_get_first_component(pFile->m_pCalendar, ICAL_ANY_COMPONENT);
       pChild != nullptr;
       pChild = icalcomponent_get_next_component(pFile->m_pCalendar, ICAL_ANY_COMPONENT)) {
    if (nComponent >= componentBlocks.size()) {
      *pstrError = "The calendar's components could not be told apart.";
      return nullptr;
    }
    Block& block = pFile->m_blocks[componentBlocks[nComponent++]];
    block.pComponent = pChild;
    if (IsItemEvent(pChild)) pFile->m_itemBlocks.push_back(componentBlocks[nComponent - 1]);
  }
  if (nComponent != componentBlocks.size()) {
    *pstrError = "The calendar's components could not be told apart.";
    return nullptr;
  }
  *phr = S_OK;
  return pFile;
}

std::string OlIcsFile::GetCalendarName() const {
  for (icalproperty* pProp = icalcomponent_get_first_property(m_pCalendar, ICAL_X_PROPERTY);
       pProp != nullptr; pProp = icalcomponent_get_next_property(m_pCalendar, ICAL_X_PROPERTY)) {
    const char* szName = icalproperty_get_x_name(pProp);
    if (szName != nullptr && strcasecmp(szName, "X-WR-CALNAME") == 0) {
      const char* szValue = icalproperty_get_x(pProp);
      return szValue != nullptr ? szValue : "";
    }
  }
  return std::string();
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
  icaltimezone* pZone = icalcomponent_get_timezone(m_pCalendar, szTzid);
  if (pZone == nullptr) pZone = icaltimezone_get_builtin_timezone(szTzid);
  if (pZone == nullptr) pZone = icaltimezone_get_builtin_timezone_from_tzid(szTzid);
  m_zones.emplace_back(szTzid, pZone);
  return pZone;
}

icalcomponent* OlIcsFile::ParseBlock(const std::string& strBlock) const {
  icalcomponent* pComponent = icalparser_parse_string(strBlock.c_str());
  if (pComponent == nullptr) return nullptr;
  if (icalcomponent_isa(pComponent) != ICAL_VEVENT_COMPONENT ||
      icalcomponent_count_errors(pComponent) > 0 || !IsItemEvent(pComponent)) {
    icalcomponent_free(pComponent);
    return nullptr;
  }
  return pComponent;
}

std::string OlIcsFile::ComposeText() const {
  std::string strText;
  for (const Block& block : m_blocks) strText += block.strText;
  return strText;
}

HRESULT OlIcsFile::ReplaceItem(size_t nItem, const std::string& strBlock) {
  if (nItem >= m_itemBlocks.size()) return DISP_E_BADINDEX;
  icalcomponent* pNew = ParseBlock(strBlock);
  if (pNew == nullptr) return OL_E_CORRUPT_DATA;
  Block& block = m_blocks[m_itemBlocks[nItem]];
  std::string strOld = std::move(block.strText);
  block.strText = strBlock;
  HRESULT hr = WriteAtomically(ComposeText());
  if (FAILED(hr)) {
    block.strText = std::move(strOld);
    icalcomponent_free(pNew);
    return hr;
  }
  icalcomponent_remove_component(m_pCalendar, block.pComponent);
  icalcomponent_free(block.pComponent);
  icalcomponent_add_component(m_pCalendar, pNew);
  block.pComponent = pNew;
  return S_OK;
}

HRESULT OlIcsFile::AppendItem(const std::string& strBlock, size_t* pnItem) {
  icalcomponent* pNew = ParseBlock(strBlock);
  if (pNew == nullptr) return OL_E_CORRUPT_DATA;
  size_t nAt = m_nInsertAt;
  m_blocks.insert(m_blocks.begin() + static_cast<std::ptrdiff_t>(nAt), Block{strBlock, pNew, true});
  HRESULT hr = WriteAtomically(ComposeText());
  if (FAILED(hr)) {
    m_blocks.erase(m_blocks.begin() + static_cast<std::ptrdiff_t>(nAt));
    icalcomponent_free(pNew);
    return hr;
  }
  ++m_nInsertAt;
  icalcomponent_add_component(m_pCalendar, pNew);
  m_itemBlocks.push_back(nAt);
  *pnItem = m_itemBlocks.size() - 1;
  return S_OK;
}

HRESULT OlIcsFile::WriteAtomically(const std::string& strText) const {
  if (m_strPath.empty()) return OL_E_DISK_ERROR;
  std::error_code ec;
  std::filesystem::path path(m_strPath);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  // The platform's one safe replacement: a link is followed and its file replaced in its own
  // folder, mode and owner are kept, and the reason of a failure stays the last error.
  if (!CxReplaceFileContents(m_strPath.c_str(), strText.data(), strText.size(), nullptr, nullptr)) {
    return OL_E_DISK_ERROR;
  }
  return S_OK;
}
