#include "settings_value.h"

#include <charconv>
#include <algorithm>
#include <cmath>

namespace tamsel {
namespace {

constexpr std::wstring_view kLineBreak = L"\r\n";
constexpr std::wstring_view kEscape = L"%cr";

std::wstring ReplaceAll(std::wstring_view text, std::wstring_view from, std::wstring_view to) {
    std::wstring result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t found = text.find(from); found != std::wstring_view::npos;
         found = text.find(from, start)) {
        result.append(text.substr(start, found - start));
        result.append(to);
        start = found + from.size();
    }
    result.append(text.substr(start));
    return result;
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}
bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

int DigitValue(wchar_t c) {
    if (IsDigit(c)) {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return 99;
}

std::wstring_view TrimBlanks(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// "&H1F", "&o17": the digits after the two-character mark, in the given base.
std::optional<double> ParseRadix(std::wstring_view digits, int base) {
    if (digits.empty()) {
        return std::nullopt;
    }
    double value = 0;
    for (wchar_t c : digits) {
        const int digit = DigitValue(c);
        if (digit >= base) {
            return std::nullopt;
        }
        value = value * base + digit;
    }
    return value;
}

// Checks the decimal form and returns how far it reaches; 0 when it is not one.
std::size_t DecimalLength(std::wstring_view text) {
    std::size_t i = 0;
    auto digitsFrom = [&](std::size_t at) {
        std::size_t end = at;
        while (end < text.size() && IsDigit(text[end])) {
            ++end;
        }
        return end - at;
    };
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        ++i;
    }
    std::size_t mantissa = digitsFrom(i);
    i += mantissa;
    if (i < text.size() && text[i] == L'.') {
        ++i;
        const std::size_t fraction = digitsFrom(i);
        i += fraction;
        mantissa += fraction;
    }
    if (mantissa == 0) {
        return 0;
    }
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == L'+' || text[j] == L'-')) {
            ++j;
        }
        const std::size_t exponent = digitsFrom(j);
        if (exponent == 0) {
            return 0;
        }
        i = j + exponent;
    }
    return i;
}

// A checked decimal form whose value lies beyond a double: below its smallest magnitude it is
// zero, above its largest it is infinite, either with the text's sign.
double OutOfRange(std::string_view text) {
    const bool negative = text.front() == '-';
    std::size_t i = text.front() == '+' || text.front() == '-' ? 1 : 0;
    // The power of ten of the first significant digit, before the exponent.
    long long magnitude = 0;
    bool significant = false;
    bool fraction = false;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        if (text[i] == '.') {
            fraction = true;
        } else if (!significant) {
            if (fraction) {
                --magnitude;
            }
            if (text[i] != '0') {
                significant = true;
            }
        } else if (!fraction) {
            ++magnitude;
        }
    }
    long long exponent = 0;
    if (i < text.size()) {
        ++i;
        const bool down = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        for (; i < text.size(); ++i) {
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1'000'000'000LL); // saturates
        }
        exponent = down ? -exponent : exponent;
    }
    const double size = magnitude + exponent < 0 ? 0.0 : HUGE_VAL;
    return negative ? -size : size;
}

} // namespace

std::wstring EscapeLineBreaks(std::wstring_view value) {
    return ReplaceAll(value, kLineBreak, kEscape);
}

std::wstring UnescapeLineBreaks(std::wstring_view stored) {
    return ReplaceAll(stored, kEscape, kLineBreak);
}

std::optional<double> ParseNumber(std::wstring_view text) {
    text = TrimBlanks(text);
    if (text.size() >= 2 && text[0] == L'&') {
        if (text[1] == L'H' || text[1] == L'h') {
            return ParseRadix(text.substr(2), 16);
        }
        if (text[1] == L'O' || text[1] == L'o') {
            return ParseRadix(text.substr(2), 8);
        }
        return std::nullopt;
    }
    if (text.empty() || DecimalLength(text) != text.size()) {
        return std::nullopt;
    }
    // The form is checked: convert its ASCII copy, independent of the locale.
    std::string ascii;
    ascii.reserve(text.size());
    for (wchar_t c : text) {
        ascii.push_back(static_cast<char>(c));
    }
    const char* first = ascii.data();
    if (*first == '+') {
        ++first; // from_chars takes no plus sign
    }
    double value = 0;
    const auto [end, error] = std::from_chars(first, ascii.data() + ascii.size(), value);
    if (error == std::errc::result_out_of_range) {
        return OutOfRange(ascii);
    }
    if (error != std::errc() || end != ascii.data() + ascii.size()) {
        return std::nullopt;
    }
    return value;
}

bool ValueEquals(const SettingsValue& value, int number) {
    if (!value) {
        return number == 0;
    }
    const std::optional<double> parsed = ParseNumber(*value);
    return parsed && *parsed == static_cast<double>(number);
}

} // namespace tamsel
