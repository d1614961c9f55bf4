// Windows with standard controls, laid out in twips, and message boxes. The programs' forms
// describe their windows as data and receive their events through FormEvents; no Win32 type
// shows through this header.
#pragma once

#include "layout.h"
#include "message_box.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// DefaultButton: the push button that Enter presses from any control of its window (one per
// window at most).
enum class ControlKind { PushButton, DefaultButton, DropDownList, Label, CheckBox, Picture };

inline constexpr int kNoTabStop = -1;

struct ControlDesc {
    int id;
    ControlKind kind;
    std::wstring_view caption;
    TwipsRect rect;
    int tabIndex;     // order of the Tab key; kNoTabStop for controls that take no focus
    int resource = 0; // Picture: the RCDATA resource holding the image (JPEG)
    // What screen readers announce it as, where no label before it names it (Windows names a
    // list after such a label); empty: the name the system gives it.
    std::wstring_view accessibleName = {};
};

// The frame of every form: a small title bar with a close box only, not resizable.
enum class Frame { ToolWindow };
enum class Placement { CentreScreen, SystemDefault };

struct WindowDesc {
    std::wstring_view className;
    std::wstring_view caption;
    int clientWidthTwips;
    int clientHeightTwips;
    Frame frame;
    Placement placement;
    int iconResource = 0; // 0: no icon of its own
};

// The handlers of one form. The form runs its own Load after creating its Window; the window
// calls Control_Click for a pressed push button (Enter presses the default button) and
// Form_Unload when the user, Escape or the system closes it (the window is then hidden; it is
// destroyed with its Window object).
class FormEvents {
public:
    virtual void Form_Load() {}
    virtual void Control_Click(int /*controlId*/) {}
    virtual void Form_Unload() {}

protected:
    ~FormEvents() = default;
};

enum class ControlCreation { Now, Later };

class Window {
public:
    // Creates the window hidden, with its controls, sized and placed for the DPI of its screen
    // and grown for a message font larger than the one the layout was drawn for; laid out
    // again when the DPI or the message font changes while it exists. Where the
    // system can't create it, the object has no window and CreationError says why. With
    // ControlCreation::Later the controls' windows, and the window's final size and place, wait
    // for CreateControls.
    Window(const WindowDesc& desc, std::span<const ControlDesc> controls, FormEvents& events,
           ControlCreation creation = ControlCreation::Now);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Creates the controls of a window made with ControlCreation::Later; once only. Where one
    // of them can't be created, the window goes too and CreationError says why.
    void CreateControls();
    void Show();
    void Hide();

    std::wstring Text(int controlId) const;
    void SetText(int controlId, const std::wstring& text);
    bool IsChecked(int controlId) const;
    void AddItem(int controlId, const std::wstring& text);

    // Grows or shrinks the client area to the given height (in the layout's twips, which follow
    // the message font); the width stays, and so does the position as far as the window stays
    // inside its screen's work area.
    void SetClientHeightTwips(int twips);

    void* NativeHandle() const;          // the HWND, for the platform layer and tests
    std::uint32_t CreationError() const; // the system's error code; 0 once created

    struct State;

private:
    std::unique_ptr<State> state_;
};

// A modal message box; owner may be null (no window of the program is shown yet).
MessageAnswer ShowMessage(const Window* owner, const std::wstring& text, const std::wstring& title,
                          MessageButtons buttons, MessageIcon icon);

// For a window that could not be created: an error box with the system's reason, then the end
// of the message loop (exit code 1). False, and nothing shown, when the window exists.
bool EndIfNotCreated(const Window& window, const std::wstring& title);

// Runs the message loop of the thread until EndMessageLoop; returns the exit code.
int RunMessageLoop();
void EndMessageLoop(int exitCode);

} // namespace platform
