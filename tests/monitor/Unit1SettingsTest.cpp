// The window's settings in the real registry store: first run, Save and restart, the value kinds,
// values of the wrong kind, refused writes and what closing keeps.

#include <filesystem>

#include <gmock/gmock.h>

#ifndef _WIN32
#include "platform/posix/RegistryStore.h"
#endif
#include "sound/AlarmWave.h"
#include "tests/monitor/Unit1Fixture.h"

namespace pw::monitor::test {
namespace {

using platform::RegType;
using platform::RegValue;

bool SameBytes(std::span<const unsigned char> a, std::span<const unsigned char> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

TEST_F(WindowTest, TheFirstRunShowsTheDefaultsAndCreatesTheKey) {
    for (int k = 1; k <= TForm1::kRowCount; ++k) {
        EXPECT_EQ(form->UrlField(k).Text(), "");
        EXPECT_EQ(form->SearchField(k).Text(), "");
        EXPECT_EQ(form->LogicSelector(k).ItemIndex(), 0) << k;
        EXPECT_EQ(form->SearchField(k).Color(), clBtnFace);
    }
    EXPECT_EQ(form->timerduration.Value(), 60);
    EXPECT_EQ(form->alarmrepeat.Value(), 10);
    EXPECT_FALSE(form->autostart.Checked());
    EXPECT_FALSE(form->startmin.Checked());
    EXPECT_TRUE(form->firstshow);
    EXPECT_TRUE(SameBytes(form->zcWavePlayer1.Wave().Bytes(), sound::BuiltInAlarmWave()));
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_EQ(os.registry.OpenKey(platform::RegRoot::CurrentUser, kSettingsKey, false),
              platform::RegStatus::Ok);
}

TEST_F(WindowTest, SaveStoresEveryValueByKindAndARestartReadsThemBack) {
    Watch(1, "http://a.example/", "alpha", 1);
    Watch(3, "http://c.example/", "gamma \xe9", 0);
    form->LogicSelector(2).SetItemIndex(-1);
    form->timerduration.SetValue(15);
    form->alarmrepeat.SetValue(30);
    form->autostart.SetChecked(true);
    form->soundfile = dir / "gone.wav";  // no longer there
    form->BitBtn4.Click();
    ASSERT_TRUE(ErrorBoxes().empty()) << ErrorBoxes()[0];

    EXPECT_EQ(Stored("URLs", "URL1"), RegValue::Text("http://a.example/"));
    EXPECT_EQ(Stored("URLs", "URL2"), RegValue::Text(""));
    EXPECT_EQ(Stored("Search", "Search3"), RegValue::Text("gamma \xe9"));
    EXPECT_EQ(Stored("Logic", "logic1"), RegValue::Dword(1));
    EXPECT_EQ(Stored("Logic", "logic2"), RegValue::Dword(0xFFFFFFFF));
    EXPECT_EQ(Stored("Timer", "Duration"), RegValue::Dword(15));
    EXPECT_EQ(Stored("Timer", "Alarmrepeat"), RegValue::Dword(30));
    EXPECT_EQ(Stored("Startup", "Autostart"), RegValue::Text("1"));
    EXPECT_EQ(Stored("Startup", "Minimised"), RegValue::Text("0"));

    Restart();
    EXPECT_EQ(form->UrlField(1).Text(), "http://a.example/");
    EXPECT_EQ(form->LogicSelector(1).ItemIndex(), 1);
    EXPECT_EQ(form->LogicSelector(2).ItemIndex(), -1);
    EXPECT_EQ(form->SearchField(3).Text(), "gamma \xe9");
    EXPECT_EQ(form->timerduration.Value(), 15);
    EXPECT_EQ(form->alarmrepeat.Value(), 10);  // not restored
    EXPECT_TRUE(form->autostart.Checked());
    // The missing wave leaves the built-in sound; its name is kept for the next Save.
    EXPECT_EQ(form->soundfile, dir / "gone.wav");
    EXPECT_TRUE(SameBytes(form->zcWavePlayer1.Wave().Bytes(), sound::BuiltInAlarmWave()));
    form->BitBtn4Click();
    EXPECT_EQ(Stored("Alarm", "filename"), RegValue::Text(dir / "gone.wav"));
}

TEST_F(WindowTest, AHandEditedStoreIsReadByTheKindOfEachValue) {
    Store("Logic", "logic3", RegValue::Text("1"));
    Store("Logic", "logic4", RegValue::Text("one"));
    Store("Logic", "logic5", RegValue::Dword(5));
    Store("Timer", "Duration", RegValue::Text(" 15 "));
    Store("Startup", "Minimised", RegValue::Dword(7));
    Store("Alarm", "filename", RegValue::Text(dir.Write("bell.wav", "RIFFbell")));
    Restart();
    EXPECT_EQ(form->LogicSelector(3).ItemIndex(), 1);
    EXPECT_EQ(form->LogicSelector(4).ItemIndex(), 0);
    EXPECT_EQ(form->LogicSelector(5).ItemIndex(), -1);
    EXPECT_EQ(form->timerduration.Value(), 15);
    EXPECT_TRUE(form->startmin.Checked());
    const auto wave = form->zcWavePlayer1.Wave().Bytes();
    EXPECT_EQ(std::string(wave.begin(), wave.end()), "RIFFbell");
    // An integer stored as text stays text.
    form->BitBtn4Click();
    EXPECT_EQ(Stored("Logic", "logic3"), RegValue::Text("1"));
    EXPECT_EQ(Stored("Logic", "logic4"), RegValue::Text("0"));
    EXPECT_EQ(Stored("Logic", "logic5"), RegValue::Dword(0xFFFFFFFF));
    EXPECT_EQ(Stored("Timer", "Duration"), RegValue::Text("15"));
}

TEST_F(WindowTest, ValuesOfTheWrongKindAreNamedOnceAndSaveLosesNothing) {
    const auto url = [](int k) { return "http://host.example/" + std::to_string(k); };
    for (int k = 1; k <= TForm1::kRowCount; ++k) {
        Store("URLs", "URL" + std::to_string(k), RegValue::Text(url(k)));
        Store("Search", "Search" + std::to_string(k), RegValue::Text("text " + std::to_string(k)));
        Store("Logic", "logic" + std::to_string(k), RegValue::Dword(k % 2));
    }
    Store("Timer", "Duration", RegValue::Dword(15));
    Store("URLs", "URL2", RegValue::Binary("\x01\x02"));
    Store("Logic", "logic5", RegValue::Binary("\x05"));
    Store("Startup", "Autostart", RegValue::Binary("x"));
    const std::string named = "Invalid data type for 'Autostart', 'URL2', 'logic5'";
#ifndef _WIN32
    // The settings are a file only on Linux; Windows keeps a copy of the key instead.
    const std::string file = dir / "config/HKCU.reg";
    const std::string aside = file + ".broken-1";
    const std::string stored = pw::test::ReadFile(file);
#endif

    // The checker's window only reads: the same box, and nothing kept aside.
    Restart(TSettingsUse::ReadOnly);
    EXPECT_EQ(ErrorBoxes(), std::vector<std::string>{named});
#ifndef _WIN32
    EXPECT_FALSE(std::filesystem::exists(aside));
#endif

    // Every other value is read, and the settings as they were are kept before anything can
    // replace them.
    Restart();
#ifdef _WIN32
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_THAT(ErrorBoxes()[0],
                ::testing::StartsWith(named + ". The other settings were read. The settings "
                                              "key as it was is kept as \"HKEY_CURRENT_USER\\"));
#else
    EXPECT_EQ(ErrorBoxes(), std::vector<std::string>{named +
                                                     ". The other settings were read. The settings "
                                                     "file as it was is kept as \"" +
                                                     aside +
                                                     "\", so nothing stored is lost when Save "
                                                     "replaces it."});
    EXPECT_EQ(pw::test::ReadFile(aside), stored);
#endif
    for (int k = 1; k <= TForm1::kRowCount; ++k) {
        EXPECT_EQ(form->UrlField(k).Text(), k == 2 ? "" : url(k)) << k;
        EXPECT_EQ(form->SearchField(k).Text(), "text " + std::to_string(k)) << k;
        EXPECT_EQ(form->LogicSelector(k).ItemIndex(), k == 5 ? 0 : k % 2) << k;
    }
    EXPECT_EQ(form->timerduration.Value(), 15);
    EXPECT_FALSE(form->autostart.Checked());
    EXPECT_TRUE(form->firstshow);

    // Save replaces the stored values; the copy still holds the ones that could not be read.
    form->UrlField(2).SetText("http://host.example/new");
    form->BitBtn4.Click();
    EXPECT_EQ(ErrorBoxes().size(), 1u);  // the load's; the copy was kept then, not now
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(Stored("URLs", "URL2"), RegValue::Text("http://host.example/new"));
    EXPECT_EQ(Stored("URLs", "URL3"), RegValue::Text(url(3)));
#ifndef _WIN32
    EXPECT_EQ(pw::test::ReadFile(aside), stored);
    const std::string copyFolder = dir / "copy";
    std::filesystem::create_directories(copyFolder);
    std::filesystem::copy_file(aside, copyFolder + "/HKCU.reg");
    platform::posix::RegistryStore copy(copyFolder, nullptr);
    RegValue value;
    copy.QueryValue(platform::RegRoot::CurrentUser, std::string(kSettingsKey) + "\\URLs", "URL2",
                    value);
    EXPECT_EQ(value, RegValue::Binary("\x01\x02"));
#endif

    // The next start reads what Save wrote: nothing to name, nothing more to keep.
    Restart();
    EXPECT_TRUE(ErrorBoxes().empty());
#ifndef _WIN32
    EXPECT_FALSE(std::filesystem::exists(file + ".broken-2"));
#endif
}

TEST_F(WindowTest, RefusedWritesRaiseTheStoresMessages) {
    form->UrlField(1).SetText("http://a.example/");
    form->BitBtn4Click();
    form->UrlField(1).SetText("http://b.example/");
    form->UrlField(2).SetText(std::string(platform::kRegMaxValueBytes + 1, 'x'));
    form->BitBtn4.Click();
    EXPECT_EQ(ErrorBoxes(), (std::vector<std::string>{"Failed to set data for 'URL2'"}));
    EXPECT_EQ(Stored("URLs", "URL1"), RegValue::Text("http://b.example/"));  // written before

#ifndef _WIN32
    // A config folder that cannot exist: no section can be created. (Windows writes nothing
    // into the folder: its registry cannot be blocked this way.)
    const std::string blocked = dir.Write("blocked", "");
    platform::NativeOs badPosix{{blocked, [](const std::string&) {}}};
    platform::Os badOs{badPosix.os().registry, badPosix.os().files, shell, badPosix.os().system};
    TForm1 other({*app, badOs, internet, sound, env});
    EXPECT_THROW(
        {
            try {
                other.BitBtn4Click();
            } catch (const std::exception& e) {
                EXPECT_STREQ(e.what(), "Failed to create key URLs");
                throw;
            }
        },
        std::runtime_error);
#endif
}

TEST_F(WindowTest, ClosingKeepsTheStartupOptionsButNothingElseUnsaved) {
    form->UrlField(1).SetText("http://old.example/");
    form->BitBtn4Click();
    form->UrlField(1).SetText("http://new.example/");
    form->startmin.SetChecked(true);
    form->BitBtn1Click();

    Restart();
    EXPECT_EQ(form->UrlField(1).Text(), "http://old.example/");
    EXPECT_TRUE(form->startmin.Checked());
    Window().Show();
    EXPECT_TRUE(app->IsMinimized());
}

}  // namespace
}  // namespace pw::monitor::test
