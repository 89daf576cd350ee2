#include "shell/common/IntegerText.h"

namespace {

// Appended piece by piece: gcc 12 warns falsely (-Wrestrict) about
// "'" + std::string(text) + "..." in optimised builds.
std::string ConversionMessage(std::string_view text)
{
    std::string message;
    message.reserve(text.size() + 32);
    message.push_back('\'');
    message.append(text);
    message.append("' is not a valid integer value");
    return message;
}

}  // namespace

IntegerConversionError::IntegerConversionError(std::string_view text) : std::runtime_error(ConversionMessage(text))
{
}

std::optional<int32_t> ParseIntegerText(std::string_view text)
{
    size_t position = 0;
    while (position < text.size() && text[position] == ' ') ++position;
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    uint32_t base = 10;
    if (position < text.size() && text[position] == '$') {
        base = 16;
        ++position;
    } else if (position + 1 < text.size() && text[position] == '0' &&
               (text[position + 1] == 'x' || text[position + 1] == 'X')) {
        base = 16;
        position += 2;
    }
    if (position == text.size()) return std::nullopt;

    // Decimal numbers may reach 2^31 only as -2^31; hex numbers use 32 bits.
    const uint64_t limit = base == 16 ? UINT32_MAX : (negative ? uint64_t{1} << 31 : INT32_MAX);
    uint64_t value = 0;
    for (; position < text.size(); ++position) {
        const char c = text[position];
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        else return std::nullopt;
        value = value * base + digit;
        if (value > limit) return std::nullopt;
    }
    const auto magnitude = static_cast<uint32_t>(value);
    const uint32_t bits = negative ? 0u - magnitude : magnitude;
    return static_cast<int32_t>(bits);
}

int32_t IntegerOfText(std::string_view text)
{
    const std::optional<int32_t> value = ParseIntegerText(text);
    if (!value) throw IntegerConversionError(text);
    return *value;
}
