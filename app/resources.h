#pragma once

// The program's own resources: strings of the string table and the application icon.

#include <QIcon>
#include <QString>

// The string table's entry, or an empty string when there is none.
QString LoadString(int id);
// IDR_MAINFRAME with its 32 × 32 and 16 × 16 images.
QIcon ApplicationIcon();
