#include "app/frameloom_app.h"

#include <QApplication>

#include "app/frameloom_dlg.h"
#include "app/qt_message_pump.h"
#include "app/user_prompts.h"
#include "job/conversion_job.h"

CFrameloomApp theApp;

bool CFrameloomApp::InitInstance() {
  // The dialog's end is the application's end; hiding it under a still running job must not be.
  QApplication::setQuitOnLastWindowClosed(false);
  QtMessagePump pump;
  QtUserPrompts prompts;
  {
    CFrameloomDlg dlg(prompts, ConversionJob);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
  }
  return false;
}
