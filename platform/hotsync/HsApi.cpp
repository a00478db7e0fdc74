// Stand-in for the HotSync manager's API library: bound by DayBridge, never called.
#include <cstdint>

extern "C" {

__attribute__((visibility("default"))) int32_t HsGetApiVersion(int32_t* pnMajor, int32_t* pnMinor) {
  if (pnMajor) *pnMajor = 4;
  if (pnMinor) *pnMinor = 1;
  return 0;
}

}  // extern "C"
