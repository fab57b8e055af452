// The part of CWnd that is the same over Win32 and in memory: the message map and dispatch.
#include "platform/ui/wnd.h"

#include <cassert>

namespace deckwright {

namespace {

std::uint64_t NotifyKey(UINT_PTR id, UINT code) {
    return (static_cast<std::uint64_t>(id & 0xFFFFFFFF) << 32) | code;
}

// A second handler for the same key is a programming error; the first one stays.
template <typename Map, typename Key, typename Handler>
void AddOnce(Map& map, Key key, Handler handler) {
    const bool added = map.emplace(key, std::move(handler)).second;
    assert(added && "a message-map entry was registered twice");
    (void)added;
}

}  // namespace

void CWnd::OnMessage(UINT message, MessageHandler handler) {
    AddOnce(messages_, message, std::move(handler));
}

void CWnd::OnCommand(UINT id, CommandHandler handler) {
    AddOnce(commands_, id, std::move(handler));
}

void CWnd::OnNotify(UINT id, UINT code, NotifyHandler handler) {
    AddOnce(notifications_, NotifyKey(id, code), std::move(handler));
}

bool CWnd::OnCmdMsg(UINT id, int code) {
    if (code != 0) return false;  // menu, accelerator or button click only
    auto it = commands_.find(id);
    if (it == commands_.end()) return false;
    it->second();
    return true;
}

int CWnd::Scale(int pixelsAt96) const {
    // MulDiv's rounding: halves away from zero.
    const long long product = static_cast<long long>(pixelsAt96) * GetDpi();
    return static_cast<int>(product >= 0 ? (product + 48) / 96 : (product - 48) / 96);
}

bool CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) {
    return false;
}

bool CWnd::DispatchToChild(UINT message, WPARAM wp, LPARAM lp, LRESULT* result) {
    HWND child = nullptr;
    if (message == WM_DRAWITEM) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item && item->CtlType == ODT_BUTTON) child = item->hwndItem;
    } else if (message == WM_NOTIFY) {
        if (const auto* header = reinterpret_cast<const NMHDR*>(lp)) child = header->hwndFrom;
    } else if (message == WM_COMMAND) {
        child = reinterpret_cast<HWND>(lp);
    }
    CWnd* control = child ? FromHandle(child) : nullptr;
    return control && control != this && control->OnChildNotify(message, wp, lp, result);
}

bool CWnd::Dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT* result) {
    if (DispatchToChild(message, wp, lp, result)) return true;
    if (message == WM_COMMAND) {
        // Accelerators (1) and menus (0) count as commands; controls give their own code.
        const int code = lp ? HIWORD(wp) : 0;
        if (OnCmdMsg(LOWORD(wp), code)) {
            *result = 0;
            return true;
        }
    } else if (message == WM_NOTIFY && lp) {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        auto it = notifications_.find(NotifyKey(header->idFrom, header->code));
        if (it != notifications_.end()) {
            *result = it->second(header);
            return true;
        }
    }
    auto it = messages_.find(message);
    if (it == messages_.end()) return false;
    *result = it->second(wp, lp);
    return true;
}

LRESULT CWnd::RunDispatch(CWnd* self, HWND hwnd, UINT message, WPARAM wp, LPARAM lp,
                          DefaultProc fallback, bool* handled) {
    LRESULT result = 0;
    *handled = false;
    try {
        *handled = self->Dispatch(message, wp, lp, &result);
    } catch (...) {
        // Nothing may unwind through the system's code; the message counts as unhandled.
        *handled = false;
    }
    if (!*handled && fallback) result = fallback(hwnd, message, wp, lp);
    if (message == WM_NCDESTROY) {
        self->DetachFromHandle();
        bool* diedInCreation = self->m_pbDeleted;
        self->m_pbDeleted = nullptr;
        if (diedInCreation) *diedInCreation = true;
        self->PostNcDestroy();  // may delete self
    }
    return result;
}

}  // namespace deckwright
