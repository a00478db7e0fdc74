// Stands in for the screen while it lives: every message box, modal dialog and shell "open"
// the windows ask for (through AppSetUiHooks) is recorded; boxes are answered with OK, dialogs
// by the driver a test sets for their object name, else by dialogDriver (Rejected without
// either) and shell opens as taken. The hooks that
// were in place come back when the object goes.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/Apputil.h"

class UiRecorder {
 public:
  UiRecorder() {
    TAppUiHooks hooks;
    hooks.messageBox = [this](const TAppMessage& msg) {
      vMessages.push_back(msg);
      if (nAnswer != 0) return nAnswer;
      // The affirmative button: Yes for a question, else OK.
      return static_cast<int>((msg.nButtons & QMessageBox::Yes) ? QMessageBox::Yes
                                                                : QMessageBox::Ok);
    };
    hooks.execModal = [this](QDialog* pDialog) {
      const std::string sName = pDialog->objectName().toStdString();
      vDialogs.push_back(sName);
      const auto it = drivers.find(sName);
      if (it != drivers.end()) return it->second(pDialog);
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
  // The button every box answers with; 0 for the affirmative one.
  int nAnswer = 0;
  std::vector<std::string> vDialogs;  // object names, in the order they were run
  std::vector<std::string> vOpened;
  // Drives the dialogs run from now on and returns their result.
  std::function<int(QDialog* pDialog)> dialogDriver;
  // Drivers by dialog object name, ahead of dialogDriver (a dialog run from inside another
  // dialog's driver finds its own here).
  std::map<std::string, std::function<int(QDialog* pDialog)>> drivers;

 private:
  TAppUiHooks m_Previous;
};
