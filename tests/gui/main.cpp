// The GUI tests' entry: one application object, as in the program, so that commands reach it.
#include <gtest/gtest.h>

#include "app/repair_app.h"

int main(int argc, char** argv) {
    deckwright::CRepairApp app;
    app.Enable3dControls();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
