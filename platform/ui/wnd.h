#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "platform/ui/win_types.h"

namespace deckwright {

// A window of ours: the handle plus a message map. The object is attached to its handle at
// WM_NCCREATE (or WM_INITDIALOG for dialogs) and found again with FromHandle. Controls of the
// system classes are CWnd too (created with CreateControl), so that their parent can hand them
// the notifications that are theirs (WM_DRAWITEM, WM_NOTIFY, WM_COMMAND with a code).
//
// One declaration, two implementations: platform/ui/win32 over Win32, platform/ui/headless in
// memory for native tests.
class CWnd {
  public:
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
    using CommandHandler = std::function<void()>;
    using NotifyHandler = std::function<LRESULT(NMHDR*)>;

    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    static CWnd* FromHandle(HWND hwnd);

    // Creates a window of a class registered with RegisterWndClass (or of the default class
    // when cs.lpszClass is null). PreCreateWindow may adjust the record first.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const std::string& title, DWORD style,
                  const RECT& rect, HWND parent, UINT_PTR idOrMenu);
    // Creates a child of a system class (button, list view, ...); no message map runs for it.
    bool CreateControl(const wchar_t* className, const std::string& text, DWORD style,
                       DWORD exStyle, const RECT& rect, HWND parent, UINT id);
    void DestroyWindow();

    // The message map: at most one handler per message, per command and per notification.
    // Registering a second one is a programming error: it is refused (and asserted), never
    // silently replacing the first. What the toolkit itself relies on (tooltips, notifications
    // handed to controls, drawing of owner-drawn controls) is not in the map and cannot be
    // displaced by it.
    void OnMessage(UINT message, MessageHandler handler);
    // Menu, accelerator and button-click commands (notification code 0 or 1).
    void OnCommand(UINT id, CommandHandler handler);
    // WM_NOTIFY from the child control id with code.
    void OnNotify(UINT id, UINT code, NotifyHandler handler);

    // Runs the command if this object's map has it. Frames route further (view, frame, app).
    virtual bool OnCmdMsg(UINT id, int code);

    // Window operations used by the program.
    void MoveWindow(int x, int y, int width, int height, bool repaint = true);
    void ShowWindow(int show);
    bool IsWindowVisible() const;
    void SetFocus();
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    RECT GetWindowRect() const;
    RECT GetClientRect() const;
    // The dots per inch of the screen the window is on (96 at 100% scaling), and a size given
    // at 96 DPI scaled to it, rounded as MulDiv rounds.
    UINT GetDpi() const;
    int Scale(int pixelsAt96) const;
    // Repaints at once as flags say (RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW: all of it,
    // background first, before returning).
    void RedrawWindow(UINT flags);
    // Runs the message on the window's own thread and returns its result; from another thread
    // it waits until that thread has handled it. 0 when the window is gone.
    LRESULT SendMessage(UINT message, WPARAM wp = 0, LPARAM lp = 0) const;
    bool PostMessage(UINT message, WPARAM wp = 0, LPARAM lp = 0) const;
    HWND GetDlgItem(int id) const;

    // Registers (once) a window class whose procedure is ours; returns its name.
    static const wchar_t* RegisterWndClass(UINT style, HCURSOR cursor = nullptr,
                                           HBRUSH background = nullptr, HICON icon = nullptr);

    // The dispatch of one message: the toolkit's own part, then the map. True when handled;
    // *result is then the answer. Runs for windows and dialogs alike.
    virtual bool Dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT* result);

  protected:
    // Lets a class change the creation record before the window is made.
    virtual bool PreCreateWindow(CREATESTRUCTW& cs);
    // A notification its parent received that belongs to this control: WM_DRAWITEM, WM_NOTIFY
    // or WM_COMMAND with a code. True when the control handled it.
    virtual bool OnChildNotify(UINT message, WPARAM wp, LPARAM lp, LRESULT* result);
    // After the last message of the window; frames delete themselves here.
    virtual void PostNcDestroy() {}

  public:
    // For the backends' window and dialog procedures.
    void Attach(HWND hwnd);
    void DetachFromHandle();
    // The common body of every window's and dialog's procedure: Dispatch with nothing thrown
    // out; when not handled, fallback (the system's default, if any) answers; after
    // WM_NCDESTROY the object is let go. *handled tells whether Dispatch handled it.
    using DefaultProc = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
    static LRESULT RunDispatch(CWnd* self, HWND hwnd, UINT message, WPARAM wp, LPARAM lp,
                               DefaultProc fallback, bool* handled);

  protected:
    // Set while CreateEx runs: tells it that the window died in its creation (the object may
    // then be deleted already).
    bool* m_pbDeleted = nullptr;

  private:
    bool DispatchToChild(UINT message, WPARAM wp, LPARAM lp, LRESULT* result);

    std::unordered_map<UINT, MessageHandler> messages_;
    std::unordered_map<UINT, CommandHandler> commands_;
    std::unordered_map<std::uint64_t, NotifyHandler> notifications_;
};

// The module that holds the program's resources (the executable itself).
HINSTANCE AfxGetResourceHandle();
// A string of the string table, as UTF-8; empty when it does not exist.
std::string LoadResString(UINT id);

// SendMessage to a window known only by its handle, from any thread: what a worker uses.
LRESULT SendWindowMessage(HWND hwnd, UINT message, WPARAM wp = 0, LPARAM lp = 0);

// Handles what has arrived for this thread's windows, without waiting.
void PumpMessages();
// Waits until something arrives for this thread's windows, or the timeout.
void WaitForMessage(std::chrono::milliseconds timeout);
// Handles only what other threads send to this thread's windows (not what is posted), until
// done() is true: how a window waits for a worker that may be sending to it.
void PumpSentMessagesUntil(const std::function<bool()>& done);

}  // namespace deckwright
