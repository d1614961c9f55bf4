// The start-up window: greets the user and, on the first start, lets them pick the languages
// that the main window lists.
#pragma once

#include "../platform/window.h"

#include <memory>

namespace tamsel {

class Form1;

class Form2 final : private platform::FormEvents {
public:
    explicit Form2(Form1& mainWindow) : mainWindow_(mainWindow) {}

    // Creates the window and runs its load step; the window is shown only on a first start.
    void Start();

private:
    void Form_Load() override;
    void Control_Click(int controlId) override;
    void Form_Unload() override;
    void Command1_Click();

    Form1& mainWindow_;
    std::unique_ptr<platform::Window> window_;
};

} // namespace tamsel
