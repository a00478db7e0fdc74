// The in-process COM runtime: a per-thread apartment count and one process-wide table of
// class factories and ProgIDs. The table is guarded by a mutex only so that a server may be
// registered from a thread other than the one that uses it; calls into objects are not
// marshalled, as every object of the program lives in its creator's apartment.
#include "platform/automation/ComRuntime.h"

#include <cstdarg>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <string>

namespace {

struct ClassEntry {
  CLSID clsid;
  IUnknown* pFactory;  // one reference held by the table
  DWORD dwContext;
};

struct ClassTable {
  std::mutex lock;
  std::map<DWORD, ClassEntry> classes;      // by registration cookie
  std::map<std::u16string, CLSID> progIds;  // by upper-cased ProgID
  DWORD dwNextCookie = 1;
};

ClassTable& Table() {
  static ClassTable table;
  return table;
}

thread_local int t_nApartmentCount = 0;

// Registry key names compare without regard to case; ProgIDs are ASCII in practice.
std::u16string FoldProgID(LPCOLESTR psz) {
  std::u16string key;
  for (; *psz; ++psz) {
    char16_t ch = *psz;
    if (ch >= u'a' && ch <= u'z') ch = static_cast<char16_t>(ch - u'a' + u'A');
    key.push_back(ch);
  }
  return key;
}

struct GuidSource {
  std::mutex lock;
  std::mt19937_64 engine;
  bool bSeeded = false;
};

GuidSource& Guids() {
  static GuidSource source;
  return source;
}

}  // namespace

HRESULT CoCreateGuid(GUID* pguid) {
  if (pguid == nullptr) return E_POINTER;
  GuidSource& source = Guids();
  std::lock_guard<std::mutex> guard(source.lock);
  if (!source.bSeeded) {
    std::random_device device;
    source.engine.seed((static_cast<unsigned long long>(device()) << 32) ^ device());
    source.bSeeded = true;
  }
  const unsigned long long nHigh = source.engine();
  const unsigned long long nLow = source.engine();
  pguid->Data1 = static_cast<DWORD>(nHigh >> 32);
  pguid->Data2 = static_cast<WORD>(nHigh >> 16);
  pguid->Data3 = static_cast<WORD>((nHigh & 0x0fff) | 0x4000);  // version 4: random
  for (int i = 0; i < 8; ++i) pguid->Data4[i] = static_cast<BYTE>(nLow >> (56 - 8 * i));
  pguid->Data4[0] = static_cast<BYTE>((pguid->Data4[0] & 0x3f) | 0x80);  // RFC 4122 variant
  return S_OK;
}

void CxSeedGuids(unsigned long long nSeed) {
  GuidSource& source = Guids();
  std::lock_guard<std::mutex> guard(source.lock);
  source.engine.seed(nSeed);
  source.bSeeded = true;
}

HRESULT CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  return t_nApartmentCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (t_nApartmentCount > 0) --t_nApartmentCount;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  ClassTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.progIds.find(FoldProgID(lpszProgID));
  if (it == table.progIds.end()) return CO_E_CLASSSTRING;
  *lpclsid = it->second;
  return S_OK;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (t_nApartmentCount == 0) return CO_E_NOTINITIALIZED;
  IClassFactory* pFactory = nullptr;
  {
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (auto& [dwCookie, entry] : table.classes) {
      if (entry.clsid == rclsid && (entry.dwContext & dwClsContext) != 0) {
        HRESULT hr =
            entry.pFactory->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&pFactory));
        if (FAILED(hr)) return hr;
        break;
      }
    }
  }
  if (pFactory == nullptr) return REGDB_E_CLASSNOTREG;
  HRESULT hr = pFactory->CreateInstance(pUnkOuter, riid, ppv);
  pFactory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

HRESULT OleRun(IUnknown* pUnknown) {
  return pUnknown == nullptr ? E_INVALIDARG : S_OK;
}

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister) {
  if (pUnk == nullptr || lpdwRegister == nullptr) return E_INVALIDARG;
  *lpdwRegister = 0;
  ClassTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  for (auto& [dwCookie, entry] : table.classes) {
    if (entry.clsid == rclsid) return CO_E_OBJISREG;
  }
  pUnk->AddRef();
  DWORD dwCookie = table.dwNextCookie++;
  table.classes[dwCookie] = ClassEntry{rclsid, pUnk, dwClsContext};
  *lpdwRegister = dwCookie;
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
  IUnknown* pFactory = nullptr;
  {
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.classes.find(dwRegister);
    if (it == table.classes.end()) return CO_E_OBJNOTREG;
    pFactory = it->second.pFactory;
    table.classes.erase(it);
  }
  // Released outside the lock: the factory's destructor may call back into the runtime.
  pFactory->Release();
  return S_OK;
}

HRESULT CxRegisterProgID(LPCOLESTR lpszProgID, REFCLSID rclsid) {
  if (lpszProgID == nullptr || *lpszProgID == 0) return E_INVALIDARG;
  ClassTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  table.progIds[FoldProgID(lpszProgID)] = rclsid;
  return S_OK;
}

HRESULT CxRevokeProgID(LPCOLESTR lpszProgID) {
  if (lpszProgID == nullptr) return E_INVALIDARG;
  ClassTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  return table.progIds.erase(FoldProgID(lpszProgID)) ? S_OK : S_FALSE;
}

namespace {
CxServerLogFn g_pfnServerLog = nullptr;
}  // namespace

void CxSetServerLog(CxServerLogFn pfnLog) {
  g_pfnServerLog = pfnLog;
}

void CxServerLog(const char* szFormat, ...) {
  char szText[1024];
  va_list args;
  va_start(args, szFormat);
  std::vsnprintf(szText, sizeof(szText), szFormat, args);
  va_end(args);
  if (g_pfnServerLog != nullptr) {
    g_pfnServerLog(szText);
  } else {
    std::fprintf(stderr, "%s\n", szText);
  }
}
