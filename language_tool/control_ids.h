// Identifiers of the tool's windows and controls, which UI automation and our end-to-end driver
// use to find them.
#pragma once

namespace tamsel::ids {

inline constexpr wchar_t kForm1Class[] = L"Tamsel.Form1";
inline constexpr wchar_t kForm2Class[] = L"Tamsel.Form2";

// Form1, the main window.
inline constexpr int kForm1Command1 = 101; // "Set Language"
inline constexpr int kForm1Combo1 = 102;
inline constexpr int kForm1Label1 = 103; // the result line
inline constexpr int kForm1Image1 = 104; // the banner

// Form2, the selection window: the check box of catalogue row i is kForm2FirstCheckBox + i.
inline constexpr int kForm2Label1 = 200;
inline constexpr int kForm2FirstCheckBox = 201;
inline constexpr int kForm2Command1 = 216; // "Save!"

} // namespace tamsel::ids
