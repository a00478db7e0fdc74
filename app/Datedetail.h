// The record details dialog: one calendar record, read-only, on three pages (the general
// fields, the repetition, the note). The record page of the sync wizard opens it for a row
// on a double click. Nothing is written back; the dialog only points at the record it shows.
//
// The "Recurrence" page shows beside the range group, in its right-hand column
// (RecurSideLayout), the occurrences a repeating record has lost: its deleted occurrences.
#pragma once

#include <QDialog>
#include <QString>

#include "app/core/AppRecordText.h"
#include "common/calendar/CommDate.h"

class QAbstractButton;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;

// GetRecordFieldText as a Qt string, cut to nMaxChars characters of the record's ANSI text;
// empty for a missing record.
QString RecordFieldText(const CommDate* pDate, int nFieldId, int nMaxChars);

class TfmDateDetail : public QDialog {
  Q_OBJECT

 public:
  explicit TfmDateDetail(QWidget* pParent);

  // Fills every page from the record (not owned; null leaves the dialog empty).
  void SetRecord(const CommDate* pDate);

  // The column of the "Recurrence" page beside the range group, holding the deleted
  // occurrences.
  QGridLayout* RecurSideLayout() const { return m_pRecurGrid; }

 private:
  QWidget* CreateGeneralPage();
  QWidget* CreateRecurrencePage();
  QWidget* CreateNotesPage();
  void ShowRecurrence(const RepeatPattern& repeat);

  const CommDate* m_pDate = nullptr;
  QTabWidget* m_pPages = nullptr;
  QTabWidget* m_pRecurPages = nullptr;
  QGridLayout* m_pRecurGrid = nullptr;
  QLineEdit* m_pDesc = nullptr;
  QLineEdit* m_pDateText = nullptr;
  QLineEdit* m_pStartTime = nullptr;
  QLineEdit* m_pEndTime = nullptr;
  QLineEdit* m_pLocation = nullptr;
  QAbstractButton* m_pAlarm = nullptr;
  QAbstractButton* m_pPrivate = nullptr;
  QAbstractButton* m_pAllDay = nullptr;
  QLineEdit* m_pRecurDays = nullptr;
  QLineEdit* m_pRecurWeeks = nullptr;
  QLineEdit* m_pRecurMonths = nullptr;
  QLineEdit* m_pRecurYears = nullptr;
  QAbstractButton* m_pWeekdays[7] = {};  // Monday .. Sunday
  QAbstractButton* m_pByDate = nullptr;
  QAbstractButton* m_pByDay = nullptr;
  QLineEdit* m_pRecurStart = nullptr;
  QAbstractButton* m_pNoEnd = nullptr;
  QAbstractButton* m_pEndBy = nullptr;
  QLineEdit* m_pRecurEnd = nullptr;
  QListWidget* m_pExceptions = nullptr;
  QLabel* m_pExceptionsNote = nullptr;  // why the list is empty
  QPlainTextEdit* m_pNotes = nullptr;
};
