// The real Deckwright.exe as a user starts it: its window comes up in the normal state even
// when the starter asks for a minimized one, and it ends cleanly when closed. (Wine does not
// hand the starter's show state to the first ShowWindow, so there only the start and the clean
// end are at stake; on Windows the normal state is too.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/utf.h"
#include "platform/ui/shell.h"

namespace deckwright {
namespace {

HWND FindProgramWindow(DWORD processId) {
    struct Search {
        DWORD pid;
        HWND found;
    } search{processId, nullptr};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            wchar_t title[64] = {};
            ::GetWindowTextW(hwnd, title, 64);
            if (pid == s->pid && std::wstring(title) == L"Velmora Deckwright Version 5.0.1") {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(Program, StartsInTheNormalStateAndEndsWhenClosed) {
    // The build puts Deckwright.exe two folders above this test program (tests/gui/).
    const std::wstring exe = Widen(ProgramFolder()) + L"..\\..\\Deckwright.exe";
    if (::GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "Deckwright.exe is not built beside the tests";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + exe + L"\"";
    ASSERT_TRUE(::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &process));
    ::WaitForInputIdle(process.hProcess, 30000);  // its message loop has started
    HWND hwnd = nullptr;
    for (int i = 0; i < 300 && !hwnd; ++i) {  // up to 30 s on a slow, busy machine
        hwnd = FindProgramWindow(process.dwProcessId);
        if (!hwnd) ::Sleep(100);
    }
    EXPECT_NE(hwnd, nullptr);
    if (hwnd) {
        EXPECT_TRUE(::IsWindowVisible(hwnd));
        EXPECT_FALSE(::IsIconic(hwnd));
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    } else {
        ::TerminateProcess(process.hProcess, 99);
    }
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
}

}  // namespace
}  // namespace deckwright
