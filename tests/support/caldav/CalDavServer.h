// A calendar server of its own for one test: Radicale (with basic authentication against an
// htpasswd file of apr1-MD5 hashes, the strongest kind Debian's Radicale reads without extra
// modules besides bcrypt) or Xandikos (which has no authentication of its own), started on
// 127.0.0.1 at a free port with its data in a private temporary folder, with one empty
// calendar collection. The process is stopped by its pid when the object goes, whether the
// test passed or not. Plain HTTP to the server (the test's own edits, reading back what it
// holds) goes through Http(), with the test user's login given directly.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <curl/curl.h>

#include "platform/outlook/CalDavXml.h"
#include "support/files/TempFolder.h"

extern char** environ;

namespace dbtest {

enum class DavKind { Radicale, Xandikos };

constexpr char kDavUser[] = "alice";
constexpr char kDavPassword[] = "s3cret-pass";

struct DavReply {
  long nStatus = 0;
  std::string strBody;
  std::string strEtag;
};

class CalDavServer {
 public:
  // bTls: Radicale over https with a self-signed certificate made here (CaFile()).
  explicit CalDavServer(DavKind kind, bool bTls = false) : m_Kind(kind), m_bTls(bTls) {
    const char* szProgram = kind == DavKind::Radicale ? "/usr/bin/radicale" : "/usr/bin/xandikos";
    if (!std::filesystem::exists(szProgram) || m_Folder.Path().empty()) {
      m_strMissing = std::string(szProgram) + " is not installed (scripts/deps installs it)";
      return;
    }
    // Another test may take the port between its choice and the bind: try again then.
    for (int nAttempt = 0; nAttempt < 5 && m_nPid <= 0; ++nAttempt) Start();
    if (m_nPid > 0) MakeCalendar();
  }
  ~CalDavServer() { Stop(); }
  CalDavServer(const CalDavServer&) = delete;
  CalDavServer& operator=(const CalDavServer&) = delete;

  // Why the server is not there (empty when it runs).
  std::string Missing() const { return m_nPid > 0 ? std::string() : m_strMissing; }
  std::string Origin() const {
    return std::string(m_bTls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_nPort);
  }
  std::string CalendarPath() const {
    return m_Kind == DavKind::Radicale ? "/alice/calendar/" : "/user/calendars/calendar/";
  }
  std::string CalendarAddress() const { return Origin() + CalendarPath(); }
  std::string CaFile() const { return m_Folder.File("cert.pem"); }
  // A netrc file with the test user's login, or with another password.
  std::string Netrc(const std::string& strPassword = kDavPassword) const {
    const std::string strPath = m_Folder.File("netrc-" + std::to_string(strPassword.size()));
    std::ofstream(strPath) << "machine 127.0.0.1 login " << kDavUser << " password " << strPassword
                           << "\n";
    std::filesystem::permissions(
        strPath, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return strPath;
  }
  std::string Folder() const { return m_Folder.Path(); }

  // Every item of the calendar (href -> its text), as plain HTTP reads them.
  std::vector<std::pair<std::string, DavReply>> Items() const {
    std::vector<std::pair<std::string, DavReply>> items;
    OlDavMultiStatus listing;
    std::string strWhy;
    const DavReply reply = Http("PROPFIND", CalendarPath(),
                                "<propfind xmlns=\"DAV:\"><prop><getetag/></prop></propfind>",
                                {"Depth: 1", "Content-Type: application/xml"});
    if (!OlParseMultiStatus(reply.strBody, &listing, &strWhy)) return items;
    for (const OlDavResponse& response : listing.responses) {
      if (response.strHref.size() <= CalendarPath().size()) continue;  // the collection
      items.emplace_back(response.strHref, Http("GET", response.strHref));
    }
    return items;
  }

  void Stop() {
    if (m_nPid <= 0) return;
    ::kill(m_nPid, SIGTERM);
    int nStatus = 0;
    for (int i = 0; i < 100 && ::waitpid(m_nPid, &nStatus, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (::waitpid(m_nPid, &nStatus, WNOHANG) == 0) {
      ::kill(m_nPid, SIGKILL);
      ::waitpid(m_nPid, &nStatus, 0);
    }
    m_nPid = -1;
  }

  // One request with the test user's login; strPath is a path on the server.
  DavReply Http(const std::string& strMethod, const std::string& strPath,
                const std::string& strBody = std::string(),
                const std::vector<std::string>& headers = {}) const {
    DavReply reply;
    CURL* pCurl = curl_easy_init();
    const std::string strUrl = Origin() + strPath;
    const std::string strLogin = std::string(kDavUser) + ":" + kDavPassword;
    curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(pCurl, CURLOPT_USERPWD, strLogin.c_str());
    curl_easy_setopt(pCurl, CURLOPT_CUSTOMREQUEST, strMethod.c_str());
    curl_easy_setopt(pCurl, CURLOPT_TIMEOUT, 30L);
    if (m_bTls) curl_easy_setopt(pCurl, CURLOPT_CAINFO, CaFile().c_str());
    if (!strBody.empty()) {
      curl_easy_setopt(pCurl, CURLOPT_POSTFIELDS, strBody.data());
      curl_easy_setopt(pCurl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(strBody.size()));
    }
    curl_slist* pHeaders = nullptr;
    for (const std::string& strHeader : headers)
      pHeaders = curl_slist_append(pHeaders, strHeader.c_str());
    curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &reply.strBody);
    curl_easy_setopt(pCurl, CURLOPT_HEADERFUNCTION, &CollectEtag);
    curl_easy_setopt(pCurl, CURLOPT_HEADERDATA, &reply.strEtag);
    if (curl_easy_perform(pCurl) == CURLE_OK) {
      curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &reply.nStatus);
    }
    curl_slist_free_all(pHeaders);
    curl_easy_cleanup(pCurl);
    return reply;
  }

 private:
  static size_t Collect(char* p, size_t n, size_t m, void* pOut) {
    static_cast<std::string*>(pOut)->append(p, n * m);
    return n * m;
  }
  static size_t CollectEtag(char* p, size_t n, size_t m, void* pOut) {
    std::string strLine(p, n * m);
    if (strLine.size() > 5 && strncasecmp(strLine.c_str(), "etag:", 5) == 0) {
      const size_t nFirst = strLine.find_first_not_of(" ", 5);
      *static_cast<std::string*>(pOut) =
          strLine.substr(nFirst, strLine.find_last_not_of("\r\n") + 1 - nFirst);
    }
    return n * m;
  }

  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof(addr);
    int nPort = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLength) == 0) {
      nPort = ntohs(addr.sin_port);
    }
    ::close(fd);
    return nPort;
  }

  bool Accepts() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(m_nPort));
    const bool bConnected = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return bConnected;
  }

  void Start() {
    m_nPort = FreePort();
    const std::string strPort = std::to_string(m_nPort);
    std::vector<std::string> args;
    if (m_Kind == DavKind::Radicale) {
      const std::string strHash =
          Output("openssl passwd -apr1 '" + std::string(kDavPassword) + "'");
      std::ofstream(m_Folder.File("users")) << kDavUser << ":" << strHash << "\n";
      if (m_bTls && !std::filesystem::exists(CaFile())) {
        Output(
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
            "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
            m_Folder.File("key.pem") + "' -out '" + CaFile() + "' 2>/dev/null");
      }
      std::ofstream config(m_Folder.File("config"));
      config << "[server]\nhosts = 127.0.0.1:" << strPort << "\n";
      if (m_bTls) {
        config << "ssl = True\ncertificate = " << CaFile() << "\nkey = " << m_Folder.File("key.pem")
               << "\n";
      }
      config << "[auth]\ntype = htpasswd\nhtpasswd_filename = " << m_Folder.File("users")
             << "\nhtpasswd_encryption = md5\n[storage]\nfilesystem_folder = "
             << m_Folder.File("store") << "\n[rights]\ntype = owner_only\n"
             << "[logging]\nlevel = warning\n";
      config.close();
      args = {"/usr/bin/radicale", "--config", m_Folder.File("config")};
    } else {
      args = {"/usr/bin/xandikos", "--defaults", "-d",   m_Folder.File("store"), "-l",
              "127.0.0.1",         "-p",         strPort};
    }
    std::vector<char*> argv;
    for (std::string& strArg : args) argv.push_back(strArg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_Folder.File("server.log").c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t nPid = -1;
    const int nError = posix_spawn(&nPid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (nError != 0) {
      m_strMissing = "the server could not be started";
      return;
    }
    // Started when it accepts connections; a server that ended gave up its port.
    for (int i = 0; i < 300; ++i) {
      int nStatus = 0;
      if (::waitpid(nPid, &nStatus, WNOHANG) == nPid) {
        m_strMissing = "the server ended at start: see " + m_Folder.File("server.log");
        return;
      }
      if (Accepts()) {
        // Another test's server may have taken the port first: then this one ends soon.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (::waitpid(nPid, &nStatus, WNOHANG) == nPid) {
          m_strMissing = "the server ended at start: see " + m_Folder.File("server.log");
          return;
        }
        m_nPid = nPid;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(nPid, SIGKILL);
    ::waitpid(nPid, nullptr, 0);
    m_strMissing = "the server did not start listening";
  }

  void MakeCalendar() {
    // Xandikos makes its calendar at start (--defaults).
    if (m_Kind == DavKind::Radicale && Http("MKCALENDAR", CalendarPath()).nStatus != 201) {
      m_strMissing = "the calendar could not be made on the server";
      Stop();
    }
  }

  static std::string Output(const std::string& strCommand) {
    std::string strOut;
    FILE* pPipe = ::popen(strCommand.c_str(), "r");
    if (pPipe == nullptr) return strOut;
    char buffer[512];
    while (fgets(buffer, sizeof(buffer), pPipe) != nullptr) strOut += buffer;
    ::pclose(pPipe);
    while (!strOut.empty() && (strOut.back() == '\n' || strOut.back() == '\r')) strOut.pop_back();
    return strOut;
  }

  DavKind m_Kind;
  bool m_bTls;
  TempFolder m_Folder;
  int m_nPort = 0;
  pid_t m_nPid = -1;
  std::string m_strMissing;
};

}  // namespace dbtest
