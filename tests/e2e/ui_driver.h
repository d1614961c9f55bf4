// A small UI driver for end-to-end tests: starts a program, finds its windows and message
// boxes, reads and presses standard controls from outside, and takes screenshots.
#pragma once

#include "platform/win_owned.h"

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace driver {

using namespace std::chrono_literals;
constexpr std::chrono::milliseconds kTimeout = 15s;
// How long a check that something does *not* happen (no game start, no box) waits: long enough
// for a program under Wine that would do it to have done it (the stand-in game records its start
// within about 0.25 s here), far shorter than kTimeout.
constexpr std::chrono::milliseconds kGrace = 1000ms;

// Polls until the condition holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = kTimeout);

// A program started for a test; killed at the end if it is still running.
class Program {
public:
    // Starts the program with exactly this command line (the program's own name included), as
    // this process's user or, given a primary token, as that token's.
    Program(const std::wstring& exe, const std::wstring& commandLine, HANDLE token = nullptr);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return static_cast<bool>(process_); }
    DWORD Id() const { return id_; }
    // Waits for the end; the exit code, or nothing when it is still running after the timeout.
    std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout = kTimeout);

private:
    platform::OwnedHandle process_;
    DWORD id_ = 0;
};

// A visible top-level window of the process with the given class and caption.
HWND FindTopWindow(DWORD processId, const std::wstring& className, const std::wstring& caption);
HWND WaitForTopWindow(DWORD processId, const std::wstring& className, const std::wstring& caption);
// Any top-level window of the process with that class (visible or not).
HWND FindAnyTopWindow(DWORD processId, const std::wstring& className);

struct MessageBoxView {
    HWND hwnd = nullptr;
    std::wstring title;
    std::wstring text;
    std::vector<std::wstring> buttons; // captions of the visible buttons
    bool hasIcon = false;
};

// The first message box (dialog class "#32770") the process shows.
std::optional<MessageBoxView> WaitForMessageBox(DWORD processId,
                                                std::chrono::milliseconds timeout = kTimeout);
// The first message box with this caption that any process shows: for programs that the
// shell starts.
std::optional<MessageBoxView> WaitForMessageBoxTitled(const std::wstring& title,
                                                      std::chrono::milliseconds timeout = kTimeout);
// Whether the box's OK takes a press now: a question greys it for a moment after it comes to
// the front.
bool OkTakesPress(HWND box);
// A question greys OK for a moment as it comes to the front: waits for that moment to begin
// (at most kGrace) and to end. False where OK still takes no press after kTimeout.
bool WaitForOkAfterItsWait(HWND box);
// Presses the message box's button with this identifier (IDOK, IDCANCEL); OK once it takes a
// press, and then waits for the box to go. False where nothing was pressed: the box went first.
bool AnswerMessageBox(const MessageBoxView& box, int buttonId);

std::wstring TextOf(HWND window);
std::vector<std::wstring> ComboItems(HWND combo);
void SelectComboItem(HWND combo, const std::wstring& text);
bool IsChecked(HWND checkBox);
void SetChecked(HWND checkBox, bool checked);
// Presses a push button the way a click does: its parent gets BN_CLICKED. Posted, so that a
// modal box the handler opens does not block the driver.
void Press(HWND button);
void Close(HWND window);
SIZE ClientSize(HWND window);
// The screen's DPI, and twips in pixels at that DPI.
int ScreenDpi();
int Pixels(int twips);
HWND FocusOf(HWND window); // the control that has the keyboard focus in that window's thread
// A key pressed and let go as the keyboard delivers it: posted to the control that has the
// focus in that window's thread, so that the program's message loop (IsDialogMessage) sees it
// first. False when no control has the focus.
bool PressKey(HWND window, WORD key);

// The message font: HKCU\Control Panel\Desktop\WindowMetrics "MessageFont", which programs
// started afterwards use (this process keeps the font it read first). Null removes the value:
// Wine's default font. Returns the font as those programs get it at the screen's DPI.
LOGFONTW SetMessageFont(const LOGFONTW* font);
// A font of that face and size in points as that value holds it: Wine reads it at 96 DPI and
// scales its height to the screen's DPI.
LOGFONTW FontOfPoints(const wchar_t* face, int points);
// The message font as this process sees it (read once per process, before any change).
LOGFONTW SystemMessageFont();

// A control's rectangle in its parent's client area, and the rectangle its caption takes when
// the control draws it in this font: where a check box, button or label puts the text, the
// whole field of a drop-down list, nothing for a picture. fits: the caption lies wholly inside
// the control.
struct ControlLayout {
    HWND hwnd = nullptr;
    RECT rect{};
    RECT caption{};
    bool fits = true;
    bool picture = false;
};
ControlLayout MeasureControl(HWND control, const LOGFONTW& font);

// Writes the window as it is on screen to a 24-bit BMP file.
bool SaveScreenshot(HWND window, const std::filesystem::path& file);

// The DLLs a program file imports at start-up (its import table, not its delayed imports),
// sorted; the file loaded with LOAD_LIBRARY_AS_IMAGE_RESOURCE, so that it lies as in memory.
std::vector<std::string> ImportedDlls(HMODULE file);

// Folder of the test executable, where the test programs (the game stand-in, the fault
// variants) lie.
std::filesystem::path BuildFolder();
// Where tamsel.exe and Ironvale.exe lie: the folder in VANTOLINE_PROGRAMS (a kit's top folder),
// else the build folder.
std::filesystem::path ProgramFolder();
// Where screenshots go: the folder in VANTOLINE_SCREENSHOTS, else the build folder.
std::filesystem::path ScreenshotFolder();

} // namespace driver
