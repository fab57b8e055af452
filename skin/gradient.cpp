#include "skin/gradient.h"

#include <algorithm>

namespace deckwright {

namespace {

// Truncated toward zero, then only the low 8 bits count (a tiny window takes blue below 0).
BYTE Channel(float value) {
    return static_cast<BYTE>(static_cast<int>(value) & 0xFF);
}

}  // namespace

void PaintGradient(CDC& target, int width, int height, bool wholeSteps) {
    float r = 240.0f, g = 240.0f, b = 240.0f;
    float stepR = 0.0f, stepG = 0.0f, stepB = 0.0f;
    if (wholeSteps) {
        const int q = height / 4;
        if (q != 0) {
            stepR = static_cast<float>(0 / q);
            stepG = static_cast<float>(94 / q);
            stepB = static_cast<float>(188 / q);
        }
    } else {
        const float q = static_cast<float>(height) * 0.25f;
        stepR = 0.0f / q;
        stepG = 94.0f / q;
        stepB = 188.0f / q;
    }

    CDC memory;
    memory.CreateCompatibleDC(&target);
    CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(target, width, height);
    {
        CSelect selected(memory, bitmap);
        for (int y = 0; y < height; y += 4) {
            // Each step is stored back in single precision, as the shades require.
            r = static_cast<float>(r - stepR);
            g = static_cast<float>(g - stepG);
            b = static_cast<float>(b - stepB);
            memory.FillSolidRect(0, y, width, std::min(4, height - y),
                                 RGB(Channel(r), Channel(g), Channel(b)));
        }
        target.BitBlt(0, 0, width, height, memory, 0, 0, SRCCOPY);
    }
}

void GradientBackground(CDC& target, const CWnd& window) {
    const RECT r = window.GetWindowRect();
    PaintGradient(target, r.right - r.left, r.bottom - r.top, false);
}

void GradientBackgroundWholeSteps(CDC& target, const CWnd& window) {
    const RECT r = window.GetWindowRect();
    PaintGradient(target, r.right - r.left, r.bottom - r.top, true);
}

}  // namespace deckwright
