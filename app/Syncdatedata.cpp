// The record page.
#include "app/Syncdatedata.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "app/Apputil.h"
#include "app/Datedetail.h"
#include "app/SyncRowModel.h"
#include "app/Syncdate.h"
#include "app/core/AppCalendar.h"
#include "app/core/SyncWizard.h"

namespace {

struct ConflictAction {
  const char* szCaption;
  int nConfAction;
};

constexpr ConflictAction kActions[] = {
    {"Remind Me", CONFLICT_ASK},
    {"Palm Desktop to Outlook", CONFLICT_PALM_WINS},
    {"Outlook to Palm Desktop", CONFLICT_OUTLOOK_WINS},
    {"Do Nothing", CONFLICT_SKIP},
};

}  // namespace

TfmSyncDateData::TfmSyncDateData(TfmSyncDate* pFrame, AppCalendar& calendar, TAppSettings& settings,
                                 QWidget* pParent)
    : QWidget(pParent), m_pFrame(pFrame), m_Calendar(calendar), m_Settings(settings) {
  setObjectName(QStringLiteral("fmSyncDateData"));
  m_pRows = new TSyncRowModel(this);
  m_pList = AppNewReportList(this, "lvDate", m_pRows);
  m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
  for (int nColumn = 0; nColumn < m_pRows->columnCount(); ++nColumn) {
    m_pList->setColumnWidth(nColumn, TSyncRowModel::DesignWidth(nColumn));
  }
  // The selection stays as visible as when the list has the focus.
  QPalette palette = m_pList->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight,
                   palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  m_pList->setPalette(palette);

  QPushButton* pSelectAll = AppNewControl<QPushButton>(this, "btnSelectAll", "Select All");
  QPushButton* pClearAll = AppNewControl<QPushButton>(this, "btnClearAll", "Clear All");
  auto* pActionLabel = new QLabel(QStringLiteral("Action on Conflict Records:"), this);
  pActionLabel->setObjectName(QStringLiteral("lblAction"));
  m_pAction = new QComboBox(this);
  m_pAction->setObjectName(QStringLiteral("cbAction"));
  m_pAction->setEditable(false);
  m_pAction->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  pActionLabel->setBuddy(m_pAction);

  auto* pBottom = new QHBoxLayout;
  pBottom->addWidget(pSelectAll);
  pBottom->addWidget(pClearAll);
  pBottom->addStretch(1);
  pBottom->addWidget(pActionLabel);
  pBottom->addWidget(m_pAction);
  auto* pPage = new QVBoxLayout(this);
  pPage->setContentsMargins(0, 0, 0, 0);
  pPage->addWidget(m_pList, 1);
  pPage->addLayout(pBottom);

  connect(pSelectAll, &QPushButton::clicked, this, [this] { SetAllChecks(true); });
  connect(pClearAll, &QPushButton::clicked, this, [this] { SetAllChecks(false); });
  connect(m_pList, &QTreeView::doubleClicked, this,
          [this](const QModelIndex& index) { OnRowDoubleClicked(index); });
  m_pList->installEventFilter(this);
}

bool TfmSyncDateData::eventFilter(QObject* pWatched, QEvent* pEvent) {
  // Space ticks the row whichever of its cells is current; the list itself would only tick
  // it from the first column.
  if (pWatched == m_pList && pEvent->type() == QEvent::KeyPress) {
    const auto* pKey = static_cast<QKeyEvent*>(pEvent);
    const QModelIndex current = m_pList->currentIndex();
    if (pKey->key() == Qt::Key_Space && pKey->modifiers() == Qt::NoModifier && current.isValid()) {
      m_pRows->ToggleChecked(current.row());
      return true;
    }
  }
  return QWidget::eventFilter(pWatched, pEvent);
}

void TfmSyncDateData::Enter() {
  std::vector<SyncRow> vRows;
  TrackPlan* pPlan = m_Calendar.GetTrackPlan(m_Settings.SyncMode);
  BuildSyncRows(m_Calendar.GetPalmSet(), m_Calendar.GetOutlookSet(), m_Settings, vRows, pPlan);
  // Nothing to carry, yet the pairs found are remembered: a deletion before the next run must
  // find its pair.
  if (vRows.empty() && pPlan != nullptr) m_Calendar.TrackRemember(*pPlan);

  const char* szHeldBack = nullptr;
  for (const SyncRow& row : vRows) {
    if (row.szReason != nullptr) szHeldBack = row.szReason;
  }
  const bool bEmpty = vRows.empty();
  m_pList->setUpdatesEnabled(false);
  m_pRows->SetRows(std::move(vRows));
  // Dates, times and the sync type grow to their texts; a long subject is cut, and shown
  // whole as the row's tip, so the other columns stay in view.
  for (int nColumn = 0; nColumn < m_pRows->columnCount(); ++nColumn) {
    if (!TSyncRowModel::IsSubjectColumn(nColumn)) {
      AppFitColumn(m_pList, nColumn, TSyncRowModel::DesignWidth(nColumn));
    }
  }
  m_pList->setUpdatesEnabled(true);

  m_pAction->clear();
  for (const ConflictAction& action : kActions) {
    m_pAction->addItem(QString::fromUtf8(action.szCaption), action.nConfAction);
  }
  m_pAction->setCurrentIndex(ActionIndexFor(m_Settings.ConfAction));
  if (bEmpty) {
    // An empty list would only lead to the "nothing selected" error: the page says why
    // instead, and "Next >" stays off.
    char szEmpty[160];
    DescribeEmptyRange(m_Settings, szEmpty, sizeof(szEmpty));
    m_pFrame->SetDescription(szEmpty);
    return;
  }
  if (szHeldBack != nullptr) {
    m_pFrame->SetDescription(
        (std::string("Deletions are not ticked: ") + szHeldBack + ". Tick them to carry them out.")
            .c_str());
    return;
  }
  m_pFrame->SetDescription("Please select the Calendar event records you want to synchronize.");
}

bool TfmSyncDateData::HasRows() const {
  return m_pRows->rowCount() > 0;
}

bool TfmSyncDateData::Commit() {
  const int nConfAction =
      m_pAction->currentData().isValid() ? m_pAction->currentData().toInt() : m_Settings.ConfAction;
  switch (CommitSyncRows(m_Settings, nConfAction, m_pRows->Rows(), m_Calendar.GetPalmSelection(),
                         m_Calendar.GetOutlookSelection())) {
    case COMMIT_OK:
      return true;
    case COMMIT_NOTHING:
      AppShowError(this, SYNC_NOTHING_SELECTED);
      return false;
    default:
      return false;
  }
}

void TfmSyncDateData::SetAllChecks(bool bChecked) {
  m_pRows->SetAllChecked(bChecked);
}

void TfmSyncDateData::OnRowDoubleClicked(const QModelIndex& index) {
  const CommDate* pDate = m_pRows->RecordAt(index.row());
  if (pDate == nullptr) return;
  TfmDateDetail detail(this);
  detail.SetRecord(pDate);
  AppExecModal(&detail);
}
