#include "web/wasm/view_json.h"

#include <cstdio>

#include "game_session/game_session.h"
#include "i18n/captions.h"
#include "online/publish_address.h"

namespace {

void Quoted(std::string& out, std::string_view text)
{
    out += '"';
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += ch;
        }
    }
    out += '"';
}

struct JsonObject {
    std::string& Out;
    bool First = true;
    explicit JsonObject(std::string& out) : Out(out) { Out += '{'; }
    ~JsonObject() { Out += '}'; }
    std::string& Key(const char* name)
    {
        if (!First)
            Out += ',';
        First = false;
        Quoted(Out, name);
        Out += ':';
        return Out;
    }
    void Text(const char* name, std::string_view value) { Quoted(Key(name), value); }
    void Flag(const char* name, bool value) { Key(name) += value ? "true" : "false"; }
    void Number(const char* name, double value)
    {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%.6g", value);
        Key(name) += digits;
    }
};

}  // namespace

std::string ViewJson(const GameSession& session)
{
    const SessionView& view = session.View();
    const Language language = session.Language().Shown();
    std::string out;
    {
        JsonObject o(out);
        o.Text("score", view.Score);
        o.Text("level", view.Level);
        o.Flag("gameOver", view.GameOverCaption);
        o.Flag("menuHint", view.MenuHint);
        o.Flag("autopilot", view.AutopilotCaption);
        o.Flag("replay", view.ReplayCaption);
        o.Flag("bonusWord", view.BonusWord);
        o.Flag("bonusAmount", view.BonusAmount);
        o.Text("bonusText", view.BonusText);
        o.Flag("about", view.About);
        o.Flag("options", view.Options);
        o.Flag("pause", view.PauseCover);
        o.Flag("nameEntry", view.NameEntry);
        o.Text("nameText", view.NameText);
        o.Flag("selectName", view.SelectName);
        o.Number("recordRow", view.RecordRow);
        o.Flag("away", view.Away);
        o.Text("title", view.Away ? AwayTitle : GameTitle);
        o.Flag("fullScreen", session.FullScreen());
        o.Number("colourMode", view.ColourMode);
        o.Number("language", language == Language::English ? 1 : 0);
        {
            JsonObject captions(o.Key("captions"));
            for (const CaptionPair& pair : CaptionTable(language))
                captions.Text(pair.Component, pair.Caption);
        }
        std::string& help = o.Key("keyHelp");
        help += '[';
        const auto functions = KeyHelpTable(language);
        for (std::size_t k = 0; k < functions.size() && k < std::size(KeyHelpKeys); ++k) {
            help += k ? ",[" : "[";
            Quoted(help, KeyHelpKeys[k]);
            help += ',';
            Quoted(help, functions[k]);
            help += ']';
        }
        help += ']';
        std::string& rows = o.Key("records");
        rows += '[';
        if (const RecordsSession* records = session.Records()) {
            bool first = true;
            for (const RecordEntry& entry : records->Entries()) {
                rows += first ? "[" : ",[";
                first = false;
                Quoted(rows, entry.Place);
                rows += ',';
                Quoted(rows, entry.Name);
                rows += ',';
                Quoted(rows, entry.Score);
                rows += ']';
            }
        }
        rows += ']';
        // The records list's columns, as the records file keeps them.
        const ColumnWidths widths = session.Records() ? session.Records()->Book().Widths() : DesignColumnWidths;
        o.Key("recordColumns") += "[" + std::to_string(widths.Place) + "," + std::to_string(widths.Name) + "," +
                                  std::to_string(widths.Score) + "]";
        std::string& switches = o.Key("switches");
        switches += '[';
        for (std::size_t k = 0; k < std::size(SessionSwitches); ++k)
            switches += std::string(k ? "," : "") + (session.Switch(SessionSwitches[k]) ? "true" : "false");
        switches += ']';
        std::string& colours = o.Key("colours");
        colours += '[';
        for (std::size_t k = 0; k < session.Options().Colours.size(); ++k)
            colours += (k ? "," : "") + std::to_string(std::uint32_t(session.Options().Colours[k]));
        colours += ']';
        o.Flag("running", session.Game().Running);
        o.Flag("paused", session.Game().Paused);
        o.Flag("watching", session.Watching());
        o.Number("progress", session.WatchProgress());
        o.Flag("publishing", session.Publishing());
        o.Text("site", SiteAddress(session.Options().Server));
        o.Text("mail", session.Options().Mail);
    }
    return out;
}
