// The platform start-up step: every registration the program makes happens here, once.
#include "app/core/AppProcess.h"

#include <memory>

#include "common/palm/Datamain.h"
#include "common/palm/PalmDateInfoEx2.h"
#include "platform/automation/ComRuntime.h"
#include "platform/outlook/OutlookServer.h"

namespace {

// The data module dmMain points at between the step and its undoing.
std::unique_ptr<TdmMain> g_pDataModule;

}  // namespace

bool AppStartPlatform() {
  const bool bComInit = SUCCEEDED(CoInitialize(nullptr));
  OutlookServerRegister();
  PmRegisterCalendarEx2();
  if (!g_pDataModule) g_pDataModule = std::make_unique<TdmMain>();
  dmMain = g_pDataModule.get();
  return bComInit;
}

void AppStopPlatform(bool bComInit) {
  dmMain = nullptr;
  g_pDataModule.reset();
  OutlookServerRevoke();
  if (bComInit) CoUninitialize();
}
