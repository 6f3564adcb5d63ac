#pragma once
// Score text: decimal digits with "." between groups of three, as the score
// label, the bonus, the records table and the online records show scores.

#include <cstdint>
#include <stdexcept>
#include <string>

// A text that is not a 32-bit decimal integer.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string FormatScore(std::int32_t number);
// Removes every "." and reads the rest as a decimal integer; throws
// ConversionError ("'<text>' is not a valid integer value") otherwise,
// also for numbers outside the 32-bit range.
std::int32_t AntiFormatScore(const std::string& text);
