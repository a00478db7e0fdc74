// What every window of the program shares: the one door through which message boxes, modal
// dialogs and the shell's "open" pass, the help and home page addresses, the application
// object and what happens to an exception that escapes the message loop.
//
// No window calls QMessageBox, QDialog::exec or ShellOpen itself: it calls AppMessageBox,
// AppExecModal or AppShellOpen, and tests install TAppUiHooks to answer them (and to see
// what would have been shown) without a person at the screen.
//
// Texts handed in as char* are ANSI (Windows-1252), as everything below the windows keeps
// them; they become Qt strings here.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QString>
#include <QTreeView>
#include <functional>
#include <initializer_list>
#include <string>

#include "app/core/AppMessages.h"
#include "common/misc/CxFailure.h"

// The help page and the home page the Help commands and the logo images open, and the
// address the error report is mailed to. Placeholders under a domain reserved for examples
// until the product has a site and a mailbox of its own.
#define APP_HELP_URL "https://daybridge.example.com/help/"
#define APP_HOME_URL "https://daybridge.example.com/"
#define APP_SUPPORT_MAIL "support@daybridge.example.com"

#define APP_ERROR_CAPTION "Error"

// The one way the windows write a date (month/day/year, the whole year), as the lists, the
// details and the history do; the date pickers take it too, so a date typed reads as listed.
#define APP_DATE_FORMAT "MM/dd/yyyy"

// A message box as it would appear.
struct TAppMessage {
  QWidget* pOwner;  // null for a box without owner window
  QString strText;
  QString strCaption;
  QMessageBox::Icon nIcon;
  QMessageBox::StandardButtons nButtons;
};

// What tests put in place of the screen. An empty member leaves that door to the real thing.
struct TAppUiHooks {
  // Returns the button pressed (a QMessageBox::StandardButton).
  std::function<int(const TAppMessage& msg)> messageBox;
  // Called with the dialog fully built and not yet shown; may drive its controls and returns
  // what exec() would (QDialog::Accepted or QDialog::Rejected). The dialog's done() is not
  // called for the caller: what accept() or reject() do is up to the hook.
  std::function<int(QDialog* pDialog)> execModal;
  // Returns whether the shell took the address.
  std::function<bool(const char* szTarget)> shellOpen;
};

// Installs the hooks and returns those they replace.
TAppUiHooks AppSetUiHooks(TAppUiHooks hooks);

// A modal message box; returns the button pressed.
int AppMessageBox(QWidget* pOwner, const char* szText, const char* szCaption,
                  QMessageBox::Icon nIcon, QMessageBox::StandardButtons nButtons = QMessageBox::Ok);
// An error the user must see: caption "Error", the error icon, OK.
void AppShowError(QWidget* pOwner, const char* szText);
// Runs a dialog modally; returns its result (QDialog::Accepted for OK).
int AppExecModal(QDialog* pDialog);
// Opens an address or file with the desktop's handler.
bool AppShellOpen(const char* szTarget);

// A control of the program's own: its design name as objectName and its caption (UTF-8).
template <class TControl>
TControl* AppNewControl(QWidget* pParent, const char* szName, const char* szCaption) {
  auto* pControl = new TControl(QString::fromUtf8(szCaption), pParent);
  pControl->setObjectName(QString::fromUtf8(szName));
  return pControl;
}

// A menu command of the program's own: its design name as objectName, its caption (UTF-8).
QAction* AppNewAction(QMenu* pMenu, const char* szName, const char* szCaption);

// A label with its caption (UTF-8); named only where the design names it.
QLabel* AppNewLabel(QWidget* pParent, const char* szCaption, const char* szName = nullptr);

// A text field that shows a text and takes none: its design name, its text, and a fixed width
// where nWidth is given.
QLineEdit* AppNewReadOnlyField(QWidget* pParent, const char* szName, const QString& strText = {},
                               int nWidth = 0);

// A check box or choice that shows a state and takes no clicks or focus, so it stays readable
// where a disabled one would be greyed.
template <class TButton>
TButton* AppNewReadOnlyControl(QWidget* pParent, const char* szName, const char* szCaption) {
  TButton* pButton = AppNewControl<TButton>(pParent, szName, szCaption);
  pButton->setAttribute(Qt::WA_TransparentForMouseEvents);
  pButton->setFocusPolicy(Qt::NoFocus);
  return pButton;
}

// A list in report view as every list of the program is: one row per item, selected whole,
// never edited in place, over the model's rows and column captions. The model is the
// caller's to own (a child of the list or of its window).
QTreeView* AppNewReportList(QWidget* pParent, const char* szName, QAbstractItemModel* pModel);

// Gives a list column its design width, or more where that would cut a text of the column
// short (the design widths were chosen for a smaller font than this desktop's).
void AppFitColumn(QTreeView* pList, int nColumn, int nDesignWidth);

// The program's main window while it exists (it registers itself), the owner of the error
// report after an escaped exception.
void AppSetMainWindow(QWidget* pMain);
QWidget* AppMainWindow();

// The error report dialog, shown modally over the main window after an escaped exception.
void ShowErrorReport(QWidget* pOwner);

// An exception escaped start-up or the message loop: the error report (when the main window
// exists), then the exception's message in the application's standard error box. The caller
// then ends the program. szMessage is empty for an exception of unknown type.
void AppHandleException(const char* szMessage);

// File names are bytes as the file system takes them (UTF-8 here), not ANSI text: they are
// shown and taken back with the file system's own encoding so that a chosen file is found
// again by the same bytes.
QString AppPathText(const char* szPath);
QByteArray AppPathBytes(const QString& strPath);

// The product's mark (the window icon and the imgLogo of the dialogs) and its name set as a
// picture (imgText), drawn here so the program needs no image files.
QPixmap AppProductLogo(int nSize);
QPixmap AppProductText();

// A label that acts when clicked or, with the focus, on Space or Enter, with the hand cursor:
// the logo images that open the home page, the support address, the colour swatches.
class TClickLabel : public QLabel {
 public:
  TClickLabel(QWidget* pParent, std::function<void()> onClick);

 protected:
  void mouseReleaseEvent(QMouseEvent* pEvent) override;
  void keyPressEvent(QKeyEvent* pEvent) override;

 private:
  std::function<void()> m_OnClick;
};

// The band across the top of a dialog with imgLogo and imgText; with bOpensHomePage both
// images open the home page.
QWidget* AppMakeBanner(QWidget* pParent, bool bOpensHomePage);

class QAbstractButton;
class QBoxLayout;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

// How a dialog starts: without the banner, with it, or with a banner whose images open the
// home page.
enum class TDialogBanner { None, Plain, HomeLink };

struct TDialogLayout {
  QVBoxLayout* pBody;     // the dialog's controls, top to bottom
  QHBoxLayout* pButtons;  // the row of buttons under them
};

// A dialog of one size, as every dialog of the program is: a frame without maximise or
// minimise button, and (when it has a layout) as large as its contents ask and no larger.
void AppFixDialogSize(QDialog* pDialog);

// Names the dialog, gives it its caption, makes it modal, lays out banner, body and button
// row and fixes its size.
TDialogLayout AppBeginDialog(QDialog* pDialog, const char* szName, const char* szCaption,
                             TDialogBanner banner);

// A named push button added to the row.
QPushButton* AppAddButton(QBoxLayout* pRow, QWidget* pParent, const char* szName,
                          const char* szCaption);
// "OK" (btnOK) and "Cancel" (btnCancel, left out for a null caption), with their captions as
// given, at the right of the row and wired to the dialog's accept and reject; OK is the
// default button.
void AppAddOkCancel(TDialogLayout& layout, QDialog* pDialog, const char* szOk,
                    const char* szCancel);

// One radio button of a group that stands for a stored number (a conflict action, say).
struct TAppChoice {
  int nValue;
  QAbstractButton* pButton;
};
// Checks the button of nValue, or the last of the group when no button stands for it, so a
// stored value from a later build still leaves one button checked.
void AppCheckChoice(std::initializer_list<TAppChoice> choices, int nValue);
// The value of the checked button, or nNoneChecked.
int AppCheckedChoice(std::initializer_list<TAppChoice> choices, int nNoneChecked);

// The application object: turns an exception thrown by any event handler into
// AppHandleException and the end of the message loop with exit code 1, where Qt itself
// would carry on in an undefined state.
class TAppShell : public QApplication {
 public:
  TAppShell(int& argc, char** argv);
  bool notify(QObject* pReceiver, QEvent* pEvent) override;
};
