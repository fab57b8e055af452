#pragma once

#include <windows.h>

#include <string>

#include "platform/ui/win32/wnd.h"

namespace deckwright {

// The main frame's client window (id AFX_IDW_PANE_FIRST). It gets every command before the
// frame, the frame's client size on every resize, and the keyboard focus.
class CWizardView : public CWnd {
  public:
    CWizardView();
    ~CWizardView() override;

    // Child-window creation with the platform's arguments; the frame passes no class and no
    // title, WS_CHILD | WS_VISIBLE | WS_BORDER, an empty rectangle, itself and 0xE900.
    virtual bool Create(const wchar_t* className, const std::string& windowName, DWORD style,
                        const RECT& rect, CWnd& parent, UINT id, void* context);

    // Places the panel's controls from the frame's client width and height.
    void LayoutControls(int cx, int cy);
    // What the last layout was given (0, 0 before the first).
    SIZE GetLayoutSize() const { return m_sizeLayout; }

    // A repair or save run is working on the panel's queues: closing must wait.
    void SetRunInProgress(bool running) { m_bRunInProgress = running; }
    bool IsRunInProgress() const { return m_bRunInProgress; }
    // Asked before the frame closes; while a run is in progress it says so and refuses, so
    // that a worker can never reach a destroyed panel.
    bool CanClose();

  protected:
    bool PreCreateWindow(CREATESTRUCTW& cs) override;

  private:
    SIZE m_sizeLayout{0, 0};
    bool m_bRunInProgress = false;
};

}  // namespace deckwright
