// The main window: the enabled languages in a drop-down list, "Set Language", and the value
// that Steam's language setting holds afterwards.
#pragma once

#include "../platform/window.h"

#include <memory>
#include <string>

namespace tamsel {

inline constexpr wchar_t kSteamLanguagePath[] =
    L"HKEY_CURRENT_USER\\Software\\Valve\\Steam\\Language";

class Form1 final : private platform::FormEvents {
public:
    Form1() = default;

    // Creates the window at its first showing (running its load), then shows it.
    void Show();
    bool IsLoaded() const { return window_ != nullptr; }

    // The registry through WScript.Shell; every failure becomes false or "".
    bool RegWrite(std::wstring path, std::wstring value, std::wstring type);
    std::wstring RegRead(std::wstring path);

private:
    void Form_Load() override;
    void Control_Click(int controlId) override;
    void Form_Unload() override;
    void Command1_Click();
    void SetSteamLanguage(std::wstring code);

    std::unique_ptr<platform::Window> window_;
};

} // namespace tamsel
