// The options: the switches and colours of the options panel, the language,
// and the options file read at every activation and written at every focus
// loss; what the focus changes.

#include <cstring>

#include "game_session/game_session.h"

const char* SwitchKey(SessionSwitch which)
{
    switch (which) {
    case SessionSwitch::AnimateBonus: return AnimateKey;
    case SessionSwitch::PCSpeaker: return SpeakerKey;
    case SessionSwitch::SoundOn: return SoundKey;
    case SessionSwitch::RotateInverse: return nullptr;
    }
    return nullptr;
}

namespace {

// The field of the options that holds a switch the file keeps.
template <typename Options>
auto SwitchField(Options& options, SessionSwitch which) -> decltype(&options.SoundOn)
{
    const char* key = SwitchKey(which);
    if (!key)
        return nullptr;
    for (const OptionKey& option : OptionKeys())
        if (std::strcmp(option.Key, key) == 0)
            if (const auto* field = std::get_if<OptionField<bool>>(&option.Field))
                return &(*field)(const_cast<GameOptions&>(options));
    return nullptr;
}

}  // namespace

bool GameSession::Switch(SessionSwitch which) const
{
    if (const bool* field = SwitchField(Current, which))
        return *field;
    return RotateInverse;
}

void GameSession::SetSwitch(SessionSwitch which, bool on)
{
    Input([this, which, on] {
        bool* field = SwitchField(Current, which);
        bool& value = field ? *field : RotateInverse;
        if (value == on)
            return;
        value = on;
        // The sound switch is the game's own.
        if (which == SessionSwitch::SoundOn)
            Engine->SoundOn = on;
        ShowParts(ViewOptions);
    });
}

void GameSession::SetColour(int panel, std::int32_t colour)
{
    Input([this, panel, colour] {
        if (panel < 0 || panel >= int(Current.Colours.size()))
            return;
        Current.Colours[std::size_t(panel)] = colour;
        // The chooser took the focus; its return reads the options file
        // again, and under X11 that may come after this: the file must hold
        // the choice.
        WriteOptions();
        ShowParts(ViewOptions);
        RebuildPictures();
        ShowParts(ViewWell | ViewNow);
    });
}

void GameSession::DefaultColours()
{
    Input([this] {
        Current.Colours = GameOptions().Colours;
        ShowParts(ViewOptions);
        RebuildPictures();
        ShowParts(ViewWell | ViewNow);
    });
}

void GameSession::RebuildPictures()
{
    // Flat colours need no pictures; the pictures already made stay.
    if (Shown.ColourMode == 2)
        Front.MakePictures(true);
    else if (Shown.ColourMode == 3)
        Front.MakePictures(false);
}

void GameSession::ChooseLanguage(::Language language)
{
    Input([this, language] { SwitchLanguage(language); });
}

void GameSession::LanguageLink()
{
    Input([this] {
        // The link names the other language in the captions of each.
        if (const auto named = LanguageOfKey(TranslatedCaption(LanguageInForce.Shown(), "Label11", "ENGLISH")))
            SwitchLanguage(*named);
    });
}

void GameSession::SwitchLanguage(::Language language)
{
    LanguageInForce.Switch(language);
    Front.LanguageSwitched(language);
    ShowParts(ViewOptions);
}

// ---- The options file --------------------------------------------------------------

void GameSession::ReadOptions()
{
    if (!OptionsStore)
        return;
    Current.Mode = Shown.ColourMode & 0xFF;
    Current.English = LanguageInForce.Selected() == ::Language::English;
    Current.Russian = LanguageInForce.Selected() == ::Language::Russian;
    try {
        const auto read = OptionsStore->Read(Current, LanguageInForce);
        if (!read)
            return;   // there was no file; it holds the current options now
        ApplyOptions(read->Options);
        for (const ::Language language : read->Switches)
            SwitchLanguage(language);
    } catch (const OptionsWriteError& error) {
        if (!error.Repeated)
            Report(error.what());
    }
}

void GameSession::WriteOptions()
{
    if (!OptionsStore)
        return;
    Current.Mode = Shown.ColourMode & 0xFF;
    Current.English = LanguageInForce.Selected() == ::Language::English;
    Current.Russian = LanguageInForce.Selected() == ::Language::Russian;
    try {
        OptionsStore->Write(Current);
    } catch (const OptionsWriteError& error) {
        // Written at every focus loss: a folder that refuses it is told once.
        if (!error.Repeated)
            Report(error.what());
    }
}

void GameSession::ApplyOptions(const GameOptions& options)
{
    const ::Language selected = LanguageInForce.Selected();
    Current = options;
    // The language buttons follow the switches, not the keys read.
    Current.English = selected == ::Language::English;
    Current.Russian = selected == ::Language::Russian;
    Shown.ColourMode = options.Mode;
    Engine->SoundOn = options.SoundOn;
    ShowParts(ViewOptions | ViewLinks);
}

// ---- The focus ----------------------------------------------------------------------

void GameSession::Activation(bool active)
{
    Input([this, active] {
        if (active == Active)
            return;
        Active = active;
        if (active)
            FormActivate();
        else
            FormDeactivate();
    });
}

void GameSession::FormActivate()
{
    if (!PausedByPlayer && !Watching())
        Commands->SetPaused(false);
    TimersFollowPause();
    if (FullScreenOn)
        EnterFullScreen();
    Shown.Away = false;
    Shown.PauseCover = Engine->Paused;
    ShowParts(ViewTitle | ViewPanels);
    ReadOptions();
}

void GameSession::FormDeactivate()
{
    // The player's pause stays: the next activation resumes. A replay plays on.
    if (!Autopilot && !Watching())
        Commands->SetPaused(true);
    TimersFollowPause();
    if (FullScreenOn)
        LeaveFullScreen();
    // Seen from the task bar, the game is now a folder of reports.
    Shown.Away = true;
    ShowParts(ViewTitle);
    WriteOptions();
}

void GameSession::Closing()
{
    WriteOptions();
}
