#include "publish_request.h"

#include <algorithm>
#include <array>
#include <limits>

#include "storage/cp1251.h"

namespace {

int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return -1;
}

// C0, DEL and C1 (0x98 decodes to U+0098).
bool IsControl(char32_t ch)
{
    return ch < 0x20 || (ch >= 0x7F && ch <= 0x9F);
}

PublishParse Refuse(std::string reason)
{
    return {std::nullopt, std::move(reason)};
}

}  // namespace

std::string NameFault(const std::string& utf8)
{
    const std::u32string characters = DecodeUtf8(utf8);
    if (characters.size() > MaxNameLength)
        return "name: more than " + std::to_string(MaxNameLength) + " characters";
    for (char32_t ch : characters)
        if (IsControl(ch))
            return "name: control character";
    // A name of blanks shows as none at all.
    if (!characters.empty() &&
        std::all_of(characters.begin(), characters.end(), [](char32_t ch) { return ch == U' ' || ch == U'\u00A0'; }))
        return "name: blanks only";
    return {};
}

QueryValue FindQueryValue(std::string_view query, std::string_view key)
{
    QueryValue found;
    int times = 0;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t equals = pair.find('=');
        const auto name = PercentDecode(pair.substr(0, equals));
        if (!name || *name != key)
            continue;
        if (++times > 1)
            return {std::nullopt, "given twice"};
        found.Value = PercentDecode(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        if (!found.Value)
            return {std::nullopt, "malformed percent-encoding"};
    }
    if (times == 0)
        found.Fault = "missing";
    return found;
}

std::optional<std::string> PercentDecode(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return bytes;
}

std::optional<std::int32_t> ParseScoreNumber(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            return std::nullopt;
        value = value * 10 + (ch - '0');
        if (value > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

PublishParse ParsePublishQuery(std::string_view query)
{
    static constexpr std::array<std::string_view, 3> Keys = {"name", "self", "autopilot"};
    std::array<std::optional<std::string>, 3> values;

    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        const std::string_view pair = query.substr(start, end - start);
        start = end + 1;
        if (pair.empty())
            continue;
        const std::size_t equals = pair.find('=');
        const auto key = PercentDecode(pair.substr(0, equals));
        const auto value = PercentDecode(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        if (!key || !value)
            return Refuse("malformed percent-encoding");
        for (std::size_t k = 0; k < Keys.size(); ++k) {
            if (*key != Keys[k])
                continue;
            if (values[k])
                return Refuse(std::string(Keys[k]) + ": given twice");
            values[k] = Cp1251ToUtf8(*value);
        }
    }
    for (std::size_t k = 0; k < Keys.size(); ++k)
        if (!values[k])
            return Refuse(std::string(Keys[k]) + ": missing");

    const std::string& name = *values[0];
    const std::string& self = *values[1];
    const std::string& autopilot = *values[2];

    Publish publish;
    if (const std::string fault = NameFault(name); !fault.empty())
        return Refuse(fault);
    if (!self.empty()) {
        const auto score = ParseScoreNumber(self);
        if (!score)
            return Refuse("self: not a number from 0 to 2147483647");
        if (name.empty())
            return Refuse("name: empty with a score");
        publish.Human = HumanResult{name, *score};
    }
    if (autopilot != "-") {
        const auto score = ParseScoreNumber(autopilot);
        if (!score)
            return Refuse("autopilot: neither \"-\" nor a number from 0 to 2147483647");
        publish.Autopilot = AutopilotScore{*score, name};
    }
    return {publish, {}};
}

std::string DescribePublish(const Publish& publish)
{
    std::string text;
    if (publish.Human)
        text += "Stored the score " + std::to_string(publish.Human->Score) + " of " + publish.Human->Name + ".\n";
    if (publish.Autopilot)
        text += "Stored the autopilot score " + std::to_string(publish.Autopilot->Score) + ".\n";
    if (text.empty())
        text = "Nothing to store.\n";
    return text;
}
