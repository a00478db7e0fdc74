// The about dialog: the product's mark and name, its version and notices, and "OK".
#pragma once

#include <QDialog>

class TfmAbout : public QDialog {
 public:
  explicit TfmAbout(QWidget* pParent = nullptr);
};
