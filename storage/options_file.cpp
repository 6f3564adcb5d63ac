#include "options_file.h"

namespace {

template <auto Member>
auto& FieldOf(GameOptions& options)
{
    return options.*Member;
}

template <std::size_t Panel>
std::int32_t& ColourOf(GameOptions& options)
{
    return options.Colours[Panel];
}

// The one declaration of the file's keys.
constexpr OptionKey Keys[] = {
    {ColourSection, ModeKey, OptionType::Byte, 2, FieldOf<&GameOptions::Mode>, true},
    {ColourSection, "Color1", OptionType::Integer, 0x0000FF, ColourOf<0>, true},   // red
    {ColourSection, "Color2", OptionType::Integer, 0xFF0000, ColourOf<1>, true},   // blue
    {ColourSection, "Color3", OptionType::Integer, 0x00FFFF, ColourOf<2>, true},   // yellow
    {ColourSection, "Color4", OptionType::Integer, 0xFFFF00, ColourOf<3>, true},   // aqua
    {ColourSection, "Color5", OptionType::Integer, 0x00FF00, ColourOf<4>, true},   // lime
    {ColourSection, "Color6", OptionType::Integer, 0xFF00FF, ColourOf<5>, true},   // fuchsia
    {OptionsSection, AnimateKey, OptionType::Truth, true, FieldOf<&GameOptions::AnimateBonus>, true},
    {OptionsSection, SpeakerKey, OptionType::Truth, true, FieldOf<&GameOptions::PCSpeaker>, true},
    {OptionsSection, SoundKey, OptionType::Truth, true, FieldOf<&GameOptions::SoundOn>, true},
    {OptionsSection, EnglishKey, OptionType::Truth, true, FieldOf<&GameOptions::English>, true},
    {OptionsSection, RussianKey, OptionType::Truth, false, FieldOf<&GameOptions::Russian>, true},
    {OnlineSection, ServerKey, OptionType::Host, DefaultRecordsServer, FieldOf<&GameOptions::Server>, false},
    {OnlineSection, MailKey, OptionType::Text, "", FieldOf<&GameOptions::Mail>, false},
};

// Calls visit(field, default) with the key's field and default of one type.
template <typename Visit>
void WithField(const OptionKey& key, GameOptions& options, Visit&& visit)
{
    std::visit(
        [&](auto field) {
            auto& value = field(options);
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::string>)
                visit(value, std::string(std::get<const char*>(key.Default)));
            else
                visit(value, std::get<T>(key.Default));
        },
        key.Field);
}

}  // namespace

std::string ColourKey(int panel)
{
    return "Color" + std::to_string(panel);
}

std::span<const OptionKey> OptionKeys()
{
    return Keys;
}

GameOptions::GameOptions()
{
    for (const OptionKey& key : Keys)
        WithField(key, *this, [](auto& value, const auto& fallback) { value = fallback; });
}

GameOptions ReadOptions(const IniProfile& profile, GameOptions current)
{
    for (const OptionKey& key : Keys) {
        WithField(key, current, [&](auto& value, const auto&) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::string>) {
                const auto text = profile.ReadString(key.Section, key.Key);
                if (text && (key.Type != OptionType::Host || !text->empty()))
                    value = *text;
            } else if constexpr (std::is_same_v<T, bool>) {
                value = profile.ReadBool(key.Section, key.Key, value);
            } else {
                value = profile.ReadInteger(key.Section, key.Key, value);
                if (key.Type == OptionType::Byte)
                    value &= 0xFF;
            }
        });
    }
    return current;
}

void WriteOptions(IniProfile& profile, const GameOptions& options)
{
    GameOptions written = options;
    for (const OptionKey& key : Keys) {
        if (!key.Written)
            continue;
        WithField(key, written, [&](auto& value, const auto&) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>)
                profile.WriteString(key.Section, key.Key, value ? "1" : "0");
            else if constexpr (std::is_same_v<T, std::int32_t>)
                profile.WriteString(key.Section, key.Key,
                                    std::to_string(key.Type == OptionType::Byte ? value & 0xFF : value));
            else
                profile.WriteString(key.Section, key.Key, value);
        });
    }
}

OptionsFile::OptionsFile(std::filesystem::path file) : Path(std::move(file)) {}

bool OptionsFile::Exists() const
{
    std::error_code error;
    return std::filesystem::exists(Path, error);
}

IniProfile OptionsFile::Load() const
{
    try {
        return IniProfile(ReadWholeFile(Path));
    } catch (const FileError&) {
        return {};
    }
}

void OptionsFile::Save(const GameOptions& options)
{
    IniProfile profile = Load();
    WriteOptions(profile, options);
    try {
        ReplaceFile(Path, profile.Text(), WriteHook);
    } catch (const FileError&) {
        const bool repeated = Failed;
        Failed = true;
        throw OptionsWriteError("Unable to write to " + FullPath(Path), repeated);
    }
}
