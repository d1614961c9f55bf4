// The main window: the enabled languages, "Set Language" and what Steam's value holds after it.
#include "Form1.h"

#include "Module2.h"
#include "choices.h"
#include "control_ids.h"
#include "language_catalogue.h"

#include "../platform/script_shell.h"
#include "../resources/resource_ids.h"

#include <array>

namespace tamsel {
namespace {

using platform::ControlKind;
using platform::kNoTabStop;

constexpr platform::WindowDesc kWindow{ids::kForm1Class,
                                       L"Vantoline by Tarquist",
                                       5580,
                                       1800,
                                       platform::Frame::ToolWindow,
                                       platform::Placement::CentreScreen,
                                       IDI_APP};

constexpr std::array<platform::ControlDesc, 4> kControls{{
    {ids::kForm1Command1, ControlKind::DefaultButton, L"Set Language", {120, 1320, 5355, 375}, 1},
    // No label precedes the list, after which Windows would name it for screen readers.
    {.id = ids::kForm1Combo1,
     .kind = ControlKind::DropDownList,
     .caption = L"",
     .rect = {120, 960, 5355, 315},
     .tabIndex = 0,
     .accessibleName = L"Language"},
    {ids::kForm1Label1, ControlKind::Label, L"", {120, 1750, 5415, 255}, 2},
    {ids::kForm1Image1, ControlKind::Picture, L"", {0, 0, 5535, 1050}, kNoTabStop, IDR_BANNER},
}};

// The bottom edge of the result line: the window's layout moves it down with the line where a
// larger message font makes the line taller.
constexpr int kExpandedClientHeightTwips = 2005;

} // namespace

void Form1::Show() {
    if (!window_) {
        window_ =
            std::make_unique<platform::Window>(kWindow, kControls, static_cast<FormEvents&>(*this));
        if (platform::EndIfNotCreated(*window_, kBoxTitle)) {
            return;
        }
        Form_Load();
    }
    window_->Show();
}

bool Form1::RegWrite(std::wstring path, std::wstring value, std::wstring type) {
    return platform::ScriptShellRegWrite(platform::kScriptShellProgId, path, value, type);
}

std::wstring Form1::RegRead(std::wstring path) {
    return platform::ScriptShellRegRead(platform::kScriptShellProgId, path).value_or(L"");
}

void Form1::SetSteamLanguage(std::wstring code) {
    RegWrite(kSteamLanguagePath, std::move(code), L"REG_SZ");
}

void Form1::Form_Load() {
    std::array<SettingsValue, kLanguages.size()> values;
    for (std::size_t row = 0; row < kLanguages.size(); ++row) {
        values[row] = ReadIniValue(kLanguagesSection, std::wstring(kLanguages[row].iniKey), L"0",
                                   SettingsPath());
    }
    for (const std::wstring_view listText : ListedLanguages(values)) {
        window_->AddItem(ids::kForm1Combo1, std::wstring(listText));
    }
}

void Form1::Control_Click(int controlId) {
    if (controlId == ids::kForm1Command1) {
        Command1_Click();
    }
}

void Form1::Command1_Click() {
    const std::wstring choice = window_->Text(ids::kForm1Combo1);
    if (choice.empty()) {
        platform::ShowMessage(window_.get(), L"Please choose a Language!", kBoxTitle,
                              platform::MessageButtons::Ok, platform::MessageIcon::None);
        return;
    }
    if (const Language* language = FindByListText(choice)) {
        SetSteamLanguage(std::wstring(language->steamCode));
    }
    const std::wstring stored = RegRead(kSteamLanguagePath);
    window_->SetText(ids::kForm1Label1, L"Steam-Language set to " + stored);
    window_->SetClientHeightTwips(kExpandedClientHeightTwips);
}

void Form1::Form_Unload() {
    platform::EndMessageLoop(0);
}

} // namespace tamsel
