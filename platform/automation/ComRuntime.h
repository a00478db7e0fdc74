// The COM runtime the program's automation code calls: joining the apartment, turning a
// ProgID into a class id, creating an object of a class and running it. Servers live in the
// same process: a server announces its ProgID (CxRegisterProgID, the registry's
// HKEY_CLASSES_ROOT\<ProgID>\CLSID on Windows) and its class factory (CoRegisterClassObject,
// as a running local server does on Windows). Results are the status codes COM returns.
//
// The apartment is per thread, as COM's: a thread must call CoInitialize before it creates
// objects. The class table is process-wide.
#pragma once

#include "platform/automation/ComBase.h"

#define COINIT_APARTMENTTHREADED 0x2

// Registration flags of CoRegisterClassObject.
#define REGCLS_SINGLEUSE 0
#define REGCLS_MULTIPLEUSE 1

// S_OK on the thread's first call, S_FALSE on every further one (each must be matched by
// CoUninitialize).
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// Leaves the apartment once; the last call of the thread leaves it for good.
void CoUninitialize();

// CO_E_CLASSSTRING for a ProgID nobody registered, E_INVALIDARG for a missing argument.
// ProgIDs compare without regard to case, as registry key names do.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);

// Asks the class factory registered for rclsid for an object with interface riid.
// CO_E_NOTINITIALIZED outside an apartment; REGDB_E_CLASSNOTREG when no factory is
// registered for the class in one of the contexts asked for; E_NOINTERFACE when the object
// does not have riid; the factory's own status otherwise. *ppv is null on failure.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

// Puts an object into its running state. In-process objects are always running, so this
// checks the argument and succeeds.
HRESULT OleRun(IUnknown* pUnknown);

// Registers a class factory for rclsid in the given contexts (CLSCTX_INPROC_SERVER,
// CLSCTX_LOCAL_SERVER ...). The runtime keeps a reference on the factory until the class is
// revoked. *lpdwRegister receives the cookie for CoRevokeClassObject. A class that is
// already registered gives CO_E_OBJISREG.
#define CO_E_OBJISREG ((HRESULT)0x800401FBL)
#define CO_E_OBJNOTREG ((HRESULT)0x800401FCL)
HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister);
HRESULT CoRevokeClassObject(DWORD dwRegister);

// Maps a ProgID to a class id (replacing an earlier mapping), or removes the mapping.
HRESULT CxRegisterProgID(LPCOLESTR lpszProgID, REFCLSID rclsid);
HRESULT CxRevokeProgID(LPCOLESTR lpszProgID);

// A new version 4 GUID. The identifiers come from one generator, seeded from the system's
// entropy on first use; CxSeedGuids makes the sequence repeatable, so that tests can compare
// what the program writes whole. E_POINTER for a missing argument.
HRESULT CoCreateGuid(GUID* pguid);
void CxSeedGuids(unsigned long long nSeed);

// Servers have no debug log of their own (it lives above the platform); they report why a
// call failed through this sink, which writes to standard error until the program routes
// it elsewhere.
typedef void (*CxServerLogFn)(const char* szText);
void CxSetServerLog(CxServerLogFn pfnLog);
void CxServerLog(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
