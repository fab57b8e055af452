// The GUI tests' entry: one application object, as in the program, so that commands reach it.
#include <gtest/gtest.h>

#include "app/repair_app.h"
#include "platform/utf.h"
#include "tests/gui/gui_support.h"

int main(int argc, char** argv) {
    deckwright::CRepairApp app;
    app.Enable3dControls();
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, deckwright::Widen(deckwright::testing::kScratchSettings).c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, deckwright::Widen(deckwright::testing::kScratchSettings).c_str());
    return status;
}
