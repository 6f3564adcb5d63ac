// The options file as the window handles it: every key it reads, then the
// twelve keys written with other values. The text must come back unchanged
// before any write, each written key must read back exactly, keys that are
// not written must not move, and writing the same again changes nothing.

#include <string>

#include "fuzz_check.h"
#include "storage/options_file.h"

namespace {

const char* const Switches[] = {AnimateKey, SpeakerKey, SoundKey, EnglishKey, RussianKey};

bool GameOptions::*const Flags[] = {&GameOptions::AnimateBonus, &GameOptions::PCSpeaker, &GameOptions::SoundOn,
                                    &GameOptions::English, &GameOptions::Russian};

bool Same(const GameOptions& a, const GameOptions& b)
{
    if (a.Mode != b.Mode || a.Colours != b.Colours)
        return false;
    for (bool GameOptions::*flag : Flags)
        if (a.*flag != b.*flag)
            return false;
    return true;
}

// Names are matched without regard to case: read back in capitals.
std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

void CheckWritten(const IniProfile& file, const GameOptions& options)
{
    const auto read = [&](const char* section, const std::string& key) { return file.ReadString(Upper(section), Upper(key)); };
    FUZZ_CHECK(read(ColourSection, ModeKey) == std::to_string(options.Mode));
    for (int k = 0; k < 6; ++k)
        FUZZ_CHECK(read(ColourSection, ColourKey(k + 1)) == std::to_string(options.Colours[std::size_t(k)]));
    for (std::size_t i = 0; i < std::size(Flags); ++i)
        FUZZ_CHECK(read(OptionsSection, Switches[i]) == (options.*Flags[i] ? "1" : "0"));
    FUZZ_CHECK(Same(ReadOptions(file, GameOptions{}), options));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = FuzzBytes(data, size);
    IniProfile file(text);
    FUZZ_CHECK(file.Text() == text);

    const GameOptions read = ReadOptions(file, GameOptions{});
    const auto server = file.ReadString(OnlineSection, ServerKey);
    const auto mail = file.ReadString(OnlineSection, MailKey);
    FUZZ_CHECK(!server || server->size() <= 2047);
    if (const auto mode = file.ReadString(ColourSection, ModeKey))
        if (const auto number = ParseProfileInteger(*mode))
            FUZZ_CHECK(ParseProfileInteger(std::to_string(*number)) == number);

    // Other values than the file's, so that a write that misses shows.
    GameOptions changed = read;
    changed.Mode = (read.Mode + 1) & 0xFF;
    for (std::size_t k = 0; k < 6; ++k)
        changed.Colours[k] = ~read.Colours[(k + 1) % 6];
    for (bool GameOptions::*flag : Flags)
        changed.*flag = !(read.*flag);
    WriteOptions(file, changed);
    CheckWritten(file, changed);
    FUZZ_CHECK(file.ReadString(OnlineSection, ServerKey) == server);
    FUZZ_CHECK(file.ReadString(OnlineSection, MailKey) == mail);

    const std::string written = file.Text();
    IniProfile again = file;
    WriteOptions(again, changed);
    FUZZ_CHECK(again.Text() == written);

    // The file as saved, loaded at the next start.
    const IniProfile loaded(written);
    FUZZ_CHECK(loaded.Text() == written);
    CheckWritten(loaded, changed);
    return 0;
}
