// How a program ends when a failure reaches no handler of its own, memory runs out or a
// delay-loaded DLL is missing: where the C++ runtime could not even raise the failure (it needs
// memory to do so), without it.
#pragma once

namespace platform {

// The tool's rule: an error box that names the error, titled boxTitle (a text that lives as
// long as the program), then the end with exit code 1. When memory runs out the box has a fixed
// text and comes at once, before anything else is tried.
void EndWithBoxOnUnhandledFailure(const wchar_t* boxTitle);

// The starter's rule: when memory runs out, or a delay-loaded DLL (its user32, loaded for its
// first box) can't be loaded, the end at once, without a word and with nothing started (exit
// code 0, as every run of it ends).
void EndSilentlyWhenMemoryOrDllFails();

} // namespace platform
