#pragma once
// One game as it was played: where the figures' random source stood when
// it started, the rules it was played by, every event that changed its
// state in the order the game handled them, and how it ended. The file
// form is described in replay/FORMAT.md.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// What changed the game, one kind a value; a run of the same kind is one
// event with a count. The game starts before the first event.
enum class ReplayEventKind : std::uint8_t {
    FallTick = 0,            // a tick of the fall timer
    DropTick = 1,            // a tick of the drop timer, no key pressed since the last
    DropTickAfterKeys = 2,   // a tick of the drop timer after a key
    Started = 3,             // the reaction to the game-started notice
    Landed = 4,              // the reaction to a landing: cascade, next figure, autopilot
    MoveLeft = 5,
    MoveRight = 6,
    MoveDown = 7,
    RotateClockwise = 8,
    RotateAnticlockwise = 9,
    HardDrop = 10,
    Pause = 11,
    Resume = 12,
    AutopilotOn = 13,
    AutopilotOff = 14,
    Stop = 15,               // the game ended by a command (Enter, the autopilot switched off)
};
inline constexpr int ReplayEventKinds = 16;

struct ReplayEvent {
    ReplayEventKind Kind;
    std::uint32_t Count = 1;
    bool operator==(const ReplayEvent&) const = default;
};

// The engine's rules a game was played by (the engine's defaults today).
struct ReplayRules {
    std::uint8_t StartLevel = 1;
    std::uint8_t MaxLevel = 16;
    std::int32_t BaseInterval = 1000;
    std::int32_t IntervalStep = 60;
    std::int32_t MinInterval = 60;
    bool operator==(const ReplayRules&) const = default;
};

// The player's options that change how it looks and sounds when watched.
struct ReplayLook {
    bool Animation = true;   // the bonus animation
    bool SoundOn = false;    // the landing sound
    bool Speaker = false;    // the sound from the speaker, not the waves
    bool operator==(const ReplayLook&) const = default;
};

// How the game ended, as the recorder saw it.
struct ReplayResult {
    std::int32_t Score = 0;
    std::uint8_t Level = 0;
    std::uint32_t Landings = 0;
    std::uint64_t Ticks = 0;    // fall ticks that ran
    bool Stopped = false;       // ended by a command, not by a full well
    std::string Name;           // UTF-8, the name entered in the records (may be empty)
    bool operator==(const ReplayResult&) const = default;
};

struct Replay {
    std::uint32_t Seed = 0;
    std::uint64_t DrawsBefore = 0;   // draws made since the seed before the game started
    std::uint32_t GameNumber = 0;    // games started since the seed, this one included
    ReplayRules Rules;
    ReplayLook Look;
    std::vector<ReplayEvent> Events;
    ReplayResult Result;
    bool operator==(const Replay&) const = default;
};

inline constexpr std::uint8_t ReplayVersion = 1;
// Beyond these a file is refused before anything is made of it.
inline constexpr std::size_t MaxReplayBytes = 1 << 20;
inline constexpr std::size_t MaxReplayNameBytes = 64;

// A file that is not a replay of this version; what() says what is wrong.
// What kind of fault, for a message in the player's language.
enum class ReplayFault { NotAReplay, OtherVersion, Damaged, Unplayable };

class ReplayError : public std::runtime_error {
public:
    explicit ReplayError(const std::string& what, ReplayFault fault = ReplayFault::Damaged)
        : std::runtime_error(what), Fault(fault)
    {
    }
    ReplayFault Fault;
};

std::string WriteReplay(const Replay& replay);
// Throws ReplayError; never reads past its input.
Replay ReadReplay(std::string_view bytes);

// Appends an event, joining it to a run of the same kind; a run is filled to
// its most before the next of its kind begins.
void AddReplayEvent(std::vector<ReplayEvent>& events, ReplayEventKind kind, std::uint32_t count = 1);
