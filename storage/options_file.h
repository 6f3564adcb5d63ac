#pragma once
// The options file "vantorix2.ini": the colour mode, the six cell colours,
// the sound and bonus switches and the language, in sections "Color" and
// "Options"; and where the records are published, in section "Online",
// which the game reads but never writes.
//
// Every key is declared once, in OptionKeys: its section and name, how its
// value reads, its value at a first start, and the field that holds it.
// Reading, writing and the built-in state all follow that table.

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>

#include "atomic_file.h"
#include "ini_profile.h"

inline constexpr const char* OptionsFileName = "vantorix2.ini";

inline constexpr const char* ColourSection = "Color";
inline constexpr const char* OptionsSection = "Options";
inline constexpr const char* OnlineSection = "Online";
inline constexpr const char* ModeKey = "Mode";
inline constexpr const char* AnimateKey = "Animate Bonus";
inline constexpr const char* SpeakerKey = "PCSpeaker On/Off";
inline constexpr const char* SoundKey = "Sound On/Off";
inline constexpr const char* EnglishKey = "English";
inline constexpr const char* RussianKey = "Russian";
inline constexpr const char* ServerKey = "Server";
inline constexpr const char* MailKey = "Mail";
std::string ColourKey(int panel);   // 1..6: "Color1".."Color6"

// Where the game publishes when the file names no server.
inline constexpr const char* DefaultRecordsServer = "localhost:8642";

// What the file keeps. A new one holds the built-in state (OptionKeys).
struct GameOptions {
    GameOptions();
    std::int32_t Mode;
    std::array<std::int32_t, 6> Colours;   // Windows colour values, all 32 bits
    bool AnimateBonus;
    bool PCSpeaker;
    bool SoundOn;
    bool English;
    bool Russian;
    std::string Server;   // "host[:port]", or that after "https://" or "http://"
    std::string Mail;     // the author's address, none by default
};

enum class OptionType {
    Byte,      // an integer of which only the low 8 bits count
    Integer,   // all 32 bits, written as a signed decimal
    Truth,     // an integer, true when not 0; written as 1 or 0
    Host,      // text; an empty value is no value
    Text,      // text as it stands
};

template <typename T>
using OptionField = T& (*)(GameOptions&);

struct OptionKey {
    const char* Section;
    const char* Key;
    OptionType Type;
    std::variant<std::int32_t, bool, const char*> Default;
    std::variant<OptionField<std::int32_t>, OptionField<bool>, OptionField<std::string>> Field;
    bool Written;   // false: read, never written
};

// Every key in the order a new file holds them.
std::span<const OptionKey> OptionKeys();

// The file read over the current options: a missing key, or a value that
// does not read as its type, leaves the current value.
GameOptions ReadOptions(const IniProfile& profile, GameOptions current);
// Writes the written keys in their order, numbers as decimal integers,
// truth values as 1 or 0.
void WriteOptions(IniProfile& profile, const GameOptions& options);

// A write that failed. Repeated: this path has failed before in this run.
class OptionsWriteError : public std::runtime_error {
public:
    OptionsWriteError(const std::string& message, bool repeated) : std::runtime_error(message), Repeated(repeated) {}
    bool Repeated;
};

class OptionsFile {
public:
    explicit OptionsFile(std::filesystem::path file = OptionsFileName);

    bool Exists() const;
    // The file as it stands; a missing or unreadable file reads as empty.
    IniProfile Load() const;
    // Writes the options into the file, keeping its other lines, and
    // replaces it atomically. Throws OptionsWriteError ("Unable to write
    // to <full path>") and leaves the file as it was.
    void Save(const GameOptions& options);

    // Runs before each step of the file write (tests).
    WriteStepHook WriteHook;

private:
    std::filesystem::path Path;
    bool Failed = false;
};
