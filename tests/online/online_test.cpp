#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "loopback_server.h"
#include "online/check_url.h"
#include "online/publish_address.h"

namespace {

std::vector<RecordEntry> Table(const std::vector<std::pair<std::string, std::string>>& rows)
{
    std::vector<RecordEntry> entries;
    for (std::size_t k = 0; k < rows.size(); ++k)
        entries.push_back({std::to_string(k + 1), rows[k].first, rows[k].second});
    return entries;
}

const std::string Prefix = "http://localhost:8642/datas/html/add.php?";

}  // namespace

TEST(PublishAddress, CarriesTheBestPlayerAndTheBestAutopilot)
{
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> table;
        std::string query;
    } cases[] = {
        {"autopilot first, Ann second", {{"AUTOPILOT", "12.500"}, {"Ann", "9.000"}, {"Bob", "800"}},
         "name=Ann&self=9000&autopilot=12500"},
        {"no autopilot entry", {{"Ann", "1.000.000"}, {"Ann", "5"}}, "name=Ann&self=1000000&autopilot=-"},
        {"autopilot entries only", {{"AUTOPILOT", "700"}, {"AUTOPILOT", "600"}}, "name=&self=&autopilot=700"},
        {"an empty table", {}, "name=&self=&autopilot=-"},
        {"only an exact AUTOPILOT counts", {{"autopilot", "50"}, {"AUTOPILOT ", "40"}}, "name=autopilot&self=50&autopilot=-"},
        {"a score that does not read is 0", {{"Ann", "abc"}}, "name=Ann&self=0&autopilot=-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PublishAddress(DefaultRecordsServer, ChoosePublishValues(Table(c.table))), Prefix + c.query)
            << c.name;
}

TEST(PublishAddress, EncodesEveryByteThatCouldRewriteTheRequest)
{
    const struct {
        const char* name;
        const char* encoded;
    } cases[] = {
        {"Ann Lee", "Ann%20Lee"},
        {"A&self=999999999", "A%26self%3D999999999"},
        {"100%", "100%25"},
        {"a+b#c?d/e", "a%2Bb%23c%3Fd%2Fe"},
        {"Аня Ёж", "%C0%ED%FF%20%A8%E6"},
        {"x-y.z_~", "x-y.z_~"},
    };
    for (const auto& c : cases) {
        PublishValues values{c.name, "1", "-"};
        EXPECT_EQ(PublishAddress("h", values), std::string("http://h/datas/html/add.php?name=") + c.encoded +
                                                   "&self=1&autopilot=-")
            << c.name;
    }
    EXPECT_EQ(RecordsPageAddress("h:1"), "http://h:1/view.php?v=results");
    EXPECT_EQ(MailLink("me@x.org"), "mailto:me@x.org?subject=VANTORIX2 1.3");
}

TEST(PublishAddress, TheServerValueGivesTheSchemeOfEveryAddress)
{
    const struct {
        const char* server;
        const char* site;   // what every address begins with
    } cases[] = {
        {"localhost:8642", "http://localhost:8642"},
        {"records.example", "http://records.example"},
        {"h:1/", "http://h:1/"},   // a plain host is taken as it stands
        {"https://localhost", "https://localhost"},
        {"https://127.0.0.1:8443", "https://127.0.0.1:8443"},
        {"https://localhost/", "https://localhost"},
        {"https://h//", "https://h/"},
        {"HTTPS://LocalHost:443", "https://LocalHost:443"},
        {"http://h:2/", "http://h:2"},
        {"Http://h", "http://h"},
    };
    for (const auto& c : cases) {
        const std::string site = c.site;
        EXPECT_EQ(PublishAddress(c.server, PublishValues{"Ann", "1", "-"}),
                  site + "/datas/html/add.php?name=Ann&self=1&autopilot=-")
            << c.server;
        EXPECT_EQ(ReplayAddress(c.server, "Ann"), site + "/datas/html/replay.php?publisher=Ann") << c.server;
        EXPECT_EQ(RecordsPageAddress(c.server), site + "/view.php?v=results") << c.server;
        EXPECT_EQ(SiteAddress(c.server), site + "/") << c.server;
    }
}

TEST(CheckUrl, TrueExactlyFor200And302WithTheAgentAndNoCache)
{
    const struct {
        int status;
        bool accepted;
    } cases[] = {{200, true}, {302, true}, {301, false}, {404, false}, {500, false}, {204, false}};
    for (const auto& c : cases) {
        AnsweringServer server(c.status, std::string(100000, 'x'));
        EXPECT_EQ(CheckUrl(server.Address("/datas/html/add.php?name=A%20B&self=1&autopilot=-")), c.accepted)
            << c.status;
        std::lock_guard lock(server.Mutex);
        EXPECT_EQ(server.Requests, 1) << c.status << ": one request, no redirect followed";
        EXPECT_EQ(server.LastTarget, "/datas/html/add.php?name=A%20B&self=1&autopilot=-");
        EXPECT_EQ(server.LastAgent, "InetURL:/1.0");
        EXPECT_EQ(server.LastCacheControl, "no-cache");
        EXPECT_EQ(server.LastPragma, "no-cache");
    }
    // Without a scheme, http:// goes in front; a scheme in capitals is one.
    AnsweringServer server(200);
    EXPECT_TRUE(CheckUrl(server.Host() + "/view.php?v=results"));
    EXPECT_TRUE(CheckUrl("HTTP://" + server.Host() + "/view.php?v=results"));
    std::lock_guard lock(server.Mutex);
    EXPECT_EQ(server.Requests, 2);
}

TEST(CheckUrl, NoServerOrNoAnswerIsFalseWithinItsLimits)
{
    const CheckUrlLimits quick{500, 1000, ""};
    SilentServer silent;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(CheckUrl(silent.Address(), quick)) << "never answers";
    // Generous: only that the limit ended the wait, not the 10 s default.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
    EXPECT_FALSE(CheckUrl("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", quick)) << "closed port";
    EXPECT_FALSE(CheckUrl("ftp://127.0.0.1:" + std::to_string(ClosedPort()) + "/", quick)) << "not http";
}
