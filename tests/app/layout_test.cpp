// The dialogs are laid out from their templates in the dialog font's units, their texts fit their
// controls, and a picture of each is left beside the test for a person to look at.

#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/about_dlg.h"
#include "app/dialog_template.h"
#include "app/frameloom_dlg.h"
#include "app/qt_message_pump.h"
#include "fake_prompts.h"
#include "res/dialogs.h"

namespace {

void NoJob(void*) {}

// The pixel rectangle of a template rectangle, worked out from the font's own metrics.
QRect ExpectedRect(const QFont& font, int x, int y, int cx, int cy) {
  const QFontMetrics metrics(font);
  const double letters = metrics.horizontalAdvance(
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  const int baseX = qRound(letters / 52);
  const int baseY = metrics.height();
  auto px = [&](int units) { return qRound(units * baseX / 4.0); };
  auto py = [&](int units) { return qRound(units * baseY / 8.0); };
  return QRect(px(x), py(y), px(cx), py(cy));
}

}  // namespace

class LayoutTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QtMessagePump> pump_;
  FakePrompts prompts_;

  // Geometry, tab order and fit of every control of a dialog built from this template.
  void CheckLayout(QDialog& dialog, const DialogTemplate& dialogTemplate, const QString& picture) {
    const QFont font = dialog.font();
    QVERIFY2(QFontDatabase::families(QFontDatabase::SimplifiedChinese).contains(QFontInfo(font).family()),
             qPrintable(QFontInfo(font).family()));
    QCOMPARE(QFontInfo(font).pointSize(), dialogTemplate.fontPointSize);
    QCOMPARE(dialog.size(), ExpectedRect(font, 0, 0, dialogTemplate.cx, dialogTemplate.cy).size());

    const QList<QWidget*> children = dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QList<QWidget*> controls;
    for (QWidget* child : children) {
      if (child->property("controlId").isValid()) controls.append(child);
    }
    QCOMPARE(controls.size(), qsizetype(dialogTemplate.controls.size()));
    QList<QWidget*> tabStops;
    for (qsizetype i = 0; i < controls.size(); ++i) {
      const ControlTemplate& control = dialogTemplate.controls[i];
      QWidget* widget = controls[i];
      QCOMPARE(widget->property("controlId").toInt(), control.id);
      const QRect expected = ExpectedRect(font, control.x, control.y, control.cx, control.cy);
      if (control.kind == ControlKind::Icon) {
        QCOMPARE(widget->pos(), expected.topLeft());
      } else {
        QCOMPARE(widget->geometry(), expected);
      }
      if (control.styles & ControlStyle::kTabStop) tabStops.append(widget);

      // The text fits: one line where the control is one line high, wrapped lines otherwise.
      if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
        const int frame = 2 * label->frameWidth();
        QVERIFY2(label->heightForWidth(label->width()) <= label->height() ||
                     QFontMetrics(font).horizontalAdvance(label->text()) + frame <= label->width(),
                 qPrintable(label->text()));
      }
      if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QVERIFY2(QFontMetrics(font).horizontalAdvance(button->text()) < button->width(),
                 qPrintable(button->text()));
        QVERIFY(QFontMetrics(font).height() < button->height());
      }
    }
    // Tab order is template order.
    for (qsizetype i = 0; i + 1 < tabStops.size(); ++i) {
      QWidget* next = tabStops[i]->nextInFocusChain();
      while (next->focusPolicy() != Qt::StrongFocus && next->focusPolicy() != Qt::TabFocus) {
        next = next->nextInFocusChain();
      }
      QCOMPARE(next, tabStops[i + 1]);
    }
    const QImage image = dialog.grab().toImage();
    QVERIFY(image.save(picture));
  }

 private slots:
  void initTestCase() { pump_ = std::make_unique<QtMessagePump>(); }
  void cleanupTestCase() { pump_.reset(); }

  void dialogUnits_data() {
    QTest::addColumn<int>("baseX");
    QTest::addColumn<int>("baseY");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("pixelsX");
    QTest::addColumn<int>("pixelsY");
    // The Song face's classic units at 96 dots per inch are 6 and 12.
    QTest::newRow("whole") << 6 << 12 << 50 << 14 << 75 << 21;
    QTest::newRow("halves round up") << 6 << 12 << 365 << 9 << 548 << 14;
    QTest::newRow("below a half rounds down") << 7 << 13 << 1 << 3 << 2 << 5;
    QTest::newRow("zero") << 6 << 12 << 0 << 0 << 0 << 0;
  }
  void dialogUnits() {
    QFETCH(int, baseX);
    QFETCH(int, baseY);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, pixelsX);
    QFETCH(int, pixelsY);
    const DialogUnits units{baseX, baseY};
    QCOMPARE(units.ToPixelsX(x), pixelsX);
    QCOMPARE(units.ToPixelsY(y), pixelsY);
  }

  void mainDialog() {
    CFrameloomDlg dlg(prompts_, NoJob);
    dlg.OnInitDialog();
    dlg.SetStatusText(QStringLiteral("请选目标文件(*.mox)"));
    static_cast<QLineEdit*>(dlg.GetDlgItem(IDC_SOURCE))->setText(QStringLiteral("/home/用户/视频/假期.avi"));
    dlg.show();
    CheckLayout(dlg, kMainDialogTemplate, QStringLiteral("main_dialog.png"));
  }

  void aboutBox() {
    QDialog owner;
    CAboutDlg about(&owner);
    about.show();
    CheckLayout(about, kAboutDialogTemplate, QStringLiteral("about_box.png"));
  }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
