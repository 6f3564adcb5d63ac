#include "ini_profile.h"

#include <cctype>
#include <limits>

namespace {

constexpr std::size_t MaxValueLength = 2047;

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The name of a section header line, or nothing.
std::optional<std::string_view> HeaderName(std::string_view line)
{
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const std::size_t close = line.find(']');
    return Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

bool IsComment(std::string_view line)
{
    line = Trim(line);
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

}  // namespace

std::optional<std::int32_t> ParseProfileInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * std::uint64_t(base) + std::uint64_t(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    // Hexadecimal fills all 32 bits ($FFFFFFFF is -1); decimal must fit.
    std::int64_t number;
    if (base == 16) {
        number = std::int32_t(std::uint32_t(value));
    } else {
        number = std::int64_t(value);
        if (number > std::int64_t(std::numeric_limits<std::int32_t>::max()) + (negative ? 1 : 0))
            return std::nullopt;
    }
    return std::int32_t(negative ? -number : number);
}

IniProfile::IniProfile(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        Line line;
        if (newline == std::string_view::npos) {
            line.Text = std::string(text);
            text = {};
        } else {
            const bool crlf = newline > 0 && text[newline - 1] == '\r';
            line.Text = std::string(text.substr(0, crlf ? newline - 1 : newline));
            line.End = crlf ? "\r\n" : "\n";
            text.remove_prefix(newline + 1);
        }
        Lines.push_back(std::move(line));
    }
}

std::string IniProfile::Text() const
{
    std::string text;
    for (const Line& line : Lines)
        text += line.Text + line.End;
    return text;
}

std::string IniProfile::NewLineEnd() const
{
    for (const Line& line : Lines)
        if (!line.End.empty())
            return line.End;
    return "\n";
}

std::optional<IniProfile::SectionRange> IniProfile::FindSection(std::string_view section) const
{
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const auto name = HeaderName(Lines[i].Text);
        if (!name || !SameName(*name, section))
            continue;
        std::size_t last = i + 1;
        while (last < Lines.size() && !HeaderName(Lines[last].Text))
            ++last;
        return SectionRange{i + 1, last};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniProfile::FindKey(const SectionRange& range, std::string_view key) const
{
    for (std::size_t i = range.First; i < range.Last; ++i) {
        const std::string& text = Lines[i].Text;
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos || IsComment(text))
            continue;
        if (SameName(Trim(std::string_view(text).substr(0, equals)), key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniProfile::ReadString(std::string_view section, std::string_view key) const
{
    const auto range = FindSection(section);
    if (!range)
        return std::nullopt;
    const auto at = FindKey(*range, key);
    if (!at)
        return std::nullopt;
    const std::string& text = Lines[*at].Text;
    std::string_view value = Trim(std::string_view(text).substr(text.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, MaxValueLength));
}

std::int32_t IniProfile::ReadInteger(std::string_view section, std::string_view key, std::int32_t fallback) const
{
    const auto text = ReadString(section, key);
    if (!text)
        return fallback;
    return ParseProfileInteger(*text).value_or(fallback);
}

bool IniProfile::ReadBool(std::string_view section, std::string_view key, bool fallback) const
{
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniProfile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string end = NewLineEnd();
    const std::string entry = std::string(key) + "=" + std::string(value);
    auto range = FindSection(section);
    if (!range) {
        // A new section goes at the end, after a blank line when the file
        // has lines of its own.
        if (!Lines.empty() && Lines.back().End.empty())
            Lines.back().End = end;
        if (!Lines.empty() && !Trim(Lines.back().Text).empty())
            Lines.push_back({"", end});
        std::string header = "[";
        header.append(section).append("]");
        Lines.push_back({header, end});
        Lines.push_back({entry, end});
        return;
    }
    if (const auto at = FindKey(*range, key)) {
        // The key keeps its spelling; only the value changes.
        std::string& text = Lines[*at].Text;
        text = text.substr(0, text.find('=') + 1) + std::string(value);
        return;
    }
    // After the section's last line that is not blank.
    std::size_t at = range->Last;
    while (at > range->First && Trim(Lines[at - 1].Text).empty())
        --at;
    if (at > 0 && Lines[at - 1].End.empty())
        Lines[at - 1].End = end;
    Lines.insert(Lines.begin() + std::ptrdiff_t(at), Line{entry, end});
}
