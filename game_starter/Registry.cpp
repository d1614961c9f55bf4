// Registry: string values below a root key, and the registration of a URL protocol.
#include "Registry.h"

#include <optional>

namespace ironvale {

bool SetStringValue(RegistryStore& store, RootKey root, const std::wstring& subKey,
                    const std::wstring& valueName, std::wstring valueText) {
    if (valueText.empty()) {
        valueText = L" ";
    }
    return store.WriteString(root, subKey, valueName, valueText);
}

std::wstring DwordText(std::uint32_t value) {
    // "&h" followed by the eight hex digits is the number itself; the general number format
    // writes it in decimal digits, taken here as unsigned so that the top bit can't make it
    // negative.
    return std::to_wstring(value);
}

std::wstring GetValueAsString(RegistryStore& store, RootKey root, const std::wstring& subKey,
                              const std::wstring& valueName) {
    const std::optional<platform::RegistryData> value = store.ReadValue(root, subKey, valueName);
    if (!value) {
        return {};
    }
    switch (value->type) {
    case platform::kRegSz:
    case platform::kRegExpandSz: {
        const std::size_t nul = value->text.find(L'\0');
        return nul == std::wstring::npos ? value->text : value->text.substr(0, nul);
    }
    case platform::kRegDword: {
        const auto& b = value->bytes; // least significant byte first
        return DwordText(static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                         static_cast<std::uint32_t>(b[2]) << 16 |
                         static_cast<std::uint32_t>(b[3]) << 24);
    }
    default:
        return {};
    }
}

namespace {

// The program's path as the registration can name it: exactly this file, never a look-alike (a
// plain "G" for a full-width one would let every link start whatever program stands at that
// other path); and without "%", which the shell replaces with parts of the link wherever it
// stands in the command, inside the quoted path too. Such a path is named by its short form
// where that has no "%"; otherwise nothing is registered.
std::optional<std::wstring> RegisteredPath(RegistryStore& store, const std::wstring& path) {
    std::optional<std::wstring> stored = store.StorablePath(path);
    if (stored && stored->find(L'%') != std::wstring::npos) {
        stored = store.ShortStorablePath(path);
    }
    if (stored && stored->find(L'%') != std::wstring::npos) {
        return std::nullopt;
    }
    return stored;
}

} // namespace

void RegisterUrlProtocol(RegistryStore& store, const std::wstring& scheme,
                         const std::wstring& programPath, const RunningProgram& self) {
    const std::optional<std::wstring> storable = RegisteredPath(
        store, programPath.empty() ? self.folder + L"\\" + self.baseName + L".exe" : programPath);
    if (!storable) {
        return;
    }
    const std::wstring& path = *storable;

    // Each key and value goes below HKEY_CLASSES_ROOT, or, where that refuses it, below
    // HKEY_CURRENT_USER\Software\Classes, the user's own half of it, which the shell reads as
    // well. The choice is made write by write: a standard user may see the scheme's key as
    // writable (the user's half has one) while a key below it is the machine's and refuses.
    const std::wstring userKey = L"Software\\Classes\\" + scheme;
    const auto createKey = [&](const std::wstring& below) {
        if (!store.CreateKey(RootKey::ClassesRoot, scheme + below)) {
            store.CreateKey(RootKey::CurrentUser, userKey + below);
        }
    };
    const auto setValue = [&](const std::wstring& below, const std::wstring& name,
                              const std::wstring& text) {
        if (!SetStringValue(store, RootKey::ClassesRoot, scheme + below, name, text)) {
            SetStringValue(store, RootKey::CurrentUser, userKey + below, name, text);
        }
    };
    createKey(L"");
    setValue(L"", L"Source Filter",
             GetValueAsString(store, RootKey::ClassesRoot, L"http", L"Source Filter"));
    setValue(L"\\DefaultIcon", L"", path + L",0");
    createKey(L"\\shell");
    createKey(L"\\shell\\open");
    // The path in quotes: unquoted, a path with blanks would let the shell try its first
    // words as a program of their own.
    setValue(L"\\shell\\open\\command", L"", L"\"" + path + L"\" \"%1\"");
    setValue(L"", L"Url Protocol", L"");
}

} // namespace ironvale
