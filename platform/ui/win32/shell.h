#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace deckwright {

// Message box with UTF-8 texts (MessageBoxW at the boundary).
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

// Asks the shell to open a file or folder. Tests replace the call so that nothing is launched.
using ShellOpenFunction =
    std::function<void(HWND owner, const std::string& verb, const std::string& file, int show)>;
void ShellOpen(HWND owner, const std::string& verb, const std::string& file, int show);
// Installs a replacement (empty: the real shell again) and returns the one before.
ShellOpenFunction SetShellOpenFunction(ShellOpenFunction function);

// The folder of the running program, with a trailing backslash.
std::string ProgramFolder();

}  // namespace deckwright
