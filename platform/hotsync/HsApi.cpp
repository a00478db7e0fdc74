// Stand-in for the HotSync manager's API library: bound by DayBridge, never called.
#include <cstdint>

#include "platform/hotsync/HotSyncStubs.h"

extern "C" {

__attribute__((visibility("default"))) int32_t HsGetApiVersion(int32_t* pnMajor, int32_t* pnMinor) {
  if (pnMajor) *pnMajor = 4;
  if (pnMinor) *pnMinor = 1;
  return 0;
}

}  // extern "C"

// Bound by DayBridge, never called.
DB_HOTSYNC_STUB(HsGetSyncStatus)
DB_HOTSYNC_STUB(HsCheckApiStatus)
DB_HOTSYNC_STUB(HsDisplayCustomDlg)
DB_HOTSYNC_STUB(HsDisplayLog)
DB_HOTSYNC_STUB(HsDisplayFileLink)
DB_HOTSYNC_STUB(HsResetComm)
DB_HOTSYNC_STUB(HsSetCommStatus)
DB_HOTSYNC_STUB(HsGetCommStatus)
DB_HOTSYNC_STUB(HsSetAppStatus)
DB_HOTSYNC_STUB(HsRefreshConduitInfo)
