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

// The best players and the best autopilot results, as RecordsStore lists
// them; a verified row has a mark that downloads its replay.
std::string RenderResultsPage(const std::vector<HumanResult>& players, const std::vector<AutopilotScore>& autopilot,
                              ResultsView view = ResultsView::All);

// Links to both views of the results.
std::string RenderFrontPage();
