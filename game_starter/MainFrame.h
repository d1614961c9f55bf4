// The starter's only window. It is never shown: every path of its load step ends the program
// before it could appear, so no native window is created for it at all and MainFrame is the
// unit that holds that load step, the whole run of the program.
#pragma once

namespace ironvale {

class MainFrame {
public:
    // Registers the "ivl" links, reads the command line, asks or warns where a link calls for
    // it, starts the game (or says why it can't), and ends the process on every path.
    [[noreturn]] void Form_Load();
};

} // namespace ironvale
