// The shared door of the windows to the screen and the shell, and the top-level handling of
// escaped exceptions.
#include "app/Apputil.h"

#include <QPointer>
#include <exception>
#include <utility>

#include "app/core/AppSettings.h"
#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "views/CxPaintUtil.h"

using cxpaint::AnsiText;

namespace {

TAppUiHooks& Hooks() {
  static TAppUiHooks s_hooks;
  return s_hooks;
}

QPointer<QWidget>& MainWindow() {
  static QPointer<QWidget> s_pMain;
  return s_pMain;
}

}  // namespace

TAppUiHooks AppSetUiHooks(TAppUiHooks hooks) {
  TAppUiHooks previous = std::move(Hooks());
  Hooks() = std::move(hooks);
  return previous;
}

int AppMessageBox(QWidget* pOwner, const char* szText, const char* szCaption,
                  QMessageBox::Icon nIcon, QMessageBox::StandardButtons nButtons) {
  TAppMessage msg{pOwner, AnsiText(szText), AnsiText(szCaption), nIcon, nButtons};
  if (Hooks().messageBox) return Hooks().messageBox(msg);
  QMessageBox box(msg.nIcon, msg.strCaption, msg.strText, msg.nButtons, msg.pOwner);
  return box.exec();
}

void AppShowError(QWidget* pOwner, const char* szText) {
  AppMessageBox(pOwner, szText, APP_ERROR_CAPTION, QMessageBox::Critical);
}

int AppExecModal(QDialog* pDialog) {
  if (pDialog == nullptr) return QDialog::Rejected;
  if (Hooks().execModal) return Hooks().execModal(pDialog);
  return pDialog->exec();
}

bool AppShellOpen(const char* szTarget) {
  if (Hooks().shellOpen) return Hooks().shellOpen(szTarget);
  return ShellOpen(szTarget);
}

void AppSetMainWindow(QWidget* pMain) {
  MainWindow() = pMain;
}

QWidget* AppMainWindow() {
  return MainWindow().data();
}

void ShowErrorReport(QWidget* pOwner) {
  Log(2, "The error report would be offered over the main window here.");
}

void AppHandleException(const char* szMessage) {
  const char* szText = szMessage != nullptr ? szMessage : "";
  Log(0, "Unhandled exception: %s", szText);
  if (QWidget* pMain = AppMainWindow()) ShowErrorReport(pMain);
  AppMessageBox(nullptr, szText, APP_TITLE, QMessageBox::Critical);
}

TAppShell::TAppShell(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("daybridge"));
  // Lets the desktop find the icon of the installed desktop entry for the window.
  setDesktopFileName(QStringLiteral("daybridge"));
}

bool TAppShell::notify(QObject* pReceiver, QEvent* pEvent) {
  // Events keep arriving while the boxes of an escaped exception are shown (they are modal
  // and run their own loop); one that throws then is not reported over the first.
  static bool s_bHandling = false;
  try {
    return QApplication::notify(pReceiver, pEvent);
  } catch (const std::exception& e) {
    if (s_bHandling) return false;
    s_bHandling = true;
    AppHandleException(e.what());
  } catch (...) {
    if (s_bHandling) return false;
    s_bHandling = true;
    AppHandleException("");
  }
  s_bHandling = false;
  QCoreApplication::exit(1);
  return false;
}
