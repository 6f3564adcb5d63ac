#pragma once
// The options file "vantorix2.ini": the colour mode, the six cell colours,
// the sound and bonus switches and the language, in sections "Color" and
// "Options".

#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "atomic_file.h"
#include "ini_profile.h"

inline constexpr const char* OptionsFileName = "vantorix2.ini";

inline constexpr const char* ColourSection = "Color";
inline constexpr const char* OptionsSection = "Options";
inline constexpr const char* ModeKey = "Mode";
inline constexpr const char* AnimateKey = "Animate Bonus";
inline constexpr const char* SpeakerKey = "PCSpeaker On/Off";
inline constexpr const char* SoundKey = "Sound On/Off";
inline constexpr const char* EnglishKey = "English";
inline constexpr const char* RussianKey = "Russian";
// Read only, never written: where the records are published.
inline constexpr const char* OnlineSection = "Online";
inline constexpr const char* ServerKey = "Server";
inline constexpr const char* MailKey = "Mail";
std::string ColourKey(int panel);   // 1..6: "Color1".."Color6"

// The six cell colours the game starts with, as Windows colour values
// (red in the low byte): red, blue, yellow, aqua, lime, fuchsia.
inline constexpr std::array<std::int32_t, 6> DefaultCellColours{0x0000FF, 0xFF0000, 0x00FFFF,
                                                                0xFFFF00, 0x00FF00, 0xFF00FF};

// What the file keeps; the defaults are the window's built-in state.
struct GameOptions {
    std::int32_t Mode = 2;
    std::array<std::int32_t, 6> Colours = DefaultCellColours;
    bool AnimateBonus = true;
    bool PCSpeaker = true;
    bool SoundOn = true;
    bool English = true;
    bool Russian = false;
};

// Writes the twelve keys, in their order, as decimal integers and 1 or 0.
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
