#include "score_text.h"

#include <limits>

std::string FormatScore(std::int32_t number)
{
    // Group the magnitude; a sign (never shown for scores) stays in front.
    const bool negative = number < 0;
    const std::string digits = std::to_string(negative ? -std::int64_t(number) : std::int64_t(number));
    std::string result = negative ? "-" : "";
    const std::size_t length = digits.size();
    for (std::size_t p = 0; p < length; ++p) {
        result += digits[p];
        const std::size_t still = length - p - 1;
        if (still > 0 && still % 3 == 0)
            result += '.';
    }
    return result;
}

std::int32_t AntiFormatScore(const std::string& text)
{
    std::string bare;
    for (char ch : text)
        if (ch != '.')
            bare += ch;
    const auto fail = [&]() { return ConversionError("'" + text + "' is not a valid integer value"); };
    std::size_t start = 0;
    bool negative = false;
    if (!bare.empty() && (bare[0] == '-' || bare[0] == '+')) {
        negative = bare[0] == '-';
        start = 1;
    }
    if (start == bare.size())
        throw fail();
    std::int64_t value = 0;
    for (std::size_t i = start; i < bare.size(); ++i) {
        if (bare[i] < '0' || bare[i] > '9')
            throw fail();
        value = value * 10 + (bare[i] - '0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            throw fail();
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        throw fail();
    return static_cast<std::int32_t>(value);
}
