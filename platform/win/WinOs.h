// The one layer through which every access to a user's file goes (datebooks and their
// backups, the calendar file and its journal, settings, history): open, read, write, sync,
// folder sync, truncate, rename, remove, lock, mode. The functions are thin POSIX calls with
// EINTR retried; results are POSIX (a descriptor or -1, true or false) with errno set, since
// the Win32-shaped functions above this turn errno into their own codes.
//
// Tests install a fault plan here. Every operation has a kind and a number: the Nth operation
// of a kind can fail with a chosen errno instead of running, or the process can "crash" at
// the Nth operation: that one and every later one do nothing and fail with EIO, as if the
// process had died there (what reached the files before stays, as after a real kill; a
// descriptor is still closed, as the system closes a dead process's files).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

enum CX_OS_KIND {
  CX_OS_OPEN,  // every open of a file, made or not
  CX_OS_READ,
  CX_OS_WRITE,
  CX_OS_TRUNCATE,
  CX_OS_SYNC,         // a file's contents to the disk
  CX_OS_SYNC_FOLDER,  // a folder's entries (a rename, a new or removed name) to the disk
  CX_OS_RENAME,
  CX_OS_REMOVE,
  CX_OS_LOCK,
  CX_OS_MODE,  // permission bits, owner and group
  CX_OS_KIND_COUNT,
  CX_OS_ANY = CX_OS_KIND_COUNT,  // in a plan: operations of every kind counted together
};

struct CX_OS_FAULT_PLAN {
  int nKind = CX_OS_ANY;
  long nNth = 0;        // 1 for the first operation of that kind after the plan is installed
  int nErrno = 0;       // the error the Nth operation fails with (ENOSPC, EIO, EACCES ...)
  bool bCrash = false;  // instead: the Nth and every later operation do nothing
};

// Installs a plan (null removes it) and starts counting operations from zero.
void CxOsSetFaultPlan(const CX_OS_FAULT_PLAN* pPlan);
// Operations of that kind (or CX_OS_ANY) since the plan was installed, those a crash stopped
// included.
long CxOsOperationCount(int nKind = CX_OS_ANY);
// Whether the plan's crash has happened.
bool CxOsCrashed();
// Whether a plan is installed: operations must then come in one fixed order, so work that
// could run on two threads at once runs on one.
bool CxOsFaultPlanned();

// For a layer that makes its own system calls (the database engine's): counts one operation
// of that kind and says whether the plan lets it run; when not, errno says why.
bool CxOsMayRun(int nKind);

int CxOsOpen(const char* szPath, int nFlags, mode_t nMode = 0666);
int CxOsOpenAt(int nDirFd, const char* szName, int nFlags);
// Closing is no operation of the plan: it always closes.
int CxOsClose(int fd);

// Reads up to nSize bytes; the count, 0 at the end, -1 on failure.
ssize_t CxOsRead(int fd, void* pBuffer, size_t nSize);
ssize_t CxOsReadAt(int fd, void* pBuffer, size_t nSize, off_t nOffset);
// Writes every byte; false when the system wrote fewer (ENOSPC when it wrote none without a
// reason). *pnDone, when given, receives what reached the file.
bool CxOsWriteAll(int fd, const void* pData, size_t nSize, size_t* pnDone = nullptr);
bool CxOsTruncate(int fd, off_t nLength);
// bDataOnly: the contents, not the times (fdatasync).
bool CxOsSync(int fd, bool bDataOnly = false);
// Forces the entries of the folder that holds szPath to the disk. A folder that cannot be
// opened is no failure here: nothing of ours would be in it.
bool CxOsSyncFolderOf(const std::string& strPath);
// With bNoReplace an existing target fails with EEXIST; file systems without
// RENAME_NOREPLACE fall back to a hard link, and failing that to a test before the rename.
bool CxOsRename(const char* szFrom, const char* szTo, bool bNoReplace = false);
bool CxOsRemove(const char* szPath);
bool CxOsRemoveAt(int nDirFd, const char* szName);
// flock, retried on EINTR.
bool CxOsLock(int fd, int nOperation);
bool CxOsSetMode(int fd, mode_t nMode);
bool CxOsSetOwner(int fd, uid_t nUid, gid_t nGid);

// The folder part of a path ("." for a bare name, "/" for the root) and the name part.
std::string CxOsFolderOf(const std::string& strPath);
std::string CxOsNameOf(const std::string& strPath);

// Bytes as lowercase hexadecimal digits, two a byte.
std::string CxOsHex(const unsigned char* pBytes, size_t nCount);
// nBytes from the system's random source, in hexadecimal: unpredictable names for temporary
// files.
std::string CxOsRandomHex(size_t nBytes);
