#pragma once

// Building a dialog from its template: the dialog font, dialog units and one widget per control.

#include <QFont>
#include <QRect>
#include <vector>

#include "res/dialogs.h"

class QDialog;
class QWidget;

// The template's face at its point size. The Song face the templates name is a Windows font; a Song
// or Ming face stands in for it, or failing that any face that covers Chinese.
QFont DialogFont(const DialogTemplate& dialogTemplate);

// Dialog units of one font: a horizontal unit is a quarter of the average character width (that of
// the 52 letters a-z and A-Z, rounded), a vertical unit an eighth of the character height.
struct DialogUnits {
  int baseX;  // pixels per four horizontal units
  int baseY;  // pixels per eight vertical units

  static DialogUnits Of(const QFont& font);
  int ToPixelsX(int units) const;
  int ToPixelsY(int units) const;
  QRect ToPixels(int x, int y, int cx, int cy) const;
};

// The controls made from a template, in template order.
struct DialogControls {
  std::vector<QWidget*> widgets;
  // The first control with this number, or null.
  QWidget* Find(int id) const;
};

// Gives the dialog its caption, font, fixed client size and the template's controls; an icon control
// shows the application icon. Push buttons are left unconnected.
DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate);
