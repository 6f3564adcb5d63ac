#pragma once
// Text is Unicode (UTF-8) inside the program and code page 1251 bytes in the
// records file: an exact table both ways.

#include <string>
#include <string_view>

// The code points of a UTF-8 text; a broken sequence gives U+FFFD.
std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);

// Whether code page 1251 has a byte for the character.
bool Cp1251CanHold(char32_t character);

// Every byte has a character (0x98, unassigned, keeps its own value, so
// any file round-trips); a character without a byte becomes '?'.
std::string Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view bytes);

// The text without the characters that code page 1251 cannot hold.
std::string KeepCp1251Characters(std::string_view utf8);
