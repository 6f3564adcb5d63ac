#include "cp1251.h"

#include <array>

namespace {

// Characters of the bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
constexpr std::array<char16_t, 64> HighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,   // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,   // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,   // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,   // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,   // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,   // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,   // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,   // B8
};

constexpr char32_t Replacement = 0xFFFD;

char32_t CharacterOf(unsigned char byte)
{
    if (byte < 0x80)
        return byte;
    if (byte >= 0xC0)
        return char32_t(0x0410 + (byte - 0xC0));
    return HighHalf[byte - 0x80];
}

// The byte of a character, or -1.
int ByteOf(char32_t character)
{
    if (character < 0x80)
        return int(character);
    if (character >= 0x0410 && character <= 0x044F)
        return int(0xC0 + (character - 0x0410));
    for (std::size_t i = 0; i < HighHalf.size(); ++i)
        if (HighHalf[i] == character)
            return int(0x80 + i);
    return -1;
}

}  // namespace

std::u32string DecodeUtf8(std::string_view text)
{
    std::u32string result;
    result.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t value = 0;
        if (lead < 0x80) {
            length = 1;
            value = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            value = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            value = lead & 0x07;
        }
        bool good = length > 0 && i + std::size_t(length) <= text.size();
        for (int k = 1; good && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + std::size_t(k)]);
            good = (next & 0xC0) == 0x80;
            value = (value << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are broken too.
        static constexpr char32_t Least[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (good && (value < Least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)))
            good = false;
        if (good) {
            result += value;
            i += std::size_t(length);
        } else {
            result += Replacement;
            ++i;
        }
    }
    return result;
}

std::string EncodeUtf8(std::u32string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = Replacement;
        if (c < 0x80) {
            result += char(c);
        } else if (c < 0x800) {
            result += char(0xC0 | (c >> 6));
            result += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            result += char(0xE0 | (c >> 12));
            result += char(0x80 | ((c >> 6) & 0x3F));
            result += char(0x80 | (c & 0x3F));
        } else {
            result += char(0xF0 | (c >> 18));
            result += char(0x80 | ((c >> 12) & 0x3F));
            result += char(0x80 | ((c >> 6) & 0x3F));
            result += char(0x80 | (c & 0x3F));
        }
    }
    return result;
}

bool Cp1251CanHold(char32_t character)
{
    return ByteOf(character) >= 0;
}

std::string Utf8ToCp1251(std::string_view utf8)
{
    std::string result;
    for (char32_t c : DecodeUtf8(utf8)) {
        const int byte = ByteOf(c);
        result += byte >= 0 ? char(byte) : '?';
    }
    return result;
}

std::string Cp1251ToUtf8(std::string_view bytes)
{
    std::u32string characters;
    characters.reserve(bytes.size());
    for (char byte : bytes)
        characters += CharacterOf(static_cast<unsigned char>(byte));
    return EncodeUtf8(characters);
}

std::string KeepCp1251Characters(std::string_view utf8)
{
    std::u32string kept;
    for (char32_t c : DecodeUtf8(utf8))
        if (Cp1251CanHold(c))
            kept += c;
    return EncodeUtf8(kept);
}
