// The log options dialog and the log location group. The dialog reads the settings when it
// is made and writes them only on OK.
#include "app/Debugger.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Apputil.h"
#include "app/core/AppLogOptions.h"
#include "app/core/AppSettings.h"
#include "platform/win/WinTypes.h"

namespace {

// Wide enough for the whole path where the screen allows.
constexpr int kLocationFieldMinWidth = 300;
constexpr int kLocationFieldMaxWidth = 600;
constexpr int kBrowseButtonWidth = 30;

QLineEdit* MakeLocationField(QWidget* pParent, const char* szName, const QByteArray& path) {
  QLineEdit* pField = AppNewReadOnlyField(pParent, szName, AppPathText(path.constData()));
  const int nTextWidth = pField->fontMetrics().horizontalAdvance(pField->text()) + 16;
  pField->setMinimumWidth(std::clamp(nTextWidth, kLocationFieldMinWidth, kLocationFieldMaxWidth));
  pField->setToolTip(pField->text());
  pField->setCursorPosition(0);
  return pField;
}

}  // namespace

TLogLocationGroup::TLogLocationGroup(QWidget* pParent, const QString& strIntro)
    : QGroupBox(QStringLiteral(" Debug Information "), pParent) {
  setObjectName(QStringLiteral("gbDebugInfo"));
  char szFolder[MAX_PATH];
  char szFile[MAX_PATH];
  const bool bKnown = GetLogLocation(szFolder, szFile);
  m_Folder = szFolder;
  m_File = szFile;

  auto* pGrid = new QGridLayout(this);
  int nRow = 0;
  if (!strIntro.isEmpty()) {
    auto* pIntro = new QLabel(strIntro, this);
    pIntro->setObjectName(QStringLiteral("lblDebugInfo"));
    pIntro->setWordWrap(true);
    pGrid->addWidget(pIntro, nRow++, 0, 1, 3);
  }
  QLabel* pFolderLabel = AppNewLabel(this, "Log Folder:");
  QLineEdit* pFolder = MakeLocationField(this, "edtFolder", m_Folder);
  auto* pFolderButton = AppNewControl<QPushButton>(this, "btnFolder", "...");
  pFolderLabel->setBuddy(pFolder);
  pGrid->addWidget(pFolderLabel, nRow, 0);
  pGrid->addWidget(pFolder, nRow, 1);
  pGrid->addWidget(pFolderButton, nRow++, 2);
  QLabel* pFileLabel = AppNewLabel(this, "Log File:");
  QLineEdit* pFile = MakeLocationField(this, "edtFile", m_File);
  auto* pFileButton = AppNewControl<QPushButton>(this, "btnFile", "...");
  for (QPushButton* pBrowse : {pFolderButton, pFileButton}) {
    pBrowse->setFixedWidth(kBrowseButtonWidth);
    pBrowse->setEnabled(bKnown);
  }
  pFileLabel->setBuddy(pFile);
  pGrid->addWidget(pFileLabel, nRow, 0);
  pGrid->addWidget(pFile, nRow, 1);
  pGrid->addWidget(pFileButton, nRow, 2);
  pGrid->setColumnStretch(1, 1);
  connect(pFolderButton, &QPushButton::clicked, this, &TLogLocationGroup::OpenFolder);
  connect(pFileButton, &QPushButton::clicked, this, &TLogLocationGroup::OpenFile);
}

void TLogLocationGroup::OpenFolder() {
  AppShellOpen(m_Folder.constData());
}

void TLogLocationGroup::OpenFile() {
  if (!LogFileExists(m_File.constData())) {
    AppMessageBox(window(), MSG_NO_DEBUG_LOG, APP_ERROR_CAPTION, QMessageBox::Information);
    return;
  }
  AppShellOpen(m_File.constData());
}

TfmDebug::TfmDebug(QWidget* pParent) : QDialog(pParent) {
  TDialogLayout layout =
      AppBeginDialog(this, "fmDebug", "DayBridge Debug Log Options", TDialogBanner::HomeLink);
  auto* pLevelRow = new QHBoxLayout;
  auto* pLevelLabel = new QLabel(QStringLiteral("Set Debug Level:"), this);
  m_pLevel = new QComboBox(this);
  m_pLevel->setObjectName(QStringLiteral("cbxLevel"));
  for (const TLogLevelEntry& entry : g_LogLevelEntries) {
    m_pLevel->addItem(QString::fromLatin1(entry.szText));
  }
  m_pLevel->setCurrentIndex(LogLevelEntryOf(AppSettings.LogLevel));
  pLevelLabel->setBuddy(m_pLevel);
  pLevelRow->addWidget(pLevelLabel);
  pLevelRow->addWidget(m_pLevel, 1);
  layout.pBody->addLayout(pLevelRow);

  m_pEnable = new QCheckBox(QStringLiteral("Enable Debug Log"), this);
  m_pEnable->setObjectName(QStringLiteral("cbEnable"));
  m_pEnable->setChecked(AppSettings.EnableDebug != 0);
  layout.pBody->addWidget(m_pEnable);
  layout.pBody->addWidget(new TLogLocationGroup(this, QString()));
  AppAddOkCancel(layout, this, "&OK", "&Cancel");
}

void TfmDebug::accept() {
  ApplyLogOptions(m_pEnable->isChecked(), m_pLevel->currentIndex(), AppSettings);
  QDialog::accept();
}
