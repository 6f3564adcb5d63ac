#include "web/wasm/web_front_end.h"

#include "web/wasm/cell_templates.h"

#include <emscripten.h>

#include <cstdint>
#include <vector>

// Each request is one call on Module.front; a front end that lacks a
// method does without it.
EM_JS(void, vx_js_call0, (const char* name), { const f = Module.front && Module.front[UTF8ToString(name)]; if (f) f.call(Module.front); });
EM_JS(void, vx_js_call1, (const char* name, int a), { const f = Module.front && Module.front[UTF8ToString(name)]; if (f) f.call(Module.front, a); });
EM_JS(void, vx_js_call2, (const char* name, int a, int b), { const f = Module.front && Module.front[UTF8ToString(name)]; if (f) f.call(Module.front, a, b); });
EM_JS(void, vx_js_text, (const char* name, const char* text), {
    const f = Module.front && Module.front[UTF8ToString(name)];
    if (f) f.call(Module.front, UTF8ToString(text));
});
EM_JS(int, vx_js_sound, (int kind, const char* resource, int frequency, int ms, int queued), {
    const f = Module.front && Module.front.playSound;
    const r = f ? f.call(Module.front, kind, UTF8ToString(resource), frequency, ms, !!queued) : (queued ? ms : 0);
    return r | 0;
});
EM_JS(void, vx_js_ask, (int critical, const char* caption, const char* text, int yesNo), {
    const f = Module.front && Module.front.ask;
    if (f) f.call(Module.front, !!critical, UTF8ToString(caption), UTF8ToString(text), !!yesNo);
});
EM_JS(void, vx_js_menu, (int publish, int erase, int watchBest), {
    const f = Module.front && Module.front.showMenu;
    if (f) f.call(Module.front, {publish: !!publish, erase: !!erase, watchBest: !!watchBest});
});
EM_JS(void, vx_js_publish, (const char* address, const char* replayAddress, int count, const std::uint32_t* where,
                            const std::uint32_t* lengths), {
    const f = Module.front && Module.front.publish;
    if (!f) return;
    const replays = [];
    for (let k = 0; k < count; ++k) {
        const at = HEAPU32[(where >> 2) + k], length = HEAPU32[(lengths >> 2) + k];
        replays.push(HEAPU8.slice(at, at + length));
    }
    f.call(Module.front, {address: UTF8ToString(address), replayAddress: UTF8ToString(replayAddress), replays});
});

void WebFrontEnd::WakeLater()
{
    vx_js_call0("wakeLater");
}

void WebFrontEnd::StartTimer(SessionTimer timer, int milliseconds)
{
    vx_js_call2("startTimer", int(timer), milliseconds);
}

void WebFrontEnd::StopTimer(SessionTimer timer)
{
    vx_js_call1("stopTimer", int(timer));
}

void WebFrontEnd::SetTimerInterval(SessionTimer timer, int milliseconds)
{
    vx_js_call2("setTimerInterval", int(timer), milliseconds);
}

void WebFrontEnd::Show(unsigned parts)
{
    vx_js_call1("show", int(parts));
}

int WebFrontEnd::PlaySound(const SessionSound& sound)
{
    return vx_js_sound(sound.Kind == SessionSound::Source::Wave ? 0 : 1, sound.Resource.c_str(), sound.Frequency,
                       sound.Milliseconds, sound.Queued ? 1 : 0);
}

void WebFrontEnd::LanguageSwitched(Language language)
{
    vx_js_call1("languageSwitched", language == Language::English ? 1 : 0);
}

void WebFrontEnd::MakePictures(bool bevelled)
{
    BuildPictures(bevelled);
    vx_js_call1("makePictures", bevelled ? 1 : 0);
}

void WebFrontEnd::BuildPictures(bool bevelled)
{
    constexpr int Side = 31;
    for (int k = 1; k <= 7; ++k) {
        // Code 7, a marked cell, stays black whatever its template.
        const ColourValue colour = k <= 6 && Colours ? ColourValue(Colours->Colours[std::size_t(k - 1)]) : 0;
        const CellTemplate& shading = CellTemplates[bevelled ? 6 : k - 1];
        std::vector<std::uint32_t>& picture = Pictures[std::size_t(k)];
        picture.assign(Side * Side, 0);
        ShadeTemplate(colour, {shading.Pixels.data(), Side, Side, Side}, {picture.data(), Side, Side, Side});
    }
}

CellPictureViews WebFrontEnd::PictureViews() const
{
    CellPictureViews views{};
    for (std::size_t k = 1; k < views.size(); ++k)
        if (!Pictures[k].empty())
            views[k] = {Pictures[k].data(), 31, 31, 31};
    return views;
}

void WebFrontEnd::Ask(const SessionMessage& message)
{
    vx_js_ask(message.Icon == SessionIcon::Critical ? 1 : 0, message.Caption.c_str(), message.Text.c_str(),
              message.YesNo ? 1 : 0);
}

void WebFrontEnd::ReportError(const std::string& text)
{
    vx_js_text("reportError", text.c_str());
}

void WebFrontEnd::OpenUrl(const std::string& address)
{
    vx_js_text("openUrl", address.c_str());
}

void WebFrontEnd::Publish(const PublishJob& job)
{
    std::vector<std::uint32_t> where, lengths;
    for (const std::string& replay : job.Replays) {
        where.push_back(std::uint32_t(reinterpret_cast<std::uintptr_t>(replay.data())));
        lengths.push_back(std::uint32_t(replay.size()));
    }
    vx_js_publish(job.Address.c_str(), job.ReplayAddress.c_str(), int(job.Replays.size()), where.data(),
                  lengths.data());
}

void WebFrontEnd::ShowMenu(const MenuState& menu)
{
    vx_js_menu(menu.Publish, menu.Erase, menu.WatchBest);
}

void WebFrontEnd::SetFullScreen(bool on)
{
    vx_js_call1("setFullScreen", on ? 1 : 0);
}

void WebFrontEnd::Raise()
{
    vx_js_call0("raise");
}

void WebFrontEnd::LookAway()
{
    vx_js_call0("lookAway");
}

void WebFrontEnd::Close()
{
    vx_js_call0("close");
}

void WebFrontEnd::CloseLater()
{
    vx_js_call0("closeLater");
}
