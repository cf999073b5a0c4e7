#include "app/frameloom_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <climits>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "app/about_dlg.h"
#include "app/resources.h"
#include "app/user_prompts.h"
#include "container/output_file.h"
#include "job/cancellation.h"
#include "job/file_types.h"
#include "job/job_state.h"
#include "job/stage_text.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/thread.h"

namespace {

const char kSourceFilters[] =
    "AVI file (*.avi)|*.avi|MOV file (*.mov)|*.mov|MP4 file (*.mp4)|*.mp4|ASF file (*.asf)|*.asf|"
    "WMV file (*.wmv)|*.wmv|3GP file (*.3gp)|*.3gp|All file(*.*)|*.*||";
const char kTargetFilters[] = "mox file (*.mox)|*.mox|All file(*.*)|*.*||";

const char kChooseSourceText[] = "请选源文件名(.avi, .mov, .mp4, .asf, .wmv, .3gp)";
const char kClickOkText[] = "请点确定";
const char kChooseTargetText[] = "请选目标文件(*.mox)";
const char kClickOkToStartText[] = "请点确开始";
const char kChooseSourceFileText[] = "请选源文件";

// "The paths of the source and the target are too long; please choose shorter ones."
const char kJobTextTooLongMessage[] = "源文件和目标文件的路径太长, 请选短一些的路径\n";
// "The conversion could not be started; please try again."
const char kWorkerNotStartedMessage[] = "无法开始转换, 请重新再试\n";

// Target, tab, source and terminator, each path as long as the platform allows.
constexpr std::size_t kJobTextSize = 2 * PATH_MAX;

// The Windows file dialogs leave the chosen file's folder as the current directory, and the job's work
// folder follows from it; Qt's dialogs don't, so the dialog does it.
// False when the folder has gone since the file dialog showed it; the current directory then stays.
bool EnterFolderOf(const QString& path) {
  return ::chdir(QFile::encodeName(QFileInfo(path).absolutePath()).constData()) == 0;
}

// "D:/clips/holiday.avi" -> "holiday.mox": the file name cut before its first dot.
QString SuggestedTargetName(const QString& sourcePath) {
  QString name = sourcePath.mid(sourcePath.lastIndexOf(QLatin1Char(kPathSeparator)) + 1);
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  if (dot >= 0) name.truncate(dot);
  return name + QStringLiteral(".mox");
}

std::string StartDirectory() {
  char directory[PATH_MAX];
  return ::getcwd(directory, sizeof directory) ? std::string(directory) : std::string();
}

bool IsDialogNavigationKey(int key) {
  return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter ||
         key == Qt::Key_Escape;
}

}  // namespace

CFrameloomDlg::CFrameloomDlg(UserPrompts& prompts, JobEntry jobEntry)
    : QDialog(nullptr), m_hIcon(ApplicationIcon()), prompts_(prompts), jobEntry_(jobEntry) {
  // Caption, system menu and frame; no minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  controls_ = BuildDialog(*this, kMainDialogTemplate);
  move(DialogUnits::Of(font()).ToPixelsX(kMainDialogTemplate.x),
       DialogUnits::Of(font()).ToPixelsY(kMainDialogTemplate.y));
  connect(static_cast<QPushButton*>(GetDlgItem(IDOK)), &QPushButton::clicked, this, &CFrameloomDlg::OnOK);
  connect(static_cast<QPushButton*>(GetDlgItem(IDC_OPEN)), &QPushButton::clicked, this, &CFrameloomDlg::OnOpen);
  connect(static_cast<QPushButton*>(GetDlgItem(IDC_SAVE)), &QPushButton::clicked, this, &CFrameloomDlg::OnSave);
}

CFrameloomDlg::~CFrameloomDlg() {
  // The windows go first, so that what is still queued reaches no handler of this dialog.
  DestroyMessageWindow(mainWindow_);
  if (g_progressBar.Window() == progressWindow_) g_progressBar.Bind(0);
  DestroyMessageWindow(progressWindow_);
  DispatchMessages();
  SetMessageBoxPresenter({});
}

int CFrameloomDlg::DoModal() {
  OnInitDialog();
  return exec();
}

void CFrameloomDlg::DoDataExchange() {
  if (!m_statusLabel) {
    m_statusLabel = static_cast<QLabel*>(GetDlgItem(IDC_STATUS));
    progressBar_ = static_cast<QProgressBar*>(GetDlgItem(IDC_PROGRESS));
    progressWindow_ = CreateMessageWindow(
        std::string(), [this](UINT message, WPARAM wParam, LPARAM lParam) {
          return OnProgressMessage(message, wParam, lParam);
        });
    g_progressBar.Bind(progressWindow_);
  }
  static_cast<QLineEdit*>(GetDlgItem(IDC_SOURCE))->setText(m_sourcePath);
  static_cast<QLineEdit*>(GetDlgItem(IDC_TARGET))->setText(m_targetPath);
}

bool CFrameloomDlg::OnInitDialog() {
  UpdateData();
  mainWindow_ = CreateMessageWindow(windowTitle().toStdString(), [this](UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_CONVERT_STAGE ? OnConvertStage(wParam, lParam) : 0;
  });
  SetMessageBoxPresenter([this](const std::string& text) { prompts_.ShowMessage(this, QString::fromStdString(text)); });

  const QString aboutEntry = LoadString(IDS_ABOUTBOX);
  systemMenu_ = new QMenu(this);
  if (!aboutEntry.isEmpty()) {
    systemMenu_->addSeparator();
    QAction* about = systemMenu_->addAction(aboutEntry);
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX, 0); });
  }

  setWindowIcon(m_hIcon);
  g_startDirectory = StartDirectory();
  EnableControl(IDC_SAVE, false);
  EnableControl(IDOK, false);
  ResetJobState();
  g_progressBar.Send(PBM_SETRANGE, 0, 100 << 16);
  g_progressBar.Send(PBM_SETPOS, 0, 0);
  SetStatusText(QString::fromUtf8(kChooseSourceText));
  return true;
}

void CFrameloomDlg::OnOpen() {
  const FileDialogRequest request{FileDialogRequest::Mode::Open, kSourceFilters, QString(), QString()};
  const std::optional<QString> chosen = prompts_.ChooseFile(this, request);
  if (!chosen) return;
  EnterFolderOf(*chosen);
  m_sourcePath = *chosen;
  const std::string path = m_sourcePath.toStdString();
  if (!IsSupportedSourceType(path)) {
    ShowMessageBox(UnsupportedSourceMessage(path));
    m_sourcePath.clear();
    UpdateData();
    return;
  }
  UpdateData();
  EnableControl(IDC_SAVE, true);
  SetStatusText(QString::fromUtf8(m_targetPath.isEmpty() ? kChooseTargetText : kClickOkText));
}

void CFrameloomDlg::OnSave() {
  const FileDialogRequest request{FileDialogRequest::Mode::Save, kTargetFilters, QStringLiteral("mox"),
                                  SuggestedTargetName(m_sourcePath)};
  const std::optional<QString> chosen = prompts_.ChooseFile(this, request);
  if (!chosen) return;
  EnterFolderOf(*chosen);
  m_targetPath = *chosen;
  if (!IsSupportedTargetType(m_targetPath.toStdString())) {
    ShowMessageBox(kUnsupportedTargetMessage);
    m_targetPath.clear();
    UpdateData();
    return;
  }
  UpdateData();
  EnableControl(IDOK, true);
  SetStatusText(QString::fromUtf8(m_sourcePath.isEmpty() ? kChooseSourceFileText : kClickOkToStartText));
}

void CFrameloomDlg::OnOK() {
  EnableControl(IDOK, false);
  EnableControl(IDC_SAVE, false);
  EnableControl(IDC_OPEN, false);

  // Lives until the worker has ended, which splits it in place.
  char jobText[kJobTextSize];
  const QByteArray target = QFile::encodeName(m_targetPath);
  const QByteArray source = QFile::encodeName(m_sourcePath);
  const int length = std::snprintf(jobText, sizeof jobText, "%s\t%s", target.constData(), source.constData());
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof jobText) {
    ShowMessageBox(kJobTextTooLongMessage);
  } else if (std::unique_ptr<WorkerThread> worker = WorkerThread::Start(jobEntry_, jobText)) {
    worker_ = worker.get();
    WaitWithMessages(*worker);
    worker_ = nullptr;
  } else {
    ShowMessageBox(kWorkerNotStartedMessage);
  }
  EnableControl(IDC_OPEN, true);
}

void CFrameloomDlg::WaitWithMessages(WorkerThread& thread) {
  // No dialog keyboard while a job runs: Tab, Enter and Escape do nothing, so that Escape cannot end
  // the dialog under a running job; only a close request can, and it cancels the job.
  waitingForWorker_ = true;
  qApp->installEventFilter(this);
  ::WaitWithMessages(thread);
  qApp->removeEventFilter(this);
  waitingForWorker_ = false;
}

bool CFrameloomDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this && IsDialogNavigationKey(static_cast<QKeyEvent*>(event)->key())) {
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

LRESULT CFrameloomDlg::OnConvertStage(WPARAM stage, LPARAM) {
  if (const char* text = StageText(stage)) SetStatusText(QString::fromUtf8(text));
  return 0;
}

LRESULT CFrameloomDlg::OnProgressMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = progressState_.Apply(message, wParam, lParam);
  // An empty range draws an empty bar, not Qt's busy indicator.
  if (progressState_.maximum > progressState_.minimum) {
    progressBar_->setRange(progressState_.minimum, progressState_.maximum);
    progressBar_->setValue(progressState_.position);
  } else {
    progressBar_->setRange(0, 1);
    progressBar_->setValue(0);
  }
  return result;
}

void CFrameloomDlg::closeEvent(QCloseEvent* event) {
  // OnClose decides whether the dialog ends; the event itself never closes it.
  event->ignore();
  OnClose();
}

void CFrameloomDlg::OnClose() {
  // While a job runs, the close request cancels it first: the tool is killed, the worker stops, and
  // what the job made is removed, with this thread still answering the job's messages meanwhile.
  // That holds from the job's first step, not only once its output is open, so that no conversion
  // goes on behind a closed window. A second request meanwhile does nothing more.
  if (worker_ != nullptr && !worker_->HasEnded()) {
    if (closing_) return;
    closing_ = true;
    CancelConversion(*worker_);
  }
  // The default processing: the cancel command ends the dialog. Inside a running wait it is hidden
  // at once and ends when the start button's handler has returned.
  reject();
}

void CFrameloomDlg::contextMenuEvent(QContextMenuEvent* event) {
  if (systemMenu_ && !systemMenu_->isEmpty()) systemMenu_->exec(event->globalPos());
}

void CFrameloomDlg::OnSysCommand(unsigned command, LPARAM) {
  if ((command & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about(this);
    about.exec();
  }
}

void CFrameloomDlg::SetStatusText(QString text) { m_statusLabel->setText(text); }

void CFrameloomDlg::EnableControl(int id, bool enable) { GetDlgItem(id)->setEnabled(enable); }
