// Stands in for the screen while it lives: every message box, modal dialog and shell "open"
// the windows ask for (through AppSetUiHooks) is recorded; boxes are answered with OK, dialogs
// by the driver a test sets (Rejected without one) and shell opens as taken. The hooks that
// were in place come back when the object goes.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "app/Apputil.h"

class UiRecorder {
 public:
  UiRecorder() {
    TAppUiHooks hooks;
    hooks.messageBox = [this](const TAppMessage& msg) {
      vMessages.push_back(msg);
      return static_cast<int>(QMessageBox::Ok);
    };
    hooks.execModal = [this](QDialog* pDialog) {
      vDialogs.push_back(pDialog->objectName().toStdString());
      return dialogDriver ? dialogDriver(pDialog) : static_cast<int>(QDialog::Rejected);
    };
    hooks.shellOpen = [this](const char* szTarget) {
      vOpened.emplace_back(szTarget);
      return true;
    };
    m_Previous = AppSetUiHooks(std::move(hooks));
  }
  ~UiRecorder() { AppSetUiHooks(std::move(m_Previous)); }
  UiRecorder(const UiRecorder&) = delete;
  UiRecorder& operator=(const UiRecorder&) = delete;

  std::vector<TAppMessage> vMessages;
  std::vector<std::string> vDialogs;  // object names, in the order they were run
  std::vector<std::string> vOpened;
  // Drives the dialogs run from now on and returns their result.
  std::function<int(QDialog* pDialog)> dialogDriver;

 private:
  TAppUiHooks m_Previous;
};
