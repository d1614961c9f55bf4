// What a read of config.ini yields, and the rules for storing and testing it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

// Either the empty value (nothing) or a text.
using SettingsValue = std::optional<std::wstring>;

// CR LF becomes "%cr" for storing; "%cr" becomes CR LF again on reading. Both replace every
// occurrence from the first character on, case-sensitively; a lone CR or LF stays as it is.
std::wstring EscapeLineBreaks(std::wstring_view value);
std::wstring UnescapeLineBreaks(std::wstring_view stored);

// A text as a number: blanks around it, an optional sign, digits with an optional decimal
// point and fraction, an optional exponent; or "&H" with hexadecimal or "&O" with octal digits
// (letters in either case). Nothing when the text is not a number.
std::optional<double> ParseNumber(std::wstring_view text);

// Numeric equality of a value read with a whole number. The empty value counts as 0; a text
// that is not a number equals no number.
bool ValueEquals(const SettingsValue& value, int number);

} // namespace tamsel
