// The range page. The pickers start on the committed range when there is one (the range of the
// last preset run, so "Start" after it offers those days again), else on today.
#include "app/Syncdaterange.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Apputil.h"
#include "app/Syncdate.h"
#include "app/core/SyncWizard.h"

namespace {

struct RangePreset {
  const char* szCaption;
  int nRangeKind;
};

constexpr RangePreset kPresets[] = {
    {"Custom", RANGE_CUSTOM},       {"Today", RANGE_TODAY},
    {"This Week", RANGE_THIS_WEEK}, {"This Month", RANGE_THIS_MONTH},
    {"This Year", RANGE_THIS_YEAR},
};

constexpr int kPickerWidth = 130;
constexpr int kPresetWidth = 150;
constexpr int kRangeIndent = 24;

QDate ToQDate(const SYSTEMTIME& st) {
  return QDate(st.wYear, st.wMonth, st.wDay);
}

SYSTEMTIME FromQDate(const QDate& date) {
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(date.year());
  st.wMonth = static_cast<WORD>(date.month());
  st.wDay = static_cast<WORD>(date.day());
  st.wDayOfWeek = static_cast<WORD>(date.dayOfWeek() % 7);  // Qt counts Monday 1 .. Sunday 7
  return st;
}

QDateEdit* MakePicker(QWidget* pParent, const char* szName) {
  auto* pPicker = new QDateEdit(pParent);
  pPicker->setObjectName(QString::fromUtf8(szName));
  pPicker->setCalendarPopup(true);
  pPicker->setDisplayFormat(QStringLiteral(APP_DATE_FORMAT));
  // The automation date scale the range is stored on starts at 1899-12-30.
  pPicker->setDateRange(QDate(1900, 1, 1), QDate(9999, 12, 31));
  pPicker->setFixedWidth(kPickerWidth);
  return pPicker;
}

}  // namespace

TfmSyncDateRange::TfmSyncDateRange(TfmSyncDate* pFrame, TAppSettings& settings, QWidget* pParent)
    : QWidget(pParent), m_pFrame(pFrame), m_Settings(settings) {
  setObjectName(QStringLiteral("fmSyncDateRange"));
  m_pAll = AppNewControl<QRadioButton>(this, "rbtnAll", "All Calendar Data");
  m_pSpec = AppNewControl<QRadioButton>(this, "rbtnSpec", "Special Date Range");
  m_pRange = new QComboBox(this);
  m_pRange->setObjectName(QStringLiteral("cbRange"));
  m_pRange->setEditable(false);
  m_pRange->setFixedWidth(kPresetWidth);
  m_pFrom = MakePicker(this, "dtpFrom");
  m_pTo = MakePicker(this, "dtpTo");
  auto* pTilde = new QLabel(QStringLiteral("~"), this);
  pTilde->setObjectName(QStringLiteral("lblTilde"));

  auto* pDates = new QHBoxLayout;
  pDates->addSpacing(kRangeIndent);
  pDates->addWidget(m_pRange);
  pDates->addSpacing(12);
  pDates->addWidget(m_pFrom);
  pDates->addWidget(pTilde);
  pDates->addWidget(m_pTo);
  pDates->addStretch(1);
  auto* pPage = new QVBoxLayout(this);
  pPage->setContentsMargins(24, 24, 24, 24);
  pPage->setSpacing(14);
  pPage->addWidget(m_pAll);
  pPage->addWidget(m_pSpec);
  pPage->addLayout(pDates);
  pPage->addStretch(1);

  SYSTEMTIME stFrom;
  SYSTEMTIME stTo;
  if (!GetCommittedRange(m_Settings, &stFrom, &stTo)) {
    GetToday(&stFrom);
    stTo = stFrom;
  }
  SetPickers(stFrom, stTo);

  connect(m_pAll, &QRadioButton::clicked, this, [this] { EnableRange(false); });
  connect(m_pSpec, &QRadioButton::clicked, this, [this] { EnableRange(true); });
  connect(m_pRange, &QComboBox::currentIndexChanged, this, &TfmSyncDateRange::OnPresetChanged);
}

void TfmSyncDateRange::Enter() {
  {
    // Rebuilding the list must not run the preset for every item added.
    const QSignalBlocker blocker(m_pRange);
    m_pRange->clear();
    for (const RangePreset& preset : kPresets) {
      m_pRange->addItem(QString::fromUtf8(preset.szCaption), preset.nRangeKind);
    }
    const int nIndex = m_pRange->findData(m_Settings.RangeKind);
    m_pRange->setCurrentIndex(nIndex >= 0 ? nIndex : 0);
  }
  m_nRangeKind = m_Settings.RangeKind;
  OnPresetChanged(m_pRange->currentIndex());
  const bool bSpecial =
      m_Settings.RangeFrom != 0 || m_Settings.RangeTo != 0 || m_Settings.RangeKind != 0;
  (bSpecial ? m_pSpec : m_pAll)->setChecked(true);
  EnableRange(bSpecial);
  m_pFrame->SetDescription("Please choose the range of dates to synchronize your Calendars.");
}

void TfmSyncDateRange::Commit() {
  const SYSTEMTIME stFrom = FromQDate(m_pFrom->date());
  const SYSTEMTIME stTo = FromQDate(m_pTo->date());
  if (!m_pAll->isChecked()) m_Settings.RangeKind = m_nRangeKind;
  CommitRange(m_Settings, m_pAll->isChecked(), &stFrom, &stTo);
}

void TfmSyncDateRange::OnPresetChanged(int nIndex) {
  if (nIndex < 0) return;
  m_nRangeKind = m_pRange->itemData(nIndex).toInt();
  SYSTEMTIME stToday;
  GetToday(&stToday);
  SYSTEMTIME stFrom;
  SYSTEMTIME stTo;
  if (GetPresetRange(m_nRangeKind, &stToday, &stFrom, &stTo)) {
    SetPickers(stFrom, stTo);
  } else if (m_Settings.RangeFrom == 0 && m_Settings.RangeTo == 0) {
    // "Custom" without a range of its own starts from today; with one, the days stay.
    SetPickers(stToday, stToday);
  }
}

void TfmSyncDateRange::EnableRange(bool bEnabled) {
  for (QWidget* pControl : {static_cast<QWidget*>(m_pRange), static_cast<QWidget*>(m_pFrom),
                            static_cast<QWidget*>(m_pTo)}) {
    pControl->setEnabled(bEnabled);
  }
}

void TfmSyncDateRange::SetPickers(const SYSTEMTIME& stFrom, const SYSTEMTIME& stTo) {
  m_pFrom->setDate(ToQDate(stFrom));
  m_pTo->setDate(ToQDate(stTo));
}
