// The record page. Row colours tell the match state at a glance and do not follow the
// settings' display colours: blue for a changed record, green for a new one.
#include "app/Syncdatedata.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <vector>

#include "app/Apputil.h"
#include "app/Datedetail.h"
#include "app/Syncdate.h"
#include "app/core/AppCalendar.h"
#include "app/core/SyncWizard.h"
#include "views/CxPaintUtil.h"

namespace {

struct RecordColumn {
  const char* szCaption;
  int nWidth;
  int nFieldId;  // 0: the "Sync Type" text, -1: the calendar the record comes from
};

constexpr RecordColumn kColumns[] = {
    {"Subject", 180, FIELD_DESCRIPTION},
    {"Date", 80, FIELD_DATE},
    {"Start Time", 80, FIELD_START_TIME},
    {"End Time", 80, FIELD_END_TIME},
    {"Sync Type", 140, 0},
    {"Calendar", 90, -1},
};
constexpr int kCalendarColumn = -1;
constexpr int kColumnCount = sizeof(kColumns) / sizeof(kColumns[0]);
constexpr int kRowTextChars = 1023;

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

constexpr COLORREF kChangedColor = 0xFF0000;  // blue
constexpr COLORREF kNewColor = 0x008000;      // green
constexpr COLORREF kOtherColor = 0x000000;

CommDate* RecordOfRow(const QTreeWidgetItem* pItem) {
  return reinterpret_cast<CommDate*>(pItem->data(0, Qt::UserRole).value<quintptr>());
}

COLORREF RowColor(const CommDate* pDate) {
  switch (pDate->nMatchState) {
    case MATCH_CHANGED:
      return kChangedColor;
    case MATCH_NEW:
      return kNewColor;
    default:
      return kOtherColor;
  }
}

}  // namespace

TfmSyncDateData::TfmSyncDateData(TfmSyncDate* pFrame, AppCalendar& calendar, TAppSettings& settings,
                                 QWidget* pParent)
    : QWidget(pParent), m_pFrame(pFrame), m_Calendar(calendar), m_Settings(settings) {
  setObjectName(QStringLiteral("fmSyncDateData"));
  QStringList captions;
  for (const RecordColumn& column : kColumns) captions << QString::fromUtf8(column.szCaption);
  m_pList = AppNewReportList(this, "lvDate", captions);
  m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
  for (int nColumn = 0; nColumn < kColumnCount; ++nColumn) {
    m_pList->setColumnWidth(nColumn, kColumns[nColumn].nWidth);
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
  connect(m_pList, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* pItem) { OnRowDoubleClicked(pItem); });
  m_pList->installEventFilter(this);
}

bool TfmSyncDateData::eventFilter(QObject* pWatched, QEvent* pEvent) {
  // Space ticks the row whichever of its cells is current; the list itself would only tick
  // it from the first column.
  if (pWatched == m_pList && pEvent->type() == QEvent::KeyPress) {
    const auto* pKey = static_cast<QKeyEvent*>(pEvent);
    QTreeWidgetItem* pItem = m_pList->currentItem();
    if (pKey->key() == Qt::Key_Space && pKey->modifiers() == Qt::NoModifier && pItem != nullptr) {
      pItem->setCheckState(0, pItem->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
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

  m_pList->setUpdatesEnabled(false);
  const char* szHeldBack = nullptr;
  m_pList->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(vRows.size()));
  for (const SyncRow& row : vRows) {
    auto* pItem = new QTreeWidgetItem;
    for (int nColumn = 0; nColumn < kColumnCount; ++nColumn) {
      const int nFieldId = kColumns[nColumn].nFieldId;
      if (nFieldId == kCalendarColumn) {
        pItem->setText(nColumn, QString::fromUtf8(SyncCalendarName(row.pDate)));
      } else {
        pItem->setText(nColumn, nFieldId != 0 ? RecordFieldText(row.pDate, nFieldId, kRowTextChars)
                                              : QString::fromUtf8(row.szSyncType));
      }
      pItem->setForeground(nColumn, cxpaint::ToQColor(RowColor(row.pDate)));
    }
    pItem->setToolTip(0, pItem->text(0));
    pItem->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(row.pDate)));
    pItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    pItem->setCheckState(0, row.bChecked ? Qt::Checked : Qt::Unchecked);
    if (row.szReason != nullptr) {
      // The row says itself why it is not ticked.
      for (int nColumn = 0; nColumn < kColumnCount; ++nColumn) {
        pItem->setToolTip(nColumn, QString::fromUtf8(row.szReason));
      }
      szHeldBack = row.szReason;
    }
    items.append(pItem);
  }
  m_pList->addTopLevelItems(items);
  // Dates, times and the sync type grow to their texts; a long subject is cut, and shown
  // whole as the row's tip, so the other columns stay in view.
  for (int nColumn = 0; nColumn < kColumnCount; ++nColumn) {
    if (kColumns[nColumn].nFieldId != FIELD_DESCRIPTION) {
      AppFitColumn(m_pList, nColumn, kColumns[nColumn].nWidth);
    }
  }
  m_pList->setUpdatesEnabled(true);

  m_pAction->clear();
  for (const ConflictAction& action : kActions) {
    m_pAction->addItem(QString::fromUtf8(action.szCaption), action.nConfAction);
  }
  m_pAction->setCurrentIndex(ActionIndexFor(m_Settings.ConfAction));
  if (vRows.empty()) {
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
  return m_pList->topLevelItemCount() > 0;
}

bool TfmSyncDateData::Commit() {
  std::vector<SyncRow> vRows;
  vRows.reserve(static_cast<size_t>(m_pList->topLevelItemCount()));
  for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* pItem = m_pList->topLevelItem(i);
    vRows.push_back({RecordOfRow(pItem), nullptr, pItem->checkState(0) == Qt::Checked});
  }
  const int nConfAction =
      m_pAction->currentData().isValid() ? m_pAction->currentData().toInt() : m_Settings.ConfAction;
  switch (CommitSyncRows(m_Settings, nConfAction, vRows, m_Calendar.GetPalmSelection(),
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
  for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
    m_pList->topLevelItem(i)->setCheckState(0, bChecked ? Qt::Checked : Qt::Unchecked);
  }
}

void TfmSyncDateData::OnRowDoubleClicked(QTreeWidgetItem* pItem) {
  const CommDate* pDate = pItem != nullptr ? RecordOfRow(pItem) : nullptr;
  if (pDate == nullptr) return;
  TfmDateDetail detail(this);
  detail.SetRecord(pDate);
  AppExecModal(&detail);
}
