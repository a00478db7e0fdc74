// The options dialog. The path field holds a file name as the file system spells it; it takes
// no more than the settings keep (255 bytes), so what is shown is what is stored.
#include "app/Option.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QValidator>

#include "app/Apputil.h"
#include "app/core/AppFirstRun.h"
#include "app/core/AppOptions.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/win/WinString.h"
#include "views/CxPaintUtil.h"

namespace {

constexpr int kDateFileMaxBytes = sizeof(TAppSettings::DateFileName) - 1;
constexpr int kSwatchWidth = 64;
constexpr int kSwatchHeight = 20;
constexpr int kPathFieldWidth = 320;

#define MSG_INVALID_PALM_FILE "Invalid Palm Desktop calendar database file, please try another one."

// Refuses typing past what DateFileName holds.
class TPathLengthValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& strInput, int& /*nPos*/) const override {
    return AppPathBytes(strInput).size() <= kDateFileMaxBytes ? Acceptable : Invalid;
  }
};

COLORREF ToColorRef(const QColor& color) {
  return RGB(color.red(), color.green(), color.blue());
}

}  // namespace

TfmOption::TfmOption(QWidget* pParent) : QDialog(pParent) {
  TDialogLayout layout =
      AppBeginDialog(this, "fmOption", "DayBridge Options ...", TDialogBanner::None);
  auto* pPages = new QTabWidget(this);
  pPages->setObjectName(QStringLiteral("pcOption"));
  layout.pBody->addWidget(pPages);

  auto* pGeneral = new QWidget;
  pGeneral->setObjectName(QStringLiteral("tGeneral"));
  pPages->addTab(pGeneral, QStringLiteral("General"));
  auto* pGeneralColumn = new QVBoxLayout(pGeneral);
  m_pShowWizard = new QCheckBox(QStringLiteral("Show DayBridge Wizard at startup."), pGeneral);
  m_pShowWizard->setObjectName(QStringLiteral("cbShowWizard"));
  pGeneralColumn->addWidget(m_pShowWizard);
  m_pShowColor = new QCheckBox(QStringLiteral("Show records in different colors"), pGeneral);
  m_pShowColor->setObjectName(QStringLiteral("cbShowColor"));
  pGeneralColumn->addWidget(m_pShowColor);

  auto* pColors = new QFormLayout;
  pColors->setContentsMargins(24, 0, 0, 0);
  struct SwatchRow {
    Swatch* pSwatch;
    const char* szName;
    const char* szCaption;
  };
  const SwatchRow rows[] = {{&m_Same, "pnlSameColor", "Same records:"},
                            {&m_Diff, "pnlDiffColor", "Different records:"},
                            {&m_New, "pnlNewColor", "New records:"}};
  for (const SwatchRow& row : rows) {
    Swatch* pSwatch = row.pSwatch;
    pSwatch->pPanel = new TClickLabel(pGeneral, [this, pSwatch] { ChooseColor(*pSwatch); });
    pSwatch->pPanel->setObjectName(QString::fromLatin1(row.szName));
    pSwatch->pPanel->setFixedSize(kSwatchWidth, kSwatchHeight);
    pSwatch->pPanel->setFrameStyle(QFrame::Box | QFrame::Plain);
    pSwatch->pPanel->setAutoFillBackground(true);
    pSwatch->pPanel->setToolTip(QStringLiteral("Click to choose the colour"));
    auto* pLabel = new QLabel(QString::fromLatin1(row.szCaption), pGeneral);
    pLabel->setBuddy(pSwatch->pPanel);
    pColors->addRow(pLabel, pSwatch->pPanel);
  }
  pGeneralColumn->addLayout(pColors);
  m_pTrackChanges = new QCheckBox(QStringLiteral(TRACK_CHANGES_CAPTION), pGeneral);
  m_pTrackChanges->setObjectName(QStringLiteral("cbTrackChanges"));
  pGeneralColumn->addWidget(m_pTrackChanges);
  m_pColorDialog = new QColorDialog(this);
  m_pColorDialog->setObjectName(QStringLiteral("RecColorDialog"));

  auto* pConflict = new QGroupBox(QStringLiteral(" How to handle conflict records"), pGeneral);
  pConflict->setObjectName(QStringLiteral("gbConflict"));
  auto* pChoices = new QVBoxLayout(pConflict);
  struct Choice {
    QRadioButton** ppButton;
    const char* szName;
    const char* szCaption;
  };
  const Choice choices[] = {{&m_pO2P, "rbtnO2P", "Outlook overwrites PD"},
                            {&m_pP2O, "rbtnP2O", "PD overwrites Outlook"},
                            {&m_pRemind, "rbtnRemind", "Remind me"},
                            {&m_pNothing, "rbtnNothing", "Do Nothing"}};
  for (const Choice& choice : choices) {
    *choice.ppButton = new QRadioButton(QString::fromLatin1(choice.szCaption), pConflict);
    (*choice.ppButton)->setObjectName(QString::fromLatin1(choice.szName));
    pChoices->addWidget(*choice.ppButton);
  }
  pGeneralColumn->addWidget(pConflict);
  pGeneralColumn->addStretch(1);

  auto* pCalendar = new QWidget;
  pCalendar->setObjectName(QStringLiteral("tCalendar"));
  pPages->addTab(pCalendar, QStringLiteral("Calendar"));
  auto* pCalendarColumn = new QVBoxLayout(pCalendar);
  m_pDateFile =
      new QCheckBox(QStringLiteral("Open Palm Desktop Calendar by File Name:"), pCalendar);
  m_pDateFile->setObjectName(QStringLiteral("cbDateFile"));
  pCalendarColumn->addWidget(m_pDateFile);
  auto* pFileRow = new QHBoxLayout;
  m_pDateFileName = new QLineEdit(pCalendar);
  m_pDateFileName->setObjectName(QStringLiteral("edtDateFile"));
  m_pDateFileName->setMinimumWidth(kPathFieldWidth);
  m_pDateFileName->setValidator(new TPathLengthValidator(m_pDateFileName));
  m_pBrowse = new QPushButton(QStringLiteral("..."), pCalendar);
  m_pBrowse->setObjectName(QStringLiteral("btnDateBrowse"));
  m_pBrowse->setFixedWidth(30);
  pFileRow->addWidget(m_pDateFileName, 1);
  pFileRow->addWidget(m_pBrowse);
  pCalendarColumn->addLayout(pFileRow);
  auto* pHint = new QLabel(QStringLiteral("Otherwise DayBridge opens the calendar of the Palm "
                                          "user chosen in the main window."),
                           pCalendar);
  pHint->setObjectName(QStringLiteral("lblDateFileHint"));
  pHint->setWordWrap(true);
  pHint->setEnabled(false);
  pCalendarColumn->addWidget(pHint);
  auto* pOutlookLabel =
      new QLabel(QStringLiteral("Outlook calendar (file or CalDAV address):"), pCalendar);
  pCalendarColumn->addWidget(pOutlookLabel);
  m_pOutlookCalendar = new QLineEdit(pCalendar);
  m_pOutlookCalendar->setObjectName(QStringLiteral("edtOutlookCalendar"));
  m_pOutlookCalendar->setMinimumWidth(kPathFieldWidth);
  m_pOutlookCalendar->setMaxLength(static_cast<int>(sizeof(TAppSettings::OutlookCalendar) - 1));
  m_pOutlookCalendar->setPlaceholderText(QStringLiteral("the default calendar"));
  pOutlookLabel->setBuddy(m_pOutlookCalendar);
  pCalendarColumn->addWidget(m_pOutlookCalendar);
  auto* pOutlookHint = new QLabel(
      QStringLiteral("A server's login comes from your netrc file; it is opened when the "
                     "calendars are loaded next."),
      pCalendar);
  pOutlookHint->setWordWrap(true);
  pOutlookHint->setEnabled(false);
  pCalendarColumn->addWidget(pOutlookHint);
  pCalendarColumn->addStretch(1);
  connect(m_pDateFile, &QCheckBox::toggled, this, &TfmOption::EnableDateFile);
  connect(m_pBrowse, &QPushButton::clicked, this, &TfmOption::Browse);

  AppAddOkCancel(layout, this, "OK", "Cancel");
}

void TfmOption::Load(const TAppSettings& settings) {
  const TOptionValues values = LoadOptionValues(settings);
  m_pShowWizard->setChecked(values.bShowWizard);
  m_pShowColor->setChecked(values.bShowColor);
  m_pTrackChanges->setChecked(values.bTrackChanges);
  SetSwatch(m_Same, values.crSame);
  SetSwatch(m_Diff, values.crDiff);
  SetSwatch(m_New, values.crNew);
  AppCheckChoice({{CONFLICT_PALM_WINS, m_pP2O},
                  {CONFLICT_OUTLOOK_WINS, m_pO2P},
                  {CONFLICT_ASK, m_pRemind},
                  {CONFLICT_SKIP, m_pNothing}},
                 values.nConfAction);
  m_pDateFileName->setText(AppPathText(values.szDateFile));
  m_pOutlookCalendar->setText(AppPathText(values.szOutlookCalendar));
  m_pDateFile->setChecked(values.bUseDateFile);
  EnableDateFile(values.bUseDateFile);
}

void TfmOption::Store(TAppSettings& settings) const {
  TOptionValues values = {};
  values.bShowWizard = m_pShowWizard->isChecked();
  values.bShowColor = m_pShowColor->isChecked();
  values.bTrackChanges = m_pTrackChanges->isChecked();
  values.crSame = m_Same.crColor;
  values.crDiff = m_Diff.crColor;
  values.crNew = m_New.crColor;
  values.nConfAction = AppCheckedChoice(
      {{CONFLICT_PALM_WINS, m_pP2O}, {CONFLICT_OUTLOOK_WINS, m_pO2P}, {CONFLICT_SKIP, m_pNothing}},
      CONFLICT_ASK);
  values.bUseDateFile = m_pDateFile->isChecked();
  CxCopyText(values.szDateFile, AppPathBytes(m_pDateFileName->text()).constData());
  CxCopyText(values.szOutlookCalendar, AppPathBytes(m_pOutlookCalendar->text()).constData());
  StoreOptionValues(values, settings);
}

void TfmOption::accept() {
  Store(AppSettings);
  QDialog::accept();
}

void TfmOption::SetSwatch(Swatch& swatch, COLORREF crColor) {
  swatch.crColor = crColor;
  QPalette palette = swatch.pPanel->palette();
  palette.setColor(QPalette::Window, cxpaint::ToQColor(crColor));
  swatch.pPanel->setPalette(palette);
}

void TfmOption::ChooseColor(Swatch& swatch) {
  m_pColorDialog->setCurrentColor(cxpaint::ToQColor(swatch.crColor));
  if (AppExecModal(m_pColorDialog) != QDialog::Accepted) return;
  SetSwatch(swatch, ToColorRef(m_pColorDialog->currentColor()));
}

void TfmOption::EnableDateFile(bool bEnabled) {
  m_pDateFileName->setEnabled(bEnabled);
  m_pBrowse->setEnabled(bEnabled);
}

void TfmOption::Browse() {
  QFileDialog dlg(this, QStringLiteral("Open Palm Desktop Calendar data file"));
  dlg.setObjectName(QStringLiteral("OpenDialog"));
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilters({QStringLiteral("Palm Desktop 4.x Database File(*.dat)"),
                      QStringLiteral("Palm Desktop 6.x Database File(*.mdb)"),
                      QStringLiteral("All Files(*.*)")});
  if (AppExecModal(&dlg) != QDialog::Accepted) return;
  const QStringList files = dlg.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return;
  const QByteArray path = AppPathBytes(files.first());
  // A path longer than the settings keep would be stored cut, naming another file: it is as
  // unusable as a file no loader accepts.
  CxFailure reason;
  bool bRefused = false;
  if (path.size() > kDateFileMaxBytes) {
    reason.Set(CX_FAIL_OTHER, "its path is longer than the %d bytes DayBridge can keep",
               kDateFileMaxBytes);
    bRefused = true;
  } else {
    bRefused = CheckPalmCalendarFile(path.constData(), &reason) == PALM_KIND_FAILED;
  }
  if (bRefused) {
    AppShowError(this, AppTextWithReason(MSG_INVALID_PALM_FILE, reason).c_str());
    m_pDateFileName->setFocus();
    return;
  }
  m_pDateFileName->setText(files.first());
}
