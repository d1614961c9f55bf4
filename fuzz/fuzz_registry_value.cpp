// Reading a registry value into text, over a store that answers with the fuzzer's type, reported
// size and buffer. Input: four bytes of type, four of size (both low byte first), one that
// picks the 8-bit code page, then the buffer's bytes.
#include "fuzz/fuzz_text.h"
#include "game_starter/Registry.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

using platform::RegistryData;
using platform::RootKey;

std::uint32_t Uint32At(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Windows-1252 where it matters here: every byte is one character (the 0x80 to 0x9F row as
// Latin-1, which changes no length).
std::wstring FromSingleByte(const std::uint8_t* bytes, std::size_t size) {
    return std::wstring(bytes, bytes + size);
}

// UTF-8 as the active code page, with U+FFFD for each byte that starts no valid sequence.
std::wstring FromUtf8(const std::uint8_t* bytes, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i < size;) {
        const std::uint8_t b = bytes[i];
        const std::size_t length = b < 0x80   ? 1
                                   : b < 0xC2 ? 0
                                   : b < 0xE0 ? 2
                                   : b < 0xF0 ? 3
                                   : b < 0xF5 ? 4
                                              : 0;
        char32_t c = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
        bool valid = length != 0 && i + length <= size;
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (bytes[i + k] & 0xC0) == 0x80;
            c = c << 6 | (bytes[i + k] & 0x3F);
        }
        valid = valid && !(length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) &&
                !(length == 4 && (c < 0x10000 || c > 0x10FFFF));
        if (!valid) {
            text.push_back(L'\uFFFD');
            ++i;
        } else if (c > 0xFFFF) {
            text.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            i += length;
        } else {
            text.push_back(static_cast<wchar_t>(c));
            i += length;
        }
    }
    return text;
}

// A store that keeps the contract of a read: the buffer zeroed, then the reported size of
// data written into it; a size beyond the buffer fails the read; the text is the whole
// buffer in the code page.
class FuzzStore final : public platform::RegistryStore {
public:
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    bool utf8 = false;
    const std::uint8_t* data = nullptr;
    std::size_t dataSize = 0;
    int reads = 0;

    bool CreateKey(RootKey, const std::wstring&) override { return false; }
    bool WriteString(RootKey, const std::wstring&, const std::wstring&,
                     const std::wstring&) override {
        return false;
    }
    std::optional<std::wstring> StorablePath(const std::wstring&) override { return std::nullopt; }
    std::optional<std::wstring> ShortStorablePath(const std::wstring&) override {
        return std::nullopt;
    }

    std::optional<RegistryData> ReadValue(RootKey, const std::wstring&,
                                          const std::wstring&) override {
        ++reads;
        if (size > platform::kValueBufferSize) {
            return std::nullopt;
        }
        RegistryData value;
        value.type = type;
        std::copy_n(data, std::min<std::size_t>(size, dataSize), value.bytes.begin());
        value.text = utf8 ? FromUtf8(value.bytes.data(), value.bytes.size())
                          : FromSingleByte(value.bytes.data(), value.bytes.size());
        return value;
    }
};

std::wstring Decimal(std::uint32_t value) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) {
        return 0;
    }
    FuzzStore store;
    store.type = Uint32At(data);
    store.size = Uint32At(data + 4);
    store.utf8 = data[8] & 1;
    store.data = data + 9;
    store.dataSize = size - 9;

    const std::wstring text =
        ironvale::GetValueAsString(store, RootKey::ClassesRoot, L"http", L"Source Filter");
    FUZZ_CHECK(store.reads == 1);
    FUZZ_CHECK(text.size() <= platform::kValueBufferSize);
    const std::optional<RegistryData> read =
        store.ReadValue(RootKey::ClassesRoot, L"http", L"Source Filter");
    if (!read) {
        FUZZ_CHECK(text.empty());
        return 0;
    }
    switch (store.type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
        FUZZ_CHECK(text.find(L'\0') == std::wstring::npos);
        FUZZ_CHECK(text == read->text.substr(0, read->text.find(L'\0')));
        break;
    case platform::kRegDword:
        FUZZ_CHECK(text == Decimal(Uint32At(read->bytes.data())));
        break;
    default:
        FUZZ_CHECK(text.empty());
    }
    return 0;
}
