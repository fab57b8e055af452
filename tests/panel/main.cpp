// The panel tests' entry: over the real controls, the common controls are set up first, as the
// program does at its start.
#include <gtest/gtest.h>

#include "platform/ui/win_types.h"

int main(int argc, char** argv) {
#ifdef _WIN32
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
