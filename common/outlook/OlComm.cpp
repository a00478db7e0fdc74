// The Outlook session. Outlook is started (or attached to) through COM by its ProgID, asked
// for IDispatch and for its "MAPI" namespace; the references are kept once per process and
// lent to every store object. Outlook itself is never closed here, only the references are
// released.
#include "common/outlook/OlComm.h"
#define DB_MODULE "OlComm"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxList.h"
#include "platform/automation/ComRuntime.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinString.h"
#include "platform/win/WinVersion.h"

namespace {

// The one session of the process.
struct OlSession {
  std::unique_ptr<CDispCmd> pApp;
  std::unique_ptr<CDispCmd> pNameSpace;
  IUnknown* pAppUnknown = nullptr;
  bool bEstablished = false;
  int nUseCount = 0;
  int nVersionClass = 0;
};

OlSession g_Session;

const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE";

void ReleaseSession() {
  g_Session.pNameSpace.reset();
  g_Session.pApp.reset();
  if (g_Session.pAppUnknown != nullptr) g_Session.pAppUnknown->Release();
  g_Session.pAppUnknown = nullptr;
  g_Session.bEstablished = false;
}

}  // namespace

int OlVersionClassOf(int nMajor) {
  if (nMajor < 0) return 0;
  if (nMajor <= 9) return 1;
  switch (nMajor) {
    case 10:
      return 2;
    case 11:
      return 3;
    case 12:
      return 4;
    case 14:
      return 5;
    default:
      return 6;  // 13 and 15 on
  }
}

bool GetFileVersion(const char* szPath, int* pnMajor, int* pnMinor, int* pnBuild, int* pnRevision) {
  int* parts[] = {pnMajor, pnMinor, pnBuild, pnRevision};
  for (int* pnPart : parts) {
    if (pnPart != nullptr) *pnPart = 0;
  }
  if (szPath == nullptr || *szPath == 0) return false;
  DWORD dwHandle = 0;
  DWORD dwSize = GetFileVersionInfoSize(szPath, &dwHandle);
  if (dwSize == 0) return false;
  std::vector<BYTE> block(dwSize);
  if (!GetFileVersionInfo(szPath, dwHandle, dwSize, block.data())) return false;
  VS_FIXEDFILEINFO* pInfo = nullptr;
  UINT nLen = 0;
  if (!VerQueryValue(block.data(), "\\", reinterpret_cast<LPVOID*>(&pInfo), &nLen) ||
      pInfo == nullptr || nLen < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  if (pnMajor != nullptr) *pnMajor = HIWORD(pInfo->dwFileVersionMS);
  if (pnMinor != nullptr) *pnMinor = LOWORD(pInfo->dwFileVersionMS);
  if (pnBuild != nullptr) *pnBuild = HIWORD(pInfo->dwFileVersionLS);
  if (pnRevision != nullptr) *pnRevision = LOWORD(pInfo->dwFileVersionLS);
  return true;
}

bool GetOutlookVersion(char* szVersion, int nSize) {
  if (szVersion == nullptr || nSize <= 0) return false;
  HKEY hKey = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
    return false;
  }
  char szFolder[MAX_PATH + 1] = {0};
  DWORD dwType = 0;
  DWORD cbData = MAX_PATH;
  if (RegQueryValueEx(hKey, "Path", nullptr, &dwType, reinterpret_cast<LPBYTE>(szFolder),
                      &cbData) != ERROR_SUCCESS) {
    RegCloseKey(hKey);
    return false;
  }
  szFolder[MAX_PATH] = 0;  // a value of exactly 260 bytes need not carry its terminator
  char szPath[MAX_PATH * 2];
  size_t nFolder = std::strlen(szFolder);
  // The registered folder normally ends with a separator; one is added when it does not.
  const bool bHasSeparator =
      nFolder > 0 && (szFolder[nFolder - 1] == '/' || szFolder[nFolder - 1] == '\\');
  std::snprintf(szPath, sizeof(szPath), "%s%sOUTLOOK.EXE", szFolder,
                bHasSeparator || nFolder == 0 ? "" : "/");
  int nMajor = 0, nMinor = 0, nBuild = 0, nRevision = 0;
  bool bFound = GetFileVersion(szPath, &nMajor, &nMinor, &nBuild, &nRevision);
  if (bFound) {
    std::snprintf(szVersion, static_cast<size_t>(nSize), "%d.%d.%d.%d", nMajor, nMinor, nBuild,
                  nRevision);
  } else {
    szVersion[0] = 0;
  }
  RegCloseKey(hKey);
  return bFound;
}

OlBaseUtil::OlBaseUtil()
    : m_pApp(nullptr), m_pNameSpace(nullptr), m_pAppUnknown(nullptr), m_nConnects(0) {
  if (g_Session.bEstablished) {
    m_pApp = g_Session.pApp.get();
    m_pNameSpace = g_Session.pNameSpace.get();
    m_pAppUnknown = g_Session.pAppUnknown;
  }
  OlBaseUtil::Init();
}

OlBaseUtil::~OlBaseUtil() {
  OlBaseUtil::Clear();
  OlBaseUtil::Term();
}

bool OlBaseUtil::Load() {
  Clear();
  return true;
}

void OlBaseUtil::Clear() {
  if (m_pList) m_pList->RemoveAll(false);
}

void OlBaseUtil::Init() {
  m_pList = std::make_unique<CxList>();
  Connect();
}

void OlBaseUtil::Term() {
  Clear();
  Disconnect();
}

int OlBaseUtil::GetVersionClass() {
  return g_Session.nVersionClass;
}

void OlBaseUtil::SetVersionClass(int nClass) {
  g_Session.nVersionClass = nClass;
}

bool OlBaseUtil::Connect() {
  ++g_Session.nUseCount;
  ++m_nConnects;
  if (g_Session.bEstablished) {
    m_pApp = g_Session.pApp.get();
    m_pNameSpace = g_Session.pNameSpace.get();
    m_pAppUnknown = g_Session.pAppUnknown;
    return true;
  }

  char szVersion[32] = {0};
  g_Session.nVersionClass = 0;
  if (GetOutlookVersion(szVersion, sizeof(szVersion))) {
    char* pDot = std::strchr(szVersion, '.');
    if (pDot != nullptr) *pDot = 0;
    g_Session.nVersionClass = OlVersionClassOf(std::atoi(szVersion));
  }

  Log(2, "Outlook automation started.");
  bool bOk = false;
  do {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(u"Outlook.Application", &clsid);
    if (FAILED(hr)) {
      Log(0, "Can not get the CLSID of Outlook.Application, hr=0x%08x", static_cast<unsigned>(hr));
      break;
    }
    Log(2, "Get Outlook.Application CLSID succeeded.");

    IUnknown* pUnknown = nullptr;
    hr = CoCreateInstance(clsid, nullptr,
                          CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                          IID_IUnknown, reinterpret_cast<void**>(&pUnknown));
    if (FAILED(hr) || pUnknown == nullptr) {
      Log(0, "Failed to execute CoCreateInstance, hr=0x%08x", static_cast<unsigned>(hr));
      break;
    }
    g_Session.pAppUnknown = pUnknown;
    Log(2, "CoCreateInstance succeeded.");

    hr = OleRun(pUnknown);
    if (FAILED(hr)) {
      Log(0, "Failed to execute OleRun, hr=0x%08x", static_cast<unsigned>(hr));
      break;
    }
    Log(2, "Microsoft Outlook started successfully.");

    IDispatch* pDispatch = nullptr;
    hr = pUnknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pDispatch));
    if (FAILED(hr) || pDispatch == nullptr) {
      Log(0, "Failed to query IDispatch interface of Outlook App, hr=0x%08x",
          static_cast<unsigned>(hr));
      break;
    }
    Log(2, "Got Outlook IDispatch interface successfully.");
    g_Session.pApp = std::make_unique<CDispCmd>(pDispatch);
    pDispatch->Release();  // the wrapper holds its own reference

    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(u"MAPI");
    VARIANT result;
    VariantInit(&result);
    hr = g_Session.pApp->CallMethod(u"GetNameSpace", &arg, 1, &result, nullptr, 0);
    VariantClear(&arg);
    if (FAILED(hr) || result.vt != VT_DISPATCH || result.pdispVal == nullptr) {
      VariantClear(&result);
      Log(0, "Failed to call Outlook.Application GetNameSpace method, hr=0x%08x",
          static_cast<unsigned>(hr));
      break;
    }
    Log(2, "Get Outlook MAPI namespace object successfully.");
    g_Session.pNameSpace = std::make_unique<CDispCmd>(result.pdispVal);
    VariantClear(&result);
    bOk = true;
  } while (false);

  if (!bOk) {
    Disconnect();
    return false;
  }
  g_Session.bEstablished = true;
  m_pApp = g_Session.pApp.get();
  m_pNameSpace = g_Session.pNameSpace.get();
  m_pAppUnknown = g_Session.pAppUnknown;
  Log(2, "Outlook Automation Succeeded.");
  return true;
}

void OlBaseUtil::Disconnect() {
  // Only this object's own connections are given back: one object disconnecting more often
  // than it connected must not release a session other objects still use.
  if (g_Session.nUseCount == 0 || m_nConnects == 0) return;
  --m_nConnects;
  if (m_nConnects == 0) {
    m_pApp = nullptr;
    m_pNameSpace = nullptr;
    m_pAppUnknown = nullptr;
  }
  if (--g_Session.nUseCount > 0) return;
  m_pApp = nullptr;
  m_pNameSpace = nullptr;
  m_pAppUnknown = nullptr;
  ReleaseSession();
}
