#pragma once

#include <string>

#include "platform/ui/gdi.h"

namespace deckwright {

// The program's one form of font request: normal weight, upright, ANSI, default precision and
// quality, roman family. A positive height is the character cell height in pixels.
bool CreateSkinFont(CFont& font, int height, const std::string& face);

}  // namespace deckwright
