// Stands in for the screen while it lives: every message box, modal dialog and shell "open"
// the windows ask for (through AppSetUiHooks) is recorded; boxes are answered with OK, dialogs
// by the driver a test sets for their object name, else by dialogDriver (Rejected without
// either) and shell opens as taken. The hooks that were in place come back when the object
// goes. The first time a box of a text, or a dialog of a name, comes by, its picture is saved
// under <build>/screenshots/ (as "messagebox-<first words>.png", "modal-<name>.png"), so every
// box and dialog the tests reach can be looked at as a user would see it.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QLayout>
#include <QRegularExpression>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/Apputil.h"

// A picture of the window as it appears, under <build>/screenshots/.
inline bool SaveDialogPicture(QWidget* pDialog, const char* szFile) {
  const QString strFolder = QStringLiteral(DB_BUILD_DIR "/screenshots");
  if (!QDir().mkpath(strFolder)) return false;
  const bool bWasVisible = pDialog->isVisible();
  pDialog->show();
  QCoreApplication::processEvents();
  const bool bSaved =
      pDialog->grab().save(strFolder + QLatin1Char('/') + QLatin1String(szFile), "PNG");
  if (!bWasVisible) pDialog->hide();
  return bSaved;
}

// A picture of a dialog as its run left it (as the test drove it), drawn without showing it
// again: drawn before the run, its pages would be laid out and its controls placed other than
// the test that drives it expects.
inline void SaveUnshownPicture(QWidget* pDialog, const std::string& sName) {
  const QString strFolder = QStringLiteral(DB_BUILD_DIR "/screenshots");
  if (!QDir().mkpath(strFolder)) return;
  pDialog->ensurePolished();
  if (QLayout* pLayout = pDialog->layout()) pLayout->activate();
  pDialog->grab().save(strFolder + QLatin1Char('/') + QString::fromStdString(sName) + ".png",
                       "PNG");
}

// The picture's name for a box: its first words, in letters and digits.
inline std::string MessagePictureName(const QString& strText) {
  const QString strWords = strText.section(QLatin1Char(' '), 0, 5).toLower();
  QString strName = strWords;
  strName.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
  if (strName.isEmpty() || strName == QLatin1String("-")) strName = QStringLiteral("without-text");
  return "messagebox-" + strName.left(48).toStdString() + ".png";
}

class UiRecorder {
 public:
  UiRecorder() {
    TAppUiHooks hooks;
    hooks.messageBox = [this](const TAppMessage& msg) {
      vMessages.push_back(msg);
      if (PicturedTexts().insert(msg.strText.toStdString()).second) {
        QMessageBox box(msg.nIcon, msg.strCaption, msg.strText, msg.nButtons, msg.pOwner);
        SaveDialogPicture(&box, MessagePictureName(msg.strText).c_str());
      }
      if (nAnswer != 0) return nAnswer;
      // The affirmative button: Yes for a question, else OK.
      return static_cast<int>((msg.nButtons & QMessageBox::Yes) ? QMessageBox::Yes
                                                                : QMessageBox::Ok);
    };
    hooks.execModal = [this](QDialog* pDialog) {
      const std::string sName = pDialog->objectName().toStdString();
      vDialogs.push_back(sName);
      const auto it = drivers.find(sName);
      const int nResult = it != drivers.end() ? it->second(pDialog)
                          : dialogDriver      ? dialogDriver(pDialog)
                                              : static_cast<int>(QDialog::Rejected);
      if (PicturedDialogs().insert(sName).second) SaveUnshownPicture(pDialog, "modal-" + sName);
      return nResult;
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
  // Once per test program: the same box in every test would only be the same picture.
  static std::set<std::string>& PicturedTexts() {
    static std::set<std::string> texts;
    return texts;
  }
  static std::set<std::string>& PicturedDialogs() {
    static std::set<std::string> names;
    return names;
  }

  TAppUiHooks m_Previous;
};
