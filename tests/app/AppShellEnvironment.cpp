// One application object for the whole test program, the program's own (so escaped
// exceptions take the program's path), offscreen unless the caller chose a platform.
#include <gtest/gtest.h>

#include <memory>

#include "app/Apputil.h"

namespace {

class AppShellEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int s_nArgc = 1;
    static char s_szArg0[] = "test_app";
    static char* s_argv[] = {s_szArg0, nullptr};
    m_pApp = std::make_unique<TAppShell>(s_nArgc, s_argv);
  }
  void TearDown() override { m_pApp.reset(); }

 private:
  std::unique_ptr<TAppShell> m_pApp;
};

[[maybe_unused]] ::testing::Environment* const g_pAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppShellEnvironment);

}  // namespace
