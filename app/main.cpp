#include <QApplication>

#include "app/frameloom_app.h"
#include "res/dialogs.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationVersion(QString::fromLatin1(kProductVersion));
  theApp.InitInstance();
  return 0;
}
