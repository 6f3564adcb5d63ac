#include <gtest/gtest.h>

#include <QTest>

#include "form_fixture.h"
#include "window/notification_event.h"

namespace {

QWidget* Find(TForm1& form, const char* name)
{
    return form.findChild<QWidget*>(name);
}

TEST(WindowDesign, ControlsStandAtTheirPlacesWithTheirFirstState)
{
    ProbeForm form;
    EXPECT_EQ(form.size(), QSize(800, 600));
    EXPECT_EQ(form.windowTitle(), "Vantorix II");
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form.BackgroundColour(), QColor(0x6A, 0x6A, 0x6A));
    struct Case {
        const char* name;
        QRect place;
        bool shown;
    } cases[] = {
        {"Image5", {11, 4, 778, 3}, true},        {"Image6", {11, 593, 778, 3}, true},
        {"Image4", {5, 10, 3, 580}, true},        {"Image3", {792, 10, 3, 580}, true},
        {"Label6", {18, 14, 111, 18}, true},      {"Label11", {18, 30, 63, 18}, true},
        {"ImageRus", {97, 13, 33, 17}, true},     {"ImageEng", {97, 13, 33, 17}, false},
        {"Label3", {15, 54, 266, 55}, false},     {"Label2", {72, 105, 153, 41}, true},
        {"lbLe", {72, 138, 153, 49}, true},       {"Label1", {72, 476, 153, 41}, true},
        {"lbLi", {48, 509, 201, 43}, true},       {"LBBonus", {64, 50, 166, 52}, false},
        {"LBBonusN", {16, 54, 265, 49}, false},   {"LV2", {45, 190, 209, 277}, true},
        {"lbS", {25, 568, 244, 23}, false},       {"PB", {291, 19, 225, 560}, true},
        {"Image15", {287, 15, 225, 1}, true},     {"Image14", {288, 581, 225, 1}, true},
        {"Image16", {287, 16, 1, 566}, true},     {"Image17", {512, 15, 1, 566}, true},
        {"Image1", {0, 0, 32, 32}, false},        {"Image2", {0, 0, 32, 32}, false},
        {"Edit1", {552, 17, 193, 30}, false},     {"Label4", {600, 50, 113, 41}, true},
        {"LV1", {552, 75, 201, 454}, true},       {"Label8", {551, 531, 202, 22}, true},
        {"Label5", {640, 555, 137, 22}, true},    {"Label7", {648, 570, 129, 17}, true},
        {"PauseBlocked", {291, 19, 218, 559}, false}, {"GBAbout", {257, 234, 292, 165}, false},
        {"GBOptions", {257, 120, 292, 369}, false},   {"GBOptions1", {14, 161, 265, 168}, true},
        {"Label15", {50, 56, 193, 105}, true},    {"BDefault", {80, 24, 137, 25}, true},
        {"BOk", {88, 334, 119, 25}, true},        {"Image8", {51, 96, 31, 31}, true},
        {"Image13", {211, 96, 31, 31}, true},     {"Panel1", {51, 129, 31, 31}, true},
        {"Panel6", {211, 129, 31, 31}, true},     {"Image7", {18, 30, 32, 32}, true},
        {"LBAbout", {9, 88, 269, 65}, true},
    };
    for (const Case& c : cases) {
        QWidget* widget = Find(form, c.name);
        ASSERT_NE(widget, nullptr) << c.name;
        EXPECT_EQ(widget->geometry(), c.place) << c.name;
        EXPECT_EQ(!widget->isHidden(), c.shown) << c.name;
    }
    EXPECT_FALSE(form.Edit1->isEnabled());
    EXPECT_FALSE(form.LV1->isEnabled());
    EXPECT_FALSE(form.LV2->isEnabled());
    EXPECT_EQ(form.Label3->text(), "GAME OVER");
    EXPECT_EQ(form.lbLe->text(), "1");
    EXPECT_EQ(form.lbLi->text(), "0");
    EXPECT_TRUE(form.ChBox_Anim->isChecked());
    EXPECT_TRUE(form.ChBox_Sound->isChecked());
    EXPECT_TRUE(form.ChBox_Sound_ON->isChecked());
    EXPECT_FALSE(form.ChBox_Rot_Inverse->isChecked());
    EXPECT_TRUE(form.RB_Eng->isChecked());
}

TEST(WindowDesign, KeyHelpListsSeventeenKeysWithTheDesignTexts)
{
    ProbeForm form;
    ASSERT_EQ(form.LV2->topLevelItemCount(), 17);
    EXPECT_EQ(form.LV2->columnCount(), 2);
    EXPECT_EQ(form.LV2->columnWidth(0), 53);
    EXPECT_EQ(form.LV2->columnWidth(1), 156);
    EXPECT_TRUE(form.LV2->isHeaderHidden());
    EXPECT_EQ(form.LV2->topLevelItem(0)->text(0), "  ENTER");
    EXPECT_EQ(form.LV2->topLevelItem(0)->text(1), " -   Start / Stop  Game");
    EXPECT_EQ(form.LV2->topLevelItem(7)->text(0), " 1, 2, 3");
    EXPECT_EQ(form.LV2->topLevelItem(16)->text(0), "  Q, F10");
    EXPECT_EQ(form.LV2->topLevelItem(16)->text(1), " -   Quit  Game");
}

TEST(StartUp, PreparesTheEngineTimersAndPictures)
{
    ProbeForm form;
    ASSERT_TRUE(form.Game);
    EXPECT_FALSE(form.Game->Running);
    EXPECT_TRUE(form.Game->SoundOn);
    EXPECT_EQ(form.Game->RecordPlace, form.LV1->topLevelItemCount() + 1);
    EXPECT_TRUE(form.Timer1->isActive()) << "the fall timer ticks from the start";
    EXPECT_EQ(form.Timer1->interval(), 1000);
    EXPECT_EQ(form.Timer1->timerType(), Qt::PreciseTimer);
    EXPECT_FALSE(form.Timer3->isActive());
    EXPECT_EQ(form.Timer3->interval(), 20);
    EXPECT_EQ(form.ColourMode, 2);
    EXPECT_EQ(form.Geometry.CellSize, 30);
    EXPECT_EQ(form.Geometry.WellImageWidth, 218);
    EXPECT_EQ(form.Geometry.WellImageHeight, 559);
    for (int k = 1; k <= 7; ++k)
        EXPECT_FALSE(form.CellImages[k].isNull()) << k;
    EXPECT_FALSE(form.AutopilotOn || form.KeyPressed || form.UserPaused || form.FullScreen || form.MenuToggle);
}

// ---- Notifications ----------------------------------------------------------

struct Snapshot {
    QString level, score;
    bool gameOver, banner, hint, entry, timer1, timer3;
    int interval, ticks, place;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(TForm1& form)
{
    return {form.lbLe->text(),        form.lbLi->text(),     !form.Label3->isHidden(), !form.lbS->isHidden(),
            form.Label8->isEnabled(), form.Edit1->isEnabled(), form.Timer1->isActive(), form.Timer3->isActive(),
            form.Timer1->interval(),  form.Loop->TicksInLevel,     form.Game->RecordPlace};
}

TEST(Notifications, UnknownCodesChangeNothing)
{
    ProbeForm form;
    form.Game->StartGame();
    DeliverNotifications();
    form.Game->Level = 7;
    form.Game->Score = 12345;
    form.Game->Interval = 300;
    form.Loop->TicksInLevel = 9;
    const Snapshot before = Take(form);
    for (int code : {0, 3, 4, 5, 7, 9, 12, 13, 1024}) {
        form.ApplicationEvents1Message(code);
        EXPECT_EQ(Take(form), before) << code;
    }
}

TEST(Notifications, LevelScoreAndIntervalAreCopiedIntoTheWindow)
{
    ProbeForm form;
    form.Game->Level = 12;
    form.Game->Score = 3456800;
    form.Game->Interval = 280;
    form.ApplicationEvents1Message(10);
    form.ApplicationEvents1Message(11);
    form.ApplicationEvents1Message(8);
    EXPECT_EQ(form.lbLe->text(), "12");
    EXPECT_EQ(form.lbLi->text(), "3.456.800");
    EXPECT_EQ(form.Timer1->interval(), 280);
}

TEST(Notifications, ArriveQueuedThroughTheApplicationHookInOrder)
{
    ProbeForm form;
    form.Game->StartGame();
    EXPECT_EQ(form.Timer1->interval(), 1000) << "nothing happens before the queue is served";
    DeliverNotifications();
    EXPECT_EQ(form.Timer1->interval(), 940);
    EXPECT_EQ(form.lbLe->text(), "1");
    EXPECT_EQ(form.lbLi->text(), "0");
    EXPECT_TRUE(form.Timer1->isActive());
}

TEST(Notifications, GameStartedAndGameOver)
{
    ProbeForm form;
    form.show();
    form.Loop->TicksInLevel = 30;
    form.Timer3->start();
    form.Label3->show();
    form.Game->StartGame();
    DeliverNotifications();
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_FALSE(form.Timer3->isActive());
    EXPECT_TRUE(form.Label3->isHidden());
    EXPECT_FALSE(form.Label8->isEnabled());
    EXPECT_TRUE(form.lbS->isHidden());
    EXPECT_EQ(form.Loop->TicksInLevel, 0);
    // The game enters the empty table as its live row.
    EXPECT_EQ(form.Game->RecordPlace, 1);
    ASSERT_EQ(form.LV1->topLevelItemCount(), 1);
    EXPECT_EQ(form.LV1->currentItem(), form.LV1->topLevelItem(0));

    // A score without a place: game over shows, no name entry opens.
    form.Game->RecordPlace = 31;
    form.Game->GameOver();
    DeliverNotifications();
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_FALSE(form.Timer3->isActive());
    EXPECT_FALSE(form.Label3->isHidden());
    EXPECT_TRUE(form.Label8->isEnabled());
    EXPECT_TRUE(form.lbS->isHidden());
    EXPECT_FALSE(form.Edit1->isEnabled());
    EXPECT_TRUE(form.Edit1->isHidden());

    // A score with a place opens the name entry.
    form.Game->StartGame();
    DeliverNotifications();
    form.Game->RecordPlace = 1;
    form.Game->GameOver();
    DeliverNotifications();
    EXPECT_TRUE(form.Edit1->isEnabled());
    EXPECT_FALSE(form.Edit1->isHidden());
    EXPECT_FALSE(form.Label8->isEnabled());
}

TEST(Notifications, ALandingRunsTheCascadeAnimationAndWaits)
{
    ProbeForm form;
    form.Game->StartGame();
    DeliverNotifications();
    form.ChBox_Sound->setChecked(false);
    TADTetrisGame& game = *form.Game;
    // A vertical line of three lands on two cells of its colour.
    game.Figure.Cells = {0, 2, 0, 0, 2, 0, 0, 2, 0};
    game.Figure.RecomputeExtent();
    game.Figure.X = 0;
    game.Figure.Y = 16;
    game.Stack[CellIndex(18, 2)] = 2;
    game.Stack[CellIndex(18, 3)] = 2;
    form.SoundLog.clear();
    form.Timer1Timer();
    DeliverNotifications();
    EXPECT_EQ(game.Score, 3 + 6 + 9 + 12 + 15);
    EXPECT_EQ(form.lbLi->text(), "45");
    // One wait per removed cell, then the pause after the landing.
    EXPECT_EQ(form.Waits, (std::vector<int>{15, 15, 15, 15, 15, 100}));
    EXPECT_EQ(form.SoundLog, (std::vector<std::string>(6, "wave :/WAV_1")));
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_FALSE(game.Paused);
}

// ---- Timers -------------------------------------------------------------------

TEST(DropGrace, TheFallTimerResumesOnTheTickThatPassesTheInterval)
{
    const struct {
        int interval, tick;
    } cases[] = {{940, 12}, {880, 12}, {820, 12}, {760, 11}, {460, 11}, {400, 10},
                 {280, 10}, {220, 9},  {160, 9},  {100, 8},  {40, 6}};
    for (const auto& c : cases) {
        ProbeForm form;
        form.Game->StartGame();
        DeliverNotifications();
        form.Timer1->setInterval(c.interval);
        form.HardDrop();
        EXPECT_FALSE(form.Timer1->isActive());
        EXPECT_TRUE(form.Timer3->isActive());
        int tick = 0;
        while (form.Timer3->isActive() && tick < 50) {
            ++tick;
            form.Timer3Timer();
        }
        EXPECT_EQ(tick, c.tick) << c.interval;
        EXPECT_TRUE(form.Timer1->isActive());
        EXPECT_EQ(form.Loop->DropGrace, 1);
    }
}

TEST(DropGrace, KeysHoldItAndAPauseFreezesIt)
{
    ProbeForm form;
    form.Game->StartGame();
    DeliverNotifications();
    form.HardDrop();
    for (int i = 0; i < 30; ++i) {
        form.KeyPressed = true;
        form.Timer3Timer();
    }
    EXPECT_EQ(form.Loop->DropGrace, 1) << "1 x 0.6 rounds back to 1";
    EXPECT_TRUE(form.Timer3->isActive());
    form.Timer3Timer();
    form.Timer3Timer();
    EXPECT_EQ(form.Loop->DropGrace, 4);
    form.Game->SetPaused(true);
    form.KeyPressed = true;
    form.Timer3Timer();
    EXPECT_EQ(form.Loop->DropGrace, 4);
    EXPECT_TRUE(form.KeyPressed);
}

TEST(LevelClock, RisesEveryFiftySixCountedTicksUpToSixteen)
{
    ProbeForm form;
    form.Game->StartGame();
    DeliverNotifications();
    for (int i = 0; i < 55; ++i)
        form.SecsInLevel();
    EXPECT_EQ(form.Game->Level, 1);
    form.SecsInLevel();
    EXPECT_EQ(form.Game->Level, 2);
    EXPECT_EQ(form.Loop->TicksInLevel, 0);
    DeliverNotifications();
    EXPECT_EQ(form.lbLe->text(), "2");

    form.Game->SetPaused(true);
    for (int i = 0; i < 100; ++i)
        form.SecsInLevel();
    EXPECT_EQ(form.Loop->TicksInLevel, 0) << "paused ticks do not count";
    form.Game->SetPaused(false);

    form.Game->SetLevel(16);
    for (int i = 0; i < 200; ++i)
        form.SecsInLevel();
    EXPECT_EQ(form.Game->Level, 16);
    EXPECT_EQ(form.Loop->TicksInLevel, 200);
}

TEST(LevelClock, CountsButNeverRisesWithoutAGame)
{
    ProbeForm form;
    for (int i = 0; i < 60; ++i)
        form.Timer1Timer();
    EXPECT_EQ(form.Loop->TicksInLevel, 60);
    EXPECT_EQ(form.Game->Level, 0);
}

TEST(Delay, LeavesARunningGameUnpausedAndAnIdleOneAlone)
{
    ProbeForm form;
    form.TForm1::Delay(1);
    EXPECT_FALSE(form.Game->Paused);
    form.Game->StartGame();
    form.Game->SetPaused(true);
    form.TForm1::Delay(2);
    EXPECT_TRUE(form.Game->Running);
    EXPECT_FALSE(form.Game->Paused);
}

// ---- Score display ---------------------------------------------------------------

TEST(Bonus, AnimatesTwiceOrFlashesTheWordOnce)
{
    struct Case {
        bool animate;
        std::vector<int> waits;
        std::vector<std::string> shown;
    } cases[] = {
        {true,
         {110, 60, 120, 60, 110, 60, 120, 60},
         {"word", "", "amount", "", "word", "", "amount", ""}},
        {false, {60}, {"word"}},
    };
    for (const Case& c : cases) {
        ProbeForm form;
        form.show();
        form.ChBox_Anim->setChecked(c.animate);
        form.Bonus(16000);
        EXPECT_EQ(form.LBBonusN->text(), "16.000");
        EXPECT_EQ(form.Waits, c.waits);
        EXPECT_EQ(form.BonusStates, c.shown);
        EXPECT_TRUE(form.LBBonus->isHidden());
        EXPECT_TRUE(form.LBBonusN->isHidden());
    }
}

// ---- Errors ----------------------------------------------------------------------

class Thrower : public QObject {
protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("'' is not a valid integer value");
        return QObject::event(e);
    }
};

TEST(GeneralErrorHandler, ShowsTheMessageAndGoesOn)
{
    std::vector<QString> shown;
    VantorixApplication::ShowError = [&](const QString& text) { shown.push_back(text); };
    Thrower thrower;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents();
    VantorixApplication::ShowError = nullptr;
    EXPECT_EQ(shown, (std::vector<QString>{"'' is not a valid integer value", "'' is not a valid integer value"}));
}

}  // namespace
