// The module's exports: the page's inputs to one game session, what it
// shows, and the headless replay check.

#include <emscripten.h>
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "game_session/game_session.h"
#include "i18n/captions.h"
#include "online/publish_address.h"
#include "replay/game_line.h"
#include "storage/atomic_file.h"
#include "storage/ini_profile.h"
#include "web/wasm/view_json.h"
#include "web/wasm/web_front_end.h"

namespace {

// Where the play page keeps the records, their replays and the options; the
// page mirrors the folder into the browser's storage.
const std::filesystem::path Store = "/store";

struct WebGame {
    WebFrontEnd Front;
    std::unique_ptr<GameSession> Session;
    std::string Returned;                  // the last text handed out
    std::vector<std::uint32_t> Well;       // 0xAARRGGBB
    // The same as a canvas takes them, each in its own buffer: the page may
    // hold the well's while it asks for a cell's.
    std::vector<std::uint8_t> WellRgba;
    std::array<std::vector<std::uint8_t>, 8> CellRgba;
};
std::unique_ptr<WebGame> Game;

// The page's own origin is where its records go, whatever an options file
// kept from another page says.
void PointOptionsAt(const std::filesystem::path& file, const std::string& server)
{
    IniProfile profile(std::filesystem::exists(file) ? ReadWholeFile(file) : std::string());
    profile.WriteString(OnlineSection, ServerKey, server);
    ReplaceFile(file, profile.Text());
}

// An input's error is the player's to see; the session goes on, as the
// desktop's general handler lets it.
template <typename Body>
void Guarded(Body body)
{
    if (!Game || !Game->Session)
        return;
    try {
        body(*Game->Session);
    } catch (const std::exception& error) {
        Game->Front.ReportError(error.what());
    }
}

const std::uint8_t* ToRgba(const std::vector<std::uint32_t>& pixels, std::vector<std::uint8_t>& rgba)
{
    rgba.resize(pixels.size() * 4);
    for (std::size_t k = 0; k < pixels.size(); ++k) {
        const std::uint32_t p = pixels[k];
        rgba[4 * k] = std::uint8_t(p >> 16);
        rgba[4 * k + 1] = std::uint8_t(p >> 8);
        rgba[4 * k + 2] = std::uint8_t(p);
        rgba[4 * k + 3] = 0xFF;
    }
    return rgba.data();
}

}  // namespace

extern "C" {

// mode 0: watching, nothing kept; 1: playing, records and options in /store.
EMSCRIPTEN_KEEPALIVE int vx_create(int mode, std::uint32_t seed, const char* server, const char* player)
{
    // Emscripten starts with a umask of 0777, which would make every file
    // the records write unreadable to them; a process's usual one instead.
    ::umask(022);
    Game.reset();
    Game = std::make_unique<WebGame>();
    SessionSetup setup;
    setup.Seed = seed;
    setup.PlayerName = player ? player : "";
    setup.Recording = mode == 1;
    setup.Options.Server = server ? server : "";
    try {
        if (mode == 1) {
            std::filesystem::create_directories(Store);
            setup.RecordsFile = Store / RecordsFileName;
            setup.OptionsFile = Store / OptionsFileName;
            PointOptionsAt(*setup.OptionsFile, setup.Options.Server);
        }
        Game->Session = std::make_unique<GameSession>(Game->Front, setup);
        Game->Front.Colours = &Game->Session->Options();
    } catch (const std::exception& error) {
        Game->Front.ReportError(error.what());
        Game.reset();
        return 0;
    }
    return 1;
}

EMSCRIPTEN_KEEPALIVE void vx_start() { Guarded([](GameSession& s) { s.Start(); }); }
EMSCRIPTEN_KEEPALIVE void vx_deliver() { Guarded([](GameSession& s) { s.Deliver(); }); }
EMSCRIPTEN_KEEPALIVE void vx_timer(int kind)
{
    if (kind >= 0 && kind <= 2)
        Guarded([kind](GameSession& s) { s.TimerFired(SessionTimer(kind)); });
}
EMSCRIPTEN_KEEPALIVE void vx_key(int key) { Guarded([key](GameSession& s) { s.Key(key); }); }
EMSCRIPTEN_KEEPALIVE void vx_click() { Guarded([](GameSession& s) { s.Click(); }); }
EMSCRIPTEN_KEEPALIVE void vx_menu(int command)
{
    if (command >= 0 && command <= int(MenuCommand::Exit))
        Guarded([command](GameSession& s) { s.Menu(MenuCommand(command)); });
}
EMSCRIPTEN_KEEPALIVE void vx_activation(int active) { Guarded([active](GameSession& s) { s.Activation(active != 0); }); }
EMSCRIPTEN_KEEPALIVE void vx_answer(int yes) { Guarded([yes](GameSession& s) { s.Answer(yes != 0); }); }
EMSCRIPTEN_KEEPALIVE void vx_publish_ended(int ok) { Guarded([ok](GameSession& s) { s.PublishEnded(ok != 0); }); }
EMSCRIPTEN_KEEPALIVE void vx_set_switch(int which, int on)
{
    if (which >= 0 && which < int(std::size(SessionSwitches)))
        Guarded([which, on](GameSession& s) { s.SetSwitch(SessionSwitches[which], on != 0); });
}
EMSCRIPTEN_KEEPALIVE void vx_set_colour(int panel, std::int32_t colour)
{
    if (panel >= 0 && panel < 6)
        Guarded([panel, colour](GameSession& s) { s.SetColour(panel, colour); });
}
EMSCRIPTEN_KEEPALIVE void vx_default_colours() { Guarded([](GameSession& s) { s.DefaultColours(); }); }
EMSCRIPTEN_KEEPALIVE void vx_choose_language(int language)
{
    Guarded([language](GameSession& s) { s.ChooseLanguage(language == 1 ? Language::English : Language::Russian); });
}
EMSCRIPTEN_KEEPALIVE void vx_language_link() { Guarded([](GameSession& s) { s.LanguageLink(); }); }
EMSCRIPTEN_KEEPALIVE void vx_toggle_options() { Guarded([](GameSession& s) { s.ToggleOptions(); }); }
EMSCRIPTEN_KEEPALIVE void vx_toggle_about() { Guarded([](GameSession& s) { s.ToggleAbout(); }); }
EMSCRIPTEN_KEEPALIVE const char* vx_name_typed(const char* typed)
{
    std::string kept = typed ? typed : "";
    Guarded([&kept](GameSession& s) { kept = s.NameTyped(kept); });
    if (!Game)
        return "";
    Game->Returned = kept;
    return Game->Returned.c_str();
}
EMSCRIPTEN_KEEPALIVE void vx_name_enter() { Guarded([](GameSession& s) { s.NameEntryEnter(); }); }
EMSCRIPTEN_KEEPALIVE void vx_closing() { Guarded([](GameSession& s) { s.Closing(); }); }

EMSCRIPTEN_KEEPALIVE int vx_watch(const std::uint8_t* bytes, int length)
{
    bool watching = false;
    Guarded([&](GameSession& s) {
        try {
            watching = s.WatchReplay(ReadReplay(std::string_view(reinterpret_cast<const char*>(bytes),
                                                                 std::size_t(length > 0 ? length : 0))));
        } catch (const ReplayError& error) {
            Game->Front.ReportError(std::string("The replay cannot be played: ") + error.what());
        }
    });
    return watching ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const char* vx_view()
{
    if (!Game || !Game->Session)
        return "null";
    Game->Returned = ViewJson(*Game->Session);
    return Game->Returned.c_str();
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* vx_well_rgba()
{
    if (!Game || !Game->Session)
        return nullptr;
    const WellGeometry geometry;
    Game->Well.assign(std::size_t(geometry.WellImageWidth) * std::size_t(geometry.WellImageHeight), 0);
    const GameSession& s = *Game->Session;
    CellColourValues colours{};
    for (std::size_t k = 0; k < 6; ++k)
        colours[k + 1] = ColourValue(s.Options().Colours[k]);
    DrawWell({Game->Well.data(), geometry.WellImageWidth, geometry.WellImageHeight, geometry.WellImageWidth},
             s.View().Well, s.View().ColourMode, colours, Game->Front.PictureViews(), geometry);
    return ToRgba(Game->Well, Game->WellRgba);
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* vx_cell_rgba(int code)
{
    if (!Game || code < 1 || code > 7 || Game->Front.Pictures[std::size_t(code)].empty())
        return nullptr;
    return ToRgba(Game->Front.Pictures[std::size_t(code)], Game->CellRgba[std::size_t(code)]);
}

// Needs no session: the replay is played on an engine of its own.
EMSCRIPTEN_KEEPALIVE const char* vx_check_replay(const std::uint8_t* bytes, int length)
{
    static std::string line;
    try {
        line = ReplayLine(std::string_view(reinterpret_cast<const char*>(bytes), std::size_t(length > 0 ? length : 0)));
    } catch (const std::exception& error) {
        line = std::string("error: ") + error.what();
    }
    return line.c_str();
}

}  // extern "C"
