// The first-run wizard TfmWizard: whether Outlook and Palm Desktop were found and in which
// versions, the Palm user whose calendar is shown, and whether the wizard comes again at the
// next start. It is filled when made and changes the settings only on OK.
#pragma once

#include <QDialog>

class CxList;
class QCheckBox;
class QComboBox;
class QLabel;

class TfmWizard : public QDialog {
 public:
  // users: the Palm user list, which outlives the dialog; the user list names its entries by
  // their place in it.
  TfmWizard(QWidget* pParent, CxList& users);

  void accept() override;

 private:
  void OnDebugOptions();

  CxList& m_Users;
  QComboBox* m_pUser = nullptr;
  QCheckBox* m_pShow = nullptr;
  QCheckBox* m_pTrack = nullptr;
};
