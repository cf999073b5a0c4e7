#include "app/dialog_template.h"

#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/resources.h"

namespace {

const char* const kControlIdProperty = "controlId";

// Song faces by their Windows and their Free names, best match first.
const char* const kSongFaces[] = {"SimSun", "NSimSun", "AR PL UMing CN", "AR PL UMing TW",
                                   "AR PL UMing HK", "AR PL SungtiL GB", "Noto Serif CJK SC"};

QString SongFamily(const QString& face) {
  const QStringList families = QFontDatabase::families();
  if (families.contains(face)) return face;
  for (const char* song : kSongFaces) {
    if (families.contains(QString::fromUtf8(song))) return QString::fromUtf8(song);
  }
  const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
  return chinese.isEmpty() ? face : chinese.first();
}

// MulDiv's rounding: to the nearest, halves away from zero.
int ScaleRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

QWidget* MakeControl(const ControlTemplate& control, QWidget* parent, const DialogUnits& units) {
  using namespace ControlStyle;
  const QString text = QString::fromUtf8(control.text ? control.text : "");
  const bool border = control.styles & kBorder;
  const bool sunken = control.styles & kSunken;
  QWidget* widget = nullptr;
  switch (control.kind) {
    case ControlKind::PushButton: {
      auto* button = new QPushButton(text, parent);
      button->setDefault(control.styles & kDefaultButton);
      widget = button;
      break;
    }
    case ControlKind::Static: {
      auto* label = new QLabel(text, parent);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment((control.styles & kCentered) ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
      if (sunken) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      } else if (border) {
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
      }
      widget = label;
      break;
    }
    case ControlKind::GroupBox: {
      auto* group = new QGroupBox(text, parent);
      group->setFlat(control.styles & kFlat);
      widget = group;
      break;
    }
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(text, parent);
      edit->setReadOnly(control.styles & kReadOnly);
      edit->setFrame(border);
      widget = edit;
      break;
    }
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      widget = bar;
      break;
    }
    case ControlKind::Icon: {
      // An icon control takes the icon's own size, as the Windows one does.
      auto* label = new QLabel(parent);
      const QPixmap pixmap = ApplicationIcon().pixmap(32, 32);
      label->setPixmap(pixmap);
      label->setGeometry(units.ToPixelsX(control.x), units.ToPixelsY(control.y), pixmap.width(),
                         pixmap.height());
      widget = label;
      break;
    }
  }
  if (control.kind != ControlKind::Icon) {
    widget->setGeometry(units.ToPixels(control.x, control.y, control.cx, control.cy));
  }
  if (control.styles & kTabStop) {
    widget->setFocusPolicy(Qt::StrongFocus);
  } else if (widget->focusPolicy() != Qt::NoFocus) {
    widget->setFocusPolicy(Qt::ClickFocus);
  }
  widget->setProperty(kControlIdProperty, control.id);
  return widget;
}

}  // namespace

QFont DialogFont(const DialogTemplate& dialogTemplate) {
  QFont font(SongFamily(QString::fromUtf8(dialogTemplate.fontFace)));
  font.setPointSize(dialogTemplate.fontPointSize);
  return font;
}

DialogUnits DialogUnits::Of(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  return DialogUnits{(letters / 26 + 1) / 2, metrics.height()};
}

int DialogUnits::ToPixelsX(int units) const { return ScaleRounded(units, baseX, 4); }
int DialogUnits::ToPixelsY(int units) const { return ScaleRounded(units, baseY, 8); }

QRect DialogUnits::ToPixels(int x, int y, int cx, int cy) const {
  return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(cx), ToPixelsY(cy));
}

QWidget* DialogControls::Find(int id) const {
  for (QWidget* widget : widgets) {
    if (widget->property(kControlIdProperty).toInt() == id) return widget;
  }
  return nullptr;
}

DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate) {
  const QFont font = DialogFont(dialogTemplate);
  dialog.setFont(font);
  dialog.setWindowTitle(QString::fromUtf8(dialogTemplate.caption));
  const DialogUnits units = DialogUnits::Of(font);
  dialog.setFixedSize(units.ToPixelsX(dialogTemplate.cx), units.ToPixelsY(dialogTemplate.cy));
  DialogControls controls;
  for (const ControlTemplate& control : dialogTemplate.controls) {
    controls.widgets.push_back(MakeControl(control, &dialog, units));
  }
  return controls;
}
