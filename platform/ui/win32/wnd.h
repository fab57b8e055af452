#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <unordered_map>

namespace deckwright {

// A window of ours: the handle plus a message map. The object is attached to its handle at
// WM_NCCREATE (or WM_INITDIALOG for dialogs) and found again with FromHandle. Controls of the
// system classes are CWnd too (created with CreateControl) so that their parent can hand them
// the notifications they draw themselves from (WM_DRAWITEM).
class CWnd {
  public:
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
    using CommandHandler = std::function<void()>;

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
    // Creates a child of a system class (button, toolbar, ...); no message map runs for it.
    bool CreateControl(const wchar_t* className, const std::string& text, DWORD style,
                       DWORD exStyle, const RECT& rect, HWND parent, UINT id);
    void DestroyWindow();

    // The message map: later entries for the same message or command replace earlier ones.
    void OnMessage(UINT message, MessageHandler handler);
    void OnCommand(UINT id, CommandHandler handler);

    // Runs the command if this object's map has it. Frames route further (view, frame, app).
    virtual bool OnCmdMsg(UINT id, int code);

    // Window operations used by the program.
    void MoveWindow(int x, int y, int width, int height, bool repaint = true);
    void ShowWindow(int show) { ::ShowWindow(m_hWnd, show); }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
    void SetFocus() { ::SetFocus(m_hWnd); }
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    RECT GetWindowRect() const;
    RECT GetClientRect() const;
    LRESULT SendMessage(UINT message, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::SendMessageW(m_hWnd, message, wp, lp);
    }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

    // Registers (once) a window class whose procedure is ours; returns its name.
    static const wchar_t* RegisterWndClass(UINT style, HCURSOR cursor = nullptr,
                                           HBRUSH background = nullptr, HICON icon = nullptr);

    // The common window procedure and the dispatch it runs (public for the dialog procedure).
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp);
    // True when this object handled the message; *result is then its answer.
    virtual bool Dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT* result);

  protected:
    // Lets a class change the creation record before the window is made.
    virtual bool PreCreateWindow(CREATESTRUCTW& cs);
    // Called for the control's own notification that its parent received (WM_DRAWITEM).
    virtual bool OnChildNotify(UINT message, WPARAM wp, LPARAM lp, LRESULT* result);
    // After the last message of the window; frames delete themselves here.
    virtual void PostNcDestroy() {}
    void Attach(HWND hwnd);
    void DetachFromHandle();

    // Set while CreateEx runs: tells it that the window died in its creation (the object may
    // then be deleted already).
    bool* m_pbDeleted = nullptr;

  private:
    std::unordered_map<UINT, MessageHandler> messages_;
    std::unordered_map<UINT, CommandHandler> commands_;
};

// The module that holds the program's resources (the executable itself).
HINSTANCE AfxGetResourceHandle();
// A string of the string table, as UTF-8; empty when it does not exist.
std::string LoadResString(UINT id);

}  // namespace deckwright
