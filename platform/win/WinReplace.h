// Replacing a user's file without ever losing it, and telling whether a file is still the
// one that was read. Every writer of a user's file goes through CxCreateReplacement and
// CxCommitReplacement (or CxReplaceFileContents for a whole buffer):
//
//  - the new contents go to a temporary file created new and exclusive, under an
//    unpredictable name, in the folder of the file being replaced, so a planted link or file
//    is never followed or overwritten;
//  - a link is followed to the file it names, which is replaced in its own folder: the link
//    stays a link;
//  - the new file gets the old one's permission bits and, where the system allows it, its
//    owner and group; until then it is readable by its writer only;
//  - with an expected stamp, the file is compared with what was read just before it is
//    replaced, and left alone (ERROR_CX_FILE_CHANGED) when another program changed it;
//  - temporary files of ours left behind by a killed run are removed at the next save.
//
// Failures return FALSE (or INVALID_HANDLE_VALUE) with the reason as the last error:
// ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ERROR_PATH_NOT_FOUND, ERROR_CX_FILE_CHANGED ...;
// the file being replaced is then exactly as it was and no temporary file is left.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win/WinFileOps.h"
#include "platform/win/WinTypes.h"

// Application-defined codes carry bit 29, so they never meet a system code.
#define ERROR_CX_FILE_CHANGED 0x20000001L
#ifndef ERROR_WRITE_PROTECT
#define ERROR_WRITE_PROTECT 19L
#endif
#ifndef ERROR_LOCK_VIOLATION
#define ERROR_LOCK_VIOLATION 33L
#endif

// What identifies the contents of a file as read: size, last write time and a hash of every
// byte (not a security hash: it tells a change, it does not resist forgery).
typedef struct _CX_FILE_STAMP {
  ULONGLONG nSize;
  FILETIME ftLastWrite;
  ULONGLONG nContentHash;
} CX_FILE_STAMP;

// The stamp of the open file (the whole file, whatever the handle's position, which does not
// move).
BOOL CxGetFileStamp(HANDLE hFile, CX_FILE_STAMP* pStamp);
BOOL CxSameFileStamp(const CX_FILE_STAMP* pA, const CX_FILE_STAMP* pB);
// The content hash a stamp carries, of bytes in memory: what a file holding exactly these
// bytes would be stamped with.
ULONGLONG CxHashContents(LPCVOID pData, size_t nSize);

// The absolute path of the file szPath ends at once every link on the way is followed (the
// file need not exist). The number of characters written, 0 on failure (the last error
// says why; ERROR_INSUFFICIENT_BUFFER when it does not fit).
DWORD CxResolveFilePath(LPCSTR szPath, LPSTR szResolved, DWORD nSize);

// A write handle on a new temporary file beside the file szTarget resolves to. The target
// need not exist; an existing one must be writable by the caller.
HANDLE CxCreateReplacement(LPCSTR szTarget);
// Makes what was written through the handle the target's contents in one step, and closes
// the handle. With pExpected, the target must still carry that stamp (a missing target fails
// too). pWritten, when given, receives the stamp of the new contents.
BOOL CxCommitReplacement(HANDLE hReplacement, const CX_FILE_STAMP* pExpected,
                         CX_FILE_STAMP* pWritten);
// CloseHandle on an uncommitted replacement discards it: the temporary file is removed and
// the target left alone.

// A whole new content for szTarget, through the two calls above.
BOOL CxReplaceFileContents(LPCSTR szTarget, LPCVOID pData, size_t nSize,
                           const CX_FILE_STAMP* pExpected, CX_FILE_STAMP* pWritten);

// A whole new content for a file DayBridge keeps beside szProtected (its backup): whatever is
// at szTarget (a link, a file planted there) is replaced, never followed, and the new file
// takes the mode and, where the system allows it, the owner and group of szProtected.
BOOL CxReplaceFileContentsAs(LPCSTR szTarget, LPCSTR szProtected, LPCVOID pData, size_t nSize);

// Whether a save can replace szTarget, asked before a run writes anything so that a file
// that cannot be written fails the run instead of each of its writes. The file (followed
// through links, when it exists) and every folder the save writes into (the file's own,
// and the link's, where backups and journals beside the named path go) must be writable.
// A file or folder its owner may not write counts as read-only, as the Windows attribute
// does, even for a privileged user who could write it all the same: what the user marked
// read-only stays unwritten. FALSE with ERROR_WRITE_PROTECT (marked read-only) or
// ERROR_ACCESS_DENIED (the rights refuse it), and *pstrRefused naming the file or folder.
BOOL CxCanReplaceFile(LPCSTR szTarget, std::string* pstrRefused);

// A short reason for a file error, to be shown to the user ("permission denied").
LPCSTR CxFileErrorText(DWORD dwError);
