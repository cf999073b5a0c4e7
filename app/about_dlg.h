#pragma once

// The about box: icon, name and version, and an OK button that ends it.

#include <QDialog>

class CAboutDlg : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent);
};
