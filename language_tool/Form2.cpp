// The selection window and the start-up: the greeting, and the choice of languages on a first
// start.
#include "Form2.h"

#include "Form1.h"
#include "Module1.h"
#include "Module2.h"
#include "choices.h"
#include "control_ids.h"
#include "greeting.h"
#include "language_catalogue.h"

#include "../platform/error_text.h"

#include <array>
#include <string_view>

namespace tamsel {
namespace {

using platform::ControlKind;

constexpr platform::WindowDesc kWindow{ids::kForm2Class,
                                       L"Properties",
                                       3840,
                                       4785,
                                       platform::Frame::ToolWindow,
                                       platform::Placement::SystemDefault};

constexpr int CheckBoxId(std::size_t row) {
    return ids::kForm2FirstCheckBox + static_cast<int>(row);
}

// Width of each check box, in catalogue order; they stand 240 twips apart from 600 down.
constexpr std::array<int, 15> kCheckBoxWidths{975, 855, 1335, 855,  975,  855,  855, 1575,
                                              975, 975, 735,  1095, 1215, 1335, 1455};

// The tab order runs down the column to "Albanian", then to "Save!", and reaches "Turkish" last.
constexpr int TabIndex(std::size_t row) {
    return row == 14 ? 16 : static_cast<int>(row);
}

constexpr std::array<platform::ControlDesc, 17> MakeControls() {
    std::array<platform::ControlDesc, 17> controls{};
    controls[0] = {ids::kForm2Label1,
                   ControlKind::Label,
                   L"Please choose the languages you want to have in your list for changing the "
                   L"Steam-Language!",
                   {120, 120, 3615, 495},
                   14};
    for (std::size_t row = 0; row < kLanguages.size(); ++row) {
        controls[row + 1] = {CheckBoxId(row),
                             ControlKind::CheckBox,
                             kLanguages[row].caption,
                             {120, 600 + 240 * static_cast<int>(row), kCheckBoxWidths[row], 255},
                             TabIndex(row)};
    }
    controls[16] = {
        ids::kForm2Command1, ControlKind::DefaultButton, L"Save!", {120, 4320, 3615, 375}, 15};
    return controls;
}

constexpr std::array<platform::ControlDesc, 17> kControls = MakeControls();

} // namespace

void Form2::Start() {
    // The window exists, hidden, when the greeting comes up; its seventeen controls are made
    // after the greeting, which thus comes up sooner (creating them takes about as long as
    // showing the box), and before the window is shown or hidden.
    window_ = std::make_unique<platform::Window>(
        kWindow, kControls, static_cast<FormEvents&>(*this), platform::ControlCreation::Later);
    if (!platform::EndIfNotCreated(*window_, kBoxTitle)) {
        Form_Load();
    }
}

void Form2::Form_Load() {
    const bool firstStart =
        IsFirstStart(ReadIniValue(kSettingsSection, kFirstStartKey, L"1", SettingsPath()));
    platform::ShowMessage(nullptr, Greeting(GetLogonUserName(), firstStart), kBoxTitle,
                          platform::MessageButtons::Ok, platform::MessageIcon::None);
    window_->CreateControls();
    if (platform::EndIfNotCreated(*window_, kBoxTitle)) {
        return;
    }
    if (firstStart) {
        window_->Show();
    } else {
        mainWindow_.Show();
        window_->Hide();
    }
}

void Form2::Control_Click(int controlId) {
    if (controlId == ids::kForm2Command1) {
        Command1_Click();
    }
}

void Form2::Command1_Click() {
    // Every write is made, whatever the others did; a failure is reported once, after the last.
    std::array<bool, kLanguages.size()> checked{};
    for (std::size_t row = 0; row < kLanguages.size(); ++row) {
        checked[row] = window_->IsChecked(CheckBoxId(row));
    }
    std::array<platform::ErrorCode, kSaveWriteCount> errors{};
    std::size_t next = 0;
    for (const SettingsWrite& write : SavePlan(checked)) {
        errors[next++] = WriteIniValue(std::wstring(write.section), std::wstring(write.key),
                                       std::wstring(write.value), SettingsPath());
    }
    if (const platform::ErrorCode failure = ReportedFailure(errors); failure != platform::kDone) {
        platform::ShowMessage(
            window_.get(), SaveFailureMessage(SettingsPath(), platform::ErrorText(failure)),
            kBoxTitle, platform::MessageButtons::Ok, platform::MessageIcon::Error);
    }
    window_->Hide();
    mainWindow_.Show();
}

void Form2::Form_Unload() {
    // Closed before the main window ever came up: no window is left, so the program ends.
    if (!mainWindow_.IsLoaded()) {
        platform::EndMessageLoop(0);
    }
}

} // namespace tamsel
