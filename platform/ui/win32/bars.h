// The frame's bars over the common controls: toolbar, rebar, status bar and image lists.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/ui/gdi.h"
#include "platform/ui/wnd.h"

namespace deckwright {

// Bar styles of the class library, kept by the bar object (not window styles).
constexpr DWORD CBRS_ALIGN_TOP = 0x2000;
constexpr DWORD CBRS_ALIGN_BOTTOM = 0x8000;
constexpr DWORD CBRS_BORDER_TOP = 0x0200;
constexpr DWORD CBRS_BORDER_BOTTOM = 0x0800;
constexpr DWORD CBRS_TOP = CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM;
constexpr DWORD CBRS_BOTTOM = CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP;
constexpr DWORD CBRS_TOOLTIPS = 0x0010;
constexpr DWORD CBRS_FLYBY = 0x0020;
constexpr DWORD kBarStyleBits = 0xFFFF;  // the low word of a bar's style argument

// An image list, destroyed with its owner.
class CImageList {
  public:
    CImageList() = default;
    ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    HIMAGELIST m_hImageList = nullptr;
    bool Create(int cx, int cy, UINT flags, int initial, int grow);
    // Adds the bitmap's pictures, with mask as the transparent colour; -1 on failure.
    int Add(CBitmap& bitmap, COLORREF mask);
    int GetImageCount() const;
};

// The common base of toolbar and status bar: a control with a bar style of the class library.
class CControlBar : public CWnd {
  public:
    DWORD GetBarStyle() const { return m_dwStyle; }
    void SetBarStyle(DWORD style) { m_dwStyle = style; }

  protected:
    DWORD m_dwStyle = 0;
};

class CToolBar : public CControlBar {
  public:
    // style: window style with the bar's alignment bits in the low word.
    bool CreateEx(CWnd& parent, DWORD ctrlStyle, DWORD style, const RECT& borders, UINT id);
    // Loads a toolbar layout resource (RT_TOOLBAR_LAYOUT) and the bitmap of the same id.
    bool LoadToolBar(UINT id);
    bool SetButtonText(int index, const std::string& text);
    std::string GetButtonText(int index) const;
    void SetSizes(SIZE button, SIZE image);
    int GetCount() const { return static_cast<int>(SendMessage(TB_BUTTONCOUNT)); }
    UINT GetItemID(int index) const;
    // The band size the rebar needs for this toolbar.
    SIZE GetBarSize() const;
};

class CReBar : public CWnd {
  public:
    bool Create(CWnd& parent, DWORD ctrlStyle, DWORD style, UINT id);
    // Adds the bar as one band holding it.
    bool AddBar(CToolBar& bar, const std::string& text, HBITMAP background, UINT bandStyle);
    // The band holding bar (the first) takes the bar's present size, after its sizes changed.
    void SetBandChildSize(CToolBar& bar);
};

class CStatusBar : public CControlBar {
  public:
    bool Create(CWnd& parent, DWORD style, UINT id);
    // Indicator ids, their string ids too; ID_SEPARATOR (0) is the stretching message pane.
    bool SetIndicators(const UINT* ids, int count);
    void SetPaneText(int index, const std::string& text);
    std::string GetPaneText(int index) const;
    UINT GetItemID(int index) const { return ids_.at(static_cast<std::size_t>(index)); }
    int GetCount() const { return static_cast<int>(ids_.size()); }
    // Shows the key indicators (CAP, NUM, SCRL ...) as the keyboard's state is now.
    void UpdateIndicators();
    // Places the bar at the bottom of its parent and its parts; the frame calls it on resize.
    void Resize();

  private:
    std::vector<UINT> ids_;
    std::vector<int> widths_;  // of each part; the message pane's entry is unused
};

}  // namespace deckwright
