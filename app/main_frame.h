#pragma once

#include "dialogs/desktop_dialogs.h"
#include "panel/wizard_view.h"
#include "platform/ui/win32/bars.h"
#include "platform/ui/win32/frame.h"

namespace deckwright {

// The one top-level window: menu, toolbar in a rebar, status bar, and the panel as client.
class CMainFrame : public CFrameWnd {
  public:
    // settings_location: where the panel keeps its settings (tests give a scratch one).
    explicit CMainFrame(std::string settings_location = DefaultSettingsLocation());

    bool OnCmdMsg(UINT id, int code) override;

    CWizardView& Panel() { return m_wndView; }
    CToolBar& ToolBar() { return m_wndToolBar; }
    CStatusBar& StatusBar() { return m_wndStatusBar; }
    CReBar& ReBar() { return m_wndReBar; }

  protected:
    bool PreCreateWindow(CREATESTRUCTW& cs) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnSetFocus(HWND lost) override;
    void OnClose() override;

  private:
    int OnCreate();
    // The toolbar's picture lists for the frame's DPI.
    void ApplyToolBarDpi();
    LRESULT OnDpiChanged(const RECT& suggested);
    void OnHelpContents();

    // Before the panel, which opens them: they outlive it.
    DesktopDialogs m_dialogs;
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;
    CReBar m_wndReBar;
    CWizardView m_wndView;
    // The toolbar's pictures; it uses them for as long as the frame lives.
    CImageList m_imagesNormal;
    CImageList m_imagesHot;
};

}  // namespace deckwright
