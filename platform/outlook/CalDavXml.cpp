// How this works: libxml2 reads the whole body into a tree (never fetching anything from the
// network and never loading a DTD: a server's body is data, not a document with references),
// and the reader walks only the levels a multistatus has, by namespace and local name, so
// elements of other namespaces or unknown ones are passed over wherever they stand.
#include "platform/outlook/CalDavXml.h"
#include "platform/win/WinString.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <cstring>
#include <memory>

namespace {

constexpr char kDav[] = "DAV:";
constexpr char kCalDav[] = "urn:ietf:params:xml:ns:caldav";

bool IsElement(const xmlNode* pNode, const char* szNs, const char* szName) {
  return pNode->type == XML_ELEMENT_NODE && pNode->ns != nullptr && pNode->ns->href != nullptr &&
         std::strcmp(reinterpret_cast<const char*>(pNode->ns->href), szNs) == 0 &&
         std::strcmp(reinterpret_cast<const char*>(pNode->name), szName) == 0;
}

// The text of an element, or false when it is longer than nMax bytes.
bool TextOf(const xmlNode* pNode, size_t nMax, std::string* pstrOut) {
  xmlChar* pText = xmlNodeGetContent(pNode);
  if (pText == nullptr) {
    pstrOut->clear();
    return true;
  }
  const size_t nLength = std::strlen(reinterpret_cast<const char*>(pText));
  const bool bFits = nLength <= nMax;
  if (bFits) pstrOut->assign(reinterpret_cast<const char*>(pText), nLength);
  xmlFree(pText);
  return bFits;
}

// "HTTP/1.1 404 Not Found" gives 404; 0 when the line holds no status code.
int StatusOf(const std::string& strLine) {
  const size_t nSpace = strLine.find(' ');
  if (nSpace == std::string::npos || nSpace + 4 > strLine.size()) return 0;
  int nStatus = 0;
  for (size_t i = nSpace + 1; i < nSpace + 4; ++i) {
    if (strLine[i] < '0' || strLine[i] > '9') return 0;
    nStatus = nStatus * 10 + (strLine[i] - '0');
  }
  return nStatus;
}

std::string XmlEscaped(const std::string& str) {
  std::string strOut;
  for (char ch : str) {
    switch (ch) {
      case '&':
        strOut += "&amp;";
        break;
      case '<':
        strOut += "&lt;";
        break;
      case '>':
        strOut += "&gt;";
        break;
      case '"':
        strOut += "&quot;";
        break;
      default:
        strOut += ch;
    }
  }
  return strOut;
}

struct DocFree {
  void operator()(xmlDoc* pDoc) const { xmlFreeDoc(pDoc); }
};

// One <response>; false with the reason when a part of it breaks a limit.
// A PROPFIND of the collection gives its sync-token as a property: *pstrToken receives it.
bool ReadResponse(const xmlNode* pResponse, OlDavResponse* pOut, std::string* pstrToken,
                  std::string* pstrError) {
  int nOwnStatus = 0, nPropStatus = 0;
  bool bHref = false;
  for (const xmlNode* pChild = pResponse->children; pChild != nullptr; pChild = pChild->next) {
    std::string strText;
    if (IsElement(pChild, kDav, "href")) {
      // A status-only response may name several; the first stands for it.
      if (bHref) continue;
      if (!TextOf(pChild, OL_DAV_MAX_HREF, &strText)) {
        *pstrError = "An href is longer than any address.";
        return false;
      }
      pOut->strHref = CxTrim(strText);
      bHref = true;
    } else if (IsElement(pChild, kDav, "status")) {
      if (TextOf(pChild, OL_DAV_MAX_HREF, &strText)) nOwnStatus = StatusOf(CxTrim(strText));
    } else if (IsElement(pChild, kDav, "propstat")) {
      int nStatus = 0;
      const xmlNode* pProp = nullptr;
      for (const xmlNode* pPart = pChild->children; pPart != nullptr; pPart = pPart->next) {
        if (IsElement(pPart, kDav, "status") && TextOf(pPart, OL_DAV_MAX_HREF, &strText)) {
          nStatus = StatusOf(CxTrim(strText));
        } else if (IsElement(pPart, kDav, "prop")) {
          pProp = pPart;
        }
      }
      if (nPropStatus != 200) nPropStatus = nStatus;
      // Properties the server could not give come in a propstat of their own status.
      if (nStatus != 200 || pProp == nullptr) continue;
      for (const xmlNode* pValue = pProp->children; pValue != nullptr; pValue = pValue->next) {
        if (IsElement(pValue, kDav, "getetag")) {
          if (!TextOf(pValue, OL_DAV_MAX_ETAG, &strText)) {
            *pstrError = "An ETag is longer than any server makes.";
            return false;
          }
          pOut->strEtag = CxTrim(strText);
        } else if (IsElement(pValue, kDav, "sync-token")) {
          if (!TextOf(pValue, OL_DAV_MAX_TOKEN, &strText)) {
            *pstrError = "The sync-token is longer than any server makes.";
            return false;
          }
          *pstrToken = CxTrim(strText);
        } else if (IsElement(pValue, kCalDav, "calendar-data")) {
          if (!TextOf(pValue, OL_DAV_MAX_BODY, &pOut->strCalendarData)) {
            *pstrError = "An item is larger than any calendar.";
            return false;
          }
          pOut->bHasCalendarData = true;
        }
      }
    }
  }
  if (!bHref) {
    *pstrError = "A response names no item.";
    return false;
  }
  pOut->nStatus = nOwnStatus != 0 ? nOwnStatus : nPropStatus;
  return true;
}

}  // namespace

bool OlParseMultiStatus(const std::string& strBody, OlDavMultiStatus* pOut,
                        std::string* pstrError) {
  pOut->responses.clear();
  pOut->strSyncToken.clear();
  if (strBody.size() > OL_DAV_MAX_BODY || strBody.size() > static_cast<size_t>(INT_MAX)) {
    *pstrError = "The server's answer is larger than any calendar.";
    return false;
  }
  std::unique_ptr<xmlDoc, DocFree> pDoc(
      xmlReadMemory(strBody.data(), static_cast<int>(strBody.size()), "multistatus.xml", nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  const xmlNode* pRoot = pDoc ? xmlDocGetRootElement(pDoc.get()) : nullptr;
  if (pRoot == nullptr) {
    *pstrError = "The server's answer is not well-formed XML.";
    return false;
  }
  if (!IsElement(pRoot, kDav, "multistatus")) {
    *pstrError = "The server's answer is no WebDAV multistatus.";
    return false;
  }
  for (const xmlNode* pChild = pRoot->children; pChild != nullptr; pChild = pChild->next) {
    if (IsElement(pChild, kDav, "sync-token")) {
      std::string strToken;
      if (!TextOf(pChild, OL_DAV_MAX_TOKEN, &strToken)) {
        *pstrError = "The sync-token is longer than any server makes.";
        return false;
      }
      pOut->strSyncToken = CxTrim(strToken);
      continue;
    }
    if (!IsElement(pChild, kDav, "response")) continue;
    if (pOut->responses.size() >= OL_DAV_MAX_RESPONSES) {
      *pstrError = "The server's answer lists more items than any calendar holds.";
      return false;
    }
    OlDavResponse response;
    if (!ReadResponse(pChild, &response, &pOut->strSyncToken, pstrError)) return false;
    pOut->responses.push_back(std::move(response));
  }
  return true;
}

std::string OlDavCalendarQueryBody() {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<C:calendar-query xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
         "<D:prop><D:getetag/><C:calendar-data/></D:prop>"
         "<C:filter><C:comp-filter name=\"VCALENDAR\"><C:comp-filter name=\"VEVENT\"/>"
         "</C:comp-filter></C:filter></C:calendar-query>";
}

std::string OlDavSyncCollectionBody(const std::string& strToken) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<D:sync-collection xmlns:D=\"DAV:\"><D:sync-token>" +
         XmlEscaped(strToken) +
         "</D:sync-token><D:sync-level>1</D:sync-level>"
         "<D:prop><D:getetag/></D:prop></D:sync-collection>";
}

std::string OlDavMultigetBody(const std::vector<std::string>& hrefs) {
  std::string strBody =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<C:calendar-multiget xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
      "<D:prop><D:getetag/><C:calendar-data/></D:prop>";
  for (const std::string& strHref : hrefs)
    strBody += "<D:href>" + XmlEscaped(strHref) + "</D:href>";
  return strBody + "</C:calendar-multiget>";
}

std::string OlDavPropfindBody(bool bSyncToken) {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
             "<D:propfind xmlns:D=\"DAV:\"><D:prop>") +
         (bSyncToken ? "<D:sync-token/>" : "<D:getetag/><D:resourcetype/>") +
         "</D:prop></D:propfind>";
}
