// Splitting a Windows command line: portable, so that it is tested natively.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The text behind the program's own name in a command line as Windows passes it: the name
// ends at the closing double quote when it starts with one, else at the first blank or tab;
// the blanks and tabs that follow it are skipped.
std::wstring ArgumentsAfterProgramName(std::wstring_view commandLine);

} // namespace platform
