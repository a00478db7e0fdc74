// The calls DayBridge makes into the HotSync user library, as both sides declare them: the
// stand-in library exports them with C linkage and the Palm store binds them by name. Lengths
// are in characters and count the terminator; on return they hold the length of the text
// written, or the length needed when the buffer was too small.
#pragma once

#include <cstdint>

typedef int16_t (*PFN_UmGetUserCount)();
typedef int32_t (*PFN_UmGetUserID)(uint16_t nIndex, uint32_t* pnUserId);
typedef int32_t (*PFN_UmGetUserName)(uint32_t nUserId, char* szName, int16_t* pnLength);
typedef int32_t (*PFN_UmGetUserDirectory)(uint32_t nUserId, char* szDir, int16_t* pnLength);
// Non-zero (the length written) when szDir holds the root directory, 0 on failure.
typedef int32_t (*PFN_UmGetRootDirectory)(char* szDir, int16_t* pnLength);

// Results of the user calls other than UmGetRootDirectory.
#define UM_OK 0
#define UM_ERR_NOT_FOUND (-1)
#define UM_ERR_BUFFER_TOO_SMALL (-2)
#define UM_ERR_BAD_ARGUMENT (-3)
