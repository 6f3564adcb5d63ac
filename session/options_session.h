#pragma once
// How the options file is read and applied: at start-up and at every
// activation the file is read over the current options and the language
// switched by its two keys; a missing file is written from the current
// options instead, and nothing is applied.

#include <optional>
#include <vector>

#include "i18n/language_state.h"
#include "storage/options_file.h"

struct OptionsRead {
    GameOptions Options;
    // The language switches to make, in order: English when its key says
    // so, then Russian when its key says so; both end in Russian.
    std::vector<Language> Switches;
};

class OptionsSession {
public:
    explicit OptionsSession(std::filesystem::path file = OptionsFileName) : File(std::move(file)) {}

    // Nothing when the file was missing (and has now been written).
    // OptionsWriteError when that write fails.
    std::optional<OptionsRead> Read(const GameOptions& current, const LanguageState& language);
    // OptionsWriteError when the write fails; Repeated when it failed before.
    void Write(const GameOptions& current) { File.Save(current); }

    OptionsFile& Storage() { return File; }

private:
    OptionsFile File;
};

// The switches a file's language keys make. A missing key counts as the
// language button as it stands when that key is read.
std::vector<Language> LanguageSwitches(const IniProfile& profile, Language selected);
