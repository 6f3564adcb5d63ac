#pragma once
// The records site's pages, in the game's look: the window's grey, navy bold
// text on the lists' grey-blue, the lime "Top 30" heading.

#include <string>
#include <string_view>
#include <vector>

#include "common/records_site.h"
#include "server/results.h"

inline constexpr int PageRows = 30;
// The results page's other view: verified results only.
inline constexpr const char* VerifiedQuery = "v=verified";

// & < > " ' as character references; every stored text goes through this.
std::string EscapeHtml(std::string_view text);

enum class ResultsView { All, Verified };

// The web edition's page that plays a verified game in the browser, at
// /watch.html?id=REPLAY (served with --web).
inline constexpr const char* WatchPage = "watch.html";

// What a verified row's mark links to: its replay's download, or the game
// played in the browser with a small link beside it to the download.
enum class MarkLinks { Download, WatchAndDownload };

// The best players and the best autopilot results, as RecordsStore lists
// them; a verified row has a mark that links to its replay.
std::string RenderResultsPage(const std::vector<HumanResult>& players, const std::vector<AutopilotScore>& autopilot,
                              ResultsView view = ResultsView::All, MarkLinks links = MarkLinks::Download);

// Links to both views of the results.
std::string RenderFrontPage();

// The Content-Security-Policy these pages are served with: nothing loads,
// and the one style that applies is their own, by its hash.
const std::string& PagePolicy();
