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
    // One tick of whichever timer runs, answered as the window answers
    // the landing notice it posts.
    bool Tick()
    {
        bool noKeys = false;
        const bool landed = headless.loop.DropTimerOn ? play.DropTick(noKeys) : play.FallTick();
        if (landed)
            play.Landed();
        return landed;
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
             g.Tick();
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
             g.Tick();
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
    game.play.SetAutopilot(false);   // off already
    game.play.Started();
    for (int k = 0; k < 6; ++k)
        game.play.Move(MoveDirection::Left);   // to the wall, then into it
    game.play.SetPaused(true);
    game.play.SetPaused(true);
    game.play.FallTick();
    game.play.Move(MoveDirection::Right);
    game.play.SetPaused(false);
    game.play.SetAutopilot(true);
    game.play.SetAutopilot(true);
    game.play.Stop();
    const Replay replay = game.Finish();
    const std::vector<ReplayEvent> expected = {{K::Started, 1}, {K::MoveLeft, 3}, {K::Pause, 1},
                                               {K::Resume, 1},  {K::AutopilotOn, 1}, {K::Stop, 1}};
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
    for (int kind = 0; kind < ReplayEventKinds; ++kind)
        replay.Events.push_back({static_cast<K>(kind), 1});
    EXPECT_EQ(ReadReplay(WriteReplay(replay)), replay);
}

// Runs join up to the most a count holds, and every count keeps its run
// through the file, on both sides of a boundary of its form (a byte up to
// 15, a varint beyond) and of its size.
TEST(ReplayFile, RunsJoinToTheirMostAndKeepTheirCounts)
{
    constexpr std::uint32_t Most = 0xFFFFFFFFu;
    const struct {
        const char* name;
        std::vector<std::uint32_t> added;   // falls ticks added in these counts, then a Stop
        std::vector<std::uint32_t> runs;    // the fall tick runs that follow
        std::size_t bytes;                  // the runs' bytes in the file
    } cases[] = {
        {"one", {1}, {1}, 1},
        {"fifteen in one byte", {14, 1}, {15}, 1},
        {"sixteen past it", {15, 1}, {16}, 2},
        {"seventeen", {16, 1}, {17}, 2},
        {"143 in two bytes", {143}, {143}, 2},
        {"144 in three", {144}, {144}, 3},
        {"none is nothing", {0, 3, 0}, {3}, 1},
        {"the most a run holds", {Most - 1, 1}, {Most}, 6},
        {"one more starts the next", {Most, 1}, {Most, 1}, 7},
        {"a count that does not fit fills the run first", {Most - 1, 5}, {Most, 4}, 7},
    };
    for (const auto& c : cases) {
        Replay replay;
        for (std::uint32_t count : c.added)
            AddReplayEvent(replay.Events, K::FallTick, count);
        std::vector<ReplayEvent> expected;
        for (std::uint32_t count : c.runs)
            expected.push_back({K::FallTick, count});
        EXPECT_EQ(replay.Events, expected) << c.name;
        const std::size_t empty = WriteReplay(Replay{}).size();
        AddReplayEvent(replay.Events, K::Stop);
        const std::string file = WriteReplay(replay);
        // Each run a byte or more, the Stop one, the run count's varint one.
        EXPECT_EQ(file.size(), empty + c.bytes + 1) << c.name;
        EXPECT_EQ(ReadReplay(file).Events, replay.Events) << c.name;
    }
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
        {"a name with a line feed", with(Name, Varint(3) + "A\nn"), "not plain UTF-8"},
        {"a name with a tab", with(Name, Varint(3) + "A\tn"), "not plain UTF-8"},
        {"a name with a NUL", with(Name, Varint(3) + std::string("A\0n", 3)), "not plain UTF-8"},
        {"a name with DEL", with(Name, Varint(3) + "A\x7Fn"), "not plain UTF-8"},
        {"a name with a C1 control", with(Name, Varint(4) + "A\xC2\x85n"), "not plain UTF-8"},
        {"a seed in a longer form", with(Seed, std::string("\x85\x00", 2)), "seed is not in its shortest form"},
        {"a draw count in a longer form", with(Draws, std::string("\x80\x80\x00", 3)), "not in its shortest form"},
        {"a name's length in a longer form", with(Name, std::string("\x83\x00" "Ann", 5)), "not in its shortest form"},
        {"a run's count in a longer form", with(Events, std::string("\x03\xFF\x80\x00", 4)), "not in its shortest form"},
        {"two runs of one kind",
         [] {
             std::vector<std::string> fields = Fields();
             fields[Runs] = Varint(3);
             fields[Events] = std::string("\x03\x10\x00", 3);   // Started, two fall ticks, one more
             return WithChecksum(Joined(fields));
         },
         "two runs of one kind"},
        {"more runs than bytes", with(Runs, Varint(40)), "number of events is out of range"},
        {"a run's count past 32 bits", with(Events, "\x03\xF0" + Varint(std::uint64_t(1) << 32)), "out of range"},
        {"bytes after the last event", with(Events, std::string("\x03\x0F\x05", 3)), "1 bytes after the last event"},
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
    std::uint64_t events = 0;
    for (const ReplayEvent& event : genuine.Events)
        events += event.Count;
    // At every limit exactly, and held to its claims, it plays to them.
    const ReplayLimits exact{genuine.DrawsBefore, events, std::chrono::steady_clock::now() + std::chrono::hours(1), true};
    ASSERT_TRUE(PlayReplay(genuine, exact).Matches(genuine));

    struct Case {
        const char* name;
        std::function<void(Replay&)> change;
        ReplayLimits limits;
        const char* says;
    };
    const auto insertAt = [](std::size_t at, K kind) {
        return [at, kind](Replay& r) { r.Events.insert(r.Events.begin() + std::ptrdiff_t(at), ReplayEvent{kind, 1}); };
    };
    // Right after the landing reaction of the tenth figure.
    const auto afterTenthLanding = [](K kind) {
        return [kind](Replay& r) {
            int landings = 0;
            for (auto e = r.Events.begin(); e != r.Events.end(); ++e)
                if (e->Kind == K::Landed && ++landings == 10) {
                    r.Events.insert(e + 1, ReplayEvent{kind, 1});
                    return;
                }
            FAIL() << "fewer than ten landings";
        };
    };
    const auto rules = [](std::function<void(ReplayRules&)> change) {
        return [change](Replay& r) { change(r.Rules); };
    };
    const auto now = std::chrono::steady_clock::now();
    const Case cases[] = {
        {"a landing where nothing landed", insertAt(3, K::Landed), {}, "no figure landed"},
        {"a second reaction to the tenth landing", afterTenthLanding(K::Landed), {}, "no figure landed"},
        {"the game started twice", insertAt(4, K::Started), {}, "twice"},
        {"events after the end", [](Replay& r) { r.Events.push_back({K::FallTick, 1}); }, {}, "after its game has ended"},
        {"a base interval of 0", rules([](ReplayRules& r) { r.BaseInterval = 0; }), {}, "rules"},
        {"a base interval past a minute", rules([](ReplayRules& r) { r.BaseInterval = 60001; }), {}, "rules"},
        {"a least interval of 0", rules([](ReplayRules& r) { r.MinInterval = 0; }), {}, "rules"},
        {"an interval step below 0", rules([](ReplayRules& r) { r.IntervalStep = -1; }), {}, "rules"},
        {"a start level above the top", rules([](ReplayRules& r) { r.StartLevel = 17; }), {}, "rules"},
        {"too far into the source", [](Replay& r) { r.DrawsBefore = 1001; }, {1000, 50'000'000, {}}, "too far"},
        {"one event past the limit", [](Replay&) {}, {1000, events - 1, {}}, "events"},
        {"billions of paused fall ticks",
         [](Replay& r) { r.Events.insert(r.Events.begin() + 3, {{K::Pause, 1}, {K::FallTick, 0xFFFFFFFFu}}); }, {},
         "a tick of a paused game"},
        {"a fall tick after a pause, late in the game", afterTenthLanding(K::Pause), {}, "a tick of a paused game"},
        {"out of time", [](Replay&) {}, {1000, 50'000'000, now}, "too long"},
        {"out of time while still skipping draws",
         [](Replay& r) {
             r.DrawsBefore = 3u << 20;
             r.Events.clear();
         },
         {4u << 20, 50'000'000, now}, "too long"},
        {"a tick more than it says ran, held to its claims", [](Replay& r) { r.Result.Ticks -= 1; },
         {1000, 50'000'000, {}, true}, "goes past"},
        {"a point more than it says, held to its claims", [](Replay& r) { r.Result.Score -= 1; },
         {1000, 50'000'000, {}, true}, "goes past"},
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

namespace {

// An autopilot game of the window's kind, stopped after so many landings.
Replay AutopilotGame(std::uint32_t seed, std::uint32_t landings, std::uint64_t drawsBefore = 0)
{
    RecordedGame game(seed, drawsBefore);
    game.play.SetAutopilot(true);
    game.play.StartGame();
    game.play.HardDrop();
    game.play.Started();
    for (std::uint32_t landed = 0; game.Game().Running;)
        if (game.Tick() && ++landed >= landings)
            game.play.Stop();
    return game.Finish();
}

ReplayOutcome Played(const Replay& replay)
{
    const ReplayOutcome outcome = PlayReplay(replay);
    EXPECT_TRUE(outcome.Matches(replay));
    return outcome;
}

}  // namespace

// A game is the same whatever its file calls it and however it got where it
// went; it is another game when it starts elsewhere or its figures land
// elsewhere.
TEST(Playback, AGamesIdentityIsWhereItStartedAndWhereItsFiguresLanded)
{
    const Replay game = AutopilotGame(5, 30);
    const std::string identity = Played(game).Identity;
    const auto changed = [&](std::function<void(Replay&)> change) {
        Replay replay = game;
        change(replay);
        return replay;
    };
    const auto moved = [&](K first, K second) {
        // The first figure moved one way and back before it falls.
        return changed([=](Replay& r) {
            const auto started = std::find(r.Events.begin(), r.Events.end(), ReplayEvent{K::Started, 1});
            r.Events.insert(started + 1, {{first, 1}, {second, 1}});
        });
    };
    const struct {
        const char* name;
        Replay replay;
        bool same;
    } cases[] = {
        {"renamed", changed([](Replay& r) { r.Result.Name = "Mallory"; }), true},
        {"another game number", changed([](Replay& r) { r.GameNumber += 7; }), true},
        {"another look", changed([](Replay& r) { r.Look = {false, true, true}; }), true},
        {"paused and resumed", changed([](Replay& r) { r.Events.insert(r.Events.begin() + 3, {{K::Pause, 1}, {K::Resume, 1}}); }), true},
        {"moved there and back", moved(K::MoveLeft, K::MoveRight), true},
        {"cut short", AutopilotGame(5, 20), true},
        {"played on", AutopilotGame(5, 60), true},
        {"another seed", AutopilotGame(6, 30), false},
        {"a draw further into its source", AutopilotGame(5, 30, 1), false},
        {"its first figure landed elsewhere", moved(K::MoveLeft, K::MoveLeft), false},
    };
    for (const auto& c : cases) {
        Replay replay = c.replay;
        ReplayOutcome outcome = PlayReplay(replay);
        EXPECT_EQ(outcome.Identity == identity, c.same) << c.name;
        EXPECT_TRUE(outcome.AutopilotPlayed) << c.name;
    }
}

// The autopilot plays a game once a landing is answered with it on; a
// switch on and off before that leaves the game the player's.
TEST(Playback, TheAutopilotPlayedAGameOnceItAnsweredALanding)
{
    for (const bool answered : {false, true}) {
        RecordedGame game(13);
        game.play.StartGame();
        game.play.Started();
        game.FallUntilLanded();
        game.play.SetAutopilot(true);
        if (answered)
            game.DropAndWait(false);
        game.play.SetAutopilot(false);
        game.FallUntilLanded();
        EXPECT_EQ(Played(game.Finish()).AutopilotPlayed, answered) << answered;
    }
}

// What a file claims is held against its events before it is played: every
// recorded game passes; a claim no events can reach is named.
TEST(Playback, ClaimsTheEventsCannotReachAreFoundWithoutPlaying)
{
    for (const Script& script : Scripts) {
        RecordedGame game(script.seed);
        script.play(game);
        EXPECT_EQ(ImpossibleClaims(game.Finish()), "") << script.name;
    }
    const Replay genuine = AutopilotGame(9, 40);
    ASSERT_EQ(ImpossibleClaims(genuine), "");
    const struct {
        const char* name;
        std::function<void(Replay&)> change;
        const char* says;
    } cases[] = {
        {"a landing more", [](Replay& r) { r.Result.Landings += 1; }, "landing reactions"},
        {"a landing less", [](Replay& r) { r.Result.Landings -= 1; }, "landing reactions"},
        {"fewer ticks than it has", [](Replay& r) { r.Result.Ticks = 1; }, "more than the 1 it says ran"},
        {"more ticks than it has", [](Replay& r) { r.Result.Ticks += 1000; }, "too few"},
        {"more ticks than its figures take",
         [](Replay& r) {
             r.Events = {{K::Started, 1}, {K::FallTick, 40}, {K::Stop, 1}};
             r.Result.Landings = 0;
             r.Result.Ticks = 40;
         },
         "figures can take"},
    };
    for (const auto& c : cases) {
        Replay replay = genuine;
        c.change(replay);
        EXPECT_NE(ImpossibleClaims(replay).find(c.says), std::string::npos) << c.name << ": " << ImpossibleClaims(replay);
    }
}

TEST(Playback, EachMissedClaimIsNamed)
{
    const Replay genuine = AutopilotGame(9, 40);
    const ReplayOutcome played = Played(genuine);
    EXPECT_EQ(MissedClaims(genuine, played), "");
    Replay forged = genuine;
    ReplayResult& c = forged.Result;
    c.Score += 5;
    c.Level += 1;
    c.Landings += 2;
    c.Ticks -= 3;
    c.Stopped = false;
    const ReplayResult& r = genuine.Result;
    const auto says = [](const char* what, std::uint64_t got, std::uint64_t claimed) {
        return std::string(what) + " " + std::to_string(got) + " (it says " + std::to_string(claimed) + ")";
    };
    EXPECT_EQ(MissedClaims(forged, played),
              says("score", r.Score, c.Score) + ", " + says("level", r.Level, c.Level) + ", " +
                  says("landings", r.Landings, c.Landings) + ", " + says("ticks", r.Ticks, c.Ticks) +
                  ", ended by a command (it says with a full well)");
}
