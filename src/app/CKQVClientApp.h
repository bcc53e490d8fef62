#pragma once

#include <memory>
#include <string>

class CKQVClientDlg;
class ChtmlbrowserDlg;

// The application object: runs the launcher modally and, when it ends with
// OK, the game window. It never runs a message loop of its own.
class CKQVClientApp {
 public:
  CKQVClientApp();
  ~CKQVClientApp();

  // Always false: the process ends when the modal windows are over.
  bool InitInstance();

  // The executable's file name without its extension.
  std::string ExeName() const;

  // The game page address chosen by the launcher, handed to the game window.
  std::string GameUrl;
  // Restart support only (no recovery, no autosave); platforms without a
  // restart manager ignore it.
  unsigned m_dwRestartManagerSupportFlags = 0;

 private:
  std::unique_ptr<CKQVClientDlg> m_splash;
  std::unique_ptr<ChtmlbrowserDlg> m_game;
  CKQVClientApp* m_previous;
};

// The current application object: the newest one alive, else the process's.
CKQVClientApp& App();

// The running launcher window, or none.
extern CKQVClientDlg* g_pSplashDlg;
