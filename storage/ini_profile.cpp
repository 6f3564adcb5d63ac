#include "ini_profile.h"

#include <cctype>
#include <limits>

namespace {

constexpr std::size_t MaxValueLength = 2047;

// The profile functions trim blanks, tabs, vertical tabs, form feeds and the
// end-of-file mark 0x1A around names and values.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view TrimLeft(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text)
{
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view Trim(std::string_view text)
{
    return TrimRight(TrimLeft(text));
}

// Names and values are C strings to the profile functions: a NUL ends them.
std::string_view UpToNul(std::string_view text)
{
    return text.substr(0, text.find('\0'));
}

bool SameName(std::string_view a, std::string_view b)
{
    a = UpToNul(a);
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The name of a section header line, or nothing. The name runs to the
// line's last "]"; a "[" without any "]" is no header.
std::optional<std::string_view> HeaderName(std::string_view line)
{
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const std::size_t close = line.rfind(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(1, close - 1));
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
    constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
    if (text.substr(0, Utf8Mark.size()) == Utf8Mark) {
        ByteOrderMark = std::string(Utf8Mark);
        text.remove_prefix(Utf8Mark.size());
    }
    // A line ends at LF, CRLF or a lone CR.
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        Line line;
        line.Text = std::string(text.substr(0, end));
        if (end == std::string_view::npos) {
            text = {};
        } else {
            const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
            const std::size_t length = crlf ? 2 : 1;
            line.End = std::string(text.substr(end, length));
            text.remove_prefix(end + length);
        }
        Lines.push_back(std::move(line));
    }
}

std::string IniProfile::Text() const
{
    std::string text = ByteOrderMark;
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
    // A line without "=" is a key too, with an empty value; the first line
    // of a key hides any later one.
    for (std::size_t i = range.First; i < range.Last; ++i) {
        const std::string_view text = Lines[i].Text;
        if (IsComment(text) || Trim(text).empty())
            continue;
        if (SameName(Trim(text.substr(0, text.find('='))), key))
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
    const std::string_view text = Lines[*at].Text;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return std::string();
    std::string_view value = UpToNul(Trim(text.substr(equals + 1)));
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
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos)
            text = std::string(TrimRight(text)) + "=";
        else
            text.resize(equals + 1);
        text += value;
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
