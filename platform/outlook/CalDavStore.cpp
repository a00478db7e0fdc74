// How an open reads the collection: with a cache holding a sync-token, a sync-collection
// report from it names what changed and what went (ETags only); with a cache but no token,
// a PROPFIND lists every item's ETag; either way only items whose ETag differs from the
// cache's are fetched, by calendar-multiget. Without a usable cache (or when the server
// refuses the token) the whole collection is read by one calendar-query, after taking the
// sync-token, so that a change made meanwhile is seen again next time rather than missed.
// After a run that saved, the token is brought forward past this run's own saves, whose
// ETags the PUT answers gave, so that the next open finds nothing to fetch.
#include "platform/outlook/CalDavStore.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/automation/ComRuntime.h"
#include "platform/outlook/CalDavClient.h"
#include "platform/outlook/CalDavXml.h"
#include "platform/outlook/OutlookServer.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinSystem.h"

namespace {

constexpr char kCacheMagic[] = "DAYBRIDGE-CALDAV-CACHE 1\n";
// Hrefs asked for in one calendar-multiget.
constexpr size_t kMultigetBatch = 500;

std::string CacheFolder() {
  return OutlookDataFolder() + "CalDAV";
}

// Servers send calendar data inside XML, whose readers turn CR LF into LF; the text is kept
// with CR LF as iCalendar has it.
std::string WithCrLf(const std::string& strData) {
  if (strData.find('\r') != std::string::npos) return strData;
  std::string strOut;
  strOut.reserve(strData.size() + strData.size() / 32);
  for (char ch : strData) {
    if (ch == '\n') strOut += '\r';
    strOut += ch;
  }
  if (!strOut.empty() && strOut.back() != '\n') strOut += "\r\n";
  return strOut;
}

// Whether the text is one well-nested calendar object with an event: what the stand-in can
// hold as one of its calendar objects. Anything else is left on the server as it is, so one
// damaged item never keeps the others from being read.
bool IsEventObject(const std::string& strData) {
  if (strData.find('\0') != std::string::npos) return false;
  std::vector<std::string> open;
  size_t nCalendars = 0;
  bool bEvent = false;
  for (const OlIcsLine& line : OlSplitIcsLines(strData)) {
    if (line.strName.empty()) continue;
    if (open.empty() &&
        (nCalendars > 0 || line.strName != "BEGIN" || line.strValue != "VCALENDAR")) {
      return false;
    }
    if (line.strName == "BEGIN") {
      if (open.size() >= 32) return false;
      if (line.strValue == "VCALENDAR") ++nCalendars;
      if (line.strValue == "VEVENT" && open.size() == 1) bEvent = true;
      open.push_back(line.strValue);
    } else if (line.strName == "END") {
      if (line.strValue != open.back()) return false;
      open.pop_back();
    }
  }
  return open.empty() && nCalendars == 1 && bEvent;
}

std::string UidOf(const std::string& strText) {
  for (const OlIcsLine& line : OlSplitIcsLines(strText)) {
    if (line.strName != "UID") continue;
    std::string strLine = strText.substr(line.nBegin, line.nEnd - line.nBegin);
    const size_t nColon = strLine.find(':');
    std::string strUid;
    for (size_t i = nColon + 1; nColon != std::string::npos && i < strLine.size(); ++i) {
      if (strLine[i] != '\r' && strLine[i] != '\n') strUid += strLine[i];
    }
    return strUid;
  }
  return std::string();
}

// A UID as the last part of an href: what is no unreserved character is percent-encoded.
std::string HrefPart(const std::string& strUid) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string strOut;
  for (unsigned char ch : strUid) {
    if (std::isalnum(ch) || ch == '-' || ch == '.' || ch == '_' || ch == '~') {
      strOut += static_cast<char>(ch);
    } else {
      strOut += '%';
      strOut += kHex[ch >> 4];
      strOut += kHex[ch & 15];
    }
  }
  return strOut;
}

bool ReadNumber(const std::string& strText, size_t* pnPos, char cEnd, size_t* pnValue) {
  size_t nValue = 0, nDigits = 0;
  while (*pnPos < strText.size() && strText[*pnPos] >= '0' && strText[*pnPos] <= '9') {
    if (++nDigits > 10) return false;
    nValue = nValue * 10 + static_cast<size_t>(strText[(*pnPos)++] - '0');
  }
  if (nDigits == 0 || *pnPos >= strText.size() || strText[*pnPos] != cEnd) return false;
  ++*pnPos;
  *pnValue = nValue;
  return true;
}

bool ReadBytes(const std::string& strText, size_t* pnPos, size_t nLength, std::string* pstrOut) {
  if (nLength > strText.size() - *pnPos) return false;
  pstrOut->assign(strText, *pnPos, nLength);
  *pnPos += nLength;
  return true;
}

class OlCalDavCalendar : public OlIcsRemote {
 public:
  explicit OlCalDavCalendar(std::unique_ptr<OlCalDavClient> pClient)
      : m_pClient(std::move(pClient)) {
    m_cache.strAddress = m_pClient->GetAddress();
    m_strCachePath =
        CacheFolder() + "/" +
        std::to_string(CxHashContents(m_cache.strAddress.data(), m_cache.strAddress.size())) +
        ".cache";
  }

  bool Load(std::string* pstrError);
  // The calendar objects' texts, one after the other, in item order.
  std::string ComposeText() const {
    std::string strText;
    for (const OlCalDavCachedItem& item : m_cache.items) strText += item.strData;
    return strText;
  }

  size_t GetItemCount() const { return m_cache.items.size(); }

  HRESULT Keep(size_t nCalendar, const std::string& strText, bool bNew) override;
  HRESULT Finish() override;
  const std::string& GetFailure() const override { return m_strFailure; }

 private:
  // A REPORT or PROPFIND whose answer must be a multistatus.
  bool Ask(const char* szMethod, const char* szDepth, const std::string& strBody,
           OlDavMultiStatus* pOut, long* pnStatus, std::string* pstrError);
  bool ReadWhole(std::string* pstrError);
  // Brings the items up to date from what the server listed (href -> ETag, empty for gone);
  // bAll: hrefs not listed are gone too.
  bool Refresh(const std::map<std::string, std::string>& listed, bool bAll, std::string* pstrError);
  bool Fetch(const std::vector<std::string>& hrefs, std::map<std::string, OlDavResponse>* pGot,
             std::string* pstrError);
  bool IsCollection(const std::string& strHref) const {
    return strHref == m_pClient->GetPath() || strHref == m_pClient->GetAddress() ||
           strHref + "/" == m_pClient->GetPath();
  }
  void WriteCache();

  std::unique_ptr<OlCalDavClient> m_pClient;
  OlCalDavCache m_cache;  // items in the order of the calendar objects of the text
  std::string m_strCachePath;
  std::string m_strTokenBeforeSaves;
  bool m_bSaved = false;
  std::string m_strBroken;  // after a failure no later save can mend: its reason
  std::string m_strFailure;
  size_t m_nPassedOver = 0;
};

bool OlCalDavCalendar::Ask(const char* szMethod, const char* szDepth, const std::string& strBody,
                           OlDavMultiStatus* pOut, long* pnStatus, std::string* pstrError) {
  OlHttpReply reply;
  std::vector<std::string> headers{"Content-Type: application/xml; charset=utf-8"};
  if (szDepth != nullptr) headers.push_back(std::string("Depth: ") + szDepth);
  if (!m_pClient->Request(szMethod, m_pClient->GetAddress(), headers, strBody, false, &reply,
                          pstrError)) {
    *pnStatus = 0;
    return false;
  }
  *pnStatus = reply.nStatus;
  if (reply.nStatus != 207) {
    *pstrError = m_pClient->DescribeStatus(reply.nStatus);
    return false;
  }
  std::string strWhy;
  if (!OlParseMultiStatus(reply.strBody, pOut, &strWhy)) {
    *pstrError = "The calendar server at " + m_pClient->GetAddress() + " gave an answer that " +
                 "could not be read: " + strWhy;
    return false;
  }
  return true;
}

bool OlCalDavCalendar::Fetch(const std::vector<std::string>& hrefs,
                             std::map<std::string, OlDavResponse>* pGot, std::string* pstrError) {
  for (size_t nFirst = 0; nFirst < hrefs.size(); nFirst += kMultigetBatch) {
    const std::vector<std::string> batch(
        hrefs.begin() + static_cast<std::ptrdiff_t>(nFirst),
        hrefs.begin() +
            static_cast<std::ptrdiff_t>(std::min(hrefs.size(), nFirst + kMultigetBatch)));
    OlDavMultiStatus answer;
    long nStatus = 0;
    if (!Ask("REPORT", "1", OlDavMultigetBody(batch), &answer, &nStatus, pstrError)) return false;
    for (OlDavResponse& response : answer.responses) {
      (*pGot)[response.strHref] = std::move(response);
    }
  }
  return true;
}

bool OlCalDavCalendar::ReadWhole(std::string* pstrError) {
  OlDavMultiStatus answer;
  long nStatus = 0;
  // A server without tokens answers the PROPFIND without one; that is no failure.
  if (Ask("PROPFIND", "0", OlDavPropfindBody(true), &answer, &nStatus, pstrError)) {
    m_cache.strSyncToken = answer.strSyncToken;
  } else if (nStatus == 0 || nStatus == 401 || nStatus == 403 || nStatus == 404 || nStatus >= 500) {
    return false;
  }
  if (!Ask("REPORT", "1", OlDavCalendarQueryBody(), &answer, &nStatus, pstrError)) return false;
  m_cache.items.clear();
  for (OlDavResponse& response : answer.responses) {
    if (response.nStatus != 200 || !response.bHasCalendarData || IsCollection(response.strHref)) {
      continue;
    }
    m_cache.items.push_back(
        {response.strHref, response.strEtag, WithCrLf(response.strCalendarData)});
  }
  return true;
}

bool OlCalDavCalendar::Refresh(const std::map<std::string, std::string>& listed, bool bAll,
                               std::string* pstrError) {
  std::vector<std::string> wanted;
  std::map<std::string, size_t> known;
  for (size_t i = 0; i < m_cache.items.size(); ++i) known[m_cache.items[i].strHref] = i;
  for (const auto& [strHref, strEtag] : listed) {
    if (strEtag.empty() || IsCollection(strHref)) continue;
    const auto found = known.find(strHref);
    if (found == known.end() || m_cache.items[found->second].strEtag != strEtag) {
      wanted.push_back(strHref);
    }
  }
  // Items a failed save left unsure are read again.
  for (const OlCalDavCachedItem& item : m_cache.items) {
    if (item.strEtag.empty() && listed.find(item.strHref) == listed.end()) {
      wanted.push_back(item.strHref);
    }
  }
  std::map<std::string, OlDavResponse> got;
  if (!Fetch(wanted, &got, pstrError)) return false;
  std::vector<OlCalDavCachedItem> items;
  for (OlCalDavCachedItem& item : m_cache.items) {
    const auto inList = listed.find(item.strHref);
    const bool bGone = inList != listed.end() ? inList->second.empty() : bAll;
    const auto fetched = got.find(item.strHref);
    if (fetched != got.end()) {
      if (fetched->second.nStatus == 200 && fetched->second.bHasCalendarData) {
        item.strEtag = fetched->second.strEtag;
        item.strData = WithCrLf(fetched->second.strCalendarData);
        items.push_back(std::move(item));
      }
      got.erase(fetched);
      continue;
    }
    if (!bGone) items.push_back(std::move(item));
  }
  for (auto& [strHref, response] : got) {
    if (response.nStatus == 200 && response.bHasCalendarData) {
      items.push_back({strHref, response.strEtag, WithCrLf(response.strCalendarData)});
    }
  }
  m_cache.items = std::move(items);
  return true;
}

bool OlCalDavCalendar::Load(std::string* pstrError) {
  OlCalDavCache cache;
  std::ifstream in(m_strCachePath, std::ios::binary);
  std::string strCached((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bool bDone = false;
  if (OlParseCalDavCache(strCached, &cache) && cache.strAddress == m_cache.strAddress) {
    m_cache = std::move(cache);
    OlDavMultiStatus answer;
    long nStatus = 0;
    std::map<std::string, std::string> listed;
    if (!m_cache.strSyncToken.empty()) {
      if (Ask("REPORT", nullptr, OlDavSyncCollectionBody(m_cache.strSyncToken), &answer, &nStatus,
              pstrError)) {
        for (const OlDavResponse& response : answer.responses) {
          listed[response.strHref] = response.nStatus == 404 ? std::string() : response.strEtag;
          // A change without an ETag is fetched all the same.
          if (response.nStatus != 404 && response.strEtag.empty()) listed[response.strHref] = "?";
        }
        if (!Refresh(listed, false, pstrError)) return false;
        m_cache.strSyncToken = answer.strSyncToken;
        bDone = true;
      } else if (nStatus == 0 || nStatus == 401 || nStatus >= 500) {
        return false;
      }
      // Any other refusal: the token is no longer good; the collection is read whole.
    } else if (Ask("PROPFIND", "1", OlDavPropfindBody(false), &answer, &nStatus, pstrError)) {
      for (const OlDavResponse& response : answer.responses) {
        if (response.nStatus == 200)
          listed[response.strHref] = response.strEtag.empty() ? "?" : response.strEtag;
      }
      if (!Refresh(listed, true, pstrError)) return false;
      bDone = true;
    } else {
      return false;
    }
  }
  if (!bDone && !ReadWhole(pstrError)) return false;
  // What the stand-in cannot hold stays on the server untouched.
  std::vector<OlCalDavCachedItem> items;
  for (OlCalDavCachedItem& item : m_cache.items) {
    if (IsEventObject(item.strData)) {
      items.push_back(std::move(item));
    } else {
      ++m_nPassedOver;
    }
  }
  m_cache.items = std::move(items);
  if (m_nPassedOver > 0) {
    CxServerLog(
        "Outlook: %zu item(s) of %s are no single calendar object with an event and "
        "are left as they are.",
        m_nPassedOver, m_cache.strAddress.c_str());
  }
  m_strTokenBeforeSaves = m_cache.strSyncToken;
  WriteCache();
  return true;
}

HRESULT OlCalDavCalendar::Keep(size_t nCalendar, const std::string& strText, bool bNew) {
  if (!m_strBroken.empty()) {
    m_strFailure = m_strBroken;
    return OL_E_DISK_ERROR;
  }
  if ((bNew && nCalendar != m_cache.items.size()) || (!bNew && nCalendar >= m_cache.items.size())) {
    m_strFailure = "The item has no place in the calendar at " + m_cache.strAddress + ".";
    return OL_E_CORRUPT_DATA;
  }
  const std::string strHref = bNew ? m_pClient->GetPath() + HrefPart(UidOf(strText)) + ".ics"
                                   : m_cache.items[nCalendar].strHref;
  // A calendar object left without events is no object: it is deleted, under the same
  // condition that its version is the one this run read.
  const bool bGone = !bNew && strText.find("BEGIN:VEVENT") == std::string::npos;
  std::vector<std::string> headers;
  if (!bGone) headers.push_back("Content-Type: text/calendar; charset=utf-8");
  if (bNew) {
    headers.push_back("If-None-Match: *");
  } else if (!m_cache.items[nCalendar].strEtag.empty()) {
    headers.push_back("If-Match: " + m_cache.items[nCalendar].strEtag);
  }
  OlHttpReply reply;
  std::string strWhy;
  if (!m_pClient->Request(bGone ? "DELETE" : "PUT", strHref, headers,
                          bGone ? std::string() : strText, true, &reply, &strWhy)) {
    m_strBroken = strWhy + " The save of " + strHref + " and every later one were not done.";
    m_strFailure = m_strBroken;
    return OL_E_DISK_ERROR;
  }
  if (reply.nStatus == 412) {
    m_strFailure = "The item " + strHref + " on the calendar server at " + m_cache.strAddress +
                   " was changed by another program; it was not overwritten, and the next run "
                   "reads the new version.";
    if (!bNew) m_cache.items[nCalendar].strEtag.clear();
    m_bSaved = true;
    return OL_E_OBJECT_CHANGED;
  }
  // Gone already is what a deletion wants.
  if (bGone && reply.nStatus == 404) reply.nStatus = 204;
  if (reply.nStatus < 200 || reply.nStatus > 299) {
    m_strFailure =
        m_pClient->DescribeStatus(reply.nStatus) + " The item " + strHref + " was not saved.";
    // A refused login stays refused for the rest of the run.
    if (reply.nStatus == 401 || reply.nStatus == 403) m_strBroken = m_strFailure;
    return OL_E_DISK_ERROR;
  }
  OlCalDavCachedItem item{strHref, bGone ? std::string() : reply.strEtag,
                          bGone ? std::string() : strText};
  if (bNew) {
    m_cache.items.push_back(std::move(item));
  } else {
    m_cache.items[nCalendar] = std::move(item);
  }
  m_bSaved = true;
  return S_OK;
}

HRESULT OlCalDavCalendar::Finish() {
  if (!m_bSaved) return S_OK;
  m_bSaved = false;
  if (!m_strTokenBeforeSaves.empty() && m_strBroken.empty()) {
    // The changes since the load are this run's own saves, unless another program's
    // change is among them: an ETag other than the one the save was answered with.
    OlDavMultiStatus answer;
    long nStatus = 0;
    std::string strWhy;
    if (Ask("REPORT", nullptr, OlDavSyncCollectionBody(m_strTokenBeforeSaves), &answer, &nStatus,
            &strWhy)) {
      std::map<std::string, std::string> listed;
      for (const OlDavResponse& response : answer.responses) {
        listed[response.strHref] = response.nStatus == 404 ? std::string() : response.strEtag;
      }
      for (OlCalDavCachedItem& item : m_cache.items) {
        const auto found = listed.find(item.strHref);
        if (found != listed.end() && found->second != item.strEtag) item.strEtag.clear();
      }
      m_cache.strSyncToken = answer.strSyncToken;
      m_strTokenBeforeSaves = answer.strSyncToken;
    } else {
      m_cache.strSyncToken.clear();  // the next open reads every ETag
    }
  } else {
    m_cache.strSyncToken.clear();
  }
  WriteCache();
  return S_OK;
}

void OlCalDavCalendar::WriteCache() {
  std::error_code ec;
  std::filesystem::create_directories(CacheFolder(), ec);
  const std::string strText = OlComposeCalDavCache(m_cache);
  if (!CxReplaceFileContents(m_strCachePath.c_str(), strText.data(), strText.size(), nullptr,
                             nullptr)) {
    CxServerLog(
        "Outlook: the cache \"%s\" could not be written (%s); the next run reads the "
        "whole calendar.",
        m_strCachePath.c_str(), CxFileErrorText(GetLastError()));
  }
}

}  // namespace

std::string OlComposeCalDavCache(const OlCalDavCache& cache) {
  std::string strText = kCacheMagic;
  strText += std::to_string(cache.strAddress.size()) + " " +
             std::to_string(cache.strSyncToken.size()) + " " + std::to_string(cache.items.size()) +
             "\n" + cache.strAddress + cache.strSyncToken;
  for (const OlCalDavCachedItem& item : cache.items) {
    strText += std::to_string(item.strHref.size()) + " " + std::to_string(item.strEtag.size()) +
               " " + std::to_string(item.strData.size()) + "\n" + item.strHref + item.strEtag +
               item.strData;
  }
  return strText;
}

bool OlParseCalDavCache(const std::string& strText, OlCalDavCache* pCache) {
  *pCache = OlCalDavCache();
  const size_t nMagic = sizeof(kCacheMagic) - 1;
  if (strText.compare(0, nMagic, kCacheMagic) != 0) return false;
  size_t nPos = nMagic, nAddress = 0, nToken = 0, nItems = 0;
  if (!ReadNumber(strText, &nPos, ' ', &nAddress) || !ReadNumber(strText, &nPos, ' ', &nToken) ||
      !ReadNumber(strText, &nPos, '\n', &nItems) || nAddress > OL_DAV_MAX_HREF ||
      nToken > OL_DAV_MAX_TOKEN || nItems > OL_DAV_MAX_RESPONSES ||
      !ReadBytes(strText, &nPos, nAddress, &pCache->strAddress) ||
      !ReadBytes(strText, &nPos, nToken, &pCache->strSyncToken)) {
    return false;
  }
  for (size_t nItem = 0; nItem < nItems; ++nItem) {
    size_t nHref = 0, nEtag = 0, nData = 0;
    OlCalDavCachedItem item;
    if (!ReadNumber(strText, &nPos, ' ', &nHref) || !ReadNumber(strText, &nPos, ' ', &nEtag) ||
        !ReadNumber(strText, &nPos, '\n', &nData) || nHref > OL_DAV_MAX_HREF ||
        nEtag > OL_DAV_MAX_ETAG || !ReadBytes(strText, &nPos, nHref, &item.strHref) ||
        !ReadBytes(strText, &nPos, nEtag, &item.strEtag) ||
        !ReadBytes(strText, &nPos, nData, &item.strData)) {
      *pCache = OlCalDavCache();
      return false;
    }
    pCache->items.push_back(std::move(item));
  }
  if (nPos != strText.size()) {
    *pCache = OlCalDavCache();
    return false;
  }
  return true;
}

std::unique_ptr<OlIcsFile> OlCalDavOpen(const std::string& strAddress, HRESULT* phr,
                                        std::string* pstrError) {
  *phr = OL_E_DISK_ERROR;
  std::unique_ptr<OlCalDavClient> pClient = OlCalDavClient::Create(strAddress, pstrError);
  if (!pClient) return nullptr;
  const std::string strName = pClient->GetAddress();
  auto pCalendar = std::make_unique<OlCalDavCalendar>(std::move(pClient));
  if (!pCalendar->Load(pstrError)) return nullptr;
  const std::string strText = pCalendar->ComposeText();
  const size_t nItems = pCalendar->GetItemCount();
  std::unique_ptr<OlIcsFile> pFile =
      OlIcsFile::FromRemote(strText, strName, std::move(pCalendar), phr, pstrError);
  if (pFile && pFile->GetCalendarCount() != nItems) {
    *phr = OL_E_CORRUPT_DATA;
    *pstrError = "The items of the calendar at " + strName + " could not be told apart.";
    return nullptr;
  }
  return pFile;
}
