// The real Deckwright.exe as a user starts it: its window comes up in the normal state even
// when the starter asks for a minimized one, and it ends cleanly when closed. (Wine does not
// hand the starter's show state to the first ShowWindow, so there only the start and the clean
// end are at stake; on Windows the normal state is too.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/utf.h"
#include "platform/ui/shell.h"
#include "version.h"

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
            if (pid == s->pid && std::wstring(title) == Widen(DECKWRIGHT_TITLE)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The build puts Deckwright.exe two folders above this test program (tests/gui/).
std::wstring ProgramPath() {
    return Widen(ProgramFolder()) + L"..\\..\\Deckwright.exe";
}

TEST(Program, CarriesTheProjectVersionInItsVersionResource) {
    // Explorer's Properties and the installer's entry show these; they come from project().
    const std::wstring exe = ProgramPath();
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &handle);
    ASSERT_GT(size, 0u) << "no version resource in Deckwright.exe";
    std::vector<char> data(size);
    ASSERT_TRUE(::GetFileVersionInfoW(exe.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, DECKWRIGHT_VERSION);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
        wchar_t* text = nullptr;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        ASSERT_TRUE(
            ::VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &length));
        EXPECT_EQ(Narrow(text), DECKWRIGHT_VERSION) << Narrow(name);
    }
}

TEST(Program, StartsInTheNormalStateAndEndsWhenClosed) {
    const std::wstring exe = ProgramPath();
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
