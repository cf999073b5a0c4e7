#pragma once

// What the dialog asks of the user besides its own controls: choosing a file and reading a message.
// Tests put their own answers in its place.

#include <QString>
#include <optional>

class QWidget;

struct FileDialogRequest {
  enum class Mode { Open, Save };
  Mode mode;
  // Windows form: description|pattern|...||, as the file dialogs have always been given.
  const char* filters;
  QString defaultSuffix;    // appended to a name typed without one; empty for none
  QString initialFileName;  // empty for none
};

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;
  // The chosen file's full path, or nothing when the user cancelled.
  virtual std::optional<QString> ChooseFile(QWidget* owner, const FileDialogRequest& request) = 0;
  // A modal box with the text, an OK button and the warning icon; returns once dismissed.
  virtual void ShowMessage(QWidget* owner, const QString& text) = 0;
};

// Qt's own file dialogs (not the desktop's, so that they run Qt's event loop and the worker's messages
// are answered meanwhile) and message boxes captioned with the application title.
class QtUserPrompts : public UserPrompts {
 public:
  std::optional<QString> ChooseFile(QWidget* owner, const FileDialogRequest& request) override;
  void ShowMessage(QWidget* owner, const QString& text) override;
};

// "AVI file (*.avi)|*.avi|All file(*.*)|*.*||" as Qt's filters. A description that already names its
// pattern in parentheses is kept as it is; "*.*" (every file on Windows) becomes "*".
QStringList ToQtFilters(const char* windowsFilters);

// The executable's file name without its extension: every message box's caption.
QString ApplicationTitle();
