#pragma once
// What the game session asks of the front end that shows it: timers, the
// view drawn again, sounds, questions, addresses to open. Every request
// returns at once; nothing here may call the session back before it returns
// (a modal question is the one exception: see Ask). A front end without a
// screen overrides only what it needs.

#include <cstdint>
#include <string>
#include <vector>

#include "i18n/captions.h"

enum class SessionTimer {
    Fall,   // the fall timer (Timer1)
    Drop,   // the drop timer (Timer3): the grace after a hard drop
    Wait,   // a wait step of an animation, once
};

struct SessionSound {
    enum class Source { Wave, Tone };
    Source Kind = Source::Wave;
    std::string Resource;   // a wave: ":/WAV_1"
    int Frequency = 0;      // a tone
    int Milliseconds = 0;
    // Played behind the previous queued sound without a gap; the session
    // waits for its end before it goes on.
    bool Queued = false;
};

// The parts of the view (GameSession::View) that changed.
enum ViewPart : unsigned {
    ViewWell = 1u << 0,
    ViewScore = 1u << 1,
    ViewLevel = 1u << 2,
    ViewCaptions = 1u << 3,   // game over, menu hint, autopilot, replay
    ViewBonus = 1u << 4,
    ViewPanels = 1u << 5,     // about, options, the pause cover
    ViewNameEntry = 1u << 6,
    ViewRecords = 1u << 7,
    ViewOptions = 1u << 8,    // switches, colours, colour mode
    ViewLinks = 1u << 9,
    ViewTitle = 1u << 10,     // the game's own, or the disguise while away
    // Shown before the call returns, not at the next paint: the whole
    // design, or with ViewScore alone the score.
    ViewNow = 1u << 11,
};

// The window's title, and the disguise it wears while the player looks away.
inline constexpr const char* GameTitle = "Vantorix II";
inline constexpr const char* AwayTitle = "Reports";

enum class SessionIcon { None, Critical };

struct SessionMessage {
    SessionIcon Icon = SessionIcon::None;
    std::string Caption, Text;   // UTF-8
    bool YesNo = false;          // otherwise one OK
};

// What publishing sends: the scores, then the replays (a 404 ends it).
struct PublishJob {
    std::string Address;
    std::string ReplayAddress;
    std::vector<std::string> Replays;
};

struct MenuState {
    bool Publish = false, Erase = false, WatchBest = false;
};

class SessionFrontEnd {
public:
    virtual ~SessionFrontEnd() = default;

    // Deliver() from the event loop, behind what already waits there.
    virtual void WakeLater() {}
    // Starts (or restarts) a timer with this period; Wait fires once.
    virtual void StartTimer(SessionTimer, int /*milliseconds*/) {}
    virtual void StopTimer(SessionTimer) {}
    // A new period; a running timer starts it anew.
    virtual void SetTimerInterval(SessionTimer, int /*milliseconds*/) {}
    virtual void Show(unsigned /*parts*/) {}
    // Returns how many milliseconds a queued sound lasts.
    virtual int PlaySound(const SessionSound& sound) { return sound.Queued ? sound.Milliseconds : 0; }
    // The captions switch, one call per switch made.
    virtual void LanguageSwitched(Language) {}
    // The cell pictures made again from the colours.
    virtual void MakePictures(bool /*bevelled*/) {}
    // Answered by GameSession::Answer, at once (a modal box) or later.
    virtual void Ask(const SessionMessage&) {}
    virtual void ReportError(const std::string&) {}
    virtual void OpenUrl(const std::string&) {}
    // Answered by GameSession::PublishEnded.
    virtual void Publish(const PublishJob&) {}
    virtual void ShowMenu(const MenuState&) {}
    virtual void SetFullScreen(bool /*on*/) {}
    // Back from full screen by the player's key: in front, with the keys.
    virtual void Raise() {}
    // The boss key: out of sight.
    virtual void LookAway() {}
    virtual void Close() {}
    // Once control is back in the event loop.
    virtual void CloseLater() {}
};
