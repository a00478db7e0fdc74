// A shim over the default VFS, in the way SQLite's own test VFSes are made: each file of ours
// is our header followed by the default VFS's file, and every method asks the file layer
// first. A refused operation returns the I/O error the engine expects from that method, so
// the engine's own recovery (its rollback journal) is what the fault tests exercise.
#include "platform/jet/JetVfs.h"

#include <sqlite3.h>

#include <cerrno>
#include <mutex>

#include "platform/win/WinOs.h"

namespace {

struct LayerFile {
  sqlite3_file base;
  sqlite3_file* pReal;  // the default VFS's file, right behind this header
};

sqlite3_vfs* g_pDefault = nullptr;

sqlite3_file* RealOf(sqlite3_file* pFile) {
  return reinterpret_cast<LayerFile*>(pFile)->pReal;
}

int Refused(int nIoError) {
  return errno == ENOSPC ? SQLITE_FULL : nIoError;
}

int Close(sqlite3_file* pFile) {
  // A dead process's files close too: closing is never refused.
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods != nullptr ? pReal->pMethods->xClose(pReal) : SQLITE_OK;
}
int Read(sqlite3_file* pFile, void* pBuffer, int nAmount, sqlite3_int64 nOffset) {
  if (!CxOsMayRun(CX_OS_READ)) return Refused(SQLITE_IOERR_READ);
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xRead(pReal, pBuffer, nAmount, nOffset);
}
int Write(sqlite3_file* pFile, const void* pData, int nAmount, sqlite3_int64 nOffset) {
  if (!CxOsMayRun(CX_OS_WRITE)) return Refused(SQLITE_IOERR_WRITE);
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xWrite(pReal, pData, nAmount, nOffset);
}
int Truncate(sqlite3_file* pFile, sqlite3_int64 nSize) {
  if (!CxOsMayRun(CX_OS_TRUNCATE)) return Refused(SQLITE_IOERR_TRUNCATE);
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xTruncate(pReal, nSize);
}
int Sync(sqlite3_file* pFile, int nFlags) {
  if (!CxOsMayRun(CX_OS_SYNC)) return Refused(SQLITE_IOERR_FSYNC);
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xSync(pReal, nFlags);
}
int FileSize(sqlite3_file* pFile, sqlite3_int64* pnSize) {
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xFileSize(pReal, pnSize);
}
int Lock(sqlite3_file* pFile, int nLock) {
  if (!CxOsMayRun(CX_OS_LOCK)) return Refused(SQLITE_IOERR_LOCK);
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xLock(pReal, nLock);
}
int Unlock(sqlite3_file* pFile, int nLock) {
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xUnlock(pReal, nLock);
}
int CheckReservedLock(sqlite3_file* pFile, int* pbReserved) {
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xCheckReservedLock(pReal, pbReserved);
}
int FileControl(sqlite3_file* pFile, int nOp, void* pArg) {
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xFileControl(pReal, nOp, pArg);
}
int SectorSize(sqlite3_file* pFile) {
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xSectorSize(pReal);
}
int DeviceCharacteristics(sqlite3_file* pFile) {
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xDeviceCharacteristics(pReal);
}
int ShmMap(sqlite3_file* pFile, int nRegion, int nSize, int bExtend, void volatile** pp) {
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xShmMap(pReal, nRegion, nSize, bExtend, pp);
}
int ShmLock(sqlite3_file* pFile, int nOffset, int n, int nFlags) {
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xShmLock(pReal, nOffset, n, nFlags);
}
void ShmBarrier(sqlite3_file* pFile) {
  sqlite3_file* pReal = RealOf(pFile);
  pReal->pMethods->xShmBarrier(pReal);
}
int ShmUnmap(sqlite3_file* pFile, int bDelete) {
  sqlite3_file* pReal = RealOf(pFile);
  return pReal->pMethods->xShmUnmap(pReal, bDelete);
}

// Memory mapping would let the engine read past the layer: the methods stop at version 2.
const sqlite3_io_methods kMethods = {
    2,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    nullptr,
    nullptr,
};

int Open(sqlite3_vfs* pVfs, const char* szName, sqlite3_file* pFile, int nFlags, int* pnOutFlags) {
  auto* pLayer = reinterpret_cast<LayerFile*>(pFile);
  pLayer->base.pMethods = nullptr;
  pLayer->pReal = reinterpret_cast<sqlite3_file*>(pLayer + 1);
  pLayer->pReal->pMethods = nullptr;
  if (!CxOsMayRun(CX_OS_OPEN)) return SQLITE_CANTOPEN;
  const int nRc = g_pDefault->xOpen(g_pDefault, szName, pLayer->pReal, nFlags, pnOutFlags);
  // The engine calls xClose whenever pMethods is set, even after a failed open.
  if (pLayer->pReal->pMethods != nullptr) pLayer->base.pMethods = &kMethods;
  return nRc;
}
int Delete(sqlite3_vfs* pVfs, const char* szName, int bSyncDir) {
  if (!CxOsMayRun(CX_OS_REMOVE)) return Refused(SQLITE_IOERR_DELETE);
  return g_pDefault->xDelete(g_pDefault, szName, bSyncDir);
}
int Access(sqlite3_vfs* pVfs, const char* szName, int nFlags, int* pnResult) {
  return g_pDefault->xAccess(g_pDefault, szName, nFlags, pnResult);
}
int FullPathname(sqlite3_vfs* pVfs, const char* szName, int nOut, char* szOut) {
  return g_pDefault->xFullPathname(g_pDefault, szName, nOut, szOut);
}
void* DlOpen(sqlite3_vfs* pVfs, const char* szName) {
  return g_pDefault->xDlOpen(g_pDefault, szName);
}
void DlError(sqlite3_vfs* pVfs, int nBytes, char* szError) {
  g_pDefault->xDlError(g_pDefault, nBytes, szError);
}
void (*DlSym(sqlite3_vfs* pVfs, void* pHandle, const char* szSymbol))(void) {
  return g_pDefault->xDlSym(g_pDefault, pHandle, szSymbol);
}
void DlClose(sqlite3_vfs* pVfs, void* pHandle) {
  g_pDefault->xDlClose(g_pDefault, pHandle);
}
int Randomness(sqlite3_vfs* pVfs, int nBytes, char* pOut) {
  return g_pDefault->xRandomness(g_pDefault, nBytes, pOut);
}
int Sleep(sqlite3_vfs* pVfs, int nMicroseconds) {
  return g_pDefault->xSleep(g_pDefault, nMicroseconds);
}
int CurrentTime(sqlite3_vfs* pVfs, double* pdNow) {
  return g_pDefault->xCurrentTime(g_pDefault, pdNow);
}
int GetLastError(sqlite3_vfs* pVfs, int nBytes, char* szOut) {
  return g_pDefault->xGetLastError != nullptr ? g_pDefault->xGetLastError(g_pDefault, nBytes, szOut)
                                              : 0;
}
int CurrentTimeInt64(sqlite3_vfs* pVfs, sqlite3_int64* pnNow) {
  return g_pDefault->xCurrentTimeInt64(g_pDefault, pnNow);
}

sqlite3_vfs g_Vfs = {};

}  // namespace

const char* JetFileLayerVfs() {
  static std::once_flag once;
  static bool bRegistered = false;
  std::call_once(once, [] {
    if (sqlite3_initialize() != SQLITE_OK) return;
    g_pDefault = sqlite3_vfs_find(nullptr);
    if (g_pDefault == nullptr || g_pDefault->iVersion < 2) return;
    g_Vfs.iVersion = 2;
    g_Vfs.szOsFile = static_cast<int>(sizeof(LayerFile)) + g_pDefault->szOsFile;
    g_Vfs.mxPathname = g_pDefault->mxPathname;
    g_Vfs.zName = "daybridge-file-layer";
    g_Vfs.xOpen = Open;
    g_Vfs.xDelete = Delete;
    g_Vfs.xAccess = Access;
    g_Vfs.xFullPathname = FullPathname;
    g_Vfs.xDlOpen = DlOpen;
    g_Vfs.xDlError = DlError;
    g_Vfs.xDlSym = DlSym;
    g_Vfs.xDlClose = DlClose;
    g_Vfs.xRandomness = Randomness;
    g_Vfs.xSleep = Sleep;
    g_Vfs.xCurrentTime = CurrentTime;
    g_Vfs.xGetLastError = GetLastError;
    g_Vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    bRegistered = sqlite3_vfs_register(&g_Vfs, 0) == SQLITE_OK;
  });
  return bRegistered ? g_Vfs.zName : nullptr;
}
