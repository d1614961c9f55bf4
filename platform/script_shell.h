// The registry as the scripting automation object "WScript.Shell" offers it: an object is
// created by its ProgID for every call and released before the call returns, and its methods
// are called late-bound, by name.
#pragma once

#include <optional>
#include <string>

namespace platform {

inline constexpr wchar_t kScriptShellProgId[] = L"WScript.Shell";

// RegWrite(path, value, type). False when the object can't be created or the call fails.
bool ScriptShellRegWrite(const std::wstring& progId, const std::wstring& path,
                         const std::wstring& value, const std::wstring& type);

// RegRead(path), converted to text. Nothing when the object can't be created, the call fails
// or the data can't be turned into text.
std::optional<std::wstring> ScriptShellRegRead(const std::wstring& progId,
                                               const std::wstring& path);

} // namespace platform
