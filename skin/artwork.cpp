#include "skin/artwork.h"

#include "res/resource.h"

namespace deckwright {

namespace {

// The DPI a picture was drawn for, by the offset of its id.
UINT ArtworkDpi(UINT id, UINT base) {
    return id == base + IDB_AT_200 ? 192 : id == base + IDB_AT_150 ? 144 : 96;
}

int MulDiv96(int value, UINT dpi, UINT from) {
    return static_cast<int>((static_cast<long long>(value) * dpi + from / 2) / from);
}

}  // namespace

UINT NearestArtwork(UINT id, UINT dpi) {
    // Half-way between two, the larger one: shrinking keeps more detail than growing.
    if (dpi >= 168) return id + IDB_AT_200;
    if (dpi >= 120) return id + IDB_AT_150;
    return id;
}

bool LoadArtwork(CBitmap& bitmap, UINT id, UINT dpi, bool keepColours) {
    UINT loaded = NearestArtwork(id, dpi);
    CBitmap drawn;
    if (!drawn.LoadBitmap(loaded)) {
        loaded = id;
        if (!drawn.LoadBitmap(id)) return false;
    }
    const UINT drawnDpi = ArtworkDpi(loaded, id);
    const SIZE from = drawn.GetSize();
    if (drawnDpi == dpi || from.cx == 0) {
        bitmap.Attach(drawn.Detach());
        return true;
    }
    // Another scaling: the nearest picture, scaled to the size the 100% one has at dpi.
    const SIZE at96{MulDiv96(from.cx, 96, drawnDpi), MulDiv96(from.cy, 96, drawnDpi)};
    const SIZE to{MulDiv96(at96.cx, dpi, 96), MulDiv96(at96.cy, dpi, 96)};
    CClientDC screen(nullptr);
    CDC source, target;
    source.CreateCompatibleDC(&screen);
    target.CreateCompatibleDC(&screen);
    if (!bitmap.CreateCompatibleBitmap(screen, to.cx, to.cy)) return false;
    CSelect fromSelected(source, drawn);
    CSelect toSelected(target, bitmap);
    return target.StretchBlt(0, 0, to.cx, to.cy, source, 0, 0, from.cx, from.cy, keepColours);
}

}  // namespace deckwright
