// The platform start-up step (app/core/AppProcess.h) for the life of a test: the apartment,
// "Outlook.Application", the 6.x calendar maker and the data module, undone at the end.
#pragma once

#include "app/core/AppProcess.h"

namespace dbtest {

class PlatformScope {
 public:
  PlatformScope() : m_bComInit(AppStartPlatform()) {}
  ~PlatformScope() { AppStopPlatform(m_bComInit); }
  PlatformScope(const PlatformScope&) = delete;
  PlatformScope& operator=(const PlatformScope&) = delete;

 private:
  bool m_bComInit;
};

}  // namespace dbtest
