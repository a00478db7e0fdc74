// The error report. "Quit DayBridge" closes the report first and only then asks the main
// window to close, so the main window's own shut-down (settings written, stores freed) runs
// as on any other exit.
#include "app/Dump.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "app/Apputil.h"
#include "app/Debugger.h"

QByteArray SupportMailLink() {
  return QByteArrayLiteral("mailto:" APP_SUPPORT_MAIL "?subject=") +
         QUrl::toPercentEncoding(QStringLiteral(APP_REPORT_SUBJECT));
}

TfmDump::TfmDump(QWidget* pParent) : QDialog(pParent) {
  TDialogLayout layout =
      AppBeginDialog(this, "fmDump", "Handle DayBridge Exception", TDialogBanner::HomeLink);
  auto* pSorry = new QLabel(
      QStringLiteral("We're sorry that an unhandled exception occurred in DayBridge. "), this);
  pSorry->setObjectName(QStringLiteral("lblSorry"));
  QFont bold = pSorry->font();
  bold.setBold(true);
  pSorry->setFont(bold);
  layout.pBody->addWidget(pSorry);
  auto* pContactRow = new QHBoxLayout;
  auto* pContact = new QLabel(QStringLiteral("Please contact us at:"), this);
  pContact->setObjectName(QStringLiteral("lblContact"));
  auto* pSupport = new TClickLabel(this, [] { AppShellOpen(SupportMailLink().constData()); });
  pSupport->setObjectName(QStringLiteral("lblSupport"));
  pSupport->setText(QStringLiteral(APP_SUPPORT_MAIL));
  pSupport->setStyleSheet(QStringLiteral("color: #1f5fa8; text-decoration: underline;"));
  pSupport->setToolTip(QStringLiteral("Write to us about this error"));
  pContactRow->addWidget(pContact);
  pContactRow->addWidget(pSupport);
  pContactRow->addStretch(1);
  layout.pBody->addLayout(pContactRow);
  layout.pBody->addWidget(new TLogLocationGroup(
      this, QStringLiteral("It is very appreciated if you can include the debug information in "
                           "your error report.")));

  QPushButton* pDebug = AppAddButton(layout.pButtons, this, "btnDebug", "&Debug Options");
  layout.pButtons->addStretch(1);
  QPushButton* pQuit = AppAddButton(layout.pButtons, this, "btnExit", "Quit DayBridge");
  QPushButton* pOk = AppAddButton(layout.pButtons, this, "btnOK", "&OK");
  pOk->setDefault(true);
  connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(pQuit, &QPushButton::clicked, this, &TfmDump::OnQuit);
  connect(pDebug, &QPushButton::clicked, this, &TfmDump::OnDebugOptions);
}

void TfmDump::OnQuit() {
  QWidget* pMain = AppMainWindow();
  if (pMain == nullptr) pMain = parentWidget();
  reject();
  // Queued: the report's own loop ends before the main window hears of it.
  if (pMain != nullptr) QMetaObject::invokeMethod(pMain, &QWidget::close, Qt::QueuedConnection);
}

void TfmDump::OnDebugOptions() {
  TfmDebug dlg(this);
  AppExecModal(&dlg);
}
