// The records pages, without a server.

#include <gtest/gtest.h>

#include "server/digest.h"
#include "server/records_page.h"

TEST(RecordsPage, EscapesTheFiveSpecialCharacters)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Ann", "Ann"},
        {"<b>&\"x'</b>", "&lt;b&gt;&amp;&quot;x&#39;&lt;/b&gt;"},
        {"&amp;", "&amp;amp;"},
        {"Аня", "Аня"},
    };
    for (const auto& [text, html] : cases)
        EXPECT_EQ(EscapeHtml(text), html);
}

TEST(RecordsPage, ShowsPlacesScoreTextAndADashForNoPublisher)
{
    const std::string page = RenderResultsPage({{"Ann", 3456800}}, {{1000, ""}, {999, "Bob"}});
    for (const char* part : {"<h1>Top 30</h1>",
                             "<td class=\"place\">1</td><td class=\"name\">Ann</td><td class=\"score\">3.456.800</td>",
                             "<td class=\"place\">1</td><td class=\"score\">1.000</td><td class=\"name\">—</td>",
                             "<td class=\"place\">2</td><td class=\"score\">999</td><td class=\"name\">Bob</td>"})
        EXPECT_NE(page.find(part), std::string::npos) << part;
    const std::string empty = RenderResultsPage({}, {});
    EXPECT_EQ(empty.find("class=\"place\">1<"), std::string::npos);
    EXPECT_NE(empty.find("No results yet"), std::string::npos);
}

TEST(RecordsPage, ThePolicyAllowsTheStyleThePagesHaveAndNothingElse)
{
    EXPECT_EQ(Base64(Sha256("abc")), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
    EXPECT_EQ(Base64("ab"), "YWI=");
    EXPECT_EQ(Hex("\x01\xAB"), "01ab");
    for (const std::string& page : {RenderFrontPage(), RenderResultsPage({}, {}, ResultsView::Verified)}) {
        const std::size_t start = page.find("<style>") + 7;
        const std::string style = page.substr(start, page.find("</style>") - start);
        EXPECT_EQ(PagePolicy(), "default-src 'none'; style-src 'sha256-" + Base64(Sha256(style)) +
                                    "'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
        EXPECT_EQ(page.find(" style="), std::string::npos) << "a style attribute the policy refuses";
    }
}
