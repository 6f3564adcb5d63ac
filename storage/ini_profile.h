#pragma once
// An INI file with the semantics of the Windows profile functions: sections
// and keys matched without regard to case, blanks around values ignored, a
// line without "=" a key with an empty value, a NUL the end of a value, and
// writes that change only the line of the key they write. Every other line,
// comment, line end and a leading UTF-8 mark stays byte for byte.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IniProfile {
public:
    IniProfile() = default;
    explicit IniProfile(std::string_view text);

    // The text again, with each line's own line end; new lines take the
    // file's first line end, "\n" in a new file.
    std::string Text() const;

    // The value of a key: trimmed, a pair of enclosing quotes removed, at
    // most 2047 characters. Nothing when the section or the key is missing.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    // Decimal, or hexadecimal after "0x", "0X" or "$", with a leading sign;
    // anything else, or a missing key, gives the default.
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t fallback) const;
    // An integer; any non-zero value is true.
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    // Replaces the value where the key stands, or adds the key at the end of
    // its section, or the section at the end of the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

private:
    struct Line {
        std::string Text;
        std::string End;   // "\r\n", "\n", "\r" or "" (a last line without one)
    };
    // Index range of a section's lines after its header: [first, last).
    struct SectionRange {
        std::size_t First, Last;   // the lines after the header, up to the next one
    };
    std::optional<SectionRange> FindSection(std::string_view section) const;
    std::optional<std::size_t> FindKey(const SectionRange& range, std::string_view key) const;
    std::string NewLineEnd() const;

    std::vector<Line> Lines;
    std::string ByteOrderMark;   // a UTF-8 mark the file began with, kept

};

// Reads an integer as the profile does; nothing when it is not one.
std::optional<std::int32_t> ParseProfileInteger(std::string_view text);
