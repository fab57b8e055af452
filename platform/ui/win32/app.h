#pragma once

#include <windows.h>

#include <string>

#include "platform/ui/wnd.h"

namespace deckwright {

class CFrameWnd;

// The application object: one per process. Owns the message loop and is the last stop of
// command routing (after the view and the frame).
class CWinApp {
  public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual bool InitInstance() { return true; }
    // Runs the message loop until WM_QUIT; returns its exit code.
    virtual int Run();
    // Between messages: the frame updates its status-bar indicators.
    virtual void OnIdle();
    virtual bool OnCmdMsg(UINT id, int code);

    // Commands the application answers, added by derived classes in their constructors.
    void OnCommand(UINT id, CWnd::CommandHandler handler);

    // Kept for the start-up sequence; nothing is stored under the key.
    void SetRegistryKey(const std::string& key) { m_strRegistryKey = key; }
    // The common controls are initialised instead; the three-dimensional look is theirs.
    void Enable3dControls();

    CFrameWnd* m_pMainWnd = nullptr;
    std::string m_strAppName;  // string 57344
    std::string m_strRegistryKey;

  protected:
    // ID_APP_EXIT: asks the main window to close.
    void OnAppExit();

  private:
    CWnd commands_;  // holds the application's command map; never gets a window
};

CWinApp* AfxGetApp();

}  // namespace deckwright
