// What the fuzz targets share: a failed property ends the run as a finding, and the fuzzer's
// bytes become wide text the way Windows holds it, one UTF-16 code unit per character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A property that must hold for every input: when it doesn't, libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz {

// Characters that plain ASCII bytes would reach only by chance: controls, line and
// bidirectional formatting marks, surrogate halves, the ellipsis, look-alikes of the
// characters the checks allow, and blanks and digits of other scripts.
inline constexpr char16_t kNotableUnits[] = {
    0x0000, 0x0009, 0x000A, 0x000D, 0x001F, 0x007F, 0x0080, 0x0085, 0x009F, 0x00A0,
    0x00AD, 0x00B2, 0x0130, 0x0131, 0x017F, 0x061C, 0x0660, 0x200B, 0x200E, 0x200F,
    0x2028, 0x2029, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068,
    0x2069, 0x2026, 0x212A, 0x2212, 0x3000, 0xD800, 0xD83D, 0xDBFF, 0xDC00, 0xDE00,
    0xDFFF, 0xFEFF, 0xFF0B, 0xFF0F, 0xFF10, 0xFF1A, 0xFF29, 0xFF56, 0xFFFD, 0xFFFF,
};

// A byte below 0x80 is that ASCII character; 0x80 to 0xBF picks a notable unit; 0xC0 to 0xFF
// takes the next two bytes, low byte first, as any code unit (a lone surrogate included).
inline std::wstring Utf16Of(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kNotableCount = sizeof(kNotableUnits) / sizeof(kNotableUnits[0]);
    std::wstring text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        if (b < 0x80) {
            text.push_back(static_cast<wchar_t>(b));
        } else if (b < 0xC0) {
            text.push_back(static_cast<wchar_t>(kNotableUnits[(b - 0x80) % kNotableCount]));
        } else if (i + 2 < size) {
            text.push_back(static_cast<wchar_t>(data[i + 1] | data[i + 2] << 8));
            i += 2;
        }
    }
    return text;
}

} // namespace fuzz
