// The options dialog TfmOption: the first-run wizard switch, the record colours, the stored
// conflict action and the Palm Desktop calendar opened from a file. The opener calls Load
// before showing it; OK stores the controls back into the settings (and only OK does).
#pragma once

#include <QDialog>

#include "app/core/AppSettings.h"

class QCheckBox;
class QColorDialog;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TClickLabel;

class TfmOption : public QDialog {
 public:
  explicit TfmOption(QWidget* pParent = nullptr);

  void Load(const TAppSettings& settings);
  void Store(TAppSettings& settings) const;

  // OK: Store into the process's settings, then close.
  void accept() override;

 private:
  struct Swatch {
    TClickLabel* pPanel;
    COLORREF crColor;
  };

  void SetSwatch(Swatch& swatch, COLORREF crColor);
  void ChooseColor(Swatch& swatch);
  void EnableDateFile(bool bEnabled);
  void Browse();

  QCheckBox* m_pShowWizard = nullptr;
  QCheckBox* m_pShowColor = nullptr;
  QCheckBox* m_pTrackChanges = nullptr;
  Swatch m_Same = {};
  Swatch m_Diff = {};
  Swatch m_New = {};
  // One chooser for all three swatches, so it keeps the custom colours the user made.
  QColorDialog* m_pColorDialog = nullptr;
  QRadioButton* m_pO2P = nullptr;
  QRadioButton* m_pP2O = nullptr;
  QRadioButton* m_pRemind = nullptr;
  QRadioButton* m_pNothing = nullptr;
  QCheckBox* m_pDateFile = nullptr;
  QLineEdit* m_pDateFileName = nullptr;
  QLineEdit* m_pOutlookCalendar = nullptr;
  QPushButton* m_pBrowse = nullptr;
};
