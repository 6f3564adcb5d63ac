// What a key, a click and a menu command do, by the state the session is in.

#include "common/records_site.h"
#include "game_session/game_session.h"

namespace {

bool IsModifier(int key)
{
    return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_LWIN || key == VK_RWIN ||
           key == VK_APPS;
}

// Figure moves that the autopilot does not let the player make.
bool RefusedUnderAutopilot(int key)
{
    switch (key) {
    case VK_MENU: case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
    case '4': case '5': case '6': case 'R': case 'T':
    case VK_NUMPAD0 + 4: case VK_NUMPAD0 + 5: case VK_NUMPAD0 + 6: case VK_NUMPAD0 + 8:
        return true;
    default:
        return false;
    }
}

}  // namespace

void GameSession::Key(int key)
{
    Input([this, key] { KeyPressDown(key); });
}

void GameSession::SyntheticKey(int key)
{
    // Delivered like real input: an open name entry takes Enter too.
    const bool entry = Shown.NameEntry;
    KeyPressDown(key);
    if (entry && Shown.NameEntry && key == VK_RETURN)
        NameEntryEnter();
}

void GameSession::KeyPressDown(int key)
{
    if (PublishRunning)
        return;   // the answer and its message come first
    if (Watching()) {
        // Any key ends a replay, and does nothing else.
        StopWatching();
        return;
    }
    if (IsModifier(key) && Shown.PauseCover)
        return;
    if (Shown.About) {
        ToggleAbout();
        return;
    }
    if (!Shown.Options && Engine->Paused) {
        // Any key resumes a paused game and does nothing else.
        Shown.PauseCover = false;
        ShowParts(ViewPanels);
        SetGamePaused(false);
        return;
    }
    // While the name entry is open, L is a letter of the name.
    if (key == 'L' && !Shown.NameEntry)
        LanguageLink();
    if (key == VK_F1 && !Shown.Options)
        ToggleAbout();
    if (key == 'O' && Shown.Options && !Shown.NameEntry) {
        ToggleOptions();
        return;
    }
    if (Autopilot && RefusedUnderAutopilot(key))
        return;
    if (Shown.NameEntry)
        return;   // the key goes on to the name entry
    KeyPressed = true;
    RunKeyCommand(key);
    if (Shown.PauseCover != Engine->Paused) {
        Shown.PauseCover = Engine->Paused;
        ShowParts(ViewPanels);
    }
    Engine->ComposeDisplay(Engine->Display, true);
    if (Engine->Running)
        DrawWell();
}

void GameSession::RunKeyCommand(int key)
{
    switch (key) {
    case VK_RETURN:
        if (!Shown.Options) {
            if (Engine->Running)
                Commands->Stop();
            else
                StartNewGame();
        }
        break;
    case VK_SPACE:
    case VK_NUMPAD0:
        HardDrop();
        break;
    case VK_LEFT: case '4': case VK_NUMPAD0 + 4:
        Commands->Move(MoveDirection::Left);
        break;
    case VK_RIGHT: case '6': case VK_NUMPAD0 + 6:
        Commands->Move(MoveDirection::Right);
        break;
    case VK_MENU: case 'T': case VK_NUMPAD0 + 2:
        Commands->Move(MoveDirection::Down);
        break;
    case VK_DOWN: case '5': case VK_NUMPAD0 + 5:
        Commands->Rotate(!RotateInverse);
        break;
    case VK_UP: case 'R': case VK_NUMPAD0 + 8:
        Commands->Rotate(RotateInverse);
        break;
    case '1': case '2': case '3':
        SetColourMode(key - '0');
        break;
    case 'A':
        AutopilotKey();
        break;
    case 'F':
        FullScreenOn = !FullScreenOn;
        if (FullScreenOn) {
            EnterFullScreen();
        } else {
            LeaveFullScreen();
            Front.Raise();
        }
        break;
    case 'O':
        ToggleOptions();
        break;
    case 'P':
        if (!Autopilot && Engine->Running && !Shown.Options && !Engine->Paused)
            SetGamePaused(true);
        break;
    case 'S':
        FlipSwitch(SessionSwitch::SoundOn);
        break;
    case VK_ESCAPE:
        if (Shown.Options)
            ToggleOptions();
        else
            Front.LookAway();
        break;
    case VK_NEXT: case 'Q': case VK_F10:
        Front.Close();
        break;
    default:
        break;
    }
}

void GameSession::SetColourMode(int mode)
{
    Shown.ColourMode = mode;
    ShowParts(ViewOptions);
    Front.MakePictures(mode != 3);
}

void GameSession::EnterFullScreen()
{
    if (EraseOpen)
        return;
    Front.SetFullScreen(true);
    FullScreenOn = true;
}

void GameSession::LeaveFullScreen()
{
    if (EraseOpen)
        return;
    Front.SetFullScreen(false);
}

void GameSession::AutopilotKey()
{
    if (Autopilot) {
        Autopilot = false;
        Commands->SetAutopilot(false);
        if (Engine->Running) {
            Player = LoginName;
            Commands->Stop();
        }
    } else {
        Player = AutopilotName;
        Autopilot = true;
        Commands->SetAutopilot(true);
    }
    Shown.AutopilotCaption = true;
    ShowParts(ViewCaptions);
    if (!Engine->Running)
        QueueSyntheticKey(VK_RETURN);
    QueueSyntheticKey(VK_SPACE);
}

void GameSession::StartNewGame()
{
    // How it looks and sounds when watched again: the options of its start.
    Commands->Look = {Current.AnimateBonus, Engine->SoundOn, Current.PCSpeaker};
    Commands->StartGame();
}

void GameSession::HardDrop()
{
    if (!Engine->Running)
        return;
    KeyPressed = false;
    Commands->HardDrop();
}

// ---- Panels and pause ------------------------------------------------------------

void GameSession::TogglePanel(bool& open)
{
    open = !open;
    ShowParts(ViewPanels);
    if (Autopilot)
        return;
    SetGamePaused(open);
    Shown.PauseCover = open;
    ShowParts(ViewPanels);
}

void GameSession::ToggleAbout()
{
    Input([this] { TogglePanel(Shown.About); });
}

void GameSession::ToggleOptions()
{
    Input([this] { TogglePanel(Shown.Options); });
}

void GameSession::SetGamePaused(bool paused)
{
    if (Watching())
        return;
    Commands->SetPaused(paused);
    PausedByPlayer = Engine->Paused;
    TimersFollowPause();
}

void GameSession::TimersFollowPause()
{
    // A paused game wakes no one: its timers rest until it goes on, and then
    // start a whole period anew (paused ticks count for nothing anyway).
    if (Engine->Paused) {
        for (TimerState* state : {&FallTimer, &DropTimer})
            state->Resting = state->Resting || state->On;
        SetTimer(SessionTimer::Fall, false);
        SetTimer(SessionTimer::Drop, false);
        return;
    }
    if (FallTimer.Resting)
        SetTimer(SessionTimer::Fall, true);
    if (DropTimer.Resting)
        SetTimer(SessionTimer::Drop, true);
    FallTimer.Resting = DropTimer.Resting = false;
}

// ---- The mouse and the menu ----------------------------------------------------------

void GameSession::Click()
{
    Input([this] { MenuOrAbout(); });
}

void GameSession::MenuOrAbout()
{
    if (Shown.Options || Shown.NameEntry || Engine->Running || PublishRunning)
        return;
    if (Shown.About) {
        ToggleAbout();
        return;
    }
    if (!MenuToggle) {
        MenuState menu;
        menu.Publish = menu.Erase = RecordsTable && !RecordsTable->Entries().empty();
        menu.WatchBest = RecordsTable && RecordsTable->Replays().Has(RecordsTable->Entries(), 1);
        Front.ShowMenu(menu);
    }
    MenuToggle = !MenuToggle;
}

void GameSession::Menu(MenuCommand command)
{
    Input([this, command] { RunMenuCommand(command); });
}

void GameSession::RunMenuCommand(MenuCommand command)
{
    switch (command) {
    case MenuCommand::Publish:
        SendResults();
        break;
    case MenuCommand::LookOnline:
        LookResults();
        break;
    case MenuCommand::WatchBest:
        WatchBest();
        break;
    case MenuCommand::Erase:
        EraseOpen = true;
        AskErase(0);
        break;
    case MenuCommand::Options:
        ToggleOptions();
        MenuToggle = !MenuToggle;
        break;
    case MenuCommand::About:
        ToggleAbout();
        MenuToggle = !MenuToggle;
        break;
    case MenuCommand::Exit:
        Front.Close();
        break;
    }
}
