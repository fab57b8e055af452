#include "skin/font.h"

namespace deckwright {

bool CreateSkinFont(CFont& font, int height, const std::string& face) {
    return font.CreateFont(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_ROMAN, face);
}

}  // namespace deckwright
