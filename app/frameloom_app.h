#pragma once

// The application object: runs the main dialog as the application's one window.

class QWidget;

class CFrameloomApp {
 public:
  // Runs the main dialog modally; returns false, as there is no message loop of the application's own
  // to enter afterwards.
  bool InitInstance();

  QWidget* m_pMainWnd = nullptr;  // the main dialog while it runs
};

extern CFrameloomApp theApp;
