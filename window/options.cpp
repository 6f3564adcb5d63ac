// The options file: the player's colours, colour mode, switches and
// language, read back at every activation and written at every focus loss.

#include "storage/options_file.h"
#include "window/Unit1.h"
#include "window/application.h"

GameOptions TForm1::CurrentOptions() const
{
    GameOptions options;
    options.Mode = ColourMode & 0xFF;
    for (int k = 0; k < 6; ++k)
        options.Colours[std::size_t(k)] = std::int32_t(PanelColour(k));
    options.AnimateBonus = ChBox_Anim->isChecked();
    options.PCSpeaker = ChBox_Sound->isChecked();
    options.SoundOn = ChBox_Sound_ON->isChecked();
    options.English = RB_Eng->isChecked();
    options.Russian = RB_Rus->isChecked();
    return options;
}

void TForm1::Read_Options()
{
    if (!Options.Exists()) {
        Write_Options();
        return;
    }
    const IniProfile file = Options.Load();
    // Not written back: the built-in file keeps its twelve keys.
    if (const auto server = file.ReadString(OnlineSection, ServerKey); server && !server->empty())
        RecordsServer = *server;
    if (const auto mail = file.ReadString(OnlineSection, MailKey))
        AuthorMail = *mail;
    ShowLinkAddresses();
    ColourMode = file.ReadInteger(ColourSection, ModeKey, ColourMode) & 0xFF;
    for (int k = 0; k < 6; ++k)
        SetPanelColour(k, WinColour(file.ReadInteger(ColourSection, ColourKey(k + 1), std::int32_t(PanelColour(k)))));
    CopyPanelsToColourTable();
    // Set by program as a click would: the sound switch keeps SoundOn in step.
    const std::pair<QCheckBox*, const char*> switches[] = {
        {ChBox_Anim, AnimateKey}, {ChBox_Sound, SpeakerKey}, {ChBox_Sound_ON, SoundKey}};
    for (const auto& [box, key] : switches)
        box->setChecked(file.ReadBool(OptionsSection, key, box->isChecked()));
    if (file.ReadBool(OptionsSection, EnglishKey, RB_Eng->isChecked()))
        ChangeLang("ENGLISH");
    if (file.ReadBool(OptionsSection, RussianKey, RB_Rus->isChecked()))
        ChangeLang("RUSSIAN");
}

void TForm1::Write_Options()
{
    try {
        Options.Save(CurrentOptions());
    } catch (const OptionsWriteError& error) {
        // Written at every focus loss: a folder that refuses it is told once.
        if (!error.Repeated)
            VantorixApplication::ReportError(QString::fromUtf8(error.what()));
    }
}
