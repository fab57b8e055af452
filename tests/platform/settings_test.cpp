#include "platform/settings.h"

#include "tests/runs/run_test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/utf.h"
#endif

namespace deckwright::testing {
namespace {

// Each test gets a store of its own: a scratch file, or a scratch registry key.
class SettingsTest : public ::testing::Test {
  protected:
#ifdef _WIN32
    SettingsTest()
        : location_("Software\\Velmora\\DeckwrightTest-" + std::to_string(GetCurrentProcessId())) {}
    ~SettingsTest() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, Widen(location_).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, Widen(location_).c_str());
    }
    bool StoreExists() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(location_).c_str(), 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
    DWORD TypeOf(const wchar_t* name) {
        DWORD type = 0;
        RegGetValueW(HKEY_CURRENT_USER, Widen(location_).c_str(), name, RRF_RT_ANY, &type, nullptr,
                     nullptr);
        return type;
    }
    // Writes one value as another program might, bypassing StoreSettings.
    void PutRaw(const wchar_t* name, const std::string& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Widen(location_).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::wstring w = Widen(value);
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                       static_cast<DWORD>((w.size() + 1) * 2));
        RegCloseKey(key);
    }
    void PutOnlySuffix(const std::string& value) {
        PutRaw(L"Suffix", value);
    }
#else
    SettingsTest() : location_(scratch_.Path("config/deckwright/settings")) {
        fs::remove_all(PathOf(scratch_.Path("config")));
    }
    bool StoreExists() {
        return Exists(location_);
    }
    void PutOnlySuffix(const std::string& value) {
        scratch_.Path("config/deckwright/settings");  // makes the folders
        std::ofstream(PathOf(location_), std::ios::binary | std::ios::trunc)
            << "Suffix=" << value << "\n";
    }
#endif

    ScratchDir scratch_;
    std::string location_;
};

TEST_F(SettingsTest, MissingStoreReadsEmptyAndIsMadeWhenStoring) {
    EXPECT_FALSE(StoreExists());
    const Settings empty = LoadSettings(location_);
    EXPECT_EQ(empty.save_folder, "");
    EXPECT_EQ(empty.suffix, "");

    // Settings made on a fresh system are kept: the store is created.
    ASSERT_TRUE(StoreSettings({"C:\\Out\\", "_fixed"}, location_));
    EXPECT_TRUE(StoreExists());
    const Settings back = LoadSettings(location_);
    EXPECT_EQ(back.save_folder, "C:\\Out\\");
    EXPECT_EQ(back.suffix, "_fixed");
#ifdef _WIN32
    EXPECT_EQ(TypeOf(L"SaveFolder"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(TypeOf(L"Suffix"), static_cast<DWORD>(REG_SZ));
#endif
}

TEST_F(SettingsTest, AnyTextRoundTrips) {
    const std::vector<Settings> cases = {
        {"/home/user/Saved Decks/", " (repaired) "},
        {"", ""},
        {"D:\\Out\\", "a=b\\n\\\\"},
        {"line one\nline two\r\n", "tab\there"},
        {"\xC3\x9C"
         "bersicht/\xE2\x82\xAC/",
         "_\xE4\xBF\xAE\xE5\xBE\xA9"},
    };
    for (const auto& settings : cases) {
        SCOPED_TRACE(settings.save_folder + "|" + settings.suffix);
        ASSERT_TRUE(StoreSettings(settings, location_));
        const Settings back = LoadSettings(location_);
        EXPECT_EQ(back.save_folder, settings.save_folder);
        EXPECT_EQ(back.suffix, settings.suffix);
    }
}

TEST_F(SettingsTest, MissingValueReadsEmpty) {
    PutOnlySuffix("_only");
    const Settings settings = LoadSettings(location_);
    EXPECT_EQ(settings.save_folder, "");
    EXPECT_EQ(settings.suffix, "_only");
}

TEST_F(SettingsTest, ValuesOf512BytesOrMoreReadEmptyAndAreNotErasedWhenStoredBack) {
    const std::string long_suffix(512, 's');
    ASSERT_TRUE(StoreSettings({std::string(511, 'f'), long_suffix}, location_));
    Settings settings = LoadSettings(location_);
    EXPECT_EQ(settings.save_folder, std::string(511, 'f'));
    EXPECT_FALSE(settings.save_folder_unreadable);
    EXPECT_EQ(settings.suffix, "");
    EXPECT_TRUE(settings.suffix_unreadable);

    // Stored back as read (a program run that changed nothing): the long value survives.
    settings.save_folder = "changed";
    ASSERT_TRUE(StoreSettings(settings, location_));
    Settings again = LoadSettings(location_);
    EXPECT_EQ(again.save_folder, "changed");
    EXPECT_TRUE(again.suffix_unreadable) << "the unreadable value was overwritten";
    settings.suffix_unreadable = false;  // now the user set it
    ASSERT_TRUE(StoreSettings(settings, location_));
    again = LoadSettings(location_);
    EXPECT_EQ(again.suffix, "");
    EXPECT_FALSE(again.suffix_unreadable);
}

#ifndef _WIN32
TEST_F(SettingsTest, DefaultLocationFollowsXdgConfigHomeThenHome) {
    const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
    const char* old_home = std::getenv("HOME");
    const std::string saved_xdg = old_xdg ? old_xdg : "", saved_home = old_home ? old_home : "";

    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(DefaultSettingsLocation(), "/cfg/deckwright/settings");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(DefaultSettingsLocation(), "/home/u/.config/deckwright/settings");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultSettingsLocation(), "/home/u/.config/deckwright/settings");

    // The default arguments read the environment at the call.
    ::setenv("XDG_CONFIG_HOME", scratch_.Folder("xdg").c_str(), 1);
    ASSERT_TRUE(StoreSettings({"/out/", "_s"}));
    EXPECT_TRUE(Exists(scratch_.Path("xdg/deckwright/settings")));
    EXPECT_EQ(LoadSettings().suffix, "_s");

    if (old_xdg)
        ::setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    if (old_home)
        ::setenv("HOME", saved_home.c_str(), 1);
    else
        ::unsetenv("HOME");
}

// A settings file with Windows line ends gave every value a trailing CR; a value with a NUL was
// stored whole, then used as far as the NUL by every file name made from it.
TEST_F(SettingsTest, LineEndsAndNulsAreNotPartOfValues) {
    scratch_.Path("config/deckwright/settings");
    std::ofstream(PathOf(location_), std::ios::binary) << "SaveFolder=/out/\r\nSuffix=_s\r\n";
    Settings settings = LoadSettings(location_);
    EXPECT_EQ(settings.save_folder, "/out/");
    EXPECT_EQ(settings.suffix, "_s");

    ASSERT_TRUE(StoreSettings({"/out/", std::string("_a\0b", 4)}, location_));
    EXPECT_EQ(LoadSettings(location_).suffix, "_a");
    EXPECT_EQ(ReadBytes(location_),
              (Bytes{'S', 'a', 'v',  'e', 'F', 'o', 'l', 'd', 'e', 'r', '=', '/', 'o', 'u',
                     't', '/', '\n', 'S', 'u', 'f', 'f', 'i', 'x', '=', '_', 'a', '\n'}));
    for (const std::string& stored :
         {std::string("Suffix=_a\0b\n", 12), std::string("Suffix=_a\\0b\n")}) {
        std::ofstream(PathOf(location_), std::ios::binary | std::ios::trunc) << stored;
        EXPECT_EQ(LoadSettings(location_).suffix, "_a");
    }
}

TEST_F(SettingsTest, UnwritableStoreFailsQuietly) {
    const std::string blocker = scratch_.File("blocker", {1});
    EXPECT_FALSE(StoreSettings({"a", "b"}, blocker + "/deckwright/settings"));
    EXPECT_EQ(LoadSettings(blocker + "/deckwright/settings").suffix, "");
}
#endif

}  // namespace
}  // namespace deckwright::testing
