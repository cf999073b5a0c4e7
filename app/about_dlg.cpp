#include "app/about_dlg.h"

#include <QPushButton>

#include "app/dialog_template.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  const DialogControls controls = BuildDialog(*this, kAboutDialogTemplate);
  connect(static_cast<QPushButton*>(controls.Find(IDOK)), &QPushButton::clicked, this, &QDialog::accept);
}
