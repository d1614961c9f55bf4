// The settings file's value rules on any text: the "%cr" escape both ways and the number test.
#include "fuzz/fuzz_text.h"
#include "language_tool/settings_value.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

bool SameNumber(const std::optional<double>& a, const std::optional<double>& b) {
    if (!a || !b) {
        return !a && !b;
    }
    return std::bit_cast<std::uint64_t>(*a) == std::bit_cast<std::uint64_t>(*b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = fuzz::Utf16Of(data, size);

    const std::wstring escaped = tamsel::EscapeLineBreaks(text);
    FUZZ_CHECK(escaped.find(L"\r\n") == std::wstring::npos);
    if (text.find(L"%cr") == std::wstring::npos) {
        FUZZ_CHECK(tamsel::UnescapeLineBreaks(escaped) == text);
    }
    FUZZ_CHECK(tamsel::UnescapeLineBreaks(text).find(L"%cr") == std::wstring::npos);

    const std::optional<double> number = tamsel::ParseNumber(text);
    FUZZ_CHECK(!number || !std::isnan(*number));
    for (const wchar_t* blanks : {L" ", L"\t", L" \t \t"}) {
        FUZZ_CHECK(SameNumber(tamsel::ParseNumber(blanks + text), number));
        FUZZ_CHECK(SameNumber(tamsel::ParseNumber(text + blanks), number));
        FUZZ_CHECK(SameNumber(tamsel::ParseNumber(blanks + text + blanks), number));
    }
    return 0;
}
