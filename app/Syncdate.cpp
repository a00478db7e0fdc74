// The sync wizard's frame and its page logic.
#include "app/Syncdate.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/Apputil.h"
#include "app/Syncdatedata.h"
#include "app/Syncdateproc.h"
#include "app/Syncdaterange.h"
#include "app/core/SyncHistory.h"
#include "views/CxPaintUtil.h"

namespace {

constexpr int kWizardWidth = 660;
constexpr int kWizardHeight = 470;
constexpr int kBandHeight = 64;
constexpr int kButtonWidth = 88;

QFrame* MakeRule(QWidget* pParent) {
  auto* pRule = new QFrame(pParent);
  pRule->setFrameShape(QFrame::HLine);
  pRule->setFrameShadow(QFrame::Sunken);
  return pRule;
}

}  // namespace

TfmSyncDate::TfmSyncDate(AppCalendar& calendar, TAppSettings& settings, QWidget* pParent)
    : QDialog(pParent) {
  setObjectName(QStringLiteral("fmSyncDate"));
  setWindowTitle(QStringLiteral(APP_TITLE));
  setFixedSize(kWizardWidth, kWizardHeight);
  AppFixDialogSize(this);

  auto* pBand = new QWidget(this);
  pBand->setObjectName(QStringLiteral("pnlTop"));
  pBand->setFixedHeight(kBandHeight);
  pBand->setAutoFillBackground(true);
  QPalette band = pBand->palette();
  band.setColor(QPalette::Window, Qt::white);
  band.setColor(QPalette::WindowText, Qt::black);
  pBand->setPalette(band);
  auto* pTitle = new QLabel(QStringLiteral("Synchronize Calendar Step by Step:"), pBand);
  pTitle->setObjectName(QStringLiteral("lblTitle"));
  QFont titleFont = pTitle->font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
  pTitle->setFont(titleFont);
  m_pDesc = new QLabel(pBand);
  m_pDesc->setObjectName(QStringLiteral("lblDesc"));
  auto* pBandLayout = new QVBoxLayout(pBand);
  pBandLayout->setContentsMargins(16, 10, 16, 10);
  pBandLayout->addWidget(pTitle);
  pBandLayout->addWidget(m_pDesc);

  m_pStack = new QStackedWidget(this);
  m_pStack->setObjectName(QStringLiteral("pnlPages"));
  m_pRange = new TfmSyncDateRange(this, settings, m_pStack);
  m_pData = new TfmSyncDateData(this, calendar, settings, m_pStack);
  m_pProc = new TfmSyncDateProc(this, calendar, settings, g_SyncHistory, m_pStack);
  for (QWidget* pPage : {static_cast<QWidget*>(m_pRange), static_cast<QWidget*>(m_pData),
                         static_cast<QWidget*>(m_pProc)}) {
    m_pStack->addWidget(pPage);
  }

  m_pPrev = AppNewControl<QPushButton>(this, "btnPrev", "< Prev");
  m_pNext = AppNewControl<QPushButton>(this, "btnNext", "Next >");
  m_pCancel = AppNewControl<QPushButton>(this, "btnCancel", "Cancel");
  for (QPushButton* pButton : {m_pPrev, m_pNext, m_pCancel}) pButton->setMinimumWidth(kButtonWidth);
  m_pNext->setDefault(true);
  connect(m_pPrev, &QPushButton::clicked, this, &TfmSyncDate::Prev);
  connect(m_pNext, &QPushButton::clicked, this, &TfmSyncDate::Next);
  connect(m_pCancel, &QPushButton::clicked, this, &TfmSyncDate::reject);

  auto* pButtons = new QHBoxLayout;
  pButtons->setContentsMargins(16, 8, 16, 12);
  pButtons->addStretch(1);
  pButtons->addWidget(m_pPrev);
  pButtons->addWidget(m_pNext);
  pButtons->addSpacing(12);
  pButtons->addWidget(m_pCancel);
  auto* pContent = new QVBoxLayout;
  pContent->setContentsMargins(16, 12, 16, 4);
  pContent->addWidget(m_pStack);
  auto* pLayout = new QVBoxLayout(this);
  pLayout->setContentsMargins(0, 0, 0, 0);
  pLayout->setSpacing(0);
  pLayout->addWidget(pBand);
  pLayout->addWidget(MakeRule(this));
  pLayout->addLayout(pContent, 1);
  pLayout->addWidget(MakeRule(this));
  pLayout->addLayout(pButtons);

  // Centred on the desktop, not on the main window.
  if (QScreen* pScreen = QGuiApplication::primaryScreen()) {
    move(pScreen->availableGeometry().center() - QPoint(kWizardWidth / 2, kWizardHeight / 2));
  }

  m_nPage = SYNCDATE_PAGE_RANGE;
  m_pRange->Enter();
  ShowPage();
}

TfmSyncDate::~TfmSyncDate() {
  m_pRange = nullptr;
  m_pData = nullptr;
  m_pProc = nullptr;
}

void TfmSyncDate::Next() {
  if (m_bRunning) return;
  switch (m_nPage) {
    case SYNCDATE_PAGE_RANGE:
      m_pRange->Commit();
      m_pData->Enter();
      m_nPage = SYNCDATE_PAGE_DATA;
      ShowPage();
      break;
    case SYNCDATE_PAGE_DATA:
      if (!m_pData->Commit()) return;
      m_nPage = SYNCDATE_PAGE_PROC;
      ShowPage();
      m_pProc->Start();
      break;
    default:
      accept();
      break;
  }
}

void TfmSyncDate::Prev() {
  if (m_bRunning || m_nPage <= SYNCDATE_PAGE_RANGE) return;
  --m_nPage;
  ShowPage();
}

void TfmSyncDate::ShowPage() {
  const bool bRunPage = m_nPage >= SYNCDATE_PAGE_PROC;
  m_pPrev->setEnabled(m_nPage == SYNCDATE_PAGE_DATA);
  m_pNext->setText(bRunPage ? QStringLiteral("Finish") : QStringLiteral("Next >"));
  // "Finish" before the run has ended would close the wizard with the run still to come (a
  // double click on "Next >" would do it): it waits for the end of the run.
  m_pNext->setEnabled(!m_bRunning && (!bRunPage || m_pProc->HasRun()) &&
                      (m_nPage != SYNCDATE_PAGE_DATA || m_pData->HasRows()));
  // While the run goes Cancel stays: it stops the run after the record being written.
  m_pCancel->setEnabled(true);
  m_pStack->setCurrentIndex(bRunPage ? SYNCDATE_PAGE_PROC : m_nPage);
}

void TfmSyncDate::SetDescription(const char* szText, bool bAlert) {
  m_pDesc->setText(cxpaint::AnsiText(szText));
  QPalette palette = m_pDesc->palette();
  palette.setColor(QPalette::WindowText, bAlert ? QColor(192, 0, 0) : QColor(Qt::black));
  m_pDesc->setPalette(palette);
}

bool TfmSyncDate::HasRun() const {
  return m_pProc != nullptr && m_pProc->HasRun();
}

bool TfmSyncDate::SavedAll() const {
  return m_pProc == nullptr || m_pProc->SavedAll();
}

void TfmSyncDate::SetRunning(bool bRunning) {
  m_bRunning = bRunning;
  ShowPage();
}

void TfmSyncDate::reject() {
  // The run is writing into both calendars and holds pointers into this wizard's pages: it
  // is asked to stop, and the wizard stays open to show how far it got.
  if (m_bRunning) {
    m_pProc->RequestStop();
    return;
  }
  m_pProc->CancelStart();
  QDialog::reject();
}

void TfmSyncDate::closeEvent(QCloseEvent* pEvent) {
  if (m_bRunning) {
    m_pProc->RequestStop();
    pEvent->ignore();
    return;
  }
  QDialog::closeEvent(pEvent);
}
