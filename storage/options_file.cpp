#include "options_file.h"

std::string ColourKey(int panel)
{
    return "Color" + std::to_string(panel);
}

void WriteOptions(IniProfile& profile, const GameOptions& options)
{
    const auto truth = [](bool value) { return value ? "1" : "0"; };
    profile.WriteString(ColourSection, ModeKey, std::to_string(options.Mode));
    for (int k = 1; k <= 6; ++k)
        profile.WriteString(ColourSection, ColourKey(k), std::to_string(options.Colours[std::size_t(k - 1)]));
    profile.WriteString(OptionsSection, AnimateKey, truth(options.AnimateBonus));
    profile.WriteString(OptionsSection, SpeakerKey, truth(options.PCSpeaker));
    profile.WriteString(OptionsSection, SoundKey, truth(options.SoundOn));
    profile.WriteString(OptionsSection, EnglishKey, truth(options.English));
    profile.WriteString(OptionsSection, RussianKey, truth(options.Russian));
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
