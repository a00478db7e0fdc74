// The shared door of the windows to the screen and the shell, and the top-level handling of
// escaped exceptions.
#include "app/Apputil.h"
#define DB_MODULE "Apputil"
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <utility>

#include "app/Dump.h"
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

QAction* AppNewAction(QMenu* pMenu, const char* szName, const char* szCaption) {
  QAction* pAction = pMenu->addAction(QString::fromUtf8(szCaption));
  pAction->setObjectName(QString::fromUtf8(szName));
  return pAction;
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

QLabel* AppNewLabel(QWidget* pParent, const char* szCaption, const char* szName) {
  auto* pLabel = new QLabel(QString::fromUtf8(szCaption), pParent);
  if (szName != nullptr) pLabel->setObjectName(QString::fromUtf8(szName));
  return pLabel;
}

QLineEdit* AppNewReadOnlyField(QWidget* pParent, const char* szName, const QString& strText,
                               int nWidth) {
  auto* pField = new QLineEdit(strText, pParent);
  pField->setObjectName(QString::fromUtf8(szName));
  pField->setReadOnly(true);
  if (nWidth > 0) pField->setFixedWidth(nWidth);
  return pField;
}

QTreeView* AppNewReportList(QWidget* pParent, const char* szName, QAbstractItemModel* pModel) {
  auto* pList = new QTreeView(pParent);
  pList->setObjectName(QString::fromUtf8(szName));
  pList->setModel(pModel);
  pList->setRootIsDecorated(false);
  pList->setItemsExpandable(false);
  pList->setUniformRowHeights(true);
  pList->setSelectionBehavior(QAbstractItemView::SelectRows);
  pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  pList->setAllColumnsShowFocus(true);
  // The captions name the columns; they do not sort them.
  pList->header()->setSectionsClickable(false);
  pList->header()->setStretchLastSection(false);
  return pList;
}

void AppFitColumn(QTreeView* pList, int nColumn, int nDesignWidth) {
  // Room for the cell's margins beside the text itself.
  constexpr int kColumnPad = 8;
  if (pList == nullptr) return;
  pList->resizeColumnToContents(nColumn);
  pList->setColumnWidth(nColumn, std::max(nDesignWidth, pList->columnWidth(nColumn) + kColumnPad));
}

void AppSetMainWindow(QWidget* pMain) {
  MainWindow() = pMain;
}

QWidget* AppMainWindow() {
  return MainWindow().data();
}

void ShowErrorReport(QWidget* pOwner) {
  TfmDump dlg(pOwner);
  AppExecModal(&dlg);
}

QString AppPathText(const char* szPath) {
  return QFile::decodeName(szPath != nullptr ? szPath : "");
}

QByteArray AppPathBytes(const QString& strPath) {
  return QFile::encodeName(strPath);
}

// Two calendar leaves over a bridge: an arch carrying a deck on three hangers.
QPixmap AppProductLogo(int nSize) {
  QPixmap pixmap(nSize, nSize);
  pixmap.fill(Qt::transparent);
  QPainter dc(&pixmap);
  dc.setRenderHint(QPainter::Antialiasing);
  dc.scale(nSize / 64.0, nSize / 64.0);
  dc.setPen(Qt::NoPen);
  dc.setBrush(QColor(0x1f, 0x5f, 0xa8));
  dc.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  for (int nLeaf = 0; nLeaf < 2; ++nLeaf) {
    const qreal x = nLeaf == 0 ? 11 : 35;
    dc.setBrush(Qt::white);
    dc.drawRoundedRect(QRectF(x, 9, 18, 19), 3, 3);
    dc.setBrush(nLeaf == 0 ? QColor(0x4c, 0xaf, 0x50) : QColor(0xf5, 0x9e, 0x0b));
    dc.drawRect(QRectF(x, 9, 18, 5));
  }
  QPainterPath arch;
  arch.moveTo(10, 52);
  arch.quadTo(32, 24, 54, 52);
  dc.setBrush(Qt::NoBrush);
  dc.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
  dc.drawPath(arch);
  dc.drawLine(QPointF(7, 45), QPointF(57, 45));
  dc.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::FlatCap));
  // From the deck up to where the arch passes above it.
  const QPointF hangers[] = {{21, 41.5}, {32, 38}, {43, 41.5}};
  for (const QPointF& top : hangers) dc.drawLine(QPointF(top.x(), 45), top);
  return pixmap;
}

QPixmap AppProductText() {
  QFont name;
  name.setPixelSize(20);
  name.setBold(true);
  QFont line;
  line.setPixelSize(12);
  const QString strName = QStringLiteral("DayBridge");
  const QString strLine = QStringLiteral("for Outlook and Palm Desktop");
  const int nWidth = std::max(QFontMetrics(name).horizontalAdvance(strName),
                              QFontMetrics(line).horizontalAdvance(strLine)) +
                     4;
  QPixmap pixmap(nWidth, 44);
  pixmap.fill(Qt::transparent);
  QPainter dc(&pixmap);
  dc.setRenderHint(QPainter::TextAntialiasing);
  dc.setPen(Qt::white);
  dc.setFont(name);
  dc.drawText(QRect(0, 0, nWidth, 26), Qt::AlignLeft | Qt::AlignVCenter, strName);
  dc.setPen(QColor(0xd6, 0xe6, 0xfa));
  dc.setFont(line);
  dc.drawText(QRect(1, 26, nWidth, 18), Qt::AlignLeft | Qt::AlignVCenter, strLine);
  return pixmap;
}

TClickLabel::TClickLabel(QWidget* pParent, std::function<void()> onClick)
    : QLabel(pParent), m_OnClick(std::move(onClick)) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* pEvent) {
  if (pEvent->button() == Qt::LeftButton && rect().contains(pEvent->position().toPoint()) &&
      m_OnClick) {
    m_OnClick();
    return;
  }
  QLabel::mouseReleaseEvent(pEvent);
}

void TClickLabel::keyPressEvent(QKeyEvent* pEvent) {
  const int nKey = pEvent->key();
  if ((nKey == Qt::Key_Space || nKey == Qt::Key_Return || nKey == Qt::Key_Enter) && m_OnClick) {
    m_OnClick();
    return;
  }
  QLabel::keyPressEvent(pEvent);
}

QWidget* AppMakeBanner(QWidget* pParent, bool bOpensHomePage) {
  auto* pBanner = new QWidget(pParent);
  pBanner->setObjectName(QStringLiteral("pnlBanner"));
  pBanner->setFixedHeight(60);
  pBanner->setAttribute(Qt::WA_StyledBackground);
  pBanner->setStyleSheet(QStringLiteral(
      "#pnlBanner { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3b7dd8,"
      " stop:0.5 #1f5fa8, stop:1 #184c88); }"));
  auto* pRow = new QHBoxLayout(pBanner);
  pRow->setContentsMargins(12, 8, 12, 8);
  pRow->setSpacing(10);
  std::function<void()> onClick;
  if (bOpensHomePage) onClick = [] { AppShellOpen(APP_HOME_URL); };
  QLabel* pLogo = bOpensHomePage ? new TClickLabel(pBanner, onClick) : new QLabel(pBanner);
  pLogo->setObjectName(QStringLiteral("imgLogo"));
  pLogo->setPixmap(AppProductLogo(44));
  QLabel* pText = bOpensHomePage ? new TClickLabel(pBanner, onClick) : new QLabel(pBanner);
  pText->setObjectName(QStringLiteral("imgText"));
  pText->setPixmap(AppProductText());
  if (bOpensHomePage) {
    // The images open the page but are no stops of the keyboard's way through the dialog.
    pLogo->setFocusPolicy(Qt::NoFocus);
    pText->setFocusPolicy(Qt::NoFocus);
    pLogo->setToolTip(QStringLiteral(APP_HOME_URL));
    pText->setToolTip(QStringLiteral(APP_HOME_URL));
  }
  pRow->addWidget(pLogo);
  pRow->addWidget(pText);
  pRow->addStretch(1);
  return pBanner;
}

void AppHandleException(const char* szMessage) {
  const char* szText = szMessage != nullptr ? szMessage : "";
  Log(0, "Unhandled exception: %s", szText);
  if (QWidget* pMain = AppMainWindow()) ShowErrorReport(pMain);
  AppMessageBox(nullptr, szText, APP_TITLE, QMessageBox::Critical);
}

void AppFixDialogSize(QDialog* pDialog) {
  pDialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint);
  if (QLayout* pLayout = pDialog->layout()) pLayout->setSizeConstraint(QLayout::SetFixedSize);
}

TDialogLayout AppBeginDialog(QDialog* pDialog, const char* szName, const char* szCaption,
                             TDialogBanner banner) {
  pDialog->setObjectName(QString::fromLatin1(szName));
  pDialog->setWindowTitle(QString::fromLatin1(szCaption));
  pDialog->setModal(true);
  auto* pColumn = new QVBoxLayout(pDialog);
  TDialogLayout layout = {new QVBoxLayout, new QHBoxLayout};
  if (banner != TDialogBanner::None) {
    // The banner runs to the dialog's edges; the rest keeps the usual margins.
    pColumn->setContentsMargins(0, 0, 0, 12);
    pColumn->addWidget(AppMakeBanner(pDialog, banner == TDialogBanner::HomeLink));
    layout.pBody->setContentsMargins(12, 6, 12, 0);
    layout.pButtons->setContentsMargins(12, 6, 12, 0);
  }
  pColumn->addLayout(layout.pBody);
  pColumn->addLayout(layout.pButtons);
  AppFixDialogSize(pDialog);
  return layout;
}

QPushButton* AppAddButton(QBoxLayout* pRow, QWidget* pParent, const char* szName,
                          const char* szCaption) {
  auto* pButton = new QPushButton(QString::fromLatin1(szCaption), pParent);
  pButton->setObjectName(QString::fromLatin1(szName));
  pRow->addWidget(pButton);
  return pButton;
}

void AppAddOkCancel(TDialogLayout& layout, QDialog* pDialog, const char* szOk,
                    const char* szCancel) {
  layout.pButtons->addStretch(1);
  QPushButton* pOk = AppAddButton(layout.pButtons, pDialog, "btnOK", szOk);
  pOk->setDefault(true);
  QObject::connect(pOk, &QPushButton::clicked, pDialog, &QDialog::accept);
  if (szCancel == nullptr) return;
  QPushButton* pCancel = AppAddButton(layout.pButtons, pDialog, "btnCancel", szCancel);
  QObject::connect(pCancel, &QPushButton::clicked, pDialog, &QDialog::reject);
}

void AppCheckChoice(std::initializer_list<TAppChoice> choices, int nValue) {
  QAbstractButton* pChecked = nullptr;
  for (const TAppChoice& choice : choices) {
    pChecked = choice.pButton;
    if (choice.nValue == nValue) break;
  }
  if (pChecked != nullptr) pChecked->setChecked(true);
}

int AppCheckedChoice(std::initializer_list<TAppChoice> choices, int nNoneChecked) {
  for (const TAppChoice& choice : choices) {
    if (choice.pButton->isChecked()) return choice.nValue;
  }
  return nNoneChecked;
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
