// The entry point of Deckwright.exe.
#include <windows.h>

#include "app/repair_app.h"

namespace {
deckwright::CRepairApp theApp;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (!theApp.InitInstance()) return 1;
    return theApp.Run();
}
