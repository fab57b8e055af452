// The part of the drawing objects that is the same over GDI and in memory.
#include "platform/ui/gdi.h"

namespace deckwright {

bool CGdiObject::Attach(HGDIOBJ handle) {
    DeleteObject();
    m_hObject = handle;
    return handle != nullptr;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

}  // namespace deckwright
