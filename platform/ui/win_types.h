// The Win32 types, constants and macros that the window toolkit's users name: the real ones on
// Windows, an in-memory stand-in elsewhere (the headless toolkit), so that the desktop program's
// panel compiles and runs in native tests unchanged.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <commctrl.h>
#else
#include "platform/ui/headless/win_types.h"
#endif
