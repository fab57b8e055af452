#pragma once

#include "platform/ui/gdi.h"

namespace deckwright {

// Loads a picture of the program (its 100% resource id) for a window at dpi: the nearest of
// the pictures drawn for 100%, 150% and 200%, scaled to exactly the window's size for it when
// the screen's scaling is none of those. keepColours: scaled without mixing colours, for
// pictures with a transparent colour. False when the picture could not be loaded.
bool LoadArtwork(CBitmap& bitmap, UINT id, UINT dpi, bool keepColours = false);

// The resource id of the picture drawn nearest to dpi.
UINT NearestArtwork(UINT id, UINT dpi);

}  // namespace deckwright
