#include "app/repair_app.h"

#include <objbase.h>
#include <shellapi.h>

#include "app/main_frame.h"
#include "dialogs/about_dlg.h"
#include "platform/os_file.h"
#include "platform/ui/shell.h"
#include "platform/utf.h"
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
    // Files named on the command line ("Open with", a drop on the program's icon) are listed
    // as if chosen with Add File.
    const std::vector<std::string> files = CommandLineFiles();
    if (!files.empty()) frame->Panel().OnDropFiles(files);
    return true;
}

std::vector<std::string> CRepairApp::CommandLineFiles() {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> files;
    for (int i = 1; arguments && i < count; ++i) files.push_back(FullPathOf(Narrow(arguments[i])));
    ::LocalFree(arguments);
    return files;
}

void CRepairApp::OnAppAbout() {
    CAboutDlg about;
    about.DoModal();
}

}  // namespace deckwright
