// The game session without a window: what a key does in each state, the
// order of ticks, notices and held inputs, and the steps of an animation.

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/score_text.h"
#include "game_session/headless_session.h"
#include "storage/temp_folder.h"
#include "support/test_host.h"

namespace {

// A front end that keeps what the session asks of it. Waits end when the
// test says so; each wait keeps the view it began with.
class LoggingFront : public SessionFrontEnd {
public:
    struct Frame {
        int Wait;
        std::string Score;
        bool Word, Amount;
        std::vector<std::string> Well;
        bool operator==(const Frame&) const = default;
    };

    void WakeLater() override { Wake = true; }
    void StartTimer(SessionTimer timer, int milliseconds) override
    {
        if (timer != SessionTimer::Wait || !Session)
            return;
        const SessionView& view = Session->View();
        Frames.push_back({milliseconds, view.Score, view.BonusWord, view.BonusAmount, WellRows(view.Well)});
        WaitDue = true;
    }
    void SetFullScreen(bool on) override { Log.push_back(on ? "full-on" : "full-off"); }
    void Raise() override { Log.push_back("raise"); }
    void LookAway() override { Log.push_back("look-away"); }
    void Close() override { Log.push_back("close"); }
    void ShowMenu(const MenuState&) override { Log.push_back("menu"); }

    GameSession* Session = nullptr;
    bool Wake = false, WaitDue = false;
    std::vector<Frame> Frames;
    std::vector<std::string> Log;
};

struct Rig {
    LoggingFront front;
    GameSession session;
    explicit Rig(const SessionSetup& setup) : session(front, setup)
    {
        front.Session = &session;
        session.Start();
        Settle();
    }
    void Settle()
    {
        while (std::exchange(front.Wake, false))
            session.Deliver();
    }
    void Press(int key)
    {
        session.Key(key);
        Settle();
    }
    // Every wait ended in turn, and what it held let through.
    void EndWaits()
    {
        for (int k = 0; k < 1000 && std::exchange(front.WaitDue, false); ++k) {
            session.TimerFired(SessionTimer::Wait);
            Settle();
        }
    }
};

SessionSetup WithSound(std::uint32_t seed = 3)
{
    SessionSetup setup;
    setup.Seed = seed;
    setup.PlayerName = "tester";
    return setup;
}

// The state the keys depend on, in words.
std::string Describe(Rig& r)
{
    const GameSession& s = r.session;
    const SessionView& v = s.View();
    std::string text = s.Game().Running ? "running" : "idle";
    const auto add = [&](bool on, const std::string& word) {
        if (on)
            text += " " + word;
    };
    add(s.Game().Paused, "paused");
    add(v.PauseCover, "cover");
    add(v.Options, "options");
    add(v.About, "about");
    add(v.NameEntry, "entry");
    add(s.AutopilotOn(), "autopilot");
    add(s.Watching(), "watching");
    add(s.Language().Shown() == Language::Russian, "ru");
    add(v.ColourMode != 2, "mode=" + std::to_string(v.ColourMode));
    add(s.FullScreen(), "full");
    add(!s.Game().SoundOn, "mute");
    add(s.Game().Running && !s.AutopilotOn() && !s.Watching(), "x=" + std::to_string(s.Game().Figure.X));
    for (const std::string& line : r.front.Log)
        text += " [" + line + "]";
    return text;
}

Replay AutopilotReplay(int landings)
{
    HeadlessSession headless(QuietSetup(9));
    std::optional<Replay> ended;
    headless.Session.OnNotice = [&](int code) {
        if (code == NotifyGameOver && !ended)
            ended = headless.Session.Play().TakeReplay();
    };
    headless.Press('A');
    for (int landed = 0; !ended;) {
        if (headless.Tick() && ++landed == landings)
            headless.Press('A');   // off: the game ends
    }
    return *ended;
}

TEST(KeyDecisions, EachStateAndKeyDoesWhatTheTableSays)
{
    TempFolder folder;
    const Replay watched = AutopilotReplay(3);
    const auto playing = [](Rig& r) { r.Press(VK_RETURN); };
    const struct {
        const char* state;
        std::function<void(Rig&)> setUp;
    } states[] = {
        {"idle", [](Rig&) {}},
        {"playing", playing},
        {"paused", [&](Rig& r) { playing(r); r.Press('P'); }},
        {"options", [&](Rig& r) { playing(r); r.Press('O'); }},
        {"about", [&](Rig& r) { playing(r); r.Press(VK_F1); }},
        {"autopilot", [](Rig& r) { r.Press('A'); }},
        {"entry", [](Rig& r) { r.Press(VK_RETURN); r.Press(VK_RETURN); }},
        {"watching", [&](Rig& r) { r.session.WatchReplay(watched); r.Settle(); }},
    };
    const struct {
        const char* state;
        int key;
        const char* after;
    } rows[] = {
        {"idle", VK_RETURN, "running x=3"},
        {"idle", 'P', "idle"},
        {"idle", VK_SPACE, "idle"},
        {"idle", 'O', "idle options"},   // no game to pause, so no cover
        {"idle", VK_F1, "idle about"},
        {"idle", 'L', "idle ru"},
        {"idle", '3', "idle mode=3"},
        {"idle", 'F', "idle full [full-on]"},
        {"idle", VK_ESCAPE, "idle [look-away]"},
        {"idle", 'Q', "idle [close]"},
        {"idle", VK_F10, "idle [close]"},
        {"idle", 'S', "idle mute"},
        {"idle", 'A', "running autopilot"},
        {"playing", 'P', "running paused cover x=3"},
        {"playing", VK_RETURN, "idle entry"},   // a first game has its place
        {"playing", 'O', "running paused cover options x=3"},
        {"playing", VK_F1, "running paused cover about x=3"},
        {"playing", VK_LEFT, "running x=2"},
        {"playing", '4', "running x=2"},
        {"playing", VK_RIGHT, "running x=4"},
        {"playing", VK_SHIFT, "running x=3"},
        {"paused", VK_LEFT, "running x=3"},   // any key resumes, and only that
        {"paused", VK_SHIFT, "running paused cover x=3"},
        {"paused", 'P', "running x=3"},
        {"options", 'O', "running x=3"},
        {"options", VK_ESCAPE, "running x=3"},
        {"options", VK_RETURN, "running paused cover options x=3"},
        {"options", VK_LEFT, "running paused cover options x=3"},
        {"options", VK_F1, "running paused cover options x=3"},
        {"about", VK_LEFT, "running x=3"},
        {"about", 'O', "running x=3"},
        {"autopilot", VK_LEFT, "running autopilot"},
        {"autopilot", 'P', "running autopilot"},
        {"autopilot", 'O', "running options autopilot"},   // the autopilot plays on
        {"autopilot", 'A', "idle"},   // the game ends; the Enter queued with Space names its row
        {"entry", 'L', "idle entry"},
        {"entry", 'O', "idle entry"},
        {"entry", VK_RETURN, "idle entry"},   // the entry itself takes Enter
        {"entry", VK_F1, "idle cover about entry"},
        {"watching", VK_LEFT, "idle"},
        {"watching", 'A', "idle"},
    };
    for (const auto& row : rows) {
        SessionSetup setup = WithSound();
        setup.RecordsFile = folder / (std::string(row.state) + std::to_string(row.key) + ".rez");
        Rig r(setup);
        for (const auto& state : states)
            if (std::string(state.state) == row.state)
                state.setUp(r);
        r.EndWaits();
        r.front.Log.clear();
        r.Press(row.key);
        r.EndWaits();
        EXPECT_EQ(Describe(r), row.after) << row.state << " + key " << row.key;
    }
}

// A vertical three of colour 2 lands on two rows of two: seven cells go in
// one chain, which earns the bonus.
void SetUpBonusLanding(GameSession& session)
{
    TADTetrisGame& game = session.Game();
    SetFigure(game, {0, 2, 0, 0, 2, 0, 0, 2, 0}, 0, 16);
    PutBottomRows(game.Stack, {".22....", ".22...."});
}

// A game started, and the fall tick that lands the figure for the bonus.
void LandForTheBonus(Rig& r)
{
    r.Press(VK_RETURN);
    SetUpBonusLanding(r.session);
    r.session.TimerFired(SessionTimer::Fall);
    r.Settle();
}

std::vector<LoggingFront::Frame> BonusFrames()
{
    std::vector<LoggingFront::Frame> frames;
    const std::vector<std::string> scores = {"0", "3", "9", "18", "30", "45", "63"};
    for (const std::string& score : scores)
        frames.push_back({20, score, false, false, {}});
    const int bonusWaits[] = {110, 60, 120, 60, 110, 60, 120, 60};
    for (int k = 0; k < 8; ++k)
        frames.push_back({bonusWaits[k], "84", k % 4 == 0, k % 4 == 2, {}});
    frames.push_back({100, FormatScore(1084), false, false, {}});
    return frames;
}

TEST(Animation, ACascadeWithABonusIsASequenceOfViewsAndWaits)
{
    Rig r(QuietSetup(5));
    LandForTheBonus(r);
    ASSERT_TRUE(r.session.Animating());
    EXPECT_EQ(r.session.Game().Score, 1084) << "the game is ahead of what is shown";
    r.EndWaits();
    std::vector<LoggingFront::Frame> frames = r.front.Frames;
    ASSERT_EQ(frames.size(), BonusFrames().size());
    // The well empties a cell a wait, from the marked landing on.
    EXPECT_EQ(WellOf({"7......", "777....", "777...."}), frames[0].Well) << "marked";
    EXPECT_EQ(WellOf({"..7...."}), frames[6].Well) << "six removed, top row first";
    EXPECT_EQ(WellOf({}), frames[7].Well) << "the bonus over an empty well";
    EXPECT_EQ(frames.back().Well[17], ".......");
    for (auto& frame : frames)
        frame.Well.clear();
    EXPECT_EQ(frames, BonusFrames());
    EXPECT_FALSE(r.session.Animating());
    EXPECT_EQ(r.session.View().Score, "1.084");
}

TEST(Animation, InputsDuringItAreTakenAfterItInOrder)
{
    Rig r(QuietSetup(5));
    LandForTheBonus(r);
    const int x = r.session.Game().Figure.X;
    r.Press(VK_LEFT);
    r.Press(VK_LEFT);
    r.Press('P');
    r.session.TimerFired(SessionTimer::Fall);   // late, as a timer is after a blocking wait
    EXPECT_EQ(r.session.Game().Figure.X, x) << "held while the animation waits";
    EXPECT_FALSE(r.session.Game().Paused);
    r.EndWaits();
    EXPECT_EQ(r.session.Game().Figure.X, x - 2);
    EXPECT_TRUE(r.session.Game().Paused) << "the pause came after the moves";
    const auto& events = r.session.Play().Recorded()->Events;
    std::vector<ReplayEventKind> tail;
    for (auto e = events.end() - 3; e != events.end(); ++e)
        tail.push_back(e->Kind);
    EXPECT_EQ(tail, (std::vector<ReplayEventKind>{ReplayEventKind::Landed, ReplayEventKind::MoveLeft,
                                                  ReplayEventKind::Pause}))
        << "the late tick of a game that was paused by then counts for nothing";
}

// An error thrown out of an input reaches the general handler, and the
// session still takes what comes after it.
TEST(Errors, AnInputThatThrowsLeavesTheSessionTakingInputs)
{
    HeadlessSession h;
    bool thrown = false;
    h.Session.OnNotice = [&](int code) {
        if (code == NotifyGameStarted && !std::exchange(thrown, true))
            throw std::runtime_error("out of memory");
    };
    h.Session.Key(VK_RETURN);
    EXPECT_THROW(h.Settle(), std::runtime_error);
    h.Session.Deliver();   // the event loop's next round
    EXPECT_TRUE(h.Session.Game().Running);
    h.Press(VK_LEFT);
    EXPECT_EQ(h.Session.Game().Figure.X, 2);
    h.Press(VK_RETURN);
    EXPECT_FALSE(h.Session.Game().Running) << "and its notices are acted on";
    EXPECT_EQ(h.Session.View().GameOverCaption, true);
}

TEST(Ticks, TheDropTimerRunsDuringTheGraceAndTheFallTimerOtherwise)
{
    HeadlessSession h;
    h.Press(VK_RETURN);
    EXPECT_EQ(h.Session.Game().Interval, 940);
    h.Press(VK_SPACE);
    EXPECT_TRUE(h.Session.TimerRuns(SessionTimer::Drop));
    EXPECT_FALSE(h.Session.TimerRuns(SessionTimer::Fall));
    // Eleven quiet drop-timer ticks hold the figure; the twelfth lands it.
    for (int i = 0; i < 11; ++i)
        EXPECT_FALSE(h.Tick()) << i;
    EXPECT_EQ(h.Session.Loop().FallTicks, 0);
    EXPECT_TRUE(h.Tick());
    EXPECT_EQ(h.Session.Loop().FallTicks, 1);
    EXPECT_TRUE(h.Session.TimerRuns(SessionTimer::Fall));
    EXPECT_FALSE(h.Session.TimerRuns(SessionTimer::Drop));
}

TEST(AutopilotGames, StartWithTheFirstFigureDroppedAndLandItAtTheNextFallTick)
{
    HeadlessSession h;
    h.Press('A');
    const TADTetrisGame& game = h.Session.Game();
    ASSERT_TRUE(game.Running);
    EXPECT_TRUE(h.Session.TimerRuns(SessionTimer::Fall)) << "the game-started notice put it in charge";
    EXPECT_FALSE(h.Session.TimerRuns(SessionTimer::Drop));
    for (int landing = 1; landing <= 20 && game.Running; ++landing) {
        EXPECT_FALSE(TFigure::Fits(game.Stack, game.Figure.X, game.Figure.Y + 1, game.Figure.Cells)) << landing;
        const std::int64_t ticks = h.Session.Loop().FallTicks;
        EXPECT_TRUE(h.Tick()) << landing;
        EXPECT_EQ(h.Session.Loop().FallTicks, ticks + 1);
        while (h.Session.Animating())
            h.Tick();
    }
}

TEST(AutopilotGames, TheSameSeedPlaysTheSameGame)
{
    const auto play = [](std::uint32_t seed) {
        HeadlessSession h(QuietSetup(seed));
        h.Press('A');
        std::vector<std::int32_t> scores;
        while (h.Session.Play().Progress().Landings < 300 && scores.size() < 3000)
            if (h.Tick())
                scores.push_back(h.Session.Game().Score);
        return scores;
    };
    const auto first = play(5);
    EXPECT_GT(first.size(), 10u);
    EXPECT_EQ(play(5), first);
    EXPECT_NE(play(6), first);
}

}  // namespace
