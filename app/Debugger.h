// The log options dialog TfmDebug, and the log's location as both log dialogs show it
// (TLogLocationGroup, which the error report shares): the data folder and the log file in
// read-only fields, each with a "..." button that opens it through the shell.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class TLogLocationGroup : public QGroupBox {
 public:
  // strIntro, when not empty, is a line above the fields.
  TLogLocationGroup(QWidget* pParent, const QString& strIntro);

 private:
  void OpenFolder();
  void OpenFile();

  QByteArray m_Folder;
  QByteArray m_File;
};

class TfmDebug : public QDialog {
 public:
  explicit TfmDebug(QWidget* pParent = nullptr);

  // OK: the choices go into the settings and the running log, then the dialog closes.
  void accept() override;

 private:
  QComboBox* m_pLevel = nullptr;
  QCheckBox* m_pEnable = nullptr;
};
