#include "records_page.h"

#include "common/score_text.h"
#include "server/digest.h"

namespace {

constexpr const char* HeadStart = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Vantorix II - Top 30</title>
<style>)";

// The game's colours: the window's grey, the lists' 0xC8D0D4 (BGR) with
// navy bold text, the lime serif heading of the Top 30. Its bytes, exactly
// as between the tags, are what the policy's hash allows.
constexpr const char* Style = R"(
body { background: #6A6A6A; color: #000080; font: bold 14px Arial, "Liberation Sans", sans-serif; margin: 24px; }
h1 { color: #00FF00; font: bold 36px "Times New Roman", "Liberation Serif", serif; margin: 0 0 16px; }
.tables { display: flex; flex-wrap: wrap; gap: 24px; align-items: flex-start; }
table { background: #D4D0C8; border-collapse: collapse; border: 2px solid #000080; min-width: 260px; }
caption { background: #D4D0C8; border: 2px solid #000080; border-bottom: 0; padding: 4px; }
th, td { padding: 2px 8px; text-align: left; white-space: nowrap; }
th { border-bottom: 1px solid #000080; }
td.place, td.score, th.score { text-align: right; }
a { color: #000080; background: #D4D0C8; padding: 4px 8px; border: 2px solid #000080; text-decoration: none; }
.mark, .mark a { color: #008000; }
td.mark a { padding: 0 4px; border: 0; }
td.mark a.download { font-weight: normal; font-size: 12px; padding: 0 2px; }
p.legend { margin: 16px 0; }
)";

constexpr const char* HeadEnd = "</style>\n</head>\n<body>\n";

std::string Head()
{
    return std::string(HeadStart) + Style + HeadEnd;
}

constexpr const char* Foot = "</body>\n</html>\n";

constexpr const char* Verified = "verified: the server replayed the game to this score";

void AddEmptyRow(std::string& html, int columns, bool verifiedOnly)
{
    html += "<tr><td colspan=\"" + std::to_string(columns) + "\">" +
            (verifiedOnly ? "No verified results yet" : "No results yet") + "</td></tr>\n";
}

// The last cell of a row: the mark of a verified result, a link to its
// replay (a number: nothing in it to escape).
std::string MarkCell(std::int64_t replay, MarkLinks links)
{
    if (replay <= 0)
        return "<td class=\"mark\"></td>";
    const std::string id = "?id=" + std::to_string(replay);
    if (links == MarkLinks::Download)
        return std::string("<td class=\"mark\"><a href=\"") + ReplayPath + id + "\" title=\"" + Verified +
               " (download the replay)\">\u2713</a></td>";
    return std::string("<td class=\"mark\"><a href=\"/") + WatchPage + id + "\" title=\"" + Verified +
           " (play the game in the browser)\">\u2713</a><a class=\"download\" href=\"" + ReplayPath + id +
           "\" title=\"download the replay\">\u2193</a></td>";
}

std::string ViewLink(const char* query, const char* text)
{
    return std::string("<a href=\"") + ResultsPath + "?" + query + "\">" + text + "</a>";
}

}  // namespace

std::string EscapeHtml(std::string_view text)
{
    std::string html;
    html.reserve(text.size());
    for (char ch : text) {
        switch (ch) {
        case '&': html += "&amp;"; break;
        case '<': html += "&lt;"; break;
        case '>': html += "&gt;"; break;
        case '"': html += "&quot;"; break;
        case '\'': html += "&#39;"; break;
        default: html += ch;
        }
    }
    return html;
}

std::string RenderResultsPage(const std::vector<HumanResult>& players, const std::vector<AutopilotScore>& autopilot,
                              ResultsView view, MarkLinks links)
{
    const bool verifiedOnly = view == ResultsView::Verified;
    const std::string markHead = std::string("<th class=\"mark\" title=\"") + Verified + "\">\u2713</th>";
    std::string html = Head();
    html += verifiedOnly ? "<h1>Top 30, verified</h1>\n" : "<h1>Top 30</h1>\n";
    html += "<div class=\"tables\">\n";

    html += std::string("<table id=\"players\">\n<caption>") + (verifiedOnly ? "Players, verified" : "Players") +
            "</caption>\n<tr><th class=\"place\">#</th><th>Name</th><th class=\"score\">Score</th>" + markHead +
            "</tr>\n";
    for (std::size_t i = 0; i < players.size(); ++i)
        html += "<tr><td class=\"place\">" + std::to_string(i + 1) + "</td><td class=\"name\">" +
                EscapeHtml(players[i].Name) + "</td><td class=\"score\">" + FormatScore(players[i].Score) + "</td>" +
                MarkCell(players[i].Replay, links) + "</tr>\n";
    if (players.empty())
        AddEmptyRow(html, 4, verifiedOnly);
    html += "</table>\n";

    html += std::string("<table id=\"autopilot\">\n<caption>") +
            (verifiedOnly ? "Autopilot, verified" : "Autopilot") +
            "</caption>\n<tr><th class=\"place\">#</th><th class=\"score\">Score</th><th>Published by</th>" +
            markHead + "</tr>\n";
    for (std::size_t i = 0; i < autopilot.size(); ++i) {
        const std::string& publisher = autopilot[i].Publisher;
        html += "<tr><td class=\"place\">" + std::to_string(i + 1) + "</td><td class=\"score\">" +
                FormatScore(autopilot[i].Score) + "</td><td class=\"name\">" +
                (publisher.empty() ? std::string("\u2014") : EscapeHtml(publisher)) + "</td>" +
                MarkCell(autopilot[i].Replay, links) + "</tr>\n";
    }
    if (autopilot.empty())
        AddEmptyRow(html, 4, verifiedOnly);
    html += "</table>\n</div>\n";
    html += std::string("<p class=\"legend\"><span class=\"mark\">\u2713</span> ") + Verified +
            (links == MarkLinks::Download ? "; the mark downloads the replay.</p>\n"
                                          : "; the mark plays the game in the browser, \u2193 downloads its "
                                            "replay.</p>\n");
    html += "<p>" + (verifiedOnly ? ViewLink(ResultsQuery, "All results") : ViewLink(VerifiedQuery, "Verified only")) +
            "</p>\n";
    return html + Foot;
}

std::string RenderFrontPage()
{
    std::string html = Head();
    html += "<h1>Vantorix II</h1>\n"
            "<p>The best players and the best autopilot results, as the games publish them.</p>\n";
    html += "<p>" + ViewLink(ResultsQuery, "Top 30") + " " + ViewLink(VerifiedQuery, "Verified Top 30") + "</p>\n";
    html += std::string("<p class=\"legend\"><span class=\"mark\">\u2713</span> ") + Verified + ".</p>\n";
    return html + Foot;
}

const std::string& PagePolicy()
{
    static const std::string policy = "default-src 'none'; style-src 'sha256-" + Base64(Sha256(Style)) +
                                      "'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
    return policy;
}
