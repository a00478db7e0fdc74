// Stand-in for the HotSync conduit manager library. DayBridge binds its entry points but
// never calls them; the version call is here so the library is recognisably the one asked for.
#include <cstdint>

extern "C" {

__attribute__((visibility("default"))) uint32_t CmGetLibVersion() {
  return 0x00040100;
}

// No conduits are installed here.
__attribute__((visibility("default"))) int32_t CmGetConduitCount() {
  return 0;
}

}  // extern "C"
