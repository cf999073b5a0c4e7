#include "app/user_prompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

QStringList ToQtFilters(const char* windowsFilters) {
  const QStringList parts = QString::fromUtf8(windowsFilters).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
    const QString& description = parts[i];
    const QString& pattern = parts[i + 1];
    const QString qtPattern = pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern;
    const bool namesItsPattern = description.endsWith(QLatin1Char('(') + qtPattern + QLatin1Char(')'));
    filters.append(namesItsPattern ? description : description + QStringLiteral(" (") + qtPattern + QLatin1Char(')'));
  }
  return filters;
}

QString ApplicationTitle() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

std::optional<QString> QtUserPrompts::ChooseFile(QWidget* owner, const FileDialogRequest& request) {
  const bool save = request.mode == FileDialogRequest::Mode::Save;
  QFileDialog dialog(owner);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // As the Windows dialogs were asked: a typed name need not exist; the job checks the source.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(ToQtFilters(request.filters));
  dialog.setDirectory(QDir::currentPath());
  dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.initialFileName.isEmpty()) dialog.selectFile(request.initialFileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

void QtUserPrompts::ShowMessage(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::Warning, ApplicationTitle(), text, QMessageBox::Ok, owner);
  box.exec();
}
