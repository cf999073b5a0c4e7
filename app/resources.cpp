#include "app/resources.h"

#include "res/dialogs.h"

QString LoadString(int id) {
  for (const StringResource& entry : kStringTable) {
    if (entry.id == id) return QString::fromUtf8(entry.text);
  }
  return QString();
}

QIcon ApplicationIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/frameloom/frameloom-32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/frameloom/frameloom-16.png"), QSize(16, 16));
  return icon;
}
