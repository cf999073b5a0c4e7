#pragma once

// The main dialog: choose a source video and a target file, start the conversion and follow it in the
// status line and the progress bar.

#include <QDialog>
#include <QIcon>
#include <QString>

#include "app/dialog_template.h"
#include "platform/progress_bar.h"
#include "platform/window_messages.h"

class QLabel;
class QMenu;
class QProgressBar;
class WorkerThread;
class UserPrompts;

// The worker thread's body; it gets the job text.
using JobEntry = void (*)(void* jobText);

class CFrameloomDlg : public QDialog {
 public:
  // The prompts run the file dialogs and message boxes; the entry is the body of each job's worker.
  CFrameloomDlg(UserPrompts& prompts, JobEntry jobEntry);
  ~CFrameloomDlg() override;

  // Initialises the dialog and runs it modally until it ends; the window is gone when it returns.
  int DoModal();

  // Handlers, by the control or message that calls them.
  bool OnInitDialog();
  void OnOK();
  void OnOpen();
  void OnSave();
  LRESULT OnConvertStage(WPARAM stage, LPARAM unused);
  void OnClose();
  void OnSysCommand(unsigned command, LPARAM unused);

  void SetStatusText(QString text);
  QWidget* GetDlgItem(int id) const { return controls_.Find(id); }
  // The stand-in for the system menu, shown as the dialog's context menu.
  QMenu* SystemMenu() const { return systemMenu_; }
  bool IsConverting() const { return waitingForWorker_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Moves the members into the controls; the first call binds the status line and the progress bar.
  void DoDataExchange();
  void UpdateData() { DoDataExchange(); }
  void WaitWithMessages(WorkerThread& thread);
  void EnableControl(int id, bool enable);
  LRESULT OnProgressMessage(UINT message, WPARAM wParam, LPARAM lParam);

  QLabel* m_statusLabel = nullptr;
  QString m_sourcePath;
  QString m_targetPath;
  QIcon m_hIcon;

  UserPrompts& prompts_;
  JobEntry jobEntry_;
  DialogControls controls_;
  QMenu* systemMenu_ = nullptr;
  WindowHandle mainWindow_ = 0;
  WindowHandle progressWindow_ = 0;
  QProgressBar* progressBar_ = nullptr;
  ProgressState progressState_;
  bool waitingForWorker_ = false;
  // The running job's worker, while OnOK waits for it; a close request cancels it once.
  WorkerThread* worker_ = nullptr;
  bool closing_ = false;
};
