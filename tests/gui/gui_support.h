#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/gdi.h"

namespace deckwright::testing {

// What a dialog or message box showed when it came up.
struct ShownDialog {
    std::string caption;
    std::string text;      // the message of a message box (static id 0xFFFF); empty otherwise
    HICON icon = nullptr;  // the message box's icon, if any
};

// Watches this thread for dialogs (class #32770) as they are activated, records them, lets the
// test look at the live window, then closes it with the given command (IDOK by default).
class DialogWatcher {
  public:
    explicit DialogWatcher(std::function<void(HWND)> inspect = {}, int answer = IDOK);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    std::vector<ShownDialog> shown;

  private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
    HHOOK hook_;
    std::function<void(HWND)> inspect_;
    int answer_;
};

// A 32-bit top-down memory surface for reading back what was painted.
class Surface {
  public:
    Surface(int width, int height, COLORREF fill);
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    CDC& dc() { return dc_; }
    COLORREF Pixel(int x, int y) const { return ::GetPixel(dc_.m_hDC, x, y); }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    CDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    int width_, height_;
};

std::string Hex(COLORREF c);

// The background gradient's colour in row y of a window of this outer height, worked out band
// by band in single precision, as the program's own routine must.
COLORREF GradientBand(int y, int height);

// Where the program's settings go while the tests run, never the user's key.
inline constexpr char kScratchSettings[] = "Software\\Velmora\\DeckwrightGuiTests";

}  // namespace deckwright::testing
