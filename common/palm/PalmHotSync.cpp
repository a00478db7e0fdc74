// Placeholder until the HotSync library table arrives: no Palm user has a data folder.
#include "common/palm/PalmHotSync.h"

bool GetUserDataFolder(DWORD nUserId, char* szBuf, short nCapacity) {
  (void)nUserId;
  (void)szBuf;
  (void)nCapacity;
  return false;
}
