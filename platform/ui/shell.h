#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/win_types.h"

namespace deckwright {

// A message box with UTF-8 texts; returns the button pressed (IDOK, IDYES, IDNO...). May be
// called from any thread; without an owner it blocks only the calling thread.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
// Asks the shell to open a file or folder.
void ShellOpen(HWND owner, const std::string& verb, const std::string& file, int show);

// Tests answer message boxes and record shell requests instead of showing and launching
// anything. Each setter installs a replacement (empty: the real thing again) and returns the
// one before.
using MessageBoxFunction =
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)>;
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function);
using ShellOpenFunction =
    std::function<void(HWND owner, const std::string& verb, const std::string& file, int show)>;
ShellOpenFunction SetShellOpenFunction(ShellOpenFunction function);

// The full paths of the files in a WM_DROPFILES message, in order; the drop is then released.
std::vector<std::string> DroppedFiles(WPARAM drop);

// The folder of the running program, with a trailing separator.
std::string ProgramFolder();

// What a backend provides: the real message box and shell call.
int SystemMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
void SystemShellOpen(HWND owner, const std::string& verb, const std::string& file, int show);

}  // namespace deckwright
