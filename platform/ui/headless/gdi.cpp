// Drawing in memory: nothing is rasterised; the texts drawn on a window are recorded with
// their rectangles, colours and font, so that tests can see what a window painted.
#include "platform/ui/gdi.h"
#include "platform/ui/headless/window.h"

namespace deckwright {

namespace {

// What a surface holds before anything is selected into it, as GDI's stock objects.
HGDIOBJ StockFont() {
    static HGDIOBJ__ font(HGDIOBJ__::Kind::kFont);
    return &font;
}
HGDIOBJ StockBitmap() {
    static HGDIOBJ__ bitmap(HGDIOBJ__::Kind::kBitmap);
    return &bitmap;
}

bool IsStock(HGDIOBJ object) {
    return object == StockFont() || object == StockBitmap();
}

}  // namespace

void CGdiObject::DeleteObject() {
    if (m_hObject && !IsStock(m_hObject)) delete m_hObject;
    m_hObject = nullptr;
}

bool CFont::CreateFont(int height, int, int, int, int, BYTE, BYTE, BYTE, BYTE, BYTE, BYTE, BYTE,
                       BYTE, const std::string& face) {
    auto* font = new HGDIOBJ__(HGDIOBJ__::Kind::kFont);
    font->face = face;
    font->height = height;
    return Attach(font);
}

bool CBitmap::LoadBitmap(UINT id) {
    auto* bitmap = new HGDIOBJ__(HGDIOBJ__::Kind::kBitmap);
    bitmap->resource = id;
    return Attach(bitmap);
}

bool CBitmap::CreateCompatibleBitmap(CDC&, int width, int height) {
    auto* bitmap = new HGDIOBJ__(HGDIOBJ__::Kind::kBitmap);
    bitmap->size = SIZE{width, height};
    return Attach(bitmap);
}

SIZE CBitmap::GetSize() const {
    return m_hObject ? m_hObject->size : SIZE{0, 0};
}

CDC::~CDC() {
    if (owned_) delete m_hDC;
}

bool CDC::CreateCompatibleDC(CDC*) {
    if (owned_) delete m_hDC;
    m_hDC = new HDC__();
    m_hDC->font = StockFont();
    m_hDC->bitmap = StockBitmap();
    owned_ = true;
    return true;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object) {
    if (!m_hDC || !object) return nullptr;
    HGDIOBJ& slot = object->kind == HGDIOBJ__::Kind::kFont ? m_hDC->font : m_hDC->bitmap;
    HGDIOBJ previous =
        slot ? slot : (object->kind == HGDIOBJ__::Kind::kFont ? StockFont() : StockBitmap());
    slot = object;
    return previous;
}

COLORREF CDC::SetTextColor(COLORREF color) {
    if (!m_hDC) return 0;
    const COLORREF previous = m_hDC->text_color;
    m_hDC->text_color = color;
    return previous;
}

COLORREF CDC::SetBkColor(COLORREF color) {
    if (!m_hDC) return 0;
    const COLORREF previous = m_hDC->background;
    m_hDC->background = color;
    return previous;
}

void CDC::FillSolidRect(int, int, int, int, COLORREF) {}

int CDC::DrawText(const std::string& text, RECT rect, UINT format) {
    if (!m_hDC) return 0;
    const HGDIOBJ font = m_hDC->font;
    headless::DrawnText drawn{text,
                              rect,
                              format,
                              m_hDC->text_color,
                              m_hDC->background,
                              font && !IsStock(font) ? font->face : std::string(),
                              font && !IsStock(font) ? font->height : 0};
    if (HWND__* window = headless::Live(m_hDC->window)) {
        window->drawn.push_back(drawn);
    } else if (m_hDC->bitmap && !IsStock(m_hDC->bitmap)) {
        m_hDC->bitmap->drawn.push_back(drawn);
    }
    return rect.bottom - rect.top;
}

bool CDC::BitBlt(int x, int y, int, int, CDC& source, int sx, int sy, DWORD) {
    // What was drawn on the source's bitmap arrives on the window, moved to where it lands.
    HWND__* window = m_hDC ? headless::Live(m_hDC->window) : nullptr;
    HGDIOBJ bitmap = source.m_hDC ? source.m_hDC->bitmap : nullptr;
    if (!window || !bitmap || IsStock(bitmap)) return true;
    for (headless::DrawnText drawn : bitmap->drawn) {
        drawn.rect = RECT{drawn.rect.left + x - sx, drawn.rect.top + y - sy,
                          drawn.rect.right + x - sx, drawn.rect.bottom + y - sy};
        window->drawn.push_back(drawn);
    }
    return true;
}

bool CDC::StretchBlt(int x, int y, int, int, CDC& source, int sx, int sy, int, int, bool) {
    return BitBlt(x, y, 0, 0, source, sx, sy, SRCCOPY);
}

void CDC::MoveTo(int, int) {}

void CDC::LineTo(int, int) {}

COLORREF CDC::GetPixel(int, int) const {
    return 0;
}

CClientDC::CClientDC(HWND hwnd) : CDC(new HDC__(hwnd)), hwnd_(hwnd) {
    m_hDC->font = StockFont();
    m_hDC->bitmap = StockBitmap();
}

CClientDC::~CClientDC() {
    delete m_hDC;
    m_hDC = nullptr;
}

CPaintDC::CPaintDC(HWND hwnd) : hwnd_(hwnd) {
    m_hDC = new HDC__(hwnd);
    m_hDC->font = StockFont();
    m_hDC->bitmap = StockBitmap();
    m_ps.hdc = m_hDC;
}

CPaintDC::~CPaintDC() {
    delete m_hDC;
    m_hDC = nullptr;
}

}  // namespace deckwright
