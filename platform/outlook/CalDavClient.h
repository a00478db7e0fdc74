// HTTP to one calendar server, over libcurl. One handle serves every request, so requests
// reuse one connection. Each request is bounded in time: 30 s to connect, and one that moves
// no byte for 30 s is given up (a whole-collection report may take longer than that while
// bytes flow; an item request may not). TLS certificates and host names are verified; the
// CA file (PEM) named by $DAYBRIDGE_CALDAV_CA_FILE is trusted instead of the system's ones,
// for a server with a certificate of its own making. Credentials come only from the netrc file
// ($NETRC, else ~/.netrc), as curl itself takes them: an address holding a user name or
// password is refused, so no setting, log line or message can show one. Redirects are not
// followed (they could lead the login elsewhere).
#pragma once

#include <memory>
#include <string>
#include <vector>

// The environment variable naming a CA file (PEM) to trust instead of the system's.
#define OL_CALDAV_CA_FILE_ENV "DAYBRIDGE_CALDAV_CA_FILE"

struct OlHttpReply {
  long nStatus = 0;  // 0 when no answer came
  std::string strBody;
  std::string strEtag;  // the ETag header, with its quotes
};

class OlCalDavClient {
 public:
  ~OlCalDavClient();

  // Whether the text is an http:// or https:// address (the calendar is then on a server).
  static bool IsAddress(const std::string& strText);
  // A client of the collection at strAddress (its path made to end with '/'); null with the
  // reason when the address cannot be used.
  static std::unique_ptr<OlCalDavClient> Create(const std::string& strAddress,
                                                std::string* pstrError);

  // One request; strUrl is an href of the server or a full address. False when no answer
  // came (the reason in *pstrError); any answer, whatever its status, is true. Item requests
  // (bItem) are held to 30 s in all.
  bool Request(const char* szMethod, const std::string& strUrl,
               const std::vector<std::string>& headers, const std::string& strBody, bool bItem,
               OlHttpReply* pReply, std::string* pstrError);

  // The collection's address, as the user gave it.
  const std::string& GetAddress() const { return m_strAddress; }
  // The path of the collection ("/user/calendar/"), which hrefs of its items start with.
  const std::string& GetPath() const { return m_strPath; }
  // The message for a status that is no success: a refused login names the address and the
  // netrc file, never a password.
  std::string DescribeStatus(long nStatus) const;

 private:
  OlCalDavClient() = default;

  void* m_pCurl = nullptr;  // CURL*
  std::string m_strAddress;
  std::string m_strOrigin;  // "https://host:port"
  std::string m_strPath;
  char m_szError[256] = {};
};
