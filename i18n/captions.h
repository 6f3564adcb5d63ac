#pragma once
// The captions of both languages: for each, the components it names with
// their new caption (images: "True" or "False", their visibility), and the
// 17 key help texts of the key list, row by row.

#include <optional>
#include <span>
#include <string>
#include <string_view>

enum class Language { Russian, English };

struct CaptionPair {
    const char* Component;
    const char* Caption;   // UTF-8
};

// "ENGLISH" or "RUSSIAN", exactly; any other key names no language.
std::optional<Language> LanguageOfKey(std::string_view key);

std::span<const CaptionPair> CaptionTable(Language language);
std::span<const char* const> KeyHelpTable(Language language);

// The caption of a component in a language; current when no pair names it.
std::string TranslatedCaption(Language language, std::string_view component, const std::string& current);
