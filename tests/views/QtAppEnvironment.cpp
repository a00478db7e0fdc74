// One QApplication for the whole test program, offscreen unless the caller chose a platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int s_nArgc = 1;
    static char s_szArg0[] = "test_views";
    static char* s_argv[] = {s_szArg0, nullptr};
    m_pApp = std::make_unique<QApplication>(s_nArgc, s_argv);
  }
  void TearDown() override { m_pApp.reset(); }

 private:
  std::unique_ptr<QApplication> m_pApp;
};

[[maybe_unused]] ::testing::Environment* const g_pQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace
