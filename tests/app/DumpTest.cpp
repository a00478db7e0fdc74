// The error report: the mail link to the support address, the logo images, and the log
// options over the report. (Quitting from it runs in the main window's tests.)
#include "app/Dump.h"

#include "app/Apputil.h"
#include "support/ui/DialogTest.h"

namespace {

using DumpTest = DialogTest;

TEST_F(DumpTest, LinksOpenThroughTheShellAndDebugOptionsOpenOverTheReport) {
  TfmDump dlg;
  QWidget* pDebugOwner = nullptr;
  m_Ui.dialogDriver = [&](QDialog* pDialog) {
    pDebugOwner = pDialog->parentWidget();
    return static_cast<int>(QDialog::Rejected);
  };
  ClickIn(&dlg, "lblSupport");
  ClickIn(&dlg, "imgLogo");
  ClickIn(&dlg, "imgText");
  ClickIn(&dlg, "btnDebug");
  EXPECT_EQ(m_Ui.vOpened,
            (std::vector<std::string>{"mailto:support@daybridge.example.com?subject=DayBridge%20for"
                                      "%20Outlook%20and%20Palm%20Desktop%20Error%20Report",
                                      APP_HOME_URL, APP_HOME_URL}));
  EXPECT_EQ(m_Ui.vDialogs, std::vector<std::string>{"fmDebug"});
  EXPECT_EQ(pDebugOwner, &dlg);
}

}  // namespace
