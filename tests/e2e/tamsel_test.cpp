// tamsel.exe as a player meets it: greeting, selection window, main window, registry.
#include "language_tool/control_ids.h"
#include "resources/resource_ids.h"
#include "ui_driver.h"

#include "../win32/test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace tamsel::ids;

const wchar_t* const kAllListTexts[] = {
    L"German", L"English",  L"Korean(Adult)",   L"Korean",   L"Spanish",
    L"French", L"Italian",  L"Chinese(Simple)", L"Chinese",  L"Russian",
    L"Thai",   L"Japanese", L"Portuguese",      L"Albanian", L"Turkish"};
const wchar_t* const kAllCaptions[] = {
    L"German", L"English",  L"Korean (Adult)",   L"Korean",   L"Spanish",
    L"French", L"Italian",  L"Chinese (simple)", L"Chinese",  L"Russian",
    L"Thai",   L"Japanese", L"Portuguese",       L"Albanian", L"Turkish"};
const wchar_t* const kIniKeys[] = {L"German", L"English",  L"KoreanA",    L"Korean",   L"Spanish",
                                   L"French", L"Italian",  L"ChineseS",   L"Chinese",  L"Russian",
                                   L"Thai",   L"Japanese", L"Portuguese", L"Albanian", L"Turkish"};

constexpr wchar_t kSteamKey[] = L"Software\\Valve\\Steam";

std::wstring UserName() {
    wchar_t name[256] = {};
    DWORD size = 256;
    ::GetUserNameW(name, &size);
    return name;
}

std::wstring SteamLanguage() {
    wchar_t data[256] = {};
    DWORD size = sizeof data;
    if (::RegGetValueW(HKEY_CURRENT_USER, kSteamKey, L"Language", RRF_RT_REG_SZ, nullptr, data,
                       &size) != ERROR_SUCCESS) {
        return L"<none>";
    }
    return data;
}

void SetSteamLanguage(const wchar_t* code) {
    if (code == nullptr) {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSteamKey, L"Language");
        return;
    }
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kSteamKey, L"Language", REG_SZ, code,
                      static_cast<DWORD>((wcslen(code) + 1) * sizeof(wchar_t)));
}

// True when the message font is the one the layouts were drawn for: Wine's default, which a new
// prefix has ("MS Shell Dlg" of 11 pixels at 96 DPI, stored as such or not at all). Windows'
// is another (Segoe UI of 9 points): there the layouts are measured, not compared to twips.
bool DefaultMessageFont() {
    if (std::wstring_view(driver::SystemMessageFont().lfFaceName) != L"MS Shell Dlg") {
        return false;
    }
    LOGFONTW font{};
    DWORD size = sizeof font;
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics", L"MessageFont",
                       RRF_RT_REG_BINARY, nullptr, &font, &size) != ERROR_SUCCESS) {
        return true;
    }
    return size == sizeof font && font.lfHeight == -11 &&
           std::wstring_view(font.lfFaceName) == L"MS Shell Dlg";
}

bool Intersect(const RECT& a, const RECT& b) {
    RECT common{};
    return ::IntersectRect(&common, &a, &b) != FALSE;
}

// Every caption fits its control, every control lies in the client area, and no control covers
// another's caption (the banner, a picture beneath the others, may lie under the list).
void ExpectEverythingFits(HWND window, const LOGFONTW& font, const std::string& where) {
    RECT client{};
    ::GetClientRect(window, &client);
    std::vector<driver::ControlLayout> controls;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        controls.push_back(driver::MeasureControl(child, font));
    }
    for (const driver::ControlLayout& control : controls) {
        const std::wstring text = driver::TextOf(control.hwnd);
        const std::string name =
            where + ", control " + std::to_string(::GetDlgCtrlID(control.hwnd));
        EXPECT_TRUE(control.fits) << name << ": caption cut";
        RECT inside{};
        ::IntersectRect(&inside, &control.rect, &client);
        EXPECT_TRUE(::EqualRect(&inside, &control.rect)) << name << ": outside the client area";
        for (const driver::ControlLayout& other : controls) {
            if (&other != &control && !other.picture && !::IsRectEmpty(&control.caption)) {
                EXPECT_FALSE(Intersect(other.rect, control.caption))
                    << name << ": caption covered by control " << ::GetDlgCtrlID(other.hwnd);
            }
        }
    }
    const SIZE size = driver::ClientSize(window);
    std::printf("%s: client %ld x %ld\n", where.c_str(), size.cx, size.cy);
    RECT outer{};
    ::GetWindowRect(window, &outer);
    const RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    EXPECT_TRUE(::PtInRect(&screen, POINT{outer.left, outer.top})) << where;
    if (outer.bottom - outer.top <= screen.bottom) {
        EXPECT_LE(outer.bottom, screen.bottom) << where;
    }
    EXPECT_LE(outer.right, screen.right) << where;
}

// A control's place in twips, as the layout draws it at the message font it was made for.
void ExpectAtTwips(HWND control, int left, int top, int width, int height) {
    const RECT rect = driver::MeasureControl(control, LOGFONTW{}).rect;
    EXPECT_EQ(rect.left, driver::Pixels(left)) << ::GetDlgCtrlID(control);
    EXPECT_EQ(rect.top, driver::Pixels(top)) << ::GetDlgCtrlID(control);
    EXPECT_EQ(rect.right - rect.left, driver::Pixels(width)) << ::GetDlgCtrlID(control);
    EXPECT_EQ(rect.bottom - rect.top, driver::Pixels(height)) << ::GetDlgCtrlID(control);
}

class Tamsel : public ::testing::Test {
protected:
    // The player's own Steam language, put back after the test (which removes it).
    test::SavedRegistryValue steamLanguage_{HKEY_CURRENT_USER, kSteamKey, L"Language"};

    void SetUp() override {
        PlaceIn(folder_.path());
        SetSteamLanguage(nullptr);
    }
    void TearDown() override { SetSteamLanguage(nullptr); }

    // Puts the program into that folder; later starts run it from there.
    void PlaceIn(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        exe_ = (folder / L"tamsel.exe").wstring();
        ASSERT_TRUE(
            ::CopyFileW((driver::ProgramFolder() / L"tamsel.exe").c_str(), exe_.c_str(), FALSE));
    }

    std::wstring Ini() const {
        return (std::filesystem::path(exe_).parent_path() / L"config.ini").wstring();
    }
    void WriteIni(const std::string& text) const { test::WriteBytes(Ini(), text); }

    void Start() {
        program_ = std::make_unique<driver::Program>(exe_, L"\"" + exe_ + L"\"");
        ASSERT_TRUE(program_->Started());
    }

    // Reads the greeting, checks its form, and presses OK.
    std::wstring AnswerGreeting() {
        const auto box = driver::WaitForMessageBox(program_->Id());
        if (!box) {
            ADD_FAILURE() << "no greeting box";
            return {};
        }
        EXPECT_EQ(box->title, L"Mirelak");
        EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
        EXPECT_FALSE(box->hasIcon);
        // The start window exists by now, hidden: the greeting is the first thing on screen.
        HWND start = driver::FindAnyTopWindow(program_->Id(), kForm2Class);
        EXPECT_NE(start, nullptr);
        EXPECT_FALSE(start != nullptr && ::IsWindowVisible(start));
        driver::AnswerMessageBox(*box, IDOK);
        return box->text;
    }

    HWND MainWindow() {
        return driver::WaitForTopWindow(program_->Id(), kForm1Class, L"Vantoline by Tarquist");
    }

    // A later start straight into the main window.
    HWND StartIntoMainWindow(const std::string& languages) {
        WriteIni("[Settings]\r\nFirstStart=0\r\n[Languages]\r\n" + languages);
        Start();
        AnswerGreeting();
        return MainWindow();
    }

    void CloseAndExpectEnd(HWND window) {
        driver::Close(window);
        EXPECT_EQ(program_->WaitForExit(), 0u);
    }

    test::TempFolder folder_;
    std::wstring exe_;
    std::unique_ptr<driver::Program> program_;
};

TEST_F(Tamsel, FirstStartGreetsOffersTheSelectionAndSavesIt) {
    Start();
    EXPECT_EQ(AnswerGreeting(), L"Hello " + UserName() +
                                    L",\r\nPlease choose the languages you want to implement in "
                                    L"the Vantoline!");

    HWND form2 = driver::WaitForTopWindow(program_->Id(), kForm2Class, L"Properties");
    ASSERT_NE(form2, nullptr);
    if (DefaultMessageFont()) {
        EXPECT_EQ(driver::ClientSize(form2).cx, driver::Pixels(3840));
        EXPECT_EQ(driver::ClientSize(form2).cy, driver::Pixels(4785));
    }
    for (int row = 0; row < 15; ++row) {
        HWND box = ::GetDlgItem(form2, kForm2FirstCheckBox + row);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(driver::TextOf(box), kAllCaptions[row]);
        EXPECT_FALSE(driver::IsChecked(box));
    }
    EXPECT_EQ(driver::TextOf(::GetDlgItem(form2, kForm2Command1)), L"Save!");
    EXPECT_TRUE(driver::WaitUntil(
        [&] { return driver::FocusOf(form2) == ::GetDlgItem(form2, kForm2FirstCheckBox); }));
    // Tab order: down the column to "Albanian", then "Save!", then "Turkish", then round.
    HWND item = ::GetDlgItem(form2, kForm2FirstCheckBox + 13);
    item = ::GetNextDlgTabItem(form2, item, FALSE);
    EXPECT_EQ(::GetDlgCtrlID(item), kForm2Command1);
    item = ::GetNextDlgTabItem(form2, item, FALSE);
    EXPECT_EQ(::GetDlgCtrlID(item), kForm2FirstCheckBox + 14);
    item = ::GetNextDlgTabItem(form2, item, FALSE);
    EXPECT_EQ(::GetDlgCtrlID(item), kForm2FirstCheckBox);

    driver::SaveScreenshot(form2, driver::ScreenshotFolder() / L"tamsel-properties.bmp");
    driver::SetChecked(::GetDlgItem(form2, kForm2FirstCheckBox + 0), true);  // German
    driver::SetChecked(::GetDlgItem(form2, kForm2FirstCheckBox + 14), true); // Turkish
    driver::Press(::GetDlgItem(form2, kForm2Command1));

    HWND form1 = MainWindow();
    ASSERT_NE(form1, nullptr);
    EXPECT_TRUE(driver::WaitUntil([&] { return !::IsWindowVisible(form2); }));
    EXPECT_EQ(driver::ComboItems(::GetDlgItem(form1, kForm1Combo1)),
              (std::vector<std::wstring>{L"German", L"Turkish"}));

    // Each key written once, every "1" before every "0", "FirstStart" last: new keys are
    // appended in the order they are written.
    std::string expected = "[Languages]\r\nGerman=1\r\nTurkish=1\r\n";
    for (int row = 1; row < 14; ++row) {
        std::string key;
        for (const wchar_t* c = kIniKeys[row]; *c != 0; ++c) {
            key.push_back(static_cast<char>(*c));
        }
        expected += key + "=0\r\n";
    }
    expected += "[Settings]\r\nFirstStart=0\r\n";
    EXPECT_EQ(test::ReadBytes(Ini()), expected);
    CloseAndExpectEnd(form1);
}

TEST_F(Tamsel, ClosingTheSelectionOnAFirstStartEndsAndWritesNothing) {
    WriteIni("[Settings]\r\nFirstStart=no\r\n"); // not a number: a first start, no crash
    Start();
    EXPECT_NE(AnswerGreeting().find(L"implement in the Vantoline!"), std::wstring::npos);
    HWND form2 = driver::WaitForTopWindow(program_->Id(), kForm2Class, L"Properties");
    ASSERT_NE(form2, nullptr);
    CloseAndExpectEnd(form2);
    EXPECT_EQ(test::ReadBytes(Ini()), "[Settings]\r\nFirstStart=no\r\n");
}

TEST_F(Tamsel, LaterStartListsLanguagesWhoseValueEqualsOne) {
    WriteIni("[Settings]\r\nFirstStart=\r\n[Languages]\r\nGerman=1\r\nEnglish=01\r\n"
             "KoreanA=yes\r\nKorean=2\r\nSpanish=\r\nFrench=0\r\nThai=&H1\r\nTurkish= 1.0 \r\n");
    Start();
    EXPECT_EQ(AnswerGreeting(), L"Hello " + UserName() +
                                    L",\r\nPlease choose the language you want to use in Ironvale");
    HWND form1 = MainWindow();
    ASSERT_NE(form1, nullptr);
    EXPECT_EQ(driver::ComboItems(::GetDlgItem(form1, kForm1Combo1)),
              (std::vector<std::wstring>{L"German", L"English", L"Thai", L"Turkish"}));
    HWND form2 = driver::FindAnyTopWindow(program_->Id(), kForm2Class);
    EXPECT_TRUE(form2 == nullptr || !::IsWindowVisible(form2));
    CloseAndExpectEnd(form1);
}

TEST_F(Tamsel, SetLanguageWritesReadsBackAndGrowsTheWindow) {
    std::string all;
    for (const wchar_t* key : kIniKeys) {
        all += std::string(key, key + wcslen(key)) + "=1\r\n";
    }
    HWND form1 = StartIntoMainWindow(all);
    ASSERT_NE(form1, nullptr);
    HWND combo = ::GetDlgItem(form1, kForm1Combo1);
    HWND label = ::GetDlgItem(form1, kForm1Label1);
    EXPECT_EQ(driver::ComboItems(combo),
              std::vector<std::wstring>(std::begin(kAllListTexts), std::end(kAllListTexts)));
    const SIZE compact = driver::ClientSize(form1);
    const bool drawnFont = DefaultMessageFont();
    if (drawnFont) {
        EXPECT_EQ(compact.cx, driver::Pixels(5580));
        EXPECT_EQ(compact.cy, driver::Pixels(1800));
        EXPECT_EQ(driver::ClientSize(::GetDlgItem(form1, kForm1Image1)).cx, driver::Pixels(5535));
        EXPECT_EQ(driver::ClientSize(::GetDlgItem(form1, kForm1Image1)).cy, driver::Pixels(1050));
    }
    RECT outer{};
    ::GetWindowRect(form1, &outer);
    EXPECT_NEAR((outer.left + outer.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    const LONG style = ::GetWindowLongW(form1, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_NE(::GetWindowLongW(form1, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::FocusOf(form1) == combo; }));

    // Nothing chosen: only the warning; nothing written, the window keeps its size.
    SetSteamLanguage(L"english");
    driver::Press(::GetDlgItem(form1, kForm1Command1));
    const auto warning = driver::WaitForMessageBox(program_->Id());
    ASSERT_TRUE(warning.has_value());
    EXPECT_EQ(warning->title, L"Mirelak");
    EXPECT_EQ(warning->text, L"Please choose a Language!");
    EXPECT_EQ(warning->buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_FALSE(warning->hasIcon);
    EXPECT_EQ(::GetWindow(warning->hwnd, GW_OWNER), form1);
    driver::AnswerMessageBox(*warning, IDOK);
    EXPECT_TRUE(driver::WaitUntil([&] { return !::IsWindow(warning->hwnd); }));
    EXPECT_EQ(driver::TextOf(label), L"");
    EXPECT_EQ(driver::ClientSize(form1).cy, compact.cy);
    EXPECT_EQ(SteamLanguage(), L"english");

    driver::SelectComboItem(combo, L"Korean(Adult)");
    driver::Press(::GetDlgItem(form1, kForm1Command1));
    EXPECT_TRUE(driver::WaitUntil(
        [&] { return driver::TextOf(label) == L"Steam-Language set to koreana"; }));
    EXPECT_EQ(SteamLanguage(), L"koreana");
    const int expanded = driver::ClientSize(form1).cy;
    if (drawnFont) {
        EXPECT_EQ(expanded, driver::Pixels(2005));
    }
    EXPECT_EQ(driver::ClientSize(form1).cx, compact.cx);

    // A second choice replaces the stored value and the line; the height stays.
    driver::SelectComboItem(combo, L"Chinese");
    driver::Press(::GetDlgItem(form1, kForm1Command1));
    EXPECT_TRUE(driver::WaitUntil(
        [&] { return driver::TextOf(label) == L"Steam-Language set to tchinese"; }));
    EXPECT_EQ(driver::ClientSize(form1).cy, expanded);
    driver::SaveScreenshot(form1, driver::ScreenshotFolder() / L"tamsel-main.bmp");
    CloseAndExpectEnd(form1);
}

// A screen reader names the list from the label before it, and this one has none: it hears
// the name the tool gives it.
TEST_F(Tamsel, TheListIsNamedLanguageForScreenReaders) {
    if (test::RunningOnWine()) {
        GTEST_SKIP() << "Wine's oleacc gives no accessible object for another process's window "
                        "(E_NOINTERFACE) and ignores names given through IAccPropServices";
    }
    HWND form1 = StartIntoMainWindow("German=1\r\n");
    ASSERT_NE(form1, nullptr);
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    struct Uninitialize {
        ~Uninitialize() { ::CoUninitialize(); }
    } uninitialize;
    platform::ComPtr<IAccessible> accessible;
    ASSERT_EQ(::AccessibleObjectFromWindow(::GetDlgItem(form1, kForm1Combo1),
                                           static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                           accessible.put_void()),
              S_OK);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    platform::OwnedBstr name;
    EXPECT_EQ(accessible->get_accName(self, name.put()), S_OK);
    EXPECT_EQ(std::wstring(name ? name.get() : L"<none>"), L"Language");
    CloseAndExpectEnd(form1);
}

TEST_F(Tamsel, NoSettingsMeansAnEmptyListAndTheWarning) {
    HWND form1 = StartIntoMainWindow("");
    ASSERT_NE(form1, nullptr);
    EXPECT_TRUE(driver::ComboItems(::GetDlgItem(form1, kForm1Combo1)).empty());
    driver::Press(::GetDlgItem(form1, kForm1Command1));
    const auto warning = driver::WaitForMessageBox(program_->Id());
    ASSERT_TRUE(warning.has_value());
    EXPECT_EQ(warning->text, L"Please choose a Language!");
    driver::AnswerMessageBox(*warning, IDOK);
    CloseAndExpectEnd(form1);
}

// The keys as a keyboard user meets them, posted to the control that has the focus. Escape
// closes a window as its close box does: the selection before the save (nothing written) and the
// main window end the program. Enter presses the default button from a check box ("Save!") and
// from the list ("Set Language").
TEST_F(Tamsel, EnterPressesTheDefaultButtonAndEscapeClosesTheWindow) {
    for (const WORD key : {WORD{VK_ESCAPE}, WORD{VK_RETURN}}) {
        SCOPED_TRACE(key == VK_RETURN ? "Enter" : "Escape");
        ::DeleteFileW(Ini().c_str());
        Start();
        AnswerGreeting();
        HWND form2 = driver::WaitForTopWindow(program_->Id(), kForm2Class, L"Properties");
        ASSERT_NE(form2, nullptr);
        HWND german = ::GetDlgItem(form2, kForm2FirstCheckBox);
        ASSERT_TRUE(driver::WaitUntil([&] { return driver::FocusOf(form2) == german; }));
        driver::SetChecked(german, true);
        ASSERT_TRUE(driver::PressKey(form2, key));
        if (key == VK_ESCAPE) {
            EXPECT_EQ(program_->WaitForExit(), 0u);
            EXPECT_FALSE(std::filesystem::exists(Ini()));
            continue;
        }
        HWND form1 = MainWindow();
        ASSERT_NE(form1, nullptr);
        HWND combo = ::GetDlgItem(form1, kForm1Combo1);
        EXPECT_EQ(driver::ComboItems(combo), std::vector<std::wstring>{L"German"});
        driver::SelectComboItem(combo, L"German");
        ASSERT_TRUE(driver::WaitUntil([&] { return driver::FocusOf(form1) == combo; }));
        ASSERT_TRUE(driver::PressKey(form1, VK_RETURN));
        EXPECT_TRUE(driver::WaitUntil([&] {
            return driver::TextOf(::GetDlgItem(form1, kForm1Label1)) ==
                   L"Steam-Language set to german";
        }));
        EXPECT_EQ(SteamLanguage(), L"german");
        ASSERT_TRUE(driver::PressKey(form1, VK_ESCAPE));
        EXPECT_EQ(program_->WaitForExit(), 0u);
    }
}

// Folder names outside any 8-bit legacy code page, and a full-width letter whose best-fit
// look-alike would name another folder: the settings go beside the program, exactly there.
TEST_F(Tamsel, SavesAndReadsItsSettingsInAFolderNamedInAnyScript) {
    for (const wchar_t* name : {L"\u0141\u00f3d\u017a \u6e38\u620f", L"\uff27ames"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        PlaceIn(folder_.path() / name);
        Start();
        AnswerGreeting();
        HWND form2 = driver::WaitForTopWindow(program_->Id(), kForm2Class, L"Properties");
        ASSERT_NE(form2, nullptr);
        driver::SetChecked(::GetDlgItem(form2, kForm2FirstCheckBox + 11), true); // Japanese
        driver::Press(::GetDlgItem(form2, kForm2Command1));
        HWND form1 = MainWindow();
        ASSERT_NE(form1, nullptr);
        EXPECT_EQ(driver::ComboItems(::GetDlgItem(form1, kForm1Combo1)),
                  std::vector<std::wstring>{L"Japanese"});
        CloseAndExpectEnd(form1);
        EXPECT_NE(test::ReadBytes(Ini()).find("Japanese=1"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(folder_.path() / L"Games"));

        Start(); // a later start, from the same file
        EXPECT_NE(AnswerGreeting().find(L"use in Ironvale"), std::wstring::npos);
        form1 = MainWindow();
        ASSERT_NE(form1, nullptr);
        EXPECT_EQ(driver::ComboItems(::GetDlgItem(form1, kForm1Combo1)),
                  std::vector<std::wstring>{L"Japanese"});
        CloseAndExpectEnd(form1);
    }
}

TEST_F(Tamsel, ASaveThatFailsSaysSoOnceAndGoesOn) {
    // A folder where the file should be: every write fails, as in a folder the user may not
    // write (running as root, a read-only mode would not stop us).
    std::filesystem::create_directory(Ini());
    Start();
    AnswerGreeting();
    HWND form2 = driver::WaitForTopWindow(program_->Id(), kForm2Class, L"Properties");
    ASSERT_NE(form2, nullptr);
    driver::SetChecked(::GetDlgItem(form2, kForm2FirstCheckBox), true);
    driver::Press(::GetDlgItem(form2, kForm2Command1));

    const auto box = driver::WaitForMessageBox(program_->Id());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, L"Mirelak");
    EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_TRUE(box->hasIcon);
    const std::wstring head = L"The settings could not be saved to\r\n" + Ini() + L"\r\n\r\n";
    EXPECT_EQ(box->text.substr(0, head.size()), head);
    EXPECT_GT(box->text.size(), head.size()); // the system's reason follows
    driver::AnswerMessageBox(*box, IDOK);

    // One box for all sixteen failed writes: a second one would hold back the main window,
    // which comes up as after any save, with an empty list.
    HWND form1 = MainWindow();
    ASSERT_NE(form1, nullptr);
    EXPECT_TRUE(driver::ComboItems(::GetDlgItem(form1, kForm1Combo1)).empty());
    CloseAndExpectEnd(form1);
}

// Players' message fonts: the one the layout was drawn for (exactly today's pixels), the 9-point
// fonts of Windows 10/11, and "Make text bigger" up to 20 points. Under Wine a font changed in
// the registry reaches every program started afterwards; Windows keeps a session's font until
// the next sign-in, and the kit changes no system setting: there, the system's own font.
TEST_F(Tamsel, BothWindowsFitTheirTextInEveryMessageFont) {
    struct Font {
        const wchar_t* face; // null: the system's own font
        int points;
        const wchar_t* shots; // screenshot names' ending; null: none
    };
    std::vector<Font> fonts{{nullptr, 0, nullptr}};
    const bool fontsCanChange = test::RunningOnWine() && !test::RunningFromKit();
    // Only where the font changes: the font as stored (or its absence), put back exactly.
    std::optional<test::SavedRegistryValue> savedFont;
    if (fontsCanChange) {
        savedFont.emplace(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics",
                          L"MessageFont");
        fonts.push_back({L"Liberation Sans", 9, L"-9pt"});
    } else {
        std::printf("Only the system's message font: no font of the player's is changed here\n");
    }
    if (fontsCanChange && driver::ScreenDpi() == 96) {
        fonts.push_back({L"DejaVu Sans", 9, nullptr});
        fonts.push_back({L"Liberation Sans", 20, L"-20pt"});
    }
    const bool drawnFont = DefaultMessageFont();
    const LOGFONTW prefixFont = driver::SystemMessageFont(); // before any change
    for (const Font& font : fonts) {
        LOGFONTW logFont = prefixFont;
        if (font.face != nullptr) {
            const LOGFONTW stored = driver::FontOfPoints(font.face, font.points);
            logFont = driver::SetMessageFont(&stored);
        }
        std::string where(font.face != nullptr ? "" : "system font");
        for (const wchar_t* c = font.face; c != nullptr && *c != 0; ++c) {
            where.push_back(static_cast<char>(*c));
        }
        where += " " + std::to_string(font.points) + " pt at " +
                 std::to_string(driver::ScreenDpi()) + " DPI";
        SCOPED_TRACE(where);
        ::DeleteFileW(Ini().c_str());
        Start();
        AnswerGreeting();
        HWND form2 = driver::WaitForTopWindow(program_->Id(), kForm2Class, L"Properties");
        ASSERT_NE(form2, nullptr);
        ExpectEverythingFits(form2, logFont, "selection, " + where);
        if (font.face == nullptr && drawnFont) {
            ExpectAtTwips(::GetDlgItem(form2, kForm2Label1), 120, 120, 3615, 495);
            ExpectAtTwips(::GetDlgItem(form2, kForm2FirstCheckBox + 7), 120, 2280, 1575, 255);
            ExpectAtTwips(::GetDlgItem(form2, kForm2FirstCheckBox + 14), 120, 3960, 1455, 255);
            ExpectAtTwips(::GetDlgItem(form2, kForm2Command1), 120, 4320, 3615, 375);
        }
        if (font.shots != nullptr) {
            driver::SaveScreenshot(form2,
                                   driver::ScreenshotFolder() /
                                       (std::wstring(L"tamsel-properties") + font.shots + L".bmp"));
        }
        driver::SetChecked(::GetDlgItem(form2, kForm2FirstCheckBox + 2), true); // Korean (Adult)
        driver::Press(::GetDlgItem(form2, kForm2Command1));

        HWND form1 = MainWindow();
        ASSERT_NE(form1, nullptr);
        driver::SelectComboItem(::GetDlgItem(form1, kForm1Combo1), L"Korean(Adult)");
        driver::Press(::GetDlgItem(form1, kForm1Command1));
        HWND label = ::GetDlgItem(form1, kForm1Label1);
        EXPECT_TRUE(driver::WaitUntil(
            [&] { return driver::TextOf(label) == L"Steam-Language set to koreana"; }));
        ExpectEverythingFits(form1, logFont, "main, " + where);
        RECT outer{};
        ::GetWindowRect(form1, &outer);
        EXPECT_NEAR((outer.left + outer.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
        if (font.face == nullptr && drawnFont) {
            ExpectAtTwips(::GetDlgItem(form1, kForm1Command1), 120, 1320, 5355, 375);
            ExpectAtTwips(label, 120, 1750, 5415, 255);
        }
        if (font.shots != nullptr) {
            driver::SaveScreenshot(form1,
                                   driver::ScreenshotFolder() /
                                       (std::wstring(L"tamsel-main") + font.shots + L".bmp"));
        }
        CloseAndExpectEnd(form1);
    }
}

TEST(TamselFile, CarriesItsIconAndBannerAsResources) {
    const std::wstring exe = (driver::ProgramFolder() / L"tamsel.exe").wstring();
    HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    HRSRC group =
        ::FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* directory = static_cast<const WORD*>(::LockResource(::LoadResource(module, group)));
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(directory[2], 12); // idCount: all twelve images
    for (const int size : {16, 24, 32, 48, 64, 72, 96, 128}) {
        HICON icon = static_cast<HICON>(
            ::LoadImageW(module, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, 0));
        EXPECT_NE(icon, nullptr) << size;
        ::DestroyIcon(icon);
    }
    EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(IDR_BANNER), MAKEINTRESOURCEW(10)), nullptr);
    // Known DLLs only, which Windows never looks for beside the program: comctl32 is loaded
    // at run time, from System32.
    EXPECT_EQ(driver::ImportedDlls(module),
              (std::vector<std::string>{"ADVAPI32.dll", "GDI32.dll", "KERNEL32.dll", "OLEAUT32.dll",
                                        "USER32.dll", "msvcrt.dll", "ole32.dll"}));
    ::FreeLibrary(module);
}

} // namespace
