// Stand-in for the install aide library: bound by DayBridge, never called. The version call
// keeps the library's own spelling of its name.
#include <cstdint>

extern "C" {

__attribute__((visibility("default"))) uint32_t PlmGetLibVesion() {
  return 0x00040100;
}

// No files wait to be installed here.
__attribute__((visibility("default"))) int32_t PltGetUserCount() {
  return 0;
}

}  // extern "C"
