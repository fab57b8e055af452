#pragma once

#include "platform/ui/gdi.h"
#include "platform/ui/wnd.h"

namespace deckwright {

// Fills W x H pixels of the target from its (0, 0) with the background gradient, W and H being
// the window's outer size: four-row bands from light grey down to orange, red staying 240.
// The colour is accumulated in single precision, which the exact shades depend on.
void GradientBackground(CDC& target, const CWnd& window);
// The About box's form: the per-band steps are whole numbers (94 div H/4, 188 div H/4).
void GradientBackgroundWholeSteps(CDC& target, const CWnd& window);

// The drawing itself, for a given size (what the two above call).
void PaintGradient(CDC& target, int width, int height, bool wholeSteps);

}  // namespace deckwright
