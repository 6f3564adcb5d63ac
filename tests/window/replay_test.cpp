// Replays in the window: a game played with keys and ticks is kept with its
// records entry and plays again, headless or in the well.

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <fstream>

#include "form_fixture.h"
#include "common/records_site.h"
#include "replay/playback.h"
#include "storage/atomic_file.h"

namespace {

void Press(TForm1& form, Qt::Key key)
{
    QWidget* target = form.focusWidget() ? form.focusWidget() : &form;
    QTest::keyClick(target, key);
}

// A game by hand and by the autopilot, ended by switching it off; its name
// is entered. Returns the score it ended with.
std::int32_t PlayAGame(ProbeForm& form)
{
    // Seeded: with the figures of the clock, the autopilot's part may fill
    // the well, and the autopilot would start a game of its own.
    form.Game->Random.Seed(7);
    Press(form, Qt::Key_Return);
    DeliverNotifications();
    const Qt::Key keys[] = {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down, Qt::Key_Space};
    for (int step = 0; step < 120 && form.Game->Running; ++step) {
        if (step % 7 == 0)
            Press(form, keys[(step / 7) % std::size(keys)]);
        if (step == 50) {
            Press(form, Qt::Key_P);   // paused: ticks do nothing
            Tick(form);
            Press(form, Qt::Key_X);   // any key goes on
        }
        Tick(form);
    }
    EXPECT_TRUE(form.Game->Running) << "the hand-played part ended the game";
    Press(form, Qt::Key_A);
    DeliverNotifications();
    for (int step = 0; step < 150 && form.Game->Running; ++step)
        Tick(form);
    EXPECT_TRUE(form.Game->Running) << "the autopilot's part ended the game";
    const std::int32_t score = form.Game->Score;
    Press(form, Qt::Key_A);   // off: the game ends
    DeliverNotifications();
    EXPECT_FALSE(form.Game->Running);
    if (form.Edit1->isEnabled())
        Press(form, Qt::Key_Return);
    DeliverNotifications();
    return score;
}

std::string FileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(WindowReplays, AGamePlayedInTheWindowIsKeptAndReplaysHeadlessToItsScore)
{
    ProbeForm form;
    form.show();
    const std::int32_t score = PlayAGame(form);
    ASSERT_GT(score, 0);
    const auto replay = form.RecordsShown().Replays().Find(form.RecordsShown().Entries(), 1);
    ASSERT_TRUE(replay.has_value());
    EXPECT_TRUE(replay->Result.Stopped);
    EXPECT_EQ(replay->Result.Score, score);
    const auto kinds = [&](ReplayEventKind kind) {
        return std::count_if(replay->Events.begin(), replay->Events.end(),
                             [kind](const ReplayEvent& e) { return e.Kind == kind; });
    };
    for (ReplayEventKind kind : {ReplayEventKind::Pause, ReplayEventKind::Resume, ReplayEventKind::AutopilotOn,
                                 ReplayEventKind::AutopilotOff, ReplayEventKind::HardDrop, ReplayEventKind::Landed})
        EXPECT_GT(kinds(kind), 0) << int(kind);
    const ReplayOutcome outcome = PlayReplay(*replay);
    EXPECT_TRUE(outcome.Matches(*replay));
    EXPECT_EQ(outcome.Reached.Score, score);
    // The autopilot played it: it is the autopilot's, in the table and in its file.
    EXPECT_TRUE(outcome.AutopilotPlayed);
    EXPECT_EQ(form.RecordsShown().Entries()[0].Name, AutopilotName);
    EXPECT_EQ(replay->Result.Name, AutopilotName);

    // Switched on and off again before it placed a figure: the player's game.
    Press(form, Qt::Key_Return);
    DeliverNotifications();
    for (int step = 0; step < 60 && form.Game->Running; ++step)
        Tick(form);   // a few figures land
    Press(form, Qt::Key_A);
    DeliverNotifications();
    Press(form, Qt::Key_A);
    DeliverNotifications();
    ASSERT_FALSE(form.Game->Running);
    if (form.Edit1->isEnabled())
        Press(form, Qt::Key_Return);
    DeliverNotifications();
    const std::vector<RecordEntry>& entries = form.RecordsShown().Entries();
    ASSERT_EQ(entries.size(), 2u);
    const int mine = entries[0].Name == AutopilotName ? 2 : 1;
    EXPECT_NE(entries[std::size_t(mine - 1)].Name, AutopilotName);
    const auto players = form.RecordsShown().Replays().Find(entries, mine);
    ASSERT_TRUE(players.has_value());
    EXPECT_EQ(players->Result.Name, entries[std::size_t(mine - 1)].Name);
    EXPECT_FALSE(PlayReplay(*players).AutopilotPlayed);
}

// The autopilot switched off between a landing and its score notice: the
// notice does not rename the autopilot's row after the player.
TEST(WindowReplays, AGameTheAutopilotPlayedKeepsItsName)
{
    ProbeForm form;
    form.show();
    form.Game->Random.Seed(7);
    Press(form, Qt::Key_A);   // on: a game of its own starts
    DeliverNotifications();
    for (int step = 0; step < 100 && form.Game->Running; ++step)
        Tick(form);
    ASSERT_TRUE(form.Game->Running);
    for (int step = 0; step < 100 && !form.Play->LandingPending(); ++step)
        form.Timer3->isActive() ? form.Timer3Timer() : form.Timer1Timer();
    ASSERT_TRUE(form.Play->LandingPending());
    QCoreApplication::sendPostedEvents();   // the landing's reaction; its score notice waits
    Press(form, Qt::Key_A);
    DeliverNotifications();
    ASSERT_FALSE(form.Game->Running);
    if (form.Edit1->isEnabled())
        Press(form, Qt::Key_Return);
    DeliverNotifications();
    const auto& entries = form.RecordsShown().Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, AutopilotName);
    const auto replay = form.RecordsShown().Replays().Find(entries, 1);
    ASSERT_TRUE(replay.has_value());
    EXPECT_EQ(replay->Result.Name, AutopilotName);
    EXPECT_TRUE(PlayReplay(*replay).AutopilotPlayed);
}

TEST(WindowReplays, TheBestGamePlaysInTheWellAndWritesNothing)
{
    // A replay that fails to play is told: here, collected.
    std::vector<QString> told;
    VantorixApplication::ShowError = [&](const QString& text) { told.push_back(text); };
    ProbeForm form;
    form.show();
    const std::int32_t score = PlayAGame(form);
    const std::string records = FileBytes("vantorix2.rez");
    const std::uint64_t draws = form.Game->Random.Draws();
    form.GB5MouseUp();
    ASSERT_TRUE(form.WatchBest->isEnabled());
    form.PopupMenu1->hide();
    form.WatchBest->trigger();
    ASSERT_TRUE(form.Watching());
    EXPECT_TRUE(form.Game->Running);
    EXPECT_FALSE(form.lbReplay->isHidden());
    for (int step = 0; step < 5000 && form.Watching(); ++step)
        Tick(form);
    EXPECT_FALSE(form.Watching());
    EXPECT_EQ(form.Game->Score, score) << "the replay ends where the game did";
    EXPECT_TRUE(form.lbReplay->isHidden());
    EXPECT_FALSE(form.Edit1->isEnabled()) << "no name asked for";
    EXPECT_EQ(FileBytes("vantorix2.rez"), records);
    EXPECT_EQ(form.RecordsShown().Entries().size(), 1u);
    EXPECT_EQ(form.Game->Random.Draws(), draws) << "the player's own figures come on as before";
    VantorixApplication::ShowError = nullptr;
    EXPECT_TRUE(told.empty()) << told.front().toStdString();

    // The player's next game is the player's, and recorded again.
    Press(form, Qt::Key_Return);
    DeliverNotifications();
    EXPECT_TRUE(form.Game->Running);
    EXPECT_TRUE(form.State().PlayerName != "AUTOPILOT");
    ASSERT_NE(form.Play->Recorded(), nullptr);
    EXPECT_EQ(form.Play->Recorded()->DrawsBefore, draws);
}

TEST(WindowReplays, AnyKeyStopsAReplayAndABadFileIsTold)
{
    ProbeForm form;
    form.show();
    PlayAGame(form);
    const auto replay = form.RecordsShown().Replays().Find(form.RecordsShown().Entries(), 1);
    ASSERT_TRUE(replay.has_value());
    ReplaceFile("best.vxr", WriteReplay(*replay));
    ASSERT_TRUE(form.WatchReplayFile("best.vxr"));
    for (int step = 0; step < 20; ++step)
        Tick(form);
    Press(form, Qt::Key_Left);
    DeliverNotifications();
    EXPECT_FALSE(form.Watching());
    EXPECT_FALSE(form.Game->Running);
    EXPECT_FALSE(form.Edit1->isEnabled());
    EXPECT_TRUE(form.Label3->isVisible()) << "GAME OVER again";

    std::string damaged = WriteReplay(*replay);
    damaged[8] ^= 0x40;
    ReplaceFile("damaged.vxr", damaged);
    std::string newer = WriteReplay(*replay);
    newer[4] = 9;
    ReplaceFile("newer.vxr", newer);
    ReplaceFile("other.vxr", "[Options]\n");
    // Told in the language in force, with the reader's reason after it.
    const struct {
        const char* file;
        const char* english;
        const char* russian;
        const char* reason;
    } cases[] = {
        {"damaged.vxr", "The replay \"damaged.vxr\" is damaged.", "Запись \"damaged.vxr\" повреждена.", "checksum"},
        {"missing.vxr", "Cannot read the file \"missing.vxr\".", "Не удается прочитать файл \"missing.vxr\".", "Cannot open"},
        {"newer.vxr", "another version", "другой версией", "version 9"},
        {"other.vxr", "is not a replay", "не запись игры", "VXRP"},
    };
    for (const Language language : {Language::English, Language::Russian}) {
        language == Language::English ? form.RB_EngClick() : form.RB_RusClick();
        for (const auto& c : cases) {
            std::vector<QString> told;
            VantorixApplication::ShowError = [&](const QString& text) { told.push_back(text); };
            EXPECT_FALSE(form.WatchReplayFile(c.file));
            VantorixApplication::ShowError = nullptr;
            ASSERT_EQ(told.size(), 1u) << c.file;
            EXPECT_TRUE(told[0].contains(language == Language::English ? c.english : c.russian)) << told[0].toStdString();
            EXPECT_TRUE(told[0].contains(c.reason)) << told[0].toStdString();
            EXPECT_FALSE(form.Watching());
        }
    }
}
