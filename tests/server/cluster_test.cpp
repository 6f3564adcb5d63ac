// Two vantorix2-records on one PostgreSQL database behind nginx with the
// shipped site configuration, everything on 127.0.0.1; clients come from
// other 127.x.y.z addresses where the site's limits per address count.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <thread>

#include "common/score_text.h"
#include "online/check_url.h"
#include "online/publish_address.h"
#include "replay/replay.h"
#include "server/records_store.h"
#include "games.h"
#include "server_process.h"
#include "storage/temp_folder.h"
#include "support/postgres_cluster.h"

using namespace records_server_test;

namespace {

const std::string Publish = "/datas/html/add.php?";
const std::string ReplayAt = "/datas/html/replay.php";
const std::string Results = "/view.php?v=results";
// The instances take the client's address from nginx alone.
const std::vector<std::string> BehindNginx = {"--trusted-proxy", "127.0.0.1"};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

bool Lists(const std::string& page, const std::string& name)
{
    return page.find("<td class=\"name\">" + name + "</td>") != std::string::npos;
}


// Replaces every match of pattern; throws when there is none, so that a
// site file changed out of this shape fails loudly.
std::string ReplaceAll(const std::string& text, const std::string& pattern, const std::string& replacement)
{
    const std::regex expression(pattern, std::regex::multiline);
    if (!std::regex_search(text, expression))
        throw std::runtime_error("the site file has no '" + pattern + "'");
    return std::regex_replace(text, expression, replacement);
}

// nginx with the shipped site, on 127.0.0.1 only: the upstream's two
// instances replaced by the given ports, its listen lines by free ports (the
// [::] ones dropped) and its certificate by a fresh self-signed one for
// IP:127.0.0.1. Lifted drops the rate limits, for load from one address.
// The process ends with the test's process if that dies first.
class Nginx {
public:
    enum class Limits { Shipped, Lifted };

    Nginx(int firstInstance, int secondInstance, Limits limits = Limits::Shipped)
    {
        // Run as root, the workers are nobody's and need to get in.
        if (::geteuid() == 0)
            std::filesystem::permissions(Folder.Path, std::filesystem::perms(0755));
        const std::string make = std::string(VANTORIX2_OPENSSL) +
                                 " req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                                 " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                 (Folder / "key.pem").string() + "' -out '" + Certificate() + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0)
            throw std::runtime_error("openssl could not make a certificate");
        std::string site = ReadBytes(VANTORIX2_NGINX_SITE);
        site = ReplaceAll(site, "127\\.0\\.0\\.1:8642\\b", "127.0.0.1:" + std::to_string(firstInstance));
        site = ReplaceAll(site, "127\\.0\\.0\\.1:8643\\b", "127.0.0.1:" + std::to_string(secondInstance));
        site = ReplaceAll(site, "^[ \\t]*listen[ \\t]+\\[::\\]:[0-9]+([ \\t]+ssl)?;\\n", "");
        site = ReplaceAll(site, "ssl_certificate\\s+[^;]+;", "ssl_certificate " + Certificate() + ";");
        site = ReplaceAll(site, "ssl_certificate_key\\s+[^;]+;",
                          "ssl_certificate_key " + (Folder / "key.pem").string() + ";");
        if (limits == Limits::Lifted)
            site = ReplaceAll(site, "^[ \\t]*limit_req[ \\t]+zone=[^;]+;\\n", "");
        for (int attempt = 0; attempt < 5 && !Running; ++attempt) {
            HttpPort = FreeLoopbackPort();
            TlsPort = FreeLoopbackPort();
            const std::string loopback = "$1listen 127.0.0.1:";
            std::string mine =
                ReplaceAll(site, "^([ \\t]*)listen[ \\t]+80;", loopback + std::to_string(HttpPort) + ";");
            mine = ReplaceAll(mine, "^([ \\t]*)listen[ \\t]+443[ \\t]+ssl;",
                              loopback + std::to_string(TlsPort) + " ssl;");
            std::ofstream(Folder / "site.conf") << mine;
            WriteMainConfig();
            Start();
        }
        if (!Running)
            throw std::runtime_error("nginx did not start: " + ReadBytes(Folder / "error.log"));
    }
    // TERM: the master stops its workers too, which a KILL would leave behind.
    ~Nginx() { Process->Stop(SIGTERM, 10s); }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    int Port() const { return HttpPort; }
    int HttpsPort() const { return TlsPort; }
    // The PEM file a client trusts the HTTPS port with.
    std::string Certificate() const { return (Folder / "cert.pem").string(); }

private:
    void WriteMainConfig()
    {
        const std::string dir = Folder.Path.string();
        std::ofstream conf(Folder / "nginx.conf");
        if (::geteuid() == 0)
            conf << "user nobody nogroup;\n";
        conf << "worker_processes 1;\n"
             << "pid " << dir << "/nginx.pid;\n"
             << "error_log " << dir << "/error.log warn;\n"
             << "events { worker_connections 512; }\n"
             << "http {\n"
             << "  access_log " << dir << "/access.log;\n"
             << "  client_body_temp_path " << dir << "/body;\n"
             << "  proxy_temp_path " << dir << "/proxy;\n"
             << "  fastcgi_temp_path " << dir << "/fastcgi;\n"
             << "  uwsgi_temp_path " << dir << "/uwsgi;\n"
             << "  scgi_temp_path " << dir << "/scgi;\n"
             << "  include " << dir << "/site.conf;\n"
             << "}\n";
    }

    void Start()
    {
        const std::string dir = Folder.Path.string();
        Process.emplace(VANTORIX2_NGINX, std::vector<std::string>{"-p", dir + "/", "-c", dir + "/nginx.conf", "-e",
                                                                   dir + "/error.log", "-g", "daemon off;"});
        Process->CollectStderr();
        // Up once both ports take connections; a port taken meanwhile ends it.
        Running = WaitFor([&] {
            if (Process->WaitExit(0ms))
                return true;
            for (int port : {HttpPort, TlsPort}) {
                const int sock = Connect(port);
                if (sock < 0)
                    return false;
                ::close(sock);
            }
            return true;
        }, 10s) && !Process->WaitExit(0ms);
        if (!Running)
            Process.reset();
    }

    TempFolder Folder;
    // Declared after the folder: stopped before it is removed.
    std::optional<ChildProcess> Process;
    int HttpPort = 0;
    int TlsPort = 0;
    bool Running = false;
};

// What comes back over TLS from 127.0.0.1:port for one request, through openssl s_client.
LoopbackAnswer HttpsGet(int port, const std::string& target)
{
    const std::string command = "printf 'GET " + target +
                                " HTTP/1.1\\r\\nHost: 127.0.0.1\\r\\nConnection: close\\r\\n\\r\\n' | timeout 20 " +
                                VANTORIX2_OPENSSL + " s_client -connect 127.0.0.1:" + std::to_string(port) +
                                " -quiet 2>/dev/null";
    LoopbackAnswer answer;
    std::string raw;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
            raw.append(buffer, got);
        ::pclose(pipe);
    }
    const std::size_t head = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.1 ", 0) == 0 && head != std::string::npos) {
        answer.Status = std::atoi(raw.c_str() + 9);
        answer.Body = raw.substr(head + 4);
        for (std::size_t line = raw.find("\r\n") + 2; line < head;) {
            const std::size_t end = raw.find("\r\n", line);
            const std::string header = raw.substr(line, end - line);
            std::string name = header.substr(0, header.find(':'));
            for (char& c : name)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            const std::size_t value = header.find_first_not_of(' ', name.size() + 1);
            answer.Headers.emplace_back(name, value == std::string::npos ? "" : header.substr(value));
            line = end + 2;
        }
    }
    return answer;
}

class RecordsCluster : public ::testing::Test {
protected:
    std::string Database = PostgresCluster::Shared().CreateDatabase();
    std::optional<RecordsServerProcess> First{std::in_place, Database, RecordsBinary, BehindNginx};
    std::optional<RecordsServerProcess> Second{std::in_place, Database, RecordsBinary, BehindNginx};

    // An instance logged a line that matches pattern.
    bool Logged(const std::string& pattern)
    {
        const std::regex line(pattern);
        return std::regex_search(First->Log(), line) || std::regex_search(Second->Log(), line);
    }

    std::string Page(int port)
    {
        const LoopbackAnswer page = LoopbackGet(port, Results);
        return page.Status == 200 ? page.Body : std::string();
    }
};

TEST_F(RecordsCluster, PublishesThroughNginxReachBothInstancesAndEveryPageShowsThem)
{
    const Nginx nginx(First->Port(), Second->Port());
    std::vector<std::string> names;
    for (int k = 0; k < 10; ++k) {
        names.push_back("Pub" + std::to_string(k));
        const LoopbackAnswer answer = LoopbackGet(nginx.Port(), Publish + "name=" + names.back() + "&self=" +
                                                                    std::to_string(100 + k) + "&autopilot=-");
        ASSERT_EQ(answer.Status, 200) << answer.Error << answer.Body;
    }
    for (RecordsServerProcess* instance : {&*First, &*Second})
        EXPECT_NE(instance->Log().find("GET /datas/html/add.php?"), std::string::npos)
            << "an instance took no publish:\n" << instance->Log();

    // The instance that did not store a row renders it within PageMaxAge.
    for (const int port : {nginx.Port(), First->Port(), Second->Port()}) {
        std::string page;
        EXPECT_TRUE(WaitFor([&] {
            page = Page(port);
            return std::all_of(names.begin(), names.end(), [&](const std::string& name) { return Lists(page, name); });
        })) << "port " << port << ":\n" << page;
    }
}

TEST_F(RecordsCluster, PassesOnlyTheSitesAddressesAndStopsOversizedRequestsAtNginx)
{
    const Nginx nginx(First->Port(), Second->Port());
    struct Case {
        std::string Method, Target;
        std::string Body;       // sent with its Content-Length when not empty
        std::string Headers;    // more header lines
        int Status;
        bool Reaches;           // an instance logs it
    };
    std::string manyHeaders;
    for (int k = 0; k < 20; ++k)
        manyHeaders += "X-Pad-" + std::to_string(k) + ": " + std::string(1000, 'p') + "\r\n";
    const std::string probe = "probe=";
    const std::vector<Case> all = {
        {"GET", "/?", "", "", 200, true},
        {"GET", "/view.php?v=nothing&", "", "", 404, true},   // the instance's own 404
        {"POST", "/datas/html/replay.php?publisher=A&", std::string(64 * 1024, 'x'), "", 400, true},
        {"GET", "/view.php?v=results&", "", "X-Pad: " + std::string(7000, 'p') + "\r\n", 200, true},
        {"GET", "/index.html?", "", "", 404, true},     // a name of the web edition's kind: the instance's 404
        {"GET", "/index.php?", "", "", 404, false},
        {"GET", "/web/watch.html?", "", "", 404, false},
        {"GET", "/watch.html.bak?", "", "", 404, false},
        {"GET", "/.watch.js?", "", "", 404, false},
        {"GET", "/datas/html/?", "", "", 404, false},
        {"GET", "/datas/html/add.php.bak?name=A&self=1&autopilot=-&", "", "", 404, false},
        {"GET", "/view.php/x?v=results&", "", "", 404, false},
        {"GET", "/datas/html/replay.phpx?id=1&", "", "", 404, false},
        {"GET", "/.git/config?", "", "", 404, false},
        {"POST", "/datas/html/replay.php?publisher=A&", std::string(64 * 1024 + 1, 'x'), "", 413, false},
        {"GET", "/datas/html/add.php?name=Big&self=1&autopilot=-&", std::string(2048, 'x'), "", 413, false},
        {"GET", "/view.php?v=results&pad=" + std::string(9000, 'a') + "&", "", "", 414, false},
        {"GET", "/view.php?v=results&", "", "X-Pad: " + std::string(9000, 'p') + "\r\n", 400, false},
        {"GET", "/view.php?v=results&", "", manyHeaders, 400, false},
    };

    for (std::size_t k = 0; k < all.size(); ++k) {
        const Case& c = all[k];
        const std::string target = c.Target + probe + std::to_string(k);
        std::string request =
            c.Method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + c.Headers;
        if (!c.Body.empty())
            request += "Content-Length: " + std::to_string(c.Body.size()) + "\r\n";
        request += "\r\n" + c.Body;
        const int sock = Connect(nginx.Port());
        ASSERT_GE(sock, 0);
        SendAll(sock, request);
        const std::vector<int> statuses = Statuses(ReadAll(sock, 10s));
        ::close(sock);
        ASSERT_FALSE(statuses.empty()) << c.Target.substr(0, 60);
        EXPECT_EQ(statuses.front(), c.Status) << c.Method << " " << c.Target.substr(0, 60);
    }
    auto logged = [&](std::size_t k) {
        const std::string mark = probe + std::to_string(k) + " ";
        return First->Log().find(mark) != std::string::npos || Second->Log().find(mark) != std::string::npos;
    };
    // Once the passed ones are logged, the others would have been too.
    EXPECT_TRUE(WaitFor([&] {
        for (std::size_t k = 0; k < all.size(); ++k)
            if (all[k].Reaches && !logged(k))
                return false;
        return true;
    })) << First->Log() << Second->Log();
    for (std::size_t k = 0; k < all.size(); ++k)
        EXPECT_EQ(logged(k), all[k].Reaches) << all[k].Method << " " << all[k].Target.substr(0, 60);
}

TEST_F(RecordsCluster, AnInstanceKilledUnderLoadLosesNoAcknowledgedPublish)
{
    // All the load comes from one address.
    const Nginx nginx(First->Port(), Second->Port(), Nginx::Limits::Lifted);
    constexpr int Publishers = 8;
    struct Tally {
        std::vector<std::pair<std::string, int>> Acknowledged;
        std::atomic<int> AfterKill{0};
        std::map<int, int> Refused;   // status (0: no answer): how many
    };
    std::vector<Tally> tallies(Publishers);
    std::atomic<int> scores{0}, acknowledged{0};
    std::atomic<bool> killed{false}, stop{false};
    std::vector<std::thread> publishers;
    const StopAndJoin join{stop, publishers};
    for (int t = 0; t < Publishers; ++t)
        publishers.emplace_back([&, t] {
            Tally& tally = tallies[std::size_t(t)];
            for (int n = 0; !stop; ++n) {
                const std::string name = "K" + std::to_string(t) + "n" + std::to_string(n);
                const int score = ++scores;
                const bool late = killed;
                const LoopbackAnswer answer = LoopbackGet(
                    nginx.Port(), Publish + "name=" + name + "&self=" + std::to_string(score) + "&autopilot=-");
                if (answer.Status != 200) {
                    ++tally.Refused[answer.Status];
                    continue;
                }
                tally.Acknowledged.emplace_back(name, score);
                ++acknowledged;
                if (late)
                    ++tally.AfterKill;
            }
        });
    ASSERT_TRUE(WaitFor([&] { return acknowledged >= 60; }, 20s));
    EXPECT_EQ(First->Stop(SIGKILL), 128 + SIGKILL);
    killed = true;
    // Publishing goes on through the other instance.
    EXPECT_TRUE(WaitFor([&] {
        return std::all_of(tallies.begin(), tallies.end(), [](const Tally& tally) { return tally.AfterKill >= 5; });
    }, 20s));
    stop = true;
    for (std::thread& publisher : publishers)
        publisher.join();

    std::vector<std::pair<std::string, int>> all;
    for (const Tally& tally : tallies) {
        all.insert(all.end(), tally.Acknowledged.begin(), tally.Acknowledged.end());
        for (const auto& [status, count] : tally.Refused)
            ADD_FAILURE() << count << " publishes answered " << status << ", not passed to the live instance";
    }
    // Each name was published once: each acknowledged one is stored with its score.
    std::map<std::string, int> stored;
    for (const HumanResult& row : OpenRecordsStore(Database)->BestPlayers(1 << 20))
        stored[row.Name] = row.Score;
    for (const auto& [name, score] : all) {
        const auto found = stored.find(name);
        EXPECT_TRUE(found != stored.end() && found->second == score) << name << " " << score << " acknowledged, lost";
    }
    // A row stored twice is a publish the killed instance committed but
    // never answered, passed on again: one per publisher at most.
    EXPECT_LE(OpenRecordsStore(Database)->Count().HumanResults, std::int64_t(all.size()) + Publishers);
    // The page through nginx shows the best thirty of them.
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    all.resize(std::min<std::size_t>(all.size(), 30));
    std::string page;
    EXPECT_TRUE(WaitFor([&] {
        page = Page(nginx.Port());
        return std::all_of(all.begin(), all.end(), [&](const auto& row) { return Lists(page, row.first); });
    })) << page;
}

TEST_F(RecordsCluster, ABurstFromOneAddressStopsAtNginxWhileOtherAddressesAreServed)
{
    const Nginx nginx(First->Port(), Second->Port());
    // A player clicking "publish" five times in a row: a publish and two
    // replays a click (not replays at all here, so the instance answers 400).
    for (int click = 0; click < 5; ++click) {
        EXPECT_EQ(StatusFrom("127.0.0.2", nginx.Port(), "GET",
                             Publish + "name=Click&self=" + std::to_string(click) + "&autopilot=-"), 200);
        for (int replay = 0; replay < 2; ++replay)
            EXPECT_EQ(StatusFrom("127.0.0.2", nginx.Port(), "POST", ReplayAt + "?publisher=Click", "", "GIF89a"), 400);
    }
    const struct {
        const char* name;
        std::string method, target, body;
    } floods[] = {
        {"publishes", "GET", Publish + "name=FloodN&self=1&autopilot=-", ""},
        {"replays", "POST", ReplayAt + "?publisher=FloodN", "GIF89a"},
    };
    for (const auto& flood : floods) {
        std::vector<int> statuses;
        for (int k = 0; k < 60; ++k) {
            const std::string target =
                std::regex_replace(flood.target, std::regex("FloodN"), "Flood" + std::to_string(k));
            statuses.push_back(StatusFrom("127.0.0.2", nginx.Port(), flood.method, target, "", flood.body));
        }
        EXPECT_GT(std::count(statuses.begin(), statuses.end(), 429), 0) << flood.name;
        const auto served = [&](std::size_t k) {
            return Logged(" " + flood.method + " [^ ]*=Flood" + std::to_string(k) + "[& ]");
        };
        // Once the last one passed is logged, the refused ones would have been too.
        const auto last = std::find_if(statuses.rbegin(), statuses.rend(), [](int status) { return status != 429; });
        ASSERT_NE(last, statuses.rend()) << flood.name;
        EXPECT_TRUE(WaitFor([&] { return served(std::size_t(statuses.rend() - last - 1)); })) << flood.name;
        for (std::size_t k = 0; k < statuses.size(); ++k) {
            EXPECT_NE(statuses[k], 0) << flood.name << " " << k;
            EXPECT_EQ(served(k), statuses[k] != 429) << flood.name << " " << k << ": " << statuses[k];
        }
    }
    EXPECT_EQ(StatusFrom("127.0.0.3", nginx.Port(), "GET", Publish + "name=Other&self=1&autopilot=-"), 200);
    EXPECT_EQ(StatusFrom("127.0.0.3", nginx.Port(), "POST", ReplayAt + "?publisher=Other", "", "GIF89a"), 400);
}

TEST_F(RecordsCluster, TheInstancesLogTheClientsAddressNginxSawNotOneTheClientClaims)
{
    const Nginx nginx(First->Port(), Second->Port());
    const struct {
        std::string source, headers;
    } cases[] = {
        {"127.0.0.2", ""},
        {"127.0.0.3", "X-Real-IP: 10.1.2.3\r\nX-Forwarded-For: 10.4.5.6\r\n"},
        {"127.0.0.4", "X-Forwarded-For: 10.7.8.9, 10.4.5.6\r\n"},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k)
        ASSERT_EQ(StatusFrom(cases[k].source, nginx.Port(), "GET", Results + "&probe=" + std::to_string(k),
                             cases[k].headers), 200);
    // TIME CLIENT METHOD TARGET STATUS ELAPSED
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const std::string line = "(^|\n)[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z " +
                                 std::regex_replace(cases[k].source, std::regex("\\."), "\\.") +
                                 " GET /view\\.php\\?v=results&probe=" + std::to_string(k) + " 200 [0-9.]+ms\n";
        EXPECT_TRUE(WaitFor([&] { return Logged(line); })) << cases[k].source << "\n" << First->Log() << Second->Log();
    }
    EXPECT_FALSE(Logged(" 10\\.[0-9.]+ GET ")) << First->Log() << Second->Log();
}

TEST_F(RecordsCluster, TheHttpsServerServesWhatPort80ServesWithHsts)
{
    const Nginx nginx(First->Port(), Second->Port());
    ASSERT_EQ(HttpsGet(nginx.HttpsPort(), Publish + "name=Tls&self=77&autopilot=-").Status, 200);
    LoopbackAnswer page;
    EXPECT_TRUE(WaitFor([&] {
        page = HttpsGet(nginx.HttpsPort(), Results);
        return page.Status == 200 && Lists(page.Body, "Tls");
    })) << page.Status << page.Body;
    EXPECT_EQ(page.Header("strict-transport-security"), "max-age=31536000");
    EXPECT_EQ(HttpsGet(nginx.HttpsPort(), "/index.html").Status, 404);
    const LoopbackAnswer plain = LoopbackGet(nginx.Port(), Results);
    EXPECT_EQ(plain.Status, 200);
    EXPECT_EQ(plain.Header("strict-transport-security"), "") << "HSTS means nothing over plain HTTP";
}

TEST_F(RecordsCluster, TheGamePublishesOverHttpsToAServerWhoseCertificateItTrusts)
{
    const Nginx nginx(First->Port(), Second->Port());
    // The autopilot's game, published by the table's player as the game does.
    const Replay game = AutopilotGame(5, 25);
    const PublishValues values =
        ChoosePublishValues({{"1", "AUTOPILOT", FormatScore(game.Result.Score)}, {"2", "Tls", "5"}});
    const std::string server = "https://127.0.0.1:" + std::to_string(nginx.HttpsPort()) + "/";
    EXPECT_FALSE(CheckUrl(PublishAddress(server, values))) << "the system does not trust the test's certificate";
    EXPECT_EQ(OpenRecordsStore(Database)->Count().AutopilotResults, 0);

    CheckUrlLimits trusted;
    trusted.TrustedCertificates = nginx.Certificate();
    ASSERT_TRUE(CheckUrl(PublishAddress(server, values), trusted));
    const std::string replay = WriteReplay(game);
    EXPECT_EQ(PostBody(ReplayAddress(server, values.Name), replay, "application/octet-stream", trusted), 200);
    const RecordsStore::Counts counts = OpenRecordsStore(Database)->Count();
    EXPECT_EQ(counts.HumanResults, 1);
    EXPECT_EQ(counts.AutopilotResults, 1);
    EXPECT_EQ(counts.Replays, 1);
}

// A chunked body put together again.
std::string Unchunked(const std::string& body)
{
    std::string whole;
    for (std::size_t at = 0; at < body.size();) {
        const std::size_t line = body.find("\r\n", at);
        if (line == std::string::npos)
            break;
        const std::size_t size = std::stoul(body.substr(at, line - at), nullptr, 16);
        if (size == 0)
            break;
        whole += body.substr(line + 2, size);
        at = line + 2 + size + 2;
    }
    return whole;
}

// What gzip makes of compressed bytes again.
std::string Gunzipped(const TempFolder& folder, const std::string& compressed)
{
    WriteBytes(folder / "body.gz", compressed);
    std::string plain;
    if (FILE* pipe = ::popen(("gzip -dc '" + (folder / "body.gz").string() + "' 2>/dev/null").c_str(), "r")) {
        char buffer[65536];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
            plain.append(buffer, got);
        ::pclose(pipe);
    }
    return plain;
}

TEST_F(RecordsCluster, TheWebEditionComesThroughNginxCompressedWhereItPaysAndRevalidated)
{
    TempFolder web;
    std::string code = std::string("\0asm\1\0\0\0", 8);
    for (int k = 0; code.size() < 300000; ++k)
        code += "function" + std::to_string(k % 97) + std::string(k % 13, '\0');
    const struct {
        std::string name, content, type;
        bool compressed;
    } files[] = {
        {"watch.html", "<!DOCTYPE html>\n" + std::string(2000, 'w') + "\n", "text/html; charset=utf-8", true},
        {"watch.js", std::string(3000, ';'), "text/javascript; charset=utf-8", true},
        {"vantorix2.wasm", code, "application/wasm", true},
        {"vantorix2.css", std::string(1000, ' ') + "p {}", "text/css; charset=utf-8", true},
        {"emblem_eng.png", "\x89PNG\r\n\x1a\n" + std::string(1000, 'p'), "image/png", false},
    };
    for (const auto& file : files)
        WriteBytes(web / file.name, file.content);
    // The instances again, each serving the same build.
    std::vector<std::string> serving = BehindNginx;
    serving.insert(serving.end(), {"--web", web.Path.string()});
    First.emplace(Database, RecordsBinary, serving);
    Second.emplace(Database, RecordsBinary, serving);
    const Nginx nginx(First->Port(), Second->Port());

    for (const auto& file : files) {
        const std::string path = "/" + file.name;
        const LoopbackAnswer plain = LoopbackGet(nginx.Port(), path + "?id=5");
        EXPECT_EQ(plain.Status, 200) << path << plain.Error;
        EXPECT_TRUE(plain.Body == file.content) << path;
        EXPECT_EQ(plain.ContentType, file.type) << path;
        EXPECT_EQ(plain.Header("content-encoding"), "") << path;
        EXPECT_EQ(plain.Header("content-security-policy").rfind("default-src 'none'; script-src 'self'", 0), 0u) << path;

        const LoopbackAnswer packed = LoopbackRequest(nginx.Port(), "GET", path, std::nullopt, 10s,
                                                      "Accept-Encoding: gzip\r\n");
        EXPECT_EQ(packed.Status, 200) << path;
        EXPECT_EQ(packed.Header("content-encoding"), file.compressed ? "gzip" : "") << path;
        const std::string body = packed.Header("transfer-encoding") == "chunked" ? Unchunked(packed.Body) : packed.Body;
        EXPECT_TRUE((file.compressed ? Gunzipped(web, body) : body) == file.content) << path;

        // The tag as nginx passed it on, weak when compressed.
        const std::string tag = packed.Header("etag");
        EXPECT_EQ(tag.rfind(file.compressed ? "W/\"" : "\"", 0), 0u) << path << ": " << tag;
        const LoopbackAnswer again = LoopbackRequest(nginx.Port(), "GET", path, std::nullopt, 10s,
                                                     "Accept-Encoding: gzip\r\nIf-None-Match: " + tag + "\r\n");
        EXPECT_EQ(again.Status, 304) << path;
        EXPECT_EQ(again.Body, "") << path;
    }
    const LoopbackAnswer missing = LoopbackGet(nginx.Port(), "/play.html");
    EXPECT_EQ(missing.Status, 404);
    EXPECT_EQ(missing.Body, "Not found\n") << "the instance's own 404";
}

}  // namespace
