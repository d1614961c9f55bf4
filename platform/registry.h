// The registry through the 8-bit ("A") functions of advapi32. The interface is portable, so
// that code above it can be tested with a store of its own; SystemRegistry() is the real one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The predefined root keys the programs use.
enum class RootKey { ClassesRoot, CurrentUser };

// Registry value types as the platform numbers them.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Size of the buffer a value is read into; larger values can't be read.
inline constexpr std::size_t kValueBufferSize = 1024;

// One value as a read leaves it: its type and the whole read buffer (zeroed before the read),
// once as bytes and once as text converted from the 8-bit code page, NULs included.
struct RegistryData {
    std::uint32_t type = 0;
    std::array<std::uint8_t, kValueBufferSize> bytes{};
    std::wstring text;
};

// Each call opens its own key handle and closes it before it returns. Key paths, value names
// and texts are wide; they travel in the system's 8-bit code page. An empty value name is the
// key's default value.
class RegistryStore {
public:
    // Creates the key with every missing key on its path, or opens it where it exists, and
    // closes it again. False when the key can be neither created nor opened.
    virtual bool CreateKey(RootKey root, const std::wstring& subKey) = 0;

    // Creates or opens the key as CreateKey does and writes one REG_SZ value whose byte count
    // is the length of the 8-bit text, without a terminating NUL. False when the key can't be
    // created or opened or the write fails.
    virtual bool WriteString(RootKey root, const std::wstring& subKey,
                             const std::wstring& valueName, const std::wstring& text) = 0;

    // Opens the key with the same rights as CreateKey asks for and reads one value. Nothing
    // when the key can't be opened, the value is missing, or it is larger than the buffer.
    virtual std::optional<RegistryData> ReadValue(RootKey root, const std::wstring& subKey,
                                                  const std::wstring& valueName) = 0;

    // A file path as a value can hold it without change: the path itself where it has an
    // exact 8-bit form, else its short (8.3) form where the volume has one. Nothing where
    // neither exists: a converted look-alike would name another file.
    virtual std::optional<std::wstring> StorablePath(const std::wstring& path) = 0;

    // The path's short (8.3) form, where the volume has one and a value can hold it without
    // change; nothing otherwise.
    virtual std::optional<std::wstring> ShortStorablePath(const std::wstring& path) = 0;

protected:
    ~RegistryStore() = default;
};

// The registry of the running system (defined only in the Windows build).
RegistryStore& SystemRegistry();

} // namespace platform
