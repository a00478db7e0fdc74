// The first-run wizard. Versions are looked up once, when the wizard is made: the programs
// do not change while it is open.
#include "app/Wizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Apputil.h"
#include "app/Debugger.h"
#include "app/core/AppFirstRun.h"
#include "app/core/AppSettings.h"
#include "app/core/PalmUsers.h"
#include "common/misc/CxList.h"
#include "common/palm/PalmHotSync.h"
#include "views/CxPaintUtil.h"

namespace {

// Found in blue, missing in red.
constexpr COLORREF kFoundColor = 0xFF0000;
constexpr COLORREF kNotFoundColor = 0x0000FF;
constexpr int kUserListWidth = 200;
// The same caption column in both groups, so that the two versions line up.
constexpr int kCaptionColumnWidth = 130;

QLabel* MakeVersionLabel(QWidget* pParent, const char* szName, bool (*pfnVersion)(char*, int)) {
  char szVersion[FIRST_RUN_VERSION_SIZE];
  const bool bFound = pfnVersion(szVersion, sizeof(szVersion));
  QLabel* pLabel = AppNewLabel(pParent, "", szName);
  pLabel->setText(QString::fromLatin1(szVersion));
  QPalette palette = pLabel->palette();
  palette.setColor(QPalette::WindowText, cxpaint::ToQColor(bFound ? kFoundColor : kNotFoundColor));
  pLabel->setPalette(palette);
  QFont bold = pLabel->font();
  bold.setBold(true);
  pLabel->setFont(bold);
  return pLabel;
}

}  // namespace

TfmWizard::TfmWizard(QWidget* pParent, CxList& users) : QDialog(pParent), m_Users(users) {
  TDialogLayout layout = AppBeginDialog(this, "fmWizard", "DayBridge Wizard", TDialogBanner::Plain);
  QVBoxLayout* pBody = layout.pBody;
  QGroupBox* pOutlook =
      AppNewControl<QGroupBox>(this, "gbOutlook", "Microsoft Outlook Information ");
  auto* pOutlookGrid = new QGridLayout(pOutlook);
  pOutlookGrid->addWidget(new QLabel(QStringLiteral("Version:"), pOutlook), 0, 0);
  pOutlookGrid->addWidget(MakeVersionLabel(pOutlook, "lblOLVer", &GetOutlookVersionText), 0, 1);
  pOutlookGrid->addWidget(new QLabel(QStringLiteral("Outlook Profile:"), pOutlook), 1, 0);
  auto* pProfile = new QLabel(QStringLiteral("Default"), pOutlook);
  pProfile->setObjectName(QStringLiteral("lblOLProfile"));
  pOutlookGrid->addWidget(pProfile, 1, 1);
  pOutlookGrid->setColumnMinimumWidth(0, kCaptionColumnWidth);
  pOutlookGrid->setColumnStretch(1, 1);
  pBody->addWidget(pOutlook);

  QGroupBox* pPalm = AppNewControl<QGroupBox>(this, "gbPalm", " Palm Desktop Information ");
  auto* pPalmGrid = new QGridLayout(pPalm);
  pPalmGrid->addWidget(new QLabel(QStringLiteral("Version:"), pPalm), 0, 0);
  pPalmGrid->addWidget(MakeVersionLabel(pPalm, "lblPDVer", &GetPalmDesktopVersionText), 0, 1);
  // A Palm Desktop that only a Wine prefix knows of is worth pointing out: it is not where
  // the user may have looked.
  char szPlace[MAX_PATH];
  int nUserRow = 1;
  if (GetPalmDesktopPlace(szPlace, sizeof(szPlace))) {
    pPalmGrid->addWidget(new QLabel(QStringLiteral("Found in:"), pPalm), nUserRow, 0);
    auto* pPlace = new QLabel(cxpaint::AnsiText(szPlace), pPalm);
    pPlace->setObjectName(QStringLiteral("lblPDPlace"));
    pPalmGrid->addWidget(pPlace, nUserRow++, 1);
  }
  auto* pUserLabel = new QLabel(QStringLiteral("Select A Palm User:"), pPalm);
  m_pUser = new QComboBox(pPalm);
  m_pUser->setObjectName(QStringLiteral("cbUser"));
  m_pUser->setMinimumWidth(kUserListWidth);
  pUserLabel->setBuddy(m_pUser);
  for (UINT nUser = 0; nUser < users.GetCount(); ++nUser) {
    const auto* pUser = static_cast<const PalmUser*>(users.GetAt(nUser));
    if (pUser != nullptr) m_pUser->addItem(cxpaint::AnsiText(pUser->szUserName), nUser);
  }
  m_pUser->setCurrentIndex(FindPalmUserIndex(AppSettings.PDUserID, users));
  pPalmGrid->addWidget(pUserLabel, nUserRow, 0);
  pPalmGrid->addWidget(m_pUser, nUserRow, 1, Qt::AlignLeft);
  pPalmGrid->setColumnMinimumWidth(0, kCaptionColumnWidth);
  pPalmGrid->setColumnStretch(1, 1);
  pBody->addWidget(pPalm);

  m_pShow = new QCheckBox(QStringLiteral("Show this DayBridge Wizard at software startup."), this);
  m_pShow->setObjectName(QStringLiteral("cbShow"));
  m_pShow->setChecked(AppSettings.ShowWizard != 0);
  pBody->addWidget(m_pShow);
  m_pTrack = new QCheckBox(QStringLiteral(TRACK_CHANGES_CAPTION), this);
  m_pTrack->setObjectName(QStringLiteral("cbTrackChanges"));
  m_pTrack->setChecked(FirstRunTracksChanges(AppSettings));
  pBody->addWidget(m_pTrack);

  QPushButton* pDebug = AppAddButton(layout.pButtons, this, "btnDebug", "&Debug Options");
  AppAddOkCancel(layout, this, "&OK", "&Cancel");
  connect(pDebug, &QPushButton::clicked, this, &TfmWizard::OnDebugOptions);
}

void TfmWizard::accept() {
  const QVariant user = m_pUser->currentData();
  const auto* pUser =
      user.isValid() ? static_cast<const PalmUser*>(m_Users.GetAt(user.toUInt())) : nullptr;
  StoreFirstRunChoices(m_pShow->isChecked(), pUser, AppSettings);
  AppSettings.TrackChanges = m_pTrack->isChecked() ? 1 : 0;
  QDialog::accept();
}

void TfmWizard::OnDebugOptions() {
  // The log options belong to the main window, which exists (hidden) while start-up runs.
  QWidget* pOwner = AppMainWindow();
  TfmDebug dlg(pOwner != nullptr ? pOwner : this);
  AppExecModal(&dlg);
}
