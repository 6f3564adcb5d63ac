// The options panel: its switches bound to the session's, its colours and
// language buttons shown from the session's options.

#include "window/Unit1.h"

namespace {

// Which check box and caption show which switch of the session.
struct SwitchBinding {
    QCheckBox* TForm1::*Box;
    TClickLabel* TForm1::*Caption;
    SessionSwitch Switch;
};

constexpr SwitchBinding SwitchBindings[] = {
    {&TForm1::ChBox_Anim, &TForm1::Lb_Anim, SessionSwitch::AnimateBonus},
    {&TForm1::ChBox_Sound, &TForm1::Lb_Sound, SessionSwitch::PCSpeaker},
    {&TForm1::ChBox_Sound_ON, &TForm1::Lb_Sound_ON, SessionSwitch::SoundOn},
    {&TForm1::ChBox_Rot_Inverse, &TForm1::Lb_Rot_Inverse, SessionSwitch::RotateInverse},
};
static_assert(std::size(SwitchBindings) == std::size(SessionSwitches), "every switch has its check box");

}  // namespace

void TForm1::ConnectOptions()
{
    for (const SwitchBinding& binding : SwitchBindings) {
        const SessionSwitch which = binding.Switch;
        connect(this->*binding.Box, &QCheckBox::toggled, this, [this, which](bool on) { Session->SetSwitch(which, on); });
        connect(this->*binding.Caption, &TClickLabel::clicked, this, [this, which] { Session->FlipSwitch(which); });
    }
}

void TForm1::Lb_AnimClick() { Session->FlipSwitch(SessionSwitch::AnimateBonus); }
void TForm1::Lb_SoundClick() { Session->FlipSwitch(SessionSwitch::PCSpeaker); }
void TForm1::Lb_Sound_ONClick() { Session->FlipSwitch(SessionSwitch::SoundOn); }
void TForm1::Lb_Rot_InverseClick() { Session->FlipSwitch(SessionSwitch::RotateInverse); }

void TForm1::ShowOptions()
{
    for (const SwitchBinding& binding : SwitchBindings) {
        QCheckBox* box = this->*binding.Box;
        const QSignalBlocker quiet(box);
        box->setChecked(Session->Switch(binding.Switch));
    }
    const GameOptions& options = Session->Options();
    for (int k = 0; k < 6; ++k)
        SetPanelColour(k, WinColour(options.Colours[std::size_t(k)]));
    for (int k = 0; k < 6; ++k)
        Colours[std::size_t(k) + 1] = WinColour(options.Colours[std::size_t(k)]);
    Colours[7] = 0;
    // Selected by program: the button's own switch does not run again.
    (Session->Language().Selected() == Language::Russian ? RB_Rus : RB_Eng)->setChecked(true);
}
