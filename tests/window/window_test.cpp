#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QSet>
#include <QTest>
#include <functional>
#include <map>

#include "form_fixture.h"
#include "i18n/captions.h"
#include "window/design.h"
#include "window/notification_event.h"
#include "window/virtual_keys.h"

namespace {

// The window is built from the design table: every row stands as a control
// of its name, at its place, with its font, text and first state.
// A first start shows English from its first frame: the design's texts
// stand where the English table does not replace them.
TEST(WindowDesign, EveryRowOfTheTableIsBuiltAsItSays)
{
    ProbeForm form;
    EXPECT_EQ(form.size(), QSize(800, 600));
    EXPECT_EQ(form.windowTitle(), "Vantorix II");
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form.ClientArea->palette().color(QPalette::Window), QColor(0x6A, 0x6A, 0x6A));
    QSet<QString> names;
    for (const ControlDesign& row : WindowDesign()) {
        EXPECT_FALSE(names.contains(row.Name)) << row.Name << " twice";
        EXPECT_TRUE(!row.Parent || names.contains(row.Parent)) << row.Name << ": its parent comes first";
        names.insert(row.Name);
        const QString caption = QString::fromStdString(TranslatedCaption(Language::English, row.Name, row.Caption));
        const std::string shown = TranslatedCaption(Language::English, row.Name, "");
        const bool hidden = shown == "True" ? false : shown == "False" ? true : row.Hidden;
        if (row.Kind == ControlKind::MenuItem) {
            auto* item = form.PopupMenu1->findChild<QAction*>(row.Name);
            ASSERT_NE(item, nullptr) << row.Name;
            EXPECT_EQ(item->text(), caption) << row.Name;
            continue;
        }
        auto* widget = form.ClientArea->findChild<QWidget*>(row.Name);
        ASSERT_NE(widget, nullptr) << row.Name;
        EXPECT_EQ(widget->parentWidget()->objectName(), row.Parent ? row.Parent : "ClientArea") << row.Name;
        EXPECT_EQ(widget->geometry(), row.Place) << row.Name;
        EXPECT_EQ(widget->isHidden(), hidden) << row.Name;
        EXPECT_EQ(widget->isEnabled(), !row.Disabled) << row.Name;
        if (row.Font.Family) {
            EXPECT_EQ(widget->font().family(), row.Font.Family) << row.Name;
            EXPECT_EQ(widget->font().pixelSize(), row.Font.Pixels) << row.Name;
            EXPECT_EQ(widget->font().bold(), row.Font.Bold) << row.Name;
            EXPECT_EQ(widget->font().italic(), row.Font.Italic) << row.Name;
        }
        if (row.Text != NoColour) {
            EXPECT_EQ(widget->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF, row.Text) << row.Name;
        }
        if (auto* label = qobject_cast<QLabel*>(widget); label && label->pixmap().isNull()) {
            EXPECT_EQ(label->text(), caption) << row.Name;
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), caption) << row.Name;
            EXPECT_EQ(button->isChecked(), row.Checked) << row.Name;
        }
    }
    // Every component a caption table names is in the design.
    for (const Language language : {Language::Russian, Language::English})
        for (const CaptionPair& pair : CaptionTable(language))
            EXPECT_TRUE(names.contains(pair.Component)) << pair.Component;
}

TEST(WindowDesign, KeyHelpListsSeventeenKeysWithTheDesignTexts)
{
    ProbeForm form;
    const auto help = DesignKeyHelp();
    const auto english = KeyHelpTable(Language::English);
    ASSERT_EQ(help.size(), 17u);
    ASSERT_EQ(form.LV2->topLevelItemCount(), 17);
    EXPECT_EQ(form.LV2->columnCount(), 2);
    EXPECT_EQ(form.LV2->columnWidth(0), 53);
    EXPECT_EQ(form.LV2->columnWidth(1), 156);
    EXPECT_TRUE(form.LV2->isHeaderHidden());
    for (int row = 0; row < 17; ++row) {
        EXPECT_EQ(form.LV2->topLevelItem(row)->text(0), QString::fromUtf8(help[std::size_t(row)].Key)) << row;
        EXPECT_EQ(form.LV2->topLevelItem(row)->text(1), QString::fromUtf8(english[std::size_t(row)])) << row;
    }
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
    EXPECT_EQ(form.State().ColourMode, 2);
    EXPECT_EQ(form.PauseBlocked->size(), QSize(218, 559)) << "the well picture's size, from 30-pixel cells";
    for (const QLabel* view : form.CellImageViews)
        EXPECT_EQ(view->pixmap().size(), QSize(31, 31)) << view->objectName().toStdString();
    const auto state = form.State();
    EXPECT_FALSE(state.AutopilotOn || state.KeyPressed || state.UserPaused || state.FullScreen || state.MenuToggle);
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

// Counts the paints each watched control gets.
struct PaintCounter : QObject {
    explicit PaintCounter(std::initializer_list<QWidget*> watched)
    {
        for (QWidget* widget : watched)
            widget->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints[watched->objectName().toStdString()];
        return false;
    }
    std::map<std::string, int> Paints;
};

// Nothing is drawn that looks as it did: not the well at an idle or paused
// tick, nor the rest of the window when only the score changes.
TEST(Drawing, OnlyWhatChangedIsDrawnAgain)
{
    const auto none = [](ProbeForm&) {};
    const auto playing = [](ProbeForm& f) {
        f.Game->StartGame();
        DeliverNotifications();
    };
    const auto ticks = [](ProbeForm& f) {
        for (int i = 0; i < 5; ++i)
            f.Timer1Timer();
    };
    const struct {
        const char* name;
        std::function<void(ProbeForm&)> before, act;
        std::map<std::string, int> paints;
    } cases[] = {
        {"idle fall ticks", none, ticks, {}},
        {"a paused game's ticks", [&](ProbeForm& f) { playing(f); f.KeyPressDown('P'); }, ticks, {}},
        {"a tick that moves the figure", playing, [](ProbeForm& f) { f.Timer1Timer(); }, {{"PB", 1}}},
        {"a score counted up in a cascade", none, [](ProbeForm& f) { f.Game->WindowHandle->ShowScore(45, true); }, {{"lbLi", 1}}},
        {"a bonus shown", none, [](ProbeForm& f) { f.Game->WindowHandle->Bonus(100); DeliverNotifications(); }, {{"LBBonus", 2}, {"LBBonusN", 2}}},
    };
    for (const auto& c : cases) {
        ProbeForm form;
        form.show();
        form.Game->StartGame();   // a first game draws everything once
        DeliverNotifications();
        form.Game->GameOver();
        DeliverNotifications();
        form.Edit1KeyPress(QChar('\r'));
        form.Timer1Timer();   // the well without the game's figure
        c.before(form);
        QCoreApplication::processEvents();
        PaintCounter counter{form.PB, form.LV1, form.LV2, form.lbLi, form.LBBonus, form.LBBonusN, form.Label6};
        c.act(form);
        EXPECT_EQ(counter.Paints, c.paints) << c.name;
    }
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
        // The fall interval, which the fall timer follows.
        form.Game->SetInterval(c.interval);
        DeliverNotifications();
        ASSERT_EQ(form.Timer1->interval(), c.interval);
        form.KeyPressDown(VK_SPACE);
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
    form.KeyPressDown(VK_SPACE);
    // A command key before each tick holds the grace.
    for (int i = 0; i < 30; ++i) {
        form.KeyPressDown(i % 2 ? VK_LEFT : VK_RIGHT);
        form.Timer3Timer();
    }
    EXPECT_EQ(form.Loop->DropGrace, 1) << "1 x 0.6 rounds back to 1";
    EXPECT_TRUE(form.Timer3->isActive());
    form.Timer3Timer();
    form.Timer3Timer();
    EXPECT_EQ(form.Loop->DropGrace, 4);
    form.KeyPressDown('P');   // a command key, and a pause
    form.Timer3Timer();
    EXPECT_EQ(form.Loop->DropGrace, 4);
    EXPECT_TRUE(form.State().KeyPressed);
}

TEST(LevelClock, RisesEveryFiftySixCountedTicksUpToSixteen)
{
    ProbeForm form;
    form.Game->StartGame();
    DeliverNotifications();
    for (int i = 0; i < 55; ++i)
        form.Loop->SecsInLevel();
    EXPECT_EQ(form.Game->Level, 1);
    form.Loop->SecsInLevel();
    EXPECT_EQ(form.Game->Level, 2);
    EXPECT_EQ(form.Loop->TicksInLevel, 0);
    DeliverNotifications();
    EXPECT_EQ(form.lbLe->text(), "2");

    form.Game->SetPaused(true);
    for (int i = 0; i < 100; ++i)
        form.Loop->SecsInLevel();
    EXPECT_EQ(form.Loop->TicksInLevel, 0) << "paused ticks do not count";
    form.Game->SetPaused(false);

    form.Game->SetLevel(16);
    for (int i = 0; i < 200; ++i)
        form.Loop->SecsInLevel();
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
    form.Game->WindowHandle->Delay(1);
    EXPECT_FALSE(form.Game->Paused);
    form.Game->StartGame();
    form.Game->SetPaused(true);
    form.Game->WindowHandle->Delay(2);
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
        form.Game->WindowHandle->Bonus(16000);
        DeliverNotifications();
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
