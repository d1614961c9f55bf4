#include "registry.h"

#include "ansi.h"
#include "win_owned.h"

#include <string_view>

namespace platform {
namespace {

// Creating and opening ask for the same rights: read, write and create-link, without DELETE,
// WRITE_DAC and WRITE_OWNER. Reading asks for the write rights as well.
constexpr REGSAM kKeyAccess = KEY_READ | KEY_WRITE | KEY_CREATE_LINK;
static_assert(kKeyAccess == 0x2003F);

// The length given in the security attributes of every key creation: a fixed 50, not the
// record's own size.
constexpr DWORD kSecurityAttributesLength = 50;

HKEY RootHandle(RootKey root) {
    switch (root) {
    case RootKey::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RootKey::CurrentUser:
        return HKEY_CURRENT_USER;
    }
    return HKEY_CLASSES_ROOT;
}

// Creates or opens the key; an empty owner when neither works.
OwnedKey CreateOrOpen(RootKey root, const std::wstring& subKey) {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = kSecurityAttributesLength;
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = TRUE;
    char keyClass[] = "1";
    DWORD disposition = 0; // created or opened: not needed
    const std::optional<std::string> path = ToAnsi(subKey);
    OwnedKey key;
    if (!path) {
        return key; // no exact 8-bit name: never a key whose name only looks alike
    }
    if (::RegCreateKeyExA(RootHandle(root), path->c_str(), 0, keyClass, REG_OPTION_NON_VOLATILE,
                          kKeyAccess, &attributes, key.put(), &disposition) != ERROR_SUCCESS) {
        key.release(); // the call leaves no handle behind on failure
        return OwnedKey();
    }
    return key;
}

class SystemRegistryStore final : public RegistryStore {
public:
    bool CreateKey(RootKey root, const std::wstring& subKey) override {
        return static_cast<bool>(CreateOrOpen(root, subKey));
    }

    bool WriteString(RootKey root, const std::wstring& subKey, const std::wstring& valueName,
                     const std::wstring& text) override {
        const std::optional<std::string> name = ToAnsi(valueName);
        const std::optional<std::string> data = ToAnsi(text);
        if (!name || !data) {
            return false; // a value that can't be stored exactly is not stored at all
        }
        const OwnedKey key = CreateOrOpen(root, subKey);
        if (!key) {
            return false;
        }
        return ::RegSetValueExA(key.get(), name->c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(data->c_str()),
                                static_cast<DWORD>(data->size())) == ERROR_SUCCESS;
    }

    std::optional<RegistryData> ReadValue(RootKey root, const std::wstring& subKey,
                                          const std::wstring& valueName) override {
        const std::optional<std::string> path = ToAnsi(subKey);
        const std::optional<std::string> name = ToAnsi(valueName);
        if (!path || !name) {
            return std::nullopt;
        }
        OwnedKey key;
        if (::RegOpenKeyExA(RootHandle(root), path->c_str(), 0, kKeyAccess, key.put()) !=
            ERROR_SUCCESS) {
            key.release();
            return std::nullopt;
        }
        RegistryData value;
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(value.bytes.size());
        if (::RegQueryValueExA(key.get(), name->c_str(), nullptr, &type, value.bytes.data(),
                               &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        value.type = type;
        value.text = FromAnsi(std::string_view(reinterpret_cast<const char*>(value.bytes.data()),
                                               value.bytes.size()));
        return value;
    }

    std::optional<std::wstring> StorablePath(const std::wstring& path) override {
        const std::optional<std::string> stored = ToAnsiPath(path);
        if (!stored) {
            return std::nullopt;
        }
        std::wstring back = FromAnsi(*stored);
        if (back.empty() != stored->empty()) {
            return std::nullopt; // the text did not come back: no path at all
        }
        return back;
    }

    std::optional<std::wstring> ShortStorablePath(const std::wstring& path) override {
        const std::optional<std::wstring> shortPath = ShortPath(path);
        if (!shortPath || !ToAnsi(*shortPath)) {
            return std::nullopt;
        }
        return shortPath;
    }
};

} // namespace

RegistryStore& SystemRegistry() {
    static SystemRegistryStore store;
    return store;
}

} // namespace platform
