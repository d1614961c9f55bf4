// Conversions between the programs' wide texts and the active 8-bit code page, for the 8-bit
// ("A") platform functions. The programs declare UTF-8 as that code page (Windows 10 1903 and
// later honour it); on older systems it is the system's legacy code page, where not every
// character has a form.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The text in the active code page, exactly: nothing when a character has no form there.
// Never a best-fit look-alike (a full-width "Ｇ" does not become "G"), so an 8-bit path can
// never name another file than the wide one.
std::optional<std::string> ToAnsi(std::wstring_view text);

std::wstring FromAnsi(std::string_view text);

// A file path in the active code page: exactly, else its short (8.3) form or that of its
// folder followed by the exact file name, where the volume has short names. Nothing when the
// path has no exact 8-bit form at all.
std::optional<std::string> ToAnsiPath(const std::wstring& path);

// The short (8.3) form of an existing file or folder: nothing where the volume has none.
std::optional<std::wstring> ShortPath(const std::wstring& path);

} // namespace platform
