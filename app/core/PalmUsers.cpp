// The Palm user list, built through the HotSync user library wrappers.
#include "app/core/PalmUsers.h"

#include <cstring>
#include <memory>
#include <new>

#include "app/core/AppMessages.h"
#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmHotSync.h"

namespace {

CxList& UserList() {
  static CxList s_users;
  return s_users;
}

}  // namespace

CxList& GetPalmUsers() {
  return UserList();
}

void FreePalmUsers() {
  CxList& users = UserList();
  for (void* pItem = users.GetFirst(); pItem != nullptr; pItem = users.GetNext()) {
    delete static_cast<PalmUser*>(pItem);
  }
  users.RemoveAll(false);
}

bool LoadPalmUsers() {
  FreePalmUsers();
  CxList& users = UserList();
  short nCount = PmGetUserCount();
  // The count is a 16-bit value, so the walk is bounded by 32767 users at most.
  for (short nIndex = 0; nIndex < nCount; ++nIndex) {
    std::unique_ptr<PalmUser> pUser(new (std::nothrow) PalmUser());
    if (!pUser) break;
    memset(pUser.get(), 0, sizeof(PalmUser));
    PmGetUserID(static_cast<WORD>(nIndex), &pUser->nUserId);
    SHORT nNameLen = sizeof(pUser->szUserName);
    PmGetUserName(pUser->nUserId, pUser->szUserName, &nNameLen);
    SHORT nDirLen = sizeof(pUser->szUserDir);
    PmGetUserDirectory(pUser->nUserId, pUser->szUserDir, &nDirLen);
    // Whatever the library left in the buffers, they end inside their arrays.
    pUser->szUserName[sizeof(pUser->szUserName) - 1] = '\0';
    pUser->szUserDir[sizeof(pUser->szUserDir) - 1] = '\0';
    if (users.Add(pUser.get())) pUser.release();
  }
  if (nCount < 0) {
    ShowUserError(MSG_NO_PALM_USERS);
    return false;
  }
  return true;
}

int ChoosePalmUser(TAppSettings& settings, CxList& users) {
  const auto* pFirst = static_cast<const PalmUser*>(users.GetFirst());
  if (pFirst != nullptr && settings.PDUserID == 0) {
    settings.PDUserID = static_cast<INT>(pFirst->nUserId);
  }
  return FindPalmUserIndex(settings.PDUserID, users);
}

int FindPalmUserIndex(INT nUserId, CxList& users) {
  const auto* pFirst = static_cast<const PalmUser*>(users.GetFirst());
  if (pFirst == nullptr) return -1;
  if (nUserId == 0) nUserId = static_cast<INT>(pFirst->nUserId);
  int nIndex = 0;
  for (void* pItem = users.GetFirst(); pItem != nullptr; pItem = users.GetNext(), ++nIndex) {
    if (static_cast<INT>(static_cast<PalmUser*>(pItem)->nUserId) == nUserId) return nIndex;
  }
  return 0;
}
