// Stand-in for the install aide library: bound by DayBridge, never called. The version call
// keeps the library's own spelling of its name.
#include <cstdint>

#include "platform/hotsync/HotSyncStubs.h"

extern "C" {

__attribute__((visibility("default"))) uint32_t PlmGetLibVesion() {
  return 0x00040100;
}

// No files wait to be installed here.
__attribute__((visibility("default"))) int32_t PltGetUserCount() {
  return 0;
}

}  // extern "C"

// Bound by DayBridge, never called.
DB_HOTSYNC_STUB(PltGetUser)
DB_HOTSYNC_STUB(PltInstallFile)
DB_HOTSYNC_STUB(PltGetFileCount)
DB_HOTSYNC_STUB(PltGetFileName)
DB_HOTSYNC_STUB(PltGetFileInfo)
DB_HOTSYNC_STUB(PltRemoveInstallFile)
DB_HOTSYNC_STUB(PltGetPath)
DB_HOTSYNC_STUB(PltSetPath)
DB_HOTSYNC_STUB(PltGetInstallFileFilter)
DB_HOTSYNC_STUB(PltGetFileTypesCount)
DB_HOTSYNC_STUB(PltGetFileTypeExtension)
DB_HOTSYNC_STUB(PltGetInstallConduitCount)
DB_HOTSYNC_STUB(PltGetInstallConduitInfo)
DB_HOTSYNC_STUB(PltIsInstallMaskSet)
DB_HOTSYNC_STUB(PltResetInstallMask)
DB_HOTSYNC_STUB(PltGetInstallCreatorInfo)
DB_HOTSYNC_STUB(PltSetInstallRegistry)
DB_HOTSYNC_STUB(PltGetRegistryPath)
DB_HOTSYNC_STUB(PltGetUserDirectory)
DB_HOTSYNC_STUB(PltIsUserProfile)
DB_HOTSYNC_STUB(PlmGetUserNameFromID)
DB_HOTSYNC_STUB(PlmGetUserIDFromName)
DB_HOTSYNC_STUB(PltInstallFileToDest)
DB_HOTSYNC_STUB(PltGetInstallFileFilterForUser)
DB_HOTSYNC_STUB(PlmSlotGetFileCount)
DB_HOTSYNC_STUB(PlmSlotGetFileInfo)
DB_HOTSYNC_STUB(PlmSlotInstallFile)
DB_HOTSYNC_STUB(PlmSlotRemoveInstallFile)
DB_HOTSYNC_STUB(PlmSlotMoveInstallFile)
DB_HOTSYNC_STUB(PlmMoveInstallFileToSlot)
DB_HOTSYNC_STUB(PlmMoveInstallFileToHandheld)
