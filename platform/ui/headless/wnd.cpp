// CWnd in memory: windows are plain structures, and a message sent from another thread waits in
// a queue until the window's own thread pumps, as Win32's cross-thread SendMessage does.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

#include "platform/ui/gdi.h"
#include "platform/ui/headless/window.h"
#include "platform/ui/wnd.h"

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR) {
    return nullptr;
}

namespace deckwright {

namespace {

// One message from another thread, waiting for the window's thread.
struct Pending {
    HWND hwnd;
    UINT message;
    WPARAM wp;
    LPARAM lp;
    bool sent;  // the sender waits for the result; posted ones are not waited for
    bool done = false;
    LRESULT result = 0;
};

// The live windows and the messages in flight, shared by all threads.
struct World {
    std::mutex lock;
    std::condition_variable changed;
    std::set<HWND> live;
    std::deque<Pending*> queue;
};

World& TheWorld() {
    static World world;
    return world;
}

bool IsLive(HWND hwnd) {
    std::lock_guard<std::mutex> guard(TheWorld().lock);
    return TheWorld().live.count(hwnd) != 0;
}

LRESULT DefaultProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

// Runs the message on this thread: the window's object, or nothing once it is gone.
LRESULT Deliver(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    HWND__* window = headless::Live(hwnd);
    if (!window || !window->object) return 0;
    bool handled = false;
    return CWnd::RunDispatch(window->object, hwnd, message, wp, lp, &DefaultProc, &handled);
}

// Handles what is queued for this thread; only sent messages when sent_only.
void HandleQueued(bool sent_only) {
    World& world = TheWorld();
    const auto me = std::this_thread::get_id();
    for (;;) {
        Pending* next = nullptr;
        {
            std::lock_guard<std::mutex> guard(world.lock);
            auto it = std::find_if(world.queue.begin(), world.queue.end(), [&](Pending* p) {
                return (!sent_only || p->sent) && p->hwnd->thread == me;
            });
            if (it == world.queue.end()) return;
            next = *it;
            world.queue.erase(it);
        }
        const LRESULT result = Deliver(next->hwnd, next->message, next->wp, next->lp);
        if (!next->sent) {
            delete next;
            continue;
        }
        {
            std::lock_guard<std::mutex> guard(world.lock);
            next->result = result;
            next->done = true;
        }
        world.changed.notify_all();
    }
}

void DestroyTree(HWND hwnd) {
    HWND__* window = headless::Live(hwnd);
    if (!window) return;
    Deliver(hwnd, WM_DESTROY, 0, 0);
    const std::vector<HWND> children = window->children;
    for (HWND child : children) DestroyTree(child);
    if (window->parent) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
    }
    Deliver(hwnd, WM_NCDESTROY, 0, 0);
    World& world = TheWorld();
    {
        std::lock_guard<std::mutex> guard(world.lock);
        world.live.erase(hwnd);
        // Senders waiting on the window get 0, as from a window that is gone.
        for (auto it = world.queue.begin(); it != world.queue.end();) {
            if ((*it)->hwnd != hwnd) {
                ++it;
                continue;
            }
            if ((*it)->sent) {
                (*it)->done = true;
            } else {
                delete *it;
            }
            it = world.queue.erase(it);
        }
    }
    world.changed.notify_all();
    delete window;
}

HWND MakeWindow(CWnd* object, const wchar_t* className, const std::string& text, DWORD style,
                DWORD exStyle, const RECT& rect, HWND parent, UINT id) {
    auto* window = new HWND__;
    window->object = object;
    window->class_name = className ? className : L"";
    window->text = text;
    window->style = style;
    window->ex_style = exStyle;
    window->rect = rect;
    if (rect.left == static_cast<LONG>(CW_USEDEFAULT)) window->rect = RECT{0, 0, 800, 600};
    window->parent = headless::Live(parent);
    window->id = id;
    window->thread = std::this_thread::get_id();
    if (window->parent) window->parent->children.push_back(window);
    {
        std::lock_guard<std::mutex> guard(TheWorld().lock);
        TheWorld().live.insert(window);
    }
    return window;
}

}  // namespace

namespace headless {

HWND__* Live(HWND hwnd) {
    return hwnd && IsLive(hwnd) ? hwnd : nullptr;
}

std::vector<DrawnText> TextsOn(HWND window) {
    HWND__* w = Live(window);
    return w ? w->drawn : std::vector<DrawnText>{};
}

int EraseCount(HWND window) {
    HWND__* w = Live(window);
    return w ? w->erase_count : 0;
}

int PaintCount(HWND window) {
    HWND__* w = Live(window);
    return w ? w->paint_count : 0;
}

}  // namespace headless

HINSTANCE AfxGetResourceHandle() {
    return nullptr;
}

std::string LoadResString(UINT) {
    return {};  // no string table in memory
}

CWnd::~CWnd() {
    if (m_hWnd && headless::Live(m_hWnd) && FromHandle(m_hWnd) == this) {
        HWND hwnd = m_hWnd;
        DetachFromHandle();
        DestroyTree(hwnd);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    HWND__* window = headless::Live(hwnd);
    return window ? window->object : nullptr;
}

void CWnd::Attach(HWND hwnd) {
    m_hWnd = hwnd;
    if (HWND__* window = headless::Live(hwnd)) window->object = this;
}

void CWnd::DetachFromHandle() {
    if (HWND__* window = headless::Live(m_hWnd)) window->object = nullptr;
    m_hWnd = nullptr;
}

const wchar_t* CWnd::RegisterWndClass(UINT, HCURSOR, HBRUSH, HICON) {
    return L"Deckwright";
}

bool CWnd::PreCreateWindow(CREATESTRUCTW&) {
    return true;
}

bool CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const std::string& title, DWORD style,
                    const RECT& rect, HWND parent, UINT_PTR idOrMenu) {
    CREATESTRUCTW cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.style = static_cast<LONG>(style);
    cs.hwndParent = parent;
    if (!PreCreateWindow(cs)) return false;
    const bool child = (static_cast<DWORD>(cs.style) & WS_CHILD) != 0;
    HWND hwnd = MakeWindow(this, cs.lpszClass, title, static_cast<DWORD>(cs.style), cs.dwExStyle,
                           rect, parent, child ? static_cast<UINT>(idOrMenu) : 0);
    m_hWnd = hwnd;
    bool deleted = false;
    m_pbDeleted = &deleted;
    Deliver(hwnd, WM_NCCREATE, 0, 0);
    const LRESULT created = Deliver(hwnd, WM_CREATE, 0, 0);
    if (deleted) return false;
    m_pbDeleted = nullptr;
    if (created == -1) {
        DestroyTree(hwnd);
        return false;
    }
    return true;
}

bool CWnd::CreateControl(const wchar_t* className, const std::string& text, DWORD style,
                         DWORD exStyle, const RECT& rect, HWND parent, UINT id) {
    if (!headless::Live(parent)) return false;
    m_hWnd = MakeWindow(this, className, text, style, exStyle, rect, parent, id);
    return true;
}

void CWnd::DestroyWindow() {
    DestroyTree(m_hWnd);
}

void CWnd::MoveWindow(int x, int y, int width, int height, bool) {
    if (HWND__* window = headless::Live(m_hWnd)) window->rect = RECT{x, y, x + width, y + height};
}

void CWnd::ShowWindow(int show) {
    HWND__* window = headless::Live(m_hWnd);
    if (!window) return;
    if (show == SW_HIDE) {
        window->style &= ~static_cast<DWORD>(WS_VISIBLE);
    } else {
        window->style |= WS_VISIBLE;
    }
}

bool CWnd::IsWindowVisible() const {
    // Visible when it and every window above it are.
    for (HWND__* w = headless::Live(m_hWnd); w; w = w->parent) {
        if (!(w->style & WS_VISIBLE)) return false;
    }
    return headless::Live(m_hWnd) != nullptr;
}

void CWnd::SetFocus() {}

void CWnd::SetWindowText(const std::string& text) {
    if (HWND__* window = headless::Live(m_hWnd)) window->text = text;
}

std::string CWnd::GetWindowText() const {
    HWND__* window = headless::Live(m_hWnd);
    return window ? window->text : std::string();
}

RECT CWnd::GetWindowRect() const {
    HWND__* window = headless::Live(m_hWnd);
    if (!window) return RECT{};
    RECT r = window->rect;
    for (HWND__* p = window->parent; p; p = p->parent) {
        r.left += p->rect.left;
        r.right += p->rect.left;
        r.top += p->rect.top;
        r.bottom += p->rect.top;
    }
    return r;
}

RECT CWnd::GetClientRect() const {
    HWND__* window = headless::Live(m_hWnd);
    if (!window) return RECT{};
    return RECT{0, 0, window->rect.right - window->rect.left,
                window->rect.bottom - window->rect.top};
}

namespace {
std::atomic<UINT> g_screen_dpi{96};
}  // namespace

void headless::SetScreenDpi(UINT dpi) {
    g_screen_dpi = dpi;
}

UINT CWnd::GetDpi() const {
    return g_screen_dpi;
}

void CWnd::RedrawWindow(UINT flags) {
    HWND__* window = headless::Live(m_hWnd);
    if (!window || !(flags & RDW_UPDATENOW)) return;
    if (flags & RDW_ERASE) {
        HDC__ surface(window);
        window->drawn.clear();  // the background covers whatever was drawn before
        ++window->erase_count;
        Deliver(m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(&surface), 0);
    }
    if (headless::Live(m_hWnd)) {
        ++window->paint_count;
        Deliver(m_hWnd, WM_PAINT, 0, 0);
    }
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wp, LPARAM lp) const {
    return SendWindowMessage(m_hWnd, message, wp, lp);
}

LRESULT SendWindowMessage(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    // Under the lock: from another thread the window may be going while we look at it.
    World& world = TheWorld();
    std::unique_lock<std::mutex> guard(world.lock);
    if (!world.live.count(hwnd)) return 0;
    if (hwnd->thread == std::this_thread::get_id()) {
        guard.unlock();
        return Deliver(hwnd, message, wp, lp);
    }
    Pending pending{hwnd, message, wp, lp, true};
    world.queue.push_back(&pending);
    world.changed.notify_all();
    world.changed.wait(guard, [&] { return pending.done; });
    return pending.result;
}

bool CWnd::PostMessage(UINT message, WPARAM wp, LPARAM lp) const {
    World& world = TheWorld();
    {
        std::lock_guard<std::mutex> guard(world.lock);
        if (!world.live.count(m_hWnd)) return false;
        world.queue.push_back(new Pending{m_hWnd, message, wp, lp, false});
    }
    world.changed.notify_all();
    return true;
}

HWND CWnd::GetDlgItem(int id) const {
    HWND__* window = headless::Live(m_hWnd);
    if (!window) return nullptr;
    for (HWND child : window->children) {
        if (static_cast<int>(child->id) == id) return child;
    }
    return nullptr;
}

void PumpMessages() {
    HandleQueued(false);
}

void WaitForMessage(std::chrono::milliseconds timeout) {
    World& world = TheWorld();
    const auto me = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(world.lock);
    world.changed.wait_for(guard, timeout, [&] {
        return std::any_of(world.queue.begin(), world.queue.end(),
                           [&](Pending* p) { return p->hwnd->thread == me; });
    });
}

void PumpSentMessagesUntil(const std::function<bool()>& done) {
    World& world = TheWorld();
    while (!done()) {
        HandleQueued(true);
        std::unique_lock<std::mutex> guard(world.lock);
        world.changed.wait_for(guard, std::chrono::milliseconds(10));
    }
}

}  // namespace deckwright
