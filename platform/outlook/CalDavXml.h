// The WebDAV bodies a calendar server sends back (a 207 multistatus of PROPFIND and REPORT)
// and the request bodies this program sends. Only the parts a calendar collection's items
// need are read: each response's href, its status (the response's own, else that of the
// propstat holding its properties), its ETag and its calendar data, and the collection's
// sync-token. Every length and count is checked against a limit far beyond any calendar
// before it is kept; a body past them is refused whole rather than read in part.
#pragma once

#include <string>
#include <vector>

// Far beyond any calendar; more is refused.
#define OL_DAV_MAX_BODY (512u * 1024u * 1024u)
#define OL_DAV_MAX_RESPONSES 1000000u
#define OL_DAV_MAX_HREF 8192u
#define OL_DAV_MAX_ETAG 1024u
#define OL_DAV_MAX_TOKEN 8192u

// One <response> of a multistatus.
struct OlDavResponse {
  std::string strHref;  // as sent: percent-encoded, absolute path or full URL
  int nStatus = 0;      // HTTP status of the item: 200, 404 for a removed one, 0 when none given
  std::string strEtag;  // with its quotes, as If-Match wants it; empty when none given
  std::string strCalendarData;
  bool bHasCalendarData = false;
};

struct OlDavMultiStatus {
  std::vector<OlDavResponse> responses;
  std::string strSyncToken;  // empty when the server sent none
};

// Reads a multistatus body. False, with the reason in *pstrError, for a body that is not
// well-formed XML, is no DAV multistatus, or breaks a limit above.
bool OlParseMultiStatus(const std::string& strBody, OlDavMultiStatus* pOut, std::string* pstrError);

// Request bodies. Hrefs and tokens are escaped as XML text.
std::string OlDavCalendarQueryBody();  // every VEVENT, with ETag and calendar data
std::string OlDavSyncCollectionBody(const std::string& strToken);  // ETags of what changed
std::string OlDavMultigetBody(const std::vector<std::string>& hrefs);
std::string OlDavPropfindBody(bool bSyncToken);  // the sync-token (Depth 0) or ETags (Depth 1)
