// The two settings through the panel's life: read when it is made, written when it goes.
#include "res/resource.h"
#include "tests/panel/panel_test_support.h"

namespace deckwright::testing {
namespace {

class WizardSettingsTest : public ::testing::Test {
  protected:
    ~WizardSettingsTest() override { RemoveScratchSettings(location); }

    // A panel's whole life: made (settings read), edit() run on it, destroyed (settings written).
    void Life(const std::function<void(CWizardView&)>& edit = {}) {
        CWizardView view(dialogs, location);
        if (edit) edit(view);
    }

    ScratchDir scratch;
    std::string location = ScratchSettingsLocation(scratch);
    ScriptedDialogs dialogs;
};

TEST_F(WizardSettingsTest, WithNothingStoredTheFolderIsDocumentsUntilTheUserPicksOne) {
    Life([&](CWizardView& view) {
        EXPECT_EQ(view.m_strSuffix, "");
        EXPECT_EQ(view.m_strSaveFolder, DefaultSaveFolder());
        EXPECT_FALSE(view.m_strSaveFolder.empty());
    });
    // Not edited: the default is not written as if chosen.
    EXPECT_EQ(LoadSettings(location).save_folder, "");

    dialogs.settings_answers = {SettingsValues{"_fixed", "C:\\Out\\"}};
    Life([&](CWizardView& view) {
        view.OnSettings();
        EXPECT_EQ(dialogs.settings_shown.at(0).save_folder, DefaultSaveFolder())
            << "the Settings dialog shows the folder in use";
    });
    const Settings stored = LoadSettings(location);
    EXPECT_EQ(stored.suffix, "_fixed");
    EXPECT_EQ(stored.save_folder, "C:\\Out\\");
    Life([&](CWizardView& view) {
        EXPECT_EQ(view.m_strSuffix, "_fixed");
        EXPECT_EQ(view.m_strSaveFolder, "C:\\Out\\");
    });
}

TEST_F(WizardSettingsTest, AValueTooLongToReadIsNeitherUsedNorErased) {
    const std::string long_folder(600, 'f');
    ASSERT_TRUE(StoreSettings({long_folder, "_s"}, location));
    Life([&](CWizardView& view) {
        EXPECT_EQ(view.m_strSaveFolder, DefaultSaveFolder());
        EXPECT_EQ(view.m_strSuffix, "_s");
    });
    Settings stored = LoadSettings(location);
    EXPECT_TRUE(stored.save_folder_unreadable) << "the long value was overwritten at exit";
    EXPECT_EQ(stored.suffix, "_s");
    // Once the user sets the folder, it is written.
    dialogs.settings_answers = {SettingsValues{"_s", "D:\\New\\"}};
    Life([&](CWizardView& view) { view.OnSettings(); });
    stored = LoadSettings(location);
    EXPECT_FALSE(stored.save_folder_unreadable);
    EXPECT_EQ(stored.save_folder, "D:\\New\\");
}

}  // namespace
}  // namespace deckwright::testing
