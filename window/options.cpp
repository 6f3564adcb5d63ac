// The options file: the player's colours, colour mode, switches and
// language, read back at every activation and written at every focus loss.
// What is read and how is the options session's; the window shows it.

#include "window/Unit1.h"
#include "window/application.h"

GameOptions TForm1::CurrentOptions() const
{
    GameOptions options;
    options.Mode = Flags.ColourMode & 0xFF;
    for (int k = 0; k < 6; ++k)
        options.Colours[std::size_t(k)] = std::int32_t(PanelColour(k));
    options.AnimateBonus = ChBox_Anim->isChecked();
    options.PCSpeaker = ChBox_Sound->isChecked();
    options.SoundOn = ChBox_Sound_ON->isChecked();
    options.English = RB_Eng->isChecked();
    options.Russian = RB_Rus->isChecked();
    options.Server = RecordsServer;
    options.Mail = AuthorMail;
    return options;
}

void TForm1::ApplyOptions(const GameOptions& options)
{
    RecordsServer = options.Server;
    AuthorMail = options.Mail;
    ShowLinkAddresses();
    Flags.ColourMode = options.Mode;
    for (int k = 0; k < 6; ++k)
        SetPanelColour(k, WinColour(options.Colours[std::size_t(k)]));
    CopyPanelsToColourTable();
    // Set by program as a click would: the sound switch keeps SoundOn in step.
    ChBox_Anim->setChecked(options.AnimateBonus);
    ChBox_Sound->setChecked(options.PCSpeaker);
    ChBox_Sound_ON->setChecked(options.SoundOn);
}

void TForm1::Read_Options()
{
    try {
        const auto read = Options.Read(CurrentOptions(), LanguageInForce);
        if (!read)
            return;   // there was no file; it holds the current options now
        ApplyOptions(read->Options);
        for (const Language language : read->Switches)
            ChangeLang(language);
    } catch (const OptionsWriteError& error) {
        if (!error.Repeated)
            VantorixApplication::ReportError(QString::fromUtf8(error.what()));
    }
}

void TForm1::Write_Options()
{
    try {
        Options.Write(CurrentOptions());
    } catch (const OptionsWriteError& error) {
        // Written at every focus loss: a folder that refuses it is told once.
        if (!error.Repeated)
            VantorixApplication::ReportError(QString::fromUtf8(error.what()));
    }
}
