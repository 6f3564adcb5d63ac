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
// The key column of the key list, the same in both languages.
inline constexpr const char* KeyHelpKeys[] = {"  ENTER", "  SPACE", "  NUM 2", "  NUM 4",  "  NUM 5", "  NUM 6",
                                              "  NUM 8", " 1, 2, 3", "  L",   "  S",      "  A",     "  P",
                                              "  F",     "  O",       "  F1",  "  ESC",    "  Q, F10"};

// The caption of a component in a language; current when no pair names it.
std::string TranslatedCaption(Language language, std::string_view component, const std::string& current);
