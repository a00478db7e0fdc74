// The main window. Positions on the "Calendar" and "Synchronization History" pages are set
// by hand from the page size (LayoutDatePage, LayoutHistoryPage) at creation and on every
// resize, so the two calendar halves follow the window exactly; only the top bar's own row of
// controls uses a Qt layout.
#include "app/Main.h"
#define DB_MODULE "Main"
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

#include "app/About.h"
#include "app/Apputil.h"
#include "app/Debugger.h"
#include "app/HistoryModel.h"
#include "app/Option.h"
#include "app/Syncdate.h"
#include "app/Wizard.h"
#include "app/core/AppCalendarStatus.h"
#include "app/core/AppPaths.h"
#include "app/core/AppSettings.h"
#include "app/core/PalmUsers.h"
#include "app/core/SyncHistory.h"
#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmHotSync.h"
#include "views/CxCalendarCtrl.h"
#include "views/CxDateBook.h"
#include "views/CxPaintUtil.h"

using cxpaint::AnsiText;
#include "views/CxWinCtrlWindow.h"

namespace {

// The "Calendar" page: a top bar, then the left column and the main area side by side down to
// 15 pixels above the page's bottom.
constexpr int kPageMargin = 15;
constexpr int kTopBarTop = 8;
constexpr int kTopBarHeight = 40;
constexpr int kUserSelectorWidth = 120;
constexpr int kTopButtonWidth = 66;
constexpr int kColumnsTop = 60;  // page height less 75 leaves the bottom margin
constexpr int kLeftColumnWidth = 215;
constexpr int kMainOverlap = 4;  // the main area reaches 4 pixels into the left column
constexpr int kHalfTitleHeight = 26;
constexpr int kHalfGap = 2;
constexpr int kMinDateBookWidth = 160;
// Room kept for a window frame not known yet: its edges, and a title bar.
constexpr int kFrameAllowanceWidth = 16;
constexpr int kFrameAllowanceHeight = 40;
// In the left column, under the month calendar.
constexpr RECT kCalendarRect = {15, 15, 200, 200};
constexpr int kSyncButtonTop = 215;
constexpr int kSyncButtonHeight = 28;
constexpr int kSyncButtonStep = 34;
// The "Synchronization History" page.
constexpr int kHistoryButtonWidth = 130;
constexpr int kHistoryButtonHeight = 28;
constexpr int kHistoryButtonStep = 140;
// The header band: "Exit" 110 pixels left of its right edge, "Help" 105 pixels left of "Exit".
constexpr int kHeaderHeight = 60;
constexpr int kExitFromRight = 110;
constexpr int kHelpFromExit = 105;
constexpr int kHeaderButtonWidth = 96;
constexpr int kHeaderButtonHeight = 28;

// Window styles the calendar controls are created with.
constexpr DWORD kCalendarStyle = WS_CHILD | WS_VISIBLE | WS_BORDER;
constexpr DWORD kDateBookStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL;
constexpr DWORD kDateBookExStyle = WS_EX_CLIENTEDGE;

struct SyncButton {
  const char* szName;
  const char* szCaption;
  int nRangeKind;
};

constexpr SyncButton kSyncButtons[] = {
    {"btnSyncToday", "Synchronize Today", RANGE_TODAY},
    {"btnSyncWeek", "Synchronize This Week", RANGE_THIS_WEEK},
    {"btnSyncMonth", "Synchronize This Month", RANGE_THIS_MONTH},
    {"btnSyncYear", "Synchronize This Year", RANGE_THIS_YEAR},
    {"btnSyncCustom", "Synchronize ...", RANGE_CUSTOM},
};
constexpr int kSyncButtonCount = sizeof(kSyncButtons) / sizeof(kSyncButtons[0]);

// A rectangle as QRect, never narrower or lower than nothing (the window may be made as small
// as 270 x 50, where the layout rule's sizes go negative).
QRect Rect(int nLeft, int nTop, int nWidth, int nHeight) {
  return QRect(nLeft, nTop, std::max(0, nWidth), std::max(0, nHeight));
}

QString Text(const char* szText) {
  return QString::fromUtf8(szText);
}

}  // namespace

TfmMain::TfmMain(QWidget* pParent) : QMainWindow(pParent) {
  setObjectName(QStringLiteral("fmMain"));
  setWindowTitle(Text(APP_TITLE));
  setWindowIcon(QIcon(AppProductLogo(64)));
  AppSetMainWindow(this);
  CreateHeader();
  CreateMenus();
  m_pPages = new QTabWidget(this);
  m_pPages->setObjectName(QStringLiteral("pcMain"));
  setCentralWidget(m_pPages);
  CreateDatePage();
  CreateHistoryPage();
  statusBar()->setObjectName(QStringLiteral("sbMain"));
  connect(m_pPages, &QTabWidget::currentChanged, this, &TfmMain::OnPageChanged);
  OnPageChanged(m_pPages->currentIndex());

  // Start-up while the window is being created. A message before the window is up (no Palm
  // users) has no owner window.
  m_PreviousErrorHandler =
      SetUserErrorHandler([](const char* szText) { AppShowError(nullptr, szText); });
  AppStartup(m_Env);
  WriteDirection();
  CreateCalendarControls();

  setMinimumSize(MAIN_MIN_WIDTH, MAIN_MIN_HEIGHT);
  PlaceOnScreen();
  LayoutDatePage();
  LayoutHistoryPage();
}

void TfmMain::PlaceOnScreen() {
  QSize szWindow(MAIN_CLIENT_WIDTH, MAIN_CLIENT_HEIGHT);
  QScreen* pScreen = screen();
  if (pScreen == nullptr) {
    resize(szWindow);
    return;
  }
  // The design size, but never more than the screen's free area (a small or scaled screen),
  // with room for the frame the window manager adds, which is unknown until it is shown.
  const QRect rcFree = pScreen->availableGeometry();
  QSize szFrame = frameGeometry().size() - geometry().size();
  if (szFrame.isEmpty()) szFrame = QSize(kFrameAllowanceWidth, kFrameAllowanceHeight);
  szWindow = szWindow.boundedTo(rcFree.size() - szFrame);
  resize(szWindow);
  move(rcFree.left() + std::max(0, (rcFree.width() - szWindow.width() - szFrame.width()) / 2),
       rcFree.top() + std::max(0, (rcFree.height() - szWindow.height() - szFrame.height()) / 2));
}

TfmMain::~TfmMain() {
  // The controls outlive this body by a moment (Qt deletes child windows afterwards); they
  // must not call back into a window that is going.
  if (m_pCalendar != nullptr) {
    m_pCalendar->SetMarkCallback(nullptr);
    m_pCalendar->SetDateCallback(nullptr);
  }
  ReadDirection();
  AppShutdown(&m_Calendar, true);
  AppLeaveApartment(m_Env);
  SetUserErrorHandler(std::move(m_PreviousErrorHandler));
  if (AppMainWindow() == this) AppSetMainWindow(nullptr);
}

void TfmMain::RunStartup() {
  if (AppSettings.ShowWizard) OpenFirstRunWizard();
  // From here on the user's errors belong to this window.
  SetUserErrorHandler([this](const char* szText) { AppShowError(this, szText); });
  FillUserSelector();
  const bool bInitialized = m_Calendar.Init(AppSettings, GetPalmUsers());
  ShowCurrentDay();
  // A failed initialization has said so already.
  if (bInitialized) ReportLoadFailures(true, false);
  AppLoadHistory(m_Env);
  FillHistoryList();
}

void TfmMain::ShowThenStart(std::function<void()> whenStarted) {
  m_WhenStarted = std::move(whenStarted);
  m_bStartAfterPaint = true;
  show();
}

// ---- Creation ---------------------------------------------------------------------------

void TfmMain::CreateHeader() {
  auto* pTop = new QWidget(this);
  auto* pTopLayout = new QVBoxLayout(pTop);
  pTopLayout->setContentsMargins(0, 0, 0, 0);
  pTopLayout->setSpacing(0);

  m_pHeader = new QWidget(pTop);
  m_pHeader->setObjectName(QStringLiteral("pnlHeader"));
  m_pHeader->setFixedHeight(kHeaderHeight);
  m_pHeader->setAttribute(Qt::WA_StyledBackground);
  m_pHeader->setStyleSheet(QStringLiteral(
      "#pnlHeader { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3b7dd8,"
      " stop:0.5 #1f5fa8, stop:1 #184c88); }"
      "#lblProduct { color: white; font-size: 20px; font-weight: bold; }"
      "#lblProductLine { color: #d6e6fa; font-size: 12px; }"));
  auto* pLogo = new QLabel(m_pHeader);
  pLogo->setObjectName(QStringLiteral("imgLogo"));
  pLogo->setPixmap(AppProductLogo(44));
  pLogo->setGeometry(12, (kHeaderHeight - 44) / 2, 44, 44);
  auto* pProduct = new QLabel(QStringLiteral("DayBridge"), m_pHeader);
  pProduct->setObjectName(QStringLiteral("lblProduct"));
  pProduct->setGeometry(66, 8, 300, 26);
  auto* pLine = new QLabel(QStringLiteral("for Outlook and Palm Desktop"), m_pHeader);
  pLine->setObjectName(QStringLiteral("lblProductLine"));
  pLine->setGeometry(67, 33, 300, 18);
  m_pBtnHelp = AppNewControl<QPushButton>(m_pHeader, "btnHelp", "Help");
  m_pBtnExit = AppNewControl<QPushButton>(m_pHeader, "btnExit", "Exit");
  connect(m_pBtnHelp, &QPushButton::clicked, this, &TfmMain::OpenHelp);
  connect(m_pBtnExit, &QPushButton::clicked, this, &QWidget::close);
  m_pHeader->installEventFilter(this);
  pTopLayout->addWidget(m_pHeader);

  auto* pMenuBar = new QMenuBar(pTop);
  pMenuBar->setObjectName(QStringLiteral("mnuMain"));
  pTopLayout->addWidget(pMenuBar);
  // The header band stands above the menu bar.
  setMenuWidget(pTop);
}

void TfmMain::CreateMenus() {
  auto* pMenuBar = menuWidget()->findChild<QMenuBar*>(QStringLiteral("mnuMain"));

  QMenu* pFile = pMenuBar->addMenu(QStringLiteral("&File"));
  pFile->setObjectName(QStringLiteral("mnuFile"));
  connect(AppNewAction(pFile, "miFileSync", "Synchronize ..."), &QAction::triggered, this,
          [this] { StartSyncWithRange(RANGE_CUSTOM); });
  pFile->addSeparator();
  connect(AppNewAction(pFile, "miFileExit", "E&xit"), &QAction::triggered, this, &QWidget::close);

  QMenu* pView = pMenuBar->addMenu(QStringLiteral("&View"));
  pView->setObjectName(QStringLiteral("mnuView"));
  m_pViewCalendar = AppNewAction(pView, "miViewCalendar", "Calendar information");
  m_pViewHistory = AppNewAction(pView, "miViewHistory", "Sync History");
  for (QAction* pAction : {m_pViewCalendar, m_pViewHistory}) pAction->setCheckable(true);
  // The page decides the check marks (OnPageChanged); a click only asks for the page.
  connect(m_pViewCalendar, &QAction::triggered, this, [this] {
    m_pPages->setCurrentWidget(m_pDatePage);
    OnPageChanged(m_pPages->currentIndex());
  });
  connect(m_pViewHistory, &QAction::triggered, this, [this] {
    m_pPages->setCurrentWidget(m_pHistoryPage);
    OnPageChanged(m_pPages->currentIndex());
  });

  QMenu* pTools = pMenuBar->addMenu(QStringLiteral("&Tools"));
  pTools->setObjectName(QStringLiteral("mnuTools"));
  connect(AppNewAction(pTools, "miToolsOptions", "&Options ..."), &QAction::triggered, this,
          &TfmMain::OnOptions);
  pTools->addSeparator();
  connect(AppNewAction(pTools, "miToolsLog", "Debug Log Options ..."), &QAction::triggered, this,
          &TfmMain::OpenLogOptions);

  QMenu* pHelp = pMenuBar->addMenu(QStringLiteral("&Help"));
  pHelp->setObjectName(QStringLiteral("mnuHelp"));
  connect(AppNewAction(pHelp, "miHelpContent", "&Content"), &QAction::triggered, this,
          &TfmMain::OpenHelp);
  connect(AppNewAction(pHelp, "miHelpWeb", "DayBridge Web Site"), &QAction::triggered, this,
          &TfmMain::OpenHomePage);
  pHelp->addSeparator();
  connect(AppNewAction(pHelp, "miHelpAbout", "&About DayBridge ..."), &QAction::triggered, this,
          &TfmMain::OpenAbout);
}

QWidget* TfmMain::AddPage(const char* szName, const char* szCaption) {
  auto* pPage = new QWidget;
  pPage->setObjectName(Text(szName));
  m_pPages->addTab(pPage, Text(szCaption));
  // Each page lays out its controls itself whenever it is resized.
  pPage->installEventFilter(this);
  return pPage;
}

void TfmMain::CreateDatePage() {
  m_pDatePage = AddPage("tDate", "Calendar");
  // Below the size at which its controls fit side by side, the page scrolls rather than lay
  // them over each other or cut them off.
  auto* pScroll = new QScrollArea(m_pDatePage);
  pScroll->setObjectName(QStringLiteral("sbDate"));
  pScroll->setFrameShape(QFrame::NoFrame);
  pScroll->setWidgetResizable(true);
  m_pDateContent = new QWidget;
  m_pDateContent->setObjectName(QStringLiteral("pDateContent"));
  pScroll->setWidget(m_pDateContent);
  m_pDateContent->installEventFilter(this);
  auto* pPageLayout = new QVBoxLayout(m_pDatePage);
  pPageLayout->setContentsMargins(0, 0, 0, 0);
  pPageLayout->addWidget(pScroll);

  m_pDateTop = new QWidget(m_pDateContent);
  m_pDateTop->setObjectName(QStringLiteral("pDateTop"));
  auto* pRow = new QHBoxLayout(m_pDateTop);
  pRow->setContentsMargins(0, 0, 0, 0);
  // At the design width the row is just wide enough for its captions in a 9-point font.
  pRow->setSpacing(6);
  auto* pUserLabel = new QLabel(QStringLiteral("Palm User:"), m_pDateTop);
  pUserLabel->setObjectName(QStringLiteral("lblDateUser"));
  m_pUser = new QComboBox(m_pDateTop);
  m_pUser->setObjectName(QStringLiteral("cbDateUser"));
  m_pUser->setEditable(false);
  m_pUser->setFixedWidth(kUserSelectorWidth);
  pUserLabel->setBuddy(m_pUser);
  auto* pModeLabel = new QLabel(QStringLiteral("Sync Mode:"), m_pDateTop);
  pModeLabel->setObjectName(QStringLiteral("lblDateMode"));
  m_pP2O = new QRadioButton(QStringLiteral("Palm Desktop to Outlook"), m_pDateTop);
  m_pP2O->setObjectName(QStringLiteral("rbtnDateP2O"));
  m_pO2P = new QRadioButton(QStringLiteral("Outlook to Palm Desktop"), m_pDateTop);
  m_pO2P->setObjectName(QStringLiteral("rbtnDateO2P"));
  m_pTwoWay = new QRadioButton(QStringLiteral("Two-way Synchronization"), m_pDateTop);
  m_pTwoWay->setObjectName(QStringLiteral("rbtnDateSync"));
  m_pP2O->setChecked(true);
  QPushButton* pStart = AppNewControl<QPushButton>(m_pDateTop, "btnDateStart", "Start");
  QPushButton* pOptions = AppNewControl<QPushButton>(m_pDateTop, "btnDateOption", "Options");
  for (QPushButton* pButton : {pStart, pOptions}) pButton->setFixedWidth(kTopButtonWidth);
  pRow->addWidget(pUserLabel);
  pRow->addWidget(m_pUser);
  pRow->addStretch(1);
  pRow->addWidget(pModeLabel);
  pRow->addWidget(m_pP2O);
  pRow->addWidget(m_pO2P);
  pRow->addWidget(m_pTwoWay);
  pRow->addStretch(1);
  pRow->addWidget(pStart);
  pRow->addWidget(pOptions);
  connect(m_pUser, &QComboBox::activated, this, &TfmMain::OnUserSelected);
  connect(pStart, &QPushButton::clicked, this, [this] { StartSyncWithRange(RANGE_CUSTOM); });
  connect(pOptions, &QPushButton::clicked, this, &TfmMain::OnOptions);

  m_pDateLeft = new QWidget(m_pDateContent);
  m_pDateLeft->setObjectName(QStringLiteral("pDateLeft"));
  int nTop = kSyncButtonTop;
  for (const SyncButton& button : kSyncButtons) {
    QPushButton* pButton = AppNewControl<QPushButton>(m_pDateLeft, button.szName, button.szCaption);
    pButton->setGeometry(kCalendarRect.left, nTop, kCalendarRect.right - kCalendarRect.left,
                         kSyncButtonHeight);
    nTop += kSyncButtonStep;
    const int nRangeKind = button.nRangeKind;
    connect(pButton, &QPushButton::clicked, this,
            [this, nRangeKind] { StartSyncWithRange(nRangeKind); });
  }

  m_pDateMain = new QWidget(m_pDateContent);
  m_pDateMain->setObjectName(QStringLiteral("pDateMain"));
  m_pDateMain->setStyleSheet(QStringLiteral(
      "QLabel { color: white; font-weight: bold; border-radius: 3px; background:"
      " qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #4a88d6, stop:1 #1f5fa8); }"));
  m_pPalmTitle = new QLabel(QStringLiteral("Palm Desktop Calendar"), m_pDateMain);
  m_pPalmTitle->setObjectName(QStringLiteral("lblDatePalm"));
  m_pOutlookTitle = new QLabel(QStringLiteral("Outlook Calendar"), m_pDateMain);
  m_pOutlookTitle->setObjectName(QStringLiteral("lblDateOutlook"));
  for (QLabel* pTitle : {m_pPalmTitle, m_pOutlookTitle}) pTitle->setAlignment(Qt::AlignCenter);

  // The smallest page on which the top row keeps its captions whole, the left column shows
  // every sync button and each day book keeps a usable width.
  const int nButtonsBottom =
      kSyncButtonTop + (kSyncButtonCount - 1) * kSyncButtonStep + kSyncButtonHeight;
  const int nMinWidth =
      std::max(pRow->minimumSize().width(), kLeftColumnWidth + 2 * kMinDateBookWidth) +
      2 * kPageMargin;
  // The columns end 75 pixels above the page's bottom, 60 of them above the columns.
  m_pDateContent->setMinimumSize(nMinWidth, nButtonsBottom + 75);
}

void TfmMain::CreateHistoryPage() {
  m_pHistoryPage = AddPage("tHistory", "Synchronization History");

  m_pHistoryRows = new THistoryModel(g_SyncHistory, this);
  m_pHistory = AppNewReportList(m_pHistoryPage, "lvHistory", m_pHistoryRows);
  for (int nColumn = 0; nColumn < m_pHistoryRows->columnCount(); ++nColumn) {
    m_pHistory->setColumnWidth(nColumn, THistoryModel::DesignWidth(nColumn));
  }

  m_pHisButtons[0] = AppNewControl<QPushButton>(m_pHistoryPage, "btnHisSelectAll", "Select All");
  m_pHisButtons[1] = AppNewControl<QPushButton>(m_pHistoryPage, "btnHisClear", "Clear Selections");
  m_pHisButtons[2] = AppNewControl<QPushButton>(m_pHistoryPage, "btnHisDelete", "Delete History");
  connect(m_pHisButtons[0], &QPushButton::clicked, this, [this] { SetAllHistoryChecks(true); });
  connect(m_pHisButtons[1], &QPushButton::clicked, this, [this] { SetAllHistoryChecks(false); });
  connect(m_pHisButtons[2], &QPushButton::clicked, this, &TfmMain::DeleteHistory);
}

void TfmMain::CreateCalendarControls() {
  m_pCalendar = new CxCalendarCtrl;
  if (m_pCalendar->Create(CxHwndFromWidget(m_pDateLeft), &kCalendarRect, kCalendarStyle, 0)) {
    m_pCalendar->GetWindow()->setObjectName(QStringLiteral("calDate"));
    m_pCalendar->SetMarkCallback(&TfmMain::IsMarkedProc);
    m_pCalendar->SetDateCallback(&TfmMain::DateChangedProc);
    m_pCalendar->SetUserData(this);
  } else {
    // Without a window the object is still ours.
    delete m_pCalendar;
    m_pCalendar = nullptr;
    Log(0, "Failed to create the month calendar.");
  }
  const char* szBookNames[] = {"dbDatePalm", "dbDateOutlook"};
  CxDateBook** ppBooks[] = {&m_pPalmBook, &m_pOutlookBook};
  for (int i = 0; i < 2; ++i) {
    auto* pBook = new CxDateBook;
    if (pBook->Create(CxHwndFromWidget(m_pDateMain), nullptr, kDateBookStyle, kDateBookExStyle)) {
      pBook->GetWindow()->setObjectName(Text(szBookNames[i]));
      *ppBooks[i] = pBook;
    } else {
      delete pBook;
      Log(0, "Failed to create the day book %s.", szBookNames[i]);
    }
  }
}

// ---- Layout -----------------------------------------------------------------------------

bool TfmMain::eventFilter(QObject* pWatched, QEvent* pEvent) {
  // The header is painted with every frame of the window. The start-up waits for the next
  // turn of the message loop, after the whole frame has been painted and shown.
  if (pEvent->type() == QEvent::Paint && pWatched == m_pHeader && m_bStartAfterPaint) {
    m_bStartAfterPaint = false;
    QTimer::singleShot(0, this, [this] {
      try {
        RunStartup();
      } catch (const std::exception& e) {
        AppHandleException(e.what());
        QCoreApplication::exit(1);
        return;
      } catch (...) {
        AppHandleException("");
        QCoreApplication::exit(1);
        return;
      }
      if (m_WhenStarted) m_WhenStarted();
    });
  }
  if (pEvent->type() == QEvent::Resize) {
    if (pWatched == m_pHeader) LayoutHeader();
    if (pWatched == m_pDateContent) LayoutDatePage();
    if (pWatched == m_pHistoryPage) LayoutHistoryPage();
  }
  return QMainWindow::eventFilter(pWatched, pEvent);
}

void TfmMain::LayoutHeader() {
  const int nTop = (m_pHeader->height() - kHeaderButtonHeight) / 2;
  const int nExitLeft = m_pHeader->width() - kExitFromRight;
  m_pBtnExit->setGeometry(nExitLeft, nTop, kHeaderButtonWidth, kHeaderButtonHeight);
  m_pBtnHelp->setGeometry(nExitLeft - kHelpFromExit, nTop, kHeaderButtonWidth, kHeaderButtonHeight);
}

void TfmMain::LayoutDatePage() {
  const int nWidth = m_pDateContent->width();
  const int nHeight = m_pDateContent->height();
  const int nTopWidth = nWidth - 2 * kPageMargin;
  const int nColumnHeight = nHeight - 75;
  const int nMainWidth = nTopWidth - kLeftColumnWidth + kMainOverlap;
  m_pDateTop->setGeometry(Rect(kPageMargin, kTopBarTop, nTopWidth, kTopBarHeight));
  m_pDateLeft->setGeometry(Rect(kPageMargin, kColumnsTop, kLeftColumnWidth, nColumnHeight));
  m_pDateMain->setGeometry(
      Rect(kPageMargin + kLeftColumnWidth - kMainOverlap, kColumnsTop, nMainWidth, nColumnHeight));

  const int nHalfWidth = nMainWidth / 2 - 4;
  const QRect rcPalm = Rect(0, 0, nHalfWidth, kHalfTitleHeight);
  const QRect rcOutlook =
      Rect(rcPalm.left() + nHalfWidth + kHalfGap, 0, nHalfWidth, kHalfTitleHeight);
  m_pPalmTitle->setGeometry(rcPalm);
  m_pOutlookTitle->setGeometry(rcOutlook);
  const QRect rcTitles[] = {rcPalm, rcOutlook};
  CxDateBook* pBooks[] = {m_pPalmBook, m_pOutlookBook};
  for (int i = 0; i < 2; ++i) {
    if (pBooks[i] == nullptr) continue;
    const QRect& rc = rcTitles[i];
    // From the title's left and bottom edge to its right edge and the main area's bottom.
    const RECT rcBook = {rc.left(), kHalfTitleHeight, rc.left() + rc.width(),
                         std::max(kHalfTitleHeight, nColumnHeight)};
    pBooks[i]->MoveTo(&rcBook, true);
  }
}

void TfmMain::LayoutHistoryPage() {
  const int nWidth = m_pHistoryPage->width();
  const int nHeight = m_pHistoryPage->height();
  m_pHistory->setGeometry(Rect(kPageMargin, kPageMargin, nWidth - 2 * kPageMargin, nHeight - 85));
  for (int i = 0; i < 3; ++i) {
    m_pHisButtons[i]->setGeometry(kPageMargin + i * kHistoryButtonStep, nHeight - 45,
                                  kHistoryButtonWidth, kHistoryButtonHeight);
  }
}

// ---- Calendar state ---------------------------------------------------------------------

void TfmMain::FillUserSelector() {
  m_pUser->clear();
  CxList& users = GetPalmUsers();
  for (UINT nUser = 0; nUser < users.GetCount(); ++nUser) {
    const auto* pUser = static_cast<const PalmUser*>(users.GetAt(nUser));
    if (pUser != nullptr) m_pUser->addItem(AnsiText(pUser->szUserName), nUser);
  }
  const int nIndex = ChoosePalmUser(AppSettings, users);
  if (nIndex >= 0) m_pUser->setCurrentIndex(nIndex);
}

void TfmMain::OnUserSelected(int nIndex) {
  const QVariant user = m_pUser->itemData(nIndex);
  if (!user.isValid()) return;
  const auto* pUser = static_cast<const PalmUser*>(GetPalmUsers().GetAt(user.toUInt()));
  if (pUser == nullptr) return;
  AppSettings.PDUserID = static_cast<INT>(pUser->nUserId);
  LoadPalmCalendar();
  MatchAndShow();
  ReportLoadFailures(false, false);
}

void TfmMain::LoadPalmCalendar() {
  m_Calendar.LoadPalm(AppSettings);
}

void TfmMain::LoadOutlookCalendar() {
  m_Calendar.LoadOutlook();
}

void TfmMain::MatchAndShow() {
  m_Calendar.MatchAll();
  ShowCurrentDay();
}

void TfmMain::ShowCurrentDay() {
  if (m_pCalendar != nullptr) {
    m_pCalendar->Redraw(true);
    ShowDay(m_pCalendar->GetDate());
  }
  ShowCalendarStatus();
}

bool TfmMain::ShowDay(const SYSTEMTIME* pDate) {
  if (pDate == nullptr) return false;
  CxDateBook* pBooks[] = {m_pPalmBook, m_pOutlookBook};
  CommDateMgr* pSets[] = {m_Calendar.GetPalmSet(), m_Calendar.GetOutlookSet()};
  for (int i = 0; i < 2; ++i) {
    if (pBooks[i] == nullptr) continue;
    pBooks[i]->SetDate(pDate);
    pBooks[i]->SetStateColors(AppSettings.ShowColor != 0, AppSettings.SameColor,
                              AppSettings.DiffColor, AppSettings.NewColor);
    pBooks[i]->ClearEntries();
    // The day book keeps only what occurs on its day.
    if (pSets[i] != nullptr) {
      const int nCount = pSets[i]->GetCount();
      for (int n = 0; n < nCount; ++n) pBooks[i]->AddEntry(pSets[i]->GetAt(n));
    }
    pBooks[i]->Redraw(true);
  }
  return true;
}

bool TfmMain::DayHasRecords(const SYSTEMTIME* pDate) {
  return m_Calendar.DayHasRecords(pDate);
}

int TfmMain::IsMarkedProc(const SYSTEMTIME* pDate, void* pUserData) {
  return static_cast<TfmMain*>(pUserData)->DayHasRecords(pDate) ? 1 : 0;
}

void TfmMain::DateChangedProc(const SYSTEMTIME* pDate, void* pUserData) {
  auto* pMain = static_cast<TfmMain*>(pUserData);
  if (pMain->m_pCalendar != nullptr) pMain->m_pCalendar->SetDate(pDate, false);
  pMain->ShowDay(pDate);
}

void TfmMain::ShowCalendarStatus() {
  const CalendarStatus status = DescribeCalendars(m_Calendar);
  // The counts of both sides first and the reasons after them: a reason ends in a path, and
  // a long one runs past the window's edge without hiding the other side.
  QStringList parts;
  for (const std::string& strPart : status.vParts) parts << AnsiText(strPart.c_str());
  for (const std::string& strReason : status.vReasons) parts << AnsiText(strReason.c_str());
  statusBar()->showMessage(parts.join(QStringLiteral("    ")));
  // The tip shows a reason cut off at the edge whole.
  statusBar()->setToolTip(parts.join(QLatin1Char('\n')));
}

void TfmMain::ReportLoadFailures(bool bWithOutlook, bool bNamedByUser) {
  // Both calendars in one box: two boxes in a row at start-up would only be clicked away.
  const std::string strText = LoadFailureText(m_Calendar, bWithOutlook, bNamedByUser);
  if (!strText.empty()) AppShowError(this, strText.c_str());
}

// ---- Direction and sync -----------------------------------------------------------------

bool TfmMain::ReadDirection() {
  if (m_pP2O->isChecked()) {
    AppSettings.SyncMode = SYNC_PALM_TO_OUTLOOK;
  } else if (m_pO2P->isChecked()) {
    AppSettings.SyncMode = SYNC_OUTLOOK_TO_PALM;
  } else if (m_pTwoWay->isChecked()) {
    AppSettings.SyncMode = SYNC_TWO_WAY;
  } else {
    return false;
  }
  return true;
}

bool TfmMain::WriteDirection() {
  switch (AppSettings.SyncMode) {
    case SYNC_PALM_TO_OUTLOOK:
      m_pP2O->setChecked(true);
      return true;
    case SYNC_OUTLOOK_TO_PALM:
      m_pO2P->setChecked(true);
      return true;
    case SYNC_TWO_WAY:
      m_pTwoWay->setChecked(true);
      return true;
    default:
      return false;
  }
}

void TfmMain::StartSyncWithRange(int nRangeKind) {
  AppSettings.RangeKind = nRangeKind;
  // A preset replaces the range; "Start" and "Synchronize ..." keep the last one offered.
  if (nRangeKind != RANGE_CUSTOM) {
    AppSettings.RangeFrom = 0;
    AppSettings.RangeTo = 0;
  }
  StartSync();
}

void TfmMain::StartSync() {
  if (!ReadDirection()) return;
  if (!RunSyncWizard()) return;
  MatchAndShow();
  // The run may have added an entry.
  FillHistoryList();
}

void TfmMain::OnOptions() {
  // Outlook is not reloaded: the options concern the Palm side only.
  if (!OpenOptions()) return;
  LoadPalmCalendar();
  MatchAndShow();
  // A path typed into the options is not checked there: this load is where a wrong one shows.
  ReportLoadFailures(false, AppSettings.UseDateFile != 0);
}

// ---- Pages and history ------------------------------------------------------------------

void TfmMain::OnPageChanged(int nIndex) {
  const bool bCalendar = m_pPages->widget(nIndex) == m_pDatePage;
  m_pViewCalendar->setChecked(bCalendar);
  m_pViewHistory->setChecked(!bCalendar);
}

void TfmMain::FillHistoryList() {
  m_pHistory->setUpdatesEnabled(false);
  m_pHistoryRows->Reload();
  for (int nColumn = 0; nColumn < m_pHistoryRows->columnCount(); ++nColumn) {
    AppFitColumn(m_pHistory, nColumn, THistoryModel::DesignWidth(nColumn));
  }
  m_pHistory->setUpdatesEnabled(true);
}

void TfmMain::SetAllHistoryChecks(bool bChecked) {
  m_pHistoryRows->SetAllChecked(bChecked);
}

void TfmMain::DeleteHistory() {
  const int nChecked = m_pHistoryRows->CheckedCount();
  if (nChecked == 0) return;
  // Deleted entries cannot be brought back: the user confirms first.
  char szQuestion[128];
  snprintf(szQuestion, sizeof(szQuestion),
           "Delete the %d checked synchronization history %s? This cannot be undone.", nChecked,
           nChecked == 1 ? "entry" : "entries");
  if (AppMessageBox(this, szQuestion, APP_TITLE, QMessageBox::Question,
                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
    return;
  }
  const DWORD nRemoved = g_SyncHistory.RemoveAt(m_pHistoryRows->CheckedEntries());
  if (nRemoved == 0) return;
  // The rows are gone from the list either way; the user must know when they come back.
  if (!g_SyncHistory.Save(nullptr)) {
    AppShowError(this, AppTextWithReason("Failed to save the synchronization history; the "
                                         "deleted entries will appear again at the next start.",
                                         g_SyncHistory.GetLastFailure())
                           .c_str());
  }
  FillHistoryList();
}

bool TfmMain::SaveSnapshots(const QString& strFolder) {
  struct Page {
    QWidget* pPage;
    const char* szFile;
  };
  const Page pages[] = {{m_pDatePage, "daybridge-calendar.png"},
                        {m_pHistoryPage, "daybridge-history.png"}};
  if (!QDir().mkpath(strFolder)) return false;
  QWidget* pCurrent = m_pPages->currentWidget();
  bool bOk = true;
  for (const Page& page : pages) {
    m_pPages->setCurrentWidget(page.pPage);
    bOk &= grab().save(QDir(strFolder).filePath(Text(page.szFile)), "PNG");
  }
  m_pPages->setCurrentWidget(pCurrent);
  return bOk;
}

// ---- Other windows ----------------------------------------------------------------------
// Each dialog is made anew, run modally and gone when its member returns.

bool TfmMain::RunSyncWizard() {
  TfmSyncDate wizard(m_Calendar, AppSettings, this);
  // A preset button goes straight to the records of its range.
  if (AppSettings.RangeKind != RANGE_CUSTOM) wizard.Next();
  const int nResult = AppExecModal(&wizard);
  // After a failed save the loaded Palm calendar holds transfers its file does not: shown as
  // they are, they would look synchronized when they are not.
  if (!wizard.SavedAll()) LoadPalmCalendar();
  return nResult == QDialog::Accepted || wizard.HasRun();
}

bool TfmMain::OpenOptions() {
  TfmOption dlg(this);
  dlg.Load(AppSettings);
  return AppExecModal(&dlg) == QDialog::Accepted;
}

void TfmMain::OpenLogOptions() {
  TfmDebug dlg(this);
  AppExecModal(&dlg);
}

void TfmMain::OpenAbout() {
  TfmAbout dlg(this);
  AppExecModal(&dlg);
}

void TfmMain::OpenFirstRunWizard() {
  TfmWizard dlg(this, GetPalmUsers());
  AppExecModal(&dlg);
}

void TfmMain::OpenHelp() {
  // The manual that came with the program; the web page only when it was left out.
  char szManual[MAX_PATH + 16];
  AppShellOpen(GetManualAddress(szManual, sizeof(szManual)) ? szManual : APP_HELP_URL);
}

void TfmMain::OpenHomePage() {
  AppShellOpen(APP_HOME_URL);
}
