// Replays: the file, the recording at PlayCommands, and playing them again.

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "engine/headless_host.h"
#include "replay/play_commands.h"
#include "replay/playback.h"
#include "replay/replay.h"

#include <zlib.h>

namespace {

using K = ReplayEventKind;

// A game driven as the window drives it, recorded.
struct RecordedGame {
    HeadlessGame headless;
    PlayCommands play{headless.game, headless.loop};
    explicit RecordedGame(std::uint32_t seed, std::uint64_t drawsBefore = 0)
    {
        headless.game.Random.Seed(seed);
        headless.game.Random.Skip(drawsBefore);
    }
    TADTetrisGame& Game() { return headless.game; }
    // The fall timer until a landing, and its reaction.
    void FallUntilLanded()
    {
        for (int k = 0; k < 100 && Game().Running; ++k)
            if (play.FallTick()) {
                play.Landed();
                return;
            }
    }
    // A hard drop and its grace, keys pressed during it or not.
    void DropAndWait(bool keys)
    {
        play.HardDrop();
        bool pressed = keys;
        for (int k = 0; k < 100 && Game().Running && headless.loop.DropTimerOn; ++k) {
            if (play.DropTick(pressed))
                play.Landed();
            pressed = keys && k < 2;
        }
    }
    Replay Finish()
    {
        if (Game().Running)
            play.Stop();
        std::optional<Replay> replay = play.TakeReplay();
        EXPECT_TRUE(replay.has_value());
        return replay ? *replay : Replay{};
    }
};

// Games of every kind of event, each as a script on a recorded game.
struct Script {
    const char* name;
    std::uint32_t seed;
    std::function<void(RecordedGame&)> play;
};

const Script Scripts[] = {
    {"the autopilot to the end", 7,
     [](RecordedGame& g) {
         g.play.SetAutopilot(true);
         g.play.StartGame();
         g.play.HardDrop();
         g.play.Started();
         while (g.Game().Running)
             g.play.Tick();
     }},
    {"by hand: moves, turns, drops, a pause", 11,
     [](RecordedGame& g) {
         g.play.StartGame();
         g.play.Started();
         for (int figure = 0; figure < 40 && g.Game().Running; ++figure) {
             for (int k = 0; k < figure % 4; ++k)
                 g.play.Move(figure % 2 ? MoveDirection::Left : MoveDirection::Right);
             g.play.Rotate(figure % 3 == 0);
             if (figure == 5) {
                 g.play.SetPaused(true);
                 g.play.FallTick();   // nothing while paused
                 g.play.SetPaused(false);
             }
             if (figure % 3 == 1) {
                 g.play.Move(MoveDirection::Down);
                 g.FallUntilLanded();
             } else {
                 g.DropAndWait(figure % 2 == 0);
             }
         }
     }},
    {"the autopilot switched on, then off", 23,
     [](RecordedGame& g) {
         g.play.StartGame();
         g.play.Started();
         g.FallUntilLanded();
         g.play.SetAutopilot(true);
         g.play.HardDrop();
         for (int k = 0; k < 60 && g.Game().Running; ++k)
             g.play.Tick();
         g.play.SetAutopilot(false);
         g.FallUntilLanded();
         g.play.Stop();
     }},
};

}  // namespace

TEST(Random, SkipsAsDrawsDoAndCountsThem)
{
    TRandom drawn(99), skipped(99);
    for (int k = 0; k < 1000; ++k)
        drawn.Draw(6);
    skipped.Skip(1000);
    EXPECT_EQ(drawn.Draws(), 1000u);
    EXPECT_EQ(skipped.Draws(), 1000u);
    EXPECT_EQ(drawn.Draw(1u << 31), skipped.Draw(1u << 31));
    drawn.Seed(5);
    EXPECT_EQ(drawn.Draws(), 0u);
    EXPECT_EQ(drawn.SeedGiven(), 5u);
}

TEST(Recording, EachGameReplaysToWhatItReached)
{
    for (const Script& script : Scripts) {
        // Not the first game of its source: the replay must find its place in it.
        RecordedGame game(script.seed, 4321);
        script.play(game);
        const Replay replay = game.Finish();
        ASSERT_FALSE(replay.Events.empty()) << script.name;
        EXPECT_EQ(replay.Seed, script.seed) << script.name;
        EXPECT_EQ(replay.DrawsBefore, 4321u) << script.name;
        EXPECT_GT(replay.Result.Landings, 5u) << script.name;

        const Replay read = ReadReplay(WriteReplay(replay));
        EXPECT_EQ(read, replay) << script.name;
        const ReplayOutcome outcome = PlayReplay(read);
        EXPECT_TRUE(outcome.Ended) << script.name;
        EXPECT_EQ(outcome.Reached, replay.Result) << script.name;
        EXPECT_TRUE(outcome.Matches(replay)) << script.name;
    }
}

TEST(Recording, OnlyWhatChangedTheGameIsAnEvent)
{
    RecordedGame game(3);
    game.play.SetPaused(true);   // no game yet
    game.play.StartGame();
    game.play.Started();
    for (int k = 0; k < 6; ++k)
        game.play.Move(MoveDirection::Left);   // to the wall, then into it
    game.play.SetPaused(true);
    game.play.SetPaused(true);
    game.play.FallTick();
    game.play.Move(MoveDirection::Right);
    game.play.SetPaused(false);
    game.play.Stop();
    const Replay replay = game.Finish();
    const std::vector<ReplayEvent> expected = {
        {K::Started, 1}, {K::MoveLeft, 3}, {K::Pause, 1}, {K::Resume, 1}, {K::Stop, 1}};
    EXPECT_EQ(replay.Events, expected);
    EXPECT_TRUE(replay.Result.Stopped);
}

TEST(ReplayFile, KeepsEveryFieldAndRunLength)
{
    Replay replay;
    replay.Seed = 0xFFFFFFFFu;
    replay.DrawsBefore = std::numeric_limits<std::uint64_t>::max();
    replay.GameNumber = 300;
    replay.Rules = {2, 9, 900, 50, 70};
    replay.Look = {false, true, true};
    replay.Result = {2147483647, 16, 70000, 1234567890123ull, true, "Ёлка Ann"};
    for (std::uint32_t count : {1u, 15u, 16u, 17u, 300u, 0xFFFFFFFFu})
        replay.Events.push_back({K::FallTick, count});
    for (int kind = 1; kind < ReplayEventKinds; ++kind)
        replay.Events.push_back({static_cast<K>(kind), 1});
    EXPECT_EQ(ReadReplay(WriteReplay(replay)), replay);

    // Runs join; an empty one is nothing.
    std::vector<ReplayEvent> events;
    AddReplayEvent(events, K::FallTick);
    AddReplayEvent(events, K::FallTick, 4);
    AddReplayEvent(events, K::Landed, 0);
    AddReplayEvent(events, K::Landed);
    EXPECT_EQ(events, (std::vector<ReplayEvent>{{K::FallTick, 5}, {K::Landed, 1}}));
}

namespace {

std::string Varint(std::uint64_t value)
{
    std::string out;
    do {
        out.push_back(static_cast<char>((value & 0x7F) | (value >= 0x80 ? 0x80 : 0)));
        value >>= 7;
    } while (value);
    return out;
}

std::string WithChecksum(const std::string& body)
{
    const auto sum = static_cast<std::uint32_t>(
        crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    std::string out = body;
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<char>((sum >> (8 * k)) & 0xFF));
    return out;
}

// A valid file as its fields, in order, so that a case can break one.
std::vector<std::string> Fields()
{
    return {"VXRP", std::string(1, '\x01'), Varint(5), Varint(0), Varint(1),
            Varint(1), Varint(16), Varint(1000), Varint(60), Varint(60), std::string(1, '\x01'),
            Varint(0), Varint(1), Varint(0), Varint(0), std::string(1, '\x01'), Varint(3) + "Ann",
            Varint(2), std::string("\x03\x0F", 2)};
}
enum Field { Signature, Version, Seed, Draws, Number, StartLevel, TopLevel, Base, Step, Least, Look,
             Score, Level, Landings, Ticks, End, Name, Runs, Events };

std::string Joined(const std::vector<std::string>& fields)
{
    std::string body;
    for (const std::string& field : fields)
        body += field;
    return body;
}

}  // namespace

TEST(ReplayFile, RefusesEachBrokenFileWithItsReason)
{
    const Replay good = ReadReplay(WithChecksum(Joined(Fields())));
    EXPECT_EQ(good.Result.Name, "Ann");
    EXPECT_EQ(good.Events, (std::vector<ReplayEvent>{{K::Started, 1}, {K::Stop, 1}}));

    struct Case {
        const char* name;
        std::function<std::string()> bytes;
        const char* says;
    };
    const auto with = [](Field field, std::string value) {
        return [field, value] {
            std::vector<std::string> fields = Fields();
            fields[field] = value;
            return WithChecksum(Joined(fields));
        };
    };
    const Case cases[] = {
        {"empty", [] { return std::string(); }, "no VXRP signature"},
        {"another signature", with(Signature, "VXRQ"), "no VXRP signature"},
        {"another version", with(Version, "\x02"), "version 2 is not supported"},
        {"only the signature and version", [] { return std::string("VXRP\x01", 5); }, "cut short (at the checksum)"},
        {"a checksum that does not match",
         [] {
             std::string bytes = WithChecksum(Joined(Fields()));
             bytes[6] ^= 1;
             return bytes;
         },
         "checksum does not match"},
        {"cut short in the header",
         [] {
             const std::string body = Joined(Fields());
             return WithChecksum(body.substr(0, 12));
         },
         "cut short"},
        {"a varint past 64 bits", with(Draws, std::string(10, '\xFF') + "\x01"), "too large"},
        {"a seed past 32 bits", with(Seed, Varint(std::uint64_t(1) << 32)), "seed is out of range"},
        {"a score past 31 bits", with(Score, Varint(std::uint64_t(1) << 31)), "score is out of range"},
        {"a level past 255", with(Level, Varint(256)), "level is out of range"},
        {"unknown option bits", with(Look, "\x08"), "unknown options"},
        {"an end neither 0 nor 1", with(End, "\x02"), "neither 0 nor 1"},
        {"a name of 65 bytes", with(Name, Varint(65) + std::string(65, 'a')), "length is out of range"},
        {"a name cut short", with(Name, Varint(10) + "Ann"), "cut short"},
        {"a name that is not UTF-8", with(Name, Varint(2) + "\xC3\x28"), "not plain UTF-8"},
        {"a name with a control character", with(Name, Varint(3) + "A\nn"), "not plain UTF-8"},
        {"more runs than bytes", with(Runs, Varint(40)), "number of events is out of range"},
        {"a run's count past 32 bits", with(Events, "\x03\xF0" + Varint(std::uint64_t(1) << 32)), "out of range"},
        {"bytes after the last event", with(Events, std::string("\x03\x0F\x00", 3)), "1 bytes after the last event"},
        {"larger than a mebibyte", [] { return std::string(MaxReplayBytes + 1, 'x'); }, "larger than"},
    };
    for (const Case& c : cases) {
        try {
            ReadReplay(c.bytes());
            ADD_FAILURE() << c.name << ": read";
        } catch (const ReplayError& error) {
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << c.name << ": " << error.what();
        }
    }
}

TEST(Playback, RefusesWhatNoGameCouldDoAndWhatGoesPastItsLimits)
{
    RecordedGame game(41);
    Scripts[0].play(game);
    const Replay genuine = game.Finish();
    ASSERT_TRUE(PlayReplay(genuine).Matches(genuine));

    struct Case {
        const char* name;
        std::function<void(Replay&)> change;
        ReplayLimits limits;
        const char* says;
    };
    const auto insertAt = [](std::size_t at, K kind) {
        return [at, kind](Replay& r) { r.Events.insert(r.Events.begin() + std::ptrdiff_t(at), ReplayEvent{kind, 1}); };
    };
    const Case cases[] = {
        {"a landing where nothing landed", insertAt(3, K::Landed), {}, "no figure landed"},
        {"the game started twice", insertAt(4, K::Started), {}, "twice"},
        {"events after the end", [](Replay& r) { r.Events.push_back({K::FallTick, 1}); }, {}, "after its game has ended"},
        {"rules out of range", [](Replay& r) { r.Rules.BaseInterval = 0; }, {}, "rules"},
        {"a start level above the top", [](Replay& r) { r.Rules.StartLevel = 17; }, {}, "rules"},
        {"too far into the source", [](Replay& r) { r.DrawsBefore = 1001; }, {1000, 50'000'000, {}}, "too far"},
        {"too many events", [](Replay&) {}, {1000, 100, {}}, "more than 100 events"},
        {"billions of paused ticks",
         [](Replay& r) {
             r.Events.insert(r.Events.begin(), {{K::Pause, 1}, {K::FallTick, 0xFFFFFFFFu}});
         },
         {1000, 100'000, {}}, "more than 100000 events"},
        {"out of time", [](Replay&) {}, {1000, 50'000'000, std::chrono::steady_clock::now()}, "too long"},
    };
    for (const Case& c : cases) {
        Replay replay = genuine;
        c.change(replay);
        try {
            PlayReplay(replay, c.limits);
            ADD_FAILURE() << c.name << ": played";
        } catch (const ReplayError& error) {
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << c.name << ": " << error.what();
        }
    }
}

TEST(Playback, ACountOrEventChangedAfterwardsReachesSomethingElse)
{
    RecordedGame game(41);
    Scripts[1].play(game);
    const Replay genuine = game.Finish();
    const std::vector<std::function<void(Replay&)>> forgeries = {
        [](Replay& r) { r.Result.Score += 1; },
        [](Replay& r) { r.Result.Level += 1; },
        [](Replay& r) { r.Result.Landings -= 1; },
        [](Replay& r) { r.Result.Ticks += 1; },
        [](Replay& r) { r.Result.Stopped = !r.Result.Stopped; },
        [](Replay& r) { r.Seed += 1; },
        [](Replay& r) { r.DrawsBefore += 1; },
        [](Replay& r) {
            // A turn played as the other one.
            for (ReplayEvent& e : r.Events)
                if (e.Kind == K::RotateClockwise) {
                    e.Kind = K::RotateAnticlockwise;
                    break;
                }
        },
    };
    for (std::size_t k = 0; k < forgeries.size(); ++k) {
        Replay forged = genuine;
        forgeries[k](forged);
        bool matches = false;
        try {
            matches = PlayReplay(forged).Matches(forged);
        } catch (const ReplayError&) {
        }
        EXPECT_FALSE(matches) << "forgery " << k;
    }
}
