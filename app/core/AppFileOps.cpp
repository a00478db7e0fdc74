// The rename and delete steps of AppFile, kept apart from the handle-based file API because
// the two platform headers each declare the security attributes record.
#include "app/core/AppFile.h"
#include "platform/win/WinFileOps.h"

bool RenameReplacing(const char* szFrom, const char* szTo) {
  return MoveFileEx(szFrom, szTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void DeleteQuietly(const char* szPath) {
  DeleteFile(szPath);
}
