#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QKeySequence>
#include <filesystem>
#include <QTest>
#include <QTimer>

#include "form_fixture.h"
#include "window/design.h"
#include "window/virtual_keys.h"

namespace {

using Box = TFigure::Box;
constexpr Box Vertical123{0, 1, 0, 0, 2, 0, 0, 3, 0};

// Real input goes to the control that has the focus in the window.
void Press(TForm1& form, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = form.focusWidget() ? form.focusWidget() : &form;
    QTest::keyClick(target, key, modifiers);
}

// A running game with a known figure high in an empty well.
void StartWithFigure(ProbeForm& form, const Box& cells = Vertical123)
{
    form.Game->StartGame();
    DeliverNotifications();
    SetFigureAt(form, cells, 3, 5);
}

// The same, with the autopilot playing it: A starts the game and drops its
// first figure, which then stands high again.
void AutopilotWithFigure(ProbeForm& form)
{
    form.KeyPressDown('A');
    DeliverNotifications();
    ASSERT_TRUE(form.Game->Running);
    SetFigureAt(form, Vertical123, 3, 5);
}

TEST(VirtualKeys, QtKeysMapToTheWindowsCodes)
{
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int code;
    } cases[] = {
        {Qt::Key_Return, Qt::NoModifier, 13},   {Qt::Key_Enter, Qt::KeypadModifier, 13},
        {Qt::Key_Space, Qt::NoModifier, 32},    {Qt::Key_Left, Qt::NoModifier, 37},
        {Qt::Key_Up, Qt::NoModifier, 38},       {Qt::Key_Right, Qt::NoModifier, 39},
        {Qt::Key_Down, Qt::NoModifier, 40},     {Qt::Key_4, Qt::NoModifier, 52},
        {Qt::Key_0, Qt::KeypadModifier, 96},    {Qt::Key_2, Qt::KeypadModifier, 98},
        {Qt::Key_8, Qt::KeypadModifier, 104},   {Qt::Key_Down, Qt::KeypadModifier, 40},
        {Qt::Key_A, Qt::NoModifier, 65},        {Qt::Key_Q, Qt::ShiftModifier, 81},
        {Qt::Key_F1, Qt::NoModifier, 112},      {Qt::Key_F10, Qt::NoModifier, 121},
        {Qt::Key_PageDown, Qt::NoModifier, 34}, {Qt::Key_Escape, Qt::NoModifier, 27},
        {Qt::Key_Shift, Qt::ShiftModifier, 16}, {Qt::Key_Control, Qt::NoModifier, 17},
        {Qt::Key_Alt, Qt::AltModifier, 18},     {Qt::Key_Meta, Qt::NoModifier, 91},
        {Qt::Key_Menu, Qt::NoModifier, 93},     {Qt::Key_Tab, Qt::NoModifier, 0},
    };
    for (const Case& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers);
        EXPECT_EQ(VirtualKeyCode(event), c.code) << c.key;
    }
}

TEST(Keys, MovesRotationsAndTheirInversion)
{
    struct Case {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool inverse;
        int x, y;
        Box cells;
    } cases[] = {
        {"left arrow", Qt::Key_Left, Qt::NoModifier, false, 2, 5, Vertical123},
        {"keypad 6", Qt::Key_6, Qt::KeypadModifier, false, 4, 5, Vertical123},
        {"T pushes down", Qt::Key_T, Qt::NoModifier, false, 3, 6, Vertical123},
        {"down arrow turns clockwise", Qt::Key_Down, Qt::NoModifier, false, 3, 5, {0, 0, 0, 3, 2, 1, 0, 0, 0}},
        {"up arrow turns counter-clockwise", Qt::Key_Up, Qt::NoModifier, false, 3, 5, {0, 0, 0, 1, 2, 3, 0, 0, 0}},
        {"inverted down arrow", Qt::Key_Down, Qt::NoModifier, true, 3, 5, {0, 0, 0, 1, 2, 3, 0, 0, 0}},
        {"inverted keypad 8", Qt::Key_8, Qt::KeypadModifier, true, 3, 5, {0, 0, 0, 3, 2, 1, 0, 0, 0}},
        {"5 turns clockwise", Qt::Key_5, Qt::NoModifier, false, 3, 5, {0, 0, 0, 3, 2, 1, 0, 0, 0}},
        {"R turns counter-clockwise", Qt::Key_R, Qt::NoModifier, false, 3, 5, {0, 0, 0, 1, 2, 3, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        ProbeForm form;
        StartWithFigure(form);
        form.ChBox_Rot_Inverse->setChecked(c.inverse);
        Press(form, c.key, c.modifiers);
        EXPECT_EQ(form.Game->Figure.X, c.x) << c.name;
        EXPECT_EQ(form.Game->Figure.Y, c.y) << c.name;
        EXPECT_EQ(form.Game->Figure.Cells, c.cells) << c.name;
        EXPECT_TRUE(form.State().KeyPressed) << c.name;
        EXPECT_EQ(form.Game->Display[CellIndex(form.Game->Figure.Y + 1, form.Game->Figure.X + 1)], 2)
            << c.name << ": the display follows the key";
    }
}

TEST(Keys, SpaceDropsAndStartsTheGrace)
{
    for (auto [key, modifiers] : {std::pair{Qt::Key_Space, Qt::NoModifier}, {Qt::Key_0, Qt::KeypadModifier}}) {
        ProbeForm form;
        StartWithFigure(form);
        Press(form, key, modifiers);
        EXPECT_EQ(form.Game->Figure.Y, 16);
        EXPECT_FALSE(form.Timer1->isActive());
        EXPECT_TRUE(form.Timer3->isActive());
        EXPECT_EQ(form.Loop->DropGrace, 1);
        EXPECT_FALSE(form.State().KeyPressed);
        EXPECT_EQ(form.Game->Stack[CellIndex(18, 4)], 0) << "not landed yet";
    }
}

TEST(Keys, EnterStartsAndStopsAGame)
{
    ProbeForm form;
    Press(form, Qt::Key_Return);
    EXPECT_TRUE(form.Game->Running);
    DeliverNotifications();
    form.Game->RecordPlace = 31;
    Press(form, Qt::Key_Return);
    EXPECT_FALSE(form.Game->Running);
    DeliverNotifications();
    EXPECT_FALSE(form.Label3->isHidden());
}

TEST(Keys, QuitKeysCloseTheWindowAndSaveTheOptions)
{
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool quits;
    } cases[] = {
        {Qt::Key_Q, Qt::NoModifier, true},
        {Qt::Key_F10, Qt::NoModifier, true},
        {Qt::Key_PageDown, Qt::NoModifier, true},
        {Qt::Key_PageDown, Qt::KeypadModifier, true},   // keypad 3 without Num Lock
        {Qt::Key_PageUp, Qt::NoModifier, false},
        {Qt::Key_W, Qt::NoModifier, false},
        {Qt::Key_F9, Qt::NoModifier, false},
        {Qt::Key_F11, Qt::NoModifier, false},
    };
    for (const auto& c : cases) {
        for (const bool playing : {false, true}) {
            ProbeForm form;
            form.show();
            if (playing)
                StartWithFigure(form);
            std::filesystem::remove("vantorix2.ini");
            Press(form, c.key, c.modifiers);
            const std::string name = QKeySequence(c.key).toString().toStdString() + (playing ? " in a game" : "");
            EXPECT_EQ(form.isHidden(), c.quits) << name;
            EXPECT_EQ(std::filesystem::exists("vantorix2.ini"), c.quits) << name << ": the options are saved on closing";
        }
    }
}

TEST(Menu, ExitClosesTheWindow)
{
    ProbeForm form;
    form.show();
    std::filesystem::remove("vantorix2.ini");
    form.MExit->trigger();
    EXPECT_TRUE(form.isHidden());
    EXPECT_TRUE(std::filesystem::exists("vantorix2.ini"));
}

TEST(KeyFilters, APausedGameResumesOnAnyKeyButAModifier)
{
    for (Qt::Key modifier : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_Menu}) {
        ProbeForm form;
        StartWithFigure(form);
        Press(form, Qt::Key_P);
        ASSERT_TRUE(form.Game->Paused);
        EXPECT_TRUE(form.State().UserPaused);
        EXPECT_FALSE(form.PauseBlocked->isHidden());
        Press(form, modifier);
        EXPECT_TRUE(form.Game->Paused) << modifier;
        Press(form, Qt::Key_Left);
        EXPECT_FALSE(form.Game->Paused);
        EXPECT_FALSE(form.State().UserPaused);
        EXPECT_TRUE(form.PauseBlocked->isHidden());
        EXPECT_EQ(form.Game->Figure.X, 3) << "the resuming key does nothing else";
    }
}

// A paused game's timers rest until it goes on: nothing wakes meanwhile.
TEST(KeyFilters, APausedGameWakesNoTimerUntilItGoesOn)
{
    const struct {
        const char* name;
        Qt::Key pause;
        bool dropping;   // paused in the grace after a hard drop
    } cases[] = {{"P", Qt::Key_P, false}, {"the options", Qt::Key_O, false}, {"P after a drop", Qt::Key_P, true}};
    for (const auto& c : cases) {
        ProbeForm form;
        StartWithFigure(form);
        if (c.dropping)
            Press(form, Qt::Key_Space);
        QTimer* running = c.dropping ? form.Timer3 : form.Timer1;
        ASSERT_TRUE(running->isActive()) << c.name;
        Press(form, c.pause);
        ASSERT_TRUE(form.Game->Paused) << c.name;
        EXPECT_FALSE(form.Timer1->isActive() || form.Timer3->isActive()) << c.name;
        Press(form, c.pause == Qt::Key_O ? Qt::Key_O : Qt::Key_Left);
        EXPECT_FALSE(form.Game->Paused) << c.name;
        EXPECT_TRUE(running->isActive()) << c.name << ": the timer that ran goes on";
        EXPECT_NE(form.Timer1->isActive(), form.Timer3->isActive()) << c.name;
    }
}

TEST(KeyFilters, PDoesNotPauseTwiceNorUnderTheAutopilot)
{
    ProbeForm form;
    StartWithFigure(form);
    Press(form, Qt::Key_P);
    Press(form, Qt::Key_P);
    EXPECT_FALSE(form.Game->Paused) << "the second P resumes";
    ProbeForm autopilot;
    AutopilotWithFigure(autopilot);
    Press(autopilot, Qt::Key_P);
    EXPECT_FALSE(autopilot.Game->Paused);
}

TEST(KeyFilters, TheAutopilotRefusesFigureMoves)
{
    const std::pair<Qt::Key, Qt::KeyboardModifiers> refused[] = {
        {Qt::Key_Left, Qt::NoModifier}, {Qt::Key_Right, Qt::NoModifier}, {Qt::Key_Up, Qt::NoModifier},
        {Qt::Key_Down, Qt::NoModifier}, {Qt::Key_4, Qt::NoModifier},     {Qt::Key_5, Qt::NoModifier},
        {Qt::Key_6, Qt::NoModifier},    {Qt::Key_R, Qt::NoModifier},     {Qt::Key_T, Qt::NoModifier},
        {Qt::Key_Alt, Qt::NoModifier},  {Qt::Key_4, Qt::KeypadModifier}, {Qt::Key_5, Qt::KeypadModifier},
        {Qt::Key_6, Qt::KeypadModifier}, {Qt::Key_8, Qt::KeypadModifier},
    };
    for (auto [key, modifiers] : refused) {
        ProbeForm form;
        AutopilotWithFigure(form);
        Press(form, key, modifiers);
        EXPECT_EQ(form.Game->Figure.X, 3) << key;
        EXPECT_EQ(form.Game->Figure.Y, 5) << key;
        EXPECT_EQ(form.Game->Figure.Cells, Vertical123) << key;
        EXPECT_FALSE(form.State().KeyPressed) << key;
    }
    // Keypad 2 still pushes down, and Enter still stops the game.
    ProbeForm form;
    AutopilotWithFigure(form);
    Press(form, Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(form.Game->Figure.Y, 6);
    Press(form, Qt::Key_Return);
    EXPECT_FALSE(form.Game->Running);
}

TEST(KeyFilters, TheNameEntrySwallowsKeysButLanguageAndHelp)
{
    ProbeForm form;
    form.show();
    form.Game->StartGame();
    DeliverNotifications();
    form.Game->RecordPlace = 1;
    form.Game->GameOver();
    DeliverNotifications();
    ASSERT_TRUE(form.Edit1->isEnabled());
    ASSERT_EQ(form.focusWidget(), form.Edit1);
    form.Edit1->clear();
    Press(form, Qt::Key_A);
    Press(form, Qt::Key_B);
    EXPECT_EQ(form.Edit1->text(), "ab") << "the keys reach the name entry";
    EXPECT_FALSE(form.State().AutopilotOn) << "and do not act as commands";
    EXPECT_FALSE(form.Game->Running);
    Press(form, Qt::Key_F1);
    EXPECT_FALSE(form.GBAbout->isHidden()) << "F1 still opens the about panel";
    Press(form, Qt::Key_X);
    EXPECT_TRUE(form.GBAbout->isHidden()) << "and any key closes it";
    Press(form, Qt::Key_Return);
    EXPECT_FALSE(form.Edit1->isEnabled()) << "Enter confirms the name";
    EXPECT_FALSE(form.Game->Running) << "without starting a game";
}

TEST(KeyFilters, PanelsPauseAndAnyKeyClosesTheAbout)
{
    ProbeForm form;
    StartWithFigure(form);
    Press(form, Qt::Key_F1);
    EXPECT_FALSE(form.GBAbout->isHidden());
    EXPECT_TRUE(form.Game->Paused);
    EXPECT_FALSE(form.PauseBlocked->isHidden());
    Press(form, Qt::Key_Left);
    EXPECT_TRUE(form.GBAbout->isHidden());
    EXPECT_FALSE(form.Game->Paused);
    EXPECT_EQ(form.Game->Figure.X, 3);

    Press(form, Qt::Key_O);
    EXPECT_FALSE(form.GBOptions->isHidden());
    EXPECT_TRUE(form.Game->Paused);
    Press(form, Qt::Key_Return);
    EXPECT_TRUE(form.Game->Running) << "Enter does nothing with the options shown";
    Press(form, Qt::Key_Escape);
    EXPECT_TRUE(form.GBOptions->isHidden());
    EXPECT_FALSE(form.Game->Paused);
}

TEST(Keys, ColourModesAndTheSoundSwitch)
{
    ProbeForm form;
    const auto picture = [&] { return form.CellImageViews[0]->pixmap().toImage().pixel(15, 15); };
    Press(form, Qt::Key_3);
    EXPECT_EQ(form.State().ColourMode, 3);
    const QRgb textured = picture();
    Press(form, Qt::Key_1);
    EXPECT_EQ(form.State().ColourMode, 1);
    EXPECT_NE(picture(), textured) << "mode 1 makes the bevelled pictures";
    Press(form, Qt::Key_S);
    EXPECT_FALSE(form.ChBox_Sound_ON->isChecked());
    EXPECT_FALSE(form.Game->SoundOn);
    Press(form, Qt::Key_S);
    EXPECT_TRUE(form.ChBox_Sound_ON->isChecked());
    EXPECT_TRUE(form.Game->SoundOn);
}

// ---- The autopilot key ---------------------------------------------------------

TEST(AutopilotKey, WhileIdleStartsAGameAndDropsItsFirstFigure)
{
    ProbeForm form;
    Press(form, Qt::Key_A);
    EXPECT_TRUE(form.State().AutopilotOn);
    EXPECT_EQ(form.State().PlayerName, "AUTOPILOT");
    EXPECT_FALSE(form.lbS->isHidden());
    EXPECT_FALSE(form.Game->Running) << "Enter and Space are only queued";
    QCoreApplication::sendPostedEvents(&form, 0);
    EXPECT_TRUE(form.Game->Running);
    EXPECT_EQ(form.Game->Figure.Y + form.Game->Figure.Height, 19) << "the first figure lies on the floor";
    EXPECT_FALSE(form.lbS->isHidden());
}

TEST(AutopilotKey, SwitchedOffTheGameEndsBeforeTheQueuedKeysArrive)
{
    struct Case {
        const char* name;
        int place;
        bool newGame;
    } cases[] = {
        {"a score with a place: Enter closes the name entry", 1, false},
        {"no place: Enter starts the player's game, Space drops", 31, true},
    };
    for (const Case& c : cases) {
        ProbeForm form;
        form.show();
        Press(form, Qt::Key_A);
        DeliverNotifications();
        ASSERT_TRUE(form.Game->Running) << c.name;
        form.Game->RecordPlace = static_cast<std::uint8_t>(c.place);
        Press(form, Qt::Key_A);
        EXPECT_FALSE(form.State().AutopilotOn) << c.name;
        EXPECT_NE(form.State().PlayerName, "AUTOPILOT") << c.name;
        EXPECT_FALSE(form.Game->Running) << c.name << ": the autopilot's game ends at once";
        QCoreApplication::sendPostedEvents(&form, 0);
        EXPECT_FALSE(form.Edit1->isEnabled()) << c.name;
        EXPECT_EQ(form.Game->Running, c.newGame) << c.name;
        if (c.newGame) {
            EXPECT_EQ(form.Game->Figure.Y + form.Game->Figure.Height, 19) << c.name;
        }
    }
}

TEST(AutopilotKey, GameOverUnderTheAutopilotStartsTheNextGame)
{
    ProbeForm form;
    form.show();
    Press(form, Qt::Key_A);
    QCoreApplication::sendPostedEvents(&form, 0);
    form.Game->RecordPlace = 1;
    form.Game->GameOver();
    DeliverNotifications();
    EXPECT_TRUE(form.Game->Running);
    EXPECT_FALSE(form.Edit1->isEnabled());
    EXPECT_TRUE(form.Label3->isHidden());
    EXPECT_FALSE(form.lbS->isHidden());
}

TEST(AutopilotKey, PlacesEveryFigureAfterALanding)
{
    ProbeForm form;
    Press(form, Qt::Key_A);
    QCoreApplication::sendPostedEvents(&form, 0);
    // The first figure lies on the floor: the next fall tick lands it, and
    // the landing reaction places the next one.
    form.Timer1Timer();
    DeliverNotifications();
    ASSERT_TRUE(form.Game->Running);
    const TFigure& f = form.Game->Figure;
    EXPECT_FALSE(TFigure::Fits(form.Game->Stack, f.X, f.Y + 1, f.Cells)) << "placed at the bottom of its fall";
    EXPECT_EQ(form.Waits.back(), 100);
}

// ---- Mouse and menu --------------------------------------------------------------

TEST(Menu, ReleasesOpenAndDismissInTurn)
{
    ProbeForm form;
    form.show();
    form.GB5MouseUp();
    EXPECT_TRUE(form.PopupMenu1->isVisible());
    EXPECT_TRUE(form.State().MenuToggle);
    EXPECT_FALSE(form.PublishInet->isEnabled()) << "no records to publish";
    EXPECT_FALSE(form.Erase_Results->isEnabled());
    EXPECT_FALSE(form.WatchBest->isEnabled()) << "no game kept to watch";
    EXPECT_TRUE(form.LookInet->isEnabled());
    form.PopupMenu1->hide();   // dismissed without a command

    form.GB5MouseUp();
    EXPECT_FALSE(form.PopupMenu1->isVisible()) << "the first release after a dismissal only clears";
    EXPECT_FALSE(form.State().MenuToggle);

    // A click on "Top 30" flips the alternation too.
    emit form.Label4->clicked();
    EXPECT_TRUE(form.State().MenuToggle);
    form.GB5MouseUp();
    EXPECT_FALSE(form.PopupMenu1->isVisible());
    form.GB5MouseUp();
    EXPECT_TRUE(form.PopupMenu1->isVisible());
    form.PopupMenu1->hide();

    // A command clears the alternation again.
    form.Params->trigger();
    EXPECT_FALSE(form.State().MenuToggle);
    EXPECT_FALSE(form.GBOptions->isHidden());
}

TEST(Menu, NothingOpensDuringAGameOrWithAPanelOrTheNameEntry)
{
    ProbeForm form;
    form.show();
    form.Game->StartGame();
    form.GB5MouseUp();
    EXPECT_FALSE(form.PopupMenu1->isVisible());
    EXPECT_FALSE(form.State().MenuToggle);
    form.Game->GameOver();
    form.About->trigger();
    form.GB5MouseUp();
    EXPECT_TRUE(form.GBAbout->isHidden()) << "a release closes the about panel";
    EXPECT_TRUE(form.State().MenuToggle) << "flipped by the menu item, not by the release";
    form.Params->trigger();
    form.GB5MouseUp();
    EXPECT_FALSE(form.PopupMenu1->isVisible());
}

TEST(Menu, HoldsTheTablesMenuItemsInTheirOrder)
{
    ProbeForm form;
    QStringList designed;
    for (const ControlDesign& row : WindowDesign())
        if (row.Kind == ControlKind::MenuItem)
            designed << row.Name;
    QStringList shown;
    for (const QAction* action : form.PopupMenu1->actions())
        shown << action->objectName();
    EXPECT_EQ(shown, designed);
    EXPECT_EQ(shown.size(), 7);
}

}  // namespace
