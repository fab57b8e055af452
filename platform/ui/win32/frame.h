#pragma once

#include <windows.h>

#include <string>

#include "platform/ui/wnd.h"

namespace deckwright {

// Adds the document's title to the caption (class library style bit; never a window style).
constexpr DWORD FWS_ADDTOTITLE = 0x00008000;

// A main frame: menu, accelerators, title from one resource id; lays out its bars (rebar at the
// top, status bar at the bottom) and the pane window (AFX_IDW_PANE_FIRST) between them; shows
// command prompts in the status bar; routes commands to the pane, itself, then the application.
class CFrameWnd : public CWnd {
  public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Creates the window with the menu, accelerators and title of resource id. On false the
    // window does not exist, and an auto-deleting frame has deleted itself.
    bool LoadFrame(UINT id, DWORD style, CWnd* parent);

    bool OnCmdMsg(UINT id, int code) override;
    bool Dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT* result) override;
    // Runs accelerators of the frame before a message is dispatched.
    virtual bool PreTranslateMessage(MSG& msg);
    // Called between messages: status-bar indicators.
    virtual void OnIdleUpdate();

    // The message pane of the status bar (AFX_IDW_STATUS_BAR), if any.
    void SetMessageText(const std::string& text);
    std::string GetMessageText() const;
    HACCEL GetAccelerators() const { return accelerators_; }

    // Deleted when its window is destroyed (true for frames made with new, the default).
    bool m_bAutoDelete = true;

  protected:
    bool PreCreateWindow(CREATESTRUCTW& cs) override;
    void PostNcDestroy() override;
    // Places bars and pane; derived frames call the base first in their own size handler.
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnSetFocus(HWND lost);
    // The close request (close box, Exit); the default destroys the window.
    virtual void OnClose();
    void RecalcLayout();
    // The status-bar prompt of a command: text before "\n" of its string.
    std::string GetPrompt(UINT id) const;
    // The tooltip of a command: text after "\n" of its string.
    std::string GetTooltip(UINT id) const;

  private:
    void OnMenuSelect(UINT item, UINT flags, LPARAM menu);
    // Tooltips and fly-by prompts of the toolbar; true when the notification was one of those.
    bool OnBarNotify(NMHDR* header);
    HACCEL accelerators_ = nullptr;
    std::wstring tooltip_;  // the buffer handed to the tooltip control
};

}  // namespace deckwright
