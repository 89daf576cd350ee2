// IntegerText: a window number given as text on the command line, read as
// the form class library's StrToInt reads an integer.
//
// Accepted: leading blanks, an optional sign, then decimal digits, or a hex
// number behind "$", "0x" or "0X"; nothing may follow. The value must fit a
// signed 32-bit integer (hex numbers may use all 32 bits and then wrap to a
// negative value, as the library's conversion does). Anything else is a
// conversion error whose text the saver shows the user:
//   'abc' is not a valid integer value
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

class IntegerConversionError : public std::runtime_error {
public:
    explicit IntegerConversionError(std::string_view text);
};

std::optional<int32_t> ParseIntegerText(std::string_view text);
// The same, throwing IntegerConversionError for text that is not a number.
int32_t IntegerOfText(std::string_view text);
