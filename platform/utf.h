#pragma once

#include <string>

namespace deckwright {

// UTF-8 inside the program, UTF-16 at the Win32 boundary.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
// The absolute form of path (relative to the current folder); path itself when that fails.
std::wstring FullPath(const std::wstring& path);
// A path for the Win32 file functions: made absolute, and given the \\?\ prefix when it is too
// long for the plain form (MAX_PATH).
std::wstring WidePath(const std::string& utf8);

// The system's words for a Win32 error code, without the trailing full stop and line break.
std::string SystemMessage(unsigned long code);

}  // namespace deckwright
