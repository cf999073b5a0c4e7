// The main dialog's states, texts and messages, with the file dialogs and message boxes answered by
// the test and, where a job runs, a stand-in for the job's body.

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

#include "app/frameloom_dlg.h"
#include "app/qt_message_pump.h"
#include "container/output_file.h"
#include "fake_prompts.h"
#include "job/job_state.h"
#include "platform/progress_bar.h"
#include "platform/window_messages.h"
#include "res/resource.h"

namespace {

const QString kChooseSource = QStringLiteral("请选源文件名(.avi, .mov, .mp4, .asf, .wmv, .3gp)");
const QString kChooseTarget = QStringLiteral("请选目标文件(*.mox)");
const QString kClickOk = QStringLiteral("请点确定");
const QString kClickOkToStart = QStringLiteral("请点确开始");
const QString kChooseSourceFile = QStringLiteral("请选源文件");
const QString kSourceRefusal = QStringLiteral("不是支持的文件类型, 请重新输入能支持类型的单个文件\n");
const QString kTargetRefusal =
    QStringLiteral("保存文件类型不对， 只能是mox， 请不要随意更改文件类型。 请重新输入保存的文件名\n");

// A job body that records its text and holds the worker until the test lets it go.
struct HeldJob {
  std::mutex mutex;
  std::condition_variable released;
  bool go = false;
  std::string text;
  int runs = 0;

  void Release() {
    std::lock_guard lock(mutex);
    go = true;
    released.notify_all();
  }
};
HeldJob* g_heldJob = nullptr;

void HoldingJob(void* jobText) {
  std::unique_lock lock(g_heldJob->mutex);
  g_heldJob->text = static_cast<const char*>(jobText);
  ++g_heldJob->runs;
  g_heldJob->released.wait(lock, [] { return g_heldJob->go; });
}

void EndingJob(void* jobText) {
  std::lock_guard lock(g_heldJob->mutex);
  g_heldJob->text = static_cast<const char*>(jobText);
  ++g_heldJob->runs;
}

// Runs on another thread, as the worker and the listener do, while this thread keeps Qt's loop going.
template <typename Body>
void FromAnotherThread(Body body) {
  std::atomic<bool> done{false};
  std::thread thread([&] {
    body();
    done = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
  thread.join();
}

}  // namespace

class DialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QtMessagePump> pump_;
  std::unique_ptr<FakePrompts> prompts_;
  std::unique_ptr<CFrameloomDlg> dlg_;
  HeldJob heldJob_;

  QPushButton* Button(int id) const { return static_cast<QPushButton*>(dlg_->GetDlgItem(id)); }
  QString Status() const { return static_cast<QLabel*>(dlg_->GetDlgItem(IDC_STATUS))->text(); }
  QString Box(int id) const { return static_cast<QLineEdit*>(dlg_->GetDlgItem(id))->text(); }
  QProgressBar* Bar() const { return static_cast<QProgressBar*>(dlg_->GetDlgItem(IDC_PROGRESS)); }

  // "open:PATH" or "save:PATH" confirms PATH in that file dialog; "open" or "save" alone cancels it.
  void Run(const QStringList& steps) {
    for (const QString& step : steps) {
      const qsizetype colon = step.indexOf(QLatin1Char(':'));
      const QString button = colon < 0 ? step : step.left(colon);
      prompts_->Answer(colon < 0 ? QString() : step.mid(colon + 1));
      if (button == QLatin1String("open")) {
        dlg_->OnOpen();
      } else {
        dlg_->OnSave();
      }
    }
  }

  void MakeDialog(JobEntry entry) {
    dlg_ = std::make_unique<CFrameloomDlg>(*prompts_, entry);
    dlg_->OnInitDialog();
    dlg_->show();
  }

 private slots:
  void initTestCase() { pump_ = std::make_unique<QtMessagePump>(); }
  void cleanupTestCase() { pump_.reset(); }

  void init() {
    heldJob_.go = false;
    heldJob_.text.clear();
    heldJob_.runs = 0;
    g_heldJob = &heldJob_;
    prompts_ = std::make_unique<FakePrompts>();
    MakeDialog(EndingJob);
  }
  void cleanup() {
    dlg_.reset();
    prompts_.reset();
  }

  void stateTable_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("save");
    QTest::addColumn<bool>("start");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("sourceBox");
    QTest::addColumn<QString>("targetBox");
    QTest::addColumn<QStringList>("messages");

    const QStringList none;
    QTest::newRow("initialised") << none << true << false << false << kChooseSource << QString() << QString() << none;
    QTest::newRow("source kept as chosen, upper case accepted")
        << QStringList{"open:/d/Video/CLIP.AVI"} << true << true << false << kChooseTarget
        << QString("/d/Video/CLIP.AVI") << QString() << none;
    for (const char* type : {"mov", "mp4", "asf", "wmv", "3gp"}) {
      const QString path = QStringLiteral("/v/clip.") + QLatin1String(type);
      QTest::newRow(type) << QStringList{"open:" + path} << true << true << false << kChooseTarget << path
                          << QString() << none;
    }
    QTest::newRow("source refused by its last four characters")
        << QStringList{"open:/d/movie.mpeg"} << true << false << false << kChooseSource << QString() << QString()
        << QStringList{"mpeg" + kSourceRefusal};
    QTest::newRow("source with a further extension refused")
        << QStringList{"open:/d/clip.avi.txt"} << true << false << false << kChooseSource << QString() << QString()
        << QStringList{".txt" + kSourceRefusal};
    QTest::newRow("path shorter than four characters compared whole")
        << QStringList{"open:/aV"} << true << false << false << kChooseSource << QString() << QString()
        << QStringList{"/av" + kSourceRefusal};
    QTest::newRow("last four are characters, not bytes")
        << QStringList{"open:/片子/夏天的片子"} << true << false << false << kChooseSource << QString() << QString()
        << QStringList{"天的片子" + kSourceRefusal};
    QTest::newRow("target after source")
        << QStringList{"open:/v/a.avi", "save:/v/a.mox"} << true << true << true << kClickOkToStart
        << QString("/v/a.avi") << QString("/v/a.mox") << none;
    QTest::newRow("target in upper case accepted")
        << QStringList{"open:/v/a.avi", "save:/v/CLIP.MOX"} << true << true << true << kClickOkToStart
        << QString("/v/a.avi") << QString("/v/CLIP.MOX") << none;
    QTest::newRow("target refused")
        << QStringList{"open:/v/a.avi", "save:/v/clip.mox.bak"} << true << true << false << kChooseTarget
        << QString("/v/a.avi") << QString() << QStringList{kTargetRefusal};
    QTest::newRow("refused source keeps save and start")
        << QStringList{"open:/v/a.avi", "save:/v/a.mox", "open:/v/b.txt"} << true << true << true
        << kClickOkToStart << QString() << QString("/v/a.mox") << QStringList{".txt" + kSourceRefusal};
    QTest::newRow("target without a source")
        << QStringList{"open:/v/a.avi", "open:/v/b.txt", "save:/v/a.mox"} << true << true << true
        << kChooseSourceFile << QString() << QString("/v/a.mox") << QStringList{".txt" + kSourceRefusal};
    QTest::newRow("new source with a target set")
        << QStringList{"open:/v/a.avi", "save:/v/a.mox", "open:/v/b.mov"} << true << true << true << kClickOk
        << QString("/v/b.mov") << QString("/v/a.mox") << none;
    QTest::newRow("open cancelled")
        << QStringList{"open:/v/a.avi", "open"} << true << true << false << kChooseTarget << QString("/v/a.avi") << QString()
        << none;
    QTest::newRow("save cancelled")
        << QStringList{"open:/v/a.avi", "save:/v/a.mox", "save"} << true << true << true << kClickOkToStart
        << QString("/v/a.avi") << QString("/v/a.mox") << none;
  }

  void stateTable() {
    QFETCH(QStringList, steps);
    QFETCH(bool, open);
    QFETCH(bool, save);
    QFETCH(bool, start);
    QFETCH(QString, status);
    QFETCH(QString, sourceBox);
    QFETCH(QString, targetBox);
    QFETCH(QStringList, messages);
    Run(steps);
    QCOMPARE(Button(IDC_OPEN)->isEnabled(), open);
    QCOMPARE(Button(IDC_SAVE)->isEnabled(), save);
    QCOMPARE(Button(IDOK)->isEnabled(), start);
    QCOMPARE(Status(), status);
    QCOMPARE(Box(IDC_SOURCE), sourceBox);
    QCOMPARE(Box(IDC_TARGET), targetBox);
    QCOMPARE(prompts_->messages, messages);
  }

  void fileDialogRequests() {
    Run({"open", "open:/my.films/clip.part1.avi", "save"});
    QCOMPARE(prompts_->requests.size(), std::size_t{3});
    const FileDialogRequest& open = prompts_->requests[0];
    QVERIFY(open.mode == FileDialogRequest::Mode::Open);
    QCOMPARE(QString::fromUtf8(open.filters),
             QStringLiteral("AVI file (*.avi)|*.avi|MOV file (*.mov)|*.mov|MP4 file (*.mp4)|*.mp4|"
                            "ASF file (*.asf)|*.asf|WMV file (*.wmv)|*.wmv|3GP file (*.3gp)|*.3gp|"
                            "All file(*.*)|*.*||"));
    QVERIFY(open.defaultSuffix.isEmpty() && open.initialFileName.isEmpty());
    const FileDialogRequest& save = prompts_->requests[2];
    QVERIFY(save.mode == FileDialogRequest::Mode::Save);
    QCOMPARE(QString::fromUtf8(save.filters), QStringLiteral("mox file (*.mox)|*.mox|All file(*.*)|*.*||"));
    QCOMPARE(save.defaultSuffix, QStringLiteral("mox"));
    QCOMPARE(save.initialFileName, QStringLiteral("clip.mox"));
  }

  void suggestedTargetName_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("suggested");
    QTest::newRow("name before its extension") << QStringList{"open:/d/clips/holiday.avi"} << QString("holiday.mox");
    QTest::newRow("cut before the first dot of the name, not of the folder")
        << QStringList{"open:/my.films/clip.part1.avi"} << QString("clip.mox");
    QTest::newRow("no source") << QStringList{} << QString(".mox");
    QTest::newRow("refused source leaves none") << QStringList{"open:/d/a.avi", "open:/d/b.txt"} << QString(".mox");
  }
  void suggestedTargetName() {
    QFETCH(QStringList, steps);
    QFETCH(QString, suggested);
    Run(steps);
    Run({"save"});
    QCOMPARE(prompts_->requests.back().initialFileName, suggested);
  }

  void qtFilters() {
    QCOMPARE(ToQtFilters("AVI file (*.avi)|*.avi|3GP file (*.3gp)|*.3gp|All file(*.*)|*.*||"),
             (QStringList{"AVI file (*.avi)", "3GP file (*.3gp)", "All file(*.*) (*)"}));
    QCOMPARE(ToQtFilters("mox file (*.mox)|*.mox|All file(*.*)|*.*||"),
             (QStringList{"mox file (*.mox)", "All file(*.*) (*)"}));
  }

  // The folder of the file confirmed last becomes the current directory, whatever the extension.
  void confirmedFolderBecomesCurrent() {
    const QString before = QDir::currentPath();
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("videos") && QDir(root.path()).mkpath("out"));
    const QString videos = QDir(root.path() + "/videos").canonicalPath();
    const QString out = QDir(root.path() + "/out").canonicalPath();
    Run({"open:" + videos + "/clip.txt"});
    QCOMPARE(QDir::currentPath(), videos);
    Run({"save:" + out + "/clip.mox", "open"});
    QCOMPARE(QDir::currentPath(), out);
    QDir::setCurrent(before);
  }

  void initialisationRecordsStartDirectory() {
    QTemporaryDir root;
    const QString start = QDir(root.path()).canonicalPath();
    const QString before = QDir::currentPath();
    QDir::setCurrent(start);
    g_startDirectory = "stale";
    MakeDialog(EndingJob);
    QDir::setCurrent(before);
    QCOMPARE(QString::fromStdString(g_startDirectory), start);
    QCOMPARE(dlg_->windowTitle(), QStringLiteral("Frameloom"));
    QVERIFY(FindWindowByCaption("Frameloom") != 0);
  }

  void aboutEntryInSystemMenu() {
    const QList<QAction*> actions = dlg_->SystemMenu()->actions();
    QCOMPARE(actions.size(), 2);
    QVERIFY(actions[0]->isSeparator());
    QCOMPARE(actions[1]->text(), QStringLiteral("关于 Frameloom(&A)..."));
  }

  void stageTexts_data() {
    QTest::addColumn<int>("stage");
    QTest::addColumn<QString>("status");
    QTest::newRow("0") << 0 << QString("1. Make avi...");
    QTest::newRow("1") << 1 << QString("2. Make MP3...");
    QTest::newRow("2") << 2 << QString("3. Make jpeg...");
    QTest::newRow("3") << 3 << QString("4. Make mox...");
    QTest::newRow("4") << 4 << QString("5. Make complete");
    QTest::newRow("5 leaves the status") << 5 << kChooseSource;
    QTest::newRow("far above leaves the status") << 1000 << kChooseSource;
  }
  void stageTexts() {
    QFETCH(int, stage);
    QFETCH(QString, status);
    // Posted and sent, as the worker does, from another thread.
    FromAnotherThread([&] {
      const WindowHandle window = FindWindowByCaption("Frameloom");
      PostMessage(window, WM_CONVERT_STAGE, stage, 0);
      SendMessage(window, WM_CONVERT_STAGE, stage, 0);
    });
    QCOMPARE(Status(), status);
  }

  void progressBar_data() {
    struct Message {
      UINT message;
      WPARAM wParam;
      LPARAM lParam;
    };
    QTest::addColumn<QVariantList>("messages");  // triples of message, wParam, lParam
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("position");
    auto row = [](const char* name, std::initializer_list<Message> messages, int maximum, int position) {
      QVariantList list;
      for (const Message& m : messages) {
        list << QVariant::fromValue(m.message) << QVariant::fromValue(qulonglong(m.wParam))
             << QVariant::fromValue(qlonglong(m.lParam));
      }
      QTest::newRow(name) << list << maximum << position;
    };
    row("as initialised", {}, 100, 0);
    row("range", {{PBM_SETRANGE, 0, LPARAM(500) << 16}}, 500, 0);
    row("range maximum as an unsigned word", {{PBM_SETRANGE, 0, LPARAM(65535) << 16}}, 65535, 0);
    row("only the low word of a larger maximum", {{PBM_SETRANGE, 0, LPARAM(70000 & 0xFFFF) << 16}}, 4464, 0);
    row("position", {{PBM_SETPOS, 42, 0}}, 100, 42);
    row("position held within the range", {{PBM_SETPOS, 150, 0}}, 100, 100);
    row("steps", {{PBM_SETRANGE, 0, LPARAM(3) << 16}, {PBM_DELTAPOS, 1, 0}, {PBM_DELTAPOS, 1, 0}}, 3, 2);
    row("steps stop at the maximum",
        {{PBM_SETRANGE, 0, LPARAM(3) << 16}, {PBM_SETPOS, 3, 0}, {PBM_DELTAPOS, 1, 0}}, 3, 3);
  }
  void progressBar() {
    QFETCH(QVariantList, messages);
    QFETCH(int, maximum);
    QFETCH(int, position);
    FromAnotherThread([&] {
      for (qsizetype i = 0; i + 2 < messages.size(); i += 3) {
        g_progressBar.Send(messages[i].toUInt(), messages[i + 1].toULongLong(), messages[i + 2].toLongLong());
      }
    });
    QCOMPARE(Bar()->minimum(), 0);
    QCOMPARE(Bar()->maximum(), maximum);
    QCOMPARE(Bar()->value(), position);
  }

  // While the worker runs: the buttons are off, Tab, Enter and Escape do nothing, the job text is
  // target, tab, source. Afterwards only Open is on again, and Escape ends the dialog.
  void runningJob() {
    MakeDialog(HoldingJob);
    Run({"open:/v/clip.avi", "save:/out/clip.mox"});
    QWidget* source = dlg_->GetDlgItem(IDC_SOURCE);
    QApplication::setActiveWindow(dlg_.get());
    source->setFocus();
    bool checkedWhileRunning = false;
    QTimer::singleShot(0, this, [&] {
      const auto release = qScopeGuard([&] { heldJob_.Release(); });
      QVERIFY(dlg_->IsConverting());
      QVERIFY(!Button(IDOK)->isEnabled() && !Button(IDC_SAVE)->isEnabled() && !Button(IDC_OPEN)->isEnabled());
      QCOMPARE(QApplication::focusWidget(), source);
      for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Tab, Qt::Key_Backtab}) {
        QTest::keyClick(dlg_.get(), key);
        QTest::keyClick(source, key);
      }
      QCoreApplication::processEvents();
      QVERIFY(dlg_->isVisible());
      QCOMPARE(QApplication::focusWidget(), source);
      checkedWhileRunning = true;
    });
    dlg_->OnOK();
    QVERIFY(checkedWhileRunning);
    QCOMPARE(heldJob_.text, std::string("/out/clip.mox\t/v/clip.avi"));
    QVERIFY(!dlg_->IsConverting());
    QVERIFY(Button(IDC_OPEN)->isEnabled());
    QVERIFY(!Button(IDC_SAVE)->isEnabled() && !Button(IDOK)->isEnabled());
    QCOMPARE(Status(), kClickOkToStart);  // the job announced nothing

    // A second job needs the target confirmed again.
    Run({"open:/v/next.avi"});
    QCOMPARE(Status(), kClickOk);
    QVERIFY(!Button(IDOK)->isEnabled());

    QTest::keyClick(dlg_.get(), Qt::Key_Escape);
    QVERIFY(!dlg_->isVisible());
    QCOMPARE(dlg_->result(), int(QDialog::Rejected));
  }

  // Paths of the longest kind must not overrun the job text: such a job is refused and never starts.
  void jobTextThatDoesNotFit() {
    const QString folder = "/" + QString(PATH_MAX, QLatin1Char('f'));
    Run({"open:" + folder + "/a.avi", "save:" + folder + "/a.mox"});
    dlg_->OnOK();
    QCOMPARE(heldJob_.runs, 0);
    QCOMPARE(prompts_->messages.size(), 1);
    QVERIFY(Button(IDC_OPEN)->isEnabled() && !Button(IDOK)->isEnabled());
  }

  void closeRequest() {
    // A close request while a job runs waits for the job to stop, answering the interface meanwhile,
    // and then ends the dialog; this job ends by itself a little later.
    MakeDialog(HoldingJob);
    Run({"open:/v/clip.avi", "save:/out/clip.mox"});
    QTimer::singleShot(0, this, [&] {
      QTimer::singleShot(50, this, [&] { heldJob_.Release(); });
      dlg_->close();
      QVERIFY(!dlg_->isVisible());
    });
    dlg_->OnOK();
    QCOMPARE(dlg_->result(), int(QDialog::Rejected));
    QCOMPARE(heldJob_.runs, 1);
    QCOMPARE(g_cancelRequested.load(), 1);

    // Without a job the dialog simply ends.
    MakeDialog(EndingJob);
    dlg_->close();
    QVERIFY(!dlg_->isVisible());
    QCOMPARE(dlg_->result(), int(QDialog::Rejected));
  }
};

QTEST_MAIN(DialogTest)
#include "dialog_test.moc"
