// The about and options panels over the well, and the switches of the
// options panel.

#include "window/Unit1.h"

void TForm1::TogglePanel(QWidget* panel)
{
    panel->setVisible(panel->isHidden());
    if (Flags.AutopilotOn)
        return;
    const bool shown = !panel->isHidden();
    SetGamePaused(shown);
    PauseBlocked->setVisible(shown);
}

void TForm1::ShowAbout()
{
    TogglePanel(GBAbout);
}

void TForm1::ShowOptions()
{
    TogglePanel(GBOptions);
}

void TForm1::BOkClick()
{
    ShowOptions();
}

void TForm1::Lb_AnimClick()
{
    ChBox_Anim->setChecked(!ChBox_Anim->isChecked());
}

void TForm1::Lb_SoundClick()
{
    ChBox_Sound->setChecked(!ChBox_Sound->isChecked());
}

void TForm1::Lb_Rot_InverseClick()
{
    ChBox_Rot_Inverse->setChecked(!ChBox_Rot_Inverse->isChecked());
}

void TForm1::ChBox_Sound_ONClick()
{
    Game->SoundOn = ChBox_Sound_ON->isChecked();
}

void TForm1::Lb_Sound_ONClick()
{
    ChBox_Sound_ONClick();
    ChBox_Sound_ON->setChecked(!ChBox_Sound_ON->isChecked());
}

void TForm1::SetGamePaused(bool paused)
{
    if (Watching())
        return;
    Play->SetPaused(paused);
    Flags.UserPaused = Game->Paused;
    TimersFollowPause();
}

void TForm1::TimersFollowPause()
{
    if (Game->Paused) {
        FallTimerResting = FallTimerResting || Timer1->isActive();
        DropTimerResting = DropTimerResting || Timer3->isActive();
        Timer1->stop();
        Timer3->stop();
        return;
    }
    if (FallTimerResting)
        Timer1->start();
    if (DropTimerResting)
        Timer3->start();
    FallTimerResting = DropTimerResting = false;
}
