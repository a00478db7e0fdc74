// The one libcurl handle of a calendar collection. Every request sets all its options
// afresh on the same handle, so the handle's connection is reused while nothing of an
// earlier request (its method, body or headers) carries over.
#include "platform/outlook/CalDavClient.h"

#include <curl/curl.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/outlook/CalDavXml.h"

namespace {

// Seconds: to connect, without a byte moving, and for the whole of an item request. A
// whole-collection request is bounded by the lack of progress and this cap.
constexpr long kConnectSeconds = 30;
constexpr long kStallSeconds = 30;
constexpr long kItemSeconds = 30;
constexpr long kCollectionSeconds = 600;

struct Sink {
  std::string* pstrBody;
  bool bTooLarge = false;
};

size_t OnBody(char* pData, size_t nSize, size_t nCount, void* pUser) {
  Sink* pSink = static_cast<Sink*>(pUser);
  const size_t nBytes = nSize * nCount;
  if (nBytes > OL_DAV_MAX_BODY - pSink->pstrBody->size()) {
    pSink->bTooLarge = true;
    return 0;  // curl ends the transfer
  }
  pSink->pstrBody->append(pData, nBytes);
  return nBytes;
}

size_t OnHeader(char* pData, size_t nSize, size_t nCount, void* pUser) {
  std::string* pstrEtag = static_cast<std::string*>(pUser);
  const size_t nBytes = nSize * nCount;
  std::string strLine(pData, nBytes);
  // A status line starts the headers of another answer (after "100 Continue").
  if (strLine.compare(0, 5, "HTTP/") == 0) pstrEtag->clear();
  if (strLine.size() > 5 && strncasecmp(strLine.c_str(), "etag:", 5) == 0) {
    const size_t nFirst = strLine.find_first_not_of(" \t", 5);
    const size_t nLast = strLine.find_last_not_of(" \t\r\n");
    if (nFirst != std::string::npos && nLast >= nFirst && nLast - nFirst < OL_DAV_MAX_ETAG) {
      *pstrEtag = strLine.substr(nFirst, nLast - nFirst + 1);
    }
  }
  return nBytes;
}

// The part of a URL, or empty.
std::string UrlPart(CURLU* pUrl, CURLUPart part) {
  char* szPart = nullptr;
  if (curl_url_get(pUrl, part, &szPart, 0) != CURLUE_OK || szPart == nullptr) return std::string();
  std::string strPart = szPart;
  curl_free(szPart);
  return strPart;
}

}  // namespace

OlCalDavClient::~OlCalDavClient() {
  if (m_pCurl != nullptr) curl_easy_cleanup(static_cast<CURL*>(m_pCurl));
}

bool OlCalDavClient::IsAddress(const std::string& strText) {
  return strncasecmp(strText.c_str(), "http://", 7) == 0 ||
         strncasecmp(strText.c_str(), "https://", 8) == 0;
}

std::unique_ptr<OlCalDavClient> OlCalDavClient::Create(const std::string& strAddress,
                                                       std::string* pstrError) {
  static std::once_flag s_once;
  std::call_once(s_once, []() { curl_global_init(CURL_GLOBAL_DEFAULT); });
  std::unique_ptr<OlCalDavClient> pClient(new OlCalDavClient());
  CURLU* pUrl = curl_url();
  if (pUrl == nullptr || curl_url_set(pUrl, CURLUPART_URL, strAddress.c_str(), 0) != CURLUE_OK) {
    if (pUrl != nullptr) curl_url_cleanup(pUrl);
    *pstrError = "The calendar address is no valid http:// or https:// address.";
    return nullptr;
  }
  const bool bLogin =
      !UrlPart(pUrl, CURLUPART_USER).empty() || !UrlPart(pUrl, CURLUPART_PASSWORD).empty();
  const std::string strScheme = UrlPart(pUrl, CURLUPART_SCHEME);
  const std::string strHost = UrlPart(pUrl, CURLUPART_HOST);
  const std::string strPort = UrlPart(pUrl, CURLUPART_PORT);
  std::string strPath = UrlPart(pUrl, CURLUPART_PATH);
  curl_url_cleanup(pUrl);
  if (bLogin) {
    // Said without the address: it holds the password.
    *pstrError =
        "The calendar address holds a user name or password; put them in the netrc file "
        "instead and give the address without them.";
    return nullptr;
  }
  if (strHost.empty()) {
    *pstrError = "The calendar address names no server.";
    return nullptr;
  }
  if (strPath.empty() || strPath.back() != '/') strPath += '/';
  pClient->m_strOrigin = strScheme + "://" + strHost + (strPort.empty() ? "" : ":" + strPort);
  pClient->m_strPath = strPath;
  pClient->m_strAddress = pClient->m_strOrigin + strPath;
  pClient->m_pCurl = curl_easy_init();
  if (pClient->m_pCurl == nullptr) {
    *pstrError = "libcurl could not be started.";
    return nullptr;
  }
  return pClient;
}

bool OlCalDavClient::Request(const char* szMethod, const std::string& strUrl,
                             const std::vector<std::string>& headers, const std::string& strBody,
                             bool bItem, OlHttpReply* pReply, std::string* pstrError) {
  CURL* pCurl = static_cast<CURL*>(m_pCurl);
  *pReply = OlHttpReply();
  std::string strFull = strUrl;
  if (!IsAddress(strUrl))
    strFull = (strUrl.empty() || strUrl[0] != '/' ? m_strAddress : m_strOrigin) + strUrl;
  curl_easy_reset(pCurl);
  curl_easy_setopt(pCurl, CURLOPT_URL, strFull.c_str());
  curl_easy_setopt(pCurl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(pCurl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  curl_easy_setopt(pCurl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(pCurl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(pCurl, CURLOPT_TIMEOUT, bItem ? kItemSeconds : kCollectionSeconds);
  curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (const char* szCa = std::getenv(OL_CALDAV_CA_FILE_ENV); szCa != nullptr && *szCa != 0) {
    curl_easy_setopt(pCurl, CURLOPT_CAINFO, szCa);
  }
  curl_easy_setopt(pCurl, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
  if (const char* szNetrc = std::getenv("NETRC"); szNetrc != nullptr && *szNetrc != 0) {
    curl_easy_setopt(pCurl, CURLOPT_NETRC_FILE, szNetrc);
  }
  curl_easy_setopt(pCurl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
  curl_easy_setopt(pCurl, CURLOPT_USERAGENT, "DayBridge");
  m_szError[0] = 0;
  curl_easy_setopt(pCurl, CURLOPT_ERRORBUFFER, m_szError);
  Sink sink{&pReply->strBody};
  curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(pCurl, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(pCurl, CURLOPT_HEADERDATA, &pReply->strEtag);
  if (!strBody.empty()) {
    curl_easy_setopt(pCurl, CURLOPT_POSTFIELDS, strBody.data());
    curl_easy_setopt(pCurl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(strBody.size()));
  }
  if (std::strcmp(szMethod, "GET") != 0) curl_easy_setopt(pCurl, CURLOPT_CUSTOMREQUEST, szMethod);
  curl_slist* pHeaders = nullptr;
  // A body goes at once rather than after a round trip asking whether it may.
  pHeaders = curl_slist_append(pHeaders, "Expect:");
  for (const std::string& strHeader : headers)
    pHeaders = curl_slist_append(pHeaders, strHeader.c_str());
  curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);
  const CURLcode rc = curl_easy_perform(pCurl);
  curl_slist_free_all(pHeaders);
  curl_easy_setopt(pCurl, CURLOPT_ERRORBUFFER, nullptr);
  if (rc != CURLE_OK) {
    std::string strWhy = m_szError[0] != 0 ? m_szError : curl_easy_strerror(rc);
    if (sink.bTooLarge) strWhy = "its answer was larger than any calendar";
    if (rc == CURLE_OPERATION_TIMEDOUT) strWhy = "no answer in time (" + strWhy + ")";
    *pstrError =
        "The calendar server at " + m_strAddress + " could not be reached: " + strWhy + ".";
    pReply->strBody.clear();
    return false;
  }
  curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &pReply->nStatus);
  return true;
}

std::string OlCalDavClient::DescribeStatus(long nStatus) const {
  const std::string strCode = " (HTTP " + std::to_string(nStatus) + ")";
  if (nStatus == 401 || nStatus == 403) {
    return "The calendar server at " + m_strAddress + " refused the login" + strCode +
           ": check the entry for its host in the netrc file ($NETRC, else ~/.netrc).";
  }
  if (nStatus == 404) return "There is no calendar at " + m_strAddress + strCode + ".";
  if (nStatus >= 500) return "The calendar server at " + m_strAddress + " failed" + strCode + ".";
  return "The calendar server at " + m_strAddress + " did not do what was asked" + strCode + ".";
}
