// daybridge: the program. It takes no arguments (Qt's own, such as -platform, are still
// understood) but --version and --help, answered before any window or display is needed. Start-up
// runs while the main window is created and in RunStartup, which waits for the window's first
// painted frame; the message loop runs until the main window closes, and shut-down runs when
// the window is destroyed.
//
// With DAYBRIDGE_SNAPSHOT_DIR set the program saves a picture of each page of the main window
// into that folder once start-up is done and then closes through its normal shut-down; meant
// for machines without a display, where a message box would wait for ever, so boxes and
// dialogs are then written to standard error and answered with their default.
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>

#include "app/Apputil.h"
#include "app/Main.h"

namespace {

void AnswerEverythingOnStderr() {
  TAppUiHooks hooks;
  hooks.messageBox = [](const TAppMessage& msg) {
    fprintf(stderr, "daybridge: %s: %s\n", msg.strCaption.toUtf8().constData(),
            msg.strText.toUtf8().constData());
    return static_cast<int>(QMessageBox::Ok);
  };
  hooks.execModal = [](QDialog* pDialog) {
    fprintf(stderr, "daybridge: dialog \"%s\" closed unanswered\n",
            pDialog->windowTitle().toUtf8().constData());
    return static_cast<int>(QDialog::Rejected);
  };
  hooks.shellOpen = [](const char* szTarget) {
    fprintf(stderr, "daybridge: would open %s\n", szTarget);
    return true;
  };
  AppSetUiHooks(std::move(hooks));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("daybridge %s\n", DAYBRIDGE_VERSION);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    printf(
        "Usage: daybridge [--version | --help]\n"
        "Shows and synchronizes the appointments of a Palm Desktop calendar and an Outlook\n"
        "calendar. 'man daybridge' describes the program; daybridge-cli does the same without\n"
        "a display.\n");
    return 0;
  }
  TAppShell app(argc, argv);
  if (app.arguments().size() > 1) {
    fprintf(stderr, "daybridge takes no arguments.\n");
    return 1;
  }
  const QString strSnapshots = qEnvironmentVariable("DAYBRIDGE_SNAPSHOT_DIR");
  if (!strSnapshots.isEmpty()) AnswerEverythingOnStderr();

  std::unique_ptr<TfmMain> pMain;
  int nResult = 1;
  bool bSnapshotsSaved = true;
  try {
    pMain = std::make_unique<TfmMain>();
    pMain->ShowThenStart([&pMain, &bSnapshotsSaved, strSnapshots] {
      if (strSnapshots.isEmpty()) return;
      // Once started: the pictures show the window with its calendars as the user sees it.
      QTimer::singleShot(0, pMain.get(), [&pMain, &bSnapshotsSaved, strSnapshots] {
        const QString strFolder = QDir(strSnapshots).absolutePath();
        bSnapshotsSaved = pMain->SaveSnapshots(strFolder);
        if (bSnapshotsSaved) {
          fprintf(stdout, "Pictures of the main window saved in %s\n",
                  strFolder.toUtf8().constData());
        } else {
          fprintf(stderr, "daybridge: could not save the pictures in %s\n",
                  strFolder.toUtf8().constData());
        }
        pMain->close();
      });
    });
    nResult = app.exec();
  } catch (const std::exception& e) {
    AppHandleException(e.what());
  } catch (...) {
    AppHandleException("");
  }
  // Shut-down: the main window's destruction writes the settings and frees the calendars.
  pMain.reset();
  if (nResult == 0 && !bSnapshotsSaved) nResult = 2;
  return nResult;
}
