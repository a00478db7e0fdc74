// The error report TfmDump, shown after an exception escaped the message loop: an apology,
// the support address as a mail link, where the debug log lives so that the user can attach
// it, and the way out of the program.
#pragma once

#include <QByteArray>
#include <QDialog>

#define APP_REPORT_SUBJECT "DayBridge for Outlook and Palm Desktop Error Report"

// "mailto:<support address>?subject=<subject>", the subject percent-encoded.
QByteArray SupportMailLink();

class TfmDump : public QDialog {
 public:
  explicit TfmDump(QWidget* pParent = nullptr);

 private:
  void OnQuit();
  void OnDebugOptions();
};
