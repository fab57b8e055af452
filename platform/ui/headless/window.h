// What the headless toolkit keeps for each window, and for each drawing surface and drawing
// object: the state Win32 keeps inside its windows and GDI, here in plain structures. Only the
// headless backend's own files and the test accessors (inspect.h) use it.
#pragma once

#include <string>
#include <thread>
#include <vector>

#include "platform/ui/headless/inspect.h"
#include "platform/ui/headless/win_types.h"

namespace deckwright {
class CWnd;
}

struct HWND__ {
    deckwright::CWnd* object = nullptr;
    HWND parent = nullptr;
    std::vector<HWND> children;
    std::wstring class_name;
    UINT id = 0;
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect{};  // in the parent's client coordinates (the screen's for a top-level window)
    std::string text;
    std::thread::id thread;  // the thread that made it, which handles its messages

    // Buttons.
    int check = 0;
    // List views.
    struct Row {
        std::vector<std::string> cells;
        int image = 0;
        bool checked = false;
    };
    DWORD list_ex_style = 0;
    std::vector<std::string> columns;
    std::vector<Row> rows;
    // Progress bars.
    int low = 0, high = 100, step = 10, position = 0;

    // What was drawn on the window since its background was last erased.
    std::vector<deckwright::headless::DrawnText> drawn;
    int erase_count = 0;
    int paint_count = 0;
};

// A drawing object: a font (face, height) or a bitmap (resource id or size).
struct HGDIOBJ__ {
    enum class Kind { kFont, kBitmap };
    explicit HGDIOBJ__(Kind k) : kind(k) {}
    Kind kind;
    std::string face;
    int height = 0;
    UINT resource = 0;
    SIZE size{};
    // Texts drawn on a memory surface while this bitmap was selected into it.
    std::vector<deckwright::headless::DrawnText> drawn;
};

// A drawing surface: of a window, or in memory (then what it draws lands on its bitmap).
struct HDC__ {
    explicit HDC__(HWND w = nullptr) : window(w) {}
    HWND window;
    HGDIOBJ font = nullptr;
    HGDIOBJ bitmap = nullptr;
    COLORREF text_color = 0x000000;
    COLORREF background = 0xFFFFFF;
};

namespace deckwright::headless {
// The window behind a handle, or null when it is gone.
HWND__* Live(HWND hwnd);
}  // namespace deckwright::headless
