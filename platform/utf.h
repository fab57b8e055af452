#pragma once

#include <string>

namespace deckwright {

// UTF-8 inside the program, UTF-16 at the Win32 boundary.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// The system's words for a Win32 error code, without the trailing full stop and line break.
std::string SystemMessage(unsigned long code);

}  // namespace deckwright
