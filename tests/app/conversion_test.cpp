// Whole conversions through the dialog with stand-in tools, and the worker's message boxes: the
// interface thread must answer the worker's and the listener's messages in every loop it runs.

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

#include "app/about_dlg.h"
#include "app/frameloom_dlg.h"
#include "app/qt_message_pump.h"
#include "app/user_prompts.h"
#include "container/output_file.h"
#include "fake_prompts.h"
#include "job/conversion_job.h"
#include "job/job_state.h"
#include "platform/message_box.h"
#include "platform/progress_bar.h"
#include "res/resource.h"

namespace {

constexpr int kFrames = 8;

void WriteScript(const QString& path, const QByteArray& body) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("#!/bin/sh\n" + body);
  file.close();
  QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// Tools that leave what the real ones leave. The video run waits for the gate file, so that the test
// can open the about box while the job is still in its first stage.
void MakeFakeTools(const QString& tools, const QString& gate) {
  QVERIFY(QDir().mkpath(tools));
  const QByteArray ppm = tools.toUtf8() + "/frame.ppm";
  {
    QFile picture(QString::fromUtf8(ppm));
    QVERIFY(picture.open(QIODevice::WriteOnly));
    QByteArray pixels("P6\n160 120\n255\n");
    for (int y = 0; y < 120; ++y) {
      for (int x = 0; x < 160; ++x) {
        pixels.append(char(x * 8 / 5));
        pixels.append(char(y * 2));
        pixels.append(char(255 - x));
      }
    }
    picture.write(pixels);
  }
  QCOMPARE(QProcess::execute("/usr/bin/cjpeg", {"-outfile", tools + "/frame.jpg", QString::fromUtf8(ppm)}), 0);
  WriteScript(tools + "/mencoder.exe",
              "out=\nwhile [ $# -gt 0 ]; do [ \"$1\" = -o ] && out=$2; shift; done\n"
              "case \"$out\" in\n"
              "  *xrftemp.avi) while [ ! -e '" + gate.toUtf8() + "' ]; do sleep 0.05; done; printf 'avi' > \"$out\" ;;\n"
              "  *) printf '\\377\\373\\220\\000sound' > \"$out\" ;;\n"
              "esac\n");
  WriteScript(tools + "/mplayer.exe",
              "mkdir -p temp\nfor i in $(seq 1 " + QByteArray::number(kFrames) + "); do\n"
              "  cp '" + tools.toUtf8() + "/frame.jpg' \"temp/$(printf %08d $i).jpg\"\ndone\n");
  WriteScript(tools + "/djpeg.exe", "exec /usr/bin/djpeg \"$@\"\n");
}

// Prompts whose message boxes are real ones; before each opens, a check is queued to run in its loop.
class BoxPrompts : public QtUserPrompts {
 public:
  std::function<void()> whileOpen;
  void ShowMessage(QWidget* owner, const QString& text) override {
    QTimer::singleShot(0, [this] { whileOpen(); });
    QtUserPrompts::ShowMessage(owner, text);
  }
};

void MessageJob(void*) { ShowMessageBox("转换失败\n"); }

// A source video and a target folder under a fresh root with stand-in tools, and a dialog on which
// both files are confirmed, the current directory at the root as the program starts in it.
struct DialogWithJob {
  QTemporaryDir root;
  QString start = QDir(root.path()).canonicalPath();
  QString source = start + "/videos/clip.avi";
  QString target = start + "/out/clip.mox";
  QString before = QDir::currentPath();
  FakePrompts prompts;
  CFrameloomDlg dlg{prompts, ConversionJob};

  // The video tool waits for the file of this name under the root.
  explicit DialogWithJob(const QString& gateName) {
    MakeFakeTools(start + "/Tools", start + "/" + gateName);
    QVERIFY(QDir(start).mkpath("videos") && QDir(start).mkpath("out"));
    QFile video(source);
    QVERIFY(video.open(QIODevice::WriteOnly));
    video.write("not really a video");
    video.close();
    QDir::setCurrent(start);
    dlg.OnInitDialog();
    dlg.show();
    prompts.Answer(source);
    dlg.OnOpen();
    prompts.Answer(target);
    dlg.OnSave();
  }
  ~DialogWithJob() { QDir::setCurrent(before); }
};

}  // namespace

class ConversionTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QtMessagePump> pump_;

 private slots:
  void initTestCase() { pump_ = std::make_unique<QtMessagePump>(); }
  void cleanupTestCase() { pump_.reset(); }

  void wholeConversionWithTheAboutBoxOpen() {
    DialogWithJob job("about-is-open");
    const QString& start = job.start;
    const QString gate = start + "/about-is-open";
    const QString& source = job.source;
    const QString& target = job.target;
    FakePrompts& prompts = job.prompts;
    CFrameloomDlg& dlg = job.dlg;
    QFile(start + "/videos/notes.txt").open(QIODevice::WriteOnly);  // the user's own file

    auto* status = static_cast<QLabel*>(dlg.GetDlgItem(IDC_STATUS));
    auto* bar = static_cast<QProgressBar*>(dlg.GetDlgItem(IDC_PROGRESS));
    QStringList statuses;
    bool aboutOpened = false;
    bool completedWithAboutOpen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      if (statuses.isEmpty() || statuses.last() != status->text()) statuses.append(status->text());
      auto* about = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget());
      if (about) {
        QFile(gate).open(QIODevice::WriteOnly);
        const bool complete = status->text() == QLatin1String("5. Make complete");
        if (complete) completedWithAboutOpen = true;
        if (complete || !prompts.messages.isEmpty()) about->accept();
      } else if (!aboutOpened && status->text() == QLatin1String("1. Make avi...")) {
        aboutOpened = true;
        QTimer::singleShot(0, &dlg, [&] { dlg.OnSysCommand(IDM_ABOUTBOX, 0); });
      }
    });
    poll.start(10);
    dlg.OnOK();
    poll.stop();
    statuses.append(status->text());
    statuses.removeDuplicates();

    QCOMPARE(prompts.messages, QStringList());
    QVERIFY(completedWithAboutOpen);
    // Sampled, so a short stage may pass unseen; what was seen came in order, and ended complete.
    const QStringList stages{"请点确开始",     "1. Make avi...", "2. Make MP3...",
                             "3. Make jpeg...", "4. Make mox...", "5. Make complete"};
    qsizetype next = 0;
    for (const QString& seen : statuses) {
      while (next < stages.size() && stages[next] != seen) ++next;
      QVERIFY2(next < stages.size(), qPrintable(statuses.join(" | ")));
    }
    QCOMPARE(statuses.last(), stages.last());
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(static_cast<QPushButton*>(dlg.GetDlgItem(IDC_OPEN))->isEnabled());
    QVERIFY(g_outputFile.load() == nullptr);

    QFile output(target);
    QVERIFY(output.open(QIODevice::ReadOnly));
    const QByteArray bytes = output.readAll();
    QVERIFY(bytes.size() > 54);
    QVERIFY(bytes.left(54) != QByteArray(54, '\0'));
    QVERIFY(bytes.endsWith("sound"));
    QVERIFY(!QFile::exists(source + "xrftemp.avi") && !QFile::exists(source + ".mp3"));
    QVERIFY(!QDir(start + "/out/temp").exists());
    QVERIFY(QFile::exists(source) && QFile::exists(start + "/videos/notes.txt"));

    // Closing after a finished conversion ends the dialog and deletes nothing.
    dlg.close();
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(QFile::exists(target));
  }

  // Closing the window while the tool of the first stage runs: the tool is killed, and the output,
  // the intermediate files and the work folder are gone once the start button's wait returns.
  void closeDuringConversion() {
    DialogWithJob job("never");  // the video tool waits until it is killed
    const QString& source = job.source;
    CFrameloomDlg& dlg = job.dlg;
    auto* status = static_cast<QLabel*>(dlg.GetDlgItem(IDC_STATUS));
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      if (status->text() == QLatin1String("1. Make avi...") && g_toolProcess.processId() != 0) {
        poll.stop();
        dlg.close();
      }
    });
    poll.start(10);
    dlg.OnOK();

    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(status->text(), QString("1. Make avi..."));
    QVERIFY(g_outputFile.load() == nullptr);
    QCOMPARE(g_toolProcess.processId(), 0);
    QVERIFY(!QFile::exists(job.target));
    QVERIFY(!QFile::exists(source + "xrftemp.avi") && !QFile::exists(source + ".mp3"));
    QVERIFY(!QDir(job.start + "/out/temp").exists());
    QVERIFY(QFile::exists(source));
    QCOMPARE(job.prompts.messages, QStringList());
  }

  // The worker's box is shown on this thread, modal, as a warning with OK under the application's
  // title, and the bar's messages sent meanwhile are answered while it is open.
  void workerMessageBox() {
    BoxPrompts prompts;
    CFrameloomDlg dlg(prompts, MessageJob);
    dlg.OnInitDialog();
    dlg.show();
    std::atomic<bool> answered{false};
    std::thread sender;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = false;
    prompts.whileOpen = [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      buttons = box->standardButtons();
      modal = box->isModal() && box->parentWidget() == &dlg;
      sender = std::thread([&] {
        g_progressBar.Send(PBM_SETPOS, 77, 0);
        answered = true;
        QMetaObject::invokeMethod(qApp, [] {
          if (auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) open->accept();
        });
      });
    };
    dlg.OnOK();
    sender.join();
    QVERIFY(answered);
    QCOMPARE(static_cast<QProgressBar*>(dlg.GetDlgItem(IDC_PROGRESS))->value(), 77);
    QCOMPARE(title, QStringLiteral("app_conversion_tests"));
    QCOMPARE(text, QStringLiteral("转换失败\n"));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(modal);
  }
};

QTEST_MAIN(ConversionTest)
#include "conversion_test.moc"
