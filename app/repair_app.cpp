#include "app/repair_app.h"

#include <objbase.h>

#include "app/main_frame.h"
#include "dialogs/about_dlg.h"
#include "platform/ui/shell.h"
#include "res/resource.h"

namespace deckwright {

CRepairApp::CRepairApp() {
    OnCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
}

bool CRepairApp::InitInstance() {
    m_strAppName = LoadResString(AFX_IDS_APP_TITLE);
    Enable3dControls();
    // The folder browser of the Settings dialog is the shell's, which wants COM here.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    SetRegistryKey("Local AppWizard-Generated Applications");
    auto* frame = new CMainFrame;
    m_pMainWnd = frame;
    if (!frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr)) {
        // The frame is gone with its window; say so rather than end without a word.
        m_pMainWnd = nullptr;
        ShowMessageBox(nullptr, "Deckwright could not create its main window.",
                       "Velmora Deckwright", MB_ICONERROR);
        return false;
    }
    // Normal state whatever show state the program was started with.
    // The first show of a process takes the starter's show state instead of ours (minimized,
    // hidden); a second one then brings the frame to its normal state.
    frame->ShowWindow(SW_SHOW);
    if (::IsIconic(frame->m_hWnd) || !frame->IsWindowVisible()) frame->ShowWindow(SW_SHOWNORMAL);
    ::UpdateWindow(frame->m_hWnd);
    return true;
}

void CRepairApp::OnAppAbout() {
    CAboutDlg about;
    about.DoModal();
}

}  // namespace deckwright
