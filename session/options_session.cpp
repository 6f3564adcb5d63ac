#include "options_session.h"

std::optional<OptionsRead> OptionsSession::Read(const GameOptions& current, const LanguageState& language)
{
    if (!File.Exists()) {
        File.Save(current);
        return std::nullopt;
    }
    const IniProfile profile = File.Load();
    return OptionsRead{ReadOptions(profile, current), LanguageSwitches(profile, language.Selected())};
}

std::vector<Language> LanguageSwitches(const IniProfile& profile, Language selected)
{
    std::vector<Language> switches;
    for (const auto& [key, language] : {std::pair{EnglishKey, Language::English}, std::pair{RussianKey, Language::Russian}}) {
        if (profile.ReadBool(OptionsSection, key, selected == language)) {
            switches.push_back(language);
            selected = language;
        }
    }
    return switches;
}
