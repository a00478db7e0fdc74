// The record details dialog. Every control is read-only: text fields refuse edits, and the
// check boxes and choices take no clicks or focus, so they stay readable rather than greyed.
#include "app/Datedetail.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <vector>

#include "app/Apputil.h"
#include "views/CxPaintUtil.h"

using cxpaint::AnsiText;

namespace {

constexpr int kDialogWidth = 540;
constexpr int kDialogHeight = 400;
constexpr int kIntervalWidth = 48;
constexpr int kDateWidth = 110;

// Inner pages of "Recurrence", in order, by repeat type.
enum RecurPage { kRecurDaily, kRecurWeekly, kRecurMonthly, kRecurYearly, kRecurNone };

RecurPage RecurPageOf(INT nType) {
  switch (nType) {
    case REPEAT_DAILY:
      return kRecurDaily;
    case REPEAT_WEEKLY:
      return kRecurWeekly;
    case REPEAT_MONTHLY_BY_DAY:
    case REPEAT_MONTHLY_BY_DATE:
      return kRecurMonthly;
    case REPEAT_YEARLY_BY_DAY:
    case REPEAT_YEARLY_BY_DATE:
      return kRecurYearly;
    default:
      return kRecurNone;
  }
}

// Monday first, as the boxes stand; the mask counts from Sunday.
struct Weekday {
  const char* szName;
  const char* szCaption;
  UINT nMaskBit;
};

constexpr Weekday kWeekdays[7] = {
    {"cbMonday", "Monday", DAYMASK_MONDAY},          {"cbTuesday", "Tuesday", DAYMASK_TUESDAY},
    {"cbWednesday", "Wednesday", DAYMASK_WEDNESDAY}, {"cbThursday", "Thursday", DAYMASK_THURSDAY},
    {"cbFriday", "Friday", DAYMASK_FRIDAY},          {"cbSaturday", "Saturday", DAYMASK_SATURDAY},
    {"cbSunday", "Sunday", DAYMASK_SUNDAY},
};

// "Every [n] <unit>" on one line, as each inner page starts.
QHBoxLayout* EveryRow(QWidget* pPage, QLineEdit* pField, const char* szUnit) {
  auto* pRow = new QHBoxLayout;
  pRow->addWidget(AppNewLabel(pPage, "Every"));
  pRow->addWidget(pField);
  pRow->addWidget(AppNewLabel(pPage, szUnit));
  pRow->addStretch(1);
  return pRow;
}

QString DateText(const SYSTEMTIME& st) {
  char szText[32];
  snprintf(szText, sizeof(szText), "%02d/%02d/%04d", st.wMonth, st.wDay, st.wYear);
  return QString::fromLatin1(szText);
}

}  // namespace

QString RecordFieldText(const CommDate* pDate, int nFieldId, int nMaxChars) {
  if (pDate == nullptr || nMaxChars < 0) return QString();
  std::vector<char> vText(static_cast<size_t>(nMaxChars) + 1);
  if (!GetRecordFieldText(pDate, nFieldId, vText.data(), static_cast<int>(vText.size()))) {
    return QString();
  }
  return AnsiText(vText.data());
}

TfmDateDetail::TfmDateDetail(QWidget* pParent) : QDialog(pParent) {
  setObjectName(QStringLiteral("fmDateDetail"));
  setWindowTitle(QStringLiteral("Calendar detail information"));
  setFixedSize(kDialogWidth, kDialogHeight);
  AppFixDialogSize(this);

  m_pPages = new QTabWidget(this);
  m_pPages->setObjectName(QStringLiteral("pcDetail"));
  m_pPages->addTab(CreateGeneralPage(), QStringLiteral("General"));
  m_pPages->addTab(CreateRecurrencePage(), QStringLiteral("Recurrence"));
  m_pPages->addTab(CreateNotesPage(), QStringLiteral("Notes"));
  m_pPages->setCurrentIndex(2);

  auto* pClose = AppNewControl<QPushButton>(this, "btnClose", "&Close");
  pClose->setDefault(true);
  connect(pClose, &QPushButton::clicked, this, &QDialog::accept);

  auto* pButtons = new QHBoxLayout;
  pButtons->addStretch(1);
  pButtons->addWidget(pClose);
  auto* pLayout = new QVBoxLayout(this);
  pLayout->addWidget(m_pPages, 1);
  pLayout->addLayout(pButtons);
}

QWidget* TfmDateDetail::CreateGeneralPage() {
  auto* pPage = new QWidget;
  pPage->setObjectName(QStringLiteral("tGeneral"));
  m_pDesc = AppNewReadOnlyField(pPage, "edtDesc");
  m_pDateText = AppNewReadOnlyField(pPage, "edtDate", QString(), kDateWidth);
  m_pStartTime = AppNewReadOnlyField(pPage, "edtStartTime", QString(), kDateWidth);
  m_pEndTime = AppNewReadOnlyField(pPage, "edtEndTime", QString(), kDateWidth);
  m_pLocation = AppNewReadOnlyField(pPage, "edtLocation");
  m_pAlarm = AppNewReadOnlyControl<QCheckBox>(pPage, "cbAlarm", "Alarm");
  m_pPrivate = AppNewReadOnlyControl<QCheckBox>(pPage, "cbPrivate", "Private");
  m_pAllDay = AppNewReadOnlyControl<QCheckBox>(pPage, "cbAllday", "All day event");

  auto* pGrid = new QGridLayout(pPage);
  pGrid->setColumnStretch(2, 1);
  struct FieldRow {
    const char* szCaption;
    QLineEdit* pField;
    bool bWide;  // texts take the whole line; dates and times keep their width
  };
  const FieldRow rows[] = {{"Description:", m_pDesc, true},
                           {"Date:", m_pDateText, false},
                           {"Start time:", m_pStartTime, false},
                           {"End time:", m_pEndTime, false},
                           {"Location:", m_pLocation, true}};
  int nRow = 0;
  for (const FieldRow& row : rows) {
    QLabel* pLabel = AppNewLabel(pPage, row.szCaption);
    pLabel->setBuddy(row.pField);
    pGrid->addWidget(pLabel, nRow, 0);
    pGrid->addWidget(row.pField, nRow, 1, 1, row.bWide ? 2 : 1);
    ++nRow;
  }
  auto* pChecks = new QHBoxLayout;
  for (QAbstractButton* pCheck : {m_pAlarm, m_pPrivate, m_pAllDay}) pChecks->addWidget(pCheck);
  pChecks->addStretch(1);
  pGrid->addLayout(pChecks, nRow++, 1, 1, 2);
  pGrid->setRowStretch(nRow, 1);
  return pPage;
}

QWidget* TfmDateDetail::CreateRecurrencePage() {
  auto* pPage = new QWidget;
  pPage->setObjectName(QStringLiteral("tRecur"));
  m_pRecurPages = new QTabWidget(pPage);
  m_pRecurPages->setObjectName(QStringLiteral("pcRecur"));

  auto* pDaily = new QWidget;
  pDaily->setObjectName(QStringLiteral("tDaily"));
  m_pRecurDays = AppNewReadOnlyField(pDaily, "edtRecurDays", QString(), kIntervalWidth);
  auto* pDailyLayout = new QVBoxLayout(pDaily);
  pDailyLayout->addLayout(EveryRow(pDaily, m_pRecurDays, "days."));
  pDailyLayout->addStretch(1);

  auto* pWeekly = new QWidget;
  pWeekly->setObjectName(QStringLiteral("tWeekly"));
  m_pRecurWeeks = AppNewReadOnlyField(pWeekly, "edtRecurWeeks", QString(), kIntervalWidth);
  auto* pDays = new QGridLayout;
  for (int i = 0; i < 7; ++i) {
    m_pWeekdays[i] =
        AppNewReadOnlyControl<QCheckBox>(pWeekly, kWeekdays[i].szName, kWeekdays[i].szCaption);
    pDays->addWidget(m_pWeekdays[i], i / 4, i % 4);
  }
  auto* pWeeklyLayout = new QVBoxLayout(pWeekly);
  pWeeklyLayout->addLayout(EveryRow(pWeekly, m_pRecurWeeks, "weeks on:"));
  pWeeklyLayout->addLayout(pDays);
  pWeeklyLayout->addStretch(1);

  auto* pMonthly = new QWidget;
  pMonthly->setObjectName(QStringLiteral("tMonthly"));
  m_pRecurMonths = AppNewReadOnlyField(pMonthly, "edtRecurMonths", QString(), kIntervalWidth);
  m_pByDate = AppNewReadOnlyControl<QRadioButton>(pMonthly, "rbtnDate", "Date");
  m_pByDay = AppNewReadOnlyControl<QRadioButton>(pMonthly, "rbtnDay", "Day");
  auto* pBy = new QHBoxLayout;
  pBy->addWidget(AppNewLabel(pMonthly, "By:"));
  pBy->addWidget(m_pByDate);
  pBy->addWidget(m_pByDay);
  pBy->addStretch(1);
  auto* pMonthlyLayout = new QVBoxLayout(pMonthly);
  pMonthlyLayout->addLayout(EveryRow(pMonthly, m_pRecurMonths, "months"));
  pMonthlyLayout->addLayout(pBy);
  pMonthlyLayout->addStretch(1);

  auto* pYearly = new QWidget;
  pYearly->setObjectName(QStringLiteral("tYearly"));
  m_pRecurYears = AppNewReadOnlyField(pYearly, "edtRecurYears", QString(), kIntervalWidth);
  auto* pYearlyLayout = new QVBoxLayout(pYearly);
  pYearlyLayout->addLayout(EveryRow(pYearly, m_pRecurYears, "years"));
  pYearlyLayout->addStretch(1);

  m_pRecurPages->addTab(pDaily, QStringLiteral("Daily"));
  m_pRecurPages->addTab(pWeekly, QStringLiteral("Weekly"));
  m_pRecurPages->addTab(pMonthly, QStringLiteral("Monthly"));
  m_pRecurPages->addTab(pYearly, QStringLiteral("Yearly"));

  auto* pRange = new QGroupBox(QStringLiteral(" Recurrence Range "), pPage);
  pRange->setObjectName(QStringLiteral("gbRecurRange"));
  m_pRecurStart = AppNewReadOnlyField(pRange, "edtRecurStart", QString(), kDateWidth);
  m_pNoEnd = AppNewReadOnlyControl<QRadioButton>(pRange, "rbtnNoEnd", "No end date");
  m_pEndBy = AppNewReadOnlyControl<QRadioButton>(pRange, "rbtnEndBy", "End by");
  m_pRecurEnd = AppNewReadOnlyField(pRange, "edtRecurEnd", QString(), kDateWidth);
  auto* pRangeGrid = new QGridLayout(pRange);
  pRangeGrid->addWidget(AppNewLabel(pRange, "Start:"), 0, 0);
  pRangeGrid->addWidget(m_pRecurStart, 0, 1);
  pRangeGrid->addWidget(m_pNoEnd, 1, 0, 1, 2);
  pRangeGrid->addWidget(m_pEndBy, 2, 0);
  pRangeGrid->addWidget(m_pRecurEnd, 2, 1);
  pRangeGrid->setColumnStretch(2, 1);

  auto* pDeleted = new QGroupBox(QStringLiteral(" Deleted Occurrences "), pPage);
  pDeleted->setObjectName(QStringLiteral("gbExceptions"));
  m_pExceptions = new QListWidget(pDeleted);
  m_pExceptions->setObjectName(QStringLiteral("lvExceptions"));
  m_pExceptions->setSelectionMode(QAbstractItemView::NoSelection);
  m_pExceptions->setFocusPolicy(Qt::NoFocus);
  m_pExceptionsNote = new QLabel(pDeleted);
  m_pExceptionsNote->setObjectName(QStringLiteral("lblExceptions"));
  auto* pDeletedLayout = new QVBoxLayout(pDeleted);
  pDeletedLayout->addWidget(m_pExceptionsNote);
  pDeletedLayout->addWidget(m_pExceptions, 1);
  pDeletedLayout->addStretch(0);

  // The range group takes the left column, the deleted occurrences the right one.
  m_pRecurGrid = new QGridLayout(pPage);
  m_pRecurGrid->addWidget(m_pRecurPages, 0, 0, 1, 2);
  m_pRecurGrid->addWidget(pRange, 1, 0, Qt::AlignTop);
  m_pRecurGrid->addWidget(pDeleted, 1, 1, Qt::AlignTop);
  m_pRecurGrid->setColumnStretch(0, 1);
  m_pRecurGrid->setColumnStretch(1, 1);
  m_pRecurGrid->setRowStretch(1, 1);
  return pPage;
}

QWidget* TfmDateDetail::CreateNotesPage() {
  auto* pPage = new QWidget;
  pPage->setObjectName(QStringLiteral("tNotes"));
  m_pNotes = new QPlainTextEdit(pPage);
  m_pNotes->setObjectName(QStringLiteral("memNotes"));
  m_pNotes->setReadOnly(true);
  auto* pLayout = new QVBoxLayout(pPage);
  pLayout->addWidget(m_pNotes);
  return pPage;
}

void TfmDateDetail::SetRecord(const CommDate* pDate) {
  m_pDate = pDate;
  if (pDate == nullptr) return;
  m_pDesc->setText(AnsiText(pDate->szDescription));
  // The note keeps the CR LF line ends of the stores; the memo breaks lines at LF alone.
  m_pNotes->setPlainText(
      AnsiText(pDate->szNote).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  m_pLocation->setText(AnsiText(pDate->szLocation));
  m_pStartTime->setText(RecordFieldText(pDate, FIELD_START_TIME, 255));
  m_pEndTime->setText(RecordFieldText(pDate, FIELD_END_TIME, 255));
  m_pDateText->setText(RecordFieldText(pDate, FIELD_DATE, 255));
  m_pPrivate->setChecked(pDate->bPrivate != 0);
  m_pAlarm->setChecked(pDate->bAlarm != 0);
  m_pAllDay->setChecked(pDate->bAllDay != 0);
  ShowRecurrence(pDate->repeat);
}

void TfmDateDetail::ShowRecurrence(const RepeatPattern& repeat) {
  const RecurPage nShown = RecurPageOf(repeat.nType);
  m_pPages->setTabVisible(1, nShown != kRecurNone);
  for (int nPage = kRecurDaily; nPage <= kRecurYearly; ++nPage) {
    m_pRecurPages->setTabVisible(nPage, nPage == nShown);
  }
  const QString strInterval = QString::number(repeat.nInterval);
  switch (nShown) {
    case kRecurDaily:
      m_pRecurDays->setText(strInterval);
      break;
    case kRecurWeekly:
      m_pRecurWeeks->setText(strInterval);
      // A weekly record with every box empty would say it never occurs: the boxes show the
      // days it repeats on.
      for (int i = 0; i < 7; ++i) {
        m_pWeekdays[i]->setChecked((repeat.nDayOfWeekMask & kWeekdays[i].nMaskBit) != 0);
      }
      break;
    case kRecurMonthly:
      m_pRecurMonths->setText(strInterval);
      (repeat.nType == REPEAT_MONTHLY_BY_DATE ? m_pByDate : m_pByDay)->setChecked(true);
      break;
    case kRecurYearly:
      m_pRecurYears->setText(strInterval);
      break;
    case kRecurNone:
      break;
  }
  if (nShown != kRecurNone) m_pRecurPages->setCurrentIndex(nShown);

  const SYSTEMTIME& stStart = repeat.stPatternStart;
  if (stStart.wMonth != 0 && stStart.wDay != 0 && stStart.wYear != 0) {
    m_pRecurStart->setText(DateText(stStart));
  } else {
    m_pRecurStart->setText(RecordFieldText(m_pDate, FIELD_DATE, 255));
  }
  SYSTEMTIME stEnd = {};
  if (GetRepeatEndDate(&repeat, &stEnd)) {
    m_pEndBy->setChecked(true);
    m_pRecurEnd->setText(DateText(stEnd));
  } else {
    m_pNoEnd->setChecked(true);
  }

  m_pExceptions->clear();
  for (const SYSTEMTIME& stDay : ExceptionDays(repeat)) m_pExceptions->addItem(DateText(stDay));
  m_pExceptionsNote->setText(repeat.bExceptionsUnknown
                                 ? QStringLiteral("Not kept by this calendar.")
                             : repeat.nExceptionCount == 0 ? QStringLiteral("None.")
                                                           : QString());
  m_pExceptionsNote->setVisible(!m_pExceptionsNote->text().isEmpty());
  m_pExceptions->setVisible(m_pExceptions->count() > 0);
}
