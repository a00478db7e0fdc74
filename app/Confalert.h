// The conflict alert: shown by the run page for a record that both calendars hold with
// different contents while the conflict action is "Remind Me". It shows the Palm Desktop and
// the Outlook version side by side and collects the answer (which side overwrites the other,
// or nothing, and whether the choice becomes the stored action); the run carries it out.
#pragma once

#include <QDialog>

#include "app/core/SyncRun.h"

class QAbstractButton;
class QLabel;
class QTreeView;
class TConflictModel;

#define CONFALERT_TEXT                                                        \
  "Conflict records found  in the synchronization, please select the action " \
  "to handle the conflicts."

class TfmConfAlert : public QDialog {
  Q_OBJECT

 public:
  explicit TfmConfAlert(QWidget* pParent);

  // Lists the pair, Palm Desktop first; nothing is shown unless both are given. Every field in
  // which the two differ is highlighted, in a column of its own when the five do not show it.
  void Load(const CommDate* pPalm, const CommDate* pOutlook);
  // Checks the choice of the answer held (it opens on "do nothing").
  void ShowAnswer();
  // The answer taken when OK was pressed; the values it was created with otherwise.
  void ReadAnswer(ConflictAnswer* pAnswer) const;

  // OK: the choice and both check boxes become the answer.
  void accept() override;

 private:
  void FitList();

  ConflictAnswer m_Answer = {CONFLICT_SKIP, false, false};
  TConflictModel* m_pRows = nullptr;
  QTreeView* m_pList = nullptr;
  QLabel* m_pDiffer = nullptr;
  QAbstractButton* m_pP2O = nullptr;
  QAbstractButton* m_pNothing = nullptr;
  QAbstractButton* m_pO2P = nullptr;
  QAbstractButton* m_pThis = nullptr;
  QAbstractButton* m_pAll = nullptr;
};
